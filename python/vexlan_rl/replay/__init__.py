"""Replays of game records: an animated SVG, a self-contained HTML viewer and an animated GIF.

    from vexlan_rl.records import load_record
    from vexlan_rl.replay import replay_html, replay_svg

    record = load_record("game.jsonl")
    Path("game.svg").write_text(replay_svg(record))
    Path("game.html").write_text(replay_html(record))

    from vexlan_rl.replay.gif import write_gif     # needs the replay extra (Pillow, numpy)
    write_gif(record, "game.gif")

Pieces are outlined, the last move is marked with a dot in each of its cells,
and a legend gives each seat's player, score and pieces in hand.
"""

from vexlan_rl.replay.frames import Frame, frames
from vexlan_rl.replay.svg import replay_svg
from vexlan_rl.replay.viewer import replay_html

__all__ = ["Frame", "frames", "replay_html", "replay_svg"]
