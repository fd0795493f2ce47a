"""Per-object access control: conflicting calls fail at once, never wait,
and the game works normally afterwards."""

import threading

import pytest

from vexlan_rl import PyVexlan


class Hook:
    """An index whose conversion runs `action` while the call holds access."""

    def __init__(self, action, value=0):
        self.action, self.value, self.error = action, value, None

    def __index__(self):
        try:
            self.action()
        except RuntimeError as error:
            self.error = str(error)
        return self.value


def test_read_during_step_is_refused(game):
    hook = Hook(lambda: game.agent_selection)
    game.step(hook)
    assert hook.error == "Already mutably borrowed"
    assert (game.ply, game.agent_selection) == (1, 1)


@pytest.mark.parametrize("writer", ["reset", "step"])
def test_write_during_observe_is_refused(game, writer):
    hook = Hook(lambda: game.reset() if writer == "reset" else game.step(0))
    game.observe(hook)
    assert hook.error == "Already borrowed"
    assert game.ply == 0
    game.step(0)
    assert game.ply == 1


def test_write_during_step_is_refused(game):
    hook = Hook(game.reset)
    game.step(hook)
    assert hook.error == "Already borrowed"
    assert game.ply == 1


def test_reads_share_access(game):
    hook = Hook(lambda: game.observe(1))
    game.observe(hook)
    assert hook.error is None


def test_failed_calls_release_access(game):
    class Raises:
        def __index__(self):
            raise ValueError("from __index__")

    with pytest.raises(ValueError):
        game.step(Raises())
    with pytest.raises(AssertionError):
        game.step(None)
    with pytest.raises(ValueError):
        game.observe(7)
    game.step(0)
    assert game.agent_selection == 1


def test_threads_fail_at_once_while_another_holds_the_game():
    game, other = PyVexlan(), PyVexlan()
    entered, release = threading.Event(), threading.Event()

    class Waiting:
        def __index__(self):
            entered.set()
            assert release.wait(10)
            return 0

    worker = threading.Thread(target=game.step, args=(Waiting(),))
    worker.start()
    try:
        assert entered.wait(10)
        with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
            game.agent_selection
        with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
            game.observe(0)
        with pytest.raises(RuntimeError, match="^Already borrowed$"):
            game.reset()
        with pytest.raises(RuntimeError, match="^Already borrowed$"):
            game.step(0)
        other.step(0)
        assert other.observe(0).observation[0] == 1
    finally:
        release.set()
        worker.join(10)
    assert not worker.is_alive()
    assert (game.ply, game.agent_selection) == (1, 1)
