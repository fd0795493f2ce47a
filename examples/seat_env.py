"""One seat of the game as a single-agent Gymnasium environment, for learners
such as sb3-contrib's MaskablePPO.

The learner plays one seat (a fresh random seat each episode, unless fixed)
against opponents that pick uniformly among their legal moves. It sees, in
its own frame:

- "planes": uint8 (12, 20, 20), the cells each seat covers, then where each
  seat can attach, then where each seat can never go, seats from itself on;
- "pieces": uint8 (4, 21), the pieces each seat still holds;
- "done": uint8 (4,), the seats that are out of moves.

The pieces in hand matter as much as the board: which placements remain and
what the end of the game costs depend on them. PettingZoo tutorials that
wrap an environment for Stable-Baselines3 keep only the "observation" entry of
each observation dict, so a learner trained through them never sees them.

`action_masks()` gives the legal grid indices, as MaskablePPO asks. The only
reward is the learner's outcome in the chosen reward mode, when the game ends.
"""

from typing import Any

import gymnasium
import numpy as np
import numpy.typing as npt
from gymnasium import spaces

from vexlan_rl import PyVexlan
from vexlan_rl._engine import pass_done_seats

SEATS = 4
PIECES = len(PyVexlan.piece_names)

Observation = dict[str, npt.NDArray[np.uint8]]


class SeatEnv(gymnasium.Env[Observation, int]):
    """One seat against random opponents; see the module docstring."""

    def __init__(self, reward_mode: str = "win_share", seat: int | None = None) -> None:
        if reward_mode not in PyVexlan.reward_modes:
            raise ValueError(f"reward_mode must be one of {PyVexlan.reward_modes}, not {reward_mode!r}")
        self.reward_mode = reward_mode
        self.fixed_seat = seat
        self.seat = 0
        self.game = PyVexlan()
        self.observation_space = spaces.Dict({
            "planes": spaces.Box(0, 1, (3 * SEATS, 20, 20), np.uint8),
            "pieces": spaces.Box(0, 1, (SEATS, PIECES), np.uint8),
            "done": spaces.Box(0, 1, (SEATS,), np.uint8),
        })
        self.action_space = spaces.Discrete(PyVexlan.num_actions)

    def reset(self, *, seed: int | None = None, options: dict[str, Any] | None = None) -> tuple[Observation, dict[str, Any]]:
        super().reset(seed=seed)
        self.game.reset()
        self.seat = int(self.np_random.integers(SEATS)) if self.fixed_seat is None else self.fixed_seat
        self._play_others()
        return self._observe(), {}

    def step(self, action: int) -> tuple[Observation, float, bool, bool, dict[str, Any]]:
        self.game.step(int(action))  # AssertionError, and no change, for a masked action
        self._play_others()
        outcome = self.game.outcome(self.reward_mode)
        reward = 0.0 if outcome is None else outcome[self.seat]
        return self._observe(), reward, outcome is not None, False, {}

    def action_masks(self) -> npt.NDArray[np.bool_]:
        return np.frombuffer(self.game.observe(self.seat).action_mask, np.bool_).copy()

    def _play_others(self) -> None:
        """Moves the opponents until the learner can place or the game is over;
        once the learner is out of moves, the others play the game out."""
        game = self.game
        pass_done_seats(game)
        while not game.is_over and game.agent_selection != self.seat:
            game.step(int(self.np_random.choice(game.legal_actions(game.agent_selection))))
            pass_done_seats(game)

    def _observe(self) -> Observation:
        view = self.game.observe(self.seat)
        planes = np.frombuffer(view.observation + view.corners + view.blocked, np.uint8)
        return {
            "planes": planes.reshape(3 * SEATS, 20, 20).copy(),
            "pieces": np.frombuffer(view.pieces, np.uint8).reshape(SEATS, PIECES).copy(),
            "done": np.frombuffer(view.done, np.uint8).copy(),
        }
