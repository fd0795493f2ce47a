"""Records drawn as SVG: one group per piece, which appears at its move and keeps its outline
(a piece's outline never changes once it is placed), over an empty board with a grid.

`replay_svg` animates them with SMIL: every element repeats on one clock, hidden until its
frame comes, so that the pieces and legends stay in step on every loop. The HTML viewer uses
the same board and pieces and shows them from its script.
"""

from collections.abc import Sequence
from html import escape

from vexlan_rl.actions import BOARD, Placement
from vexlan_rl.records import Record
from vexlan_rl.render.outlines import piece_outline
from vexlan_rl.render.palette import EMPTY, GRID, INK, OUTLINE, PAPER, SEAT_COLOURS, hex_colour
from vexlan_rl.replay.frames import Frame, frames

CELL = 24  # pixels a cell
MARGIN = 10
BOARD_SIDE = BOARD * CELL
LINE = 20  # pixels a legend line
WIDTH = BOARD_SIDE + 2 * MARGIN
HEIGHT = 2 * MARGIN + BOARD_SIDE + 6 * LINE
FONT = 'font-family="DejaVu Sans, Verdana, sans-serif" font-size="13"'
HOLD_FRAMES = 4  # the last frame of an animation stays this many frames' time before it loops


def _at(units: int) -> int:
    return MARGIN + units * CELL


def board_svg() -> str:
    """The empty board: its cells and grid lines."""
    lines = "".join(f"M{_at(0)} {_at(k)}H{_at(BOARD)}M{_at(k)} {_at(0)}V{_at(BOARD)}" for k in range(1, BOARD))
    return (f'<rect x="{_at(0)}" y="{_at(0)}" width="{BOARD_SIDE}" height="{BOARD_SIDE}" '
            f'fill="{hex_colour(EMPTY)}" stroke="{hex_colour(OUTLINE)}" stroke-width="2"/>'
            f'<path d="{lines}" stroke="{hex_colour(GRID)}" stroke-width="1" fill="none"/>')


def piece_svg(move: Placement, number: int, title: str, animation: str = "", mark_animation: str = "") -> str:
    """Group `move-NUMBER` holding the piece: its cells filled in its seat's colour and outlined,
    fainter lines between its own cells, and the last-move dots (class "mark"). The animations,
    when given, show the group and the dots; both start hidden then."""
    outline = "".join("M" + "L".join(f"{_at(x)} {_at(y)}" for x, y in loop) + "Z"
                      for loop in piece_outline(move.board_cells))
    cells = set(move.board_cells)
    seams = "".join(f"M{_at(c + 1)} {_at(r)}V{_at(r + 1)}" for r, c in cells if (r, c + 1) in cells)
    seams += "".join(f"M{_at(c)} {_at(r + 1)}H{_at(c + 1)}" for r, c in cells if (r + 1, c) in cells)
    dots = "".join(f'<circle cx="{_at(c) + CELL // 2}" cy="{_at(r) + CELL // 2}" r="4.5"/>'
                   for r, c in move.board_cells)
    hidden = ' visibility="hidden"' if animation else ""
    return (f'<g class="piece" id="move-{number}" data-seat="{move.agent}"{hidden}>{animation}'
            f'<title>{escape(title)}</title>'
            f'<path d="{outline}" fill="{hex_colour(SEAT_COLOURS[move.agent])}" fill-rule="evenodd" '
            f'stroke="{hex_colour(OUTLINE)}" stroke-width="2.5" stroke-linejoin="round"/>'
            + (f'<path d="{seams}" stroke="{hex_colour(INK)}" stroke-opacity="0.2" stroke-width="1"/>' if seams else "")
            + f'<g class="mark" fill="{hex_colour(PAPER)}" stroke="{hex_colour(INK)}" stroke-width="1.5"'
              f'{hidden}>{mark_animation}{dots}</g></g>')


def move_title(record: Record, frame: Frame) -> str:
    """The tooltip of a frame's piece, e.g. "12. seat 3 (greedy): L4@r0c0/o14"."""
    assert frame.move is not None
    return f"{frame.ply}. seat {frame.move.agent} ({record.players[frame.move.agent].name}): {frame.move}"


def _legend_svg(record: Record, frame: Frame, animation: str) -> str:
    top = 2 * MARGIN + BOARD_SIDE
    rows = [f'<text x="{MARGIN}" y="{top + LINE - 6}" font-weight="bold">{escape(frame.caption(record))}</text>']
    for seat in range(len(record.players)):
        y = top + (seat + 1) * LINE
        rows.append(f'<rect x="{MARGIN}" y="{y + 3}" width="14" height="14" fill="{hex_colour(SEAT_COLOURS[seat])}" '
                    f'stroke="{hex_colour(OUTLINE)}"/><text x="{MARGIN + 20}" y="{y + LINE - 6}">'
                    f'{escape(frame.legend_line(record, seat))}</text>')
    hidden = ' visibility="hidden"' if frame.ply else ""
    return f'<g class="legend" data-ply="{frame.ply}"{hidden}>{animation}{"".join(rows)}</g>'


def _shown(from_time: float, until_time: float | None, duration: str) -> str:
    """An animation that shows its element from `from_time` to `until_time` (fractions of the loop
    of `duration`)."""
    values, times = (["visible"], ["0"]) if from_time == 0 else (["hidden", "visible"], ["0", f"{from_time:.6f}"])
    if until_time is not None:
        values.append("hidden")
        times.append(f"{until_time:.6f}")
    return f'<animate attributeName="visibility" values="{";".join(values)}" keyTimes="{";".join(times)}" ' \
           f'calcMode="discrete" dur="{duration}" repeatCount="indefinite"/>'


def svg_document(body: Sequence[str], record: Record, height: int = HEIGHT) -> str:
    players = ", ".join(f"seat {seat}: {player.name}" for seat, player in enumerate(record.players))
    return (f'<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 {WIDTH} {height}" width="{WIDTH}" '
            f'height="{height}" {FONT}><title>{escape(f"Game {record.game}, {players}")}</title>'
            f'<rect width="{WIDTH}" height="{height}" fill="{hex_colour(PAPER)}"/>' + "".join(body) + "</svg>\n")


def replay_svg(record: Record, seconds_per_move: float = 0.5) -> str:
    """An SVG animation of `record` that loops: each move `seconds_per_move` apart, the end held
    a little longer."""
    if not seconds_per_move > 0:
        raise ValueError(f"seconds_per_move must be > 0, not {seconds_per_move!r}")
    steps = frames(record)
    total = len(steps) - 1 + HOLD_FRAMES
    duration = f"{total * seconds_per_move:g}s"
    starts: list[float | None] = [ply / total for ply in range(len(steps))] + [None]

    def shown(ply: int, until: bool = True) -> str:
        return _shown(starts[ply], starts[ply + 1] if until else None, duration)  # type: ignore[arg-type]

    body = [board_svg()]
    body += [piece_svg(frame.move, frame.ply, move_title(record, frame), shown(frame.ply, until=False),
                       shown(frame.ply)) for frame in steps[1:] if frame.move is not None]
    body += [_legend_svg(record, frame, shown(frame.ply)) for frame in steps]
    return svg_document(body, record)
