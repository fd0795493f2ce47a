"""Orientations as a seat sees them on the board: a seat names its moves in its own frame, but
looks at the absolute board, on which its frame is turned by the seat's quarter turns."""

from vexlan_rl.actions import ORIENTATIONS, Cell, to_board, to_frame

_BY_SHAPE = {orientation.cells: orientation.index for orientation in ORIENTATIONS}


def _normalised(cells: list[Cell]) -> tuple[Cell, ...]:
    top = min(r for r, _ in cells)
    left = min(c for _, c in cells)
    return tuple(sorted((r - top, c - left) for r, c in cells))


def board_shape(orientation: int, seat: int) -> tuple[Cell, ...]:
    """The cells of `orientation` of `seat`'s frame as they lie on the board, from (0, 0)."""
    return _normalised([to_board(cell, seat) for cell in ORIENTATIONS[orientation].cells])


def _orientation_of(shape: list[Cell], seat: int) -> int:
    return _BY_SHAPE[_normalised([to_frame(cell, seat) for cell in shape])]


def rotated(orientation: int, seat: int) -> int:
    """The orientation that looks on the board like `orientation` turned a quarter clockwise."""
    return _orientation_of([(c, -r) for r, c in board_shape(orientation, seat)], seat)


def flipped(orientation: int, seat: int) -> int:
    """The orientation that looks on the board like `orientation` mirrored left to right."""
    return _orientation_of([(r, -c) for r, c in board_shape(orientation, seat)], seat)


def shape_text(orientation: int, seat: int) -> list[str]:
    """The shape as it lies on the board: rows of X and ., top row first."""
    shape = set(board_shape(orientation, seat))
    height = 1 + max(r for r, _ in shape)
    width = 1 + max(c for _, c in shape)
    return ["".join("X" if (r, c) in shape else "." for c in range(width)) for r in range(height)]
