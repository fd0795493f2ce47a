"""The league table: each player's rating beside its win share and mean place over its games."""

from collections.abc import Sequence
from dataclasses import dataclass

from vexlan_rl.players.intervals import Estimate, wilson
from vexlan_rl.league.store import GameRow, LeaguePlayer

SEATS = 4


@dataclass(frozen=True)
class Standing:
    player: LeaguePlayer
    games: int  # recorded games it played, rated or not
    win_share: Estimate | None  # None before its first game
    rank: Estimate | None  # 1 best .. 4


def win_shares(scores: Sequence[int]) -> list[float]:
    """1 shared equally by the seats with the top score, 0 for the rest."""
    top = max(scores)
    winners = list(scores).count(top)
    return [1.0 / winners if score == top else 0.0 for score in scores]


def standings(players: Sequence[LeaguePlayer], games: Sequence[GameRow]) -> list[Standing]:
    """Every player's standing, by conservative rating (mu - 3 sigma), best first."""
    shares: dict[int, list[float]] = {player.id: [] for player in players}
    places: dict[int, list[float]] = {player.id: [] for player in players}
    for game in games:
        for player, share, place in zip(game.seats, win_shares(game.scores), game.places):
            shares[player].append(share)
            places[player].append(place)
    table = [Standing(player, len(shares[player.id]),
                      wilson(shares[player.id], 0.0, 1.0) if shares[player.id] else None,
                      wilson(places[player.id], 1.0, float(SEATS)) if places[player.id] else None)
             for player in players]
    return sorted(table, key=lambda standing: (-standing.player.rating.conservative, standing.player.id))
