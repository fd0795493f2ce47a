"""A record as an animated GIF (needs the replay extra: Pillow and numpy).

Each frame is the board of `vexlan_rl.render.board_image` (pieces outlined, the last move
dotted) above a legend: the move just made, and each seat's player, score and pieces in hand.
Text is drawn without smoothing, so every frame keeps to the board's few colours and the
GIF's palette holds them exactly.
"""

from pathlib import Path

try:
    import numpy as np
    from PIL import Image, ImageDraw, ImageFont
except ImportError as missing:
    raise ImportError(f"vexlan_rl.replay.gif needs Pillow and numpy ({missing}); install them with: "
                      "pip install 'vexlan-rl[replay]' (from a checkout: pip install '.[replay]')",
                      name=missing.name) from missing

from vexlan_rl.render.board_image import BOARD_PIXELS, board_pixels
from vexlan_rl.records import Record
from vexlan_rl.render import palette
from vexlan_rl.replay.frames import Frame, frames

LINE = 16  # pixels a legend line
LEGEND_HEIGHT = 6 * LINE + 6
FONT_SIZE = 12
COLUMNS = (26, 150, 196, 244)  # left edges of player, score, pieces in hand and state
HOLD_FRAMES = 4  # the last frame stays this many frames' time before the GIF loops
_COLOURS = [*palette.SEAT_COLOURS, palette.EMPTY, palette.GRID, palette.OUTLINE, palette.INK, palette.PAPER]


def _palette() -> "Image.Image":
    image = Image.new("P", (1, 1))
    image.putpalette([part for colour in _COLOURS for part in colour])
    return image


def _legend(record: Record, frame: Frame, font: "ImageFont.FreeTypeFont | ImageFont.ImageFont") -> "Image.Image":
    image = Image.new("RGB", (BOARD_PIXELS, LEGEND_HEIGHT), palette.PAPER)
    draw = ImageDraw.Draw(image)
    draw.fontmode = "1"  # no smoothing: only the palette's colours
    draw.text((6, 4), frame.caption(record), fill=palette.INK, font=font)
    for column, title in zip(COLUMNS, ("seat, player", "score", "pieces", "")):
        draw.text((column, 4 + LINE), title, fill=palette.INK, font=font)
    for seat, player in enumerate(record.players):
        top = 4 + (seat + 2) * LINE
        draw.rectangle((6, top + 1, 17, top + 12), fill=palette.SEAT_COLOURS[seat], outline=palette.OUTLINE)
        state = "done" if frame.done[seat] else "to move" if seat == frame.to_move else ""
        name = f"{seat} " + (player.name if len(player.name) <= 18 else player.name[:17] + "~")
        for column, text in zip(COLUMNS, (name, str(frame.scores[seat]), str(frame.pieces_in_hand[seat]), state)):
            draw.text((column, top), text, fill=palette.INK, font=font)
    return image


def gif_frames(record: Record) -> list["Image.Image"]:
    """One RGB image per position of `record`: the board above the legend."""
    font = ImageFont.load_default(size=FONT_SIZE)
    pictures = []
    for frame, game in zip(frames(record), record.positions()):
        picture = Image.new("RGB", (BOARD_PIXELS, BOARD_PIXELS + LEGEND_HEIGHT))
        picture.paste(Image.fromarray(np.ascontiguousarray(board_pixels(game))), (0, 0))
        picture.paste(_legend(record, frame, font), (0, BOARD_PIXELS))
        pictures.append(picture)
    return pictures


def write_gif(record: Record, path: str | Path, seconds_per_move: float = 0.5) -> None:
    """Writes `record` to `path` as a looping GIF, each move `seconds_per_move` apart."""
    if not seconds_per_move > 0:
        raise ValueError(f"seconds_per_move must be > 0, not {seconds_per_move!r}")
    fixed = _palette()
    pictures = [picture.quantize(palette=fixed, dither=Image.Dither.NONE) for picture in gif_frames(record)]
    milliseconds = round(seconds_per_move * 1000)
    durations = [milliseconds] * (len(pictures) - 1) + [milliseconds * HOLD_FRAMES]
    pictures[0].save(path, format="GIF", save_all=True, append_images=pictures[1:], duration=durations, loop=0)
