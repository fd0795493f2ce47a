"""A network as the judge of a batched search's leaves: one forward pass a round."""

import numpy as np
import numpy.typing as npt
import torch

from vexlan_rl.nn.legal_policy import legal_mask, masked_logits
from vexlan_rl.nn.network import PolicyValueNet
from vexlan_rl.nn.tensors import batch_positions
from vexlan_rl.search import Leaves


class LeafEvaluator:
    """Called with a round's `Leaves`, gives what `BatchedSearch.expand` takes: the network's
    policy over each leaf's legal moves, one list after the other, and its four values per
    leaf mapped from the reward mode's range onto [0, 1]. The search must use the network's
    reward mode, so that its finished games are valued on the same scale."""

    def __init__(self, network: PolicyValueNet, device: torch.device | str = "cpu") -> None:
        self.network = network
        self.device = torch.device(device)
        self.positions = 0  # leaves evaluated, over every call

    @torch.inference_mode()
    def __call__(self, leaves: Leaves) -> tuple[npt.NDArray[np.float32], npt.NDArray[np.float32]]:
        positions = batch_positions(leaves, device=self.device)
        logits, values = self.network(positions.planes, positions.pieces, positions.legal)
        priors = torch.softmax(masked_logits(logits, positions.counts), dim=1)
        flat = priors[legal_mask(positions.counts, priors.shape[1])]  # row by row: the order of prior_offsets
        unit = ((values - self.network.value_low) / self.network.value_span).clamp(0.0, 1.0)
        self.positions += len(leaves)
        return flat.float().cpu().numpy(), unit.float().cpu().numpy()
