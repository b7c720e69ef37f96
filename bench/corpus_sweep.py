#!/usr/bin/env python3
"""Multipath estimates of every observation file in ../shared/data, with the default
options and no orbit: per file the total, the estimates per series key and, where the
results give them, the reasons a signal or the file gave nothing. A sweep to compare
before and after a change of the analysis; it prints figures and judges nothing.

Run from the repository root after `make build`:  .venv/bin/python bench/corpus_sweep.py
"""
import re
import sys

import skyrift_mp as mp
from real_data import ABSENT, DATA_DIR

# Observation files by name (RINEX 2 "ssssdddf.yyo", RINEX 3 "..._MO.rnx"), plain or
# gzip; the Compact RINEX copies read like their expanded files and are left out.
OBSERVATION_NAME = re.compile(r"(\.\d\d[oO](\.gz|\.test)?|_MO(_[^/]*)?\.rnx(\.gz)?)$")


def sweep_file(path) -> list[str]:
    obs = mp.read_rinex_obs(str(path))
    res = mp.MultipathAnalyzer(obs).analyze()
    counts = {s.signal: s.count for s in res.statistics}
    lines = [f"{path.name}: {res.total_estimates()} estimates, {len(counts)} keys, "
             f"{res.total_cycle_slips()} slip records"]
    if counts:
        lines.append("  " + " ".join(f"{k}={n}" for k, n in sorted(counts.items())))
    for what, why in sorted((getattr(res, "empty_reasons", None) or {}).items()):
        lines.append(f"  nothing from {what}: {why}")
    return lines


def main() -> None:
    if not DATA_DIR.is_dir():
        sys.exit(ABSENT)
    files = sorted(p for p in DATA_DIR.iterdir() if OBSERVATION_NAME.search(p.name))
    total = 0
    for path in files:
        lines = sweep_file(path)
        total += int(lines[0].split(": ")[1].split()[0])
        print("\n".join(lines))
    print(f"\n{len(files)} files, {total} estimates (default options, no orbit)")


if __name__ == "__main__":
    main()
