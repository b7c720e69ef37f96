"""A one-line progress bar, drawn only when the stream is a terminal."""
from __future__ import annotations

import sys
import time

WIDTH = 30


class ProgressBar:
    def __init__(self, total: int, stream=None, enabled: bool | None = None):
        self.stream = stream if stream is not None else sys.stderr
        self.enabled = self.stream.isatty() if enabled is None else enabled
        self.total = total
        self.started = time.monotonic()

    def update(self, done: int, failed: int) -> None:
        if not self.enabled:
            return
        filled = WIDTH * done // max(self.total, 1)
        elapsed = int(time.monotonic() - self.started)
        line = (f"\r[{'#' * filled}{'-' * (WIDTH - filled)}] {done}/{self.total} files"
                + (f", {failed} failed" if failed else "") + f"  {elapsed // 60}:{elapsed % 60:02d}")
        self.stream.write(line)
        self.stream.flush()

    def close(self) -> None:
        if self.enabled:
            self.stream.write("\n")
            self.stream.flush()
