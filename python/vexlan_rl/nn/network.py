"""The reference network: a convolutional trunk over the mover's planes, whose policy head
is the action grid itself and whose value head scores every seat.

The input is what `GameBatch` and `PyVexlan.observe` give, in the mover's frame: the
planes, plus each seat's pieces in hand, which enter as one learned plane per seat (a
per-cell bias that depends on that seat's pieces). The policy head is a 1 x 1 convolution
with one channel per orientation, so its output, read as (orientation, row, column), is
the (91, 20, 20) grid whose flat positions are the grid indices. The value head gives one
value per seat, seats counted from the mover, squashed into the reward mode's range."""

from dataclasses import asdict, dataclass
from typing import Any

import torch
from torch import nn

from vexlan_rl._engine import BOARD_SIZE, NUM_SEATS, PIECES_SHAPE, PLANES_SHAPE, SCORE_RANGE
from vexlan_rl._vexlan import PyVexlan

ORIENTATIONS = PyVexlan.action_grid_shape[0]
CELLS = BOARD_SIZE * BOARD_SIZE
PIECE_KINDS = PIECES_SHAPE[1]
REWARD_RANGES = {"win_share": (0.0, 1.0), "rank": (0.0, 1.0), "score": tuple(map(float, SCORE_RANGE))}


@dataclass(frozen=True)
class NetworkSettings:
    """What rebuilds a network: saved in every checkpoint beside its weights."""
    channels: int = 32
    blocks: int = 1  # residual 3 x 3 convolutions after the first one
    reward_mode: str = "win_share"

    def __post_init__(self) -> None:
        if not isinstance(self.channels, int) or self.channels < 1:
            raise ValueError(f"channels must be a whole number >= 1, not {self.channels!r}")
        if not isinstance(self.blocks, int) or self.blocks < 0:
            raise ValueError(f"blocks must be a whole number >= 0, not {self.blocks!r}")
        if self.reward_mode not in REWARD_RANGES:
            raise ValueError(f"reward_mode must be one of {sorted(REWARD_RANGES)}, not {self.reward_mode!r}")

    def to_dict(self) -> dict[str, Any]:
        return asdict(self)


class PolicyValueNet(nn.Module):
    """forward(planes, pieces, legal) -> (legal logits (N, L), values (N, 4)): planes float
    (N, 12, 20, 20) and pieces float (N, 4, 21), both 0/1, seats counted from the mover;
    legal int64 (N, L) grid indices, whose logits are the policy head's grid read there.

    The head is evaluated at the listed grid indices only: the logit of index
    orientation * 400 + cell is the 1 x 1 convolution's orientation channel at that cell,
    a dot product of C features, so a few hundred legal moves cost a few hundred dot
    products, not the 36,400 of the grid, in the forward pass and in the backward.
    `grid_logits` gives the whole grid, for reference."""

    value_low: torch.Tensor
    value_span: torch.Tensor

    def __init__(self, settings: NetworkSettings = NetworkSettings()) -> None:
        super().__init__()
        self.settings = settings
        width = settings.channels
        self.piece_planes = nn.Parameter(torch.zeros(NUM_SEATS, PIECE_KINDS, CELLS))
        self.piece_bias = nn.Parameter(torch.zeros(NUM_SEATS, CELLS))
        self.stem = nn.Conv2d(PLANES_SHAPE[0] + NUM_SEATS, width, 3, padding=1)
        self.blocks = nn.ModuleList(nn.Conv2d(width, width, 3, padding=1) for _ in range(settings.blocks))
        self.policy = nn.Conv2d(width, ORIENTATIONS, 1)
        self.value_features = nn.Conv2d(width, NUM_SEATS, 1)
        self.value = nn.Linear(NUM_SEATS * CELLS, NUM_SEATS)
        nn.init.normal_(self.piece_planes, std=0.01)
        nn.init.zeros_(self.policy.weight)  # a uniform policy over the legal moves to begin with
        nn.init.zeros_(self._policy_bias())
        low, high = REWARD_RANGES[settings.reward_mode]
        self.register_buffer("value_low", torch.tensor(low), persistent=False)
        self.register_buffer("value_span", torch.tensor(high - low), persistent=False)

    def trunk(self, planes: torch.Tensor, pieces: torch.Tensor) -> torch.Tensor:
        """The features (N, C, 20, 20) that both heads read."""
        seat_planes = torch.einsum("nsp,spc->nsc", pieces, self.piece_planes) + self.piece_bias
        x = torch.cat([planes, seat_planes.view(-1, NUM_SEATS, BOARD_SIZE, BOARD_SIZE)], dim=1)
        x = torch.relu(self.stem(x))
        for block in self.blocks:
            x = x + torch.relu(block(x))
        return x

    def values(self, features: torch.Tensor) -> torch.Tensor:
        """Every seat's value (N, 4), seats counted from the mover, in the reward mode's range."""
        values = self.value(torch.relu(self.value_features(features)).flatten(1))
        return self.value_low + self.value_span * torch.sigmoid(values)

    def grid_logits(self, features: torch.Tensor) -> torch.Tensor:
        """The policy head's whole grid (N, 36400), flat positions = grid indices."""
        logits: torch.Tensor = self.policy(features)
        return logits.flatten(1)

    def legal_logits(self, features: torch.Tensor, legal: torch.Tensor) -> torch.Tensor:
        """`grid_logits(features).gather(1, legal)`, computed at the listed indices only."""
        orientations, cells = legal.div(CELLS, rounding_mode="floor"), legal.remainder(CELLS)
        by_cell = features.flatten(2).transpose(1, 2)  # (N, 400, C)
        at_moves = by_cell.gather(1, cells.unsqueeze(2).expand(-1, -1, by_cell.shape[2]))
        weights = self.policy.weight.view(ORIENTATIONS, -1)[orientations]  # (N, L, C)
        return (at_moves * weights).sum(2) + self._policy_bias()[orientations]

    def _policy_bias(self) -> torch.Tensor:
        bias = self.policy.bias
        assert bias is not None
        return bias

    def forward(self, planes: torch.Tensor, pieces: torch.Tensor,
                legal: torch.Tensor) -> tuple[torch.Tensor, torch.Tensor]:
        features = self.trunk(planes, pieces)
        return self.legal_logits(features, legal), self.values(features)
