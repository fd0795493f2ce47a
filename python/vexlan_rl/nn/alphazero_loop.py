"""Self-play through the batched search: the network judges the leaves of every game's
tree, each move is drawn from its root's visits, and each searched position, once its
game ends, becomes a training example (`vexlan_rl.nn.alphazero`).

Each iteration plays `rollout_steps` searched moves in each of `games` games, then
trains `sample_reuse` times as many positions as it played, in minibatches drawn from
the replay buffer. The buffer lives in memory: a resumed run starts it anew."""

import time
from typing import Any

import numpy as np
import torch

from vexlan_rl.nn.alphazero import STATISTICS, alphazero_update
from vexlan_rl.nn.leaf_evaluator import LeafEvaluator
from vexlan_rl.nn.network import PolicyValueNet
from vexlan_rl.nn.replay_buffer import Example, ReplayBuffer
from vexlan_rl.nn.settings import TrainSettings
from vexlan_rl.search import BatchedSearch

Pending = tuple[np.ndarray, np.ndarray, np.ndarray, np.ndarray, int]  # planes, pieces, legal, policy, mover


class AlphaZeroLoop:
    """The search side of a run: its searched games, replay buffer, optimizer and random
    stream; `iterate` plays searched moves and trains on the buffer."""

    STATISTICS = (*STATISTICS, "leaves_per_call", "replay_size")

    def __init__(self, settings: TrainSettings, network: PolicyValueNet, device: torch.device, seed: int) -> None:
        self.settings, self.network, self.device = settings, network, device
        config = settings.alphazero
        self.optimizer = torch.optim.AdamW(network.parameters(), lr=config.learning_rate,
                                           weight_decay=config.weight_decay)
        self.rng = np.random.default_rng(seed)
        self.search = BatchedSearch(settings.games, seed=seed, simulations=config.simulations, leaves=config.leaves,
                                    exploration=config.exploration, noise_alpha=config.noise_alpha,
                                    noise_fraction=config.noise_fraction, temperature=config.temperature,
                                    reward_mode=settings.network.reward_mode)
        self.evaluator = LeafEvaluator(network, device)
        self.replay = ReplayBuffer(config.replay_size)
        self.pending: list[list[Pending]] = [[] for _ in range(settings.games)]
        self.updates_owed = 0.0  # minibatches earned by the positions played, not yet trained

    def play(self) -> tuple[int, int]:
        """One searched move in every game; (positions played, games finished)."""
        return self.play_moves(self.search.run(self.evaluator))

    def play_moves(self, moves: np.ndarray) -> tuple[int, int]:
        """Keeps every root just searched, with its visit distribution, until its game ends,
        and plays `moves` (one per game, legal at its root); (positions played, games finished)."""
        search = self.search
        planes, pieces = search.observation.copy(), search.pieces.copy()
        for game, waiting in enumerate(self.pending):
            count = int(search.legal_count[game])
            waiting.append((planes[game], pieces[game], search.legal_actions[game, :count].copy(),
                            search.policy[game, :count].copy(), int(search.agent[game])))
        search.step(moves)
        finished = np.flatnonzero(search.terminated)
        for ended in finished.tolist():
            outcome = search.rewards[ended].astype(np.float32)
            self.replay.extend([Example(seen, hands, legal, visits, np.roll(outcome, -mover))
                                for seen, hands, legal, visits, mover in self.pending[ended]])
            self.pending[ended] = []
        return search.num_games, len(finished)

    def iterate(self) -> tuple[int, int, float, dict[str, Any]]:
        """`rollout_steps` searched moves in every game, then the updates they earn: agent
        steps, games finished, seconds of self-play, and the updates' statistics."""
        started = time.perf_counter()
        played = finished = 0
        for _ in range(self.settings.rollout_steps):
            positions, ended = self.play()
            played, finished = played + positions, finished + ended
        sampled = time.perf_counter() - started
        config = self.settings.alphazero
        totals = dict.fromkeys(STATISTICS, 0.0)
        if len(self.replay) >= config.minibatch:
            self.updates_owed += played * config.sample_reuse / config.minibatch
        updates = int(self.updates_owed)
        self.updates_owed -= updates
        for _ in range(updates):
            batch = self.replay.sample(config.minibatch, self.rng, self.device)
            for name, value in alphazero_update(self.network, self.optimizer, batch, config.value_weight).items():
                totals[name] += value / updates
        statistics = {**totals, "leaves_per_call": self.search.leaves_per_call, "replay_size": len(self.replay)}
        return played, finished, sampled, statistics
