"""Whole games played by a random policy over the action mask."""

import numpy as np
import pytest

from random_play import choose
from vexlan_rl import PyVexlan

# Until the game is over some agent that is not done places a piece in every round of
# four steps, and at most 84 pieces are placed.
MAX_STEPS = 4 * 84


@pytest.mark.parametrize("seed", range(200))
def test_random_game_runs_to_the_end(seed):
    rng = np.random.default_rng(seed)
    game = PyVexlan()
    ply, terminations = game.ply, game.terminations
    for _ in range(MAX_STEPS):
        if game.is_over:
            break
        seat = game.agent_selection
        action = choose(game, rng)
        game.step(action)  # a refused move raises AssertionError and fails the test
        assert game.agent_selection == (seat + 1) % 4
        assert game.ply == ply + (action is not None)
        assert all(now or not then for then, now in zip(terminations, game.terminations)), "done never clears"
        ply, terminations = game.ply, game.terminations
    assert game.is_over and game.terminations == [True] * 4
    assert 4 <= game.ply <= 84
    for agent in range(4):
        assert game.observe(agent).action_mask == bytes(PyVexlan.num_actions)
