"""The PettingZoo AEC environment under its first name: the same objects as
`vexlan_rl.rl.env` and `vexlan_rl.rl.spaces`, their homes, kept for code that imports them from here."""

from vexlan_rl._engine import BOARD_SIZE as BOARD
from vexlan_rl._engine import NUM_SEATS as SEATS
from vexlan_rl.rl.env import RENDER_MODES, VexlanEnv, env, observation_arrays, raw_env
from vexlan_rl.rl.spaces import PIECES, PLANES, Observation

__all__ = ["BOARD", "PIECES", "PLANES", "RENDER_MODES", "SEATS", "Observation", "VexlanEnv", "env",
           "observation_arrays", "raw_env"]
