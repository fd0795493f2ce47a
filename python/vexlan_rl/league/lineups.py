"""Which four players the league seats next: the game that teaches it the most.

Each match is built around the player whose rating is the most uncertain (the largest sigma; on
a tie the one with the fewest games, then the one that joined first) among those a game can
still move. Its three opponents are the players it is most likely to draw with, by openskill's
prediction: players of about its skill with well-known ratings, against whom its result says the
most about it.

Reference players set the scale of the ratings: their ratings move only in games among references,
never in a game with a rated player, so adding players, or rating them for longer, does not shift
the scale that older results were read on. With fewer than four references their ratings never
move (they stay where they joined, at the prior), and they serve as fixed opponents.
"""

from collections.abc import Sequence
from dataclasses import dataclass

from vexlan_rl.league.store import LINEUP, MATCH_GAMES, LeaguePlayer
from vexlan_rl.players.ratings import Rating, draw_probability

PLANNED_VARIANCE = 0.5  # within one batch of matches, a planned match counts as halving its players' variance


@dataclass
class _Planning:
    player: LeaguePlayer
    variance: float
    games: int


def rated_in(lineup: Sequence[LeaguePlayer]) -> list[bool]:
    """Whether a game of `lineup` moves each player's rating: every one in a game of references
    alone, else all but the references."""
    everyone = all(player.reference for player in lineup)
    return [everyone or not player.reference for player in lineup]


def choose_lineups(pool: Sequence[LeaguePlayer], count: int) -> list[tuple[int, int, int, int]]:
    """`count` lineups of four player ids from `pool`, the first the one that teaches the most
    now, each later one chosen as if the earlier had been played (see the module docstring)."""
    if len(pool) < LINEUP:
        raise ValueError(f"a league needs at least {LINEUP} players, not {len(pool)}")
    references = [player for player in pool if player.reference]
    movable = [player for player in pool if not player.reference or len(references) >= LINEUP]
    if not movable:
        raise ValueError("every player is a reference, and fewer than four of them: no game can move a rating")
    planning = {player.id: _Planning(player, player.rating.sigma ** 2, player.games) for player in pool}
    lineups = []
    for _ in range(count):
        focus = min((planning[player.id] for player in movable),
                    key=lambda entry: (-entry.variance, entry.games, entry.player.id))
        opponents = [entry for entry in planning.values() if entry is not focus
                     and (not focus.player.reference or entry.player.reference)]
        focus_rating = Rating(focus.player.rating.mu, focus.variance ** 0.5)
        opponents.sort(key=lambda entry: (
            -draw_probability(focus_rating, Rating(entry.player.rating.mu, entry.variance ** 0.5)), entry.player.id))
        lineup = sorted([focus, *opponents[:LINEUP - 1]], key=lambda entry: entry.player.id)
        for entry, rated in zip(lineup, rated_in([entry.player for entry in lineup])):
            if rated:
                entry.variance *= PLANNED_VARIANCE
            entry.games += MATCH_GAMES
        lineups.append(tuple(entry.player.id for entry in lineup))
    return lineups  # type: ignore[return-value]
