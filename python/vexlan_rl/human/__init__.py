"""A human seat at the table: the game against three players, driven by lines of text.

`Session` holds the game and answers each line typed (a move, a piece to look at, rotate, flip,
undo, hint, save...) with the text to show; `python -m vexlan_rl play` puts it on a terminal.
"""

from vexlan_rl.human.session import HELP, Session

__all__ = ["HELP", "Session"]
