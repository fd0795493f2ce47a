"""The training example: its Gymnasium adapter, and a smoke run of MaskablePPO.

The smoke run needs torch and sb3-contrib, which the [test] extra leaves out;
tools/test-examples installs them and sets VEXLAN_REQUIRE_EXAMPLES=1, so that
there a missing package fails the test instead of skipping it.
"""

import importlib
import os
import sys
from pathlib import Path

import pytest

np = pytest.importorskip("numpy")
pytest.importorskip("gymnasium")

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "examples"))
from seat_env import SeatEnv  # noqa: E402

from vexlan_rl import PyVexlan  # noqa: E402


def test_learner_sees_planes_and_pieces_and_only_its_turns():
    environment = SeatEnv("score", seat=2)
    observation, _ = environment.reset(seed=0)
    game = environment.game
    assert game.ply == 2 and game.agent_selection == 2  # seats 0 and 1 have moved
    terminated, reward, moves = False, 0.0, 0
    while not terminated:
        view = game.observe(2)
        assert observation["pieces"].tobytes() == view.pieces and observation["pieces"].shape == (4, 21)
        assert observation["planes"].tobytes() == view.observation + view.corners + view.blocked
        assert environment.observation_space.contains(observation)
        mask = environment.action_masks()
        assert mask.tobytes() == view.action_mask and game.agent_selection == 2
        before = game.to_bytes()
        with pytest.raises(AssertionError):
            environment.step(int(np.flatnonzero(~mask)[0]))
        assert game.to_bytes() == before
        observation, reward, terminated, truncated, _ = environment.step(int(environment.np_random.choice(np.flatnonzero(mask))))
        assert not truncated
        moves += 1
        if not terminated:
            assert reward == 0.0
    assert game.is_over and reward == game.outcome("score")[2] and moves == 21 - sum(game.observe(2).pieces[:21])


def require(module: str):
    """The module, or a skip naming what is missing, or a failure where the examples' stage demands it."""
    try:
        return importlib.import_module(module)
    except ImportError as missing:
        reason = f"{module} is not installed ({missing}); tools/test-examples runs this test"
        if os.environ.get("VEXLAN_REQUIRE_EXAMPLES") == "1":
            pytest.fail(reason)
        pytest.skip(reason)


def test_maskable_ppo_smoke_run():
    require("torch")
    require("sb3_contrib")
    import train_maskable_ppo

    model = train_maskable_ppo.train(timesteps=256, seed=3)
    assert model.num_timesteps >= 256
    extractor = model.policy.features_extractor
    assert set(extractor.extractors) == {"planes", "pieces", "done"}
    assert extractor.features_dim == 12 * 400 + 4 * 21 + 4
    outcomes = train_maskable_ppo.evaluate(model, games=2)
    assert len(outcomes) == 2 and all(0.0 <= outcome <= 1.0 for outcome in outcomes)


def test_training_script_runs(capsys):
    require("torch")
    require("sb3_contrib")
    import train_maskable_ppo

    assert train_maskable_ppo.main(["--timesteps", "128", "--games", "1"]) == 0
    assert capsys.readouterr().out.startswith("trained on 128 moves; win share over 1 games: ")
