"""The SVG animation of a record: each piece's outline, read back from the drawing, encloses
exactly the cells of its move, and at every frame the animation shows the pieces played so far,
marks the last one and shows that frame's legend."""

import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

import pytest

from random_play import play
from vexlan_rl.records import record_of, write_record
from vexlan_rl.replay import replay_html, replay_svg
from vexlan_rl.replay.svg import CELL, MARGIN

SVG = "{http://www.w3.org/2000/svg}"


def enclosed_cells(path: str) -> set:
    """The cells whose centres lie inside the closed loops of `path` (M, L and Z only), by the
    even-odd rule."""
    loops = [[tuple((float(v) - MARGIN) / CELL for v in point.split()) for point in loop.split("L")]
             for loop in re.findall(r"M([^Z]*)Z", path)]
    inside = set()
    for row in range(20):
        for column in range(20):
            x, y = column + 0.5, row + 0.5
            crossings = sum(1 for loop in loops for (x1, y1), (x2, y2) in zip(loop, loop[1:] + loop[:1])
                            if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1))
            if crossings % 2:
                inside.add((row, column))
    return inside


def shown_at(element, moment: float) -> bool:
    """Whether `element` is visible `moment` of the way through the loop: its discrete animation's
    value then, or its visibility attribute when it has none."""
    animation = element.find(f"{SVG}animate")
    if animation is None:
        return element.get("visibility", "visible") == "visible"
    times = [float(t) for t in animation.get("keyTimes").split(";")]
    values = animation.get("values").split(";")
    return values[max(i for i, t in enumerate(times) if t <= moment)] == "visible"


@pytest.mark.parametrize("seed", [0, 7])
def test_outlines_and_frames_follow_the_moves(seed):
    game, actions = play(seed)
    record = record_of(["random"] * 4, seed, [a for a in actions if a is not None], game)
    root = ElementTree.fromstring(replay_svg(record, seconds_per_move=0.25))
    pieces = root.findall(f".//{SVG}g[@class='piece']")
    legends = root.findall(f".//{SVG}g[@class='legend']")
    assert len(pieces) == len(record.moves) and len(legends) == len(record.moves) + 1
    for number, (piece, move) in enumerate(zip(pieces, record.moves), 1):
        assert piece.get("id") == f"move-{number}" and piece.get("data-seat") == str(move.seat)
        outline = piece.find(f"{SVG}path").get("d")
        assert enclosed_cells(outline) == set(move.placement().board_cells)

    duration = float(pieces[0].find(f"{SVG}animate").get("dur").rstrip("s"))
    frames = round(duration / 0.25)
    for ply in range(len(record.moves) + 1):
        moment = (ply + 0.5) / frames
        assert [shown_at(piece, moment) for piece in pieces] == [n < ply for n in range(len(pieces))]
        marked = [shown_at(piece.find(f"{SVG}g[@class='mark']"), moment) for piece in pieces]
        assert marked == [n == ply - 1 for n in range(len(pieces))]
        assert [shown_at(legend, moment) for legend in legends] == [n == ply for n in range(len(legends))]
    final = "".join(legends[-1].itertext())
    assert all(f"score {score}," in final for score in game.scores) and final.count("done") == 4
    assert shown_at(legends[-1], 0.999) and not shown_at(legends[-1], 0.0)


def test_replay_command_writes_the_replays_of_a_record(tmp_path):
    game, actions = play(3)
    path = tmp_path / "game.jsonl"
    record = write_record(path, ["greedy", "random", "human", "random"], 3, [a for a in actions if a is not None], game)
    command = [sys.executable, "-m", "vexlan_rl", "replay", str(path), "--svg", str(tmp_path / "game.svg"),
               "--html", str(tmp_path / "game.html"), "--seconds-per-move", "0.3"]
    result = subprocess.run(command, capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stderr
    assert f"{len(record.moves)} moves" in result.stdout and "seat 2: human" in result.stdout
    assert (tmp_path / "game.svg").read_text() == replay_svg(record, 0.3)
    assert (tmp_path / "game.html").read_text() == replay_html(record, 0.3)
    path.write_text(path.read_text().replace('"seat": 1', '"seat": 3', 1))
    result = subprocess.run(command[:5], capture_output=True, text=True, timeout=60)
    assert result.returncode == 1 and f"{path}, line 3: move " in result.stderr
