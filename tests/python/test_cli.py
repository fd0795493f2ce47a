"""The command line `python -m vexlan_rl` and its console script."""

import importlib.metadata
import os
import random
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

import vexlan_rl
from vexlan_rl import PyVexlan
from vexlan_rl.cli.selfplay import parse_arguments, play_random_game
from vexlan_rl.records import load_record

ROW_OF_FOUR = r"\s+(\S+)\s+(\S+)\s+(\S+)\s+(\S+)$"


def run_cli(*arguments: str, stdout: int = subprocess.PIPE) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-m", "vexlan_rl", *arguments],
                          stdout=stdout, stderr=subprocess.PIPE, text=True, timeout=60)


def table_row(output: str, label: str) -> list[str]:
    match = re.search("^" + re.escape(label) + ROW_OF_FOUR, output, re.MULTILINE)
    assert match, f"no {label!r} row in:\n{output}"
    return list(match.groups())


@pytest.mark.parametrize("seed", [0, 1, 2**40])
def test_reports_the_games_it_played(seed):
    result = run_cli("--games", "3", "--seed", str(seed), "--reward-mode", "score", "--board", "full")
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    out = result.stdout

    # Replaying the seed here gives the games the command reported.
    rng = random.Random(seed)
    games = [PyVexlan() for _ in range(3)]
    for game in games:
        play_random_game(game, rng)
    last = games[-1]
    assert f"Last game (game 3, seed {seed}): {last.ply} placements\n" in out

    lines = out.split("\n")
    board = lines[1:42]
    assert board[0].startswith("  |  0 |  1 |") and all(line.startswith("-" * 103) for line in board[1::2])
    assert sum(line.count("x\x1b[0m") for line in board) == 89 * 4 + sum(last.scores)  # squares placed

    assert table_row(out, "score") == [str(score) for score in last.scores]
    assert [float(v) for v in table_row(out, "outcome (score)")] == last.scores

    summary = re.search(r"^Summary: 3 games in [\d.]+ s, [\d.]+ games per second, ([\d.]+) placements per game$",
                        out, re.MULTILINE)
    assert summary and float(summary.group(1)) == pytest.approx(sum(g.ply for g in games) / 3, abs=0.05)
    mean_scores = [float(v) for v in table_row(out, "mean score")]
    assert mean_scores == pytest.approx([sum(g.scores[k] for g in games) / 3 for k in range(4)], abs=0.005)
    win_shares = [float(v) for v in table_row(out, "win share")]
    assert win_shares == pytest.approx([sum(g.outcome("win_share")[k] for g in games) / 3 for k in range(4)],
                                       abs=0.0005)


def test_no_board_and_rank_outcome():
    result = run_cli("-n", "2", "-s", "9", "--no-board", "-r", "rank")
    assert result.returncode == 0
    assert "\x1b[" not in result.stdout and "-" * 103 not in result.stdout
    ranks = sorted(float(v) for v in table_row(result.stdout, "outcome (rank)"))
    assert sum(ranks) == pytest.approx(2.0, abs=0.002) and ranks[-1] >= 0.5


def test_progress_bar_on_request():
    result = run_cli("-n", "20", "-s", "1", "--no-board", "--progress")
    assert result.returncode == 0
    assert re.search(r"\[#{30}\] 100% 20/20 games, \d+/s, 0 s left +\n$", result.stderr)
    quiet = run_cli("-n", "20", "-s", "1", "--no-board")  # stderr is a pipe: no bar
    assert quiet.returncode == 0 and quiet.stderr == ""


def test_help_documents_every_option():
    result = run_cli("--help")
    assert result.returncode == 0 and result.stdout.startswith("usage: python -m vexlan_rl ")
    parser_options = ["--games", "--seed", "--reward-mode", "--no-board", "--board", "--progress", "--no-progress",
                      "--save-games", "--version"]
    for option in parser_options:
        assert option in result.stdout
    assert all(mode in result.stdout for mode in PyVexlan.reward_modes)
    assert vars(parse_arguments([], None)).keys() == {"games", "seed", "reward_mode", "board", "board_style", "progress",
                                                      "save_games"}


def test_version():
    result = run_cli("--version")
    assert result.returncode == 0 and result.stdout == f"python -m vexlan_rl {vexlan_rl.__version__}\n"
    assert vexlan_rl.__version__ == importlib.metadata.version("vexlan-rl")


@pytest.mark.parametrize(("arguments", "message"), [
    (["--games", "0"], "argument -n/--games: must be at least 1, not 0"),
    (["-n", "ten"], "argument -n/--games: not a whole number: 'ten'"),
    (["--seed", "1.5"], "argument -s/--seed: invalid int value: '1.5'"),
    (["-r", "points"], "argument -r/--reward-mode: invalid choice: 'points'"),
    (["--boards"], "unrecognized arguments: --boards"),
    (["--board", "wide"], "argument --board: invalid choice: 'wide'"),
])
def test_bad_options_exit_with_status_2(arguments, message):
    result = run_cli(*arguments)
    assert result.returncode == 2
    assert result.stdout == ""
    assert result.stderr.startswith("usage: ") and message in result.stderr


def test_console_script_is_installed():
    script = Path(sys.executable).with_name("vexlan_rl")
    if not script.exists():
        pytest.skip("the package was not installed into this interpreter's environment")
    result = subprocess.run([str(script), "-n", "1", "--no-board"], capture_output=True, text=True, timeout=60)
    assert result.returncode == 0 and "Summary: 1 games" in result.stdout


def test_interrupt_reports_the_games_so_far():
    process = subprocess.Popen([sys.executable, "-m", "vexlan_rl", "-n", "100000000", "-s", "3"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    time.sleep(1.5)
    process.send_signal(signal.SIGINT)
    out, err = process.communicate(timeout=30)
    assert process.returncode == 130
    played = int(re.search(r"Interrupted after (\d+) of 100000000 games", err).group(1))
    assert played > 0 and f"Summary: {played} games in" in out and "Traceback" not in err


def test_closed_output_ends_quietly():
    read_end, write_end = os.pipe()
    os.close(read_end)  # nobody will read: every write fails with EPIPE
    try:
        result = run_cli("-n", "1", stdout=write_end)
    finally:
        os.close(write_end)
    assert result.returncode == 1 and result.stderr == ""


def test_saved_games_replay_to_the_games_reported(tmp_path):
    result = run_cli("-n", "3", "-s", "12", "--no-board", "--save-games", str(tmp_path / "games"))
    assert result.returncode == 0, result.stderr
    records = [load_record(tmp_path / "games" / f"game-{number:06d}.jsonl") for number in range(3)]
    rng = random.Random(12)
    for number, record in enumerate(records):
        game = PyVexlan()
        assert [move.grid_index for move in record.moves] == play_random_game(game, rng)
        assert record.game == number and record.seed == 12 and record.end_state == game.to_bytes()
    assert table_row(result.stdout, "score") == [str(score) for score in records[-1].scores]
