"""A fast engine for a four-player polyomino placement game, for reinforcement learning."""

from vexlan_rl._version import __version__
from vexlan_rl._vexlan import PanicException, PyObservation, PyVexlan

__all__ = ["PanicException", "PyObservation", "PyVexlan", "__version__"]
