"""Files written whole or not at all: what a run killed mid-write leaves is the previous
file, never part of the new one."""

import os
import tempfile
from collections.abc import Callable
from pathlib import Path
from typing import BinaryIO


def write_atomically(path: str | os.PathLike[str], write: Callable[[BinaryIO], object]) -> None:
    """Calls `write` with a temporary file in `path`'s folder, flushes it to disk, renames it
    over `path` and makes the rename durable; on any failure the temporary file is removed."""
    target = Path(path)
    handle, temporary = tempfile.mkstemp(dir=target.parent, prefix=f".{target.name}.", suffix=".tmp")
    try:
        with os.fdopen(handle, "wb") as stream:
            write(stream)
            stream.flush()
            os.fsync(stream.fileno())
        os.replace(temporary, target)
    except BaseException:
        os.unlink(temporary)
        raise
    folder = os.open(target.parent, os.O_RDONLY)
    try:
        os.fsync(folder)
    finally:
        os.close(folder)
