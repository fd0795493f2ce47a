"""The search-trained positions of finished games, the latest `capacity` of them, and
random minibatches drawn from them."""

from collections import deque
from typing import NamedTuple

import numpy as np
import numpy.typing as npt
import torch

from vexlan_rl.nn.tensors import Positions


class Example(NamedTuple):
    """One searched position: the mover's planes and pieces (uint8), its legal grid indices,
    the search's visit distribution over them, and every seat's outcome, seats counted
    from the mover, in the reward mode's range."""
    planes: npt.NDArray[np.uint8]
    pieces: npt.NDArray[np.uint8]
    legal: npt.NDArray[np.uint16]
    policy: npt.NDArray[np.float32]
    outcome: npt.NDArray[np.float32]


class Minibatch(NamedTuple):
    positions: Positions
    policy: torch.Tensor  # (n, L) float, zero past each row's count
    outcome: torch.Tensor  # (n, 4)


class ReplayBuffer:
    def __init__(self, capacity: int) -> None:
        self.examples: deque[Example] = deque(maxlen=capacity)

    def __len__(self) -> int:
        return len(self.examples)

    def extend(self, examples: list[Example]) -> None:
        self.examples.extend(examples)

    def sample(self, size: int, rng: np.random.Generator, device: torch.device | None = None) -> Minibatch:
        """`size` examples drawn uniformly, with replacement, as tensors on `device`."""
        chosen = [self.examples[i] for i in rng.integers(len(self.examples), size=size)]
        counts = np.array([len(example.legal) for example in chosen], np.int64)
        legal = np.zeros((size, int(counts.max())), np.int64)
        policy = np.zeros((size, int(counts.max())), np.float32)
        for row, example in enumerate(chosen):
            legal[row, :counts[row]] = example.legal
            policy[row, :counts[row]] = example.policy
        positions = Positions(torch.from_numpy(np.stack([example.planes for example in chosen])).to(device, torch.float32),
                              torch.from_numpy(np.stack([example.pieces for example in chosen])).to(device, torch.float32),
                              torch.from_numpy(legal).to(device), torch.from_numpy(counts).to(device))
        return Minibatch(positions, torch.from_numpy(policy).to(device),
                         torch.from_numpy(np.stack([example.outcome for example in chosen])).to(device))
