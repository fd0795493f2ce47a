"""The observation and action spaces of one seat, shared by the AEC
environment and the vector environment: the seat's view in its own frame, and
a grid index of the (91, 20, 20) action grid."""

from typing import Any

import numpy as np
import numpy.typing as npt
from gymnasium import spaces

from vexlan_rl._engine import DONE_SHAPE, PIECES_SHAPE, PLANES_SHAPE
from vexlan_rl._vexlan import PyVexlan

Observation = dict[str, npt.NDArray[Any]]

PLANES = PLANES_SHAPE[0]  # covered cells, attach corners and blocked cells, per seat
PIECES = PIECES_SHAPE[1]  # piece types, in the order of PyVexlan.piece_names


def observation_space() -> spaces.Dict:
    """A seat's observation, seats counted from it: "observation" the planes,
    "pieces" the pieces in hand, "done" the seats out of moves and
    "action_mask" the legal grid indices (int8, as masked sampling expects)."""
    return spaces.Dict({
        "observation": spaces.Box(0, 1, PLANES_SHAPE, np.uint8),
        "pieces": spaces.Box(0, 1, PIECES_SHAPE, np.uint8),
        "done": spaces.Box(0, 1, DONE_SHAPE, np.uint8),
        "action_mask": spaces.Box(0, 1, (PyVexlan.num_actions,), np.int8),
    })


def action_space() -> spaces.Discrete[Any]:
    """A grid index, in the mover's frame."""
    return spaces.Discrete(PyVexlan.num_actions)
