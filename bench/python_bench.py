"""Speed of the Python API: complete random self-play games on one thread.

Each turn observes the agent to move, picks one of its `legal_actions` with numpy and
steps it; a done agent steps with None. Prints the median time of one
`observe` call mid-game, steps per second and complete games per second, each beside
its target.

    python bench/python_bench.py [--games N] [--seed S]
"""

import argparse
import statistics
import sys
import time

import numpy as np

from vexlan_rl import PyVexlan
from vexlan_rl._engine import pass_done_seats

MID_GAME = range(20, 61)  # plies whose observe calls count as mid-game


def play_games(games: int, seed: int) -> tuple[float, int, list[int]]:
    """Plays `games` games; returns the elapsed seconds, the number of steps and the
    nanoseconds of every mid-game observe call."""
    rng = np.random.default_rng(seed)
    observe_ns: list[int] = []
    steps = 0
    clock = time.perf_counter_ns
    start = time.perf_counter()
    for _ in range(games):
        game = PyVexlan()
        while not game.is_over:
            seat = game.agent_selection
            before = clock()
            game.observe(seat)
            elapsed = clock() - before
            if game.ply in MID_GAME:
                observe_ns.append(elapsed)
            legal = game.legal_actions(seat)
            game.step(legal[rng.integers(len(legal))])
            steps += 1
            pass_done_seats(game)
    return time.perf_counter() - start, steps, observe_ns


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--games", type=int, default=3000, help="games to play (default 3000)")
    parser.add_argument("--seed", type=int, default=0, help="seed of the random policy (default 0)")
    options = parser.parse_args()

    play_games(max(options.games // 20, 1), options.seed + 1)  # warm up: action set, caches
    seconds, steps, observe_ns = play_games(options.games, options.seed)
    observe_us = statistics.median(observe_ns) / 1000
    print(f"observe (mid-game)  {observe_us:10.2f} us      median of {len(observe_ns)} calls"
          f"   (target < 25 us)")
    print(f"steps               {steps / seconds:10.0f} /s      {steps} steps, observe and pick included")
    print(f"games               {options.games / seconds:10.1f} /s      {options.games} games in {seconds:.2f} s"
          f"   (target >= 300 /s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
