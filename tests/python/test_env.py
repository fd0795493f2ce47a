"""The PettingZoo environment: PettingZoo's own checks, and whole games checked
against a game driven directly."""

import re
import subprocess
import sys
import warnings

import pytest

np = pytest.importorskip("numpy")
pytest.importorskip("gymnasium")
pytest.importorskip("pettingzoo")
from pettingzoo.test import api_test, render_test, seed_test  # noqa: E402

from vexlan_rl import PyVexlan  # noqa: E402
from vexlan_rl.env import COLOURS, CELL_PIXELS, env, raw_env  # noqa: E402

AGENTS = ["player_0", "player_1", "player_2", "player_3"]
# What PettingZoo's checks say of any dict observation space; anything else they say is a fault.
DICT_SPACE_ADVICE = ("Observation is not a NumPy array", "Observation space for each agent probably should be")


@pytest.mark.parametrize("make", [env, raw_env])
def test_pettingzoo_api_test(make):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        api_test(make(), num_cycles=1000)
    assert [str(w.message) for w in caught if not str(w.message).startswith(DICT_SPACE_ADVICE)] == []


def test_pettingzoo_seed_test():
    seed_test(env)


def test_pettingzoo_render_test():
    render_test(env, custom_tests={
        "ansi": lambda text: len(text.split("\n")) == 41,
        "rgb_array": lambda image: image.shape == (20 * CELL_PIXELS + 1, 20 * CELL_PIXELS + 1, 3),
    })


def observed(game: PyVexlan, seat: int):
    view = game.observe(seat)
    return view.observation + view.corners + view.blocked, view.pieces, view.done, view.action_mask


@pytest.mark.parametrize(("mode", "seed"), [("score", 1), ("win_share", 2), ("rank", 3)])
def test_full_game_matches_the_game_played_directly(mode, seed):
    """A random masked policy through the environment; a game stepped directly
    with the same actions shows what every observation, turn and reward must be."""
    environment = env(reward_mode=mode)
    environment.reset(seed=seed)
    direct = PyVexlan()
    finished = []
    passes = 0
    for agent in environment.agent_iter():
        observation, reward, termination, truncation, info = environment.last()
        assert truncation is False and info == {}
        if termination:
            assert set(environment.agents) == set(AGENTS) - set(finished)
            assert all(environment.terminations.values()), "every agent terminates when the game ends"
            assert reward == direct.outcome(mode)[AGENTS.index(agent)]
            finished.append(agent)
            environment.step(None)
            continue
        assert reward == 0
        while direct.terminations[direct.agent_selection]:
            direct.step(None)  # the environment passes over agents that are out of moves
            passes += 1
        seat = direct.agent_selection
        assert agent == AGENTS[seat] and environment.agents == AGENTS
        planes, pieces, done, mask = observed(direct, seat)
        assert observation["observation"].tobytes() == planes and observation["observation"].shape == (12, 20, 20)
        assert observation["pieces"].tobytes() == pieces and observation["done"].tobytes() == done
        assert observation["action_mask"].dtype == np.int8 and observation["action_mask"].tobytes() == mask
        action = environment.action_space(agent).sample(observation["action_mask"])
        assert mask[action] == 1
        environment.step(action)
        direct.step(int(action))
    assert direct.is_over and sorted(finished) == AGENTS and environment.agents == []
    assert passes > 0, "the game should have had an agent out of moves before the end"
    assert sum(direct.outcome("win_share")) == pytest.approx(1.0)


def test_seeded_reset_repeats_the_sampled_game():
    def game_bytes(seed):
        environment = raw_env()
        environment.reset(seed=seed)
        for agent in environment.agent_iter():
            observation, _, termination, _, _ = environment.last()
            environment.step(None if termination else environment.action_space(agent).sample(observation["action_mask"]))
        return environment.game.to_bytes()

    assert game_bytes(11) == game_bytes(11)
    assert game_bytes(11) != game_bytes(12)


def test_refused_action_changes_nothing():
    environment = env()
    environment.reset()
    environment.step(0)  # the monomino in agent 0's corner
    before = (environment.agent_selection, environment.game.to_bytes(), dict(environment._cumulative_rewards))
    with pytest.raises(AssertionError, match=r"^Invalid action: Action index not available$"):
        environment.step(1)  # the monomino at (0, 1) of player_1's frame touches none of its pieces
    assert (environment.agent_selection, environment.game.to_bytes(), dict(environment._cumulative_rewards)) == before


def test_observations_are_fresh_writable_arrays():
    environment = raw_env()
    environment.reset()
    first = environment.observe("player_0")
    first["action_mask"][:] = 0
    first["observation"][:] = 1
    second = environment.observe("player_0")
    assert second["action_mask"].any() and not second["observation"][:4].any()


def cell_owners_from_text(text):
    """Agent (0-3) or 4 for every cell, read from the colour codes of the text form."""
    background = {"44": 0, "43": 1, "41": 2, "42": 3}
    rows = [line for line in text.split("\n")[2::2]]
    assert len(rows) == 20
    owners = []
    for row in rows:
        cells = row.split("|")[1:-1]
        assert len(cells) == 20
        owners.append([background[m.group(1)] if (m := re.search(r"\x1b\[(\d+)m", cell)) else 4 for cell in cells])
    return np.array(owners)


def test_rgb_image_and_text_show_the_same_board():
    image_env = raw_env(render_mode="rgb_array")
    text_env = raw_env(render_mode="ansi")
    for environment in (image_env, text_env):
        environment.reset(seed=4)
    for agent in image_env.agent_iter(100):
        observation, _, termination, _, _ = image_env.last()
        action = None if termination else image_env.action_space(agent).sample(observation["action_mask"])
        image_env.step(action)
        text_env.step(action)
    owners = cell_owners_from_text(text_env.render())
    assert (owners < 4).sum() > 40 and set(np.unique(owners)) == {0, 1, 2, 3, 4}
    image = image_env.render()
    centres = image[CELL_PIXELS // 2::CELL_PIXELS, CELL_PIXELS // 2::CELL_PIXELS]
    assert (centres == COLOURS[owners]).all()


def test_human_mode_prints_the_board_after_each_step(capsys):
    environment = env(render_mode="human")
    environment.reset()
    environment.step(0)
    printed = capsys.readouterr().out
    assert printed.count("\n") == 41 and "\x1b[44mx\x1b[0m" in printed


@pytest.mark.parametrize(("argument", "message"), [
    ({"reward_mode": "Score"}, "reward_mode must be one of score, win_share, rank, not 'Score'"),
    ({"render_mode": "rgb"}, "render_mode must be None or one of human, ansi, rgb_array, not 'rgb'"),
])
def test_bad_arguments_are_refused(argument, message):
    with pytest.raises(ValueError, match=f"^{re.escape(message)}$"):
        raw_env(**argument)


def test_package_import_needs_none_of_the_optional_dependencies():
    code = ("import sys, vexlan_rl, vexlan_rl.cli\n"
            "print(sorted(m for m in ('numpy', 'gymnasium', 'pettingzoo') if m in sys.modules))")
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert result.stdout.strip() == "[]"


def test_missing_optional_dependencies_name_the_extra():
    code = "import sys\nsys.modules['pettingzoo'] = None\nimport vexlan_rl.env"
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert result.returncode == 1
    assert result.stderr.rstrip().endswith("install them with: pip install 'vexlan-rl[pettingzoo]'")
