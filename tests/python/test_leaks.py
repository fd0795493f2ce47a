"""Long loops of successful and failing calls do not grow the process."""

import gc

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
        if n % 16 == 0:
            game.observe(n % 4).action_mask
        game.reset()


def test_no_growth_over_100000_rounds():
    churn(2000)
    gc.collect()
    before = resident_bytes()
    churn(100_000)
    gc.collect()
    grown = resident_bytes() - before
    assert grown < 2 * 1024 * 1024, f"grew by {grown} bytes"
