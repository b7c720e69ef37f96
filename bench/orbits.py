"""Orbit queries over a day of 30 s epochs for every satellite of a real SP3 file, then
the same for the broadcast orbits of the ESBC day against its precise orbit.

Prints the time per `Sp3Data.get_position` and per `compute_elevation` call from Python,
then builds (plain CMake, target bench_orbits) and runs the C++ benchmark of the
per-estimate geometry step behind `AnalysisResults.compute_elevations`, which Python
cannot call on its own. The broadcast part prints `read_rinex_nav` throughput,
`NavData.get_position` per call, `AnalysisResults.compute_elevations` over the
ESBC day's estimates with the NavData, the Sp3Data and both, and the two users of an
orbit argument on that day with each: `MultipathAnalyzer(orbit=...).analyze()` (look
angles and cutoff inside the analysis) and `reflector_heights`.

Usage: python bench/orbits.py [FILE.sp3]   (default: ../shared/data/Testfile_20220101.eph)
"""

import gzip
import os
import subprocess
import sys
import time
from pathlib import Path

import skyrift_mp as sk
from cpp_tools import build_cpp_tool
from real_data import data_file, has, skipped
from timing import best_of

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


def run_cpp_bench(*args):
    subprocess.run([str(build_cpp_tool("bench_orbits")), *map(str, args)], check=True)


ESBC = ("ESBC00DNK_R_20201770000_01D_MN.rnx.gz", "GRG0MGXFIN_20201770000_01D_15M_ORB.SP3",
        "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz")


def broadcast_section():
    if not has(*ESBC):
        print("\n" + skipped("broadcast orbits"))
        return
    nav_path, sp3_path, obs_path = (data_file(name) for name in ESBC)
    print("\nbroadcast orbits, ESBC 2020-06-25:")
    text_bytes = len(gzip.decompress(nav_path.read_bytes()))
    seconds, _ = best_of(5, lambda: sk.read_rinex_nav(str(nav_path)))
    nav = sk.read_rinex_nav(str(nav_path))
    print(f"read_rinex_nav: {seconds * 1e3:.1f} ms, {text_bytes / seconds / 1e6:.1f} MB/s of text "
          f"({nav_path.stat().st_size / seconds / 1e6:.1f} MB/s of gzip)  {nav!r}")
    epochs = day_of_epochs(sp3_path)
    satellites = nav.satellites()
    calls = len(epochs) * len(satellites)
    per_call("NavData.get_position", lambda: (nav.get_position(s, e) for s in satellites for e in epochs), calls)
    sp3 = sk.read_sp3(str(sp3_path))
    obs = sk.read_rinex_obs(str(obs_path))
    analyzer = sk.MultipathAnalyzer(obs)
    for label, orbit in (("Sp3Data", sp3), ("NavData", nav), ("(Sp3Data, NavData)", (sp3, nav))):
        timings = []
        for _ in range(3):
            results = analyzer.analyze()
            start = time.perf_counter()
            computed, failed = results.compute_elevations(orbit, obs.approx_position)
            timings.append(time.perf_counter() - start)
        n = computed + failed
        print(f"compute_elevations with {label:<19} {min(timings) * 1e9 / n:7.0f} ns/estimate "
              f"({n} estimates, {computed} computed, {failed} failed, best of 3: {min(timings):.3f} s)")
    orbits = (("None", None), ("Sp3Data", sp3), ("NavData", nav), ("(Sp3Data, NavData)", (sp3, nav)))
    for label, orbit in orbits:
        options = {} if orbit is None else {"orbit": orbit}
        seconds, _ = best_of(3, lambda: sk.MultipathAnalyzer(obs, **options).analyze())
        print(f"MultipathAnalyzer(orbit={label}).analyze(): {seconds:.3f} s (best of 3)")
    for label, orbit in orbits[1:]:
        seconds, _ = best_of(3, lambda: sk.reflector_heights(obs, orbit))
        print(f"reflector_heights(obs, {label}): {seconds:.3f} s (best of 3)")
    print("geometry step from SP3, broadcast and both (C++ bench_orbits --nav):")
    run_cpp_bench("--nav", nav_path, sp3_path, obs.approx_position.x, obs.approx_position.y, obs.approx_position.z)


def main():
    path = Path(sys.argv[1]) if len(sys.argv) > 1 else data_file("Testfile_20220101.eph")
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
    run_cpp_bench(path, *RECEIVER)
    broadcast_section()


if __name__ == "__main__":
    main()
