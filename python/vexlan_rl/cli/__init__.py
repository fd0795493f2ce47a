"""The command line: `vexlan_rl [SUBCOMMAND] [OPTIONS]`.

Without a subcommand it plays random self-play games (`vexlan_rl.cli.selfplay`).
Each subcommand is a module with `main(argv, prog) -> int`, named in
`SUBCOMMANDS` and imported only when chosen, so that one command's optional
dependencies never slow down or break another.
"""

import importlib
import os
import sys
from collections.abc import Callable, Sequence

SUBCOMMANDS = {
    "arena": "vexlan_rl.cli.arena",
    "league": "vexlan_rl.cli.league",
    "play": "vexlan_rl.cli.play",
    "replay": "vexlan_rl.cli.replay",
    "train": "vexlan_rl.cli.train",
}
DEFAULT_COMMAND = "vexlan_rl.cli.selfplay"


def main(argv: Sequence[str] | None = None, prog: str | None = None) -> int:
    """Runs the command line with `argv` (default: the process's arguments) and
    returns the exit status; bad arguments exit with status 2."""
    argv = sys.argv[1:] if argv is None else argv
    if argv and argv[0] in SUBCOMMANDS:
        name, argv = argv[0], argv[1:]
        command, prog = SUBCOMMANDS[name], f"{prog or 'vexlan_rl'} {name}"
    else:
        command = DEFAULT_COMMAND
    command_main: Callable[[Sequence[str], str | None], int] = importlib.import_module(command).main
    try:
        status = command_main(argv, prog)
        sys.stdout.flush()
    except BrokenPipeError:
        # The reader went away (as with `| head`): stop quietly, and keep the
        # interpreter's final flush from failing on the closed pipe too.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 1
    return status
