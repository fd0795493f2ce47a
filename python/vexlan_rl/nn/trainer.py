"""A training run: self-play PPO (`vexlan_rl.nn.ppo_loop`) or learning from self-play
searches (`vexlan_rl.nn.alphazero_loop`), one network in all four seats of every game,
with what every run keeps. The run writes to its folder:

- checkpoint.pt: the latest network with its settings, the optimizer and the counters,
  written atomically every `checkpoint_seconds` and at the end; a run resumes from it.
- snapshots/policy-NNNNNNs.pt: the network at each evaluation, NNNNNN its training seconds;
  each plays as "policy:PATH" (and "az:PATH:SIMULATIONS").
- metrics.csv: one row per iteration (losses, throughput).
- evaluations.csv: at each evaluation, the network (its most likely move, or the most
  visited move of a search of `eval_simulations`) against three of each opponent, seats
  rotated, its win share with a 95% Wilson interval.
- curve.png: win share against training time and agent steps (needs matplotlib).

Training seconds count the iterations only, not evaluations and checkpoints."""

import csv
import math
import time
from collections.abc import Callable
from dataclasses import replace
from functools import partial
from pathlib import Path
from typing import Any

import torch

from vexlan_rl.nn.alphazero_loop import AlphaZeroLoop
from vexlan_rl.nn.checkpoint import read_checkpoint, save_checkpoint
from vexlan_rl.nn.network import NetworkSettings, PolicyValueNet
from vexlan_rl.nn.ppo_loop import PpoLoop
from vexlan_rl.nn.settings import TrainSettings
from vexlan_rl.players.arena import evaluate
from vexlan_rl.players.engine import Player
from vexlan_rl.players.policy import PolicyPlayer
from vexlan_rl.players.search_player import SearchPlayer
from vexlan_rl.players.specs import parse_player
from vexlan_rl.records import save_games

CHECKPOINT = "checkpoint.pt"
COUNTERS = ("iteration", "train_seconds", "agent_steps", "steps_per_second", "sample_seconds", "update_seconds",
            "games_finished")
EVALUATIONS = ("train_seconds", "agent_steps", "opponent", "games", "win_share", "low", "high", "mean_rank",
               "snapshot")


def _append_row(path: Path, header: tuple[str, ...], row: dict[str, Any]) -> None:
    new = not path.exists()
    with path.open("a", newline="") as stream:
        writer = csv.DictWriter(stream, header)
        if new:
            writer.writeheader()
        writer.writerow(row)


class Trainer:
    """A run in folder `out`: new (refused where a checkpoint is already there), or resumed
    from its checkpoint with the settings saved in it. A new run whose settings name a
    `start_from` checkpoint starts from that network, its size and reward mode included."""

    def __init__(self, out: str | Path, settings: TrainSettings | None = None, *, resume: bool = False,
                 device: str = "cpu") -> None:
        self.out = Path(out)
        self.device = torch.device(device)
        checkpoint = self.out / CHECKPOINT
        saved: dict[str, Any] | None = None
        if resume:
            saved = read_checkpoint(checkpoint)
            settings = TrainSettings.from_dict(saved["training"])
        elif checkpoint.exists():
            raise FileExistsError(f"{checkpoint} exists: resume that run, or choose another folder")
        settings = settings or TrainSettings()
        start = read_checkpoint(settings.start_from) if settings.start_from and saved is None else None
        if start is not None:
            settings = replace(settings, network=NetworkSettings(**start["network"]))
        self.settings = settings
        torch.set_num_threads(settings.threads)
        self.network = PolicyValueNet(settings.network).to(self.device).eval()
        if start is not None:
            self.network.load_state_dict(start["weights"])
        self.iteration = self.agent_steps = self.evaluations = 0
        self.train_seconds = 0.0
        self._evaluated_at = -1
        if saved is not None:
            self.network.load_state_dict(saved["weights"])
            self.iteration, self.agent_steps, self.evaluations, self.train_seconds = (
                saved["progress"][name] for name in ("iteration", "agent_steps", "evaluations", "train_seconds"))
        # A resumed run starts new games and random streams, never those of the first run again.
        run_seed = settings.seed + 1_000_003 * self.iteration
        torch.manual_seed(run_seed)
        self.loop: PpoLoop | AlphaZeroLoop = (
            AlphaZeroLoop(settings, self.network, self.device, run_seed) if settings.algorithm == "alphazero"
            else PpoLoop(settings, self.network, self.device, run_seed, self.train_seconds))
        self.optimizer = self.loop.optimizer
        if saved is not None:
            self.optimizer.load_state_dict(saved["optimizer"])
        self.metrics = (*COUNTERS, *self.loop.STATISTICS)
        self.out.mkdir(parents=True, exist_ok=True)

    def iterate(self) -> dict[str, Any]:
        """One iteration of the loop; the metrics row."""
        started = time.perf_counter()
        steps, finished, sample_seconds, statistics = self.loop.iterate()
        if not all(math.isfinite(value) for value in statistics.values()):
            raise FloatingPointError(f"training diverged in iteration {self.iteration + 1} ({statistics}); "
                                     f"the checkpoint keeps the network of an earlier iteration")
        seconds = time.perf_counter() - started
        self.iteration += 1
        self.agent_steps += steps
        self.train_seconds += seconds
        return {"iteration": self.iteration, "train_seconds": round(self.train_seconds, 3),
                "agent_steps": self.agent_steps, "steps_per_second": round(steps / seconds, 1),
                "sample_seconds": round(sample_seconds, 3), "update_seconds": round(seconds - sample_seconds, 3),
                "games_finished": finished, **{name: round(value, 5) for name, value in statistics.items()}}

    def save(self, path: Path | None = None) -> Path:
        """Writes the checkpoint (or a snapshot at `path`) atomically; returns its path."""
        path = path or self.out / CHECKPOINT
        save_checkpoint(path, self.network, training=self.settings.to_dict(), optimizer=self.optimizer.state_dict(),
                        progress={"iteration": self.iteration, "agent_steps": self.agent_steps,
                                  "evaluations": self.evaluations, "train_seconds": self.train_seconds})
        return path

    def evaluate(self) -> list[dict[str, Any]]:
        """Keeps a snapshot and plays it against three of each opponent."""
        snapshot = self.save(self.out / "snapshots" / f"policy-{round(self.train_seconds):06d}s.pt")
        simulations = self.settings.eval_simulations
        player: Player = (SearchPlayer(snapshot, simulations, device=str(self.device)) if simulations
                          else PolicyPlayer(snapshot, device=str(self.device)))
        rows = []
        for opponent in self.settings.eval_opponents:
            lineup = [player, *(parse_player(opponent) for _ in range(3))]
            seed = self.settings.seed + self.evaluations
            on_games = None
            if self.settings.save_games:
                folder = self.out / "games" / f"{snapshot.stem}-{opponent.replace(':', '-')}"
                on_games = partial(save_games, folder, lineup, seed)
            result = evaluate(lineup, self.settings.eval_games, seed=seed, on_games=on_games,
                              openings=self.settings.eval_openings)[0]
            rows.append({"train_seconds": round(self.train_seconds, 3), "agent_steps": self.agent_steps,
                         "opponent": opponent, "games": result.games, "win_share": round(result.win_share.mean, 4),
                         "low": round(result.win_share.low, 4), "high": round(result.win_share.high, 4),
                         "mean_rank": round(result.rank.mean, 3), "snapshot": snapshot.name})
        self.evaluations += 1
        for row in rows:
            _append_row(self.out / "evaluations.csv", EVALUATIONS, row)
        return rows

    def run(self, seconds: float, progress: Callable[[float], None] | None = None,
            on_evaluation: Callable[[list[dict[str, Any]]], None] | None = None) -> None:
        """Trains for `seconds` of wall time (evaluations included), evaluating every
        `eval_seconds` of training, and once more at the end."""
        started = time.monotonic()
        saved_at = started
        if self.evaluations == 0:
            self._evaluate(on_evaluation)
        while time.monotonic() - started < seconds:
            _append_row(self.out / "metrics.csv", self.metrics, self.iterate())
            if self.train_seconds >= self.evaluations * self.settings.eval_seconds:
                self._evaluate(on_evaluation)
            if time.monotonic() - saved_at >= self.settings.checkpoint_seconds:
                self.save()
                saved_at = time.monotonic()
            if progress is not None:
                progress(time.monotonic() - started)
        self._evaluate(on_evaluation)
        self.save()

    def _evaluate(self, on_evaluation: Callable[[list[dict[str, Any]]], None] | None) -> None:
        if self._evaluated_at == self.agent_steps:
            return
        self._evaluated_at = self.agent_steps
        rows = self.evaluate()
        if on_evaluation is not None:
            on_evaluation(rows)
