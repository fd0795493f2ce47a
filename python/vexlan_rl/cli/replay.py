"""`python -m vexlan_rl replay RECORD`: checks a game record and draws it as HTML, SVG or GIF."""

import argparse
import sys
from collections.abc import Sequence
from pathlib import Path

from vexlan_rl.records import RecordError, load_record
from vexlan_rl.replay import replay_html, replay_svg


def parse_arguments(argv: Sequence[str] | None, prog: str | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog=prog,
        description="Loads a game record, replaying its moves against its end state, prints who played and "
                    "how it ended, and writes the replays asked for.")
    parser.add_argument("record", type=Path, help="a record written by play, arena --save-games or --save-games")
    parser.add_argument("--html", type=Path, metavar="PATH", help="write a self-contained viewer page to PATH")
    parser.add_argument("--svg", type=Path, metavar="PATH", help="write an SVG animation to PATH")
    parser.add_argument("--gif", type=Path, metavar="PATH", help="write an animated GIF to PATH (needs the replay extra)")
    parser.add_argument("--seconds-per-move", type=float, default=0.5, metavar="S",
                        help="time between moves in the animations and the viewer's play (default: %(default)s)")
    arguments = parser.parse_args(argv)
    if not arguments.seconds_per_move > 0:
        parser.error(f"argument --seconds-per-move: must be > 0, not {arguments.seconds_per_move}")
    return arguments


def main(argv: Sequence[str] | None = None, prog: str | None = None) -> int:
    """Runs the replay command with `argv` and returns the exit status."""
    arguments = parse_arguments(argv, prog)
    try:
        record = load_record(arguments.record)
    except (RecordError, OSError) as error:
        print(f"{prog or 'replay'}: {error}", file=sys.stderr)
        return 1
    print(f"{arguments.record}: game {record.game}, seed {record.seed}, {len(record.moves)} moves")
    for seat, (player, score) in enumerate(zip(record.players, record.scores)):
        print(f"  seat {seat}: {player.name:<24} score {score:>4}")
    if arguments.html:
        arguments.html.write_text(replay_html(record, arguments.seconds_per_move), encoding="utf-8")
    if arguments.svg:
        arguments.svg.write_text(replay_svg(record, arguments.seconds_per_move), encoding="utf-8")
    if arguments.gif:
        try:
            from vexlan_rl.replay.gif import write_gif
        except ImportError as missing:
            print(f"{prog or 'replay'}: {missing}", file=sys.stderr)
            return 1
        write_gif(record, arguments.gif, arguments.seconds_per_move)
    return 0
