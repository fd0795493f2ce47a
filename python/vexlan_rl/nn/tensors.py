"""The network's inputs, from a `GameBatch`'s buffers or from single games.

The batch's buffers are wrapped where they lie (`torch.from_numpy` shares their memory),
so the only copy is the one conversion to the network's dtype; the legal-move rows are
cut to the longest list of the step before that conversion."""

import warnings
from typing import NamedTuple

import numpy as np
import torch

from vexlan_rl._engine import PIECES_SHAPE, PLANES_SHAPE
from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.batch import GameBatch
from vexlan_rl.search import Leaves


class Positions(NamedTuple):
    """Positions in their movers' frames: planes and pieces float (0/1), legal int64 (N, L)
    grid indices of which the first counts[i] of row i are legal, counts int64 (N,)."""
    planes: torch.Tensor
    pieces: torch.Tensor
    legal: torch.Tensor
    counts: torch.Tensor


def _shared(array: np.ndarray) -> torch.Tensor:
    """`array` as a tensor over the same memory. The batch's buffers are read-only views;
    torch warns that writing through the tensor would be undefined, which nothing here does."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", UserWarning)
        return torch.from_numpy(array)


def batch_positions(games: GameBatch | Leaves, dtype: torch.dtype = torch.float32,
                    device: torch.device | None = None, rows: np.ndarray | None = None) -> Positions:
    """Every slot's current position, or those of the slots in `rows` (or every leaf of a
    search's round: both lay their buffers out alike); the tensors are copies, valid after
    the next step. Every position must have a legal move (true under autoreset)."""
    chosen = slice(None) if rows is None else rows
    counts = games.legal_count[chosen]
    width = max(int(counts.max(initial=0)), 1)
    return Positions(_shared(games.observation[chosen]).to(device, dtype),
                     _shared(games.pieces[chosen]).to(device, dtype),
                     _shared(games.legal_actions[chosen, :width]).to(device, torch.int64),
                     _shared(counts).to(device, torch.int64))


def game_positions(games: list[PyVexlan], dtype: torch.dtype = torch.float32,
                   device: torch.device | None = None) -> Positions:
    """The positions of the agents to move in `games` (each must have a legal move)."""
    planes = np.empty((len(games), *PLANES_SHAPE), np.uint8)
    pieces = np.empty((len(games), *PIECES_SHAPE), np.uint8)
    lists = []
    for row, game in enumerate(games):
        view = game.observe(game.agent_selection)
        planes[row] = np.frombuffer(view.observation + view.corners + view.blocked, np.uint8).reshape(PLANES_SHAPE)
        pieces[row] = np.frombuffer(view.pieces, np.uint8).reshape(PIECES_SHAPE)
        lists.append(game.legal_actions(game.agent_selection))
    counts = np.array([len(moves) for moves in lists], np.int64)
    legal = np.zeros((len(games), max(int(counts.max(initial=0)), 1)), np.int64)
    for row, moves in enumerate(lists):
        legal[row, :len(moves)] = moves
    return Positions(torch.from_numpy(planes).to(device, dtype), torch.from_numpy(pieces).to(device, dtype),
                     torch.from_numpy(legal).to(device), torch.from_numpy(counts).to(device))
