"""The arena: games between four players with rotated seats, played in C++
threads, and each player's results with confidence intervals.

`summarize` gives each player's win share and mean rank with Wilson score
intervals, which stay honest when every game ends alike, its mean score with
Student's t interval (see `vexlan_rl.players.intervals`), and, where openskill
is installed (the `ratings` extra), its Plackett-Luce rating fitted game by
game in game order (see `vexlan_rl.players.ratings` and docs/ratings.md)."""

import time
from collections.abc import Callable, Sequence
from typing import TYPE_CHECKING, NamedTuple

from vexlan_rl._engine import NUM_SEATS as SEATS
from vexlan_rl._engine import PIECES_SHAPE, SCORE_RANGE
from vexlan_rl._players import Player as _EnginePlayer
from vexlan_rl._players import play_games as _play_games
from vexlan_rl.players.batched import BatchedPlayer
from vexlan_rl.players.engine import SEED_MODULUS, Player
from vexlan_rl.players.intervals import Estimate, student_t, wilson
from vexlan_rl.players.mixed_arena import DEFAULT_WINDOW, play_mixed_games

if TYPE_CHECKING:
    from vexlan_rl.players.ratings import Rating

_LOWEST_SCORE, _HIGHEST_SCORE = map(float, SCORE_RANGE)  # every cell in hand; every piece placed, the monomino last
MAX_OPENINGS = PIECES_SHAPE[0] * PIECES_SHAPE[1]  # every seat places every piece: the longest game
_CHUNK_SECONDS = 0.25  # how long an evaluate chunk aims to take, between progress reports


class GameRecord(NamedTuple):
    """One arena game, each field by absolute seat."""
    players: tuple[int, int, int, int]  # the index of the player in each seat
    scores: tuple[int, int, int, int]
    win_shares: tuple[float, float, float, float]
    places: tuple[float, float, float, float]  # 1 best .. 4; tied agents share the mean of their places
    plies: int
    moves: tuple[int, ...] = ()  # the grid indices placed, each in its mover's frame, in play order


class PlayerResult(NamedTuple):
    player: str  # its spec
    games: int
    win_share: Estimate
    score: Estimate
    rank: Estimate  # 1 best .. 4
    rating: "Rating | None" = None  # None without openskill


def _check_lineup(players: Sequence[Player]) -> list[_EnginePlayer] | None:
    """The players' engines, or None when a batched player (a network) sits at the table."""
    if len(players) != SEATS or not all(isinstance(player, Player) for player in players):
        raise ValueError(f"players must be {SEATS} Player objects, one per seat")
    if any(isinstance(player, BatchedPlayer) for player in players):
        return None
    return [player._engine for player in players]


def check_rotated_games(games: int) -> None:
    """ValueError unless `games` lets every player sit in every seat equally often."""
    if not isinstance(games, int) or games < SEATS or games % SEATS:
        raise ValueError(f"games must be a positive multiple of {SEATS}, so that every player sits in "
                         f"every seat equally often, not {games!r}")


def _check_count(name: str, value: int, minimum: int) -> None:
    if not isinstance(value, int) or value < minimum:
        raise ValueError(f"{name} must be a whole number >= {minimum}, not {value!r}")


def play_games(players: Sequence[Player], seed: int, first_game: int, count: int,
               threads: int = 1, window: int = DEFAULT_WINDOW, openings: int = 0) -> list[GameRecord]:
    """Plays games first_game .. first_game + count - 1 on `threads` threads; one record per
    game, in game order. A shard of an evaluation: see `vexlan_rl.players`. Each game opens
    with `openings` random placements, shared by the four games that rotate the seats (game
    numbers 4k to 4k + 3), so that deterministic players meet in many different games; the
    records' moves include them. With a batched player (a network) at the table the games
    are played from Python, up to `window` side by side, and `threads` is not used (see
    `vexlan_rl.players.mixed_arena`)."""
    engines = _check_lineup(players)
    _check_count("first_game", first_game, 0)
    _check_count("count", count, 0)
    _check_count("threads", threads, 1)
    _check_count("openings", openings, 0)
    if openings > MAX_OPENINGS:
        raise ValueError(f"openings must be at most {MAX_OPENINGS}, the placements of a whole game, not {openings}")
    if engines is None:
        return [GameRecord(*record) for record in play_mixed_games(players, seed, first_game, count, window, openings)]
    records = _play_games(engines, seed % SEED_MODULUS, first_game, count, threads, openings=openings)
    return [GameRecord(*record) for record in records]


def _ratings(players: int, records: Sequence[GameRecord]) -> "list[Rating | None]":
    """The players' ratings after `records` in order; None each where openskill is missing."""
    try:
        from vexlan_rl.players.ratings import rate_games
    except ImportError as missing:
        if (missing.name or "").partition(".")[0] != "openskill":
            raise
        return [None] * players
    return list(rate_games(players, [(record.players, record.places) for record in records]))


def summarize(players: Sequence[Player], records: Sequence[GameRecord]) -> list[PlayerResult]:
    """Per player, in the order of `players`: win share, mean score, mean rank and rating over
    `records` (see the module docstring)."""
    if not records:
        raise ValueError("no games to summarize")
    results = []
    for index, (player, rating) in enumerate(zip(players, _ratings(len(players), records))):
        seats = [record.players.index(index) for record in records]
        results.append(PlayerResult(
            player.spec, len(records),
            wilson([record.win_shares[seat] for record, seat in zip(records, seats)], 0.0, 1.0),
            student_t([float(record.scores[seat]) for record, seat in zip(records, seats)], _LOWEST_SCORE,
                      _HIGHEST_SCORE),
            wilson([record.places[seat] for record, seat in zip(records, seats)], 1.0, float(SEATS)),
            rating,
        ))
    return results


def evaluate(players: Sequence[Player], games: int, seed: int = 0, threads: int = 1, *,
             progress: Callable[[int], None] | None = None,
             on_games: Callable[[int, list[GameRecord]], object] | None = None,
             window: int = DEFAULT_WINDOW, openings: int = 0) -> list[PlayerResult]:
    """Plays `games` games (a multiple of 4, so that every player sits in every seat equally
    often) on `threads` threads, each opened by `openings` random placements (see
    `play_games`), and summarizes them per player, in the order of `players`.
    `progress`, when given, is called with the number of games finished, now and then;
    `on_games` with the number of the first game of each batch played and the batch's records
    (`functools.partial(vexlan_rl.records.save_games, folder, players, seed)` saves them).
    With a network at the table, up to `window` games are played side by side (see
    `play_games`)."""
    mixed = _check_lineup(players) is None
    check_rotated_games(games)
    _check_count("threads", threads, 1)
    records: list[GameRecord] = []
    chunk = window if mixed else threads
    while len(records) < games:
        # Chunks of about _CHUNK_SECONDS keep progress reports and Ctrl-C timely; game numbers,
        # not chunks, decide every game, so the chunking changes no result.
        count = min(chunk, games - len(records))
        started = time.perf_counter()
        played = play_games(players, seed, len(records), count, threads, window, openings)
        if on_games is not None:
            on_games(len(records), played)
        records += played
        elapsed = time.perf_counter() - started
        if not mixed:
            chunk = max(threads, min(4 * chunk, int(count * _CHUNK_SECONDS / max(elapsed, 1e-6))))
        if progress is not None:
            progress(len(records))
    return summarize(players, records)
