"""Figures drawn side by side in worker processes.

matplotlib is not safe to share between threads, and a process forked from one that
runs threads (the module's worker pool, the progress line) may deadlock, so the
workers are started by the 'forkserver' method (a clean single-threaded server that
forks them), or 'spawn' where there is none. The server imports matplotlib on the Agg
backend once, before it forks, so each worker has it from the start. A job is a
module-level drawing function with its arguments (they travel by pickle) and the
path it writes; the pool starts while the command still computes, so the imports
overlap the analysis.
"""
from __future__ import annotations

import multiprocessing
import os
import threading
from collections.abc import Callable
from concurrent.futures import FIRST_COMPLETED, ProcessPoolExecutor, wait
from concurrent.futures.process import BrokenProcessPool
from dataclasses import dataclass, field
from pathlib import Path


@dataclass(frozen=True)
class FigureJob:
    path: Path
    draw: Callable  # draw(*args, path=path, **options) -> Path, a module-level function
    args: tuple = ()
    options: dict = field(default_factory=dict)

    def run(self) -> Path:
        return self.draw(*self.args, path=self.path, **self.options)


def available_processors() -> int:
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:  # not on Linux
        return os.cpu_count() or 1


def _start_worker() -> None:
    from .optional import pyplot

    pyplot()


def _ready() -> None:
    """A task that only makes the pool start a worker (and import matplotlib)."""


def _context():
    method = "forkserver" if "forkserver" in multiprocessing.get_all_start_methods() else "spawn"
    context = multiprocessing.get_context(method)
    if method == "forkserver":
        # imported in the server, once, for every worker it forks (the figures of this
        # package included); a forkserver that already runs keeps what it has
        context.set_forkserver_preload(["numpy", "matplotlib", "matplotlib.pyplot",
                                        "skyrift_cli.analysis.plots"])
    return context


class FigurePool:
    """Worker processes for the figures of one command (none on a single processor or
    when not enabled: the figures are then drawn in this process).

    with FigurePool(enabled=bool(args.plots), workers=4) as pool:
        ... compute ...
        pool.draw(jobs, progress)
    """

    def __init__(self, enabled: bool = True, workers: int | None = None):
        count = min(workers or available_processors(), available_processors())
        self.executor = None
        self._starting = None
        if enabled and count > 1:
            # Started on a thread of its own: the forkserver's imports take about a second,
            # and the command computes meanwhile instead of waiting for them.
            self._starting = threading.Thread(target=self._start, args=(count,), daemon=True)
            self._starting.start()

    def _start(self, count: int) -> None:
        try:
            executor = ProcessPoolExecutor(count, mp_context=_context(), initializer=_start_worker)
            for _ in range(count):  # start them now: the imports overlap the analysis
                executor.submit(_ready)
            self.executor = executor
        except (OSError, ValueError):  # no processes to be had: draw here
            self.executor = None

    @property
    def parallel(self) -> bool:
        """Whether the figures are drawn in worker processes (waits for them to start)."""
        return self._started() is not None

    def _started(self):
        if self._starting is not None:
            self._starting.join()
            self._starting = None
        return self.executor

    def __enter__(self) -> "FigurePool":
        return self

    def __exit__(self, *exc) -> None:
        if self._started() is not None:
            self.executor.shutdown(wait=True, cancel_futures=True)

    def draw(self, jobs: list[FigureJob], progress=None) -> list[Path]:
        """Draw every job and return what each wrote, in job order. A failed figure fails
        the command with its error once the others are finished."""
        if self._started() is not None and len(jobs) > 1:
            try:
                return self._draw_in_workers(jobs, progress)
            except BrokenProcessPool:
                # The workers could not start or died: a script that calls the command
                # line without the `if __name__ == "__main__":` guard is run again by
                # every worker, and fails there. The figures are drawn here instead.
                self.executor.shutdown(wait=False, cancel_futures=True)
                self.executor = None
        written = []
        for i, job in enumerate(jobs):
            _announce(progress, job.path.name, i, len(jobs))
            written.append(job.run())
        return written

    def _draw_in_workers(self, jobs: list[FigureJob], progress) -> list[Path]:
        futures = {self.executor.submit(job.run): i for i, job in enumerate(jobs)}
        pending, finished = set(futures), 0
        while pending:
            done, pending = wait(pending, return_when=FIRST_COMPLETED)
            for future in done:
                _announce(progress, jobs[futures[future]].path.name, finished, len(jobs))
                finished += 1
        return [future.result() for future in futures]  # in submission order


def _announce(progress, name: str, index: int, total: int) -> None:
    if progress:
        progress.step(f"plotting {name} ({index + 1} of {total})" if total > 1
                      else f"plotting {name}")
