"""Long loops of successful and failing calls do not grow the process."""

import copy
import gc
import pickle

from vexlan_rl import PyVexlan


def resident_bytes() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096


class BadIndex:
    def __index__(self):
        raise KeyError("no")


def churn(rounds: int) -> None:
    for n in range(rounds):
        game = PyVexlan()
        game.step(0)
        for bad in (None, -1, "x", BadIndex(), 36400):
            try:
                game.step(bad)
            except (AssertionError, OverflowError, TypeError, KeyError):
                pass
        for call in (lambda: game.observe(9), lambda: game.step(), lambda: game.reset(1), lambda: PyVexlan(1)):
            try:
                call()
            except (TypeError, ValueError):
                pass
        game.agents, game.terminations, game.agent_selection, game.is_over, game.ply
        game.scores, game.rewards, game.outcome("rank")
        state = game.to_bytes()
        game.__setstate__(game.__getstate__())
        PyVexlan.from_bytes(state).copy().__deepcopy__(None)
        copy.copy(game)
        for call in (lambda: game.outcome("Rank"), lambda: game.outcome(1), lambda: game.outcome("\ud800"),
                     lambda: game.outcome(), lambda: PyVexlan.from_bytes(b""), lambda: PyVexlan.from_bytes(None),
                     lambda: PyVexlan.from_bytes(bytearray(state)), lambda: game.__setstate__(b"x"),
                     lambda: game.__setstate__(state=[]), lambda: game.to_bytes(1), lambda: game.render(0)):
            try:
                call()
            except (TypeError, ValueError):
                pass
        if n % 16 == 0:
            game.observe(n % 4).action_mask
            pickle.loads(pickle.dumps(game))
        if n % 4096 == 0:
            game.render()
        game.reset()


def test_no_growth_over_100000_rounds():
    churn(2000)
    gc.collect()
    before = resident_bytes()
    churn(100_000)
    gc.collect()
    grown = resident_bytes() - before
    assert grown < 2 * 1024 * 1024, f"grew by {grown} bytes"
