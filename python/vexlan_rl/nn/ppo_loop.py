"""Self-play PPO on a `GameBatch`: one network plays all four seats of every game, or,
with an opponent, one seat of a share of the games against three engine players. With a
teacher, an engine player's choice at each of the network's positions is learned too, for
the first minutes of training.

Each iteration plays `rollout_steps` moves in each of `games` games, choosing every
network move of the batch in one forward pass and the engine players' moves in C++, one
game at a time, then trains on the network's moves (`vexlan_rl.nn.ppo`)."""

import time
from typing import Any

import numpy as np
import torch

from vexlan_rl._engine import NUM_SEATS, pass_done_seats
from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.batch import GameBatch
from vexlan_rl.nn.legal_policy import legal_distribution
from vexlan_rl.nn.network import PolicyValueNet
from vexlan_rl.nn.ppo import IMITATION_STATISTICS, STATISTICS, ppo_update
from vexlan_rl.nn.rollout import Rollout, Samples
from vexlan_rl.nn.settings import TrainSettings
from vexlan_rl.nn.tensors import Positions, batch_positions
from vexlan_rl.players.batched import BatchedPlayer, move_seed
from vexlan_rl.players.engine import Player
from vexlan_rl.players.specs import parse_player

STAGGER_PLIES = 60  # a game lasts about 80 placements


def _opened(rng: np.random.Generator, placements: int) -> bytes:
    """The state of a new game after up to `placements` random placements; a new game's if
    they would end it."""
    game = PyVexlan()
    for _ in range(placements):
        pass_done_seats(game)
        if game.is_over:
            break
        moves = game.legal_actions(game.agent_selection)
        game.step(moves[rng.integers(len(moves))])
    pass_done_seats(game)
    return (PyVexlan() if game.is_over else game).to_bytes()


def _engine_player(spec: str, role: str) -> Player | None:
    """The engine player `spec` names, None for ""; ValueError for a network."""
    player = parse_player(spec) if spec else None
    if isinstance(player, BatchedPlayer):
        raise ValueError(f"the training {role} must be an engine player, not {spec!r}")
    return player


class PpoLoop:
    """The PPO side of a run: its games, optimizer and random streams; `iterate` plays a
    rollout and trains on it."""

    def __init__(self, settings: TrainSettings, network: PolicyValueNet, device: torch.device, seed: int,
                 train_seconds: float = 0.0) -> None:
        self.settings, self.network, self.device = settings, network, device
        self.train_seconds = train_seconds  # training so far, which the teacher's weight falls with
        self.optimizer = torch.optim.Adam(network.parameters(), lr=settings.ppo.learning_rate)
        self.generator = torch.Generator().manual_seed(seed)
        self.games = GameBatch(settings.games, seed=seed, reward_mode=settings.network.reward_mode)
        self.rng = np.random.default_rng(seed)
        # Each slot starts some random placements into its first game, so that the games end at
        # different steps: otherwise every rollout would hold the same stage of every game.
        for slot in range(settings.games):
            self.games.load(slot, _opened(self.rng, int(self.rng.integers(STAGGER_PLIES))))
        # The network's seat in each slot's games: -1 in self-play, where it has all four.
        slots = np.arange(settings.games)
        against = settings.ppo.opponent != ""
        first_against = settings.games - round(against * settings.ppo.opponent_share * settings.games)
        self.network_seat = np.where(slots >= first_against, slots % NUM_SEATS, -1)
        self.opponent = _engine_player(settings.ppo.opponent, "opponent")
        self.teacher = _engine_player(settings.ppo.teacher, "teacher")
        self.STATISTICS = STATISTICS if self.teacher is None else IMITATION_STATISTICS
        self.seed, self.engine_moves = seed, 0

    @torch.no_grad()
    def collect(self) -> tuple[Samples, int]:
        """Plays one rollout; its samples and the number of games it finished."""
        rollout = Rollout(self.settings.games, self.settings.rollout_steps)
        finished = 0
        for _ in range(self.settings.rollout_steps):
            movers = self.games.agent.astype(np.int64)
            networks = (self.network_seat < 0) | (self.network_seat == movers)
            moves = np.empty(self.settings.games, np.int64)
            slots = np.flatnonzero(networks)
            if len(slots):
                positions = batch_positions(self.games, device=self.device, rows=slots)
                logits, values = self.network(positions.planes, positions.pieces, positions.legal)
                distribution = legal_distribution(logits, positions.counts)
                choices = distribution.sample()
                moves[slots] = positions.legal.gather(1, choices.unsqueeze(1)).squeeze(1).cpu().numpy()
                rollout.add(positions, choices, distribution.log_prob(choices), values, movers[slots], slots,
                            None if self.teacher is None else self._teacher_choices(positions, slots))
            for slot in np.flatnonzero(~networks).tolist():
                assert self.opponent is not None
                moves[slot] = self._engine_move(self.opponent, slot)
            self.games.step(moves)
            finished += rollout.end_games(self.games.terminated, self.games.rewards)
            if self.settings.ppo.openings:
                for slot in np.flatnonzero(self.games.terminated).tolist():
                    self.games.load(slot, _opened(self.rng, int(self.rng.integers(self.settings.ppo.openings + 1))))
        positions = batch_positions(self.games, device=self.device)
        final_values = self.network.values(self.network.trunk(positions.planes, positions.pieces))
        return rollout.samples(final_values, self.games.agent.astype(np.int64), self.settings.ppo.gae_lambda), finished

    def _engine_move(self, player: Player, slot: int) -> int:
        self.engine_moves += 1
        player.reseed(move_seed(self.seed, self.engine_moves))
        return player.act(PyVexlan.from_bytes(self.games.state(slot)))

    def _teacher_choices(self, positions: Positions, slots: np.ndarray) -> torch.Tensor:
        """The teacher's move in each of `slots`, as its place in the slot's legal list."""
        assert self.teacher is not None
        taught = torch.tensor([self._engine_move(self.teacher, slot) for slot in slots.tolist()],
                              device=positions.legal.device)
        # The first match: the move is in the legal list, ahead of the padding.
        return (positions.legal == taught.unsqueeze(1)).to(torch.uint8).argmax(1)

    def iterate(self) -> tuple[int, int, float, dict[str, Any]]:
        """One rollout and one update: agent steps, games finished, seconds of sampling, and the
        update's statistics."""
        started = time.perf_counter()
        samples, finished = self.collect()
        sampled = time.perf_counter()
        statistics = ppo_update(self.network, self.optimizer, samples, self.settings.ppo, self.generator,
                                self.settings.ppo.imitation_at(self.train_seconds))
        self.train_seconds += time.perf_counter() - started
        return len(samples), finished, sampled - started, statistics
