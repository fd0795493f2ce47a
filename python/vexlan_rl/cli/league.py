"""`python -m vexlan_rl league`: a rated pool of players, kept in an SQLite file.

    league run --db league.db --pool random,greedy,mcts:200 --games 400
    league show --db league.db
    league plot --db league.db --out league.png
"""

import argparse
import random
import sqlite3
import sys
import time
from collections.abc import Sequence
from pathlib import Path

from vexlan_rl._engine import NUM_SEATS as SEATS
from vexlan_rl.cli.arena import interval, table
from vexlan_rl.cli.arguments import INTERRUPTED, add_progress_option, positive_int
from vexlan_rl.cli.progress import ProgressBar
from vexlan_rl.players import parse_player
from vexlan_rl.players.arena import check_rotated_games
from vexlan_rl.players.specs import SPEC_HELP

FAILED = 1


def specs_argument(text: str) -> list[str]:
    """Comma-separated player specs, as `parse_player` writes them back (so "mcts" is "mcts:1000")."""
    try:
        return [parse_player(part).spec for part in text.split(",")]
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def parse_arguments(argv: Sequence[str], prog: str | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog=prog, description="A league: players rated (Plackett-Luce, with openskill) from games of four with "
                               "rotated seats, each game kept in an SQLite file. Players: " + SPEC_HELP + ".")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    run = commands.add_parser(
        "run", help="play games and rate them",
        description="Plays matches of four games, each seating its four players in every seat once, until the "
                    "league holds N games. Each match is built around the most uncertain rating. A run stopped "
                    "at any point, even killed, loses nothing: run the same command again to go on.")
    show = commands.add_parser("show", help="print the league table", description="Prints the league table.")
    plot = commands.add_parser("plot", help="draw the ratings as a PNG (needs the plot extra)",
                               description="Draws every player's rating against the games played, as a PNG.")
    for command in (run, show, plot):
        command.add_argument("--db", type=Path, default=Path("league.db"), metavar="PATH",
                             help="the league's SQLite file (default: %(default)s)")
    run.add_argument("--pool", type=specs_argument, default=[], metavar="SPECS",
                     help="comma-separated players that play in this run, added to the league if new "
                          "(default: every player in the league)")
    run.add_argument("--reference", type=specs_argument, default=[], metavar="SPECS",
                     help="reference players, which play in this run too: their ratings move only in games "
                          "among references, and so keep the scale fixed while others join")
    run.add_argument("-n", "--games", type=positive_int, required=True, metavar="N",
                     help=f"the number of games the league should hold, a multiple of {SEATS}")
    run.add_argument("-t", "--threads", type=positive_int, default=1, metavar="T",
                     help="threads that play games at once (default: %(default)s)")
    run.add_argument("-s", "--seed", type=int, default=None,
                     help="the seed of a new league (default: a fresh one); a league keeps the seed it began with")
    run.add_argument("--matches-at-once", type=positive_int, default=None, metavar="K",
                     help="matches planned together and played at once: over Ray they run in parallel "
                          "(default: 1, or 8 with --ray)")
    run.add_argument("--ray", nargs="?", const="", default=None, metavar="ADDRESS",
                     help="play each match in a Ray task of T threads: on a Ray started on this machine, or on "
                          "the cluster at ADDRESS (needs the ray extra)")
    add_progress_option(run)
    plot.add_argument("--out", type=Path, default=Path("league.png"), metavar="PNG",
                      help="where to write the picture (default: %(default)s)")
    arguments = parser.parse_args(argv)
    if arguments.command == "run":
        try:
            check_rotated_games(arguments.games)
        except ValueError as error:
            parser.error(f"argument -n/--games: {error}")
        if arguments.ray is not None:
            try:
                import vexlan_rl.distributed  # noqa: F401
            except ImportError as missing:
                parser.error(f"argument --ray: {missing}")
    try:
        import vexlan_rl.league  # noqa: F401
    except ImportError as missing:
        parser.error(str(missing))
    return arguments


def league_table(path: Path) -> str:
    from vexlan_rl.league import LeagueStore, standings

    with LeagueStore(path, writable=False) as store:
        players, games, seed, matches = store.players(), store.games(), store.seed, store.match_count()
    rows = [(standing.player.spec, "reference" if standing.player.reference else "", str(standing.games),
             f"{standing.player.rating.mu:.2f}", f"{standing.player.rating.sigma:.2f}",
             f"{standing.player.rating.conservative:.2f}",
             interval(standing.win_share, 3) if standing.win_share else "-",
             interval(standing.rank, 2) if standing.rank else "-")
            for standing in standings(players, games)]
    header = ("player", "role", "games", "mu", "sigma", "mu - 3 sigma", "win share [95% CI]", "mean rank [95% CI]")
    return (f"League {str(path)!r}: {len(games)} games in {matches} matches (seed {seed}), {len(players)} players\n"
            + table(header, rows))


def run(arguments: argparse.Namespace) -> int:
    from vexlan_rl.league import LeagueBusy, LeagueRun, LeagueStore, run_lock
    from vexlan_rl.league.store import SEED_LIMIT

    try:
        with run_lock(arguments.db), LeagueStore(arguments.db, writable=True) as store:
            seed = arguments.seed
            if seed is None and store.seed is None:
                seed = random.randrange(SEED_LIMIT)
            pool = store.join(arguments.pool, arguments.reference, seed)
            held = store.game_count()
            league = LeagueRun(store, pool, threads=arguments.threads,
                               matches_at_once=arguments.matches_at_once or (8 if arguments.ray is not None else 1))
            progress = ProgressBar(max(arguments.games - held, 1), "games", sys.stderr, arguments.progress)
            started = time.perf_counter()
            try:
                league.play(arguments.games, ray=arguments.ray is not None, address=arguments.ray or None,
                            progress=lambda count: progress.update(count - held))
            except KeyboardInterrupt:
                progress.close(store.game_count() - held)
                print(f"Interrupted: the league holds {store.game_count()} games; run the same command again to "
                      "go on", file=sys.stderr)
                return INTERRUPTED
            seconds = time.perf_counter() - started
            played = store.game_count() - held
            progress.close(played)
    except (LeagueBusy, ValueError, OSError, sqlite3.DatabaseError) as error:
        print(f"error: {error}", file=sys.stderr)
        return FAILED
    print(f"{played} games played in {seconds:.2f} s ({played / max(seconds, 1e-9):.1f} games per second)")
    print(league_table(arguments.db))
    return 0


def main(argv: Sequence[str] | None = None, prog: str | None = None) -> int:
    """Runs the league command with `argv` and returns the exit status."""
    arguments = parse_arguments(sys.argv[1:] if argv is None else argv, prog)
    if arguments.command == "run":
        return run(arguments)
    try:
        if arguments.command == "show":
            print(league_table(arguments.db))
            return 0
        from vexlan_rl.league import LeagueStore

        with LeagueStore(arguments.db, writable=False) as store:
            players, history, games = store.players(), store.history(), store.game_count()
        try:
            from vexlan_rl.league.plot import plot_ratings
        except ImportError as missing:
            print(f"error: {missing}", file=sys.stderr)
            return FAILED
        plot_ratings(players, history, games, arguments.out, title=f"League {arguments.db.name}: {games} games")
        print(f"wrote {arguments.out}")
        return 0
    except (ValueError, OSError, sqlite3.DatabaseError) as error:
        print(f"error: {error}", file=sys.stderr)
        return FAILED
