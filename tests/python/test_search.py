"""The batched search from Python: its leaves read like a batch's slots, evaluations steer it,
rounds of many leaves and of one both give full distributions over legal moves, and bad
evaluations or moves are refused with no change."""

import subprocess
import sys
import textwrap

import numpy as np
import pytest

from random_play import play
from vexlan_rl import PyVexlan
from vexlan_rl._engine import pass_done_seats
from vexlan_rl.search import BatchedSearch, Leaves, legal_priors


def hashed_values(leaves: Leaves) -> np.ndarray:
    """Fixed values of each leaf, from its planes, so that two searches of the same leaves agree."""
    flat = leaves.observation.reshape(len(leaves), -1).astype(np.uint64)
    weights = np.arange(1, flat.shape[1] + 1, dtype=np.uint64)
    code = (flat * weights).sum(axis=1)
    return np.stack([(code * (k + 3)) % 101 / 100 for k in range(4)], axis=1).astype(np.float32)


def uniform(leaves: Leaves) -> tuple[np.ndarray, np.ndarray]:
    return np.ones(int(leaves.prior_offsets[-1]), np.float32), hashed_values(leaves)


def test_the_first_round_evaluates_each_root_laid_out_as_its_batch_slot():
    search = BatchedSearch(5, threads=2, simulations=8, leaves=4)
    leaves = search.select()
    assert leaves is not None and sorted(leaves.games.tolist()) == list(range(5))
    for name in ("agent", "observation", "pieces", "done", "legal_count"):
        np.testing.assert_array_equal(getattr(leaves, name), getattr(search, name)[leaves.games])
    np.testing.assert_array_equal(np.diff(leaves.prior_offsets), leaves.legal_count)
    for i, game in enumerate(leaves.games):
        count = leaves.legal_count[i]
        assert leaves.legal_actions[i, :count].tolist() == PyVexlan().legal_actions(0)
        np.testing.assert_array_equal(leaves.legal_actions[i, :count], search.legal_actions[game, :count])


def test_all_prior_on_one_move_draws_the_most_visits():
    search = BatchedSearch(4, simulations=40, leaves=4, noise_fraction=0, temperature=0)

    def favour_last(leaves: Leaves) -> tuple[np.ndarray, np.ndarray]:
        priors = np.zeros(int(leaves.prior_offsets[-1]), np.float32)
        priors[leaves.prior_offsets[1:] - 1] = 1  # each leaf's last legal move
        return priors, np.full((len(leaves), 4), 0.5, np.float32)

    moves = search.run(favour_last)
    for game in range(4):
        legal, policy = search.root_policy(game)
        assert moves[game] == legal[-1]
        assert policy.argmax() == len(legal) - 1


@pytest.mark.parametrize("leaves, threads", [(1, 1), (8, 2)])
def test_rounds_of_one_or_many_leaves_give_full_distributions_over_legal_moves(leaves, threads):
    games, simulations = 6, 24
    search = BatchedSearch(games, threads=threads, seed=3, simulations=simulations, leaves=leaves)
    reference = [PyVexlan() for _ in range(games)]
    for _ in range(5):
        calls = 0
        while (round_leaves := search.select()) is not None:
            assert 0 < len(round_leaves) <= games * leaves
            search.expand(*uniform(round_leaves))
            calls += 1
        assert calls >= simulations // leaves
        for game in range(games):
            legal, policy = search.root_policy(game)
            assert sorted(legal.tolist()) == sorted(reference[game].legal_actions(reference[game].agent_selection))
            assert policy.sum() == pytest.approx(1, abs=1e-5)
            assert search.moves[game] in legal
        for game, move in zip(reference, search.moves):
            game.step(int(move))
        search.step()
        assert [search.state(g) for g in range(games)] == [game.to_bytes() for game in reference]
    assert 0 < search.leaves_per_call <= 1


def test_priors_from_logits_are_a_softmax_over_each_leafs_legal_moves():
    search = BatchedSearch(3, simulations=8, leaves=2)
    search.run(uniform)
    search.step()
    leaves = search.select()
    assert leaves is not None
    logits = np.random.default_rng(0).normal(size=(len(leaves), 36400))
    priors = legal_priors(logits, leaves)
    for i in range(len(leaves)):
        legal = leaves.legal_actions[i, :leaves.legal_count[i]]
        expected = np.exp(logits[i, legal] - logits[i, legal].max())
        np.testing.assert_allclose(priors[leaves.prior_offsets[i]:leaves.prior_offsets[i + 1]],
                                   expected / expected.sum(), rtol=1e-5)


def finished_policy(search: BatchedSearch, corrupt=None) -> np.ndarray:
    """Runs the search; before each evaluation, `corrupt` may try a bad one that must be refused."""
    while (leaves := search.select()) is not None:
        priors, values = uniform(leaves)
        if corrupt is not None:
            bad_priors, bad_values, message = corrupt(priors.copy(), values.copy())
            with pytest.raises(ValueError, match=message):
                search.expand(bad_priors, bad_values)
            assert search._core.pending == len(leaves)
        search.expand(priors, values)
    return search.policy[:, :int(search.legal_count.max())].copy()


def set_nan(priors, values):
    priors[len(priors) // 2] = np.nan
    return priors, values, "finite"


def drop_one(priors, values):
    return priors[:-1], values, "priors"


def too_high(priors, values):
    values[-1, 2] = 1.5
    return priors, values, r"\[0, 1\]"


@pytest.mark.parametrize("corrupt", [set_nan, drop_one, too_high])
def test_a_bad_evaluation_is_refused_and_changes_no_tree(corrupt):
    clean = finished_policy(BatchedSearch(3, seed=9, simulations=16, leaves=4))
    refused = finished_policy(BatchedSearch(3, seed=9, simulations=16, leaves=4), corrupt)
    np.testing.assert_array_equal(clean, refused)


def test_evaluations_of_the_wrong_type_and_illegal_moves_are_refused():
    search = BatchedSearch(2, simulations=4, leaves=2)
    leaves = search.select()
    assert leaves is not None
    with pytest.raises(TypeError, match="float32"):
        search._core.expand(np.ones(int(leaves.prior_offsets[-1])), np.ones((len(leaves), 4)))
    with pytest.raises(RuntimeError, match="expand"):
        search.select()
    search.expand(*uniform(leaves))
    search.run(uniform)
    before = [search.state(g) for g in range(2)]
    with pytest.raises(ValueError, match="game 1"):
        search.step([search.moves[0], 36399])
    assert [search.state(g) for g in range(2)] == before


def test_ctrl_c_stops_a_long_search_at_once_and_a_reset_makes_it_usable():
    program = textwrap.dedent("""
        import os, signal, threading, time
        import numpy as np
        from vexlan_rl.search import BatchedSearch

        def evaluate(leaves):
            return np.ones(int(leaves.prior_offsets[-1]), np.float32), np.full((len(leaves), 4), 0.5, np.float32)

        search = BatchedSearch(64, threads=2, simulations=60000, leaves=8)
        sent = []
        def interrupt():
            time.sleep(0.3)
            sent.append(time.perf_counter())
            os.kill(os.getpid(), signal.SIGINT)
        threading.Thread(target=interrupt).start()
        try:
            search.run(evaluate)
            print("not interrupted")
        except KeyboardInterrupt:
            print(f"{time.perf_counter() - sent[0]:.3f}")
        search.reset()
        leaves = search.select()
        search.expand(*evaluate(leaves))
        print(len(leaves), search._core.pending)
    """)
    result = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    seconds, first_round, pending = result.stdout.split()
    # About 0.2 s at most on a quiet machine; the margin is for a loaded one.
    assert float(seconds) < 1.0 and first_round == "64" and pending == "0"


def test_a_loaded_position_is_searched_and_its_move_is_legal_there():
    search = BatchedSearch(3, seed=1, simulations=16, leaves=4)
    positions = [play(seed, 40 + 10 * seed)[0] for seed in range(3)]
    for position in positions:
        pass_done_seats(position)
    for game, position in enumerate(positions):
        search.load(game, position.to_bytes())
    with pytest.raises(ValueError, match="state"):
        search.load(0, b"x")
    assert [search.state(g) for g in range(3)] == [position.to_bytes() for position in positions]
    moves = search.run(uniform)
    for game, position in enumerate(positions):
        assert moves[game] in position.legal_actions(position.agent_selection)
