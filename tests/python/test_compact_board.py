"""The 80-column board against the game, and when it is coloured."""

import io
import os
import pty
import re
import subprocess
import sys

import pytest

from random_play import play
from vexlan_rl import PyVexlan
from vexlan_rl.render.compact_board import colour_wanted, compact_board
from vexlan_rl.last_move import last_move

SGR = re.compile(r"\x1b\[[0-9;]*m")
BACKGROUNDS = {"44": "0", "43": "1", "41": "2", "42": "3"}


def owners_of_full_text(text: str) -> list[str]:
    """Each row of render()'s form as a string of seat digits and dots."""
    rows = []
    for line in text.split("\n")[2::2]:
        cells = line.split("|")[1:-1]
        rows.append("".join(BACKGROUNDS[m.group(1)] if (m := re.search(r"\x1b\[(\d+)m", c)) else "." for c in cells))
    return rows


@pytest.mark.parametrize("seed", range(3))
def test_compact_board_shows_the_game(seed):
    for steps in (0, 1, 33, None):
        game, _ = play(seed, steps)
        plain = compact_board(game)
        lines = plain.split("\n")
        assert len(lines) == 26 and max(map(len, lines)) <= 80 and "\x1b" not in plain
        assert ["".join(line[3:].split()) for line in lines[1:21]] == owners_of_full_text(game.text())
        assert SGR.sub("", compact_board(game, colour=True)) == plain
        for seat, line in enumerate(lines[21:25]):
            assert line.startswith(f" {seat} agent {seat}  score {game.scores[seat]:>3}")
            assert line.endswith("done") == game.terminations[seat]
            assert line.endswith("to move") == (seat == game.agent_selection and not game.terminations[seat])
        move = last_move(game)
        assert lines[25].endswith(("none yet" if move is None else f"agent {move.agent} {move}")
                                  + ("   game over" if game.is_over else ""))


class Stream(io.StringIO):
    def __init__(self, terminal: bool) -> None:
        super().__init__()
        self.terminal = terminal

    def isatty(self) -> bool:
        return self.terminal


@pytest.mark.parametrize(("terminal", "environment", "wanted"), [
    (True, {}, True),
    (False, {}, False),
    (True, {"NO_COLOR": "1"}, False),
    (True, {"NO_COLOR": ""}, True),  # set but empty does not count
    (True, {"TERM": "dumb"}, False),
])
def test_colour_only_on_a_terminal_without_no_color(monkeypatch, terminal, environment, wanted):
    monkeypatch.delenv("NO_COLOR", raising=False)
    monkeypatch.setenv("TERM", "xterm")
    for name, value in environment.items():
        monkeypatch.setenv(name, value)
    assert colour_wanted(Stream(terminal)) is wanted


def run_cli(*arguments: str, terminal: bool = False, no_color: bool = False) -> str:
    """What the command prints about its last game (the summary has timings)."""
    environment = {key: value for key, value in os.environ.items() if key != "NO_COLOR"}
    environment["TERM"] = "xterm"
    if no_color:
        environment["NO_COLOR"] = "1"
    command = [sys.executable, "-m", "vexlan_rl", "-n", "1", "-s", "4", *arguments]
    if not terminal:
        out = subprocess.run(command, capture_output=True, text=True, env=environment, timeout=60, check=True).stdout
        return out.split("\nSummary:")[0]
    controller, terminal_end = pty.openpty()
    try:
        subprocess.run(command, stdout=terminal_end, stderr=subprocess.DEVNULL, env=environment, timeout=60, check=True)
        os.close(terminal_end)
        chunks = []
        while True:
            try:
                chunk = os.read(controller, 65536)
            except OSError:  # the terminal's other end is closed: all was read
                break
            if not chunk:
                break
            chunks.append(chunk)
        return b"".join(chunks).decode().replace("\r\n", "\n").split("\nSummary:")[0]
    finally:
        os.close(controller)


def test_command_line_board_styles():
    piped = run_cli()
    assert "\x1b[" not in piped and " 0 agent 0  score" in piped
    assert run_cli("--board", "plain", terminal=True) == piped
    coloured = run_cli(terminal=True)
    assert "\x1b[97;44m 0 \x1b[0m" in coloured and SGR.sub("", coloured) == piped
    assert run_cli(terminal=True, no_color=True) == piped
    assert run_cli("--board", "color") == coloured
    full = run_cli("--board", "full")
    assert "-" * 103 in full and "\x1b[44mx\x1b[0m" in full
    assert "\x1b[" not in run_cli("--no-board", "--board", "color")
