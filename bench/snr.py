#!/usr/bin/env python3
"""SNR spectral benchmarks (figures only, no thresholds).

1. morlet_cwt against the PyPI package pycwt on the same input and scales, for
   n = 1000, 10 000 and 100 000 samples: times, ratio, largest difference of the power.
2. analyze_snr_wavelets on a real file from ../shared/data and on a generated 1 Hz day
   with 32 satellites, on one worker (process pinned to one CPU) and on all.

Run from the repository root after `make build`:  .venv/bin/python bench/snr.py
pycwt is installed into bench/.venv-peers on first use (never into the project's deps).
"""
import json
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np
import skyrift_mp as sk
from real_data import data_file, has, skipped
from timing import best_of

ROOT = Path(__file__).resolve().parents[1]
PEERS = ROOT / "bench" / ".venv-peers"
CACHE = ROOT / "bench" / ".cache"
REAL_FILE = "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"

sys.path.insert(0, str(ROOT / "tests"))
from rinex_text import write_snr_rinex  # noqa: E402

PEER_SCRIPT = """
import sys, time, numpy as np, pycwt
y = np.load(sys.argv[1]); dt, dj, s0, J = float(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), int(sys.argv[5])
y = y - y.mean()  # skyrift_mp removes the mean itself
best = float("inf")
for _ in range(int(sys.argv[7])):
    start = time.perf_counter()
    W = pycwt.cwt(y, dt, dj=dj, s0=s0, J=J, wavelet=pycwt.Morlet(6))[0]
    power = np.abs(W) ** 2
    best = min(best, time.perf_counter() - start)
np.save(sys.argv[6], power)
print(best)
"""


def peer_python() -> Path:
    python = PEERS / "bin" / "python"
    if not python.exists():
        subprocess.run([sys.executable, "-m", "venv", str(PEERS)], check=True)
        subprocess.run([str(python), "-m", "pip", "install", "-q", "pycwt", "numpy"], check=True)
    return python


def bench_morlet():
    print("morlet_cwt vs pycwt (Morlet w0=6, dt=1 s, dj=0.125, s0=2 s, same scales; best of N wall seconds)")
    print("  lists: morlet_cwt(y.tolist(), dt), list results; arrays: morlet_cwt(y, dt, as_numpy=True), y a numpy array")
    print(f"{'n':>8} {'scales':>7} {'lists s':>9} {'arrays s':>9} {'arrays CPU s':>12} {'pycwt s':>9} "
          f"{'pycwt/lists':>11} {'pycwt/arrays':>12} {'max |dP|/max P':>15} {'max rel dP (P>1e-6 max)':>24}")
    rng = np.random.default_rng(1)
    python = peer_python()
    with tempfile.TemporaryDirectory() as tmp:
        for n in (1000, 10_000, 100_000):
            # sub-millisecond calls need many repeats for a stable best time (both sides alike)
            repeats = {1000: 50, 10_000: 10}.get(n, 2)
            t = np.arange(n)
            y = np.sin(2 * np.pi * t / 60.0) + 0.5 * rng.normal(size=n)
            ours_time, ours = best_of(repeats, lambda: sk.morlet_cwt(y.tolist(), 1.0))
            array_time, arrays = best_of(repeats, lambda: sk.morlet_cwt(y, 1.0, as_numpy=True))
            array_cpu, _ = best_of(repeats, lambda: sk.morlet_cwt(y, 1.0, as_numpy=True), clock=time.process_time)
            assert np.array_equal(arrays["power"], np.asarray(ours["power"]))
            J = len(ours["scales"]) - 1
            np.save(f"{tmp}/y.npy", y)
            done = subprocess.run([str(python), "-c", PEER_SCRIPT, f"{tmp}/y.npy", "1.0", "0.125", "2.0", str(J),
                                   f"{tmp}/p.npy", str(repeats)], capture_output=True, text=True, check=True)
            peer_time = float(done.stdout.split()[-1])
            theirs = np.load(f"{tmp}/p.npy")
            power = np.asarray(ours["power"])
            diff = np.abs(power - theirs)
            peak = power.max()
            strong = power > 1e-6 * peak
            rel = (diff[strong] / power[strong]).max()
            print(f"{n:>8} {J + 1:>7} {ours_time:>9.4f} {array_time:>9.4f} {array_cpu:>12.4f} {peer_time:>9.4f} "
                  f"{peer_time / ours_time:>11.2f} {peer_time / array_time:>12.2f} "
                  f"{diff.max() / peak:>15.2e} {rel:>24.2e}")


SURVEY_SCRIPT = """
import json, os, sys, time
if sys.argv[2] != "all":
    os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})
import skyrift_mp as sk
obs = sk.read_rinex_obs(sys.argv[1])
best = float("inf")
for _ in range(int(sys.argv[3])):
    start = time.perf_counter()
    result = sk.analyze_snr_wavelets(obs)
    best = min(best, time.perf_counter() - start)
print(json.dumps({"seconds": best, "cpus": len(os.sched_getaffinity(0)), "satellites": len(result["residuals"]),
                  "samples": sum(len(r["t"]) for r in result["residuals"].values())}))
"""


def survey_run(path: Path, cpus: str, repeats: int) -> dict:
    done = subprocess.run([sys.executable, "-c", SURVEY_SCRIPT, str(path), cpus, str(repeats)],
                          capture_output=True, text=True, check=True)
    return json.loads(done.stdout)


def generated_day() -> Path:
    """A 1 Hz day of 32 GPS satellites, each in view for two arcs (6 h and 5 h)."""
    path = CACHE / "snr_1hz_day_32sats.rnx"
    if path.exists():
        return path
    CACHE.mkdir(parents=True, exist_ok=True)
    n = 86400
    t = np.arange(n, dtype=float)
    rng = np.random.default_rng(5)
    series = {}
    for prn in range(1, 33):
        values = np.full(n, np.nan)
        for rise, length in (((prn * 2700) % n, 21600), ((prn * 2700 + 43200) % n, 18000)):
            idx = (rise + np.arange(length)) % n
            phase = np.arange(length) / length
            elevation = np.sin(np.pi * phase)  # 0 → 1 → 0 over the pass
            values[idx] = (32 + 18 * elevation + 1.5 * (1 - elevation) * np.sin(2 * np.pi * idx / (20 + prn * 3))
                           + rng.normal(0, 0.3, length))
        series[f"G{prn:02d}"] = {"S1C": values.round(3).tolist()}
    return write_snr_rinex(path, t.tolist(), series, 1.0)


def bench_survey():
    print()
    print(f"analyze_snr_wavelets: one worker (pinned to one CPU) vs all ({len(os.sched_getaffinity(0))} CPUs); "
          "read time excluded; best of N")
    print(f"{'file':<44} {'sats':>5} {'samples':>8} {'1 worker s':>11} {'all s':>8} {'speed-up':>9}")
    files = []
    if has(REAL_FILE):
        files.append((data_file(REAL_FILE), 3))
    else:
        print(skipped(f"real file {REAL_FILE}"))
    files.append((generated_day(), 2))
    for path, repeats in files:
        one = survey_run(path, "one", repeats)
        all_ = survey_run(path, "all", repeats)
        print(f"{path.name:<44} {all_['satellites']:>5} {all_['samples']:>8} {one['seconds']:>11.3f} "
              f"{all_['seconds']:>8.3f} {one['seconds'] / all_['seconds']:>9.2f}")


if __name__ == "__main__":
    print(f"nproc={os.cpu_count()} affinity={len(os.sched_getaffinity(0))} load={os.getloadavg()[0]:.2f}")
    bench_morlet()
    bench_survey()
