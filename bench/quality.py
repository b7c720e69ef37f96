"""Timing of quality() on the ESBC station-day with its navigation file, beside the
multipath chain, and its expected/present counts beside those of Anubis 2.2.4 (the
peer's figures: 8.0 s per station-day on this 2-core machine, one thread).

    .venv/bin/python bench/quality.py [--repeats 5]

Times are the best of several runs, wall clock and process CPU seconds (all threads).
"""
import argparse
import os
import time

import skyrift_mp as sk
from real_data import data_file, has, skipped
from timing import best_of

OBS = "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"
NAV = "ESBC00DNK_R_20201770000_01D_MN.rnx.gz"
SP3 = "GRG0MGXFIN_20201770000_01D_15M_ORB.SP3"
ANUBIS_SECONDS = 8.0
# Anubis 2.2.4 on this day, its navigation file, cutoff 10 deg: (expected, present).
ANUBIS = [("G", "C1C", 26070, 26045), ("G", "C2L", 25774, 17487), ("G", "C5Q", 25691, 11424),
          ("E", "C1C", 19480, 19467), ("R", "C1C", 21679, 21375), ("C", "C2I", 27413, 27393)]


def timed(repeats, fn):
    wall, result = best_of(repeats, fn)
    cpu, _ = best_of(repeats, fn, clock=time.process_time)
    return wall, cpu, result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=5)
    repeats = parser.parse_args().repeats
    obs_path, nav_path = str(data_file(OBS)), str(data_file(NAV))
    print(f"nproc {os.cpu_count()}, affinity {len(os.sched_getaffinity(0))} CPUs, "
          f"load {' '.join(f'{x:.2f}' for x in os.getloadavg())}; best of {repeats}")

    read = timed(repeats, lambda: sk.read_rinex_obs(obs_path))
    obs = read[2]
    nav = sk.read_rinex_nav(nav_path)
    rows = [("read_rinex_obs (gzip RINEX 3, 2880 epochs)", read)]
    rows.append(("read_rinex_nav", timed(repeats, lambda: sk.read_rinex_nav(nav_path))))
    report = sk.quality(obs, nav)
    q = timed(repeats, lambda: sk.quality(obs, nav))
    rows.append(("quality(obs, nav)", q))
    both = timed(repeats, lambda: sk.quality(sk.read_rinex_obs(obs_path), nav))
    rows.append(("read + quality(obs, nav)", both))
    rows.append(("quality(obs) without an orbit", timed(repeats, lambda: sk.quality(obs))))
    if has(SP3):
        sp3 = sk.read_sp3(str(data_file(SP3)))
        rows.append(("quality(obs, sp3)", timed(repeats, lambda: sk.quality(obs, sp3))))
    else:
        print(skipped("quality with the GRG precise orbit"))
    systems = [s["system"] for s in report.summary]
    rows.append(("multipath chain: analyze(), default systems",
                 timed(repeats, lambda: sk.MultipathAnalyzer(obs).analyze())))
    rows.append((f"multipath chain: analyze(orbit=nav), systems {''.join(systems)}",
                 timed(repeats, lambda: sk.MultipathAnalyzer(obs, systems=systems, orbit=nav).analyze())))

    print(f"\n  {'step':52} {'wall s':>7} {'CPU s':>7}")
    for label, (wall, cpu, _) in rows:
        print(f"  {label:52} {wall:7.3f} {cpu:7.3f}")
    print(f"\nread + quality: {both[0]:.3f} s wall against Anubis's {ANUBIS_SECONDS:.1f} s: "
          f"{ANUBIS_SECONDS / both[0]:.1f}x (goal: <= 0.5 s, >= 16x)")

    signals = {(r["system"], r["code"]): r for r in report.to_dict()["signals"]}
    print(f"\n  {'signal':7} {'expected':>9} {'Anubis':>7} {'diff %':>7} {'present':>8} {'Anubis':>7} {'diff %':>7}"
          f" {'tracking':>9} {'%':>6} {'% tracking':>10}")
    for system, code, expected, present in ANUBIS:
        r = signals[(system, code)]
        print(f"  {system} {code:5} {r['expected']:9d} {expected:7d} {100 * (r['expected'] / expected - 1):+7.2f}"
              f" {r['present']:8d} {present:7d} {100 * (r['present'] / present - 1):+7.2f}"
              f" {r['expected_tracking']:9d} {r['completeness']:6.2f} {r['completeness_tracking']:10.2f}")
    print()
    print(report)


if __name__ == "__main__":
    main()
