"""Throughput of skyrift-mp batch: files per minute on a LocalCluster of 1 and 2 worker
processes, against the same task run in a plain loop in this process (no Dask), over the
observation files of ../shared/data (orbits from the same folder) and over generated
daily station-days (24 h at 30 s).

    .venv/bin/python bench/batch.py                 # both sets
    .venv/bin/python bench/batch.py --days 4 --no-real

Each Dask figure is measured with the cluster started by run_batch (what a user sees,
start-up included) and on a cluster started beforehand (the steady state, which is what
the per-file overhead compares with the loop). The loop and the steady-state runs are
repeated (--repeat) and the best run counts; the load average is printed, since on a
shared machine other work takes cores away. Results go to a temporary folder.
"""
import argparse
import datetime as dt
import logging
import os
import sys
import tempfile
import time
from pathlib import Path

from real_data import DATA_DIR, has, skipped

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "python"))  # the batch layer of this checkout

from skyrift_cli.batch import run_batch  # noqa: E402
from skyrift_cli.batch.discovery import discover  # noqa: E402
from skyrift_cli.batch.orbits import build_catalogue  # noqa: E402
from skyrift_cli.batch.task import TaskOptions, analyse_file  # noqa: E402


def generated_days(folder: Path, count: int) -> Path:
    from skyrift_cli.simulator.simulate import SimConfig, simulate, write_simulation

    places = [(59.66, 10.78), (55.7, 12.5), (47.0, 8.0), (-33.9, 18.4), (35.7, 139.7),
              (-23.5, -46.6), (64.1, -21.9), (19.4, -99.1)]
    for k in range(count):
        lat, lon = places[k % len(places)]
        config = SimConfig(seed=100 + k, hours=24.0, interval=30.0, station=f"GN{k:02d}",
                           start=dt.datetime(2024, 3, 5) + dt.timedelta(days=k // 4),
                           latitude=lat, longitude=lon, height=50.0, network=True)
        write_simulation(simulate(config), folder)
    return folder


def in_process(sources, options, catalogue) -> tuple[float, int]:
    started = time.perf_counter()
    ok = sum(analyse_file(s, options, catalogue).ok for s in sources)
    return time.perf_counter() - started, ok


def batch(inputs, orbits, out: Path, **where) -> tuple[float, float]:
    """Wall seconds of run_batch and the seconds its tasks took inside the workers."""
    import pyarrow.parquet as pq

    started = time.perf_counter()
    run_batch(inputs, out, orbits=orbits, progress=False, **where)
    wall = time.perf_counter() - started
    return wall, sum(pq.read_table(out / "files.parquet")["seconds"].to_pylist())


def measure(label: str, inputs: list[str], orbits: str, tmp: Path, repeat: int) -> None:
    import distributed

    sources = discover(inputs)
    catalogue = build_catalogue(orbits)
    runs = [in_process(sources, TaskOptions(), catalogue) for _ in range(repeat)]
    loop, ok = min(runs)  # seconds, files without error
    n = len(sources)
    print(f"\n{label}: {n} files ({ok} analysed without error); load average "
          f"{os.getloadavg()[0]:.1f}")
    print(f"  {'run':<34}{'seconds':>9}{'files/min':>11}{'vs loop':>9}")
    print(f"  {'in-process loop (no Dask)':<34}{loop:9.2f}{60 * n / loop:11.1f}{'':>9}")
    steady = {}
    for workers in (1, 2):
        total, _ = batch(inputs, orbits, tmp / f"{label}-{workers}-cold", workers=workers)
        with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                      dashboard_address=":0", silence_logs=logging.ERROR) as cl:
            with distributed.Client(cl) as client:
                # every worker imports the module and reads a file once before timing
                batch(sources[:workers], orbits, tmp / f"warm-{label}-{workers}", client=client)
                steady[workers], inside = min(
                    batch(inputs, orbits, tmp / f"{label}-{workers}-warm{k}", client=client)
                    for k in range(repeat))
        for name, secs in ((f"{workers} worker(s), cluster started", total),
                           (f"{workers} worker(s), cluster running", steady[workers])):
            print(f"  {name:<34}{secs:9.2f}{60 * n / secs:11.1f}{secs / loop:8.2f}x")
        print(f"    (time inside the tasks on the running cluster: {inside:.2f} s)")
    print(f"  speed-up of 2 workers over 1 (running cluster): {steady[1] / steady[2]:.2f}x")
    print(f"  Dask overhead of 1 worker over the loop: {100 * (steady[1] / loop - 1):+.1f} % "
          f"({1000 * (steady[1] - loop) / n:+.0f} ms per file)")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--days", type=int, default=6, help="generated station-days (default 6)")
    parser.add_argument("--no-real", action="store_true", help="skip ../shared/data")
    parser.add_argument("--repeat", type=int, default=3, help="runs of which the best counts")
    args = parser.parse_args()
    print(f"processors available: {len(os.sched_getaffinity(0))}")
    with tempfile.TemporaryDirectory(prefix="skyrift-bench-batch-") as tmp:
        tmp = Path(tmp)
        if not args.no_real:
            if has():
                measure("real files of ../shared/data", [str(DATA_DIR)], str(DATA_DIR), tmp, args.repeat)
            else:
                print(skipped("real files"))
        if args.days:
            started = time.perf_counter()
            days = generated_days(tmp / "days", args.days)
            print(f"\n(generated {args.days} station-days in {time.perf_counter() - started:.1f} s)")
            measure(f"{args.days} generated daily files", [str(days)], str(days), tmp, args.repeat)


if __name__ == "__main__":
    main()
