"""Running a league: plan matches, play their games here or over Ray, and record each game with
the ratings it moves.

Match m plays games 4m to 4m + 3 with `play_games(lineup, seed, 4m + i, ...)`, so it seats its
lineup in every seat once, and every game is played again, identically, from its row's seed,
lineup and number. A match's games are played in one call, as the arena plays them (players keep
their warm search trees from game to game), and recorded, in one transaction, as they come back;
they are rated in game order. So a run that stops anywhere, and the run that resumes it, give the
league an uninterrupted run would have given: a resumed run first plays the missing games of the
matches already planned, and plans new ones only from ratings that count every earlier game.
"""

import math
from collections.abc import Callable, Mapping, Sequence
from functools import partial
from typing import Any

from vexlan_rl.league.lineups import choose_lineups, rated_in
from vexlan_rl.league.store import MATCH_GAMES, GameRow, LeaguePlayer, LeagueStore, Match
from vexlan_rl.players import GameRecord, Player, parse_player, play_games
from vexlan_rl.players.ratings import Rating, rate_game


def play_part(lineups: Mapping[int, Sequence[Player]], seed: int, threads: int, part: Any) -> list[GameRecord]:
    """The games of a `vexlan_rl.distributed.Shard`, whose index keys its lineup."""
    return play_games(lineups[part.index], seed, part.first, part.games, threads)


def parts_of(todo: Sequence[tuple[Match, list[int]]]) -> list[tuple[Match, int, int]]:
    """(match, first game, game count) for each run of consecutive missing games."""
    parts = []
    for match, missing in todo:
        start = 0
        while start < len(missing):
            end = start + 1
            while end < len(missing) and missing[end] == missing[end - 1] + 1:
                end += 1
            parts.append((match, missing[start], end - start))
            start = end
    return parts


class LeagueRun:
    """Plays the league in `store` (opened writable, its run lock held) until it holds `games` games."""

    def __init__(self, store: LeagueStore, pool: Sequence[int], *, threads: int = 1, matches_at_once: int = 1) -> None:
        if store.seed is None:
            raise ValueError("the league has no seed yet")
        self._store = store
        self._seed = store.seed
        self._pool = list(pool)
        self._threads = threads
        self._matches_at_once = matches_at_once
        self._players: dict[int, Player] = {}
        self._league = {player.id: player for player in store.players()}
        self._waiting = {game.number: game for game in store.games(store.rated_games)}  # recorded, not yet rated

    def _player(self, id: int) -> Player:
        if id not in self._players:
            self._players[id] = parse_player(self._league[id].spec)
        return self._players[id]

    def next_matches(self, games: int) -> list[tuple[Match, list[int]]]:
        """The planned matches that miss games, or else new ones towards `games` games (none when
        the league holds them)."""
        todo = self._store.unfinished()
        if todo or self._store.game_count() >= games:
            return todo
        count = min(self._matches_at_once, math.ceil((games - self._store.game_count()) / MATCH_GAMES))
        lineups = choose_lineups([self._league[id] for id in self._pool], count)
        return [(match, list(match.game_numbers)) for match in self._store.plan(lineups)]

    def play(self, games: int, *, ray: bool = False, address: str | None = None,
             progress: Callable[[int], None] | None = None) -> None:
        """Plays until the league holds `games` games, a match at a time on `threads` threads or,
        with `ray`, a match a Ray task of `threads` CPUs. `progress`, when given, is called with the number
        of games the league holds whenever some are recorded."""
        while todo := self.next_matches(games):
            parts = parts_of(todo)
            if ray:
                self._play_over_ray(parts, address, progress)
                continue
            for match, first, count in parts:
                lineup = [self._player(id) for id in match.lineup]
                self.record(match, first, play_games(lineup, self._seed, first, count, self._threads))
                if progress is not None:
                    progress(self._store.game_count())

    def _play_over_ray(self, parts: Sequence[tuple[Match, int, int]], address: str | None,
                       progress: Callable[[int], None] | None) -> None:
        from vexlan_rl import distributed

        shards = [distributed.Shard(index, first, count) for index, (_, first, count) in enumerate(parts)]
        lineups = {index: [self._player(id) for id in match.lineup] for index, (match, _, _) in enumerate(parts)}

        def finished(shard: distributed.Shard, records: list[GameRecord]) -> None:
            self.record(parts[shard.index][0], shard.first, records)
            if progress is not None:
                progress(self._store.game_count())

        distributed.run_shards(partial(play_part, lineups, self._seed, self._threads), shards, local=False,
                               address=address, progress=None, cpus=self._threads, finished=finished)

    def record(self, match: Match, first: int, records: Sequence[GameRecord]) -> None:
        """Records games `first`, `first` + 1, ... of `match` and rates every game now next in order."""
        rows = [GameRow(first + offset, self._seed, match.lineup, tuple(match.lineup[player] for player in record.players),
                        tuple(record.scores), tuple(record.places), record.plies)
                for offset, record in enumerate(records)]
        waiting = {**self._waiting, **{row.number: row for row in rows}}
        ratings = {id: player.rating for id, player in self._league.items()}
        rated = []
        next = self._store.rated_games
        while next in waiting:
            game = waiting.pop(next)
            rated.append((game, rate_league_game(game, self._league, ratings)))
            next += 1
        self._store.record(rows, rated)
        self._waiting = waiting
        self._league = {player.id: player for player in self._store.players()}


def rate_league_game(game: GameRow, league: Mapping[int, LeaguePlayer], ratings: dict[int, Rating]) -> dict[int, Rating]:
    """The ratings that `game` moves (only those; see `rated_in`), updating `ratings` with them."""
    seated = [league[id] for id in game.seats]
    updated = rate_game([ratings[id] for id in game.seats], game.places)
    changed = {player.id: rating for player, rating, moves in zip(seated, updated, rated_in(seated)) if moves}
    ratings.update(changed)
    return changed
