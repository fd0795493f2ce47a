"""Trainer throughput in agent steps per second, beside the RLlib example's, in one run.

Figures for the default network and settings of `python -m vexlan_rl train`:

- conversion: `batch_positions`, the batch's buffers to float tensors (the one copy), per
  position, beside `GameBatch.step_random`, the engine's own step, as the baseline;
- sampling alone: rollouts (a forward pass over the batch and a step, per move);
- update alone: the PPO update over a rollout's samples (all epochs);
- whole loop: rollout and update, what a training run gets between evaluations;
- the RLlib example (examples/rllib_ppo.py, 2,000 agent steps an iteration), timed by its own
  report of the last iteration, where Ray is installed.

Each figure is wall-clock, with the process's CPU rate beside it; a shared machine slows
both, so compare the ratios. Say what else was running when you quote them.

    python bench/train_bench.py [--iterations 3] [--threads 1] [--no-rllib]
"""

import argparse
import importlib.util
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import torch

from vexlan_rl.batch import GameBatch
from vexlan_rl.nn import batch_positions
from vexlan_rl.nn.ppo import ppo_update
from vexlan_rl.nn.ppo_loop import PpoLoop
from vexlan_rl.nn.settings import TrainSettings
from vexlan_rl.nn.trainer import Trainer

RLLIB_EXAMPLE = Path(__file__).resolve().parents[1] / "examples" / "rllib_ppo.py"
RLLIB_STEPS = 2000  # the example's default agent steps an iteration


class Clock:
    """Wall and CPU seconds of the process since it was made."""

    def __init__(self) -> None:
        self.wall, self.cpu = time.perf_counter(), time.process_time()

    def rates(self, steps: int) -> tuple[float, float]:
        """(steps per wall second, steps per CPU second) since then."""
        return (steps / (time.perf_counter() - self.wall), steps / max(time.process_time() - self.cpu, 1e-9))


def conversion_figures(games: int, rounds: int = 50) -> tuple[float, float]:
    """Microseconds per position: batch_positions, and step_random, the engine's step."""
    batch = GameBatch(games, seed=1)
    started = time.perf_counter()
    for _ in range(rounds):
        batch_positions(batch)
    converting = time.perf_counter() - started
    started = time.perf_counter()
    for _ in range(rounds):
        batch.step_random()
    stepping = time.perf_counter() - started
    return 1e6 * converting / (rounds * games), 1e6 * stepping / (rounds * games)


def rllib_figure(iterations: int) -> tuple[float, str] | None:
    """The RLlib example's agent steps per second in its last iteration, or None without Ray."""
    if importlib.util.find_spec("ray") is None:
        return None
    result = subprocess.run([sys.executable, str(RLLIB_EXAMPLE), "--iterations", str(iterations),
                             "--eval-games", "4"], capture_output=True, text=True, timeout=1800)
    seconds = re.findall(r"iteration \d+: .*, ([0-9.]+) s$", result.stdout, re.MULTILINE)
    if result.returncode != 0 or not seconds:
        return 0.0, f"the example failed: {result.stderr[-500:]}"
    return RLLIB_STEPS / float(seconds[-1]), f"last of {iterations} iterations: {seconds[-1]} s"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--iterations", type=int, default=3, help="trainer iterations timed (default: %(default)s)")
    parser.add_argument("--threads", type=int, default=TrainSettings().threads, help="torch threads")
    parser.add_argument("--rllib-iterations", type=int, default=2, help="(default: %(default)s)")
    parser.add_argument("--no-rllib", action="store_true", help="leave the RLlib example out")
    arguments = parser.parse_args()

    settings = TrainSettings(threads=arguments.threads)
    torch.set_num_threads(arguments.threads)
    converting, stepping = conversion_figures(settings.games)
    print(f"{settings.games} games, {settings.rollout_steps} steps a rollout, network "
          f"{settings.network.channels} channels x {settings.network.blocks + 1} convolutions, "
          f"{settings.ppo.epochs} epochs, {arguments.threads} torch thread(s)")
    print(f"conversion: batch_positions {converting:.2f} us a position; GameBatch.step_random "
          f"{stepping:.2f} us a position (baseline)")
    with tempfile.TemporaryDirectory() as folder:
        trainer = Trainer(folder, settings)
        loop = trainer.loop
        assert isinstance(loop, PpoLoop)
        trainer.iterate()  # warm up: first allocations and the stagger's first games
        figures: dict[str, list[tuple[float, float]]] = {"sampling alone": [], "update alone": [], "whole loop": []}
        for _ in range(arguments.iterations):
            clock = Clock()
            samples, _ = loop.collect()
            figures["sampling alone"].append(clock.rates(len(samples)))
            clock = Clock()
            ppo_update(loop.network, loop.optimizer, samples, settings.ppo, loop.generator)
            figures["update alone"].append(clock.rates(len(samples)))
            clock = Clock()
            trainer.iterate()
            figures["whole loop"].append(clock.rates(len(samples)))
    rllib = None if arguments.no_rllib else rllib_figure(arguments.rllib_iterations)
    whole = max(figures["whole loop"])[0]
    print(f"{'path':<32} {'agent steps/s (wall)':>22} {'per CPU second':>16}")
    for name, runs in figures.items():
        wall, cpu = max(runs)
        print(f"{'trainer, ' + name:<32} {wall:>22.0f} {cpu:>16.0f}")
    if rllib is None:
        print("RLlib example: not run (Ray is not installed, or --no-rllib)")
    else:
        print(f"{'RLlib example':<32} {rllib[0]:>22.0f} {'':>16}  ({rllib[1]})")
        if rllib[0] > 0:
            print(f"whole loop / RLlib example: {whole / rllib[0]:.1f}x")
    return 0


if __name__ == "__main__":
    sys.exit(main())
