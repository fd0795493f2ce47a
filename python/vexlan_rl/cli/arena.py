"""`python -m vexlan_rl arena`: ranks four players over games with rotated seats."""

import argparse
import random
import sys
import time
from collections.abc import Sequence
from functools import partial
from pathlib import Path

from vexlan_rl._engine import NUM_SEATS as SEATS
from vexlan_rl.cli.arguments import INTERRUPTED, add_progress_option, opening_count, positive_int, thread_count
from vexlan_rl.cli.progress import ProgressBar
from vexlan_rl.players import Estimate, Player, PlayerResult, evaluate, parse_players
from vexlan_rl.players.arena import check_rotated_games
from vexlan_rl.players.specs import SPEC_HELP
from vexlan_rl.records import save_games


def players_argument(text: str) -> list[Player]:
    try:
        return parse_players(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def parse_arguments(argv: Sequence[str] | None, prog: str | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog=prog,
        description="Plays games between four players, rotating seats so that every player sits in every "
                    "seat equally often, and prints each player's win share, mean score and mean rank "
                    "with 95% confidence intervals and, where openskill is installed, its Plackett-Luce "
                    "rating: mean mu, standard deviation sigma and the conservative mu - 3 sigma. "
                    "Players: " + SPEC_HELP + ".",
    )
    parser.add_argument("--players", type=players_argument, default=parse_players("greedy,random,random,random"),
                        metavar="SPECS",
                        help="four comma-separated players, e.g. mcts:1000,greedy,random,random "
                             "(default: greedy,random,random,random)")
    parser.add_argument("-n", "--games", type=positive_int, default=200, metavar="N",
                        help=f"number of games, a multiple of {SEATS} (default: %(default)s)")
    parser.add_argument("-t", "--threads", type=thread_count, default=1, metavar="T",
                        help="threads that play games at once (default: %(default)s)")
    parser.add_argument("-s", "--seed", type=int, default=None,
                        help="seed of the games; the same seed plays the same games on any number of threads "
                             "(default: a fresh seed, printed with the result)")
    parser.add_argument("--openings", type=opening_count, default=0, metavar="K",
                        help="open every game with K random placements, the same for the four games that rotate "
                             "the seats, so that players who never draw at random (greedy, a network's most "
                             "likely move) meet in different games (default: %(default)s)")
    add_progress_option(parser)
    parser.add_argument("--save-games", type=Path, default=None, metavar="DIR",
                        help="save every game as a record in DIR, named by its game number: game-000000.jsonl "
                             "on (see the replay command)")
    parser.add_argument("--ray", nargs="?", const="", default=None, metavar="ADDRESS",
                        help="play the games in shards over Ray tasks of T threads each, the same games and "
                             "results: on a Ray started on this machine, or on the cluster at ADDRESS "
                             "(needs the ray extra)")
    arguments = parser.parse_args(argv)
    try:
        check_rotated_games(arguments.games)
    except ValueError as error:
        parser.error(f"argument -n/--games: {error}")
    if arguments.ray is not None:
        if arguments.save_games is not None:
            parser.error("argument --save-games: not with --ray, whose shards return no games")
        try:
            from vexlan_rl import distributed
        except ImportError as missing:
            parser.error(f"argument --ray: {missing}")
        arguments.play = partial(distributed.arena, address=arguments.ray or None)
    else:
        arguments.play = evaluate
    return arguments


def interval(estimate: Estimate, digits: int) -> str:
    return f"{estimate.mean:.{digits}f} [{estimate.low:.{digits}f}, {estimate.high:.{digits}f}]"


def table(header: Sequence[str], rows: Sequence[Sequence[str]]) -> str:
    """Columns aligned under `header`: the first to the left, the others to the right."""
    widths = [max(len(row[column]) for row in [header, *rows]) for column in range(len(header))]
    return "\n".join("  ".join(f"{cell:<{width}}" if column == 0 else f"{cell:>{width}}"
                               for column, (cell, width) in enumerate(zip(row, widths)))
                     for row in [header, *rows])


def results_table(results: Sequence[PlayerResult]) -> str:
    """The table of `results`, with the rating columns where there are ratings (openskill installed)."""
    header = ["player", "win share [95% CI]", "mean score [95% CI]", "mean rank [95% CI]"]
    rows = [[f"{index}: {result.player}", interval(result.win_share, 3), interval(result.score, 1),
             interval(result.rank, 2)] for index, result in enumerate(results)]
    ratings = [result.rating for result in results if result.rating is not None]
    if len(ratings) == len(results):
        header += ["mu", "sigma", "mu - 3 sigma"]
        for row, rating in zip(rows, ratings):
            row += [f"{rating.mu:.2f}", f"{rating.sigma:.2f}", f"{rating.conservative:.2f}"]
    return table(header, rows)


def main(argv: Sequence[str] | None = None, prog: str | None = None) -> int:
    """Runs the arena command with `argv` and returns the exit status."""
    arguments = parse_arguments(argv, prog)
    seed = arguments.seed if arguments.seed is not None else random.randrange(2**32)
    progress = ProgressBar(arguments.games, "games", sys.stderr, arguments.progress)
    saving = {} if arguments.save_games is None else {
        "on_games": partial(save_games, arguments.save_games, arguments.players, seed)}
    started = time.perf_counter()
    try:
        results = arguments.play(arguments.players, arguments.games, seed, arguments.threads,
                                 progress=progress.update, openings=arguments.openings, **saving)
    except KeyboardInterrupt:
        progress.close(0)
        print("Interrupted", file=sys.stderr)
        return INTERRUPTED
    seconds = time.perf_counter() - started
    progress.close(arguments.games)
    where = f"{arguments.threads} thread(s)" + ("" if arguments.ray is None else " per Ray task")
    opened = f", each opened by {arguments.openings} random placements" if arguments.openings else ""
    print(f"{arguments.games} games (seed {seed}{opened}) in {seconds:.2f} s on {where}, "
          f"{arguments.games / seconds:.1f} games per second; seats rotated, every player in every seat "
          f"{arguments.games // 4} times")
    print(results_table(results))
    return 0
