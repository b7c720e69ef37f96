"""Orbit queries over a day of 30 s epochs for every satellite of a real SP3 file.

Prints the time per `Sp3Data.get_position` and per `compute_elevation` call from Python,
then builds (plain CMake, target bench_orbits) and runs the C++ benchmark of the
per-estimate geometry step behind `AnalysisResults.compute_elevations`, which Python
cannot call on its own.

Usage: python bench/orbits.py [FILE.sp3]   (default: ../shared/data/Testfile_20220101.eph)
"""

import os
import subprocess
import sys
import time
from pathlib import Path

import skyrift_mp as sk

REPO = Path(__file__).resolve().parents[1]
DATA = REPO.parent / "shared" / "data"
RECEIVER = (3939618.0985, 456302.0205, 4978525.8695)


def day_of_epochs(path):
    first = next(line for line in open(path) if line.startswith("*"))
    year, month, day = (int(v) for v in first[3:31].split()[:3])
    return [sk.Epoch(year, month, day, k // 120, (k // 2) % 60, 30.0 * (k % 2)) for k in range(2880)]


def per_call(label, func, calls):
    start = time.perf_counter()
    found = sum(1 for _ in filter(lambda r: r is not None, func()))
    elapsed = time.perf_counter() - start
    print(f"{label:<28} {elapsed / calls * 1e6:8.2f} us/call  ({calls} calls, {found} with a result, {elapsed:.2f} s)")


def run_cpp_bench(path):
    build = REPO / "build" / "bench"
    venv_cmake = Path(sys.executable).parent / "cmake"
    cmake = str(venv_cmake) if venv_cmake.exists() else "cmake"
    subprocess.run([cmake, "-S", str(REPO), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run([cmake, "--build", str(build), "--target", "bench_orbits", "-j2"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run([str(build / "bench_orbits"), str(path), *map(str, RECEIVER)], check=True)


def main():
    path = Path(sys.argv[1]) if len(sys.argv) > 1 else DATA / "Testfile_20220101.eph"
    if not path.exists():
        sys.exit(f"{path} not found (the real SP3 files live in ../shared/data)")
    print(f"nproc: {os.cpu_count()}, affinity: {len(os.sched_getaffinity(0))}")
    start = time.perf_counter()
    sp3 = sk.read_sp3(str(path))
    print(f"read_sp3: {(time.perf_counter() - start) * 1e3:.1f} ms  {sp3!r}")
    epochs = day_of_epochs(path)
    satellites = sp3.satellites()
    receiver = sk.Ecef(*RECEIVER)
    calls = len(epochs) * len(satellites)
    per_call("get_position", lambda: (sp3.get_position(s, e) for s in satellites for e in epochs), calls)
    per_call("compute_elevation", lambda: (sk.compute_elevation(sp3, receiver, s, e) for s in satellites for e in epochs),
             calls)
    print("geometry step of compute_elevations (C++ bench_orbits, one estimate per satellite and epoch):")
    run_cpp_bench(path)


if __name__ == "__main__":
    main()
