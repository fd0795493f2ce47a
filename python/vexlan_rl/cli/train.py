"""`python -m vexlan_rl train`: self-play PPO for a given time (needs the torch extra); see
`vexlan_rl.nn.trainer` for what the run writes."""

import argparse
import sys
from collections.abc import Sequence
from pathlib import Path
from typing import Any

from vexlan_rl.cli.arguments import INTERRUPTED, add_progress_option, opening_count, positive_int
from vexlan_rl.cli.progress import ProgressBar

REWARD_MODES = ("win_share", "rank", "score")
ALGORITHMS = ("ppo", "alphazero")
# As vexlan_rl.nn's settings, which need torch to import.
LEARNING_RATES = {"ppo": 2e-3, "alphazero": 1e-3}
PPO_EPOCHS = 2
SEARCH_DEFAULTS = {"simulations": 32, "leaves": 8}


def positive_minutes(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number: {text!r}") from None
    if not value > 0:
        raise argparse.ArgumentTypeError(f"must be more than 0, not {text}")
    return value


def parse_arguments(argv: Sequence[str] | None, prog: str | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog=prog,
        description="Trains a network by self-play (one network in all four seats) for the time given, by PPO "
                    "or by learning from self-play searches (alphazero), evaluating it now and then against "
                    "three random and three greedy players, and writes checkpoints, metrics.csv, "
                    "evaluations.csv and curve.png to the output folder. A snapshot plays in the arena as "
                    "policy:PATH, or steering a search as az:PATH:SIMULATIONS.")
    parser.add_argument("--minutes", type=positive_minutes, required=True, help="wall time of the run")
    parser.add_argument("--out", type=Path, required=True, metavar="DIR", help="the run's folder")
    parser.add_argument("--resume", action="store_true",
                        help="go on with the run in DIR, with its saved settings (the options below are ignored)")
    parser.add_argument("--start-from", default="", metavar="CHECKPOINT",
                        help="start a new run from the network saved in CHECKPOINT (a run's checkpoint or snapshot); "
                             "its size and reward mode replace --channels, --blocks and --reward-mode")
    parser.add_argument("--device", default="cpu", help="torch device, e.g. cuda (default: %(default)s)")
    parser.add_argument("--algorithm", choices=ALGORITHMS, default="ppo",
                        help="ppo: policy gradients on sampled moves; alphazero: the policy learns the visit "
                             "distributions of a search that it steers, the values the games' outcomes "
                             "(default: %(default)s)")
    parser.add_argument("--games", type=positive_int, default=128, help="games played side by side (default: %(default)s)")
    parser.add_argument("--rollout-steps", type=positive_int, default=32,
                        help="moves of every game between updates (default: %(default)s)")
    parser.add_argument("--channels", type=positive_int, default=32, help="network width (default: %(default)s)")
    parser.add_argument("--blocks", type=int, default=1, help="residual convolutions (default: %(default)s)")
    parser.add_argument("--reward-mode", choices=REWARD_MODES, default="win_share",
                        help="what each seat is credited with (default: %(default)s)")
    parser.add_argument("--learning-rate", type=float,
                        help="Adam's step size (default: {ppo} for ppo, {alphazero} for alphazero)".format(
                            **LEARNING_RATES))
    parser.add_argument("--epochs", type=positive_int, default=PPO_EPOCHS,
                        help="ppo: passes over each rollout (default: %(default)s)")
    parser.add_argument("--train-opponent", default="", metavar="PLAYER",
                        help="ppo: an engine player (e.g. greedy) that takes three seats of a share of the games, "
                             "the network the fourth; the rest is self-play (default: self-play only)")
    parser.add_argument("--train-opponent-share", type=float, default=0.5, metavar="SHARE",
                        help="ppo: the share of the games played against --train-opponent (default: %(default)s)")
    parser.add_argument("--train-openings", type=opening_count, default=0, metavar="K",
                        help="ppo: open each new training game with 0 to K random placements, so that the network "
                             "meets many positions, not just the lines a deterministic opponent plays "
                             "(default: %(default)s)")
    parser.add_argument("--teacher", default="", metavar="PLAYER",
                        help="ppo: an engine player (e.g. greedy) whose move at each of the network's positions the "
                             "policy also learns, by cross-entropy, at full weight at first and at none after "
                             "--imitate-minutes of training (default: none)")
    parser.add_argument("--imitate-minutes", type=positive_minutes, default=10.0, metavar="M",
                        help="ppo: training time over which the teacher's weight falls to nothing "
                             "(default: %(default)s)")
    parser.add_argument("--simulations", type=positive_int, default=SEARCH_DEFAULTS["simulations"],
                        help="alphazero: simulations a self-play move (default: %(default)s)")
    parser.add_argument("--leaves", type=positive_int, default=SEARCH_DEFAULTS["leaves"],
                        help="alphazero: leaves of a tree judged together (default: %(default)s)")
    parser.add_argument("--threads", type=positive_int, default=1, help="torch threads (default: %(default)s)")
    parser.add_argument("--seed", type=int, default=0, help="(default: %(default)s)")
    parser.add_argument("--eval-minutes", type=positive_minutes, default=2.0,
                        help="training time between evaluations (default: %(default)s)")
    parser.add_argument("--eval-games", type=positive_int, default=100,
                        help="games against each opponent, a multiple of 4 (default: %(default)s)")
    parser.add_argument("--eval-simulations", type=int, default=0,
                        help="evaluate the network steering a search of this many simulations a move, as "
                             "az:PATH:N; 0 evaluates its most likely move (default: %(default)s)")
    parser.add_argument("--eval-openings", type=opening_count, default=4, metavar="K",
                        help="random placements that open each evaluation game, the same for the four games "
                             "that rotate the seats, so that the network's most likely move and the greedy "
                             "player meet in different games (default: %(default)s, one a seat)")
    parser.add_argument("--save-games", action="store_true",
                        help="keep every evaluation game as a record, in games/ under the run's folder")
    parser.add_argument("--opponents", default="random,greedy",
                        help="opponent kinds to evaluate against, three of each kind (default: %(default)s)")
    add_progress_option(parser)
    return parser.parse_args(argv)


def print_evaluation(rows: list[dict[str, Any]]) -> None:
    for row in rows:
        print(f"{row['train_seconds'] / 60:6.1f} min {row['agent_steps']:>10,} agent steps: vs three "
              f"{row['opponent']}: win share {row['win_share']:.3f} [{row['low']:.3f}, {row['high']:.3f}]",
              flush=True)


def main(argv: Sequence[str] | None = None, prog: str | None = None) -> int:
    """Runs the train command with `argv` and returns the exit status."""
    arguments = parse_arguments(argv, prog)
    try:
        from vexlan_rl.nn.alphazero import AlphaZeroSettings
        from vexlan_rl.nn.curve import draw_curve
        from vexlan_rl.nn.network import NetworkSettings
        from vexlan_rl.nn.ppo import PpoSettings
        from vexlan_rl.nn.settings import TrainSettings
        from vexlan_rl.nn.trainer import Trainer
    except ImportError as missing:
        print(f"train: {missing}", file=sys.stderr)
        return 2
    try:
        learning_rate = arguments.learning_rate or LEARNING_RATES[arguments.algorithm]
        settings = TrainSettings(
            algorithm=arguments.algorithm, games=arguments.games, rollout_steps=arguments.rollout_steps,
            seed=arguments.seed, start_from=arguments.start_from,
            threads=arguments.threads, eval_seconds=60 * arguments.eval_minutes, eval_games=arguments.eval_games,
            eval_simulations=arguments.eval_simulations, eval_openings=arguments.eval_openings,
            save_games=arguments.save_games,
            eval_opponents=tuple(arguments.opponents.split(",")),
            network=NetworkSettings(channels=arguments.channels, blocks=arguments.blocks,
                                    reward_mode=arguments.reward_mode),
            ppo=PpoSettings(learning_rate=learning_rate, epochs=arguments.epochs, opponent=arguments.train_opponent,
                            opponent_share=arguments.train_opponent_share, openings=arguments.train_openings,
                            teacher=arguments.teacher, imitation_seconds=60 * arguments.imitate_minutes),
            alphazero=AlphaZeroSettings(simulations=arguments.simulations, leaves=arguments.leaves,
                                        learning_rate=learning_rate))
        trainer = Trainer(arguments.out, None if arguments.resume else settings, resume=arguments.resume,
                          device=arguments.device)
    except (ValueError, OSError, RuntimeError) as error:
        print(f"train: {error}", file=sys.stderr)
        return 2
    seconds = 60 * arguments.minutes
    progress = ProgressBar(round(seconds), "s", sys.stderr, arguments.progress)
    try:
        trainer.run(seconds, progress=lambda elapsed: progress.update(min(round(elapsed), round(seconds))),
                    on_evaluation=print_evaluation)
    except KeyboardInterrupt:
        progress.close(0)
        trainer.save()
        print(f"Interrupted; the run is saved in {arguments.out} (go on with --resume)", file=sys.stderr)
        return INTERRUPTED
    except FloatingPointError as error:
        progress.close(0)
        print(f"train: {error}", file=sys.stderr)
        return 1
    progress.close(round(seconds))
    curve = draw_curve(arguments.out)
    print(f"{trainer.agent_steps:,} agent steps in {trainer.train_seconds / 60:.1f} min of training; "
          f"checkpoint {arguments.out / 'checkpoint.pt'}" + (f", curve {curve}" if curve else
                                                           " (no curve: matplotlib is missing)"))
    return 0
