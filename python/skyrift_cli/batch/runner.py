"""The batch: discover the inputs, hand one task per file to Dask, write the rows.

Dask does the scheduling: a LocalCluster of single-threaded worker processes on this
machine, or a running cluster reached through its scheduler's address.
"""
from __future__ import annotations

import contextlib
import logging
import os
import time
import uuid
from dataclasses import dataclass, field
from pathlib import Path

from ..defaults import DEFAULT_CUTOFF
from ..errors import CliError
from ..optional import require
from .discovery import discover
from .orbits import build_catalogue
from .progress import ProgressBar
from .task import TaskOptions, analyse_file, error_result
from .writer import ResultStore

FLUSH_FILES = 200  # commit a part after this many files ...
FLUSH_SECONDS = 60.0  # ... or this long after the last one
CONNECT_SECONDS = 30.0  # to reach a scheduler
WORKER_WAIT_SECONDS = 120.0  # for a cluster to have a worker at all
PURPOSE = "skyrift-mp batch"


@dataclass
class BatchSummary:
    out: Path
    inputs: int  # files the inputs named
    ok: int = 0
    failed: int = 0
    skipped: int = 0  # already ok in an earlier run (--resume)
    dropped: int = 0  # files whose rows were removed on --resume: the file is gone
    workers: int = 0
    seconds: float = 0.0
    failures: list[tuple[str, str]] = field(default_factory=list)  # file, message
    damaged: list[tuple[str, str]] = field(default_factory=list)  # file, damage: read in part

    @property
    def analysed(self) -> int:
        return self.ok + self.failed


def default_workers() -> int:
    """The processors this process may run on."""
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:  # not on Linux
        return os.cpu_count() or 1


@contextlib.contextmanager
def _connect(workers: int | None, scheduler: str | None, client):
    """A distributed Client: the caller's, one connected to a running scheduler, or
    one on a LocalCluster started here and stopped on leaving."""
    distributed = require("distributed", PURPOSE)
    if client is not None:
        yield client
        return
    with contextlib.ExitStack() as stack:
        if scheduler is not None:
            try:
                c = stack.enter_context(distributed.Client(scheduler, timeout=CONNECT_SECONDS))
            except (OSError, TimeoutError, ValueError) as exc:
                raise CliError(f"cannot reach the Dask scheduler at {scheduler}: {exc}") from None
        else:
            cluster = stack.enter_context(distributed.LocalCluster(
                n_workers=workers or default_workers(), threads_per_worker=1, processes=True,
                dashboard_address=":0", silence_logs=logging.ERROR))
            c = stack.enter_context(distributed.Client(cluster))
        try:
            c.wait_for_workers(1, timeout=WORKER_WAIT_SECONDS)
        except (TimeoutError, OSError):
            raise CliError(f"the Dask cluster at {scheduler} has no workers "
                           f"(waited {WORKER_WAIT_SECONDS:g} s)") from None
        yield c


def _lost(exc: BaseException) -> str:
    """The message of a task that never returned (its worker died, the cluster failed)."""
    if type(exc).__name__ == "KilledWorker":
        return f"the worker died while analysing this file ({exc})"
    return f"the task failed on the cluster ({type(exc).__name__}: {exc})"


def _run_tasks(client, todo: list[str], options: TaskOptions, catalogue, store, summary,
               bar: ProgressBar, task=analyse_file) -> None:
    distributed = require("distributed", PURPOSE)
    # a key of its own: a catalogue equal to that of an earlier batch on the same client
    # must not share a key that the client is still releasing
    shared = (client.scatter(catalogue, broadcast=True, hash=False)
              if catalogue is not None else None)
    run = uuid.uuid4().hex[:8]
    keys = [f"skyrift-batch-{run}-{i}" for i in range(len(todo))]
    submitted = client.map(task, todo, options=options, catalogue=shared, key=keys, pure=False)
    futures = dict(zip(submitted, todo))
    last_flush = time.monotonic()
    try:
        for future in distributed.as_completed(futures):
            source = futures[future]
            try:
                result = future.result()
            except Exception as exc:  # the task did not return: record it and go on
                result = error_result(source, _lost(exc))
            future.release()
            store.add(result)
            if result.ok:
                summary.ok += 1
                if result.file["damage"]:
                    summary.damaged.append((source, result.file["damage"]))
            else:
                summary.failed += 1
                summary.failures.append((source, result.file["message"]))
            bar.update(summary.analysed, summary.failed)
            if store.pending >= FLUSH_FILES or time.monotonic() - last_flush > FLUSH_SECONDS:
                store.flush()
                last_flush = time.monotonic()
    finally:
        client.cancel(list(futures))
        bar.close()
        store.flush()  # what finished is committed, also when interrupted


def vanished(files) -> set[str]:
    """The files that no longer exist (a URL that cannot be checked counts as there)."""
    from .sources import exists

    gone = set()
    for file in files:
        try:
            if not exists(file):
                gone.add(file)
        except (CliError, OSError, ValueError):
            pass
    return gone


def run_batch(inputs, out, *, orbits: str | None = None, cutoff: float = DEFAULT_CUTOFF,
              workers: int | None = None, scheduler: str | None = None, client=None,
              estimates: bool = False, resume: bool = False,
              progress: bool | None = None, qc: bool = False) -> BatchSummary:
    """Analyse many observation files on Dask and write Parquet results under out.

    inputs: files, folders (searched for observation files by name), glob patterns
    or fsspec URLs. orbits: a folder (or URL) of SP3 and navigation files. Runs on a
    LocalCluster of `workers` single-threaded processes (default: this machine's
    processors), on the running cluster whose scheduler address is given, or on a
    distributed Client passed as client. With resume, inputs already ok in
    files.parquet (and read whole) are skipped, and the rows of files that no longer
    exist are removed. With qc, the quality control of each file goes to qc.parquet and
    its report to qc/ (batch/quality.py). A file that fails is recorded in files.parquet
    and the batch goes on; the summary counts the failures. A damaged file is read up to
    the damage and its rows say so (damage); --resume analyses it again.
    """
    started = time.perf_counter()
    require("distributed", PURPOSE)
    require("pyarrow", PURPOSE)
    if sum(x is not None for x in (workers, scheduler, client)) > 1:
        raise CliError("give at most one of workers, scheduler and client")
    if workers is not None and workers < 1:
        raise CliError(f"--workers must be at least 1, not {workers}")
    if not -90.0 <= cutoff < 90.0:  # 90 or more leaves no estimate
        raise CliError(f"--cutoff must be at least -90 and below 90 degrees, not {cutoff:g}")
    todo = discover(inputs)
    orbit_folder = None
    if orbits is not None:
        orbit_folder = os.fspath(orbits)
        from .sources import is_url

        orbit_folder = orbit_folder if is_url(orbit_folder) else os.path.abspath(orbit_folder)
    catalogue = build_catalogue(orbit_folder) if orbit_folder else None
    settings = {"cutoff": float(cutoff), "estimates": bool(estimates), "orbits": orbit_folder}
    if qc:  # only then, so that batches made before --qc existed resume as they were
        settings["qc"] = True
    store = ResultStore(out, settings, resume)
    summary = BatchSummary(Path(out), len(todo))
    # rows of inputs this run does not name are kept, unless their file is gone
    summary.dropped = store.drop_files(vanished(store.recorded - set(todo)))
    summary.skipped = sum(s in store.done for s in todo)
    todo = [s for s in todo if s not in store.done]
    if todo:
        with _connect(workers, scheduler, client) as c:
            summary.workers = len(c.scheduler_info().get("workers", {}))
            bar = ProgressBar(len(todo), enabled=progress)
            _run_tasks(c, todo, TaskOptions(float(cutoff), bool(estimates), bool(qc)), catalogue,
                       store, summary, bar)
    store.flush()
    summary.seconds = time.perf_counter() - started
    return summary
