"""What an action places, and the action that places given cells.

An action is a grid index of the (91, 20, 20) action grid, read in the frame of
the agent that plays it:

    grid index = orientation * 400 + row * 20 + column

The orientation (0 to 90) is one fixed rotation or reflection of one of the 21
piece types. Row and column name the anchor: the top-left corner of the
orientation's bounding box, which need not be a cell of the piece (the T of
`T4` orientation 9 leaves it empty). Agent k's frame is the board turned k
quarter turns counter-clockwise, so that its start corner is at the top left;
the same index therefore places the same shape for every agent, turned onto
the absolute board by its seat.

    >>> from vexlan_rl.actions import describe, grid_index
    >>> move = describe(5600, agent=1)  # agent 1's first move: its start corner is (0, 19)
    >>> str(move), move.cells, move.board_cells
    ('L4@r0c0/o14', ((0, 0), (1, 0), (1, 1), (1, 2)), ((0, 18), (0, 19), (1, 18), (2, 18)))
    >>> grid_index("L4", move.board_cells, agent=1)
    5600

The orientations' shapes come from the engine (`vexlan_rl._engine`); nothing
here needs numpy or any other optional package, and the functions are pure
and safe on any thread.
"""

import re
from collections.abc import Iterable
from dataclasses import dataclass

from vexlan_rl._engine import BOARD_SIZE, NUM_SEATS, ORIENTATIONS as _SHAPES
from vexlan_rl._vexlan import PyVexlan

Cell = tuple[int, int]  # (row, column), row 0 at the top, column 0 at the left

BOARD = BOARD_SIZE
GRID_POSITIONS = BOARD * BOARD  # positions of one orientation in the action grid
SEATS = NUM_SEATS


@dataclass(frozen=True)
class Orientation:
    """One fixed orientation: its piece type, its number among that type's
    orientations, and its cells relative to the top-left corner of its
    bounding box."""

    index: int
    piece: str
    variant: int
    cells: tuple[Cell, ...]
    height: int
    width: int


def _orientations() -> tuple[Orientation, ...]:
    """The engine's orientations, each numbered among its piece type's."""
    table: list[Orientation] = []
    for index, (piece, cells) in enumerate(_SHAPES):
        variant = sum(1 for earlier in table if earlier.piece == piece)
        height = 1 + max(row for row, _ in cells)
        width = 1 + max(column for _, column in cells)
        table.append(Orientation(index, piece, variant, tuple(sorted(cells)), height, width))
    return tuple(table)


ORIENTATIONS = _orientations()
PIECE_SIZES = {orientation.piece: len(orientation.cells) for orientation in ORIENTATIONS}
_BY_SHAPE = {orientation.cells: orientation for orientation in ORIENTATIONS}
_TEXT_FORM = re.compile(r"([A-Z][A-Z0-9]?)@r(\d+)c(\d+)/o(\d+)")


def to_board(cell: Cell, agent: int) -> Cell:
    """A cell of `agent`'s frame on the absolute board: `agent` quarter turns
    clockwise, (row, column) -> (column, 19 - row) each."""
    row, column = cell
    for _ in range(agent):
        row, column = column, BOARD - 1 - row
    return row, column


def to_frame(cell: Cell, agent: int) -> Cell:
    """A cell of the absolute board in `agent`'s frame; the inverse of `to_board`."""
    row, column = cell
    for _ in range(agent):
        row, column = BOARD - 1 - column, row
    return row, column


@dataclass(frozen=True)
class Placement:
    """A placement as one agent names it. `row` and `column` are the anchor, the
    top-left corner of the orientation's bounding box in the agent's frame;
    `cells` are the covered cells in that frame and `board_cells` the same cells
    on the absolute board, both sorted. `str()` gives the short text form,
    for example "L5@r3c7/o61": piece, anchor row and column, orientation."""

    grid_index: int
    agent: int
    piece: str
    orientation: int
    variant: int
    row: int
    column: int
    cells: tuple[Cell, ...]
    board_cells: tuple[Cell, ...]

    def __str__(self) -> str:
        return f"{self.piece}@r{self.row}c{self.column}/o{self.orientation}"


def _check_agent(agent: int) -> None:
    if not 0 <= agent < SEATS:
        raise ValueError(f"agent must be 0 to 3, not {agent!r}")


def describe(grid_index: int, agent: int = 0) -> Placement:
    """The placement that `grid_index` names for `agent` (0 to 3). ValueError
    for an index outside the grid or one where the orientation does not fit on
    the board at that anchor (5967 of the 36400 positions)."""
    _check_agent(agent)
    if not 0 <= grid_index < PyVexlan.num_actions:
        raise ValueError(f"grid index must be 0 to {PyVexlan.num_actions - 1}, not {grid_index!r}")
    index, position = divmod(grid_index, GRID_POSITIONS)
    row, column = divmod(position, BOARD)
    orientation = ORIENTATIONS[index]
    if row + orientation.height > BOARD or column + orientation.width > BOARD:
        raise ValueError(f"grid index {grid_index} holds no placement: {orientation.piece} orientation {index} "
                         f"({orientation.height} x {orientation.width}) does not fit at row {row}, column {column}")
    cells = tuple((row + r, column + c) for r, c in orientation.cells)
    return Placement(grid_index, agent, orientation.piece, index, orientation.variant, row, column, cells,
                     tuple(sorted(to_board(cell, agent) for cell in cells)))


def action_text(grid_index: int) -> str:
    """The short text form of `grid_index`, such as "L5@r3c7/o61"; it is the same
    for every agent, since actions are named in the agent's own frame."""
    return str(describe(grid_index))


def parse_action(text: str) -> int:
    """The grid index of a short text form written by `action_text`. ValueError
    if the text is not one, or if its piece does not match its orientation."""
    match = _TEXT_FORM.fullmatch(text.strip())
    if match is None:
        raise ValueError(f"not an action's text form (piece@rROWcCOLUMN/oORIENTATION): {text!r}")
    piece, row, column, orientation = match.group(1), *map(int, match.groups()[1:])
    if orientation >= len(ORIENTATIONS) or ORIENTATIONS[orientation].piece != piece:
        raise ValueError(f"{text!r}: orientation {orientation} is not an orientation of {piece}")
    if row >= BOARD or column >= BOARD:
        raise ValueError(f"{text!r}: the anchor lies off the board")
    parsed = orientation * GRID_POSITIONS + row * BOARD + column
    describe(parsed)  # refuses an anchor at which the orientation does not fit
    return parsed


def grid_index(piece: str, board_cells: Iterable[Cell], agent: int = 0) -> int:
    """The grid index with which `agent` places `piece` on exactly `board_cells`
    (cells of the absolute board, in any order); the inverse of `describe`.
    ValueError if those cells are not a shape of that piece on the board."""
    _check_agent(agent)
    cells = set(board_cells)
    if not cells or not all(0 <= r < BOARD and 0 <= c < BOARD for r, c in cells):
        raise ValueError(f"the cells of a placement must be on the 20 x 20 board: {sorted(cells)}")
    framed = [to_frame(cell, agent) for cell in cells]
    top = min(r for r, _ in framed)
    left = min(c for _, c in framed)
    orientation = _BY_SHAPE.get(tuple(sorted((r - top, c - left) for r, c in framed)))
    if orientation is None or orientation.piece != piece:
        raise ValueError(f"cells {sorted(cells)} are not a placement of {piece!r}")
    return orientation.index * GRID_POSITIONS + top * BOARD + left
