"""Arbitrary values for every argument of every member: each call gives the
documented result or exception, never a crash, and a failing call never
changes the game. The expected outcome of each value is worked out here
from first principles (Python's own index protocol, a byte-level reading of
the state format, the action mask) and compared with what the module does."""

import copy
import functools
import operator
import pickle

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from random_play import legal_indices, play
from vexlan_rl import PyObservation, PyVexlan

FUZZ = settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])

MODES = ("score", "win_share", "rank")
PIECE_CODES = {1, 2, 3, 9, 10, 16, 22, 28, 34, 35, 41, 47, 53, 59, 65, 71, 77, 83, 89, 95, 101}
STATE_SIZE = 278


class Index:
    """An object with __index__: gives `result`, or raises a fresh exception
    when `result` is an exception type."""

    def __init__(self, result):
        self.result = result

    def __index__(self):
        if isinstance(self.result, type):
            raise self.result("from __index__")
        return self.result

    def __repr__(self):
        return f"Index({self.result!r})"


class Text(str):
    pass


class Data(bytes):
    pass


class Number(int):
    pass


# --- strategies ---

boundary_ints = st.sampled_from([0, 1, 3, 4, 36399, 36400, 2**32, 2**63 - 1, 2**63, 2**64 - 1, 2**64, 2**100,
                                 -1, -(2**63), -(2**64), -(2**200)])
ints = st.one_of(boundary_ints, st.integers(), st.integers(min_value=0, max_value=36399))
surrogate_text = st.text(st.characters(min_codepoint=0xD800, max_codepoint=0xDFFF), min_size=1)
texts = st.one_of(st.text(), surrogate_text, st.sampled_from(MODES + ("Score", "rank ", "score\0", "")),
                  st.tuples(st.text(), surrogate_text).map("".join))
raising = st.sampled_from([KeyError, ValueError, TypeError, OverflowError, RuntimeError, ZeroDivisionError])
index_objects = st.builds(Index, st.one_of(ints, raising, st.floats(), st.text(), st.none()))

values = st.one_of(
    st.none(), st.booleans(), ints, st.builds(Number, ints), index_objects,
    st.floats(), st.complex_numbers(), texts, st.builds(Text, texts),
    st.binary(max_size=300), st.builds(Data, st.binary(max_size=300)),
    st.builds(bytearray, st.binary(max_size=300)), st.builds(memoryview, st.binary(max_size=300)),
    st.lists(ints, max_size=3), st.tuples(ints), st.dictionaries(st.text(max_size=3), ints, max_size=2),
    st.builds(object), st.just(PyVexlan), st.just(Ellipsis),
)
keywords = st.one_of(st.text(min_size=1), surrogate_text)


@functools.cache
def saved_states():
    """Saved states of real games: new, early, middle, late and over."""
    return [play(seed, turns)[0].to_bytes() for seed, turns in
            [(0, 0), (1, 5), (2, 30), (3, 70), (4, None), (5, None)]]


states = st.integers(0, 5).map(lambda n: saved_states()[n])


# --- what the module should make of a value ---

def converted_index(value):
    """The binding's index conversion done by hand: an int in [0, 2**64), or
    the type of the exception it must raise."""
    try:
        number = operator.index(value)
    except Exception as error:
        return type(error)
    return number if 0 <= number < 2**64 else OverflowError


def type_message(value, expected):
    if value is None:
        return f"'None' is not an instance of '{expected}'"
    return f"'{type(value).__qualname__}' object is not an instance of '{expected}'"


def valid_state(data):
    """Reads the 278-byte state format byte by byte."""
    if len(data) != STATE_SIZE or data[0] != 1 or data[277] > 3:
        return False
    for agent in range(4):
        block = data[1 + 69 * agent:70 + 69 * agent]
        if block[68] != 0 and block[68] not in PIECE_CODES:
            return False
        for j, byte in enumerate(block[:64]):
            for t in range(8):
                cell = (3 - j // 16) * 128 + (j % 16) * 8 + t
                if byte >> t & 1 and (cell >= 420 or cell % 21 == 20):
                    return False
        if int.from_bytes(block[64:68], "little") >= 0x200000:
            return False
    return True


def assert_failure(call, error, message=None, note=None):
    with pytest.raises(error) as caught:
        call()
    if message is not None:
        assert str(caught.value) == message
    if note is not None:
        assert caught.value.__notes__ == [note]


def observed(observation):
    return tuple(getattr(observation, name) for name in
                 ("observation", "corners", "blocked", "pieces", "done", "action_mask"))


# --- one-parameter members ---

@FUZZ
@given(state=states, data=st.data())
def test_step(state, data):
    game = PyVexlan.from_bytes(state)
    # Arbitrary values seldom hit a legal placement: offer the legal ones too,
    # as plain ints, int subclasses and __index__ objects.
    legal = legal_indices(game, game.agent_selection).tolist()
    forms = st.sampled_from([int, Number, Index])
    value = data.draw(st.one_of(values, st.builds(lambda form, n: form(n), forms, st.sampled_from(legal or [0]))))
    expected = None if value is None else converted_index(value)
    if isinstance(expected, type):
        assert_failure(lambda: game.step(value), expected, note="while processing 'action_idx'")
        assert game.to_bytes() == state
        return
    seat = game.agent_selection
    if game.terminations[seat]:
        game.step(value)
        assert game.to_bytes() == state[:-1] + bytes([(seat + 1) % 4])
    elif expected is not None and expected < 36400 and game.observe(seat).action_mask[expected]:
        ply = game.ply
        game.step(value)
        assert (game.ply, game.agent_selection) == (ply + 1, (seat + 1) % 4)
    else:
        assert_failure(lambda: game.step(value), AssertionError, "Invalid action: Action index not available")
        assert game.to_bytes() == state


@FUZZ
@given(state=states, value=values)
def test_observe(state, value):
    game = PyVexlan.from_bytes(state)
    expected = TypeError if value is None else converted_index(value)
    if isinstance(expected, type):
        assert_failure(lambda: game.observe(value), expected, note="while processing 'agent_idx'")
    elif expected >= 4:
        assert_failure(lambda: game.observe(value), ValueError, f"Unknown agent {expected}")
    else:
        seen = game.observe(value)
        assert type(seen) is PyObservation
        assert observed(seen) == observed(game.observe(expected))
    assert game.to_bytes() == state


@FUZZ
@given(state=states, value=values)
def test_outcome(state, value):
    game = PyVexlan.from_bytes(state)
    if not isinstance(value, str):
        assert_failure(lambda: game.outcome(value), TypeError, type_message(value, "str"), "while processing 'mode'")
    elif any(0xD800 <= ord(c) <= 0xDFFF for c in value):
        assert_failure(lambda: game.outcome(value), UnicodeEncodeError, note="while processing 'mode'")
    elif str.__str__(value) not in MODES:
        assert_failure(lambda: game.outcome(value), ValueError, "Unknown reward mode " + str.__str__(value))
    else:
        result = game.outcome(value)
        if game.is_over:
            assert isinstance(result, list) and len(result) == 4 and all(type(r) is float for r in result)
            assert result == game.outcome(str.__str__(value))
        else:
            assert result is None
    assert game.to_bytes() == state


# Real states with a few bytes overwritten, so that every check of the
# format is reached, not only the length and the version byte.
def edited_states():
    edits = st.lists(st.tuples(st.integers(0, STATE_SIZE - 1), st.integers(0, 255)), max_size=3)

    def edit(state, changes):
        data = bytearray(state)
        for position, byte in changes:
            data[position] = byte
        return bytes(data)

    return st.one_of(st.builds(edit, states, edits), st.binary(max_size=300))


@FUZZ
@given(state=states, value=st.one_of(values, edited_states(), st.builds(Data, edited_states())))
def test_from_bytes_and_setstate(state, value):
    game = PyVexlan.from_bytes(state)
    for call, parameter in ((PyVexlan.from_bytes, "data"), (game.__setstate__, "state")):
        if not isinstance(value, bytes):
            assert_failure(lambda: call(value), TypeError, type_message(value, "bytes"),
                           f"while processing '{parameter}'")
        elif not valid_state(value):
            assert_failure(lambda: call(value), ValueError, "Not a game state written by to_bytes() of this version")
        else:
            result = call(value)
            restored = game if result is None else result
            assert type(restored) is PyVexlan
            assert restored.to_bytes() == value
    if not (isinstance(value, bytes) and valid_state(value)):
        assert game.to_bytes() == state


@FUZZ
@given(state=states, memo=values)
def test_deepcopy_accepts_and_ignores_any_memo(state, memo):
    game = PyVexlan.from_bytes(state)
    memo_before = repr(memo)
    duplicate = game.__deepcopy__(memo)
    assert duplicate is not game and duplicate.to_bytes() == state
    assert repr(memo) == memo_before
    if isinstance(memo, dict):
        assert copy.deepcopy(game, memo).to_bytes() == state


# --- argument lists ---

NO_PARAMETER = ["reset", "to_bytes", "__getstate__", "copy", "__copy__", "render"]
ONE_PARAMETER = {"step": "action_idx", "observe": "agent_idx", "outcome": "mode", "__setstate__": "state",
                 "__deepcopy__": "_memo", "from_bytes": "data"}


def arguments_message(name, given_count, expected_count):
    verb = "was" if given_count == 1 else "were"
    return f"PyVexlan.{name}() takes {expected_count} positional arguments but {given_count} {verb} given"


@FUZZ
@given(data=st.data(), name=st.sampled_from(NO_PARAMETER + ["__new__"]),
       extra=st.lists(values, min_size=1, max_size=3))
def test_members_without_parameters_refuse_arguments(data, name, extra):
    game = PyVexlan.from_bytes(data.draw(states))
    state = game.to_bytes()
    member = PyVexlan if name == "__new__" else getattr(game, name)
    assert_failure(lambda: member(*extra), TypeError, arguments_message(name, len(extra), 0))
    keyword = data.draw(keywords)
    assert_failure(lambda: member(**{keyword: extra[0]}), TypeError,
                   f"PyVexlan.{name}() got an unexpected keyword argument '{keyword}'")
    assert game.to_bytes() == state


@FUZZ
@given(data=st.data(), name=st.sampled_from(sorted(ONE_PARAMETER)), extra=st.lists(values, min_size=2, max_size=4))
def test_members_with_one_parameter_check_their_argument_list(data, name, extra):
    game = PyVexlan.from_bytes(data.draw(states))
    state = game.to_bytes()
    parameter = ONE_PARAMETER[name]
    member = getattr(game, name)
    assert_failure(lambda: member(*extra), TypeError, arguments_message(name, len(extra), 1))
    assert_failure(member, TypeError, f"PyVexlan.{name}() missing 1 required positional argument: '{parameter}'")
    assert_failure(lambda: member(extra[0], **{parameter: extra[1]}), TypeError,
                   f"PyVexlan.{name}() got multiple values for argument '{parameter}'")
    keyword = data.draw(keywords.filter(lambda k: k != parameter))
    assert_failure(lambda: member(**{keyword: extra[0]}), TypeError,
                   f"PyVexlan.{name}() got an unexpected keyword argument '{keyword}'")
    assert game.to_bytes() == state


# --- pickling of arbitrary real states ---

@settings(max_examples=40, deadline=None)
@given(seed=st.integers(0, 2**32 - 1), turns=st.integers(0, 90))
def test_any_played_state_survives_pickling_and_copies(seed, turns):
    game, _ = play(seed, turns)
    state = game.to_bytes()
    for duplicate in (pickle.loads(pickle.dumps(game)), copy.copy(game), copy.deepcopy(game), game.copy()):
        assert duplicate is not game and duplicate.to_bytes() == state
        assert observed(duplicate.observe(duplicate.agent_selection)) == observed(game.observe(game.agent_selection))


# --- the integer arguments of the players and batch modules ---

def bounded(value, low, high):
    """A bounded count's conversion done by hand: the number when it lies in [low, high],
    ValueError for any other whole number (never one wrapped into range), or the type of the
    exception that the index protocol raised."""
    try:
        number = operator.index(value)
    except Exception as error:
        return type(error)
    return number if low <= number <= high else ValueError


def slot_number(value, slots):
    """A slot: IndexError for any whole number outside 0 .. slots - 1, negative ones included, or the
    type of the exception that the index protocol raised."""
    try:
        number = operator.index(value)
    except Exception as error:
        return type(error)
    return number if 0 <= number < slots else IndexError


def outcome(call):
    """What `call` returns, or the type of the exception it raises."""
    try:
        return call()
    except Exception as error:
        return type(error)


def failure(expected):
    """The exception type among expected outcomes, None for a success."""
    return expected if isinstance(expected, type) else None


@FUZZ
@given(name=st.sampled_from(["simulations", "threads", "max_nodes", "seed"]), value=values)
def test_player_settings_are_taken_whole_or_refused(name, value):
    from vexlan_rl._players import Player

    low, high = {"simulations": (1, 2**32 - 1), "threads": (1, Player.MAX_THREADS),
                 "max_nodes": (Player.MIN_NODES, 2**32 - 1)}.get(name, (0, 2**64 - 1))
    expected = bounded(value, low, high)
    if name == "seed" and expected is ValueError:
        expected = OverflowError  # a seed is any 64-bit word
    if name == "threads" and not failure(expected):
        value = min(expected, 4)  # as good a check, without hundreds of idle threads
    made = outcome(lambda: Player("mcts", **{name: value}))
    assert failure(made) == failure(expected)
    assert failure(outcome(lambda: Player("random").reseed(value))) == failure(converted_index(value))


@FUZZ
@given(openings=values)
def test_openings_are_checked_alike_by_the_arena_and_the_opening(openings):
    from vexlan_rl._players import Player, opening, play_games
    from vexlan_rl.players.arena import MAX_OPENINGS

    expected = bounded(openings, 0, MAX_OPENINGS)
    made = outcome(lambda: opening(5, 9, openings))
    assert failure(made) == failure(expected)
    played = outcome(lambda: play_games([Player("greedy")] * 4, 5, 9, 1, 1, openings=openings))
    assert failure(played) == failure(expected)
    if not failure(expected):
        assert len(made) <= expected and played[0][5][:len(made)] == made


@FUZZ
@given(slot=values, seed=values, first_game=values)
def test_batch_slots_seeds_and_game_numbers_are_checked_before_anything_changes(slot, seed, first_game):
    from vexlan_rl._players import Player, play_games
    from vexlan_rl.batch import GameBatch

    games = GameBatch(3, seed=1)
    games.step_random()
    before = [games.state(i) for i in range(3)]
    expected = slot_number(slot, 3)
    state = outcome(lambda: games.state(slot))
    assert state == (expected if failure(expected) else before[expected])
    assert failure(outcome(lambda: games.reset(seed))) == (None if seed is None else failure(converted_index(seed)))
    if failure(converted_index(seed)) and seed is not None:
        assert [games.state(i) for i in range(3)] == before
    played = outcome(lambda: play_games([Player("random")] * 4, 0, first_game, 1, 1))
    assert failure(played) == failure(converted_index(first_game))
