"""The coloured text form of a game as a str.

`PyVexlan.render` writes the text straight to file descriptor 1, so it is read
back by pointing that descriptor at a temporary file for the length of the
call. The redirection is process-wide: whatever another thread writes to file
descriptor 1 meanwhile lands in the text, and the lock only keeps the callers
of this function from stepping on each other.
"""

import os
import sys
import tempfile
import threading

from vexlan_rl._vexlan import PyVexlan

_redirect_lock = threading.Lock()


def board_text(game: PyVexlan) -> str:
    """The 41-line text that `game.render()` prints, without its final newline."""
    with _redirect_lock, tempfile.TemporaryFile() as sink:
        if sys.stdout is not None:
            sys.stdout.flush()  # so that nothing Python buffered lands in the text
        saved = os.dup(1)
        try:
            os.dup2(sink.fileno(), 1)
            game.render()
        finally:
            os.dup2(saved, 1)
            os.close(saved)
        sink.seek(0)
        return sink.read().decode()[:-1]
