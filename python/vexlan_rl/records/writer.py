"""Writing records: checked against the game they describe, and written so that a writer killed
at any moment leaves either the old file or the whole new one, never a part."""

from collections.abc import Iterable, Sequence
from pathlib import Path
from typing import Protocol

from vexlan_rl._engine import pass_done_seats
from vexlan_rl.atomic_file import write_atomically
from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.records.format import Record, RecordedMove, players_of


class ArenaGame(Protocol):
    """What `save_games` reads of an arena game (`vexlan_rl.players.GameRecord`)."""
    @property
    def players(self) -> tuple[int, int, int, int]: ...
    @property
    def scores(self) -> tuple[int, int, int, int]: ...
    @property
    def moves(self) -> Sequence[int]: ...


def record_of(players: Sequence[object], seed: int | None, moves: Iterable[int], final_game: PyVexlan | None,
              *, game: int = 0, names: Sequence[str] | None = None) -> Record:
    """The record of a game whose placements were `moves` (grid indices in each mover's frame, in
    play order, no passes), played by `players` (four specs, or players with a `spec`, by seat).
    ValueError if a move is not legal where it was played, or if the moves do not give the
    board and hands of `final_game` (None: the game they give)."""
    replay = PyVexlan()
    played = []
    for number, index in enumerate(moves):
        pass_done_seats(replay)
        seat = replay.agent_selection
        if replay.is_over:
            raise ValueError(f"move {number} ({index}) comes after the end of the game")
        try:
            replay.step(index)
        except (AssertionError, TypeError, OverflowError):
            raise ValueError(f"move {number} ({index!r}) is not a legal move of seat {seat} there") from None
        played.append(RecordedMove(seat, index))
    pass_done_seats(replay)
    state = replay.to_bytes()
    # The seat to move may differ by passes made after the game ended; the rest must agree.
    if final_game is not None and final_game.to_bytes()[:-1] != state[:-1]:
        raise ValueError("the moves do not give the final game's board and pieces in hand")
    return Record(players_of(players, names), seed, game, tuple(played), tuple(replay.scores), state)


def _write_text(path: Path, text: str) -> None:
    data = text.encode()
    write_atomically(path, lambda stream: stream.write(data))


def write_record(path: str | Path, players: Sequence[object], seed: int | None, moves: Iterable[int],
                 final_game: PyVexlan | None, *, game: int = 0, names: Sequence[str] | None = None) -> Record:
    """Writes the record of a game to `path` (see `record_of`) and returns it."""
    record = record_of(players, seed, moves, final_game, game=game, names=names)
    _write_text(Path(path), record.to_text())
    return record


def record_name(game: int) -> str:
    """The file name of game number `game` in a folder of records."""
    return f"game-{game:06d}.jsonl"


def save_games(directory: str | Path, players: Sequence[object], seed: int, first_game: int,
               games: Sequence[ArenaGame]) -> list[Path]:
    """Writes arena games `first_game`, `first_game + 1`, ... (as `vexlan_rl.players.play_games`
    returns them) into `directory`, one record each named by `record_name`, and returns the
    paths. `players` is the lineup: the game's `players` field seats them."""
    folder = Path(directory)
    folder.mkdir(parents=True, exist_ok=True)
    lineup = players_of(players)
    paths = []
    for number, arena_game in enumerate(games, first_game):
        record = record_of([lineup[index].spec for index in arena_game.players], seed, arena_game.moves, None, game=number,
                           names=[f"player {index}: {lineup[index].spec}" for index in arena_game.players])
        if record.scores != tuple(arena_game.scores):
            raise ValueError(f"game {number}: its moves give scores {record.scores}, the arena {arena_game.scores}")
        path = folder / record_name(number)
        _write_text(path, record.to_text())
        paths.append(path)
    return paths
