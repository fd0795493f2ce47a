"""The last placement of a game, recovered from its state alone.

The state holds no move list, yet it fixes the last move of any game reached
by play:

- Who moved last. An agent places on every turn until it is done and only
  passes after that, and turns go round the seats in order. So agent k's
  placements fill its first `placed` turns, the last of them being turn
  4 * (placed - 1) + k of the game, and the agent with the latest such turn
  made the last placement.
- What it placed. The state keeps each agent's latest piece type. An agent's
  own pieces never share an edge, so each is one edge-connected group of its
  cells, and exactly one group has that piece's shape.

States loaded with `PyVexlan.from_bytes` need not come from play; where the
groups do not show the recorded piece, `last_move` says so.
"""

from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.actions import BOARD, PIECE_SIZES, SEATS, Cell, Placement, describe, grid_index

# Layout of the state bytes: a version byte, then per agent 64 bytes of cells
# (four 128-bit little-endian groups, the highest cells first), 4 bytes of
# pieces in hand and the code of its latest piece.
_AGENT_BLOCK = 69
_CELL_STRIDE = BOARD + 1  # the cell bits keep a padding column after each row
_CODES = {6 * (index - PIECE_SIZES[piece] + 1) + PIECE_SIZES[piece]: piece
          for index, piece in enumerate(PyVexlan.piece_names)}


def _cells(block: bytes) -> set[Cell]:
    bits = sum(int.from_bytes(block[16 * g:16 * g + 16], "little") << (128 * (3 - g)) for g in range(4))
    return {(row, column) for row in range(BOARD) for column in range(BOARD) if bits >> (row * _CELL_STRIDE + column) & 1}


def _groups(cells: set[Cell]) -> list[set[Cell]]:
    """The edge-connected groups of `cells`."""
    left = set(cells)
    groups = []
    while left:
        group: set[Cell] = set()
        stack = [left.pop()]
        while stack:
            row, column = cell = stack.pop()
            group.add(cell)
            for near in ((row - 1, column), (row + 1, column), (row, column - 1), (row, column + 1)):
                if near in left:
                    left.remove(near)
                    stack.append(near)
        groups.append(group)
    return groups


def last_move(game: PyVexlan) -> Placement | None:
    """The last placement made in `game`, named in the frame of the agent that
    made it (so `describe(move.grid_index, move.agent)` gives it again); None
    before the first placement. Passes of agents that are done are not moves.
    ValueError for a loaded state whose agent cells do not hold the piece that
    the state records as that agent's latest."""
    state = game.to_bytes()
    blocks = [state[1 + _AGENT_BLOCK * k:1 + _AGENT_BLOCK * (k + 1)] for k in range(SEATS)]
    placed = [21 - int.from_bytes(block[64:68], "little").bit_count() for block in blocks]
    turns = [(4 * (placed[k] - 1) + k, k) for k in range(SEATS) if placed[k]]
    if not turns:
        return None
    agent = max(turns)[1]
    piece = _CODES.get(blocks[agent][68])
    if piece is not None:
        for group in _groups(_cells(blocks[agent])):
            if len(group) == PIECE_SIZES[piece]:
                try:
                    return describe(grid_index(piece, group, agent), agent)
                except ValueError:
                    continue  # another piece of the same size
    raise ValueError(f"agent {agent}'s cells hold no {piece or 'piece'} standing alone, "
                     "so this state was not reached by play")
