"""The board as an RGB image (needs numpy): the environment's "rgb_array" frame.

The agents' colours are those of `vexlan_rl.render.palette`. Every piece is
outlined (see `vexlan_rl.render.outlines`), and the cells of the last move
carry a dot. Below the board a legend strip shows each seat's colour beside its
digit and underlines the agent whose turn it is (no mark once the game is over).
"""

try:
    import numpy as np
    import numpy.typing as npt
except ImportError as missing:
    raise ImportError("vexlan_rl.render.board_image needs numpy; install it with: pip install 'vexlan-rl[batch]' "
                      "(from a checkout: pip install '.[batch]')", name=missing.name) from missing

from vexlan_rl._engine import BOARD_SIZE, NUM_SEATS
from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.last_move import last_move
from vexlan_rl.render import palette

SEATS = NUM_SEATS
BOARD = BOARD_SIZE
CELL_PIXELS = 16
BOARD_PIXELS = BOARD * CELL_PIXELS + 1
LEGEND_PIXELS = 40
SLOT_PIXELS = BOARD_PIXELS // SEATS

# Agents 0 to 3, then the empty cell.
COLOURS = np.array([*palette.SEAT_COLOURS, palette.EMPTY], np.uint8)
GRID_COLOUR = np.array(palette.GRID, np.uint8)
OUTLINE_COLOUR = np.array(palette.OUTLINE, np.uint8)
INK = np.array(palette.INK, np.uint8)
PAPER = np.array(palette.PAPER, np.uint8)
OUTLINE_HALF_WIDTH = 1  # pixels each side of a cell edge: outlines are 3 pixels wide
DOT = (5, 3)  # sides of the last move's dot and of its light centre

# Seat digits, 3 x 5 dots each, drawn DIGIT_SCALE pixels to a dot.
_DIGITS = ("XXX/X.X/X.X/X.X/XXX", ".X./XX./.X./.X./XXX", "XXX/..X/XXX/X../XXX", "XXX/..X/.XX/..X/XXX")
DIGIT_SCALE = 4
SWATCH = (8, 8, 24)  # top, left within a slot, side
DIGIT_AT = (10, 44)  # top, left within a slot
TURN_MARK = (34, 4)  # top within a slot, height; it spans the slot but for 8 pixels each side


def digit_mask(seat: int) -> npt.NDArray[np.bool_]:
    """The dots of `seat`'s digit, scaled to pixels."""
    dots = np.array([[mark == "X" for mark in row] for row in _DIGITS[seat].split("/")])
    return dots.repeat(DIGIT_SCALE, axis=0).repeat(DIGIT_SCALE, axis=1)


def _legend(mover: int | None) -> npt.NDArray[np.uint8]:
    strip = np.empty((LEGEND_PIXELS, BOARD_PIXELS, 3), np.uint8)
    strip[:] = PAPER
    for seat in range(SEATS):
        left = seat * SLOT_PIXELS
        top, offset, side = SWATCH
        strip[top:top + side, left + offset:left + offset + side] = COLOURS[seat]
        mask = digit_mask(seat)
        digit = strip[DIGIT_AT[0]:DIGIT_AT[0] + mask.shape[0], left + DIGIT_AT[1]:left + DIGIT_AT[1] + mask.shape[1]]
        digit[mask] = INK
        if seat == mover:
            strip[TURN_MARK[0]:TURN_MARK[0] + TURN_MARK[1], left + 8:left + SLOT_PIXELS - 8] = INK
    return strip


def owners(game: PyVexlan) -> npt.NDArray[np.intp]:
    """The seat covering each cell of the absolute board, SEATS where it is empty: (20, 20)."""
    covered = np.frombuffer(game.observe(0).observation, np.uint8).reshape(SEATS, BOARD, BOARD)
    return np.where(covered.any(axis=0), covered.argmax(axis=0), SEATS)


def outline_mask(owner: npt.NDArray[np.intp]) -> npt.NDArray[np.bool_]:
    """The board's pixels on a piece outline: every cell edge between two owners (the board's
    edge counting as empty)."""
    padded = np.pad(owner, 1, constant_values=SEATS)
    left_edges = padded[1:-1, :-1] != padded[1:-1, 1:]  # (20, 21): the edge left of column j
    top_edges = padded[:-1, 1:-1] != padded[1:, 1:-1]  # (21, 20): the edge above row i
    cell_of_pixel = np.minimum(np.arange(BOARD_PIXELS) // CELL_PIXELS, BOARD - 1)
    lines = CELL_PIXELS * np.arange(BOARD + 1)
    mask = np.zeros((BOARD_PIXELS, BOARD_PIXELS), bool)
    for offset in range(-OUTLINE_HALF_WIDTH, OUTLINE_HALF_WIDTH + 1):
        at = np.clip(lines + offset, 0, BOARD_PIXELS - 1)
        mask[:, at] |= left_edges[cell_of_pixel]
        mask[at, :] |= top_edges[:, cell_of_pixel]
    return mask


def board_pixels(game: PyVexlan) -> npt.NDArray[np.uint8]:
    """The absolute board, one colour per agent, grid lines between cells, every piece outlined
    and a dot in each cell of the last move: shape (BOARD_PIXELS, BOARD_PIXELS, 3)."""
    owner = owners(game)
    board = np.empty((BOARD_PIXELS, BOARD_PIXELS, 3), np.uint8)
    board[1:, 1:] = COLOURS[owner].repeat(CELL_PIXELS, axis=0).repeat(CELL_PIXELS, axis=1)
    board[::CELL_PIXELS, :] = GRID_COLOUR
    board[:, ::CELL_PIXELS] = GRID_COLOUR
    board[outline_mask(owner)] = OUTLINE_COLOUR
    move = last_move(game)
    for row, column in move.board_cells if move else ():
        for side, colour in zip(DOT, (INK, PAPER)):
            top = row * CELL_PIXELS + (CELL_PIXELS - side) // 2 + 1
            left = column * CELL_PIXELS + (CELL_PIXELS - side) // 2 + 1
            board[top:top + side, left:left + side] = colour
    return board


def board_image(game: PyVexlan) -> npt.NDArray[np.uint8]:
    """The board of `board_pixels` above the legend strip:
    shape (BOARD_PIXELS + LEGEND_PIXELS, BOARD_PIXELS, 3)."""
    return np.concatenate([board_pixels(game), _legend(None if game.is_over else game.agent_selection)])
