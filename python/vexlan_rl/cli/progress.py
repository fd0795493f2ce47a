"""A one-line progress bar for long runs, drawn on a text stream."""

import time
from typing import TextIO

WIDTH = 30
REDRAW_SECONDS = 0.1


class ProgressBar:
    """Counts finished units out of `total`. Drawing is on when `enabled` is
    True, off when False; with None it starts once the run has taken
    `delay_seconds` and only if `stream` is a terminal."""

    def __init__(self, total: int, unit: str, stream: TextIO, enabled: bool | None,
                 delay_seconds: float = 0.5) -> None:
        self._total = total
        self._unit = unit
        self._stream = stream
        self._started = time.perf_counter()
        self._drawn_at: float | None = None
        if enabled is None:
            self._enabled = stream.isatty()
            self._not_before = self._started + delay_seconds
        else:
            self._enabled = enabled
            self._not_before = self._started

    def update(self, done: int) -> None:
        if not self._enabled:
            return
        now = time.perf_counter()
        if now < self._not_before or (self._drawn_at is not None and now - self._drawn_at < REDRAW_SECONDS):
            return
        self._draw(done, now)

    def close(self, done: int) -> None:
        """Draws the final state and ends the line, if the bar was ever drawn."""
        if self._drawn_at is not None:
            self._draw(done, time.perf_counter())
            self._stream.write("\n")
            self._stream.flush()

    def _draw(self, done: int, now: float) -> None:
        self._drawn_at = now
        elapsed = now - self._started
        rate = done / elapsed if elapsed > 0 else 0.0
        filled = WIDTH * done // self._total
        left = f"{(self._total - done) / rate:.0f} s left" if rate > 0 else ""
        self._stream.write(f"\r[{'#' * filled}{'.' * (WIDTH - filled)}] {100 * done // self._total:3d}%"
                           f" {done}/{self._total} {self._unit}, {rate:.0f}/s, {left}   ")
        self._stream.flush()
