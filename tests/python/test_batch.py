"""The batch against single games: the same actions give the same games, slot by slot."""

import gc
import subprocess
import sys
import threading

import numpy as np
import pytest

from random_play import play
from vexlan_rl import PyVexlan
from vexlan_rl._engine import pass_done_seats
from vexlan_rl.batch import GameBatch

GAMES = 10


def assert_slot_matches(games: GameBatch, i: int, game: PyVexlan) -> None:
    """Slot i shows `game`, which has its done seats passed, from its mover's side."""
    assert games.state(i) == game.to_bytes()
    mover = game.agent_selection
    assert games.agent[i] == mover
    view = game.observe(mover)
    planes = np.frombuffer(view.observation + view.corners + view.blocked, np.uint8).reshape(12, 20, 20)
    np.testing.assert_array_equal(games.observation[i], planes)
    np.testing.assert_array_equal(games.pieces[i].ravel(), np.frombuffer(view.pieces, np.uint8))
    np.testing.assert_array_equal(games.done[i], np.frombuffer(view.done, np.uint8))
    assert games.legal(i).tolist() == game.legal_actions(mover)
    if games.action_mask is not None:
        np.testing.assert_array_equal(games.action_mask[i], np.frombuffer(view.action_mask, np.uint8))


def started_games(seed: int) -> list[PyVexlan]:
    """Games at assorted points, some near their end, so that slots finish at different steps."""
    rng = np.random.default_rng(seed)
    games = [play(seed * 100 + i, int(rng.integers(0, 70)))[0] for i in range(GAMES)]
    for game in games:
        pass_done_seats(game)
    return games


@pytest.mark.parametrize("threads, mode, autoreset, dense", [
    (1, "win_share", False, True), (2, "score", False, False), (4, "rank", True, False), (2, "win_share", True, True),
])
def test_a_batch_plays_as_separate_games(threads, mode, autoreset, dense):
    rng = np.random.default_rng(threads)
    reference = started_games(threads)
    games = GameBatch(GAMES, threads=threads, reward_mode=mode, autoreset=autoreset, dense_mask=dense)
    for i, game in enumerate(reference):
        games.load(i, game.to_bytes())
        assert_slot_matches(games, i, game)
    ended = 0
    for _ in range(90):
        actions = np.zeros(GAMES, np.int64)
        for i, game in enumerate(reference):
            if not game.is_over:
                actions[i] = rng.choice(game.legal_actions(game.agent_selection))
        games.step(actions.astype(np.uint16))
        for i, game in enumerate(reference):
            ends_now = False
            if not game.is_over:
                game.step(int(actions[i]))
                pass_done_seats(game)
                ends_now = game.is_over
            assert games.terminated[i] == (ends_now or (game.is_over and not autoreset))
            expected = game.outcome(mode) if ends_now else [0.0] * 4
            np.testing.assert_array_equal(games.rewards[i], np.float32(expected))
            ended += ends_now
            if game.is_over and autoreset:  # a game loaded finished is replaced at the next step
                reference[i] = game = PyVexlan()
            assert_slot_matches(games, i, game)
    assert ended >= GAMES // 2


def test_random_play_depends_on_the_seed_only():
    def run(threads: int, seed: int) -> tuple[list[bytes], float]:
        games = GameBatch(7, threads=threads, seed=seed)
        total = 0.0
        for _ in range(150):
            games.step_random()
            total += float(games.rewards.sum())
        return [games.state(i) for i in range(7)], total

    one = run(1, 5)
    assert one[1] > 0
    assert run(2, 5) == one
    assert run(3, 5) == one
    assert run(1, 6)[0] != one[0]


def test_reset_with_a_seed_replays_the_same_games():
    games = GameBatch(3, threads=2, seed=1)
    first = []
    for _ in range(20):
        games.step_random()
        first.append([games.state(i) for i in range(3)])
    games.reset(seed=1)
    assert [games.state(i) for i in range(3)] == [PyVexlan().to_bytes()] * 3
    for states in first:
        games.step_random()
        assert [games.state(i) for i in range(3)] == states


def snapshot(games: GameBatch) -> list:
    arrays = [games.agent, games.observation, games.pieces, games.done, games.rewards, games.terminated,
              games.legal_count, games.legal_actions]
    return [array.copy() for array in arrays] + [[games.state(i) for i in range(games.num_games)]]


def assert_unchanged(before: list, games: GameBatch) -> None:
    for old, new in zip(before, snapshot(games)):
        np.testing.assert_array_equal(old, new)


@pytest.mark.parametrize("bad, error, words", [
    ("illegal", ValueError, "slot 3"),
    (-1, ValueError, "Invalid action -1 in slot 3"),
    (36400, ValueError, "slot 3"),
    (2**70, ValueError, "slot 3"),
    ("short", ValueError, "Expected 5 actions"),
    ("float", TypeError, "format 'd'"),
    ("matrix", ValueError, "one-dimensional"),
    ("text", TypeError, "'str' object cannot be interpreted"),
])
def test_a_refused_step_changes_nothing(bad, error, words):
    games = GameBatch(5, threads=2, seed=3)
    for _ in range(12):
        games.step_random()
    actions = [int(games.legal(i)[0]) for i in range(5)]
    if bad == "illegal":
        actions[3] = int(np.setdiff1d(np.arange(36400), games.legal(3))[0])
    elif isinstance(bad, int):
        actions[3] = bad
    argument = {"short": actions[:4], "float": np.array(actions, float), "matrix": np.array([actions] * 2),
                "text": actions[:4] + ["x"]}.get(bad, actions)
    before = snapshot(games)
    with pytest.raises(error, match=words):
        games.step(argument)
    assert_unchanged(before, games)
    games.step(np.array(actions[:3] + [int(games.legal(3)[0])] + actions[4:], ">i4"))


def test_load_refuses_what_is_no_state():
    games = GameBatch(2)
    games.step_random()
    before = snapshot(games)
    for slot, state, error in ((0, b"\x00" * 278, ValueError), (2, PyVexlan().to_bytes(), IndexError),
                               (0, bytearray(278), TypeError)):
        with pytest.raises(error):
            games.load(slot, state)
    assert_unchanged(before, games)


def test_arrays_outlive_the_batch_and_are_read_only():
    games = GameBatch(4, dense_mask=True, seed=2)
    for _ in range(5):
        games.step_random()
    arrays = snapshot(games)[:-1]
    views = [games.observation, games.legal_actions, games.rewards, games.action_mask]
    raw = games._core.legal_count
    del games
    gc.collect()
    np.testing.assert_array_equal(views[0], arrays[1])
    np.testing.assert_array_equal(views[1], arrays[7])
    assert raw.tolist() == arrays[6].tolist()
    assert int(views[3].sum()) == int(arrays[6].sum())
    with pytest.raises(ValueError, match="read-only"):
        views[0][0, 0, 0, 0] = 1


def test_one_batch_shared_by_threads():
    games = GameBatch(16, threads=2, seed=9)
    accepted = [0] * 4
    refused = []
    barrier = threading.Barrier(4)

    def hammer(k: int) -> None:
        barrier.wait()
        for _ in range(150):
            try:
                if k % 2:
                    games.state(k)
                else:
                    games.step_random()
                    accepted[k] += 1
            except RuntimeError as error:
                refused.append(str(error))

    threads = [threading.Thread(target=hammer, args=(k,)) for k in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert set(refused) <= {"Already borrowed", "Already mutably borrowed"}
    replay = GameBatch(16, threads=1, seed=9)
    for _ in range(sum(accepted)):
        replay.step_random()
    assert [games.state(i) for i in range(16)] == [replay.state(i) for i in range(16)]


def test_legal_actions_lists_the_mask():
    for seed in range(6):
        game, _ = play(seed, 10 * seed)
        for agent in range(4):
            mask = np.frombuffer(game.observe(agent).action_mask, np.uint8)
            legal = game.legal_actions(agent)
            assert sorted(legal) == np.flatnonzero(mask).tolist()
            assert len(set(legal)) == len(legal)


EXIT_WHILE_STEPPING = """
import threading, time
from vexlan_rl.batch import GameBatch
games = GameBatch(64, threads=2)
def loop():
    while True:
        games.step_random()
threading.Thread(target=loop, daemon=True).start()
time.sleep(0.05)
"""


def test_the_interpreter_exits_while_a_thread_steps_a_batch():
    for _ in range(12):
        result = subprocess.run([sys.executable, "-c", EXIT_WHILE_STEPPING], capture_output=True, text=True,
                                timeout=60)
        assert result.returncode == 0, result.stderr
