"""Driving a game: step, reset, refused moves and passes."""

import random

import pytest

from vexlan_rl import PyVexlan

O = 13  # orientation of the 2x2 square


def grid(orientation: int, row: int, column: int) -> int:
    return orientation * 400 + row * 20 + column


def snapshot(game: PyVexlan):
    return (game.agent_selection, game.ply, game.terminations, game.observe(game.agent_selection).observation)


@pytest.mark.parametrize("action", [None, 36400, 2**63, grid(0, 0, 1), grid(1, 0, 19)])
def test_refused_move_leaves_the_game_unchanged(game, action):
    before = snapshot(game)
    with pytest.raises(AssertionError, match=r"^Invalid action: Action index not available$"):
        game.step(action)
    assert snapshot(game) == before


def test_placement_advances_the_turn(game):
    game.step(grid(O, 0, 0))
    assert (game.ply, game.agent_selection) == (1, 1)
    game.step(action_idx=grid(O, 0, 0))  # seat 1's own frame: its start corner
    assert (game.ply, game.agent_selection) == (2, 2)


def test_true_is_index_one(game):
    game.step(0)
    assert game.observe(True).action_mask == game.observe(1).action_mask
    with pytest.raises(AssertionError):
        game.step(True)  # I1 at (0, 1) of seat 1's frame touches no corner
    game.step(False)  # I1 at (0, 0) of seat 1's frame
    assert game.ply == 2


def test_same_piece_twice_is_refused(game):
    for _ in range(4):
        game.step(0)
    with pytest.raises(AssertionError):
        game.step(grid(0, 1, 1))
    assert game.agent_selection == 0 and game.ply == 4


def test_reset_restores_a_fresh_game(game):
    game.step(0)
    game.step(0)
    assert game.reset() is None
    assert (game.agent_selection, game.ply, game.terminations) == (0, 0, [False] * 4)


def test_random_game_passes_done_agents_whatever_the_index():
    """Random play from the mask never sees a refused move; a done agent's
    turn passes with any index and changes nothing else."""
    rng = random.Random(7)
    game = PyVexlan()
    passes = 0
    while not game.is_over:
        seat = game.agent_selection
        if game.terminations[seat]:
            before = (game.ply, game.terminations, game.observe(seat).observation)
            game.step(rng.choice([None, 0, 36400, 10**12, rng.randrange(36400)]))
            assert (game.ply, game.terminations, game.observe(seat).observation) == before
            assert game.agent_selection == (seat + 1) % 4
            passes += 1
            continue
        legal = [g for g, bit in enumerate(game.observe(seat).action_mask) if bit]
        assert legal, "an agent that is not done has a legal move"
        game.step(rng.choice(legal))
    assert passes > 0
    assert 4 <= game.ply <= 84


def play_to_the_end(game: PyVexlan) -> None:
    rng = random.Random(11)
    while not game.is_over:
        mask = game.observe(game.agent_selection).action_mask
        legal = [g for g, bit in enumerate(mask) if bit]
        game.step(rng.choice(legal) if legal else None)


def test_after_the_end_steps_only_turn_the_seat():
    game = PyVexlan()
    play_to_the_end(game)
    assert game.terminations == [True] * 4
    ply = game.ply
    seats = []
    for action in (None, 0, 36400, 10**9):
        seats.append(game.agent_selection)
        game.step(action)
    assert seats == [(seats[0] + n) % 4 for n in range(4)]
    assert game.ply == ply
