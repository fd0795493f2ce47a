"""Self-play PPO on a `GameBatch`: one network plays all four seats of every game.

Each iteration plays `rollout_steps` moves in each of `games` games, choosing every move
of the batch in one forward pass, then trains on them (`vexlan_rl.nn.ppo`). The run
writes to its folder:

- checkpoint.pt: the latest network with its settings, the optimizer and the counters,
  written atomically every `checkpoint_seconds` and at the end; a run resumes from it.
- snapshots/policy-NNNNNNs.pt: the network at each evaluation, NNNNNN its training seconds;
  each plays as "policy:PATH".
- metrics.csv: one row per iteration (losses, entropy, throughput).
- evaluations.csv: at each evaluation, the greedy-move policy against three of each
  opponent, seats rotated, its win share with a 95% Wilson interval.
- curve.png: win share against training time and agent steps (needs matplotlib).

Training seconds count the iterations only, not evaluations and checkpoints."""

import csv
import time
from collections.abc import Callable
from functools import partial
from pathlib import Path
from typing import Any

import numpy as np
import torch

from vexlan_rl._engine import pass_done_seats
from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.batch import GameBatch
from vexlan_rl.nn.checkpoint import read_checkpoint, save_checkpoint
from vexlan_rl.nn.legal_policy import legal_distribution
from vexlan_rl.nn.network import PolicyValueNet
from vexlan_rl.nn.ppo import STATISTICS, ppo_update
from vexlan_rl.nn.rollout import Rollout, Samples
from vexlan_rl.nn.settings import TrainSettings
from vexlan_rl.nn.tensors import batch_positions
from vexlan_rl.players.arena import evaluate
from vexlan_rl.players.policy import PolicyPlayer
from vexlan_rl.players.specs import parse_player
from vexlan_rl.records import save_games

CHECKPOINT = "checkpoint.pt"
METRICS = ("iteration", "train_seconds", "agent_steps", "steps_per_second", "sample_seconds", "update_seconds",
           "games_finished", *STATISTICS)
STAGGER_PLIES = 60  # a game lasts about 80 placements
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
    from its checkpoint with the settings saved in it."""

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
        self.settings = settings = settings or TrainSettings()
        torch.set_num_threads(settings.threads)
        self.network = PolicyValueNet(settings.network).to(self.device).eval()
        self.optimizer = torch.optim.Adam(self.network.parameters(), lr=settings.ppo.learning_rate)
        self.iteration = self.agent_steps = self.evaluations = 0
        self.train_seconds = 0.0
        self._evaluated_at = -1
        if saved is not None:
            self.network.load_state_dict(saved["weights"])
            self.optimizer.load_state_dict(saved["optimizer"])
            self.iteration, self.agent_steps, self.evaluations, self.train_seconds = (
                saved["progress"][name] for name in ("iteration", "agent_steps", "evaluations", "train_seconds"))
        # A resumed run starts new games and random streams, never those of the first run again.
        run_seed = settings.seed + 1_000_003 * self.iteration
        torch.manual_seed(run_seed)
        self.generator = torch.Generator().manual_seed(run_seed)
        self.games = GameBatch(settings.games, seed=run_seed, reward_mode=settings.network.reward_mode)
        self._stagger(np.random.default_rng(run_seed))
        self.out.mkdir(parents=True, exist_ok=True)

    def _stagger(self, rng: np.random.Generator) -> None:
        """Starts each slot some random placements into its first game, so that the games end at
        different steps: otherwise every rollout would hold the same stage of every game."""
        for slot in range(self.games.num_games):
            game = PyVexlan()
            for _ in range(rng.integers(STAGGER_PLIES)):
                pass_done_seats(game)
                if game.is_over:
                    break
                moves = game.legal_actions(game.agent_selection)
                game.step(moves[rng.integers(len(moves))])
            pass_done_seats(game)
            self.games.load(slot, (PyVexlan() if game.is_over else game).to_bytes())

    @torch.no_grad()
    def collect(self) -> tuple[Samples, int]:
        """Plays one rollout; its samples and the number of games it finished."""
        rollout = Rollout(self.settings.games, self.settings.rollout_steps)
        finished = 0
        for _ in range(self.settings.rollout_steps):
            positions = batch_positions(self.games, device=self.device)
            logits, values = self.network(positions.planes, positions.pieces, positions.legal)
            distribution = legal_distribution(logits, positions.counts)
            choices = distribution.sample()
            moves = positions.legal.gather(1, choices.unsqueeze(1)).squeeze(1)
            rollout.add(positions, choices, distribution.log_prob(choices), values, self.games.agent.astype(np.int64))
            self.games.step(moves.cpu().numpy())
            finished += rollout.end_games(self.games.terminated, self.games.rewards)
        positions = batch_positions(self.games, device=self.device)
        final_values = self.network.values(self.network.trunk(positions.planes, positions.pieces))
        return rollout.samples(final_values, self.games.agent.astype(np.int64), self.settings.ppo.gae_lambda), finished

    def iterate(self) -> dict[str, Any]:
        """One rollout and one update; the metrics row."""
        started = time.perf_counter()
        samples, finished = self.collect()
        sampled = time.perf_counter()
        statistics = ppo_update(self.network, self.optimizer, samples, self.settings.ppo, self.generator)
        updated = time.perf_counter()
        self.iteration += 1
        self.agent_steps += len(samples)
        self.train_seconds += updated - started
        return {"iteration": self.iteration, "train_seconds": round(self.train_seconds, 3),
                "agent_steps": self.agent_steps, "steps_per_second": round(len(samples) / (updated - started), 1),
                "sample_seconds": round(sampled - started, 3), "update_seconds": round(updated - sampled, 3),
                "games_finished": finished, **{name: round(value, 5) for name, value in statistics.items()}}

    def save(self, path: Path | None = None) -> Path:
        """Writes the checkpoint (or a snapshot at `path`) atomically; returns its path."""
        path = path or self.out / CHECKPOINT
        save_checkpoint(path, self.network, training=self.settings.to_dict(), optimizer=self.optimizer.state_dict(),
                        progress={"iteration": self.iteration, "agent_steps": self.agent_steps,
                                  "evaluations": self.evaluations, "train_seconds": self.train_seconds})
        return path

    def evaluate(self) -> list[dict[str, Any]]:
        """Keeps a snapshot and plays it, most likely move, against three of each opponent."""
        snapshot = self.save(self.out / "snapshots" / f"policy-{round(self.train_seconds):06d}s.pt")
        player = PolicyPlayer(snapshot, device=str(self.device))
        rows = []
        for opponent in self.settings.eval_opponents:
            lineup = [player, *(parse_player(opponent) for _ in range(3))]
            seed = self.settings.seed + self.evaluations
            on_games = None
            if self.settings.save_games:
                folder = self.out / "games" / f"{snapshot.stem}-{opponent.replace(':', '-')}"
                on_games = partial(save_games, folder, lineup, seed)
            result = evaluate(lineup, self.settings.eval_games, seed=seed, on_games=on_games)[0]
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
            _append_row(self.out / "metrics.csv", METRICS, self.iterate())
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
