"""The game as a PettingZoo AEC environment (needs `pip install '.[pettingzoo]'` in a checkout).

    from vexlan_rl.rl.env import env

    game = env(reward_mode="rank")
    game.reset(seed=1)
    for agent in game.agent_iter():
        observation, reward, termination, truncation, info = game.last()
        action = None if termination else game.action_space(agent).sample(observation["action_mask"])
        game.step(action)

Agents are "player_0" to "player_3", seats 0 to 3. An agent with no placement
left is passed over until the game ends; then every agent terminates at once,
receives its outcome in the chosen reward mode (the only non-zero reward) and
is stepped with None once, as PettingZoo expects. An action the mask does not
allow raises AssertionError and leaves the game unchanged; unlike PettingZoo's
classic games, the offender does not lose and may choose again.

Each observation is a dict of fresh, writable arrays in the agent's own frame
(its start corner at the top left, seats listed from the agent onward):

- "observation": uint8 (12, 20, 20), planes 0-3 the cells each seat covers,
  4-7 the cells each seat's next piece can attach to, 8-11 the cells each seat
  can never fill;
- "pieces": uint8 (4, 21), the pieces each seat still holds, in the order of
  `PyVexlan.piece_names`;
- "done": uint8 (4,), the seats that are out of moves;
- "action_mask": int8 (36400,), the legal grid indices, as masked sampling
  from `action_space(agent)` expects.

Render modes: "ansi" returns the compact board of `vexlan_rl.render.compact_board`
(coloured only when standard output is a terminal and NO_COLOR is unset);
"human" prints it after every full round of turns and once when the game
ends, and `render()` prints it on request; "rgb_array" returns the image of
`vexlan_rl.render.board_image`: the pieces outlined, the last move dotted,
a legend strip and the agent to move.
"""

import sys
from typing import Any

import gymnasium
import numpy as np
import numpy.typing as npt
from gymnasium import spaces

try:
    from pettingzoo import AECEnv  # type: ignore[import-untyped]
    from pettingzoo.utils import wrappers  # type: ignore[import-untyped]
except ImportError as missing:
    raise ImportError(f"vexlan_rl.rl.env needs PettingZoo, Gymnasium and numpy ({missing}); "
                      "install them with: pip install '.[pettingzoo]' in a checkout of vexlan_rl, "
                      "or pip install 'vexlan-rl[pettingzoo]'", name=missing.name) from missing

from vexlan_rl._engine import DONE_SHAPE, NUM_SEATS, PIECES_SHAPE, PLANES_SHAPE, pass_done_seats
from vexlan_rl._vexlan import PyObservation, PyVexlan
from vexlan_rl.render.board_image import board_image
from vexlan_rl.render.compact_board import colour_wanted, compact_board
from vexlan_rl.rl.spaces import Observation, action_space, observation_space

RENDER_MODES = ("human", "ansi", "rgb_array")


def _array(data: bytes, dtype: type[np.generic], shape: tuple[int, ...]) -> npt.NDArray[Any]:
    # A bytearray makes the array own writable memory, which learners may modify in place.
    return np.frombuffer(bytearray(data), dtype).reshape(shape)


def observation_arrays(view: PyObservation) -> Observation:
    """One observation of `PyVexlan.observe` as the arrays of the environment's observation space."""
    return {
        "observation": _array(view.observation + view.corners + view.blocked, np.uint8, PLANES_SHAPE),
        "pieces": _array(view.pieces, np.uint8, PIECES_SHAPE),
        "done": _array(view.done, np.uint8, DONE_SHAPE),
        "action_mask": _array(view.action_mask, np.int8, (PyVexlan.num_actions,)),
    }


class VexlanEnv(AECEnv):  # type: ignore[misc]
    """The four-player placement game as an AEC environment; see the module docstring."""

    metadata = {
        "name": "vexlan_v0",
        "render_modes": list(RENDER_MODES),
        "is_parallelizable": False,
        "render_fps": 2,
    }

    def __init__(self, reward_mode: str = "win_share", render_mode: str | None = None) -> None:
        super().__init__()
        if reward_mode not in PyVexlan.reward_modes:
            raise ValueError(f"reward_mode must be one of {', '.join(PyVexlan.reward_modes)}, not {reward_mode!r}")
        if render_mode is not None and render_mode not in RENDER_MODES:
            raise ValueError(f"render_mode must be None or one of {', '.join(RENDER_MODES)}, not {render_mode!r}")
        self.reward_mode = reward_mode
        self.render_mode = render_mode
        self.game = PyVexlan()
        self.possible_agents = [f"player_{seat}" for seat in range(NUM_SEATS)]
        self._seats = {agent: seat for seat, agent in enumerate(self.possible_agents)}
        self.observation_spaces = {agent: observation_space() for agent in self.possible_agents}
        self.action_spaces: dict[str, spaces.Discrete[Any]] = {agent: action_space() for agent in self.possible_agents}

    def observation_space(self, agent: str) -> spaces.Dict:
        return self.observation_spaces[agent]

    def action_space(self, agent: str) -> spaces.Discrete[Any]:
        return self.action_spaces[agent]

    def reset(self, seed: int | None = None, options: dict[str, Any] | None = None) -> None:
        """Starts a new game. The game has no chance of its own: a seed seeds the
        action spaces (agent i with seed + i), so that sampling from them repeats.
        A seed that is no whole number >= 0 is refused before anything changes."""
        if seed is not None and (not isinstance(seed, int) or seed < 0):
            raise ValueError(f"seed must be a whole number >= 0, not {seed!r}")
        self.game.reset()
        if seed is not None:
            for seat, agent in enumerate(self.possible_agents):
                self.action_spaces[agent].seed(seed + seat)
        self.agents = self.possible_agents[:]
        self.rewards = dict.fromkeys(self.agents, 0.0)
        self._cumulative_rewards = dict.fromkeys(self.agents, 0.0)
        self.terminations = dict.fromkeys(self.agents, False)
        self.truncations = dict.fromkeys(self.agents, False)
        self.infos: dict[str, dict[str, Any]] = {agent: {} for agent in self.agents}
        self.agent_selection = self.possible_agents[self.game.agent_selection]

    def observe(self, agent: str) -> Observation:
        return observation_arrays(self.game.observe(self._seats[agent]))

    def step(self, action: int | None) -> None:
        agent = self.agent_selection
        if self.terminations[agent] or self.truncations[agent]:
            self._was_dead_step(action)
            return
        self.game.step(action)  # raises before anything changes if the action is refused
        self._cumulative_rewards[agent] = 0.0
        seat = self._seats[agent]
        pass_done_seats(self.game)  # an agent out of moves only passes
        if self.game.is_over:
            outcome = self.game.outcome(self.reward_mode)
            assert outcome is not None
            self.rewards = dict(zip(self.possible_agents, outcome))
            self.terminations = dict.fromkeys(self.agents, True)
        self.agent_selection = self.possible_agents[self.game.agent_selection]
        self._accumulate_rewards()
        # A full round ends when the turn wraps round to a lower seat.
        if self.render_mode == "human" and (self.game.is_over or self.game.agent_selection <= seat):
            self.render()

    def render(self) -> None | npt.NDArray[np.uint8] | str:
        if self.render_mode is None:
            gymnasium.logger.warn("render() was called without a render_mode; pass one to the environment")
            return None
        if self.render_mode == "rgb_array":
            return board_image(self.game)
        text = compact_board(self.game, colour_wanted(sys.stdout))
        if self.render_mode == "ansi":
            return text
        print(text)
        return None

    def close(self) -> None:
        """Nothing to release: the game holds no outside resources."""


def raw_env(**kwargs: Any) -> VexlanEnv:
    """The environment without PettingZoo's checking wrappers."""
    return VexlanEnv(**kwargs)


def env(**kwargs: Any) -> AECEnv:
    """The environment inside PettingZoo's usual wrappers, which check action
    bounds and the order of calls. Arguments: `reward_mode` (one of
    `PyVexlan.reward_modes`, default "win_share") and `render_mode`."""
    return wrappers.OrderEnforcingWrapper(wrappers.AssertOutOfBoundsWrapper(raw_env(**kwargs)))
