"""Argument lists and conversions, with their exact messages and notes."""

import pytest

from vexlan_rl import PyVexlan

NOTE_ACTION = ["while processing 'action_idx'"]
NOTE_AGENT = ["while processing 'agent_idx'"]


@pytest.mark.parametrize(("call", "message"), [
    (lambda g: PyVexlan(1), "PyVexlan.__new__() takes 0 positional arguments but 1 was given"),
    (lambda g: PyVexlan(1, 2), "PyVexlan.__new__() takes 0 positional arguments but 2 were given"),
    (lambda g: PyVexlan(seed=1), "PyVexlan.__new__() got an unexpected keyword argument 'seed'"),
    (lambda g: g.step(), "PyVexlan.step() missing 1 required positional argument: 'action_idx'"),
    (lambda g: g.step(0, 1), "PyVexlan.step() takes 1 positional arguments but 2 were given"),
    (lambda g: g.step(0, action_idx=1), "PyVexlan.step() got multiple values for argument 'action_idx'"),
    (lambda g: g.step(action=0), "PyVexlan.step() got an unexpected keyword argument 'action'"),
    (lambda g: g.reset(0), "PyVexlan.reset() takes 0 positional arguments but 1 was given"),
    (lambda g: g.reset(hard=True), "PyVexlan.reset() got an unexpected keyword argument 'hard'"),
    (lambda g: g.observe(), "PyVexlan.observe() missing 1 required positional argument: 'agent_idx'"),
    (lambda g: g.observe(0, 1), "PyVexlan.observe() takes 1 positional arguments but 2 were given"),
    (lambda g: g.observe(agent=0), "PyVexlan.observe() got an unexpected keyword argument 'agent'"),
])
def test_argument_list_errors(game, call, message):
    with pytest.raises(TypeError) as caught:
        call(game)
    assert str(caught.value) == message
    assert game.ply == 0 and game.agent_selection == 0


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class BrokenIndex:
    def __index__(self):
        raise KeyError("broken")


@pytest.mark.parametrize(("value", "error"), [
    (-1, OverflowError), (2**64, OverflowError), (Index(-5), OverflowError),
    ("3", TypeError), (1.0, TypeError), (b"0", TypeError), ([0], TypeError), (BrokenIndex(), KeyError),
])
def test_index_conversion_errors_keep_their_type_and_get_a_note(game, value, error):
    with pytest.raises(error) as caught:
        game.step(value)
    assert caught.value.__notes__ == NOTE_ACTION
    with pytest.raises(error) as caught:
        game.observe(value)
    assert caught.value.__notes__ == NOTE_AGENT
    assert game.ply == 0 and game.agent_selection == 0


def test_index_protocol_and_int_subclasses_are_accepted(game):
    class Small(int):
        pass

    game.step(Index(0))
    game.step(Small(0))
    assert game.ply == 2
    game.observe(agent_idx=Index(3))
    game.observe(True)


def test_keyword_none_is_a_missing_action(game):
    with pytest.raises(AssertionError, match="^Invalid action: Action index not available$"):
        game.step(action_idx=None)


@pytest.mark.parametrize("agent", [4, 5, 2**64 - 1])
def test_unknown_agent(game, agent):
    with pytest.raises(ValueError) as caught:
        game.observe(agent)
    assert str(caught.value) == f"Unknown agent {agent}"
