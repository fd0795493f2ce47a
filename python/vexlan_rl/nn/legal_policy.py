"""A policy over legal moves only: logits at each position's legal grid indices, a padded
list per position, as a `torch.distributions.Categorical`.

A position has a few hundred legal moves out of 36,400 grid indices, so sampling,
log-probabilities and entropies over the gathered lists cost a few hundred operations
per position where a masked softmax over the whole grid would cost 36,400. Padding
positions get a logit of -inf: probability zero, and no part in the entropy."""

import torch
from torch.distributions import Categorical


def legal_mask(counts: torch.Tensor, width: int) -> torch.Tensor:
    """(N, width) bool: True at the first counts[i] positions of row i."""
    return torch.arange(width, device=counts.device) < counts.unsqueeze(1)


def masked_logits(logits: torch.Tensor, counts: torch.Tensor) -> torch.Tensor:
    """`logits` (N, L) with -inf past the first counts[i] of row i."""
    return logits.masked_fill(~legal_mask(counts, logits.shape[1]), float("-inf"))


def legal_distribution(logits: torch.Tensor, counts: torch.Tensor) -> Categorical:
    """A categorical over each row's legal moves, from the logits (N, L) at the padded legal
    lists (`PolicyValueNet` gives them; `grid_logits.gather(1, legal)` from a whole grid)
    of which the first counts[i] of row i are legal. Its samples are positions in those rows
    (`legal.gather(1, sample[:, None])` gives the grid indices). Every count must be >= 1."""
    return Categorical(logits=masked_logits(logits, counts), validate_args=False)
