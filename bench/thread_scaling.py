"""Thread scaling: random games per second with 1, 2 and N threads, each thread
playing its own games through PyVexlan, as a ratio to one thread; and, when
vexlan_rl.batch is there, GameBatch.step_random() with 1 and 2 worker threads.

Without a GIL the ratio can approach the number of idle cores; with one it
stays near 1. A pure-Python loop run in 1 and then 2 processes shows how much
of a second core this process can get at all: on a busy machine no ratio can
beat that control's, so it is printed beside the others. Each ratio is also
split into its two factors, which a busy machine leaves apart: the cores the
process kept busy (CPU seconds per second) and the work done per CPU second
against one thread, which falls below 1 when threads get in each other's way.

    python bench/thread_scaling.py [--seconds S] [--rounds R] [--threads N]
"""

import argparse
import multiprocessing
import os
import random
import statistics
import sys
import threading
import time
from collections.abc import Callable

from vexlan_rl import PyVexlan
from vexlan_rl._engine import pass_done_seats

try:
    from vexlan_rl.batch import GameBatch
except ImportError:
    GameBatch = None

TARGET = 1.7  # two threads against one, on an idle two-core machine
IDLE = 1.8  # the control's ratio below which the machine counts as busy
BATCH_GAMES = 256

# A measurement: (work per second, CPU seconds per second, work per CPU second).
Measurement = tuple[float, float, float]


def timed(run: Callable[[], float]) -> Measurement:
    """Runs `run`, which returns the work it did, under the wall and CPU clocks
    of the whole process."""
    wall, cpu = time.perf_counter(), time.process_time()
    work = run()
    wall, cpu = time.perf_counter() - wall, time.process_time() - cpu
    return work / wall, cpu / wall, work / cpu


def play_for(seconds: float, seed: int, start: threading.Barrier, games: list[int]) -> None:
    """Plays whole random games on this thread's own PyVexlan for about `seconds`
    and appends how many. A move is the first legal index at or after a random
    one, found by bytes.find so that picking costs next to nothing in Python."""
    rng = random.Random(seed)
    game = PyVexlan()
    size = PyVexlan.num_actions
    played = 0
    start.wait()
    deadline = time.perf_counter() + seconds
    while time.perf_counter() < deadline:
        game.reset()
        pass_done_seats(game)
        while not game.is_over:
            mask = game.observe(game.agent_selection).action_mask
            action = mask.find(1, rng.randrange(size))
            game.step(action if action >= 0 else mask.find(1))
            pass_done_seats(game)
        played += 1
    games.append(played)


def games_per_second(threads: int, seconds: float) -> Measurement:
    def run() -> float:
        start = threading.Barrier(threads)
        games: list[int] = []
        workers = [threading.Thread(target=play_for, args=(seconds, seed, start, games)) for seed in range(threads)]
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join()
        return sum(games)

    return timed(run)


def spin_for(seconds: float, start: "multiprocessing.synchronize.Barrier",
             rates: "multiprocessing.Queue[float]") -> None:
    """The control: pure-Python arithmetic for about `seconds`; puts the
    iterations per second."""
    start.wait()
    began = time.perf_counter()
    total = 0
    rounds = 0
    while (elapsed := time.perf_counter() - began) < seconds:
        for i in range(10_000):
            total += i & 7
        rounds += 1
    rates.put(rounds * 10_000 / elapsed)


def control_per_second(processes: int, seconds: float) -> Measurement:
    """Loops per second of the control summed over `processes` processes
    (the CPU figures are not measured: nan)."""
    context = multiprocessing.get_context("spawn")
    start = context.Barrier(processes)
    rates = context.Queue()
    workers = [context.Process(target=spin_for, args=(seconds, start, rates)) for _ in range(processes)]
    for worker in workers:
        worker.start()
    total = sum(rates.get() for _ in workers)
    for worker in workers:
        worker.join()
    return total, float("nan"), float("nan")


def batch_steps_per_second(threads: int, seconds: float) -> Measurement:
    """Agent steps per second of GameBatch.step_random(), which steps every
    game of the batch once per call."""
    batch = GameBatch(BATCH_GAMES, threads=threads, seed=threads)
    batch.step_random()

    def run() -> float:
        calls = 0
        deadline = time.perf_counter() + seconds
        while time.perf_counter() < deadline:
            batch.step_random()
            calls += 1
        return calls * BATCH_GAMES

    return timed(run)


def row(label: str, unit: str, results: dict[int, Measurement], control: float | None = None) -> str:
    """The rate at each thread count and each count's ratio to one thread; with
    `control`, a second line with the two factors of each ratio."""
    counts = sorted(results)
    cells = "  ".join(f"{count}: {results[count][0]:>9,.0f}" for count in counts)
    ratios = "  ".join(f"{count}: {results[count][0] / results[1][0]:.2f}x" for count in counts[1:])
    line = f"{label:<34}{cells} {unit}   {ratios}"
    if control is None:
        return line
    busy = "  ".join(f"{count}: {results[count][1]:.2f}" for count in counts)
    per_cpu = "  ".join(f"{count}: {results[count][2] / results[1][2]:.2f}x" for count in counts[1:])
    return (f"{line}   (2: {results[2][0] / results[1][0] / control:.2f} of the control's)\n"
            f"{'':<34}cores busy {busy}   work per CPU second {per_cpu}")


def main() -> int:
    cores = os.cpu_count() or 1
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=2.0, help="length of each measurement (default 2)")
    parser.add_argument("--rounds", type=int, default=3, help="rounds of all measurements; medians shown (default 3)")
    parser.add_argument("--threads", type=int, default=max(4, cores), help="the largest thread count N (default "
                        "the number of cores, at least 4)")
    options = parser.parse_args()
    counts = sorted({1, 2, options.threads})

    gil = getattr(sys, "_is_gil_enabled", lambda: True)()
    print(f"CPython {sys.version.split()[0]}, GIL {'on' if gil else 'off'}, {cores} cores, "
          f"load average {os.getloadavg()[0]:.2f}; medians of {options.rounds} rounds of {options.seconds:g} s")
    games_per_second(1, 0.2)  # warm up: the action set is built on first use

    measures: dict[str, dict[int, Callable[[], Measurement]]] = {
        "control": {count: lambda count=count: control_per_second(count, options.seconds) for count in (1, 2)},
        "games": {count: lambda count=count: games_per_second(count, options.seconds) for count in counts},
    }
    if GameBatch is not None:
        measures["batch"] = {count: lambda count=count: batch_steps_per_second(count, options.seconds)
                             for count in (1, 2)}
    samples: dict[str, dict[int, list[Measurement]]] = {name: {count: [] for count in runs}
                                                        for name, runs in measures.items()}
    # Rounds interleave the measures, so that a burst of load elsewhere
    # touches all of them rather than one.
    for _ in range(options.rounds):
        for name, runs in measures.items():
            for count, measure in runs.items():
                samples[name][count].append(measure())
    medians = {name: {count: tuple(map(statistics.median, zip(*values))) for count, values in runs.items()}
               for name, runs in samples.items()}

    control = medians["control"][2][0] / medians["control"][1][0]
    print(row("control: pure Python in processes", "loops/s", medians["control"]))
    print(row("PyVexlan, a game per thread", "games/s", medians["games"], control))
    if GameBatch is not None:
        print(row(f"GameBatch({BATCH_GAMES}).step_random()", "steps/s", medians["batch"], control))
    else:
        print("GameBatch: vexlan_rl.batch is not importable here, not measured")
    print(f"target: 2 threads at least {TARGET}x one thread on an idle machine")
    if control < IDLE:
        print(f"NOT IDLE: two processes of plain Python reached only {control:.2f}x one, so the other core was "
              f"busy; the thread ratios above cannot beat that")
    return 0


if __name__ == "__main__":
    sys.exit(main())
