"""Timings of the multipath chain (read, analyze(), compute_elevations, and analyze()
with the orbit given to the analyzer) with estimate counts and peak memory, on two real
station files and a generated 1 Hz day, and the same analysis by the PyPI package
gnssmultipath (installed only into bench/.venv-peers) on the same files, with per-signal
RMS side by side.

    .venv/bin/python bench/multipath.py                  # everything
    .venv/bin/python bench/multipath.py --peer-on opec   # peer on the short file only
    .venv/bin/python bench/multipath.py --no-peer --no-1hz

Each case runs in a child process so that its peak memory is its own. Times are wall
clock and process CPU seconds (the machine is shared; CPU seconds are the steadier figure).
"""
import argparse
import gzip
import json
import os
import resource
import shutil
import subprocess
import sys
import time
from pathlib import Path

import numpy as np

from real_data import data_file

ROOT = Path(__file__).resolve().parents[1]
CACHE = ROOT / "bench" / ".cache"
PEER_PYTHON = ROOT / "bench" / ".venv-peers" / "bin" / "python"

CASES = {
    "esbc": ("ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz", "GRG0MGXFIN_20201770000_01D_15M_ORB.SP3"),
    "opec": ("OPEC00NOR_S_20220010000_01D_30S_MO_3.04_croped.rnx", "Testfile_20220101.eph"),
    "1hz": ("SYNT00DNK_R_20201770000_01D_01S_MO.rnx", "GRG0MGXFIN_20201770000_01D_15M_ORB.SP3"),
}
ESBC_POSITION = (3582105.0, 532589.0, 5232754.0)  # receiver of the generated day (near Esbjerg)


def case_files(name):
    """The observation and orbit files of a case (the generated 1 Hz day lives in the cache)."""
    obs_name, orbit_name = CASES[name]
    return CACHE / obs_name if name == "1hz" else data_file(obs_name), data_file(orbit_name)


def peak_mb():
    # VmHWM starts afresh at exec; ru_maxrss would carry the parent's peak over.
    for line in open("/proc/self/status"):
        if line.startswith("VmHWM:"):
            return int(line.split()[1]) / 1024.0
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0


def timed(fn):
    wall, cpu = time.perf_counter(), time.process_time()
    out = fn()
    return out, time.perf_counter() - wall, time.process_time() - cpu


def objects_to_arrays(results):
    """Estimate columns built one MultipathEstimate attribute at a time."""
    rows = [(e.satellite, e.system, e.signal, e.epoch, e.mp_value, e.elevation, e.azimuth, e.snr)
            for e in results.estimates]
    sat, system, signal, epoch, mp, el, az, snr = zip(*rows) if rows else ([],) * 8
    return (np.array(sat), np.array(system), np.array(signal),
            np.array([e.rstrip("Z") for e in epoch], dtype="datetime64[ms]"), np.array(mp), np.array(el),
            np.array(az), np.array([np.nan if v is None else v for v in snr], dtype=float))


def cli_time(argv, repeats):
    """Best wall and CPU seconds of `skyrift-mp <argv>` in a fresh interpreter."""
    best = (float("inf"), float("inf"))
    for _ in range(repeats):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        proc = subprocess.run([sys.executable, "-m", "skyrift_cli", *argv], capture_output=True, text=True)
        wall = time.perf_counter() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        if proc.returncode != 0:
            raise RuntimeError(proc.stderr[-2000:])
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        best = min(best, (wall, cpu))
    return best


def bench_cli(name, chain):
    """skyrift-mp multipath with --csv and with --plots against the library chain."""
    import tempfile

    obs_path, orbit_path = case_files(name)
    base = ["multipath", str(obs_path), "--sp3", str(orbit_path)]
    with tempfile.TemporaryDirectory() as tmp:
        rows = [("--csv", cli_time(base + ["--csv", f"{tmp}/mp.csv"], 3)),
                ("--plots", cli_time(base + ["--plots", f"{tmp}/plots"], 2))]
    print(f"\nskyrift-mp multipath on {name} against the library chain (read_rinex_obs, analyze with orbit= "
          f"{chain[0]:.3f} s wall, {chain[1]:.3f} s CPU); best of 3 / 2 fresh processes, start-up included")
    print(f"  {'outputs':8} {'wall s':>7} {'CPU s':>7} {'wall/chain':>11} {'CPU/chain':>10}")
    for label, (wall, cpu) in rows:
        print(f"  {label:8} {wall:7.3f} {cpu:7.3f} {wall / chain[0]:11.1f} {cpu / chain[1]:10.1f}")


def run_case(name):
    """Child process: our chain on one file; prints one JSON line."""
    import skyrift_mp as mp
    obs_path, orbit_path = case_files(name)
    base = peak_mb()
    obs, read_wall, read_cpu = timed(lambda: mp.read_rinex_obs(str(obs_path)))
    res, an_wall, an_cpu = timed(lambda: mp.MultipathAnalyzer(obs).analyze())
    sp3 = mp.read_sp3(str(orbit_path))
    receiver = obs.approx_position or mp.Ecef(*ESBC_POSITION)
    counts, el_wall, el_cpu = timed(lambda: res.compute_elevations(sp3, receiver))
    n = res.total_estimates()
    peak = peak_mb()
    columns = min((timed(res.to_numpy) for _ in range(3)), key=lambda r: r[1])[1:]
    objects = timed(lambda: objects_to_arrays(res))[1:]  # the per-object way, for comparison
    del res
    with_orbit = mp.MultipathAnalyzer(obs, orbit=sp3, receiver=receiver)
    _, orbit_wall, orbit_cpu = timed(with_orbit.analyze)
    comparable = mp.MultipathAnalyzer(obs, bias_window_seconds=None, elevation_cutoff=0.0).analyze()
    rms = {s.system + s.code: (s.rms, s.count) for s in comparable.statistics}
    print(json.dumps({"epochs": obs.num_epochs, "read": [read_wall, read_cpu], "analyze": [an_wall, an_cpu],
                      "elevations": [el_wall, el_cpu], "analyze_orbit": [orbit_wall, orbit_cpu],
                      "estimates": n, "computed": counts[0], "to_numpy": columns, "objects": objects,
                      "peak_mb": peak, "base_mb": base, "rms": rms}))


PEER_SCRIPT = r"""
import json, resource, sys, time, contextlib, io
import gnssmultipath as g
obs, sp3, out, systems = sys.argv[1:5]
t = time.perf_counter(); c = time.process_time()
with contextlib.redirect_stdout(io.StringIO()), contextlib.redirect_stderr(io.StringIO()):
    r = g.GNSS_MultipathAnalysis(obs, sp3NavFilename_1=sp3, outputDir=out, cutoff_elevation_angle=0,
        desiredGNSSsystems=systems.split(","),
        plotEstimates=False, plot_polarplot=False, save_results_as_pickle=False, write_results_to_csv=False,
        includeResultSummary=False, includeCompactSummary=False, includeObservationOverview=False,
        includeLLIOverview=False, use_LaTex=False)
wall = time.perf_counter() - t; cpu = time.process_time() - c
letters = {"GPS": "G", "GLONASS": "R", "Galileo": "E", "BeiDou": "C"}
rms = {}
for system, letter in letters.items():
    for band, content in r.get(system, {}).items():
        if not band.startswith("Band_") or not isinstance(content, dict):
            continue
        for code, s in content.items():
            if isinstance(s, dict) and "rms_multipath_range1_averaged" in s:
                rms[letter + code] = (float(s["rms_multipath_range1_averaged"]), int(s["nEstimates"]),
                                      str(s.get("range2_Code", "")))
hwm = [l for l in open("/proc/self/status") if l.startswith("VmHWM:")]
print(json.dumps({"wall": wall, "cpu": cpu, "rms": rms, "peak_mb": int(hwm[0].split()[1]) / 1024.0}))
"""


def run_peer(name):
    obs_path, orbit_path = case_files(name)
    if obs_path.name.endswith(".gz"):  # the peer reads plain files
        plain = CACHE / obs_path.name[:-3]
        if not plain.exists():
            with gzip.open(obs_path, "rb") as src, open(plain, "wb") as dst:
                shutil.copyfileobj(src, dst)
        obs_path = plain
    out = CACHE / "peer-output"
    out.mkdir(parents=True, exist_ok=True)
    # Systems our analysis covers by default; for ESBC the orbit file has no BeiDou, which
    # the peer cannot run without.
    systems = "G,R,E" if name == "esbc" else "G,R,E,C"
    proc = subprocess.run([str(PEER_PYTHON), "-c", PEER_SCRIPT, str(obs_path), str(orbit_path), str(out),
                           systems],
                          capture_output=True, text=True, cwd=out)
    if proc.returncode != 0:
        raise RuntimeError(proc.stderr[-2000:])
    return json.loads(proc.stdout.strip().splitlines()[-1])


def generate_1hz_day(path, n_sats=40):
    """A day of 1 Hz GPS and Galileo observations, ~21 satellites per epoch, ~55 % of each
    satellite's day visible in one or two arcs (plain RINEX 3, about 170 MB)."""
    t = np.arange(86400.0)
    rng = np.random.default_rng(7)
    c = 299792458.0
    systems = {"G": (["C1C", "L1C", "C2W", "L2W", "S1C"], 1575.42e6, 1227.60e6),
               "E": (["C1X", "L1X", "C5X", "L5X", "S1X"], 1575.42e6, 1176.45e6)}
    sats, lines = [], []
    for k in range(n_sats):
        letter = "G" if k < n_sats // 2 else "E"
        codes, f1, f2 = systems[letter]
        phase = 2 * np.pi * (t / 43082.0 + k / n_sats)
        visible = np.cos(phase) > -0.15
        rho = 2.25e7 + 2.5e6 * np.sin(phase)
        iono = 4.0 + 2.0 * np.sin(phase / 2.0)
        d2 = iono * (f1 / f2) ** 2
        cols = [rho + iono + rng.normal(0, 0.4, t.size), (rho - iono) / (c / f1) + 1e4 * k,
                rho + d2 + rng.normal(0, 0.4, t.size), (rho - d2) / (c / f2) - 3e3 * k,
                45.0 + 5.0 * np.cos(phase)]
        text = np.char.add(f"{letter}{k % (n_sats // 2) + 1:02d}", np.char.mod("%14.3f  ", cols[0]))
        for col in cols[1:]:
            text = np.char.add(text, np.char.mod("%14.3f  ", col))
        sats.append(visible)
        lines.append(text)
    header = ["     3.05           OBSERVATION DATA    M                   RINEX VERSION / TYPE",
              "G    5 C1C L1C C2W L2W S1C                                  SYS / # / OBS TYPES",
              "E    5 C1X L1X C5X L5X S1X                                  SYS / # / OBS TYPES",
              "     1.000                                                  INTERVAL",
              "                                                            END OF HEADER"]
    with open(path, "w") as out:
        out.write("\n".join(header) + "\n")
        for i in range(t.size):
            present = [s for s in range(n_sats) if sats[s][i]]
            hh, mm, ss = i // 3600, i // 60 % 60, i % 60
            out.write(f"> 2020 06 25 {hh:02d} {mm:02d} {ss:10.7f}  0{len(present):3d}\n")
            out.write("\n".join(str(lines[s][i]) for s in present) + "\n")


def child(args):
    proc = subprocess.run([sys.executable, __file__, "--case", args], capture_output=True, text=True)
    if proc.returncode != 0:
        raise RuntimeError(proc.stderr[-2000:])
    return json.loads(proc.stdout.strip().splitlines()[-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--case")
    parser.add_argument("--no-peer", action="store_true")
    parser.add_argument("--no-1hz", action="store_true")
    parser.add_argument("--peer-on", choices=["esbc", "opec", "both"], default="both")
    parser.add_argument("--no-cli", action="store_true", help="skip the command-line timings")
    args = parser.parse_args()
    if args.case:
        return run_case(args.case)
    CACHE.mkdir(parents=True, exist_ok=True)
    names = ["esbc", "opec"] + ([] if args.no_1hz else ["1hz"])
    for name in names:
        case_files(name)  # stops here, naming the file, when the real data is absent
    if "1hz" in names and not (CACHE / CASES["1hz"][0]).exists():
        print("generating the 1 Hz day ...", flush=True)
        generate_1hz_day(CACHE / CASES["1hz"][0])
    print(f"nproc={os.cpu_count()} affinity={len(os.sched_getaffinity(0))} load={os.getloadavg()[0]:.1f}")
    print(f"{'file':6} {'epochs':>7} {'read s':>15} {'analyze s':>15} {'elevations s':>15} {'chain s':>15} "
          f"{'estimates':>10} {'elev ok':>8} {'peak MB':>8} {'import MB':>9} {'analyze(orbit=) s':>17} "
          f"{'to_numpy s':>15} {'objects s':>15}")
    ours = {}
    for name in names:
        r = ours[name] = child(name)
        chain = [r["read"][i] + r["analyze"][i] + r["elevations"][i] for i in (0, 1)]
        cell = lambda pair: f"{pair[0]:6.3f} ({pair[1]:5.3f})"
        print(f"{name:6} {r['epochs']:>7} {cell(r['read']):>15} {cell(r['analyze']):>15} {cell(r['elevations']):>15} "
              f"{cell(chain):>15} {r['estimates']:>10} {r['computed']:>8} {r['peak_mb']:8.0f} {r['base_mb']:9.0f} "
              f"{cell(r['analyze_orbit']):>17} {cell(r['to_numpy']):>15} {cell(r['objects']):>15}")
    print("(wall seconds, process CPU seconds in brackets; to_numpy: results.to_numpy(), best of 3; objects: the "
          "same columns from results.estimates one attribute at a time)")
    if not args.no_cli and "esbc" in ours:
        r = ours["esbc"]  # the chain the command runs: read, then analyze(orbit=)
        bench_cli("esbc", [r["read"][i] + r["analyze_orbit"][i] for i in (0, 1)])
    if args.no_peer:
        return
    if not PEER_PYTHON.exists():
        print("peer not installed: python3 -m venv bench/.venv-peers && bench/.venv-peers/bin/pip install gnssmultipath")
        return
    for name in (["esbc", "opec"] if args.peer_on == "both" else [args.peer_on]):
        p = run_peer(name)
        r = ours[name]
        chain = r["read"][0] + r["analyze"][0] + r["elevations"][0]
        chain_cpu = r["read"][1] + r["analyze"][1] + r["elevations"][1]
        print(f"\ngnssmultipath on {name}: {p['wall']:.2f} s wall ({p['cpu']:.2f} s CPU), peak {p['peak_mb']:.0f} MB; "
              f"skyrift_mp chain {chain:.3f} s ({chain_cpu:.3f} s CPU): ratio {p['wall'] / chain:.0f}x wall, "
              f"{p['cpu'] / chain_cpu:.0f}x CPU")
        print("per-signal RMS, both with the plain arc mean and cutoff 0 deg "
              "(skyrift_mp: bias_window_seconds=None, elevation_cutoff=0; gnssmultipath: cutoff_elevation_angle=0, "
              "default slip limits; orbit from the same SP3)")
        print(f"  {'signal':7} {'skyrift_mp':>11} {'n':>7}   {'gnssmultipath':>13} {'n':>7}  {'peer range2':>11}")
        for sig in sorted(set(r["rms"]) | set(p["rms"])):
            a = r["rms"].get(sig, (float("nan"), 0))
            b = p["rms"].get(sig, (float("nan"), 0, ""))
            print(f"  {sig:7} {a[0]:11.4f} {a[1]:7d}   {b[0]:13.4f} {b[1]:7d}  {b[2]:>11}")


if __name__ == "__main__":
    main()
