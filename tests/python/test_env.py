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
from vexlan_rl.render.board_image import BOARD_PIXELS, CELL_PIXELS, COLOURS, LEGEND_PIXELS, SLOT_PIXELS, SWATCH, TURN_MARK, digit_mask  # noqa: E402
from vexlan_rl.rl.env import env, raw_env  # noqa: E402

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
        "ansi": lambda text: len(text.split("\n")) == 26,
        "rgb_array": lambda image: image.shape == (BOARD_PIXELS + LEGEND_PIXELS, BOARD_PIXELS, 3),
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
    """Agent (0-3) or 4 for every cell, read from the digits of the compact board."""
    rows = ["".join(line[3:].split()) for line in text.split("\n")[1:21]]
    return np.array([[4 if mark == "." else int(mark) for mark in row] for row in rows])


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
    inside = image[CELL_PIXELS // 4:BOARD_PIXELS:CELL_PIXELS, CELL_PIXELS // 4::CELL_PIXELS]  # off outlines and dots
    assert (inside == COLOURS[owners]).all()


def legend_slot(image, seat):
    return image[BOARD_PIXELS:, seat * SLOT_PIXELS:(seat + 1) * SLOT_PIXELS]


@pytest.mark.parametrize("steps", [0, 5, None])
def test_image_legend_shows_the_colours_and_whose_turn(steps):
    environment = raw_env(render_mode="rgb_array")
    environment.reset(seed=7)
    for agent in environment.agent_iter(10**4 if steps is None else steps):
        observation, _, termination, _, _ = environment.last()
        environment.step(None if termination else environment.action_space(agent).sample(observation["action_mask"]))
    image = environment.render()
    mover = None if environment.game.is_over else environment.game.agent_selection
    for seat in range(4):
        slot = legend_slot(image, seat)
        top, left, side = SWATCH
        assert (slot[top:top + side, left:left + side] == COLOURS[seat]).all()
        inked = (slot == 0).all(axis=2)
        assert inked[:TURN_MARK[0]].sum() == digit_mask(seat).sum()
        assert inked[TURN_MARK[0]:].any() == (seat == mover)


def test_palette_stays_apart_under_red_green_colour_blindness():
    """Each pair of agent and empty colours differs clearly in normal vision and
    as protanopes and deuteranopes see it (Machado, Oliveira and Fernandes 2009)."""
    protan = np.array([[0.152286, 1.052583, -0.204868], [0.114503, 0.786281, 0.099216], [-0.003882, -0.048116, 1.051998]])
    deutan = np.array([[0.367322, 0.860646, -0.227968], [0.280085, 0.672501, 0.047413], [-0.011820, 0.042940, 0.968881]])
    linear = (COLOURS / 255.0) ** 2.2
    for vision in (np.eye(3), protan, deutan):
        seen = np.clip(linear @ vision.T, 0, 1) ** (1 / 2.2) * 255
        distances = np.linalg.norm(seen[:, None] - seen[None, :], axis=2)
        assert distances[~np.eye(len(COLOURS), dtype=bool)].min() > 70  # the former red and green: 59


def test_human_mode_prints_the_board_once_a_round(capsys):
    environment = env(render_mode="human")
    environment.reset(seed=3)
    environment.step(0)
    assert capsys.readouterr().out == ""
    for _ in range(3):
        environment.step(0)  # each agent's monomino in its corner ends the first round
    printed = capsys.readouterr().out
    assert printed.count("\n") == 26 and "last move: agent 3 I1@r0c0/o0" in printed
    for agent in environment.agent_iter():
        observation, _, termination, _, _ = environment.last()
        environment.step(None if termination else environment.action_space(agent).sample(observation["action_mask"]))
    boards = capsys.readouterr().out.split("\n    0  1  2")
    assert 15 < len(boards) <= 22 and boards[-1].rstrip().endswith("game over")


@pytest.mark.parametrize(("argument", "message"), [
    ({"reward_mode": "Score"}, "reward_mode must be one of score, win_share, rank, not 'Score'"),
    ({"render_mode": "rgb"}, "render_mode must be None or one of human, ansi, rgb_array, not 'rgb'"),
])
def test_bad_arguments_are_refused(argument, message):
    with pytest.raises(ValueError, match=f"^{re.escape(message)}$"):
        raw_env(**argument)


def test_missing_optional_dependencies_name_the_extra():
    code = "import sys\nsys.modules['pettingzoo'] = None\nimport vexlan_rl.env"
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert result.returncode == 1
    assert result.stderr.rstrip().endswith("install them with: pip install '.[pettingzoo]' in a checkout of vexlan_rl, "
                                           "or pip install 'vexlan-rl[pettingzoo]'")
