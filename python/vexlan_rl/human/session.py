"""The human seat's game: what each typed line does, and the text it answers with.

Nothing here reads or writes a terminal, so that the whole conversation is plain text in and out.
A line that cannot be done gets a message saying why and changes nothing.
"""

import re
from collections.abc import Callable, Sequence
from dataclasses import dataclass, field
from pathlib import Path

from vexlan_rl._engine import pass_done_seats
from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.actions import BOARD, ORIENTATIONS, SEATS, Placement, describe, grid_index, parse_action
from vexlan_rl.human.orientations import flipped, rotated, shape_text
from vexlan_rl.players import MctsPlayer, Player
from vexlan_rl.records import write_record
from vexlan_rl.render.compact_board import compact_board

HUMAN = "human"
HELP = """\
Commands (your moves are checked before anything changes):
  PIECE                 choose a piece, e.g. L4 (F in capitals), and list its placements in one orientation
  r, rotate             turn the chosen piece a quarter turn clockwise, as the board shows it
  f, flip               mirror the chosen piece left to right
  N                     play placement N of the list shown last
  see N                 show placement N of that list on the board, as *
  L4@r0c0/o14           play a move in its short form: piece, anchor row and column in your own
                        frame (the board turned so that your start corner is at the top left), orientation
  L4 0,0 1,0 1,1 1,2    play a piece on these cells of the board (row,column)
  pieces                list the pieces you hold
  hint [N]              ask the tree search for a move, N simulations (default %d)
  undo                  take back your last move
  save PATH             save the game so far as a record
  board                 show the board again
  help                  show this list
  quit                  leave the game (Ctrl-D too)"""
_CELL = re.compile(r"\(?\s*r?(\d+)\s*[,c ]\s*(\d+)\s*\)?")


def cells_text(move: Placement) -> str:
    return " ".join(f"{row},{column}" for row, column in move.board_cells)


@dataclass
class _Choice:
    """The piece being looked at, its orientation, and the placements listed last."""
    piece: str | None = None
    orientation: int = 0
    listed: list[Placement] = field(default_factory=list)


class Session:
    """A game in which seat `seat` is typed in and `opponents` (three players, in seat order after
    leaving out the human's) play the others, seeded from `seed`. `colour` asks for a coloured
    board; `hint_simulations` is the default budget of a hint."""

    def __init__(self, seat: int, opponents: Sequence[Player], seed: int, *, colour: bool = False,
                 hint_simulations: int = 1000) -> None:
        if not 0 <= seat < SEATS or len(opponents) != SEATS - 1:
            raise ValueError(f"need a seat 0 to 3 and {SEATS - 1} opponents")
        self.seat = seat
        self.seed = seed
        self.players: list[Player | None] = list(opponents)
        self.players.insert(seat, None)
        for number, player in enumerate(self.players):
            if player is not None:
                player.reseed(seed * SEATS + number)
        self.colour = colour
        self.hint_simulations = hint_simulations
        self.game = PyVexlan()
        self.moves: list[int] = []
        self.undo_points: list[tuple[bytes, int]] = []  # the game and the move count before each move of yours
        self.choice = _Choice()
        self.finished = False  # the human asked to leave
        self.changed = False  # the last line handled changed the position (a move or an undo)
        self._commands: dict[str, Callable[[str], str]] = {
            "help": lambda _: HELP % self.hint_simulations, "board": lambda _: self.board(), "pieces": self._pieces,
            "r": self._rotate, "rotate": self._rotate, "f": self._flip, "flip": self._flip, "see": self._see,
            "hint": self._hint, "undo": self._undo, "save": self._save, "quit": self._quit,
        }

    # --- the game ---

    @property
    def specs(self) -> list[str]:
        return [HUMAN if player is None else player.spec for player in self.players]

    def your_turn(self) -> bool:
        return not self.game.is_over and self.game.agent_selection == self.seat

    def play_opponents(self) -> str:
        """Plays the other seats until it is the human's turn or the game is over; the moves made."""
        lines = []
        pass_done_seats(self.game)
        while not self.game.is_over and self.game.agent_selection != self.seat:
            mover = self.game.agent_selection
            player = self.players[mover]
            assert player is not None
            move = describe(player.act(self.game), mover)
            self.game.step(move.grid_index)
            self.moves.append(move.grid_index)
            lines.append(f"seat {mover} ({player.spec}) plays {move} on {cells_text(move)}")
            pass_done_seats(self.game)
        if self.game.is_over:
            lines.append(self.result())
        return "\n".join(lines)

    def board(self) -> str:
        return compact_board(self.game, colour=self.colour)

    def turn_text(self) -> str:
        """What the human sees when a turn starts: the board and the pieces in hand."""
        return f"{self.board()}\nYour move, seat {self.seat}. {self._pieces('')}"

    def result(self) -> str:
        scores = self.game.scores
        ranks = sorted(scores, reverse=True)
        return "Game over. Scores: " + ", ".join(
            f"seat {seat} ({spec}) {score}" for seat, (spec, score) in enumerate(zip(self.specs, scores))) + \
            f". You placed {ranks.index(scores[self.seat]) + 1} of {SEATS}."

    def _play(self, index: int) -> str:
        if index not in self.game.legal_actions(self.seat):
            move = describe(index, self.seat)
            return f"{move} on {cells_text(move)} is not a legal placement for you now"
        self.undo_points.append((self.game.to_bytes(), len(self.moves)))
        move = describe(index, self.seat)
        self.game.step(index)
        self.moves.append(index)
        self.choice = _Choice()
        self.changed = True
        return f"You play {move} on {cells_text(move)}"

    # --- lines typed ---

    def handle(self, line: str) -> str:
        """Does what `line` asks and returns the answer to show; on the human's turn only moves
        are taken, and after a move the opponents answer."""
        self.changed = False
        text = line.strip()
        if not text:
            return ""
        word, _, rest = text.partition(" ")
        command = self._commands.get(word)  # as typed: "f" flips, "F" is a piece
        if command is not None:
            return command(rest.strip())
        if not self.your_turn():
            return "It is not your turn" if not self.game.is_over else "The game is over; save or quit"
        try:
            index = self._move(text)
        except ValueError as error:
            return str(error)
        if index is None:
            return self._select(text)
        answer = self._play(index)
        if not self.changed:
            return answer
        return "\n".join(part for part in (answer, self.play_opponents()) if part)

    def _move(self, text: str) -> int | None:
        """The grid index that `text` names, or None if it names a piece to look at."""
        if "@" in text:
            return parse_action(text)
        if text.isdigit():
            if not self.choice.listed:
                raise ValueError("no placements listed: choose a piece first, e.g. L4")
            number = int(text)
            if not 1 <= number <= len(self.choice.listed):
                raise ValueError(f"choose a placement from 1 to {len(self.choice.listed)}")
            return self.choice.listed[number - 1].grid_index
        piece, _, cells = text.partition(" ")
        piece = piece.upper()
        if piece not in PyVexlan.piece_names:
            raise ValueError(f"not a command, piece or move: {text!r}; type help for the list")
        if not cells.strip():
            return None
        parsed = _CELL.findall(cells)
        if "".join(_CELL.sub("", cells).split()):
            raise ValueError(f"cells are written row,column, e.g. {piece} 0,0 0,1: not {cells.strip()!r}")
        board_cells = [(int(r), int(c)) for r, c in parsed]
        return grid_index(piece, board_cells, self.seat)

    def _in_hand(self) -> list[str]:
        pieces = self.game.observe(self.seat).pieces  # seats from the observer: the human's own first
        return [name for name, held in zip(PyVexlan.piece_names, pieces) if held]

    def _pieces(self, _: str) -> str:
        held = self._in_hand()
        return f"You hold {len(held)} pieces: {' '.join(held)}" if held else "You hold no pieces"

    def _select(self, text: str) -> str:
        piece = text.upper()
        if piece not in self._in_hand():
            return f"You no longer hold {piece}"
        orientations = [o.index for o in ORIENTATIONS if o.piece == piece]
        legal = set(self.game.legal_actions(self.seat))
        with_moves = [o for o in orientations if any(i // (BOARD * BOARD) == o for i in legal)]
        self.choice = _Choice(piece, (with_moves or orientations)[0])
        return self._listing()

    def _listing(self) -> str:
        choice = self.choice
        assert choice.piece is not None
        legal = set(self.game.legal_actions(self.seat))
        choice.listed = sorted((describe(i, self.seat) for i in legal if i // (BOARD * BOARD) == choice.orientation),
                               key=lambda move: move.board_cells)
        variants = [o.index for o in ORIENTATIONS if o.piece == choice.piece]
        lines = [f"{choice.piece}, orientation {choice.orientation} "
                 f"({variants.index(choice.orientation) + 1} of {len(variants)}; r rotates it, f flips it):"]
        lines += ["    " + row for row in shape_text(choice.orientation, self.seat)]
        count = len(choice.listed)
        lines.append(f"{count} placement{'s' * (count != 1)} in this orientation" + (":" if count else "."))
        lines += [f"{number:4d}  {move}  on {cells_text(move)}" for number, move in enumerate(choice.listed, 1)]
        others = [f"o{o} ({n})" for o in variants if o != choice.orientation
                  and (n := sum(1 for i in legal if i // (BOARD * BOARD) == o))]
        lines.append("Other orientations with placements: " + (", ".join(others) if others else "none"))
        return "\n".join(lines)

    def _turned(self, turn: Callable[[int, int], int]) -> str:
        if self.choice.piece is None or not self.your_turn():
            return "Choose a piece first, e.g. L4"
        self.choice.orientation = turn(self.choice.orientation, self.seat)
        return self._listing()

    def _rotate(self, _: str) -> str:
        return self._turned(rotated)

    def _flip(self, _: str) -> str:
        return self._turned(flipped)

    def _see(self, rest: str) -> str:
        if not rest.isdigit() or not 1 <= int(rest) <= len(self.choice.listed):
            return f"see takes a placement number from the list shown last (1 to {len(self.choice.listed)})"
        move = self.choice.listed[int(rest) - 1]
        lines = compact_board(self.game).split("\n")
        for row, column in move.board_cells:
            line = lines[row + 1]
            at = 3 + 3 * column + 1
            lines[row + 1] = line[:at] + "*" + line[at + 1:]
        return "\n".join(lines[:BOARD + 1] + [f"{int(rest)}: {move} on {cells_text(move)}"])

    def _hint(self, rest: str) -> str:
        if not self.your_turn():
            return "Hints are for your turn"
        if rest and not (rest.isdigit() and int(rest) >= 1):
            return f"hint takes a number of simulations, e.g. hint 500: not {rest!r}"
        search = MctsPlayer(int(rest) if rest else self.hint_simulations, seed=self.seed + len(self.moves))
        move = describe(search.act(self.game), self.seat)
        return f"hint: {move} on {cells_text(move)}"

    def _undo(self, _: str) -> str:
        if not self.undo_points:
            return "Nothing to undo"
        state, count = self.undo_points.pop()
        taken = self.moves[count:]
        self.game = PyVexlan.from_bytes(state)
        del self.moves[count:]
        self.choice = _Choice()
        self.changed = True
        return f"Took back your move {describe(taken[0], self.seat)}" + (
            f" and the {len(taken) - 1} moves after it" if len(taken) > 1 else "")

    def _save(self, rest: str) -> str:
        if not rest:
            return "save takes a file name, e.g. save game.jsonl"
        try:
            self.save(Path(rest))
        except OSError as error:
            return f"Could not save to {rest}: {error.strerror or error}"
        return f"Saved the game so far ({len(self.moves)} moves) to {rest}"

    def save(self, path: Path) -> None:
        names = [f"{HUMAN} (seat {self.seat})" if player is None else player.spec for player in self.players]
        write_record(path, self.specs, self.seed, self.moves, self.game, names=names)

    def _quit(self, _: str) -> str:
        self.finished = True
        return "Leaving the game"

