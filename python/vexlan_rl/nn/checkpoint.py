"""Checkpoints: a network's weights with the settings that rebuild it, and optionally the
trainer's state, written so that a run killed mid-write leaves the previous file whole."""

import os
from pathlib import Path
from typing import Any

import torch

from vexlan_rl.atomic_file import write_atomically
from vexlan_rl.nn.network import NetworkSettings, PolicyValueNet

FORMAT = 1


def save_checkpoint(path: str | os.PathLike[str], network: PolicyValueNet, **extra: Any) -> None:
    """Writes `network` (and `extra`: plain values and tensors) to `path` atomically."""
    target = Path(path)
    target.parent.mkdir(parents=True, exist_ok=True)
    contents = {"format": FORMAT, "network": network.settings.to_dict(),
                "weights": {name: tensor.detach().cpu() for name, tensor in network.state_dict().items()}, **extra}
    write_atomically(target, lambda stream: torch.save(contents, stream))


def read_checkpoint(path: str | os.PathLike[str]) -> dict[str, Any]:
    """The contents of a checkpoint; ValueError for a file that is not one."""
    try:
        contents = torch.load(Path(path), map_location="cpu", weights_only=True)
    except OSError:
        raise
    except Exception as error:  # torch reports a file it cannot read with many kinds of exception
        raise ValueError(f"{path}: not a checkpoint ({type(error).__name__}: {error})") from None
    if not isinstance(contents, dict) or contents.get("format") != FORMAT:
        raise ValueError(f"{path}: not a checkpoint of format {FORMAT}")
    return contents


def load_network(path: str | os.PathLike[str], device: torch.device | str = "cpu") -> PolicyValueNet:
    """The network saved at `path`, rebuilt from its settings, in evaluation mode."""
    contents = read_checkpoint(path)
    network = PolicyValueNet(NetworkSettings(**contents["network"]))
    network.load_state_dict(contents["weights"])
    return network.to(device).eval()
