"""The coloured text form of a game as a str, for callers that need the text
itself rather than `PyVexlan.render`'s output on file descriptor 1.

It is drawn from agent 0's occupied planes, which show the absolute board, in
the same layout as `render` (a test holds the two equal byte for byte), so it
touches no process-wide state and is safe on any thread.
"""

from vexlan_rl._vexlan import PyVexlan

_BACKGROUND = ("44", "43", "41", "42")  # blue, yellow, red, green: agents 0 to 3
_RULE = "-" * 103
_HEADER = "  | " + " | ".join(f"{column:2d}" for column in range(20)) + " |"


def board_text(game: PyVexlan) -> str:
    """The 41-line text that `game.render()` prints, without its final newline."""
    planes = game.observe(0).observation
    lines = [_HEADER]
    for row in range(20):
        cells = []
        for column in range(20):
            owner = next((k for k in range(4) if planes[k * 400 + row * 20 + column]), None)
            cells.append("|  . " if owner is None else f"|  \x1b[{_BACKGROUND[owner]}mx\x1b[0m ")
        lines += [_RULE, f"{row:2d}" + "".join(cells) + "|"]
    return "\n".join(lines)
