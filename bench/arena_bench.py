"""Arena speed through the Python API: `evaluate` of 10,000 four-seat games on two threads, for
lineups of random and greedy players, each beside the same lineup's games on one thread in the same
run (the baseline that the machine's load slows alike), and tree search simulations per second of
one thread.

    python bench/arena_bench.py [--games N] [--threads T]
"""

import argparse
import time

from vexlan_rl import PyVexlan
from vexlan_rl.players import MctsPlayer, RandomPlayer, evaluate, parse_players

LINEUPS = ("random,random,random,random", "greedy,random,random,random", "greedy,greedy,random,random",
           "greedy,greedy,greedy,greedy")


def timed(lineup: str, games: int, threads: int) -> tuple[float, float]:
    """Wall-clock and processor seconds of `evaluate`; on a busy machine, the wall clock also counts
    waiting for a core, and processor seconds / threads is what idle cores would take."""
    started, started_cpu = time.perf_counter(), time.process_time()
    evaluate(parse_players(lineup), games, seed=1, threads=threads)
    return time.perf_counter() - started, time.process_time() - started_cpu


def simulations_per_second(plies: int, seconds: float) -> float:
    """One tree search thread from a position `plies` placements into a random game."""
    game, opener = PyVexlan(), RandomPlayer(seed=5)
    while game.ply < plies:
        seat = game.agent_selection
        game.step(None if game.terminations[seat] else opener.act(game))
    search = MctsPlayer(seconds=seconds, seed=5)
    started = time.process_time()
    search.act(game)
    return search.last_simulations / (time.process_time() - started)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--games", type=int, default=10000)
    parser.add_argument("--threads", type=int, default=2)
    arguments = parser.parse_args()
    baseline_games = max(4, arguments.games // 10 // 4 * 4)
    print(f"evaluate(): {arguments.games} games on {arguments.threads} threads (target < 10 s), beside "
          f"{baseline_games} games on 1 thread")
    for lineup in LINEUPS:
        _, one_cpu = timed(lineup, baseline_games, 1)
        wall, cpu = timed(lineup, arguments.games, arguments.threads)
        print(f"  {lineup:<30} {wall:6.2f} s wall, {cpu:6.2f} s processor: {arguments.games / cpu:5.0f} games "
              f"per processor second, 1 thread: {baseline_games / one_cpu:5.0f}")
    print("tree search, random playouts, 1 thread, processor time (target >= 5000 simulations/s)")
    for plies in (0, 20, 40):
        print(f"  from ply {plies:2d}: {simulations_per_second(plies, 2.0):8.0f} simulations/s")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
