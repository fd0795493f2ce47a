"""PPO with action masking on the PettingZoo environment, trained with Ray's RLlib.

    pip install -c tools/constraints.txt torch '.[ray]'   # from a checkout; the pinned torch is a CPU build
    python examples/rllib_ppo.py --iterations 20                   # this machine, CPU only
    python examples/rllib_ppo.py --address HEAD_IP:6379 --env-runners 8   # a running Ray cluster

One policy plays all four seats. Each seat sees the game in its own frame, as
one flat uint8 vector (the 12 planes, then the pieces each seat holds, then
which seats are out of moves) beside the int8 action mask. The network reads
the planes back as a 12 x 20 x 20 image: two 3 x 3 convolutions, with the
pieces in hand added to every cell as a learned bias, and a 1 x 1 convolution
with 91 channels, one per orientation, whose output is exactly the
(91, 20, 20) action grid. That head costs about 3,000 weights where a dense
layer over the 36,400 actions would cost millions.

Rewards are win shares: a seat's return is its share of the win, paid on the
last step. The four shares add up to 1, so the "episode return" RLlib reports,
the sum over the four seats, is always 1 and says nothing about learning; read
the per-agent returns, or the arena table printed at the end, which plays the
trained policy against three random players with seats rotated.

The run saves a checkpoint, reloads the policy from it and evaluates that.
"""

import argparse
import sys
import tempfile
from pathlib import Path
from typing import Any

import numpy as np
import ray
import torch
from gymnasium import spaces
from ray.rllib.algorithms.ppo import PPOConfig
from ray.rllib.algorithms.ppo.torch.default_ppo_torch_rl_module import DefaultPPOTorchRLModule
from ray.rllib.core.columns import Columns
from ray.rllib.core.models.base import ACTOR, CRITIC, ENCODER_OUT
from ray.rllib.core.rl_module.multi_rl_module import MultiRLModuleSpec
from ray.rllib.core.rl_module.rl_module import RLModule, RLModuleSpec
from ray.rllib.env.wrappers.pettingzoo_env import PettingZooEnv
from ray.tune.registry import register_env
from torch import nn

from vexlan_rl import PyVexlan
from vexlan_rl.actions import BOARD, SEATS
from vexlan_rl.cli.arena import results_table
from vexlan_rl.players import GameRecord, RandomPlayer, summarize
from vexlan_rl.rl.env import env
from vexlan_rl.rl.spaces import PIECES, PLANES

POLICY = "shared"
ORIENTATIONS = PyVexlan.action_grid_shape[0]
PLANE_VALUES = PLANES * BOARD * BOARD
HAND_VALUES = SEATS * PIECES + SEATS  # pieces in hand, then done flags
FLAT_VALUES = PLANE_VALUES + HAND_VALUES


def flat_observation(observation: dict[str, np.ndarray]) -> dict[str, np.ndarray]:
    """The environment's observation as the flat vector and the mask the module reads."""
    flat = np.concatenate([observation["observation"].ravel(), observation["pieces"].ravel(), observation["done"]])
    return {"observations": flat, "action_mask": observation["action_mask"]}


class FlatVexlanEnv(PettingZooEnv):  # type: ignore[misc]
    """The PettingZoo environment as an RLlib multi-agent env with flat observations."""

    def __init__(self, config: dict[str, Any] | None = None) -> None:
        super().__init__(env(reward_mode="win_share"))
        space = spaces.Dict({
            "observations": spaces.Box(0, 1, (FLAT_VALUES,), np.uint8),
            "action_mask": spaces.Box(0, 1, (PyVexlan.num_actions,), np.int8),
        })
        self.observation_spaces = dict.fromkeys(self.observation_spaces, space)
        self.observation_space = spaces.Dict(self.observation_spaces)

    def reset(self, *, seed: int | None = None, options: dict[str, Any] | None = None) -> Any:
        observations, infos = super().reset(seed=seed, options=options)
        return {agent: flat_observation(seen) for agent, seen in observations.items()}, infos

    def step(self, action: dict[str, int]) -> Any:
        observations, *rest = super().step(action)
        return ({agent: flat_observation(seen) for agent, seen in observations.items()}, *rest)


class Trunk(nn.Module):
    """Convolutions over the planes, with the hands added to every cell as a bias."""

    def __init__(self, channels: int) -> None:
        super().__init__()
        self.planes = nn.Conv2d(PLANES, channels, 3, padding=1)
        self.hands = nn.Linear(HAND_VALUES, channels)
        self.mix = nn.Conv2d(channels, channels, 3, padding=1)

    def forward(self, batch: dict[str, Any]) -> dict[str, Any]:
        flat = batch[Columns.OBS]["observations"].float()
        planes = flat[:, :PLANE_VALUES].reshape(-1, PLANES, BOARD, BOARD)
        hands = self.hands(flat[:, PLANE_VALUES:])[:, :, None, None]
        features = torch.relu(self.mix(torch.relu(self.planes(planes) + hands)))
        return {ENCODER_OUT: {ACTOR: features, CRITIC: features}}


class MaskedConvModule(DefaultPPOTorchRLModule):  # type: ignore[misc]
    """PPO's default module with the convolutional trunk and heads above; illegal
    actions get the smallest float as logit. Not -inf: a row whose mask is empty
    (the last observation of a finished game) would turn into NaN."""

    def setup(self) -> None:
        channels = self.model_config.get("channels", 32)
        self.encoder = Trunk(channels)
        self.pi = nn.Sequential(nn.Conv2d(channels, ORIENTATIONS, 1), nn.Flatten())
        self.vf = nn.Sequential(nn.Conv2d(channels, 2, 1), nn.Flatten(), nn.Linear(2 * BOARD * BOARD, 1))

    def _masked(self, batch: dict[str, Any], output: dict[str, Any]) -> dict[str, Any]:
        logits = output[Columns.ACTION_DIST_INPUTS]
        legal = batch[Columns.OBS]["action_mask"].bool()
        output[Columns.ACTION_DIST_INPUTS] = logits.masked_fill(~legal, torch.finfo(logits.dtype).min)
        return output

    def _forward(self, batch: dict[str, Any], **kwargs: Any) -> dict[str, Any]:
        return self._masked(batch, super()._forward(batch, **kwargs))

    def _forward_train(self, batch: dict[str, Any], **kwargs: Any) -> dict[str, Any]:
        return self._masked(batch, super()._forward_train(batch, **kwargs))


class PolicyPlayer:
    """The trained policy as a player: its most likely legal move in the mover's frame."""

    spec = "trained policy"

    def __init__(self, module: RLModule) -> None:
        self.module = module

    def act(self, game: PyVexlan) -> int:
        seen = game.observe(game.agent_selection)
        observation = flat_observation({
            "observation": np.frombuffer(seen.observation + seen.corners + seen.blocked, np.uint8),
            "pieces": np.frombuffer(seen.pieces, np.uint8),
            "done": np.frombuffer(seen.done, np.uint8),
            "action_mask": np.frombuffer(seen.action_mask, np.int8),
        })
        batch = {Columns.OBS: {key: torch.from_numpy(value.copy())[None] for key, value in observation.items()}}
        logits = self.module.forward_inference(batch)[Columns.ACTION_DIST_INPUTS]
        return int(logits.argmax())


def evaluate_against_random(policy: PolicyPlayer, games: int, seed: int) -> None:
    """Plays the policy against three of the arena's random players, seated as
    the arena seats them (player (s + g) mod 4 in seat s of game g), and prints
    the arena's table. A random seat wins 0.25."""
    lineup = [policy, *(RandomPlayer(seed + number) for number in range(1, SEATS))]
    records = []
    for number in range(games):
        seated = tuple((seat + number) % SEATS for seat in range(SEATS))
        game = PyVexlan()
        while not game.is_over:
            mover = game.agent_selection
            game.step(None if game.terminations[mover] else lineup[seated[mover]].act(game))
        # A rank reward r is place 1 + 3 (1 - r): 1 first, 4 last, ties sharing.
        places = tuple(1 + (SEATS - 1) * (1 - reward) for reward in game.outcome("rank"))
        records.append(GameRecord(seated, tuple(game.scores), tuple(game.outcome("win_share")), places, game.ply))
    print(f"{games} games against three random players, seats rotated:")
    print(results_table(summarize(lineup, records)))


def training_config(arguments: argparse.Namespace) -> PPOConfig:
    return (
        PPOConfig()
        .environment("vexlan", disable_env_checking=True)  # its check steps random, illegal actions
        .multi_agent(policies={POLICY}, policy_mapping_fn=lambda agent, episode, **_: POLICY)
        .rl_module(rl_module_spec=MultiRLModuleSpec(rl_module_specs={
            POLICY: RLModuleSpec(module_class=MaskedConvModule, model_config={"channels": arguments.channels}),
        }))
        .env_runners(num_env_runners=arguments.env_runners, num_cpus_per_env_runner=1,
                     rollout_fragment_length="auto")
        .learners(num_learners=0)
        .training(train_batch_size_per_learner=arguments.batch, minibatch_size=min(arguments.batch, 256),
                  num_epochs=arguments.epochs, lr=3e-4, entropy_coeff=0.01)
        .debugging(seed=arguments.seed)
    )


def parse_arguments(argv: list[str] | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--address", default=None,
                        help="address of a running Ray cluster (default: start Ray on this machine)")
    parser.add_argument("--cpus", type=int, default=2, help="CPUs for a Ray started here (default: %(default)s)")
    parser.add_argument("--env-runners", type=int, default=1, help="sampling processes (default: %(default)s)")
    parser.add_argument("--iterations", type=int, default=5, help="training iterations (default: %(default)s)")
    parser.add_argument("--batch", type=int, default=2000,
                        help="agent steps per training iteration (default: %(default)s)")
    parser.add_argument("--epochs", type=int, default=4, help="passes over each batch (default: %(default)s)")
    parser.add_argument("--channels", type=int, default=32, help="convolution channels (default: %(default)s)")
    parser.add_argument("--eval-games", type=int, default=40,
                        help="games against three random players (default: %(default)s)")
    parser.add_argument("--seed", type=int, default=0, help="seed of training and evaluation (default: %(default)s)")
    parser.add_argument("--checkpoint", type=Path, default=None,
                        help="directory for the checkpoint (default: a temporary directory)")
    return parser.parse_args(argv)


def main(argv: list[str] | None = None) -> int:
    arguments = parse_arguments(argv)
    # On a busy machine torch's default thread count makes each update slower and erratic.
    torch.set_num_threads(1)
    if arguments.address:
        ray.init(address=arguments.address)
    else:
        ray.init(num_cpus=arguments.cpus, include_dashboard=False)
    register_env("vexlan", FlatVexlanEnv)
    algorithm = training_config(arguments).build_algo()
    for iteration in range(1, arguments.iterations + 1):
        result = algorithm.train()
        runners = result["env_runners"]
        returns = runners.get("agent_episode_returns_mean", {})
        print(f"iteration {iteration}: {int(runners.get('num_episodes_lifetime', 0))} games so far, "
              f"mean return per seat {', '.join(f'{agent} {value:.3f}' for agent, value in sorted(returns.items()))}, "
              f"{result['time_this_iter_s']:.1f} s", flush=True)
    checkpoint = arguments.checkpoint or Path(tempfile.mkdtemp(prefix="vexlan_ppo_"))
    algorithm.save_to_path(checkpoint.absolute())
    algorithm.stop()
    print(f"checkpoint saved in {checkpoint}")
    module = RLModule.from_checkpoint(checkpoint.absolute() / "learner_group" / "learner" / "rl_module" / POLICY)
    evaluate_against_random(PolicyPlayer(module), arguments.eval_games, arguments.seed)
    return 0


if __name__ == "__main__":
    sys.exit(main())
