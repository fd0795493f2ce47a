"""Actions as pieces and cells: describe, its inverses, the text form, and the
last move, checked against the engine's own legal moves and random games."""

import doctest
from functools import cache

import pytest

import vexlan_rl.actions
from random_play import choose, play
from vexlan_rl import PyVexlan
from vexlan_rl.actions import ORIENTATIONS, describe, grid_index, parse_action
from vexlan_rl.last_move import last_move

PLACEMENTS = 30433


@cache
def placements(agent: int) -> list:
    found = []
    for index in range(PyVexlan.num_actions):
        try:
            found.append(describe(index, agent))
        except ValueError:
            pass
    return found


@pytest.mark.parametrize("agent", range(4))
def test_every_placement_round_trips(agent):
    found = placements(agent)
    assert len(found) == PLACEMENTS
    for move in found:
        assert grid_index(move.piece, reversed(move.board_cells), agent) == move.grid_index
        assert parse_action(str(move)) == move.grid_index
        assert len(move.cells) == len(ORIENTATIONS[move.orientation].cells)


def bits(plane: bytes) -> int:
    return sum(1 << i for i, byte in enumerate(plane) if byte)


def test_cells_agree_with_the_engines_legal_moves():
    """In positions of random games, the placements whose cells obey the rules
    (piece in hand, nothing blocked, a corner touched) are exactly the mask."""
    by_agent = [[(m.grid_index, m.piece, sum(1 << (r * 20 + c) for r, c in m.board_cells)) for m in placements(a)]
                for a in range(4)]
    piece_bit = {name: i for i, name in enumerate(PyVexlan.piece_names)}
    for seed in range(3):
        for steps in (0, 9, 30, 55):
            game, _ = play(seed, steps)
            absolute = game.observe(0)
            for agent in range(4):
                seat = slice(agent * 400, agent * 400 + 400)
                blocked, corners = bits(absolute.blocked[seat]), bits(absolute.corners[seat])
                hand = absolute.pieces[agent * 21:agent * 21 + 21]
                legal = {index for index, piece, cells in by_agent[agent]
                         if hand[piece_bit[piece]] and not cells & blocked and cells & corners}
                mask = game.observe(agent).action_mask
                assert legal == {index for index, byte in enumerate(mask) if byte}


@pytest.mark.parametrize("seed", range(3))
def test_last_move_follows_play(seed):
    rng = __import__("numpy").random.default_rng(seed)
    game = PyVexlan()
    assert last_move(game) is None
    expected = None
    while not game.is_over:
        seat, action = game.agent_selection, choose(game, rng)
        game.step(action)
        if action is not None:
            expected = describe(action, seat)
        assert last_move(game) == expected
        assert last_move(PyVexlan.from_bytes(game.to_bytes())) == expected


def test_last_move_refuses_a_state_that_play_cannot_reach():
    game, _ = play(5, 8)
    state = bytearray(game.to_bytes())
    mover = last_move(game).agent
    state[1 + 69 * mover + 68] = 101  # claims an I5 that is nowhere on the board
    with pytest.raises(ValueError, match="not reached by play"):
        last_move(PyVexlan.from_bytes(bytes(state)))


@pytest.mark.parametrize("text", ["", "L5@r3c7", "L5@r3c7/o12", "Q@r0c0/o0", "I5@r19c0/o90", "I1@r20c0/o0"])
def test_bad_text_forms_are_refused(text):
    with pytest.raises(ValueError):
        parse_action(text)


def test_bad_arguments_are_refused():
    with pytest.raises(ValueError, match="agent must be 0 to 3"):
        describe(0, 4)
    with pytest.raises(ValueError, match="grid index must be"):
        describe(PyVexlan.num_actions)
    with pytest.raises(ValueError, match="not a placement of 'I2'"):
        grid_index("I2", [(0, 0), (1, 1)])
    with pytest.raises(ValueError, match="not a placement of 'I2'"):
        grid_index("I2", [(0, 0)])


def test_docstring_examples_hold():
    assert doctest.testmod(vexlan_rl.actions).failed == 0


def test_anchor_is_the_top_left_of_the_bounding_box():
    assert (0, 0) not in describe(9 * 400).cells  # the T4 whose top-left corner is empty
    for move in placements(2)[::97]:
        assert min(r for r, _ in move.cells) == move.row and min(c for _, c in move.cells) == move.column
