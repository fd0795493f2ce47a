"""The text drawn in Python is exactly what the engine's render() prints."""

import pytest

from random_play import play
from vexlan_rl import PyVexlan
from vexlan_rl.render.board_text import board_text


def rendered(game: PyVexlan, capfd: pytest.CaptureFixture[str]) -> str:
    capfd.readouterr()
    game.render()
    out = capfd.readouterr().out
    assert out.endswith("\n")
    return out[:-1]


@pytest.mark.parametrize("seed", range(6))
def test_board_text_matches_render(seed, capfd):
    assert board_text(PyVexlan()) == rendered(PyVexlan(), capfd)
    for steps in (7, 40, None):
        game, _ = play(seed, steps)
        assert board_text(game) == rendered(game, capfd)


def test_lowest_agent_wins_a_shared_cell(capfd):
    state = bytearray(PyVexlan().to_bytes())
    for agent in (3, 1, 2):  # every agent but 0 claims cell (0, 0)
        state[1 + 69 * agent + 48] = 1
    game = PyVexlan.from_bytes(bytes(state))
    text = board_text(game)
    assert text == rendered(game, capfd)
    assert "\x1b[43mx" in text.splitlines()[2]
