"""Game records: written from random games, read back by replaying them, and damaged files
refused with the file and the line at fault."""

import json
import os
import random
import subprocess
import sys

import pytest

from random_play import play
from vexlan_rl import PyVexlan
from vexlan_rl.actions import action_text
from vexlan_rl.players import parse_players, play_games
from vexlan_rl.records import RecordError, load_record, parse_record, save_games, write_record

SPECS = ["mcts:1000", "greedy", "random", "human"]


def random_record(tmp_path, seed, steps=None):
    game, actions = play(seed, steps)
    moves = [action for action in actions if action is not None]
    path = tmp_path / f"game-{seed}.jsonl"
    return path, write_record(path, SPECS, seed, moves, game, game=seed), game, moves


@pytest.mark.parametrize(("seed", "steps"), [(0, None), (1, None), (2, 30), (3, 0)])
def test_records_round_trip_and_replay_the_game(tmp_path, seed, steps):
    path, record, game, moves = random_record(tmp_path, seed, steps)
    loaded = load_record(path)
    assert loaded == record and loaded.to_text() == path.read_text()
    assert [move.grid_index for move in loaded.moves] == moves
    assert [spec.spec for spec in loaded.players] == SPECS and loaded.seed == seed and loaded.game == seed
    assert loaded.end_state[:-1] == game.to_bytes()[:-1] and list(loaded.scores) == game.scores
    # Each position is the one before it plus its move, played by the seat the record names.
    positions = list(loaded.positions())
    assert len(positions) == len(moves) + 1 and positions[-1].to_bytes() == loaded.end_state
    for before, after, move in zip(positions, positions[1:], loaded.moves):
        assert before.ply + 1 == after.ply
        assert set(move.placement().board_cells) <= cells_of(after, move.seat) - cells_of(before, move.seat)
    lines = path.read_text().splitlines()
    assert [json.loads(line)["move"] for line in lines[1:-1]] == [action_text(move) for move in moves]
    assert not [name for name in os.listdir(tmp_path) if name.endswith(".tmp")]


def cells_of(game: PyVexlan, seat: int) -> set:
    planes = game.observe(0).observation
    return {divmod(i, 20) for i in range(400) if planes[seat * 400 + i]}


def test_writer_refuses_moves_that_do_not_fit_the_game(tmp_path):
    game, actions = play(4, 20)
    moves = [action for action in actions if action is not None]
    with pytest.raises(ValueError, match="move 4 .* not a legal move of seat 0"):
        write_record(tmp_path / "r.jsonl", SPECS, 4, moves[:4] + moves[:1], None)
    with pytest.raises(ValueError, match="do not give the final game"):
        write_record(tmp_path / "r.jsonl", SPECS, 4, moves[:-1], game)
    with pytest.raises(ValueError, match="4 specs"):
        write_record(tmp_path / "r.jsonl", SPECS[:3], 4, moves, game)
    assert not list(tmp_path.iterdir())


def mutations(text: str, rng: random.Random):
    """Damaged copies of a record: bytes changed, lines dropped, swapped or repeated, cut short."""
    lines = text.splitlines(keepends=True)
    for _ in range(40):
        at = rng.randrange(len(text))
        yield text[:at] + rng.choice("0123456789abcdef{}[]\",: x\n") + text[at + 1:]
    for _ in range(10):
        at = rng.randrange(len(lines))
        other = rng.randrange(len(lines))
        yield "".join(lines[:at] + lines[at + 1:])
        swapped = list(lines)
        swapped[at], swapped[other] = swapped[other], swapped[at]
        yield "".join(swapped)
        yield "".join(lines[:at + 1] + lines[at:])
        yield text[:rng.randrange(len(text))]


def test_damaged_records_are_refused_naming_the_file_and_line(tmp_path):
    path, record, _, _ = random_record(tmp_path, 5)
    text = path.read_text()
    lines = text.count("\n")
    refused = 0
    for damaged in mutations(text, random.Random(5)):
        try:
            loaded = parse_record(damaged, "damaged.jsonl")
        except RecordError as error:
            refused += 1
            assert str(error).startswith(f"damaged.jsonl, line {error.line}: ") and 1 <= error.line <= lines + 1
            continue
        # What still loads changed nothing that the checks cover: a name, a seed, spacing.
        assert loaded.moves == record.moves and loaded.end_state == record.end_state
    assert refused > 60  # of 80


@pytest.mark.parametrize(("change", "line", "message"), [
    (lambda lines: lines[:1], 1, "stops here, without its last line"),
    (lambda lines: ["{}"] + lines[1:], 1, "not a vexlan_rl game record"),
    (lambda lines: [lines[0].replace('"version": 1', '"version": 2')] + lines[1:], 1, "version 2"),
    (lambda lines: [lines[0].replace('"game": 6', '"game": true')] + lines[1:], 1, "'game' must be int"),
    (lambda lines: lines[:3] + [lines[3].replace('"seat": 2', '"seat": 1')] + lines[4:], 4, "seat 2 is to move"),
    (lambda lines: lines[:2] + [lines[3], lines[2]] + lines[4:], 3, "seat 1 is to move"),
    (lambda lines: lines[:-1] + [lines[-1].replace('"state": "01', '"state": "02')], None, "do not replay"),
    (lambda lines: lines + [lines[-1]], None, "lines after the end"),
    (lambda lines: ["\ufeff" + lines[0]] + lines[1:], 1, "not a line of JSON"),
])
def test_each_fault_is_named(tmp_path, change, line, message):
    path, _, _, _ = random_record(tmp_path, 6)
    lines = path.read_text().splitlines()
    path.write_text("\n".join(change(lines)) + "\n")
    with pytest.raises(RecordError, match=message) as caught:
        load_record(path)
    assert caught.value.line == (line or len(lines) + (message == "lines after the end"))
    assert str(caught.value).startswith(f"{path}, line ")


def test_foreign_files_are_refused(tmp_path):
    for name, data in [("empty", b""), ("binary", b"\x89PNG\r\n\x1a\n\x00\xff"), ("list", b"[1, 2]\n")]:
        (tmp_path / name).write_bytes(data)
        with pytest.raises(RecordError, match=f"^{tmp_path / name}, line 1: "):
            load_record(tmp_path / name)


def test_arena_games_are_saved_one_record_each(tmp_path):
    lineup = parse_players("greedy,random,mcts:10,random")
    games = play_games(lineup, 9, 10, 2)
    paths = save_games(tmp_path / "games", lineup, 9, 10, games)
    assert [path.name for path in paths] == ["game-000010.jsonl", "game-000011.jsonl"]
    for path, arena_game in zip(paths, games):
        record = load_record(path)
        assert [move.grid_index for move in record.moves] == list(arena_game.moves)
        assert record.scores == arena_game.scores and record.seed == 9
        assert [player.spec for player in record.players] == [lineup[i].spec for i in arena_game.players]
    second = load_record(paths[1])
    assert second.game == 11 and second.players[0].name == "player 3: random"  # game 11 seats player 3 first
    with pytest.raises(ValueError, match="game 10: its moves give scores"):
        save_games(tmp_path / "games", lineup, 9, 10, [games[0]._replace(scores=(0, 0, 0, 0))])


def test_a_write_that_fails_leaves_the_old_record_and_no_temporary_file(tmp_path, monkeypatch):
    path, record, game, moves = random_record(tmp_path, 7)
    before = path.read_bytes()

    def killed(*_):
        raise KeyboardInterrupt  # as if the writer were stopped between writing and renaming

    monkeypatch.setattr(os, "replace", killed)
    with pytest.raises(KeyboardInterrupt):
        write_record(path, SPECS, 8, moves[:10], None)
    assert path.read_bytes() == before and sorted(tmp_path.iterdir()) == [path]


def test_arena_command_saves_the_games_it_played(tmp_path):
    folder = tmp_path / "games"
    command = [sys.executable, "-m", "vexlan_rl", "arena", "--players", "greedy,random,random,mcts:5", "-n", "8",
               "-s", "21", "-t", "2", "--save-games", str(folder)]
    result = subprocess.run(command, capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    expected = play_games(parse_players("greedy,random,random,mcts:5"), 21, 0, 8)
    assert sorted(path.name for path in folder.iterdir()) == [f"game-{n:06d}.jsonl" for n in range(8)]
    for number, arena_game in enumerate(expected):
        record = load_record(folder / f"game-{number:06d}.jsonl")
        assert [move.grid_index for move in record.moves] == list(arena_game.moves) and record.game == number
    refused = subprocess.run(command + ["--ray"], capture_output=True, text=True, timeout=60)
    assert refused.returncode == 2 and "--save-games: not with --ray" in refused.stderr
