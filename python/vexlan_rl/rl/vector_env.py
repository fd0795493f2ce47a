"""Self-play with one shared policy as a Gymnasium vector environment (needs
`pip install vexlan-rl[pettingzoo]`, which brings Gymnasium and numpy).

    from vexlan_rl.rl.vector_env import SelfPlayVectorEnv

    envs = SelfPlayVectorEnv(64, threads=2)
    observations, infos = envs.reset(seed=0)
    actions = policy(observations)                  # one grid index per game
    observations, rewards, terminations, truncations, infos = envs.step(actions)

Each of the `num_envs` sub-environments is one four-seat game, and every step
plays one move in every game, for that game's mover: the observation of slot i
is its mover's view (the same dict as `vexlan_rl.rl.env` gives one agent), so a
single policy plays all four seats. Seats that are out of moves are passed
inside the engine.

How the four seats' rewards reach the learner: a game's only rewards come on
the step that ends it, one per seat. `rewards[i]` is the reward of the seat that
moved in slot i on this step (`infos["seat"][i]`). `infos["seat_rewards"][i]`
holds all four seats' rewards in absolute seat order, so that a learner which
keeps one trajectory per seat can credit each seat's last move with its own
outcome; a learner that only reads `rewards` sees the final mover's outcome.

Games end only by termination (never truncation) and reset themselves in the
same step (Gymnasium's SAME_STEP autoreset mode): on a terminating step the
returned observation is already the next game's first position, and no final
observation is given, since a terminal position needs no value estimate.
"""

from __future__ import annotations

from typing import Any

import gymnasium
import numpy as np
import numpy.typing as npt
from gymnasium.vector import AutoresetMode, VectorEnv
from gymnasium.vector.utils import batch_space

from vexlan_rl.batch import GameBatch
from vexlan_rl.rl.spaces import Observation, action_space, observation_space


class SelfPlayVectorEnv(VectorEnv[Observation, npt.NDArray[Any], npt.NDArray[Any]]):
    """`num_envs` games stepped together by `threads` engine threads; see the module's text.
    With `copy=False` the returned arrays are the batch's own views, rewritten by the next step."""

    metadata = {"autoreset_mode": AutoresetMode.SAME_STEP}

    def __init__(self, num_envs: int, *, threads: int = 1, reward_mode: str = "win_share", copy: bool = True) -> None:
        self.num_envs = num_envs
        self._copy = copy
        self._games = GameBatch(num_envs, threads=threads, reward_mode=reward_mode, dense_mask=True)
        self.single_observation_space = observation_space()
        self.single_action_space = action_space()
        self.observation_space = batch_space(self.single_observation_space, num_envs)
        self.action_space = batch_space(self.single_action_space, num_envs)

    def _observations(self) -> Observation:
        games = self._games
        assert games.action_mask is not None
        views = {"observation": games.observation, "pieces": games.pieces, "done": games.done,
                 "action_mask": games.action_mask.view(np.int8)}
        return {key: value.copy() for key, value in views.items()} if self._copy else views

    def reset(self, *, seed: int | list[int] | None = None,
              options: dict[str, Any] | None = None) -> tuple[Observation, dict[str, Any]]:
        """New games in every slot. A seed seeds the action space; the games themselves have no chance.
        A seed the batch cannot take (not 0 to 2**64 - 1) is refused before anything changes."""
        if isinstance(seed, list):
            seed = seed[0] if seed else None
        self._games.reset(seed)
        if seed is not None:
            self.action_space.seed(seed)
        return self._observations(), {}

    def step(self, actions: Any) -> tuple[Observation, npt.NDArray[np.float32], npt.NDArray[np.bool_],
                                           npt.NDArray[np.bool_], dict[str, Any]]:
        games = self._games
        seat = games.agent.copy()
        games.step(np.asarray(actions))
        seat_rewards = games.rewards.copy()
        rewards = seat_rewards[np.arange(self.num_envs), seat]
        infos = {"seat": seat, "seat_rewards": seat_rewards}
        return (self._observations(), rewards, games.terminated.copy(), np.zeros(self.num_envs, np.bool_), infos)


gymnasium.register("vexlan_rl/SelfPlay-v0", vector_entry_point="vexlan_rl.rl.vector_env:SelfPlayVectorEnv")
