"""The default command: random self-play games with a summary of the results."""

import argparse
import random
import sys
import time
from collections.abc import Sequence
from pathlib import Path

from vexlan_rl._engine import pass_done_seats
from vexlan_rl._version import __version__
from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.cli.arguments import INTERRUPTED, add_progress_option, positive_int
from vexlan_rl.cli.progress import ProgressBar
from vexlan_rl.records import record_name, write_record
from vexlan_rl.render.compact_board import colour_wanted, compact_board

SEATS = range(4)


def play_random_game(game: PyVexlan, rng: random.Random) -> list[int]:
    """Plays `game` to the end, each agent picking uniformly among its legal moves; returns the
    placements made, grid indices in each mover's frame."""
    moves = []
    pass_done_seats(game)
    while not game.is_over:
        # Ascending, so that a seed keeps giving the games it always gave.
        actions = sorted(game.legal_actions(game.agent_selection))
        moves.append(actions[rng.randrange(len(actions))])
        game.step(moves[-1])
        pass_done_seats(game)
    return moves


def final_outcome(game: PyVexlan, reward_mode: str) -> list[float]:
    outcome = game.outcome(reward_mode)
    if outcome is None:
        raise RuntimeError("the game is not over")
    return outcome


def parse_arguments(argv: Sequence[str] | None, prog: str | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog=prog,
        description="Plays random self-play games of the four-player placement game: every agent picks "
                    "uniformly among its legal placements. Prints the final board of the last game, its "
                    "scores and outcome, and a summary of all games.",
        epilog="Subcommands: arena ranks four players against each other, league rates a pool of players "
               "kept in a file, play seats you against three, replay draws a saved game; see each one's --help.",
    )
    parser.add_argument("-n", "--games", type=positive_int, default=100, metavar="N",
                        help="number of games to play (default: %(default)s)")
    parser.add_argument("-s", "--seed", type=int, default=None,
                        help="seed of the random choices; the same seed plays the same games "
                             "(default: a fresh seed, printed with the result)")
    parser.add_argument("-r", "--reward-mode", choices=PyVexlan.reward_modes, default="win_share",
                        help="reward mode of the last game's outcome (default: %(default)s)")
    parser.add_argument("--no-board", dest="board", action="store_false",
                        help="do not print the final board of the last game")
    parser.add_argument("--board", dest="board_style", choices=("plain", "color", "full"), default=None,
                        help="how to draw the board: 'plain' text of 80 columns with a digit per agent, the same "
                             "in 'color', or 'full', the 103-column coloured form of render() (default: 'color' "
                             "on a terminal unless NO_COLOR is set, else 'plain')")
    parser.add_argument("--save-games", type=Path, default=None, metavar="DIR",
                        help="save every game as a record in DIR, game-000000.jsonl on (see the replay command)")
    parser.add_argument("--version", action="version", version=f"%(prog)s {__version__}")
    add_progress_option(parser)
    return parser.parse_args(argv)


def seat_table(rows: Sequence[tuple[str, Sequence[str]]]) -> str:
    label_width = max(len(label) for label, _ in rows)
    header = " " * label_width + "".join(f"{f'agent {seat}':>10}" for seat in SEATS)
    lines = [f"{label:<{label_width}}" + "".join(f"{cell:>10}" for cell in cells) for label, cells in rows]
    return "\n".join([header, *lines])


def board_view(game: PyVexlan, style: str | None) -> str:
    """The board in `style` ("plain", "color" or "full"; None chooses for standard output)."""
    if style == "full":
        return game.text()
    return compact_board(game, colour=style == "color" or (style is None and colour_wanted(sys.stdout)))


def show_last_game(game: PyVexlan, number: int, seed: int, reward_mode: str, board: bool,
                   style: str | None = None) -> None:
    print(f"Last game (game {number}, seed {seed}): {game.ply} placements")
    if board:
        print(board_view(game, style))
    print(seat_table([
        ("score", [str(score) for score in game.scores]),
        (f"outcome ({reward_mode})", [f"{reward:.4g}" for reward in final_outcome(game, reward_mode)]),
    ]))


def show_summary(games: int, seconds: float, plies: int, score_sums: list[int], win_sums: list[float]) -> None:
    print(f"\nSummary: {games} games in {seconds:.2f} s, {games / seconds:.1f} games per second, "
          f"{plies / games:.1f} placements per game")
    print(seat_table([
        ("mean score", [f"{total / games:.2f}" for total in score_sums]),
        ("win share", [f"{total / games:.3f}" for total in win_sums]),
    ]))


def run(arguments: argparse.Namespace) -> int:
    seed = arguments.seed if arguments.seed is not None else random.randrange(2**32)
    rng = random.Random(seed)
    game = PyVexlan()
    score_sums = [0] * 4
    win_sums = [0.0] * 4
    plies = 0
    played = 0
    if arguments.save_games is not None:
        arguments.save_games.mkdir(parents=True, exist_ok=True)
    progress = ProgressBar(arguments.games, "games", sys.stderr, arguments.progress)
    started = time.perf_counter()
    try:
        while played < arguments.games:
            game.reset()
            moves = play_random_game(game, rng)
            if arguments.save_games is not None:
                write_record(arguments.save_games / record_name(played), ["random"] * 4, seed, moves, game,
                             game=played)
            played += 1
            plies += game.ply
            score_sums = [total + score for total, score in zip(score_sums, game.scores)]
            win_sums = [total + share for total, share in zip(win_sums, final_outcome(game, "win_share"))]
            progress.update(played)
    except KeyboardInterrupt:
        progress.close(played)
        print(f"Interrupted after {played} of {arguments.games} games", file=sys.stderr)
        if played:
            show_summary(played, time.perf_counter() - started, plies, score_sums, win_sums)
        return INTERRUPTED
    seconds = time.perf_counter() - started
    progress.close(played)
    show_last_game(game, played, seed, arguments.reward_mode, arguments.board, arguments.board_style)
    show_summary(played, seconds, plies, score_sums, win_sums)
    return 0


def main(argv: Sequence[str] | None = None, prog: str | None = None) -> int:
    """Runs the self-play command with `argv` and returns the exit status."""
    return run(parse_arguments(argv, prog))
