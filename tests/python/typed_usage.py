"""A small program written against the typed API, as a user would write it.

The test suite checks it with `mypy --strict` and also runs it, so that it
stays both well typed and true.
"""

import copy
import pickle
import random
from typing import Any

import numpy as np
import numpy.typing as npt

from vexlan_rl import PyObservation, PyVexlan
from vexlan_rl.batch import GameBatch
from vexlan_rl.env import VexlanEnv, raw_env  # the former path: mypy checks that it still re-exports


def occupied(view: PyObservation) -> npt.NDArray[np.uint8]:
    planes: npt.NDArray[np.uint8] = np.frombuffer(view.observation, dtype=np.uint8)
    return planes.reshape(4, 20, 20)


def play_out(game: PyVexlan, rng: random.Random) -> list[float]:
    while not game.is_over:
        seat: int = game.agent_selection
        moves = game.legal_actions(seat)
        game.step(rng.choice(moves) if moves else None)
    outcome: list[float] | None = game.outcome("rank")
    assert outcome is not None
    return outcome


def main() -> None:
    rng = random.Random(5)
    game = PyVexlan()
    assert PyVexlan.num_actions == 36400
    shape: tuple[int, int, int] = PyVexlan.action_grid_shape
    names: tuple[str, ...] = PyVexlan.piece_names
    assert shape == (91, 20, 20) and len(names) == 21
    for _ in range(8):
        game.step(rng.choice(game.legal_actions(game.agent_selection)))
    view = game.observe(0)
    assert int(occupied(view).sum()) > 0 and len(view.pieces) == 84 and len(view.done) == 4
    assert view.corners != view.blocked

    saved: bytes = game.to_bytes()
    twin: PyVexlan = PyVexlan.from_bytes(saved)
    unpickled = pickle.loads(pickle.dumps(game))
    assert isinstance(unpickled, PyVexlan) and unpickled.to_bytes() == saved
    branch = game.copy()
    assert copy.deepcopy(game).to_bytes() == copy.copy(game).to_bytes() == saved
    play_out(branch, random.Random(1))
    assert twin.to_bytes() == game.to_bytes() == saved != branch.to_bytes()

    outcome = play_out(game, rng)
    scores: list[int] = game.scores
    rewards: list[int | None] = game.rewards
    terminations: list[bool] = game.terminations
    assert rewards == scores and all(terminations) and len(outcome) == 4

    environment: VexlanEnv = raw_env(reward_mode="score")
    environment.reset(seed=3)
    first: dict[str, npt.NDArray[Any]] = environment.observe(environment.agent_selection)
    action = environment.action_space(environment.agent_selection).sample(first["action_mask"])
    environment.step(int(action))
    assert environment.game.ply == 1

    games = GameBatch(4, threads=2, seed=1, reward_mode="rank", dense_mask=True)
    games.step(games.sample_actions(np.random.default_rng(0)))
    games.step_random()
    legal: npt.NDArray[np.uint16] = games.legal(0)
    assert games.action_mask is not None and int(games.action_mask[0].sum()) == legal.size
    games.load(1, games.state(0))
    assert games.state(1) == games.state(0) and games.observation.shape == (4, 12, 20, 20)


if __name__ == "__main__":
    main()
