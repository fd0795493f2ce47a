"""Trains sb3-contrib's MaskablePPO on one seat against random opponents,
then plays a few games with the learned policy and prints its outcomes.

    python examples/train_maskable_ppo.py --timesteps 20000

Needs `pip install -c tools/constraints.txt torch '.[sb3]'` from a checkout,
in a CPython 3.11 virtual environment: the constraints pin torch to the
release that is a CPU build there. The policy reads the board planes and the pieces in hand
(see seat_env.py); a few hundred steps only check that everything fits
together, real learning takes millions.
"""

import argparse
import sys
from collections.abc import Sequence
from pathlib import Path

import numpy as np
import torch
from sb3_contrib import MaskablePPO

sys.path.insert(0, str(Path(__file__).resolve().parent))
from seat_env import SeatEnv  # noqa: E402


def train(timesteps: int, seed: int = 0, reward_mode: str = "win_share", threads: int = 1) -> MaskablePPO:
    """A policy trained on `timesteps` learner moves. One torch thread by default:
    a network this small gains nothing from more, and they slow each other down
    on a busy machine."""
    torch.set_num_threads(threads)
    model = MaskablePPO("MultiInputPolicy", SeatEnv(reward_mode), n_steps=128, batch_size=64, n_epochs=2,
                        policy_kwargs={"net_arch": [128]}, seed=seed, verbose=0)
    return model.learn(total_timesteps=timesteps)


def evaluate(model: MaskablePPO, games: int, seed: int = 1) -> list[float]:
    """The learner's outcome in each of `games` games, always choosing its most likely legal move."""
    environment = SeatEnv(model.env.get_attr("reward_mode")[0])
    outcomes = []
    for game in range(games):
        observation, _ = environment.reset(seed=seed + game)
        terminated = False
        reward = 0.0
        while not terminated:
            action, _ = model.predict(observation, action_masks=environment.action_masks(), deterministic=True)
            observation, reward, terminated, _, _ = environment.step(int(action))
        outcomes.append(float(reward))
    return outcomes


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--timesteps", type=int, default=20000, help="learner moves to train on (default: %(default)s)")
    parser.add_argument("--games", type=int, default=10, help="games to evaluate afterwards (default: %(default)s)")
    parser.add_argument("--seed", type=int, default=0)
    parser.add_argument("--threads", type=int, default=1, help="torch threads (default: %(default)s)")
    arguments = parser.parse_args(argv)
    model = train(arguments.timesteps, arguments.seed, threads=arguments.threads)
    outcomes = evaluate(model, arguments.games, arguments.seed + 1)
    print(f"trained on {model.num_timesteps} moves; win share over {len(outcomes)} games: "
          f"{np.mean(outcomes):.3f} (random play: 0.25)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
