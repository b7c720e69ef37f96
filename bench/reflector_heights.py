#!/usr/bin/env python3
"""Reflector heights against gnssrefl's gnssir on the same SNR files (figures only, no thresholds).

Three days of station MCHL in gnssrefl's SNR format (../shared/data/gnssir/), that tool's settings
(mchl.json) with refraction off in both. gnssir runs offline from bench/.venv-peers on copies of the
files in a temporary REFL_CODE tree, midnight crossings off so that both cut arcs at the day's edges.

Prints per-arc matches (satellite, frequency, rise/set, arc times within 10 min), the median and 95th
percentile of |dRH|, daily means, and the time per day of both; with --figures DIR, writes the figures
for the note (our heights against gnssir's, the |dRH| distribution, a periodogram).

Run from the repository root after `make build`:  .venv/bin/python bench/reflector_heights.py
gnssrefl is installed into bench/.venv-peers on first use (never into the project's deps).
"""
import argparse
import gzip
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np
import skyrift_mp as sk
from real_data import DATA_DIR, has, skipped

ROOT = Path(__file__).resolve().parents[1]
PEERS = ROOT / "bench" / ".venv-peers"
GNSSIR = DATA_DIR / "gnssir"
STATION, YEAR, DAYS = "mchl", 2025, (10, 11, 12)
# gnssir frequency code -> our signal name and the SNR file column holding it.
FREQUENCIES = {1: ("S1", 6), 20: ("S2", 7), 5: ("S5", 8)}
ALL_SIGNALS = {"S1": 6, "S2": 7, "S5": 8, "S6": 5, "S7": 9, "S8": 10}
MATCH_SECONDS = 600.0


def snr_path(doy: int) -> Path:
    return GNSSIR / f"{STATION}{doy:03d}0.{YEAR % 100:02d}.snr66.gz"


def load_snr(doy: int) -> np.ndarray:
    with gzip.open(snr_path(doy), "rt") as f:
        return np.loadtxt(f)


def settings() -> dict:
    s = json.loads((GNSSIR / f"{STATION}.json").read_text())
    s["refraction"] = False
    return s


def our_options(s: dict) -> dict:
    return dict(min_elevation=s["e1"], max_elevation=s["e2"], fit_min_elevation=s["pele"][0],
                fit_max_elevation=s["pele"][1], polynomial_order=s["polyV"], min_height=s["minH"],
                max_height=s["maxH"], height_step=s["desiredP"], noise_min_height=s["NReg"][0],
                noise_max_height=s["NReg"][1], min_peak_to_noise=s["PkNoise"], elevation_margin=s["ediff"],
                max_arc_seconds=s["delTmax"] * 60.0)


def ours(table: np.ndarray, doy: int, signals: dict, options: dict, gps_only: bool):
    """reflector_heights_from_snr for each signal column; returns (per-signal results, seconds)."""
    keep = table[:, 0] < 100 if gps_only else np.ones(len(table), bool)
    t = table[keep]
    day = np.datetime64(f"{YEAR}-01-01", "ms") + np.timedelta64(doy - 1, "D")
    times = day + (t[:, 3] * 1000).astype("timedelta64[ms]")
    sats = t[:, 0].astype(np.int64)
    start = time.perf_counter()
    out = {}
    for name, column in signals.items():
        out[name] = sk.reflector_heights_from_snr(sats, times, t[:, 1], t[:, 2], t[:, column], name, **options)
    return out, time.perf_counter() - start


def peer_gnssir() -> Path | None:
    exe = PEERS / "bin" / "gnssir"
    if not exe.exists():
        if not (PEERS / "bin" / "python").exists():
            subprocess.run([sys.executable, "-m", "venv", str(PEERS)], check=True)
        done = subprocess.run([str(PEERS / "bin" / "pip"), "install", "-q", "gnssrefl"])
        if done.returncode != 0 or not exe.exists():
            return None
    return exe


def run_gnssir(exe: Path, s: dict, workdir: Path):
    """gnssir for every day; returns ({doy: rows}, {doy: wall seconds}, {doy: its own s/day})."""
    refl = workdir / "refl"
    (refl / "input").mkdir(parents=True)
    (refl / "input" / f"{STATION}.json").write_text(json.dumps(s, indent=1))
    snr_dir = refl / str(YEAR) / "snr" / STATION
    snr_dir.mkdir(parents=True)
    for doy in DAYS:
        with gzip.open(snr_path(doy), "rb") as src, open(snr_dir / snr_path(doy).name[:-3], "wb") as dst:
            shutil.copyfileobj(src, dst)
    env = dict(os.environ, REFL_CODE=str(refl), ORBITS=str(workdir / "orbits"), EXE=str(workdir / "exe"))
    (workdir / "orbits").mkdir()
    (workdir / "exe").mkdir()
    rows, wall, own = {}, {}, {}
    for doy in DAYS:
        start = time.perf_counter()
        done = subprocess.run([str(exe), STATION, str(YEAR), str(doy), "-midnite", "False", "-gzip", "False"],
                              env=env, cwd=workdir, capture_output=True, text=True)
        wall[doy] = time.perf_counter() - start
        if done.returncode != 0:
            print(done.stdout[-2000:], done.stderr[-2000:])
            raise SystemExit(f"gnssir failed on day {doy}")
        m = re.search(r"in ([0-9.]+) s \(", done.stdout)
        own[doy] = float(m.group(1)) if m else float("nan")
        result = refl / str(YEAR) / "results" / STATION / f"{doy:03d}.txt"
        rows[doy] = np.atleast_2d(np.loadtxt(result, comments="%"))
    return rows, wall, own


def match(theirs: np.ndarray, results: dict):
    """Each gnssir arc against our accepted arcs of the same satellite, signal and direction."""
    matches, missed = [], []
    for row in theirs:
        rh, sat, hours, freq, rise = row[2], int(row[3]), row[4], int(row[10]), int(row[11])
        name = FREQUENCIES[freq][0]
        a = results[name].arcs
        seconds = (a["time"] - a["time"][0].astype("datetime64[D]")).astype(float) / 1000.0 if a["time"].size else a["time"]
        ok = (a["satellite"] == f"G{sat:02d}") & (a["rising"] == (rise > 0))
        dt = np.abs(seconds - hours * 3600.0)
        candidates = np.flatnonzero(ok & (dt <= MATCH_SECONDS))
        if candidates.size:
            k = candidates[np.argmin(dt[candidates])]
            matches.append((sat, freq, rise, hours, dt[k] / 60.0, rh, a["height"][k]))
        else:
            missed.append((sat, freq, rise, hours, rh))
    return matches, missed


def daily_mean_filtered(heights: np.ndarray, median_filter=0.25, min_tracks=10) -> float:
    kept = heights[np.abs(heights - np.median(heights)) <= median_filter]
    return float(kept.mean()) if kept.size >= min_tracks else float("nan")


def figures(directory: Path, all_matches, results_by_day):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("figures: matplotlib is not installed")
        return
    directory.mkdir(parents=True, exist_ok=True)
    m = np.array([x[5:] for x in all_matches])
    fig, ax = plt.subplots(1, 2, figsize=(10, 4))
    ax[0].plot(m[:, 0], m[:, 1], ".", ms=4)
    lo, hi = m.min() - 0.02, m.max() + 0.02
    ax[0].plot([lo, hi], [lo, hi], "k-", lw=0.5)
    ax[0].set(xlabel="gnssir RH (m)", ylabel="skyrift_mp RH (m)", title="Matched arcs, MCHL 2025 doy 10-12")
    ax[1].hist(np.abs(m[:, 1] - m[:, 0]) * 1000, bins=40)
    ax[1].set(xlabel="|dRH| (mm)", ylabel="arcs", title="|dRH| of matched arcs")
    fig.tight_layout()
    fig.savefig(directory / "reflector_heights_vs_gnssir.png", dpi=120)
    r = results_by_day[DAYS[0]]["S1"]
    h, a = r.periodogram(0)
    fig, ax = plt.subplots(figsize=(6, 3.5))
    ax.plot(h, a)
    ax.axvline(r.arcs["height"][0], color="k", lw=0.5)
    ax.set(xlabel="reflector height (m)", ylabel="amplitude (v/v)",
           title=f"{r.arcs['satellite'][0]} S1, first accepted arc of doy {DAYS[0]}")
    fig.tight_layout()
    fig.savefig(directory / "reflector_periodogram.png", dpi=120)
    print(f"figures written to {directory}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--figures", type=Path, help="write the figures for the note into this directory")
    parser.add_argument("--arcs", action="store_true", help="print every matched arc")
    args = parser.parse_args()
    if not has("gnssir"):
        print(skipped("reflector heights beside gnssrefl"))
        return
    print(f"skyrift_mp {sk.version()}, {os.cpu_count()} processors, station {STATION.upper()} {YEAR} doy {DAYS}")
    s = settings()
    options = our_options(s)
    print("options from mchl.json, refraction off:", options)
    tables = {doy: load_snr(doy) for doy in DAYS}
    gps = {name: FREQUENCIES[f][1] for f, (name, _) in FREQUENCIES.items()}
    results, our_time = {}, {}
    for doy in DAYS:
        best = float("inf")
        for _ in range(5):
            res, seconds = ours(tables[doy], doy, gps, options, gps_only=True)
            best = min(best, seconds)
        results[doy], our_time[doy] = res, best
    everything = {doy: ours(tables[doy], doy, ALL_SIGNALS, options, gps_only=False) for doy in DAYS}

    exe = peer_gnssir()
    if exe is None:
        print("gnssrefl could not be installed into bench/.venv-peers: our figures only")
    with tempfile.TemporaryDirectory() as tmp:
        theirs, wall, own = run_gnssir(exe, s, Path(tmp)) if exe else ({}, {}, {})

    all_matches, total = [], 0
    print("\nday  | gnssir arcs | matched | ours (GPS S1/S2/S5) | daily mean gnssir / ours (m) | "
          "filtered daily mean gnssir / ours (m) | s/day gnssir wall, own / ours | speed-up")
    for doy in DAYS:
        ours_heights = np.concatenate([r.arcs["height"] for r in results[doy].values()])
        n_ours = ours_heights.size
        if doy not in theirs:
            print(f"{doy:4d} | ours {n_ours} arcs, mean {ours_heights.mean():.4f} m in {our_time[doy] * 1000:.1f} ms")
            continue
        rows = theirs[doy]
        matches, missed = match(rows, results[doy])
        all_matches += matches
        total += len(rows)
        print(f"{doy:4d} | {len(rows):11d} | {len(matches):7d} | {n_ours:18d} | "
              f"{rows[:, 2].mean():.4f} / {ours_heights.mean():.4f} (d {1000 * (ours_heights.mean() - rows[:, 2].mean()):+.1f} mm) | "
              f"{daily_mean_filtered(rows[:, 2]):.4f} / {daily_mean_filtered(ours_heights):.4f} | "
              f"{wall[doy]:.2f}, {own[doy]:.2f} / {our_time[doy]:.4f} | "
              f"{wall[doy] / our_time[doy]:.0f}x wall, {own[doy] / our_time[doy]:.0f}x own")
        for sat, freq, rise, hours, rh in missed:
            print(f"       unmatched gnssir arc: G{sat:02d} freq {freq} {'rise' if rise > 0 else 'set'} "
                  f"{hours:6.3f} h RH {rh:.3f}")
        if args.arcs:
            for sat, freq, rise, hours, dt, rh, our in matches:
                print(f"       G{sat:02d} f{freq:<2d} {'rise' if rise > 0 else 'set '} {hours:6.3f} h "
                      f"(dt {dt:4.1f} min) RH {rh:.3f} / {our:.4f}  d {1000 * (our - rh):+5.1f} mm")
    if all_matches:
        d = np.abs(np.array([m[6] - m[5] for m in all_matches]))
        print(f"\nmatched {len(all_matches)} of {total} gnssir arcs ({100 * len(all_matches) / total:.1f} %); "
              f"|dRH| median {1000 * np.median(d):.1f} mm, 95th percentile {1000 * np.percentile(d, 95):.1f} mm, "
              f"max {1000 * d.max():.1f} mm")
        print(f"time per day: gnssir {np.mean(list(wall.values())):.2f} s wall "
              f"({np.mean(list(own.values())):.2f} s by its own count), ours {1000 * np.mean(list(our_time.values())):.1f} ms "
              f"(best of 5, arrays in memory; loading the text file with numpy.loadtxt is extra)")
    print("\nAll systems and SNR columns (ours only): accepted arcs per signal and daily value")
    for doy in DAYS:
        res, seconds = everything[doy]
        counts = {}
        for name, r in res.items():
            for sysl in "GREC":
                n = int(np.sum(np.char.startswith(r.arcs["satellite"].astype(str), sysl)))
                if n:
                    counts[f"{sysl}{name}"] = n
        heights = np.concatenate([r.arcs["height"] for r in res.values()])
        print(f"{doy:4d} | {sum(counts.values())} arcs {counts} | filtered daily mean "
              f"{daily_mean_filtered(heights):.4f} m | {1000 * seconds:.1f} ms")
    if args.figures and all_matches:
        figures(args.figures, all_matches, results)


if __name__ == "__main__":
    main()
