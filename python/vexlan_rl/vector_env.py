"""The self-play vector environment under its first name: the same objects as
`vexlan_rl.rl.vector_env`, their home, kept for code that imports them from here."""

from vexlan_rl.rl.spaces import Observation
from vexlan_rl.rl.vector_env import SelfPlayVectorEnv

__all__ = ["Observation", "SelfPlayVectorEnv"]
