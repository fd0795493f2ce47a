"""observe() and PyObservation: byte layouts, frames, seat order and the action mask.

Planes are checked against slow numpy computations: quarter turns with numpy.rot90,
the placement rule applied to the occupied planes, and every grid index tried with
step() for the agent to move."""

import types

import numpy as np
import pytest

from random_play import legal_indices, play, replay
from vexlan_rl import PyObservation, PyVexlan

PLANES = ("observation", "corners", "blocked")
FIELDS = PLANES + ("pieces", "done", "action_mask")
SHAPES = {"observation": (4, 20, 20), "corners": (4, 20, 20), "blocked": (4, 20, 20),
          "pieces": (4, 21), "done": (4,), "action_mask": PyVexlan.action_grid_shape}
LENGTHS = {"observation": 1600, "corners": 1600, "blocked": 1600, "pieces": 84, "done": 4, "action_mask": 36400}
DOCSTRINGS = {
    "observation": "The occupied cells in (agent, row, col) order.",
    "corners": "The cells each agent's next piece can attach to, in (agent, row, col) order.",
    "blocked": "The cells each agent can never fill, in (agent, row, col) order.",
    "pieces": "The pieces each agent still has, in (agent, piece) order.",
    "done": "Whether each agent is out of moves.",
    "action_mask": "The action mask over the flattened action grid.",
}
PIECE_SIZES = {"I1": 1, "I2": 2, "V3": 3, "I3": 3, "T4": 4, "O": 4, "L4": 4, "I4": 4, "Z4": 4}
SIZES = np.array([PIECE_SIZES.get(name, 5) for name in PyVexlan.piece_names])
START_CELLS = ((0, 0), (0, 19), (19, 19), (19, 0))  # of seats 0 to 3, in every observer's frame

# (seed, steps): positions of seeded random games, from the opening to late in the game.
POSITIONS = [(1, 0), (1, 7), (2, 18), (3, 30), (4, 42), (6, 46), (8, 52), (9, 55),
             (10, 12), (11, 24), (12, 36), (13, 49)]


def arrays(obs: PyObservation) -> dict[str, np.ndarray]:
    return {name: np.frombuffer(getattr(obs, name), dtype=np.uint8).reshape(SHAPES[name]) for name in FIELDS}


def observe_all(game: PyVexlan) -> list[dict[str, bytes]]:
    return [{name: getattr(game.observe(agent), name) for name in FIELDS} for agent in range(4)]


def at_position(seed: int, steps: int) -> list[int | None]:
    """The actions that reach the position; mover steps are appended until the
    agent to move is not done."""
    game, actions = play(seed, steps)
    while game.terminations[game.agent_selection]:
        assert not game.is_over
        game.step(None)
        actions.append(None)
    return actions


def spread(plane: np.ndarray, offsets) -> np.ndarray:
    """The plane together with its copies moved by each (row, column) offset, clipped at the edges."""
    out = plane.copy()
    for dr, dc in offsets:
        out[max(dr, 0):20 + min(dr, 0), max(dc, 0):20 + min(dc, 0)] |= \
            plane[max(-dr, 0):20 + min(-dr, 0), max(-dc, 0):20 + min(-dc, 0)]
    return out


def expected_masks(occupied: np.ndarray) -> tuple[np.ndarray, np.ndarray]:
    """The placement rule on the occupied planes: (blocked, corners) of each seat."""
    occupied = occupied.astype(bool)
    everything = occupied.any(axis=0)
    blocked = np.empty_like(occupied)
    corners = np.empty_like(occupied)
    for seat in range(4):
        own = occupied[seat]
        blocked[seat] = everything | spread(own, [(0, 1), (0, -1), (1, 0), (-1, 0)])
        if own.any():
            attach = spread(own, [(1, 1), (1, -1), (-1, 1), (-1, -1)])
        else:
            attach = np.zeros((20, 20), bool)
            attach[START_CELLS[seat]] = True
        corners[seat] = attach & ~blocked[seat]
    return blocked, corners


def accepted_by_step(actions: list[int | None]) -> np.ndarray:
    """1 at every grid index that step() accepts for the agent to move. A refused
    step leaves the game unchanged, so only an accepted one needs a fresh replay."""
    game = replay(actions)
    accepted = np.zeros(PyVexlan.num_actions, dtype=np.uint8)
    for index in range(PyVexlan.num_actions):
        try:
            game.step(index)
        except AssertionError:
            continue
        accepted[index] = 1
        game = replay(actions)
    assert observe_all(game) == observe_all(replay(actions))
    return accepted


# --- layout and class ---

@pytest.mark.parametrize(("seed", "steps"), POSITIONS + [(6, None)])
def test_layouts_and_byte_values(seed, steps):
    game, _ = play(seed, steps)
    for agent in range(4):
        obs = game.observe(agent)
        for name in FIELDS:
            data = getattr(obs, name)
            assert type(data) is bytes and len(data) == LENGTHS[name]
            assert set(data) <= {0, 1}
            assert np.frombuffer(data, dtype=np.uint8).reshape(SHAPES[name]).size == len(data)
    assert PyVexlan.num_actions == np.prod(PyVexlan.action_grid_shape) == LENGTHS["action_mask"]


def test_properties_docstrings_and_order():
    descriptors = [name for name, value in vars(PyObservation).items()
                   if isinstance(value, types.GetSetDescriptorType) and not name.startswith("__")]
    assert descriptors == list(FIELDS)
    for name in FIELDS:
        assert getattr(PyObservation, name).__doc__ == DOCSTRINGS[name]
    obs = PyVexlan().observe(0)
    for name in FIELDS:
        with pytest.raises(AttributeError):
            setattr(obs, name, b"")
        with pytest.raises(AttributeError):
            delattr(obs, name)


# --- positions ---

def test_new_game_is_the_same_for_every_agent():
    game = PyVexlan()
    views = observe_all(game)
    assert views[1] == views[2] == views[3] == views[0]
    view = views[0]
    assert view["observation"] == view["blocked"] == bytes(1600)
    assert np.flatnonzero(np.frombuffer(view["corners"], dtype=np.uint8)).tolist() == [0, 419, 1199, 1580]
    assert view["pieces"] == bytes([1]) * 84
    assert view["done"] == bytes(4)
    legal = legal_indices(game, 0)
    assert len(legal) == 58 and (legal % 400 == 0).all()


def test_first_piece_is_turned_into_each_observers_frame():
    """Agent 0's first piece, every one of them: observer k sees it in seat (4 - k) % 4,
    turned k quarter turns counter-clockwise."""
    for action in legal_indices(PyVexlan(), 0):
        game = PyVexlan()
        game.step(int(action))
        own = arrays(game.observe(0))["observation"]
        assert own[1:].sum() == 0 and own[0][0, 0] == 1
        for observer in (1, 2, 3):
            seen = arrays(game.observe(observer))["observation"]
            seat = (4 - observer) % 4
            np.testing.assert_array_equal(seen[seat], np.rot90(own[0], observer))
            assert seen.sum() == own.sum()


@pytest.mark.parametrize(("seed", "steps"), POSITIONS + [(7, None)])
def test_seats_are_listed_from_the_observer_in_its_frame(seed, steps):
    game, _ = play(seed, steps)
    base = arrays(game.observe(0))
    for observer in range(4):
        view = arrays(game.observe(observer))
        for seat in range(4):
            agent = (observer + seat) % 4
            for name in PLANES:
                np.testing.assert_array_equal(view[name][seat], np.rot90(base[name][agent], observer), err_msg=name)
            np.testing.assert_array_equal(view["pieces"][seat], base["pieces"][agent])
            assert view["done"][seat] == game.terminations[agent]


@pytest.mark.parametrize(("seed", "steps"), POSITIONS + [(8, None)])
def test_planes_follow_the_placement_rule(seed, steps):
    """corners and blocked as the rule derives them from the occupied planes; each
    seat covers exactly the squares of the pieces it no longer holds."""
    game, _ = play(seed, steps)
    for agent in range(4):
        view = arrays(game.observe(agent))
        blocked, corners = expected_masks(view["observation"])
        np.testing.assert_array_equal(view["blocked"], blocked)
        np.testing.assert_array_equal(view["corners"], corners)
        placed_squares = ((1 - view["pieces"]) * SIZES).sum(axis=1)
        np.testing.assert_array_equal(view["observation"].sum(axis=(1, 2)), placed_squares)
        assert not (view["observation"].sum(axis=0) > 1).any()


def test_placements_land_where_the_action_names_them():
    """In the mover's own observation the new squares sit in seat 0 with their
    bounding box at the action's row and column, cover the size of the one piece
    that left the hand, and each orientation always has one shape and one piece."""
    shapes: dict[int, tuple] = {}
    pieces: dict[int, int] = {}
    for seed in range(10, 16):
        _, actions = play(seed)
        game = PyVexlan()
        for action in actions:
            mover = game.agent_selection
            before = arrays(game.observe(mover))
            game.step(action)
            after = arrays(game.observe(mover))
            if action is None:
                assert all(np.array_equal(before[name], after[name]) for name in FIELDS)
                continue
            orientation, row, column = np.unravel_index(action, PyVexlan.action_grid_shape)
            new = after["observation"][0] - before["observation"][0]
            assert (new <= 1).all() and np.array_equal(after["observation"][1:], before["observation"][1:])
            rows, columns = np.nonzero(new)
            assert (rows.min(), columns.min()) == (row, column)
            gone = np.flatnonzero(before["pieces"][0] - after["pieces"][0])
            assert len(gone) == 1 and len(rows) == SIZES[gone[0]]
            shape = tuple(zip((rows - row).tolist(), (columns - column).tolist()))
            assert shapes.setdefault(orientation, shape) == shape
            assert pieces.setdefault(orientation, gone[0]) == gone[0]
    seen = sorted(pieces)
    assert [pieces[o] for o in seen] == sorted(pieces[o] for o in seen), "orientations follow the catalogue"


# --- the action mask ---

@pytest.mark.parametrize(("seed", "steps"), POSITIONS)
def test_mask_is_exactly_what_step_accepts(seed, steps):
    actions = at_position(seed, steps)
    game = replay(actions)
    mask = np.frombuffer(game.observe(game.agent_selection).action_mask, dtype=np.uint8)
    assert mask.any()
    np.testing.assert_array_equal(accepted_by_step(actions), mask)


def test_done_agent_has_done_byte_and_empty_mask():
    finished, actions = play(20)
    game = PyVexlan()
    for action in actions:
        if any(game.terminations):
            break
        game.step(action)
    done = [agent for agent in range(4) if game.terminations[agent]]
    assert done and not game.is_over
    for agent in done:
        obs = game.observe(agent)
        assert obs.done[0] == 1
        assert obs.action_mask == bytes(PyVexlan.num_actions)
    assert all(finished.observe(agent).action_mask == bytes(36400) for agent in range(4))
    assert all(finished.observe(agent).done == bytes([1]) * 4 for agent in range(4))


def test_observe_depends_on_the_position_not_on_whose_turn_it_is():
    """A done agent's pass changes only the turn: every observation stays the same,
    and the mask that the next agent had before its turn is what step accepts."""
    _, actions = play(21)
    game = PyVexlan()
    for count, action in enumerate(actions):
        mover = game.agent_selection
        nxt = (mover + 1) % 4
        if game.terminations[mover] and not game.terminations[nxt]:
            break
        game.step(action)
    else:
        pytest.fail("no pass before an agent that can still move")
    before = observe_all(game)
    game.step(None)
    assert game.agent_selection == nxt
    assert observe_all(game) == before
    mask = np.frombuffer(before[nxt]["action_mask"], dtype=np.uint8)
    np.testing.assert_array_equal(accepted_by_step(actions[:count] + [None]), mask)


# --- snapshots and errors ---

def test_observation_is_a_snapshot():
    game, _ = play(22, 12)
    obs = game.observe(2)
    kept = {name: getattr(obs, name) for name in FIELDS}
    for name in FIELDS:
        first, second = getattr(obs, name), getattr(obs, name)
        assert first == second and first is not second
    while not game.is_over:
        game.step(int(legal_indices(game, game.agent_selection)[0])
                  if not game.terminations[game.agent_selection] else None)
    game.reset()
    assert {name: getattr(obs, name) for name in FIELDS} == kept
    del game
    assert {name: getattr(obs, name) for name in FIELDS} == kept


@pytest.mark.parametrize(("agent", "error", "message"), [
    (4, ValueError, "Unknown agent 4"),
    (-1, OverflowError, None),
])
def test_bad_agent_is_refused_and_changes_nothing(agent, error, message):
    game, _ = play(23, 9)
    before = (observe_all(game), game.agent_selection, game.ply)
    with pytest.raises(error) as caught:
        game.observe(agent)
    if message is None:
        assert caught.value.__notes__ == ["while processing 'agent_idx'"]
    else:
        assert str(caught.value) == message
    assert (observe_all(game), game.agent_selection, game.ply) == before
