"""Progress of a long command: one status line on stderr, rewritten in place with the
current step and the seconds so far. Only on a terminal; on a pipe, a file or in tests
it writes nothing, so output stays what the command prints."""
from __future__ import annotations

import sys
import threading
import time


class Progress:
    REDRAW_S = 0.25

    def __init__(self, stream=None, enabled: bool | None = None):
        self.stream = stream if stream is not None else sys.stderr
        if enabled is None:
            isatty = getattr(self.stream, "isatty", None)
            enabled = bool(isatty and isatty())
        self.enabled = enabled
        self.text = ""
        self.start = time.monotonic()
        self._stop = threading.Event()
        self._lock = threading.Lock()
        self._thread = None

    def __enter__(self) -> "Progress":
        if self.enabled:
            # The module releases the interpreter lock while it works, so the line keeps
            # counting during a long read or analysis.
            self._thread = threading.Thread(target=self._redraw_loop, daemon=True)
            self._thread.start()
        return self

    def __exit__(self, *exc) -> None:
        if self._thread:
            self._stop.set()
            self._thread.join()
            with self._lock:
                self.stream.write("\r\033[K")  # leave the terminal line clean
                self.stream.flush()

    def step(self, text: str) -> None:
        """Start a step; its text replaces the previous one."""
        with self._lock:
            self.text = text
        self._draw()

    def echo(self, text: str) -> None:
        """Print text on stdout, under a cleared status line."""
        with self._lock:
            if self.enabled:
                self.stream.write("\r\033[K")
                self.stream.flush()
            print(text, flush=True)

    def _draw(self) -> None:
        if not self.enabled:
            return
        with self._lock:
            self.stream.write(f"\r\033[K{self.text} ({time.monotonic() - self.start:.1f} s)")
            self.stream.flush()

    def _redraw_loop(self) -> None:
        while not self._stop.wait(self.REDRAW_S):
            self._draw()
