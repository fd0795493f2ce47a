"""A record as one self-contained HTML page: the board as SVG, a slider and buttons through the
moves, the legend and the move list. It loads nothing else (no server, no network): the page's
script and style and the record's data are all in the file."""

import json
from html import escape
from importlib.resources import files

from vexlan_rl.records import Record
from vexlan_rl.replay.frames import frames
from vexlan_rl.replay.svg import BOARD_SIDE, MARGIN, board_svg, move_title, piece_svg, svg_document
from vexlan_rl.render.palette import SEAT_COLOURS, hex_colour


def replay_html(record: Record, seconds_per_move: float = 0.5) -> str:
    """The viewer page of `record`; its play button steps a move every `seconds_per_move`."""
    if not seconds_per_move > 0:
        raise ValueError(f"seconds_per_move must be > 0, not {seconds_per_move!r}")
    steps = frames(record)
    pieces = [piece_svg(frame.move, frame.ply, move_title(record, frame)) for frame in steps if frame.move]
    board = svg_document([board_svg(), *pieces], record, height=BOARD_SIDE + 2 * MARGIN)
    data = {
        "players": [player.name for player in record.players],
        "colours": [hex_colour(colour) for colour in SEAT_COLOURS],
        "moves": [{"seat": move.seat, "text": move.text} for move in record.moves],
        "frames": [{"caption": frame.caption(record), "scores": frame.scores, "pieces": frame.pieces_in_hand,
                    "done": frame.done, "toMove": frame.to_move} for frame in steps],
        "millisecondsPerMove": round(seconds_per_move * 1000),
    }
    title = f"Game {record.game}: " + ", ".join(player.name for player in record.players)
    page = files("vexlan_rl.replay").joinpath("viewer.html").read_text(encoding="utf-8")
    # "</" inside the data would end its script element early.
    return (page.replace("{{title}}", escape(title)).replace("{{board}}", board)
            .replace("{{data}}", json.dumps(data).replace("</", "<\\/")))

