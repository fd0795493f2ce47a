"""Agent steps per second from Python: single games against batches, side by side in one run.

Every loop plays uniformly random legal moves. An agent step is one placement (the
batch passes done seats inside the engine; the single-game loops count their passes
too). Figures are wall-clock rates with the process's CPU rate beside them, each from the
fastest of five rounds: on a shared machine the CPU rate is what one core gives, and the
wall rate of the threaded runs tells whether the second core was free. A pure-Python control loop, timed at the
start and the end, shows how busy the machine was.

    python bench/batch_bench.py [--games 256] [--seconds 2]
"""

import argparse
import os
import random
import sys
import time
from collections.abc import Callable

import numpy as np

from vexlan_rl import PyVexlan
from vexlan_rl.batch import GameBatch


def rate(run: Callable[[], int], seconds: float, rounds: int = 5) -> tuple[float, float]:
    """Calls run() (which returns the steps it made) for about `seconds` in all; steps per
    wall second and per CPU second of the process, from the fastest of `rounds` rounds, so
    that a round the host slowed down does not count."""
    best = (0.0, 0.0)
    for _ in range(rounds):
        steps = 0
        wall, cpu = time.perf_counter(), time.process_time()
        while time.perf_counter() - wall < seconds / rounds:
            steps += run()
        figures = (steps / (time.perf_counter() - wall), steps / max(time.process_time() - cpu, 1e-9))
        best = max(best, figures)
    return best


def control_loop() -> int:
    total = 0
    for i in range(100_000):
        total += i & 7
    return 100_000


def single_games(choose: Callable[[PyVexlan, int, random.Random], int]) -> Callable[[], int]:
    rng = random.Random(0)

    def run() -> int:
        game, steps = PyVexlan(), 0
        while not game.is_over:
            seat = game.agent_selection
            game.step(None if game.terminations[seat] else choose(game, seat, rng))
            steps += 1
        return steps
    return run


def by_legal_actions(game: PyVexlan, seat: int, rng: random.Random) -> int:
    legal = game.legal_actions(seat)
    return legal[rng.randrange(len(legal))]


def by_mask(game: PyVexlan, seat: int, rng: random.Random) -> int:
    legal = np.flatnonzero(np.frombuffer(game.observe(seat).action_mask, dtype=np.bool_))
    return int(legal[rng.randrange(len(legal))])


def environment_loop() -> Callable[[], int]:
    from vexlan_rl.rl.env import env
    environment = env()
    environment.reset(seed=0)
    rng = np.random.default_rng(0)

    def run() -> int:
        environment.reset()
        steps = 0
        for agent in environment.agent_iter():
            observation, _, termination, _, _ = environment.last()
            environment.step(None if termination else int(rng.choice(np.flatnonzero(observation["action_mask"]))))
            steps += 1
        return steps
    return run


def batch_loop(games: int, threads: int, dense: bool, by_numpy: bool) -> tuple[Callable[[], int], list[int]]:
    batch = GameBatch(games, threads=threads, dense_mask=dense)
    rng = np.random.default_rng(0)
    ended = [0]

    def run() -> int:
        if by_numpy:
            batch.step(batch.sample_actions(rng))
        else:
            batch.step_random()
        ended[0] += int(batch.terminated.sum())
        return games
    return run, ended


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--games", type=int, default=256, help="games per batch (default 256)")
    parser.add_argument("--seconds", type=float, default=2.0, help="time per measurement (default 2)")
    options = parser.parse_args()
    seconds = options.seconds
    GameBatch(1)  # builds the action set before any timing

    control_before = rate(control_loop, 0.5, 1)[0]
    print(f"machine: {os.cpu_count()} cores, load average {os.getloadavg()[0]:.2f}")
    print(f"{'loop':58} {'steps/s':>9} {'per CPU s':>10} {'games/s':>8}  target")
    rows: dict[str, float] = {}

    def show(name: str, figures: tuple[float, float], target: str = "", games: float | None = None) -> None:
        rows[name] = figures[0]
        per_game = f"{games:8.0f}" if games is not None else " " * 8
        print(f"{name:58} {figures[0]:9.0f} {figures[1]:10.0f} {per_game}  {target}")

    show("single game, action mask scanned by numpy", rate(single_games(by_mask), seconds))
    show("single game, legal_actions", rate(single_games(by_legal_actions), seconds), ">= 50,000")
    try:
        show("PettingZoo environment", rate(environment_loop(), seconds))
    except ImportError as missing:
        print(f"PettingZoo environment: skipped ({missing})")
    n = options.games
    for threads, dense, by_numpy, target in ((1, False, True, ">= 250,000"), (1, True, True, ">= 150,000"),
                                             (1, False, False, ""), (2, False, True, ""), (2, False, False, "")):
        run, ended = batch_loop(n, threads, dense, by_numpy)
        start = time.perf_counter()
        figures = rate(run, seconds)
        games = ended[0] / (time.perf_counter() - start)
        chooser = "numpy picks" if by_numpy else "step_random"
        name = f"batch {n}, {threads} thread{'s' if threads > 1 else ''}, {chooser}{', dense mask' if dense else ''}"
        show(name, figures, target or (">= 6,000 games/s per thread" if not by_numpy else ""), games)
    for chooser in ("numpy picks", "step_random"):
        one, two = rows[f"batch {n}, 1 thread, {chooser}"], rows[f"batch {n}, 2 threads, {chooser}"]
        print(f"two threads against one, {chooser}: {two / one:.2f}x (target >= 1.8x on an idle machine)")
    control_after = rate(control_loop, 0.5, 1)[0]
    print(f"control loop: {control_after / control_before:.2f} of its speed at the start "
          f"(well below 1 means the other core got busy)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
