#!/usr/bin/env python3
"""The level shifts left inside multipath arcs, classified.

A shift: two consecutive estimates of one satellite and signal at most 300 s apart,
no slip record of that satellite between them, and |change| > 3 m (plain arc mean,
cutoff -90 so that nothing is hidden, real elevations from the orbit). Each is put in
one class:
- "persistent step": the median of the next 10 points differs from that of the
  previous 10 by more than 2 m within one arc (what an undetected slip would leave);
- "low elevation": below 20 degrees, an excursion that comes back (code noise,
  outliers, low-elevation multipath);
- "higher": the same at 20 degrees or above (or without orbit position, shown as 45).
For the persistent steps the script prints the change of every signal of the
satellite at that epoch: a phase slip moves every series that holds that phase by a
fixed ratio; a change in one signal alone is the code's.

Run from the repository root after `make build`:  .venv/bin/python bench/level_shifts.py [opec|esbc ...]
"""
import sys
from collections import Counter, defaultdict

import numpy as np
import skyrift_mp as mp
from real_data import data_file

CASES = {"opec": ("OPEC00NOR_S_20220010000_01D_30S_MO_3.04_croped.rnx", "Testfile_20220101.eph"),
         "esbc": ("ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz", "GRG0MGXFIN_20201770000_01D_15M_ORB.SP3")}


def ms(text):
    return int(np.datetime64(text[:-1], "ms").astype(np.int64))


def classify(name, **options):
    obs_name, orbit_name = CASES[name]
    obs = mp.read_rinex_obs(str(data_file(obs_name)))
    res = mp.MultipathAnalyzer(obs, elevation_cutoff=-90.0, bias_window_seconds=None,
                               orbit=mp.read_sp3(str(data_file(orbit_name))), **options).analyze()
    slips = defaultdict(list)
    for s in res.cycle_slips:
        slips[s.satellite].append(ms(s.epoch))
    series = defaultdict(list)
    for e in res.estimates:
        series[(e.satellite, e.signal)].append((ms(e.epoch), e.mp_value, e.elevation, e.snr))
    found = defaultdict(list)
    for (sat, sig), points in series.items():
        t = np.array([p[0] for p in points])
        v = np.array([p[1] for p in points])
        for i in range(1, len(points)):
            if t[i] - t[i - 1] > 300_000 or abs(v[i] - v[i - 1]) <= 3.0:
                continue
            if any(t[i - 1] < x <= t[i] for x in slips[sat]):
                continue
            lo, hi = max(0, i - 10), min(len(v), i + 10)
            one_arc = bool((np.diff(t[lo:hi]) <= 150_000).all())
            step = float(np.median(v[i:hi]) - np.median(v[lo:i]))
            elevation = points[i][2]
            kind = "persistent step" if one_arc and abs(step) > 2.0 else (
                "low elevation" if elevation < 20.0 else "higher")
            found[kind].append((sat, sig, int(t[i]), float(v[i] - v[i - 1]), elevation, points[i][3]))
    total = sum(len(rows) for rows in found.values())
    print(f"\n{name}{' ' + str(options) if options else ''}: {res}, {total} level shifts")
    for kind, rows in found.items():
        snr = [r[5] for r in rows if r[5] is not None]
        print(f"  {kind:16} {len(rows):4d}  median elevation {np.median([r[4] for r in rows]):5.1f}"
              f"{f'  median SNR {np.median(snr):4.1f}' if snr else ''}  by signal "
              f"{Counter(r[0][0] + r[1] for r in rows).most_common(5)}")
    for sat, sig, t, change, elevation, snr in found.get("persistent step", []):
        cells = []
        for (s2, sig2), points in sorted(series.items()):
            if s2 != sat:
                continue
            times = [p[0] for p in points]
            if t in times and times.index(t) > 0:
                k = times.index(t)
                cells.append(f"{sig2} {points[k][1] - points[k - 1][1]:+.1f}")
        print(f"    {sat} {sig} {str(np.datetime64(t, 'ms'))[11:19]} elevation {elevation:4.1f}: {', '.join(cells)}")


def main():
    names = sys.argv[1:] or list(CASES)
    for name in names:
        classify(name)
        classify(name, skip_slip_tests_after_holes=True)


if __name__ == "__main__":
    main()
