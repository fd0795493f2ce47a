"""A trained network as a player (needs the `torch` extra): "policy:PATH" plays the most
likely legal move of the checkpoint at PATH, "policy-sample:PATH" draws its move from the
network's distribution over the legal moves."""

import os
from collections.abc import Sequence

import numpy as np

# vexlan_rl.nn first: where torch is missing, its ImportError names the extra that brings it.
from vexlan_rl.nn.checkpoint import load_network  # isort: skip
import torch  # isort: skip

from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.nn.legal_policy import masked_logits
from vexlan_rl.nn.tensors import game_positions
from vexlan_rl.players.batched import BatchedPlayer, check_waiting

KINDS = ("policy", "policy-sample")


class PolicyPlayer(BatchedPlayer):
    """The network saved at `path` (a checkpoint of `vexlan_rl.nn`); with `sample` it draws its
    moves, seeded, else it plays the most likely legal move. `device` is where it runs."""

    def __init__(self, path: str | os.PathLike[str], *, sample: bool = False, seed: int = 0,
                 device: str = "cpu") -> None:
        super().__init__(f"{KINDS[sample]}:{os.fspath(path)}",
                         {"path": os.fspath(path), "sample": sample, "seed": seed, "device": device}, seed)
        self.sample = sample
        self.device = torch.device(device)
        self.network = load_network(path, self.device)

    @torch.inference_mode()
    def act_batch(self, games: Sequence[PyVexlan], seeds: Sequence[int]) -> list[int]:
        check_waiting(games)
        if not games:
            return []
        positions = game_positions(list(games), device=self.device)
        logits, _ = self.network(positions.planes, positions.pieces, positions.legal)
        legal = masked_logits(logits, positions.counts).double().cpu()
        if self.sample:
            # One uniform draw per game from its own seed, so that a game's move does not
            # depend on the other games of the batch: inverse transform sampling.
            uniforms = torch.tensor([np.random.default_rng(seed).random() for seed in seeds], dtype=torch.float64)
            cumulative = torch.softmax(legal, dim=1).cumsum(1)
            choice = torch.searchsorted(cumulative, uniforms.unsqueeze(1)).squeeze(1)
            choice = torch.minimum(choice, positions.counts.cpu() - 1)
        else:
            choice = legal.argmax(1)
        return positions.legal.cpu().gather(1, choice.unsqueeze(1)).squeeze(1).tolist()
