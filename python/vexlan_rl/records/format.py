"""The record file, version 1: JSON lines, one object a line.

    {"record": "vexlan_rl game", "version": 1, "seed": 7, "game": 0, "players": [
        {"name": "mcts:1000", "spec": "mcts:1000"}, ... four, by seat]}
    {"seat": 0, "index": 0, "move": "I1@r0c0/o0"}           one line per placement, in play order
    ...
    {"scores": [15, -7, -12, -20], "state": "01..."}        the 278-byte state at the end, in hex

A move is the grid index its mover played, in the mover's own frame, with the
short text form of `vexlan_rl.actions` beside it for people; the two must
agree. Passes are not written: an agent that is done only passes, so replaying
passes every done seat before each placement and after the last one. Readers
ignore keys they do not know, so later versions can add some without breaking
this one; a change that would mislead a version 1 reader raises the version.
"""

import json
from collections.abc import Iterator, Sequence
from dataclasses import dataclass
from pathlib import Path
from typing import Any

from vexlan_rl._engine import pass_done_seats
from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.actions import SEATS, Placement, action_text, describe

FORMAT = "vexlan_rl game"
VERSION = 1
STATE_BYTES = 278


class RecordError(ValueError):
    """A file that is not a well-formed record, or whose moves do not replay to its end state.
    The message starts with the file and the line at fault."""

    def __init__(self, source: str, line: int, reason: str) -> None:
        super().__init__(f"{source}, line {line}: {reason}")
        self.source = source
        self.line = line
        self.reason = reason


@dataclass(frozen=True)
class SeatPlayer:
    """Who sat in a seat: a name for people, and the player's text form, which
    `vexlan_rl.players.parse_player` reads back (or "human")."""
    name: str
    spec: str


@dataclass(frozen=True)
class RecordedMove:
    """One placement: the seat that made it and the grid index it played, in its own frame."""
    seat: int
    grid_index: int

    @property
    def text(self) -> str:
        return action_text(self.grid_index)

    def placement(self) -> Placement:
        return describe(self.grid_index, self.seat)


@dataclass(frozen=True)
class Record:
    """A game as a record holds it. `seed` and `game` say where the game came from (the seed of
    the run and the game's number in it); `end_state` is `to_bytes()` of the game after its moves."""
    players: tuple[SeatPlayer, ...]
    seed: int | None
    game: int
    moves: tuple[RecordedMove, ...]
    scores: tuple[int, ...]
    end_state: bytes

    def positions(self) -> Iterator[PyVexlan]:
        """The game before the first move and after each move, each a new PyVexlan."""
        game = PyVexlan()
        yield game.copy()
        for move in self.moves:
            pass_done_seats(game)
            game.step(move.grid_index)
            pass_done_seats(game)
            yield game.copy()

    def to_text(self) -> str:
        """The record's file, lines ending in a newline."""
        header = {"record": FORMAT, "version": VERSION, "seed": self.seed, "game": self.game,
                  "players": [{"name": player.name, "spec": player.spec} for player in self.players]}
        lines = [header, *({"seat": move.seat, "index": move.grid_index, "move": move.text} for move in self.moves),
                 {"scores": list(self.scores), "state": self.end_state.hex()}]
        return "".join(json.dumps(line, separators=(", ", ": ")) + "\n" for line in lines)


# --- reading ---

class _Reader:
    """Checks the lines of one file in order, each error naming the file and the line."""

    def __init__(self, source: str) -> None:
        self.source = source
        self.line = 0

    def fail(self, reason: str) -> RecordError:
        return RecordError(self.source, self.line, reason)

    def object(self, text: str) -> dict[str, Any]:
        try:
            value = json.loads(text)
        except ValueError as error:
            raise self.fail(f"not a line of JSON ({error})") from None
        if not isinstance(value, dict):
            raise self.fail(f"expected a JSON object, found {type(value).__name__}")
        return value

    def field(self, line: dict[str, Any], key: str, kind: type) -> Any:
        if key not in line:
            raise self.fail(f"no {key!r}")
        value = line[key]
        # bool is an int to Python but not to a reader of the file
        if not isinstance(value, kind) or (kind is int and isinstance(value, bool)):
            raise self.fail(f"{key!r} must be {kind.__name__}, not {json.dumps(value)[:40]}")
        return value

    def header(self, text: str) -> tuple[tuple[SeatPlayer, ...], int | None, int]:
        line = self.object(text)
        if line.get("record") != FORMAT:
            raise self.fail(f"not a {FORMAT} record (its first line lacks \"record\": \"{FORMAT}\")")
        version = self.field(line, "version", int)
        if version != VERSION:
            raise self.fail(f"record version {version}; this reader knows version {VERSION} only")
        seed = None if line.get("seed") is None else self.field(line, "seed", int)
        game = self.field(line, "game", int)
        players = self.field(line, "players", list)
        if len(players) != SEATS or not all(isinstance(p, dict) for p in players):
            raise self.fail(f"'players' must list {SEATS} objects, one per seat")
        return tuple(SeatPlayer(self.field(p, "name", str), self.field(p, "spec", str)) for p in players), seed, game

    def move(self, line: dict[str, Any], game: PyVexlan) -> RecordedMove:
        seat, index, text = self.field(line, "seat", int), self.field(line, "index", int), self.field(line, "move", str)
        try:
            written = action_text(index)
        except ValueError as error:
            raise self.fail(str(error)) from None
        if written != text:
            raise self.fail(f"move {text!r} is not grid index {index}, which is {written}")
        pass_done_seats(game)
        if game.is_over:
            raise self.fail(f"move {text} after the end of the game")
        if seat != game.agent_selection:
            raise self.fail(f"move {text} is for seat {seat}, but seat {game.agent_selection} is to move")
        try:
            game.step(index)
        except AssertionError:
            raise self.fail(f"move {text} is not legal for seat {seat} here") from None
        return RecordedMove(seat, index)

    def end(self, line: dict[str, Any], game: PyVexlan) -> tuple[tuple[int, ...], bytes]:
        scores = self.field(line, "scores", list)
        try:
            state = bytes.fromhex(self.field(line, "state", str))
        except ValueError:
            raise self.fail("'state' is not hexadecimal") from None
        if len(state) != STATE_BYTES:
            raise self.fail(f"'state' holds {len(state)} bytes, not {STATE_BYTES}")
        pass_done_seats(game)
        if state != game.to_bytes():
            raise self.fail("the moves do not replay to the state recorded at the end")
        if scores != game.scores:
            raise self.fail(f"'scores' {json.dumps(scores)[:40]} are not the end state's {game.scores}")
        return tuple(scores), state


def parse_record(text: str, source: str = "<record>") -> Record:
    """The record written as `text`; RecordError naming `source` and the line at fault when it is
    not a well-formed record or its moves do not replay to its end state."""
    reader = _Reader(source)
    lines = text.split("\n")
    if lines[-1] == "":
        lines.pop()  # the final newline
    if not lines:
        reader.line = 1
        raise reader.fail("empty file: not a record")
    reader.line = 1
    players, seed, number = reader.header(lines[0])
    game = PyVexlan()
    moves: list[RecordedMove] = []
    for text_line in lines[1:]:
        reader.line += 1
        line = reader.object(text_line)
        if "state" in line:
            scores, state = reader.end(line, game)
            if reader.line != len(lines):
                reader.line += 1
                raise reader.fail("lines after the end of the record")
            return Record(players, seed, number, tuple(moves), scores, state)
        moves.append(reader.move(line, game))
    raise reader.fail("the record stops here, without its last line (the scores and the end state)")


def load_record(path: str | Path) -> Record:
    """The record in the file at `path`, replayed and checked; see `parse_record`."""
    source = str(path)
    data = Path(path).read_bytes()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        raise RecordError(source, data.count(b"\n", 0, error.start) + 1, "not UTF-8 text") from None
    return parse_record(text, source)


def players_of(players: Sequence[object], names: Sequence[str] | None = None) -> tuple[SeatPlayer, ...]:
    """Seat players from specs or from players that have a `spec` (named by their spec unless
    `names` are given)."""
    specs = [player if isinstance(player, str) else getattr(player, "spec", None) for player in players]
    if len(specs) != SEATS or not all(isinstance(spec, str) for spec in specs):
        raise ValueError(f"players must be {SEATS} specs or players with a spec, one per seat")
    if names is not None and (len(names) != SEATS or not all(isinstance(name, str) for name in names)):
        raise ValueError(f"names must be {SEATS} strings, one per seat")
    return tuple(SeatPlayer(name, spec) for name, spec in zip(names or specs, specs))  # type: ignore[arg-type]
