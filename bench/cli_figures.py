#!/usr/bin/env python3
"""Figures of the command line (figures only, no thresholds).

1. `skyrift-mp snr ESBC --plots DIR`: wall seconds of the whole command (interpreter
   start to exit) and the CPU seconds of it and its figure workers (all processes; on a
   loaded machine the wall time grows, the CPU time much less), with the number of
   figures written.
2. `skyrift-mp multipath ESBC --sp3 GRG --plots DIR` against the library chain it stands
   on (read_rinex_obs + read_sp3 + MultipathAnalyzer(obs, orbit=sp3, ...).analyze(), in
   this process): the ratio of their wall times.

Each figure is the best of REPEATS runs (a shared machine only ever makes a run slower);
nproc and the load average are printed first, as they decide what the parallel figure
workers can gain. Run from the repository root after `make build`:
    .venv/bin/python bench/cli_figures.py
"""
import ctypes
import os
import resource
import subprocess
import sys
import tempfile
import time

import skyrift_mp as sk
from real_data import data_file
from timing import best_of

OBS = "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"
SP3 = "GRG0MGXFIN_20201770000_01D_15M_ORB.SP3"
REPEATS = 3


PR_SET_CHILD_SUBREAPER = 36  # linux/prctl.h


def adopt_orphans() -> None:
    """Become the parent of processes our commands leave behind (the figure workers' fork
    server outlives the command by a moment), so that their CPU time counts as ours."""
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)


def reap_orphans() -> None:
    while True:
        try:
            os.waitpid(-1, 0)
        except ChildProcessError:
            return


def children_cpu() -> float:
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def command(*argv) -> tuple[float, float, int]:
    """Best wall seconds of the command, CPU seconds of that run (with its workers), and
    the figures it wrote."""
    best = (float("inf"), 0.0, 0)
    for _ in range(REPEATS):
        with tempfile.TemporaryDirectory(prefix="skyrift-figures-") as outdir:
            cpu, start = children_cpu(), time.perf_counter()
            subprocess.run([sys.executable, "-m", "skyrift_cli", *argv, "--plots", outdir],
                           check=True, stdout=subprocess.DEVNULL)
            wall = time.perf_counter() - start
            reap_orphans()
            figures = sum(name.endswith(".png") for name in os.listdir(outdir))
            best = min(best, (wall, children_cpu() - cpu, figures))
    return best


def library_chain(obs_path, sp3_path) -> float:
    def chain():
        obs = sk.read_rinex_obs(str(obs_path))
        sp3 = sk.read_sp3(str(sp3_path))
        return sk.MultipathAnalyzer(obs, orbit=sp3, receiver=obs.approx_position,
                                    elevation_cutoff=10.0).analyze()
    seconds, _ = best_of(REPEATS, chain)
    return seconds


def main() -> None:
    obs, sp3 = data_file(OBS), data_file(SP3)
    adopt_orphans()
    load = ", ".join(f"{x:.2f}" for x in os.getloadavg())
    print(f"nproc {len(os.sched_getaffinity(0))}, load average {load} (1, 5, 15 min); "
          f"best of {REPEATS}")
    wall, cpu, figures = command("snr", str(obs))
    print(f"snr --plots on {OBS}: {wall:.1f} s wall, {cpu:.1f} s CPU with the workers, "
          f"{figures} figures")
    chain = library_chain(obs, sp3)
    wall, cpu, figures = command("multipath", str(obs), "--sp3", str(sp3))
    print(f"multipath --plots with {SP3}: {wall:.2f} s wall ({cpu:.1f} s CPU, {figures} "
          f"figures); library chain {chain:.2f} s; ratio {wall / chain:.1f}")


if __name__ == "__main__":
    main()
