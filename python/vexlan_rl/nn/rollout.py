"""Self-play experience from a `GameBatch`, and the credit each move earns.

The network plays all four seats, or some seats of some games (where engine players
play the others), and each seat's moves form its own trajectory: a
move's successor is the same seat's next move in the same game, and a seat's last move
of a game earns that seat's outcome. Advantages are generalized advantage estimates along
these trajectories with no discounting (the game is short and only its end pays). A
trajectory still running when the rollout ends is valued by the network at the
position then reached, from that seat's point of view.

Besides its own return, every move has a target for each other seat's value: that seat's
outcome, when the game ends within the rollout (else the target is masked out), so that
the value head learns every seat's prospects, which the cut trajectories are valued by."""

from typing import NamedTuple

import numpy as np
import torch
import torch.nn.functional as F

from vexlan_rl._engine import NUM_SEATS
from vexlan_rl.nn.tensors import Positions


class Samples(NamedTuple):
    """A rollout's moves, flattened step by step: index t * slots + slot."""
    positions: Positions
    choices: torch.Tensor  # int64: the position of the move in its legal list
    log_probs: torch.Tensor
    advantages: torch.Tensor
    value_targets: torch.Tensor  # (n, 4), seats counted from the mover
    value_mask: torch.Tensor  # (n, 4) bool: which targets are known
    teacher_choices: torch.Tensor | None = None  # int64: a teacher's move in the legal list, where one teaches

    def __len__(self) -> int:
        return len(self.choices)


class Rollout:
    """Collects up to `steps` steps of `slots` games; `add` each step's moves before stepping
    the batch (every slot's, or those of the slots given, where the network moved; with a
    teacher's choices at every step, or at none), `end_games` after it, then `samples` once
    at the end. Samples are numbered in the order added."""

    def __init__(self, slots: int, steps: int) -> None:
        self.slots, self.steps = slots, steps
        size = slots * steps  # at most one sample per slot and step
        self._added = 0
        self._step_starts: list[int] = []
        self._positions: list[Positions] = []
        self._choices: list[torch.Tensor] = []
        self._log_probs: list[torch.Tensor] = []
        self._values: list[torch.Tensor] = []
        self._teacher_choices: list[torch.Tensor] = []
        self._movers = np.zeros(size, np.int64)
        self._slot = np.zeros(size, np.int64)
        self._next = np.full(size, -1, np.int64)  # the same seat's next move in the same game
        self._terminal = np.zeros(size, bool)
        self._reward = np.zeros(size, np.float32)
        self._outcome = np.zeros((size, NUM_SEATS), np.float32)  # absolute seats
        self._outcome_known = np.zeros(size, bool)
        self._last = np.full((slots, NUM_SEATS), -1, np.int64)  # each seat's latest move, per slot
        self._game_start = np.zeros(slots, np.int64)  # the first sample of each slot's game
        self._all_slots = np.arange(slots)

    def add(self, positions: Positions, choices: torch.Tensor, log_probs: torch.Tensor, values: torch.Tensor,
            movers: np.ndarray, slots: np.ndarray | None = None, teacher_choices: torch.Tensor | None = None) -> None:
        slots = self._all_slots if slots is None else slots
        indices = self._added + np.arange(len(slots))
        previous = self._last[slots, movers]
        linked = previous >= 0
        self._next[previous[linked]] = indices[linked]
        self._last[slots, movers] = indices
        self._movers[indices] = movers
        self._slot[indices] = slots
        self._step_starts.append(self._added)
        self._added += len(slots)
        self._positions.append(positions)
        self._choices.append(choices)
        self._log_probs.append(log_probs)
        self._values.append(values)
        if teacher_choices is not None:
            self._teacher_choices.append(teacher_choices)

    def end_games(self, terminated: np.ndarray, rewards: np.ndarray) -> int:
        """Credits the games that the last step ended (`rewards` by absolute seat); returns how many."""
        ended = np.flatnonzero(terminated)
        for slot in ended:
            seats = np.flatnonzero(self._last[slot] >= 0)
            last_moves = self._last[slot, seats]
            self._terminal[last_moves] = True
            self._reward[last_moves] = rewards[slot, seats]
            self._last[slot] = -1
            start = self._game_start[slot]
            moves = start + np.flatnonzero(self._slot[start:self._added] == slot)
            self._outcome[moves] = rewards[slot]
            self._outcome_known[moves] = True
            self._game_start[slot] = self._added
        return len(ended)

    def samples(self, final_values: torch.Tensor, final_movers: np.ndarray, gae_lambda: float) -> Samples:
        """The rollout's samples; `final_values` (slots, 4) the network's values of the positions
        reached, seats counted from `final_movers`."""
        size = self._added
        values = torch.cat(self._values).cpu()
        mover_values = values[:, 0].numpy().astype(np.float64)
        following = self._next[:size]
        next_value = np.where(self._terminal[:size], self._reward[:size], mover_values[np.maximum(following, 0)])
        final = final_values.cpu().numpy()
        slots, seats = np.nonzero(self._last >= 0)
        next_value[self._last[slots, seats]] = final[slots, (seats - final_movers[slots]) % NUM_SEATS]
        delta = next_value - mover_values
        advantages = np.zeros_like(delta)
        for start, end in reversed(list(zip(self._step_starts, [*self._step_starts[1:], size]))):
            successors = following[start:end]
            carried = np.where(successors >= 0, advantages[np.maximum(successors, 0)], 0.0)
            advantages[start:end] = delta[start:end] + gae_lambda * carried
        movers = self._movers[:size]
        seat_order = (movers[:, None] + np.arange(NUM_SEATS)) % NUM_SEATS
        targets = np.take_along_axis(self._outcome[:size], seat_order, axis=1)
        targets[:, 0] = advantages + mover_values
        mask = np.repeat(self._outcome_known[:size, None], NUM_SEATS, axis=1)
        mask[:, 0] = True
        width = max(positions.legal.shape[1] for positions in self._positions)
        device = self._positions[0].planes.device
        positions = Positions(torch.cat([p.planes for p in self._positions]),
                              torch.cat([p.pieces for p in self._positions]),
                              torch.cat([F.pad(p.legal, (0, width - p.legal.shape[1])) for p in self._positions]),
                              torch.cat([p.counts for p in self._positions]))
        teacher_choices = torch.cat(self._teacher_choices) if self._teacher_choices else None
        return Samples(positions, torch.cat(self._choices), torch.cat(self._log_probs),
                       torch.from_numpy(advantages.astype(np.float32)).to(device),
                       torch.from_numpy(targets).to(device), torch.from_numpy(mask).to(device), teacher_choices)
