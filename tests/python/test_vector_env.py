"""The Gymnasium vector adapter: every slot shows its mover's view, and each seat's outcome reaches the learner."""

import numpy as np
import pytest

pytest.importorskip("gymnasium")
from vexlan_rl.rl.vector_env import SelfPlayVectorEnv  # noqa: E402


def test_self_play_reports_every_seat():
    envs = SelfPlayVectorEnv(6, threads=2, reward_mode="rank")
    observations, _ = envs.reset(seed=3)
    rng = np.random.default_rng(3)
    finished = 0
    for _ in range(120):
        assert envs.observation_space.contains(observations)
        actions = np.array([rng.choice(np.flatnonzero(mask)) for mask in observations["action_mask"]])
        observations, rewards, terminations, truncations, infos = envs.step(actions)
        assert not truncations.any()
        seat_rewards = infos["seat_rewards"]
        np.testing.assert_array_equal(rewards, seat_rewards[np.arange(6), infos["seat"]])
        np.testing.assert_allclose(seat_rewards[terminations].sum(axis=1), 2.0)  # ranks 1, 2/3, 1/3, 0
        assert not seat_rewards[~terminations].any()
        finished += int(terminations.sum())
    assert finished >= 6
