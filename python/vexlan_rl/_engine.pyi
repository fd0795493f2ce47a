"""What the engine knows, for the Python layers: the orientations' shapes, the observation's layout,
the score bounds, and rules that read or move a game in place."""

from vexlan_rl._vexlan import PyVexlan

NUM_SEATS: int
"""The agents at the table, 4."""
BOARD_SIZE: int
"""Rows and columns of the board, 20."""
PLANES_SHAPE: tuple[int, int, int]
"""An observation's planes: the cells each seat covers, where each can attach, where each can never go."""
PIECES_SHAPE: tuple[int, int]
"""The pieces each seat holds, by seat and catalogue index."""
DONE_SHAPE: tuple[int]
"""Which seats are out of moves."""
MAX_LEGAL_ACTIONS: int
"""Every placement of every orientation: the longest list of legal moves there could be."""
SCORE_RANGE: tuple[int, int]
"""The lowest score (every piece in hand) and the highest (every piece placed, the monomino last)."""
ORIENTATIONS: tuple[tuple[str, tuple[tuple[int, int], ...]], ...]
"""Each orientation's piece name and cells, with its bounding box at row 0, column 0, in orientation order."""

def last_placement(game: PyVexlan, /) -> tuple[int, int] | None:
    """The last placement as (agent, grid index in that agent's frame), from the position alone."""
def pass_done_seats(game: PyVexlan, /) -> None:
    """Passes the turn of every done agent until the one to move can place a piece or the game is over."""
