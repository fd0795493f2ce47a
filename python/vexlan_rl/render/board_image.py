"""The board as an RGB image (needs numpy): the environment's "rgb_array" frame.

The agents' colours are four of Okabe and Ito's palette for colour-blind
readers (blue, yellow, vermillion, bluish green: the hues of `render()`'s
blue, yellow, red and green), which stay apart under red-green colour
blindness. Below the board a legend strip shows each seat's colour beside its
digit and underlines the agent whose turn it is (no mark once the game is over).
"""

try:
    import numpy as np
    import numpy.typing as npt
except ImportError as missing:
    raise ImportError("vexlan_rl.render.board_image needs numpy; install it with: pip install 'vexlan-rl[batch]' "
                      "(from a checkout: pip install '.[batch]')", name=missing.name) from missing

from vexlan_rl._vexlan import PyVexlan

SEATS = 4
BOARD = 20
CELL_PIXELS = 16
BOARD_PIXELS = BOARD * CELL_PIXELS + 1
LEGEND_PIXELS = 40
SLOT_PIXELS = BOARD_PIXELS // SEATS

# Agents 0 to 3, then the empty cell.
COLOURS = np.array([[0, 114, 178], [240, 228, 66], [213, 94, 0], [0, 158, 115], [240, 240, 240]], np.uint8)
GRID_COLOUR = np.array([90, 90, 90], np.uint8)
INK = np.array([0, 0, 0], np.uint8)
PAPER = np.array([255, 255, 255], np.uint8)

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


def board_image(game: PyVexlan) -> npt.NDArray[np.uint8]:
    """The absolute board, one colour per agent with grid lines between cells,
    above the legend strip: shape (BOARD_PIXELS + LEGEND_PIXELS, BOARD_PIXELS, 3)."""
    covered = np.frombuffer(game.observe(0).observation, np.uint8).reshape(SEATS, BOARD, BOARD)
    owner = np.where(covered.any(axis=0), covered.argmax(axis=0), SEATS)
    board = np.empty((BOARD_PIXELS, BOARD_PIXELS, 3), np.uint8)
    board[1:, 1:] = COLOURS[owner].repeat(CELL_PIXELS, axis=0).repeat(CELL_PIXELS, axis=1)
    board[::CELL_PIXELS, :] = GRID_COLOUR
    board[:, ::CELL_PIXELS] = GRID_COLOUR
    return np.concatenate([board, _legend(None if game.is_over else game.agent_selection)])
