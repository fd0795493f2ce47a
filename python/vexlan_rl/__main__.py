"""Plays random self-play games and shows the result."""

import random
import sys
import time

from vexlan_rl import PyVexlan


def main() -> int:
    games = int(sys.argv[1]) if len(sys.argv) > 1 else 100
    rng = random.Random(0)
    started = time.perf_counter()
    plies = 0
    for _ in range(games):
        game = PyVexlan()
        while not game.is_over:
            mask = game.observe(game.agent_selection).action_mask
            legal = [g for g, bit in enumerate(mask) if bit]
            game.step(rng.choice(legal) if legal else None)
        plies += game.ply
    elapsed = time.perf_counter() - started
    print(f"{games} games, {plies / games:.1f} placements per game, {games / elapsed:.1f} games per second")
    return 0


if __name__ == "__main__":
    sys.exit(main())
