"""A trained network steering a tree search (needs the `torch` extra): "az:PATH:SIMULATIONS"
searches each position with the checkpoint at PATH judging the leaves, SIMULATIONS visits a
move, and plays the most visited move, with no noise at the root."""

import os
from collections.abc import Sequence

# vexlan_rl.nn first: where torch is missing, its ImportError names the extra that brings it.
from vexlan_rl.nn.checkpoint import load_network  # isort: skip
import torch  # isort: skip

from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.nn.leaf_evaluator import LeafEvaluator
from vexlan_rl.players.batched import BatchedPlayer, check_waiting
from vexlan_rl.search import BatchedSearch

KIND = "az"
LEAVES = 8  # leaves of one tree per round: how many positions of one game a forward pass sees


class SearchPlayer(BatchedPlayer):
    """The network saved at `path` judging the leaves of a search of `simulations` visits a
    move. Every game handed to `act_batch` is searched in its own tree, all of them in one
    batched search, so that a forward pass judges leaves of every game; nothing is random
    (no root noise, the most visited move), so a game's move does not depend on the others."""

    def __init__(self, path: str | os.PathLike[str], simulations: int, *, leaves: int = LEAVES, seed: int = 0,
                 device: str = "cpu") -> None:
        if not isinstance(simulations, int) or simulations < 1:
            raise ValueError(f"simulations must be a whole number >= 1, not {simulations!r}")
        super().__init__(f"{KIND}:{os.fspath(path)}:{simulations}",
                         {"path": os.fspath(path), "simulations": simulations, "leaves": leaves, "seed": seed,
                          "device": device}, seed)
        self.simulations, self.leaves = simulations, leaves
        self.evaluator = LeafEvaluator(load_network(path, device), device)

    def act_batch(self, games: Sequence[PyVexlan], seeds: Sequence[int]) -> list[int]:
        check_waiting(games)
        if not games:
            return []
        search = BatchedSearch(len(games), simulations=self.simulations, leaves=self.leaves, noise_fraction=0.0,
                               temperature=0.0, reward_mode=self.evaluator.network.settings.reward_mode,
                               autoreset=False)
        for slot, game in enumerate(games):
            search.load(slot, game.to_bytes())
        with torch.inference_mode():
            moves: list[int] = search.run(self.evaluator).tolist()
        return moves
