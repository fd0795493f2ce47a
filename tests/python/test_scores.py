"""Scores, rewards and outcomes: values at every point of random games,
checked against a plain reimplementation in 32-bit floats."""

import numpy as np
import pytest

from random_play import choose
from vexlan_rl import PyVexlan

MODES = ("score", "win_share", "rank")
NOTE_MODE = ["while processing 'mode'"]


def expected_outcome(scores: list[int], mode: str) -> list[float]:
    """Four rewards from four scores, the slow way, in float32 arithmetic."""
    result = []
    for x in scores:
        above = sum(s > x for s in scores)
        tied = sum(s == x for s in scores)
        if mode == "score":
            reward = np.float32(x)
        elif mode == "win_share":
            reward = np.float32(0.0) if above else np.float32(1.0) / np.float32(tied)
        else:
            total = np.float32(0.0)
            for j in range(tied):
                total += np.float32(3 - (above + j)) / np.float32(3.0)
            reward = total / np.float32(tied)
        result.append(float(reward))
    return result


def test_new_game(game):
    assert game.scores == [-89] * 4
    assert game.rewards == [None] * 4
    assert [game.outcome(mode) for mode in MODES] == [None] * 3
    assert PyVexlan.reward_modes == MODES


def test_results_are_fresh_lists(game):
    first, second = game.scores, game.scores
    assert first == second and first is not second
    first[0] = 0
    assert game.scores == [-89] * 4


def test_placements_lower_what_is_held():
    game = PyVexlan()
    game.step(0)  # seat 0: the monomino at its corner
    game.step(400 * 13)  # seat 1: the 2x2 square at its corner
    assert game.scores == [-88, -85, -89, -89]


@pytest.mark.parametrize("mode", ["Score", "", " rank", "rank ", "win-share", "sco\0re", "ränk"])
def test_unknown_mode_fails_before_the_game_is_over(game, mode):
    with pytest.raises(ValueError) as caught:
        game.outcome(mode)
    assert str(caught.value) == "Unknown reward mode " + mode
    with pytest.raises(ValueError):
        game.outcome(mode=mode)


@pytest.mark.parametrize(("value", "message"), [
    (1, "'int' object is not an instance of 'str'"),
    (None, "'None' is not an instance of 'str'"),
    (b"score", "'bytes' object is not an instance of 'str'"),
    (["score"], "'list' object is not an instance of 'str'"),
])
def test_mode_must_be_a_str(game, value, message):
    with pytest.raises(TypeError) as caught:
        game.outcome(value)
    assert str(caught.value) == message
    assert caught.value.__notes__ == NOTE_MODE


def test_mode_that_is_not_utf8_encodable(game):
    with pytest.raises(UnicodeEncodeError) as caught:
        game.outcome("rank\ud800")
    assert caught.value.__notes__ == NOTE_MODE


def test_str_subclass_is_read_as_its_text(game):
    class Mode(str):
        def __eq__(self, other):
            return True

        __hash__ = str.__hash__

    assert game.outcome(Mode("rank")) is None
    with pytest.raises(ValueError, match="^Unknown reward mode Rank$"):
        game.outcome(Mode("Rank"))


@pytest.mark.parametrize(("call", "message"), [
    (lambda g: g.outcome(), "PyVexlan.outcome() missing 1 required positional argument: 'mode'"),
    (lambda g: g.outcome("rank", "score"), "PyVexlan.outcome() takes 1 positional arguments but 2 were given"),
    (lambda g: g.outcome("rank", mode="rank"), "PyVexlan.outcome() got multiple values for argument 'mode'"),
    (lambda g: g.outcome(reward_mode="rank"), "PyVexlan.outcome() got an unexpected keyword argument 'reward_mode'"),
])
def test_outcome_argument_list(game, call, message):
    with pytest.raises(TypeError) as caught:
        call(game)
    assert str(caught.value) == message


@pytest.mark.parametrize("seed", range(6))
def test_values_through_random_games(seed):
    """Every turn: rewards hold exactly the done agents' scores, scores only
    rise as pieces are placed, and outcome stays None until the very end."""
    rng = np.random.default_rng(seed)
    game = PyVexlan()
    previous = game.scores
    partial_seen = False
    while not game.is_over:
        done = game.terminations
        scores, rewards = game.scores, game.rewards
        assert rewards == [s if d else None for s, d in zip(scores, done)]
        assert all(game.outcome(mode) is None for mode in MODES)
        partial_seen |= any(done)
        assert all(now >= before for before, now in zip(previous, scores))
        previous = scores
        game.step(choose(game, rng))
    assert partial_seen

    scores = game.scores
    assert all(-89 <= s <= -1 or s in (15, 20) for s in scores)
    assert game.rewards == scores
    assert game.outcome("score") == [float(s) for s in scores]
    for mode in MODES:
        assert game.outcome(mode) == expected_outcome(scores, mode)
    best = max(scores)
    winners = scores.count(best)
    shares = game.outcome("win_share")
    assert [share > 0 for share in shares] == [s == best for s in scores]
    assert sum(shares) == pytest.approx(1.0)
    assert sum(game.outcome("rank")) == pytest.approx(2.0)
    assert max(game.outcome("rank")) == pytest.approx(1.0 - (winners - 1) / 6)

