"""The last placement of a game, recovered from its state alone.

The state holds no move list, yet it fixes the last move of any game reached
by play: who moved last follows from the turn order and the pieces each agent
has placed, and what was placed from that agent's latest piece, which stands
alone among its cells because an agent's own pieces never share an edge. The
engine works it out (`vexlan_rl._engine.last_placement`).

States loaded with `PyVexlan.from_bytes` need not come from play; where the
cells do not show the recorded piece, `last_move` says so.
"""

from vexlan_rl._engine import last_placement
from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.actions import Placement, describe


def last_move(game: PyVexlan) -> Placement | None:
    """The last placement made in `game`, named in the frame of the agent that
    made it (so `describe(move.grid_index, move.agent)` gives it again); None
    before the first placement. Passes of agents that are done are not moves.
    ValueError for a loaded state whose agent cells do not hold the piece that
    the state records as that agent's latest."""
    found = last_placement(game)
    return None if found is None else describe(found[1], found[0])
