"""Reinforcement-learning interfaces: the PettingZoo AEC environment (`env`),
the Gymnasium self-play vector environment (`vector_env`) and the spaces they
share (`spaces`). They need the pettingzoo extra, which brings PettingZoo,
Gymnasium and numpy."""

try:
    import gymnasium  # noqa: F401
    import numpy  # noqa: F401
except ImportError as missing:
    raise ImportError(f"vexlan_rl.rl needs Gymnasium and numpy ({missing}); install them with: "
                      "pip install 'vexlan-rl[pettingzoo]' (from a checkout: pip install '.[pettingzoo]')",
                      name=missing.name) from missing
