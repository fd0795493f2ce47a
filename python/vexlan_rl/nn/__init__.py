"""Learning through the engine with torch (the `torch` extra): the reference network, a
policy over legal moves only, and the batch's buffers as tensors.

    from vexlan_rl.batch import GameBatch
    from vexlan_rl.nn import PolicyValueNet, batch_positions, legal_distribution

    games = GameBatch(256)
    network = PolicyValueNet()
    positions = batch_positions(games)
    logits, values = network(positions.planes, positions.pieces, positions.legal)
    choice = legal_distribution(logits, positions.counts).sample()
    games.step(positions.legal.gather(1, choice[:, None]).squeeze(1).numpy())

The trainer is `vexlan_rl.nn.ppo` (`python -m vexlan_rl train`); a trained network plays
as `vexlan_rl.players.PolicyPlayer` ("policy:PATH" in the arena)."""

try:
    import torch  # noqa: F401
except ImportError as missing:
    raise ImportError("vexlan_rl.nn needs torch; install it with: pip install -c tools/constraints.txt "
                      "'vexlan-rl[torch]' (from a checkout: pip install -c tools/constraints.txt '.[torch]')",
                      name=missing.name) from missing

from vexlan_rl.nn.checkpoint import load_network, read_checkpoint, save_checkpoint
from vexlan_rl.nn.legal_policy import legal_distribution, legal_mask, masked_logits
from vexlan_rl.nn.network import NetworkSettings, PolicyValueNet
from vexlan_rl.nn.tensors import Positions, batch_positions, game_positions

__all__ = [
    "NetworkSettings", "PolicyValueNet", "Positions", "batch_positions", "game_positions", "legal_distribution",
    "legal_mask", "masked_logits", "load_network", "read_checkpoint", "save_checkpoint",
]
