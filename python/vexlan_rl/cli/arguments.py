"""What the subcommands' parsers share: argument types, options and exit statuses."""

import argparse

from vexlan_rl._players import Player
from vexlan_rl.players.arena import MAX_OPENINGS

INTERRUPTED = 130  # the shell's status for a run ended by SIGINT


def positive_int(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1, not {value}")
    return value


def thread_count(text: str) -> int:
    """A number of threads, from 1 to as many as the engine allows."""
    value = positive_int(text)
    if value > Player.MAX_THREADS:
        raise argparse.ArgumentTypeError(f"must be at most {Player.MAX_THREADS}, not {value}")
    return value


def opening_count(text: str) -> int:
    """A number of random placements that open a game, from 0 to a whole game's."""
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if not 0 <= value <= MAX_OPENINGS:
        raise argparse.ArgumentTypeError(f"must be from 0 to {MAX_OPENINGS}, the placements of a whole game, "
                                         f"not {value}")
    return value


def add_progress_option(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--progress", action=argparse.BooleanOptionalAction, default=None,
                        help="show a progress bar on standard error (default: only on a terminal, "
                             "once a run has taken half a second)")
