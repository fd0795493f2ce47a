"""The PPO update: clipped policy loss over the legal moves, value loss over every seat's
known target, an entropy bonus, in minibatches over a rollout's samples."""

from dataclasses import dataclass

import torch

from vexlan_rl.nn.legal_policy import legal_distribution
from vexlan_rl.nn.network import PolicyValueNet
from vexlan_rl.nn.rollout import Samples


@dataclass(frozen=True)
class PpoSettings:
    learning_rate: float = 2e-3
    epochs: int = 2
    minibatch: int = 512
    clip: float = 0.2
    gae_lambda: float = 0.95
    value_weight: float = 0.5
    entropy_weight: float = 0.005
    max_grad_norm: float = 0.5
    # An engine player ("greedy", say) in three seats of a share of the games, the network
    # in the fourth; the other games are self-play. "" for self-play only.
    opponent: str = ""
    opponent_share: float = 0.5
    # Each new game opens with 0 to `openings` random placements (uniform), so that the network
    # meets many positions, not just the few lines that a deterministic opponent plays.
    openings: int = 0
    # An engine player whose choice at each of the network's positions the policy also learns,
    # by cross-entropy weighted `imitation_weight` at first and falling linearly to nothing
    # over `imitation_seconds` of training. "" for none.
    teacher: str = ""
    imitation_weight: float = 1.0
    imitation_seconds: float = 600.0

    def __post_init__(self) -> None:
        if not 0 <= self.opponent_share <= 1:
            raise ValueError(f"opponent_share must lie in [0, 1], not {self.opponent_share!r}")
        if not isinstance(self.openings, int) or self.openings < 0:
            raise ValueError(f"openings must be a whole number >= 0, not {self.openings!r}")
        if not self.imitation_weight >= 0 or not self.imitation_seconds > 0:
            raise ValueError(f"imitation_weight must be >= 0 and imitation_seconds > 0, not "
                             f"{self.imitation_weight!r} and {self.imitation_seconds!r}")

    def imitation_at(self, train_seconds: float) -> float:
        """The weight of the teacher's cross-entropy after `train_seconds` of training."""
        if not self.teacher:
            return 0.0
        return self.imitation_weight * max(0.0, 1.0 - train_seconds / self.imitation_seconds)


SORT_GROUP = 8  # minibatches whose samples are sorted together by legal count


def minibatches(counts: torch.Tensor, size: int, generator: torch.Generator) -> list[torch.Tensor]:
    """Random minibatches of sample indices, each of samples with similar numbers of legal moves:
    a minibatch pads every legal list to its longest, and the lists range from a handful to
    several hundred moves. Samples are shuffled, sorted by count within runs of SORT_GROUP
    minibatches, cut, and the minibatches shuffled."""
    order = torch.randperm(len(counts), generator=generator).to(counts.device)
    batches: list[torch.Tensor] = []
    for group in order.split(size * SORT_GROUP):
        batches += group[torch.argsort(counts[group])].split(size)
    return [batches[i] for i in torch.randperm(len(batches), generator=generator).tolist()]


STATISTICS = ("policy_loss", "value_loss", "entropy", "approx_kl", "clip_fraction")
IMITATION_STATISTICS = (*STATISTICS, "imitation_loss")  # with a teacher


def ppo_update(network: PolicyValueNet, optimizer: torch.optim.Optimizer, samples: Samples,
               settings: PpoSettings, generator: torch.Generator, imitation: float = 0.0) -> dict[str, float]:
    """Trains `network` on `samples` for `settings.epochs` passes, adding `imitation` times the
    cross-entropy to the teacher's choices where the samples have them; the means of
    STATISTICS, and of IMITATION_STATISTICS with a teacher."""
    network.train()
    names = STATISTICS if samples.teacher_choices is None else IMITATION_STATISTICS
    totals = dict.fromkeys(names, 0.0)
    updates = 0
    for _ in range(settings.epochs):
        for batch in minibatches(samples.positions.counts, settings.minibatch, generator):
            positions = samples.positions
            counts = positions.counts[batch]
            logits, values = network(positions.planes[batch], positions.pieces[batch],
                                     positions.legal[batch, :int(counts.max())])
            distribution = legal_distribution(logits, counts)
            log_ratio = distribution.log_prob(samples.choices[batch]) - samples.log_probs[batch]
            ratio = log_ratio.exp()
            advantages = samples.advantages[batch]
            # The population deviation: a minibatch of one sample (the rest of a group) has a
            # sample deviation of NaN, which would poison every weight.
            advantages = (advantages - advantages.mean()) / (advantages.std(correction=0) + 1e-8)
            policy_loss = -torch.min(ratio * advantages,
                                     ratio.clamp(1 - settings.clip, 1 + settings.clip) * advantages).mean()
            mask = samples.value_mask[batch]
            errors = ((values - samples.value_targets[batch]) / network.value_span).square()
            value_loss = errors[mask].mean()
            entropy = distribution.entropy().mean()
            loss = policy_loss + settings.value_weight * value_loss - settings.entropy_weight * entropy
            imitation_loss = torch.zeros(())
            if samples.teacher_choices is not None:
                imitation_loss = -distribution.log_prob(samples.teacher_choices[batch]).mean()
                loss = loss + imitation * imitation_loss
            optimizer.zero_grad(set_to_none=True)
            loss.backward()
            torch.nn.utils.clip_grad_norm_(network.parameters(), settings.max_grad_norm)
            optimizer.step()
            with torch.no_grad():
                measured = (policy_loss, value_loss, entropy, ((ratio - 1) - log_ratio).mean(),
                            ((ratio - 1).abs() > settings.clip).float().mean(), imitation_loss)
                for name, value in zip(names, measured):
                    totals[name] += float(value)
            updates += 1
    network.eval()
    return {name: total / updates for name, total in totals.items()}
