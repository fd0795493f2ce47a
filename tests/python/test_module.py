"""The module and its classes as Python sees them."""

import subprocess
import sys

import pytest

import vexlan_rl
from vexlan_rl import _vexlan
from vexlan_rl._vexlan import PanicException, PyObservation, PyVexlan

PIECE_NAMES = ("I1", "I2", "V3", "I3", "T4", "O", "L4", "I4", "Z4", "F", "X",
               "P", "W", "Z5", "Y", "L5", "U", "T5", "V5", "N", "I5")


def test_module_facts():
    assert _vexlan.__name__ == "vexlan_rl._vexlan"
    assert _vexlan.__doc__ == ""
    assert _vexlan.__all__ == ["PyVexlan", "PyObservation"]
    assert not [name for name in dir(_vexlan) if callable(getattr(_vexlan, name)) and not isinstance(getattr(_vexlan, name), type)]
    assert vexlan_rl.PyVexlan is PyVexlan and vexlan_rl.PyObservation is PyObservation
    assert issubclass(PanicException, BaseException) and not issubclass(PanicException, Exception)


def test_import_emits_no_warning():
    result = subprocess.run([sys.executable, "-W", "error", "-c", "import vexlan_rl._vexlan"],
                            capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""


def test_game_class_facts():
    assert PyVexlan.__module__ == "vexlan_rl._vexlan"
    assert PyVexlan.__name__ == PyVexlan.__qualname__ == "PyVexlan"
    assert PyVexlan.__bases__ == (object,)
    assert PyVexlan.__text_signature__ == "()"
    assert PyVexlan.reset.__text_signature__ == "($self)"
    assert PyVexlan.step.__text_signature__ == "($self, action_idx)"
    assert PyVexlan.observe.__text_signature__ == "($self, agent_idx)"
    assert PyVexlan.ply.__doc__ == "The number of placements made so far, by all agents."
    with pytest.raises(TypeError):
        type("Sub", (PyVexlan,), {})
    game = PyVexlan()
    with pytest.raises(AttributeError):
        game.anything = 1
    with pytest.raises(TypeError):
        __import__("weakref").ref(game)
    assert not hasattr(game, "__dict__")
    assert game != PyVexlan() and game == game and hash(game) == hash(game)


def test_observation_class_facts():
    assert repr(PyObservation) == "<class 'PyObservation'>"
    assert PyObservation.__module__ == "builtins"
    assert PyObservation.__qualname__ == "PyObservation"
    assert PyObservation.__doc__ == ("An observation as bytes of 0/1, cheap to wrap with `numpy.frombuffer`. "
                                     "Agents are in\nagent-relative order, see `Observation`.")
    with pytest.raises(TypeError):
        PyObservation()
    with pytest.raises(TypeError):
        type("Sub", (PyObservation,), {})


def test_class_attributes_are_fixed_objects():
    assert PyVexlan.num_actions == 36400
    assert PyVexlan.action_grid_shape == (91, 20, 20)
    assert PyVexlan.reward_modes == ("score", "win_share", "rank")
    assert PyVexlan.piece_names == PIECE_NAMES
    game = PyVexlan()
    for name in ("num_actions", "action_grid_shape", "reward_modes", "piece_names"):
        assert getattr(game, name) is getattr(PyVexlan, name)
        assert getattr(PyVexlan, name) is getattr(PyVexlan, name)


def test_new_game(game):
    assert game.agents == [0, 1, 2, 3]
    assert game.agent_selection == 0
    assert game.terminations == [False] * 4
    assert game.is_over is False
    assert game.ply == 0
    assert game.agents is not game.agents


def test_properties_are_read_only(game):
    for name in ("agents", "agent_selection", "terminations", "is_over", "ply"):
        with pytest.raises(AttributeError):
            setattr(game, name, 0)
        with pytest.raises(AttributeError):
            delattr(game, name)
