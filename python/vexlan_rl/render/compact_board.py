"""A board for people that fits 80 columns: one digit per seat, with a legend.

`render()` prints a fixed 103-column form that tells the agents apart by
background colour alone. This one names each agent's cells by its seat digit,
so it reads the same through a pipe, in a log or with colour turned off, and
adds colour only as a help on a terminal that wants it (`colour_wanted`).
"""

import os
from typing import TextIO

from vexlan_rl._engine import BOARD_SIZE, NUM_SEATS
from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.last_move import last_move

SEATS = NUM_SEATS
BOARD = BOARD_SIZE
PIECES = len(PyVexlan.piece_names)
EMPTY = "."
# Backgrounds of render()'s form (blue, yellow, red, green), each with a text
# colour that stays readable on it.
_COLOURS = ("97;44", "30;43", "97;41", "30;42")
_RESET = "\x1b[0m"


def colour_wanted(stream: TextIO) -> bool:
    """Colour for `stream`: only on a terminal that can show it, and never when
    the NO_COLOR environment variable is set to anything but the empty text."""
    if os.environ.get("NO_COLOR") or os.environ.get("TERM") == "dumb":
        return False
    isatty = getattr(stream, "isatty", None)
    return bool(isatty and isatty())


def _paint(text: str, seat: int, colour: bool) -> str:
    return f"\x1b[{_COLOURS[seat]}m{text}{_RESET}" if colour else text


def compact_board(game: PyVexlan, colour: bool = False) -> str:
    """The absolute board (row 0 at the top), each cell the digit of the seat
    that covers it or "." when empty, then one legend line per agent and the
    last move. 26 lines of at most 63 columns; no final newline. With `colour`,
    the cells and seat digits also get their seat's colour of `render()`."""
    view = game.observe(0)  # agent 0's frame is the absolute board, its seat order the agents' own
    planes = view.observation
    lines = ["   " + "".join(f"{column:^3}" for column in range(BOARD))]
    for row in range(BOARD):
        cells = []
        for column in range(BOARD):
            owner = next((k for k in range(SEATS) if planes[(k * BOARD + row) * BOARD + column]), None)
            cells.append(f" {EMPTY} " if owner is None else _paint(f" {owner} ", owner, colour))
        lines.append(f"{row:>2} " + "".join(cells))
    scores = game.scores
    for seat in range(SEATS):
        pieces = sum(view.pieces[seat * PIECES:(seat + 1) * PIECES])
        state = "done" if game.terminations[seat] else "to move" if seat == game.agent_selection else ""
        lines.append(f" {_paint(str(seat), seat, colour)} agent {seat}  score {scores[seat]:>3}  "
                     f"{pieces:>2} pieces in hand  {state}".rstrip())
    move = last_move(game)
    played = "none yet" if move is None else f"agent {move.agent} {move}"
    lines.append(f" {EMPTY} empty   last move: {played}" + ("   game over" if game.is_over else ""))
    return "\n".join(lines)
