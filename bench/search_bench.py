"""The batched search from Python, with an evaluation that costs next to nothing (uniform priors,
even values, in numpy): processor time per simulation of everything but a network, the tree work
in C++ and the round trip through Python, beside the same search with the evaluation done in C++
(search_bench, the tree work alone) when its binary is given; and how full the evaluation calls are.

    python bench/search_bench.py [--games N] [--simulations S] [--leaves L] [--moves M] [--cpp PATH]
"""

import argparse
import subprocess
import time

import numpy as np

from vexlan_rl.search import BatchedSearch, Leaves

WARM_UP_MOVES = 2  # searched before the clock starts, while the trees' pools grow


def evaluate(leaves: Leaves) -> tuple[np.ndarray, np.ndarray]:
    return np.ones(int(leaves.prior_offsets[-1]), np.float32), np.full((len(leaves), 4), 0.5, np.float32)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--games", type=int, default=256)
    parser.add_argument("--simulations", type=int, default=64)
    parser.add_argument("--leaves", type=int, default=8)
    parser.add_argument("--moves", type=int, default=8)
    parser.add_argument("--cpp", help="the search_bench binary, run first for the C++ figures")
    arguments = parser.parse_args()
    if arguments.cpp:
        subprocess.run([arguments.cpp, str(arguments.games), str(arguments.simulations), str(arguments.moves)],
                       check=True)
    search = BatchedSearch(arguments.games, simulations=arguments.simulations, leaves=arguments.leaves)
    calls = simulated = 0
    for move in range(-WARM_UP_MOVES, arguments.moves):
        if move == 0:
            started, calls, simulated = time.process_time(), 0, 0
            evaluated, requested = search._core.evaluated_leaves, search._core.requested_leaves
        while (leaves := search.select()) is not None:
            search.expand(*evaluate(leaves))
            calls += 1
            simulated += len(leaves)
        search.step()
    seconds = time.process_time() - started
    per_call = (search._core.evaluated_leaves - evaluated) / calls
    asked = arguments.games * arguments.leaves
    print(f"python: {arguments.games} games x {arguments.simulations} simulations a move, {arguments.leaves} leaves "
          f"a round, {arguments.moves} moves after {WARM_UP_MOVES}: {seconds * 1e6 / simulated:.2f} us processor "
          f"per evaluated leaf, numpy's share included; {per_call:.1f} leaves per call of {asked} asked = "
          f"{per_call / asked:.3f}; against what the trees could take: "
          f"{(search._core.evaluated_leaves - evaluated) / (search._core.requested_leaves - requested):.3f}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
