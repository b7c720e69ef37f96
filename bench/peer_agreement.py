#!/usr/bin/env python3
"""Multipath results beside the stored results of gnssmultipath (../shared/validation,
see its NOTES.md), with the settings that make the two comparable: the plain arc mean
(bias_window_seconds=None) and cutoff 0 degrees; the phone file also min_arc_seconds=0
(it spans less than 300 s). The peer's results were produced by the peer itself and are
only read here; nothing of it is run.

Per signal: estimate counts and RMS, ours / peer ratios, the peer's second-frequency
phase, whether our pair is the same (judged from the values: where both tools pair the
same phases, ours minus peer is constant over every stretch both treat as one arc, so
its epoch-to-epoch change is zero to the reference's four decimals), and how many joined
estimates are identical (both tools cut the same arc there). Then the RINEX 2 P-code
multipath of delf0010.21o beside figures quoted from gnssmultipath, and the estimate
counts on two files without stored peer results.

Run from the repository root after `make build`:  .venv/bin/python bench/peer_agreement.py
"""
import csv
import gzip
import json
from collections import defaultdict

import numpy as np
import skyrift_mp as mp
from real_data import VALIDATION_DIR, data_file, has, skipped

LETTERS = {"GPS": "G", "GLONASS": "R", "Galileo": "E", "BeiDou": "C"}

CASES = [
    ("OPEC00NOR", "OPEC00NOR_S_20220010000_01D_30S_MO_3.04_croped.rnx", "gnssmultipath_OPEC00NOR_2022001_croped",
     {"orbit": "Testfile_20220101.eph"}),
    ("NMBUS_SAMSUNG_S20", "NMBUS_SAMSUNG_S20.20o", "gnssmultipath_NMBUS_SAMSUNG_S20", {"min_arc_seconds": 0.0}),
]
# GPS C1C estimates an established tool gives on the NYA100NOR day (quoted, no stored results).
NYA_PEER_GPS_C1C = 33561
# gnssmultipath on the RINEX 2 file delf0010.21o (quoted, no stored results): GPS estimates
# and RMS per code; its C1 count equals its P1 count, its C1 RMS is not quoted.
DELF_PEER = {"GC1C": (1244, None), "GC1P": (1244, 0.466), "GC2P": (1244, 0.578)}


def peer_results(folder):
    summary = json.loads((VALIDATION_DIR / folder / "summary.json").read_text())
    signals = {LETTERS[s["system"]] + s["code"]: s for s in summary["signals"]}
    values = defaultdict(dict)
    with gzip.open(VALIDATION_DIR / folder / "multipath_estimates.csv.gz", "rt") as f:
        for row in csv.DictReader(f):
            if row["multipath_m"]:
                values[row["sat"][0] + row["code"]][(row["sat"], row["epoch"])] = float(row["multipath_m"])
    return signals, values


def analyze(obs_name, options):
    obs = mp.read_rinex_obs(str(data_file(obs_name)))
    options = dict(options)
    if "orbit" in options:
        options["orbit"] = mp.read_sp3(str(data_file(options["orbit"])))
    return mp.MultipathAnalyzer(obs, bias_window_seconds=None, elevation_cutoff=0.0, **options).analyze()


def compare_values(ours, theirs):
    """(joined, identical, max |difference| among the identical, same pair)."""
    joined = sorted(k for k in ours if k in theirs)
    diff = {k: ours[k] - theirs[k] for k in joined}
    identical = [abs(d) for d in diff.values() if abs(d) < 1e-4]
    steps, by_sat = [], defaultdict(list)
    for sat, epoch in joined:
        by_sat[sat].append(diff[(sat, epoch)])
    for d in by_sat.values():
        steps.extend(np.abs(np.diff(d)))
    same_pair = bool(steps) and float(np.median(steps)) < 2e-4
    return len(joined), len(identical), max(identical, default=float("nan")), same_pair


def table(label, obs_name, folder, options):
    if not has(obs_name) or not (VALIDATION_DIR / folder).exists():
        print(f"{label}: data or stored peer results absent, skipped")
        return
    peer, peer_values = peer_results(folder)
    res = analyze(obs_name, options)
    stats = {s.system + s.code: s for s in res.statistics}
    ours_values = defaultdict(dict)
    for e in res.estimates:
        ours_values[e.system + e.signal][(e.satellite, e.epoch[:19])] = e.mp_value
    shown = {k: v for k, v in options.items()}
    print(f"\n{label}: bias_window_seconds=None, elevation_cutoff=0, {shown}   {res}")
    print(f"  {'signal':7} {'ours n':>7} {'peer n':>7} {'n ratio':>7}  {'ours rms':>8} {'peer rms':>8} "
          f"{'rms ratio':>9}  {'peer pair':>9} {'same pair':>9}  {'joined':>7} {'identical':>9} {'max |d| mm':>10}")
    for sig in sorted(set(stats) | set(peer)):
        s, p = stats.get(sig), peer.get(sig)
        n_ours, rms_ours = (s.count, s.rms) if s else (0, float("nan"))
        n_peer, rms_peer = (p["n_estimates"], p["rms_multipath_averaged_m"]) if p else (0, float("nan"))
        joined, identical, max_d, same = compare_values(ours_values.get(sig, {}), peer_values.get(sig, {}))
        print(f"  {sig:7} {n_ours:7d} {n_peer:7d} {n_ours / n_peer if n_peer else float('nan'):7.3f}  "
              f"{rms_ours:8.4f} {rms_peer:8.4f} {rms_ours / rms_peer if p and s else float('nan'):9.3f}  "
              f"{p['phase2_code'] if p else '-':>9} {('yes' if same else 'no') if joined else '-':>9}  "
              f"{joined:7d} {identical:9d} {max_d * 1000:10.3f}")


def counts(label, obs_name, signals):
    """`signals`: signal -> estimate count an established tool gives (None: not known)."""
    if not has(obs_name):
        print(skipped(label))
        return
    res = mp.MultipathAnalyzer(mp.read_rinex_obs(str(data_file(obs_name))), elevation_cutoff=0.0).analyze()
    stats = {s.system + s.code: s for s in res.statistics}
    per_sat = defaultdict(int)
    for s in res.cycle_slips:
        per_sat[s.satellite] += 1
    most = max(per_sat.items(), key=lambda kv: kv[1], default=("-", 0))
    print(f"\n{label} (elevation_cutoff=0): {res}; most slip records on one satellite: {most[0]} {most[1]}")
    for sig, reference in signals.items():
        s = stats.get(sig)
        line = f"  {sig}: {s.count if s else 0} estimates, {s.cycle_slips if s else 0} slip arc breaks"
        if reference:
            line += f"  ({(s.count if s else 0) / reference:.1%} of the {reference} an established tool gives)"
        print(line)


def quoted(label, obs_name, peer, options):
    """Our counts and RMS beside figures quoted from a peer: signal -> (n, rms or None)."""
    if not has(obs_name):
        print(skipped(label))
        return
    res = analyze(obs_name, options)
    stats = {s.system + s.code: s for s in res.statistics}
    print(f"\n{label}: bias_window_seconds=None, elevation_cutoff=0, {options}   {res}")
    print(f"  {'signal':7} {'ours n':>7} {'peer n':>7} {'n ratio':>7}  {'ours rms':>8} {'peer rms':>8} {'rms ratio':>9}")
    for sig, (n_peer, rms_peer) in peer.items():
        s = stats.get(sig)
        n_ours, rms_ours = (s.count, s.rms) if s else (0, float("nan"))
        rms_text = f"{rms_peer:8.3f} {rms_ours / rms_peer:9.3f}" if rms_peer else f"{'-':>8} {'-':>9}"
        print(f"  {sig:7} {n_ours:7d} {n_peer:7d} {n_ours / n_peer:7.3f}  {rms_ours:8.4f} {rms_text}")


def main():
    for case in CASES:
        table(*case)
    quoted("delf0010.21o (RINEX 2.11: C1 P1 P2 L1 L2)", "delf0010.21o", DELF_PEER, {"min_arc_seconds": 0.0})
    counts("NYA100NOR day", "NYA100NOR_S_20241240000_01D_30S_MO.rnx.gz",
           {"GC1C": NYA_PEER_GPS_C1C, "GC2W": None, "RC1C": None, "EC1X": None})
    counts("07590920.05o", "07590920.05o", {"GC1C": None, "GC2P": None})


if __name__ == "__main__":
    main()
