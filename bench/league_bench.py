"""League speed against the arena's: games per second of a league run (lineup choice, play,
ratings and SQLite bookkeeping) beside the arena playing the very same games (the league's
lineups, seed and game numbers, a match of four games a call) in the same run, alternated in rounds
so that the machine's load slows both alike. The difference is what the league adds. Processor
seconds are given too: on a busy machine the wall clock also counts waiting for a core.

    python bench/league_bench.py [--games N] [--threads T] [--rounds R] [--pools search,fast]
"""

import argparse
import os
import tempfile
import time
from collections.abc import Callable
from functools import partial
from pathlib import Path

from vexlan_rl.league import LeagueRun, LeagueStore, run_lock
from vexlan_rl.players import parse_player, play_games

POOLS = {
    "search": "random,greedy,mcts:20,mcts:50,mcts:100",
    "fast": "random,greedy,mcts:1,mcts:2,mcts:4",
}


def timed(work: Callable[[], None]) -> tuple[float, float]:
    """Wall-clock and processor seconds of `work`."""
    started, started_processor = time.perf_counter(), time.process_time()
    work()
    return time.perf_counter() - started, time.process_time() - started_processor


def play_league(pool: str, games: int, threads: int, path: Path) -> None:
    with run_lock(path), LeagueStore(path, writable=True) as store:
        ids = store.join(pool.split(","), seed=1)
        LeagueRun(store, ids, threads=threads).play(games)


def arena_work(path: Path, threads: int) -> Callable[[], None]:
    """The arena playing the games of the league at `path`, ready to time."""
    with LeagueStore(path, writable=False) as store:
        specs = {player.id: player.spec for player in store.players()}
        seed = store.seed
        matches = sorted({(game.match, game.lineup) for game in store.games()})
    assert seed is not None
    lineups = {lineup: [parse_player(specs[id]) for id in lineup] for _, lineup in matches}

    def play() -> None:
        for match, lineup in matches:
            play_games(lineups[lineup], seed, 4 * match, 4, threads)
    return play


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--games", type=int, default=200, help="games a league run plays (default: %(default)s)")
    parser.add_argument("--threads", type=int, default=1)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--pools", default=",".join(POOLS), help="which pools: %(default)s")
    arguments = parser.parse_args()
    print(f"load average before: {' '.join(f'{load:.2f}' for load in os.getloadavg())}")
    print(f"{arguments.games} games a run, {arguments.threads} thread(s), {arguments.rounds} rounds of league "
          "then arena")
    for name in arguments.pools.split(","):
        pool = POOLS[name]
        league, arena = [0.0, 0.0], [0.0, 0.0]
        with tempfile.TemporaryDirectory() as directory:
            for round in range(arguments.rounds):
                path = Path(directory) / f"{round}.db"
                played = timed(partial(play_league, pool, arguments.games, arguments.threads, path))
                replayed = timed(arena_work(path, arguments.threads))
                league = [total + seconds for total, seconds in zip(league, played)]
                arena = [total + seconds for total, seconds in zip(arena, replayed)]
        games = arguments.games * arguments.rounds
        print(f"  {name:<6} {pool:<36} league {games / league[0]:6.1f} games/s, arena {games / arena[0]:6.1f} "
              f"games/s: the league takes {100 * (league[0] / arena[0] - 1):5.1f} % more wall time, "
              f"{100 * (league[1] / arena[1] - 1):5.1f} % more processor time")
    print(f"load average after: {' '.join(f'{load:.2f}' for load in os.getloadavg())}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
