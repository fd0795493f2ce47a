"""`python -m vexlan_rl play`: a human seat against three players, in the terminal."""

import argparse
import random
import sys
from collections.abc import Sequence
from pathlib import Path

from vexlan_rl.cli.arguments import INTERRUPTED, positive_int
from vexlan_rl.human import Session
from vexlan_rl.players import Player, parse_player
from vexlan_rl.players.specs import SPEC_HELP
from vexlan_rl.render.compact_board import colour_wanted


def opponents_argument(text: str) -> list[Player]:
    parts = text.split(",")
    if len(parts) != 3:
        raise argparse.ArgumentTypeError(f"need 3 opponents, one per other seat, not {len(parts)}: {text!r}")
    try:
        return [parse_player(part) for part in parts]
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def parse_arguments(argv: Sequence[str] | None, prog: str | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog=prog,
        description="Plays a game in the terminal: you hold one seat, three players the others. Type help at "
                    "the prompt for the commands. Opponents: " + SPEC_HELP + ".")
    parser.add_argument("--opponents", type=opponents_argument, default=None, metavar="SPECS",
                        help="three comma-separated players for the other seats, in seat order "
                             "(default: mcts:1000,greedy,greedy)")
    parser.add_argument("--seat", type=int, choices=range(4), default=0,
                        help="your seat, 0 to 3; seat 0 moves first (default: %(default)s)")
    parser.add_argument("-s", "--seed", type=int, default=None,
                        help="seed of the opponents' and the hints' choices (default: a fresh seed)")
    parser.add_argument("--save", type=Path, default=None, metavar="PATH",
                        help="save the game as a record to PATH when it ends or you leave")
    parser.add_argument("--hint-simulations", type=positive_int, default=1000, metavar="N",
                        help="simulations of the tree search behind a hint (default: %(default)s)")
    parser.add_argument("--board", dest="board_style", choices=("plain", "color"), default=None,
                        help="'plain' board, or 'color' (default: color on a terminal unless NO_COLOR is set)")
    arguments = parser.parse_args(argv)
    if arguments.opponents is None:
        arguments.opponents = opponents_argument("mcts:1000,greedy,greedy")
    return arguments


def main(argv: Sequence[str] | None = None, prog: str | None = None) -> int:
    """Runs the game with `argv` and returns the exit status."""
    arguments = parse_arguments(argv, prog)
    seed = arguments.seed if arguments.seed is not None else random.randrange(2**32)
    colour = arguments.board_style == "color" or (arguments.board_style is None and colour_wanted(sys.stdout))
    session = Session(arguments.seat, arguments.opponents, seed, colour=colour,
                      hint_simulations=arguments.hint_simulations)
    print(f"You are seat {arguments.seat}; " + ", ".join(
        f"seat {seat} is {spec}" for seat, spec in enumerate(session.specs) if seat != arguments.seat)
        + f" (seed {seed}). Type help for the commands.")
    status = 0
    try:
        print(session.play_opponents())
        while not (session.game.is_over or session.finished):
            if not session.your_turn():
                print("You have no placement left; the others play on.")
                print(session.play_opponents())
                continue
            print(session.turn_text())
            while True:
                answer = session.handle(input(f"seat {arguments.seat}> "))
                if answer:
                    print(answer)
                if session.finished or session.changed:
                    break
        if session.game.is_over:
            print(session.board())
    except EOFError:
        print()
    except KeyboardInterrupt:
        print()
        status = INTERRUPTED
    if arguments.save is not None:
        try:
            session.save(arguments.save)
        except OSError as error:
            print(f"{prog or 'play'}: could not save the game to {arguments.save}: {error.strerror or error}",
                  file=sys.stderr)
            return 1
        print(f"Saved the game ({len(session.moves)} moves) to {arguments.save}")
    return status
