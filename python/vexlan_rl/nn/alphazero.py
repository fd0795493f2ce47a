"""Learning from search: the network's policy is trained toward the search's visit
distributions at the root, its values toward every seat's outcome of the game."""

from dataclasses import dataclass

import torch

from vexlan_rl.nn.legal_policy import legal_mask, masked_logits
from vexlan_rl.nn.network import PolicyValueNet
from vexlan_rl.nn.replay_buffer import Minibatch


@dataclass(frozen=True)
class AlphaZeroSettings:
    simulations: int = 32  # new visits of the root's children a move
    leaves: int = 8  # leaves of one tree waiting together in a round
    exploration: float = 1.5
    noise_alpha: float = 0.3
    noise_fraction: float = 0.25
    temperature: float = 1.0  # self-play moves are drawn by visits ** (1 / temperature)
    replay_size: int = 20_000  # positions kept
    minibatch: int = 256
    sample_reuse: float = 4.0  # minibatch samples trained per new position
    learning_rate: float = 1e-3
    weight_decay: float = 1e-4
    value_weight: float = 1.0

    def __post_init__(self) -> None:
        for name in ("simulations", "leaves", "replay_size", "minibatch"):
            value = getattr(self, name)
            if not isinstance(value, int) or value < 1:
                raise ValueError(f"{name} must be a whole number >= 1, not {value!r}")


STATISTICS = ("policy_loss", "value_loss", "target_entropy")


def alphazero_update(network: PolicyValueNet, optimizer: torch.optim.Optimizer, batch: Minibatch,
                     value_weight: float) -> dict[str, float]:
    """One gradient step on `batch`: cross-entropy from the visit distributions to the
    network's policy over the legal moves, plus the squared error of its values (in units
    of the reward range), weighted by `value_weight`; the means of STATISTICS."""
    network.train()
    positions = batch.positions
    logits, values = network(positions.planes, positions.pieces, positions.legal)
    legal = legal_mask(positions.counts, logits.shape[1])
    log_policy = torch.log_softmax(masked_logits(logits, positions.counts), dim=1).masked_fill(~legal, 0.0)
    policy_loss = -(batch.policy * log_policy).sum(1).mean()
    value_loss = ((values - batch.outcome) / network.value_span).square().mean()
    optimizer.zero_grad(set_to_none=True)
    (policy_loss + value_weight * value_loss).backward()
    optimizer.step()
    network.eval()
    with torch.no_grad():
        target_entropy = -(batch.policy * batch.policy.clamp_min(1e-12).log()).sum(1).mean()
    return {"policy_loss": policy_loss.item(), "value_loss": value_loss.item(),
            "target_entropy": target_entropy.item()}
