"""Times records and replays of one game: writing and loading its record, and drawing it as an
HTML viewer, an SVG animation and a GIF (the GIF needs the replay extra). Prints each time (the
fastest of a few rounds) and the size of each file.

    python bench/replay_bench.py [--seed 9] [--rounds 3] [--out DIR]
"""

import argparse
import os
import tempfile
import time
from pathlib import Path

from vexlan_rl import PyVexlan
from vexlan_rl.players import GreedyPlayer, MctsPlayer, RandomPlayer
from vexlan_rl._engine import pass_done_seats
from vexlan_rl.records import load_record, write_record
from vexlan_rl.replay import replay_html, replay_svg


def play_game(seed: int) -> tuple[list[object], list[int], PyVexlan]:
    """A game of a short tree search, greedy and two random players."""
    players = [MctsPlayer(200, seed=seed), GreedyPlayer(), RandomPlayer(seed), RandomPlayer(seed + 1)]
    game = PyVexlan()
    moves = []
    pass_done_seats(game)
    while not game.is_over:
        moves.append(players[game.agent_selection].act(game))
        game.step(moves[-1])
        pass_done_seats(game)
    return players, moves, game


def fastest(rounds: int, work) -> float:
    times = []
    for _ in range(rounds):
        started = time.perf_counter()
        work()
        times.append(time.perf_counter() - started)
    return min(times)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seed", type=int, default=9, help="the game (default: 9, a game of 65 moves)")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--out", type=Path, default=None, help="keep the files in DIR (default: a temporary folder)")
    arguments = parser.parse_args()
    players, moves, game = play_game(arguments.seed)
    folder = arguments.out or Path(tempfile.mkdtemp())
    folder.mkdir(parents=True, exist_ok=True)
    record_path = folder / "replay.jsonl"
    rows = [("write record", fastest(arguments.rounds, lambda: write_record(record_path, players, arguments.seed,
                                                                             moves, game)), record_path)]
    rows.append(("load record (replays and checks it)", fastest(arguments.rounds, lambda: load_record(record_path)),
                 None))
    record = load_record(record_path)
    outputs = {"replay.html": replay_html, "replay.svg": replay_svg}
    for name, draw in outputs.items():
        path = folder / name
        rows.append((f"render {name.split('.')[1].upper()}", fastest(arguments.rounds,
                                                                     lambda: path.write_text(draw(record))), path))
    try:
        from vexlan_rl.replay.gif import write_gif
    except ImportError as missing:
        print(f"GIF skipped: {missing}")
    else:
        gif = folder / "replay.gif"
        rows.append(("render GIF", fastest(arguments.rounds, lambda: write_gif(record, gif)), gif))
    print(f"one game of {len(moves)} moves (seed {arguments.seed}), scores {game.scores}; "
          f"load average {os.getloadavg()[0]:.2f}; files in {folder}")
    for label, seconds, path in rows:
        size = f"{path.stat().st_size / 1024:8.1f} KB" if path else ""
        print(f"  {label:<38} {seconds * 1000:8.1f} ms  {size}")


if __name__ == "__main__":
    main()
