"""Self-play and arena runs spread over Ray tasks (needs `pip install vexlan-rl[ray]`).

    from vexlan_rl.distributed import arena, selfplay
    from vexlan_rl.players import parse_players

    games = selfplay(1000, seed=7)                     # Ray on this machine
    games = selfplay(1000, seed=7, address="auto")     # the cluster this machine belongs to
    table = arena(parse_players("mcts:1000,greedy,random,random"), 400, seed=7, threads=2)

`arena` is `vexlan_rl.players.evaluate` spread over Ray; the command line has
it as `python -m vexlan_rl arena ... --ray [ADDRESS]`.

A run is cut into shards of `shard_games` games, each played by one Ray task.
What a shard plays depends only on the run's seed and the shard's place in
the run, so the results are the same whatever the number of machines and
processes, and the same as with `local=True`, which plays the shards one
after another in this process without Ray. They come back in game order.
Every machine of a cluster needs the package installed.

Ray is started on this machine on first use unless it is already running in
this process (`ray.init` called by the caller) or `address` names a cluster.
"""

import random
from collections.abc import Callable, Sequence
from dataclasses import dataclass
from functools import partial
from typing import TypeVar

try:
    import numpy as np
    import ray
except ImportError as missing:
    raise ImportError(f"vexlan_rl.distributed needs Ray ({missing}); install it with: "
                      "pip install 'vexlan-rl[ray]'", name=missing.name) from missing

from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.batch import GameBatch
from vexlan_rl.players import GameRecord, Player, PlayerResult, play_games, summarize
from vexlan_rl.players.arena import check_rotated_games

Record = TypeVar("Record")

SHARD_GAMES = 50


@dataclass(frozen=True)
class SelfPlayGame:
    """One finished game: the state before every placement (as `PyVexlan.to_bytes`
    writes it), the grid index then played in the mover's frame, the final
    state, the scores and the win shares, by seat."""

    states: list[bytes]
    actions: list[int]
    final_state: bytes
    scores: list[int]
    outcome: list[float]


@dataclass(frozen=True)
class Shard:
    """Games `first` to `first + games - 1` of a run."""

    index: int
    first: int
    games: int


def shards(games: int, shard_games: int) -> list[Shard]:
    if games < 1 or shard_games < 1:
        raise ValueError(f"games and shard_games must be at least 1, not {games} and {shard_games}")
    return [Shard(index, first, min(shard_games, games - first))
            for index, first in enumerate(range(0, games, shard_games))]


def play_selfplay_shard(seed: int, shard: Shard) -> list[SelfPlayGame]:
    """The shard's games, played together in one batch, every agent picking
    uniformly among its legal moves from a stream seeded by the run's seed and
    the shard's index."""
    rng = np.random.default_rng(random.Random(f"{seed}/{shard.index}").randrange(2**63))
    batch = GameBatch(shard.games, autoreset=False)
    states: list[list[bytes]] = [[] for _ in range(shard.games)]
    actions: list[list[int]] = [[] for _ in range(shard.games)]
    played: dict[int, SelfPlayGame] = {}
    while len(played) < shard.games:
        chosen = batch.sample_actions(rng)
        for slot in range(shard.games):
            if slot not in played:
                states[slot].append(batch.state(slot))
                actions[slot].append(int(chosen[slot]))
        batch.step(chosen)
        for slot in np.flatnonzero(batch.terminated).tolist():
            if slot not in played:
                final = batch.state(slot)
                played[slot] = SelfPlayGame(states[slot], actions[slot], final, PyVexlan.from_bytes(final).scores,
                                            batch.rewards[slot].tolist())
    return [played[slot] for slot in range(shard.games)]


def connect(address: str | None) -> None:
    """Joins the cluster at `address`, or starts Ray here, unless this process is connected already."""
    if not ray.is_initialized():
        ray.init(address=address, include_dashboard=False, logging_level="WARNING", log_to_driver=False)


def call(play: Callable[[Shard], list[Record]], part: Shard) -> list[Record]:
    return play(part)


# Ray tasks are made from plain functions; this one runs whatever shard player it is sent.
remote_call = ray.remote(call)


def run_shards(play: Callable[[Shard], list[Record]], parts: Sequence[Shard], *, local: bool,
               address: str | None, progress: Callable[[int], None] | None, cpus: int = 1,
               finished: Callable[[Shard, list[Record]], None] | None = None) -> list[Record]:
    """Plays every shard, each in a Ray task of `cpus` CPUs unless `local`, and
    returns their records in game order. Whenever a shard ends, `finished`, when
    given, is called with it and its records (in the order shards end), then
    `progress`, when given, with the number of games finished."""
    if local:
        records: list[Record] = []
        for part in parts:
            played = play(part)
            records += played
            if finished is not None:
                finished(part, played)
            if progress is not None:
                progress(len(records))
        return records
    connect(address)
    pending = {remote_call.options(num_cpus=cpus).remote(play, part): part for part in parts}
    results: dict[int, list[Record]] = {}
    waiting = list(pending)
    done = 0
    try:
        while waiting:
            ready, waiting = ray.wait(waiting, num_returns=1)
            part = pending[ready[0]]
            results[part.index] = ray.get(ready[0])
            if finished is not None:
                finished(part, results[part.index])
            done += part.games
            if progress is not None:
                progress(done)
    finally:
        # After an error or an interrupt, stop the shards still running. Their work is C++ that Ray cannot
        # interrupt, so their workers are killed; Ray starts new ones as needed.
        for task in waiting:
            ray.cancel(task, force=True)
    return [record for part in parts for record in results[part.index]]


def play_arena_shard(players: Sequence[Player], seed: int, threads: int, openings: int,
                     shard: Shard) -> list[GameRecord]:
    return play_games(players, seed, shard.first, shard.games, threads, openings=openings)


def arena(players: Sequence[Player], games: int, seed: int = 0, threads: int = 1, *,
          shard_games: int = SHARD_GAMES, local: bool = False, address: str | None = None,
          progress: Callable[[int], None] | None = None, openings: int = 0) -> list[PlayerResult]:
    """`vexlan_rl.players.evaluate` in shards over Ray tasks of `threads` CPUs
    each: the same games, the same results. The players travel to the tasks
    pickled, as their settings."""
    check_rotated_games(games)
    # A bad lineup, thread count or opening fails here, before any task starts.
    play_games(players, seed, 0, 0, threads, openings=openings)
    records = run_shards(partial(play_arena_shard, list(players), seed, threads, openings), shards(games, shard_games),
                         local=local, address=address, progress=progress, cpus=threads)
    return summarize(players, records)


def selfplay(games: int, seed: int = 0, *, shard_games: int = SHARD_GAMES, local: bool = False,
             address: str | None = None, progress: Callable[[int], None] | None = None) -> list[SelfPlayGame]:
    """Plays `games` random self-play games in seeded shards over Ray tasks and
    returns them in order. `local=True` plays the same games here, without Ray."""
    return run_shards(partial(play_selfplay_shard, seed), shards(games, shard_games), local=local, address=address,
                      progress=progress)
