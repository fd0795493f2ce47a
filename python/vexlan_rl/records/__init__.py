"""Game records: what was played, by whom, and how it ended, in a small
versioned JSON-lines file that loads back by replaying its moves.

    from vexlan_rl.records import load_record, write_record

    write_record("game.jsonl", ["mcts:1000", "greedy", "random", "random"], seed=7, moves=moves,
                 final_game=game)
    record = load_record("game.jsonl")     # replays the moves and checks the end state
    for position in record.positions():    # a PyVexlan before the first move, then after each
        ...

docs/replays.md describes the format. Nothing here needs an optional package.
"""

from vexlan_rl.records.format import (FORMAT, VERSION, Record, RecordedMove, RecordError, SeatPlayer,
                                      load_record, parse_record)
from vexlan_rl.records.writer import record_name, record_of, save_games, write_record

__all__ = ["FORMAT", "VERSION", "Record", "RecordError", "RecordedMove", "SeatPlayer", "load_record",
           "parse_record", "record_name", "record_of", "save_games", "write_record"]
