"""Every figure of the performance table in one run, on the ESBC day (and the 1 Hz day of
bench/make_1hz_day.py for memory), with the peers measured in the same run.

    .venv/bin/python bench/performance_table.py               # everything
    .venv/bin/python bench/performance_table.py --no-peers    # ours only
    .venv/bin/python bench/performance_table.py --no-1hz      # without the 1 Hz day

Times are the best of N wall-clock runs (a shared machine only ever makes a run slower),
with the process CPU seconds of the same runs beside them; the machine's processors and
load are printed first and last, since ratios are what carry over between machines.
Memory is measured in child processes: what a read leaves resident (RSS growth) and its
peak (VmHWM, reset before the read) over the observations the C++ tool counts.
Peers (bench/.venv-peers, `make bench-peers`): pygnss-tec's read_rinex_obs(...) plus
collect() against our read plus a table of the observations; gnssmultipath's analysis
against our chain; georinex on the small files of bench/read_obs.py.
"""
import argparse
import gc
import gzip
import json
import os
import subprocess
import sys
import time
from pathlib import Path

import skyrift_mp as sk
from cpp_tools import build_cpp_tool
from real_data import data_file

REPO = Path(__file__).resolve().parents[1]
PEER_PY = REPO / "bench" / ".venv-peers" / "bin" / "python"
RNX = "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"
CRX = "ESBC00DNK_R_20201770000_01D_30S_MO.crx.gz"
SP3 = "GRG0MGXFIN_20201770000_01D_15M_ORB.SP3"
REPEATS = 5

MEMORY_SCRIPT = """
import ctypes, gc, json, os, sys, time
import skyrift_mp as sk
def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")
def peak():
    for line in open("/proc/self/status"):
        if line.startswith("VmHWM:"):
            return int(line.split()[1]) * 1024
# A first read of the same file leaves the module's first-use pages (code, tables) and
# the allocator's caches behind, so that the growth measured next is the data alone.
sk.read_rinex_obs(sys.argv[1])
gc.collect()
ctypes.CDLL(None).malloc_trim(0)
base = rss()
with open("/proc/self/clear_refs", "w") as f:
    f.write("5")  # restart VmHWM here
start = time.perf_counter()
data = sk.read_rinex_obs(sys.argv[1])
seconds = time.perf_counter() - start
print(json.dumps({"kept": rss() - base, "peak": peak() - base, "seconds": seconds}))
"""

PYGNSS_SCRIPT = """
import sys, time, warnings
warnings.simplefilter("ignore")
import gnss_tec
best = float("inf")
for _ in range(int(sys.argv[2])):
    t = time.perf_counter()
    header, frame = gnss_tec.read_rinex_obs(sys.argv[1])
    table = frame.collect()
    best = min(best, time.perf_counter() - t)
print(best, table.shape[0], table.shape[1])
"""


def load_line() -> str:
    one, five, _ = os.getloadavg()
    return f"nproc {os.cpu_count()}, affinity {len(os.sched_getaffinity(0))}, load average {one:.2f} (5 min {five:.2f})"


def best(fn, repeats=REPEATS):
    """Best wall seconds, the CPU seconds of that run, and the last result."""
    out, result = (float("inf"), 0.0), None
    for _ in range(repeats):
        result = None
        gc.collect()
        wall, cpu = time.perf_counter(), time.process_time()
        result = fn()
        out = min(out, (time.perf_counter() - wall, time.process_time() - cpu))
    return out[0], out[1], result


def row(label, wall, cpu, note=""):
    print(f"  {label:<44} {wall * 1e3:9.1f} ms  (CPU {cpu * 1e3:7.1f} ms)  {note}")


def observation_count(path: Path) -> int:
    out = subprocess.run([str(build_cpp_tool("bench_read_obs")), str(path)], check=True, capture_output=True,
                         text=True).stdout.splitlines()
    return int(out[1].split()[3])


def memory_of(path: Path) -> dict:
    run = subprocess.run([sys.executable, "-c", MEMORY_SCRIPT, str(path)], check=True, capture_output=True,
                         text=True)
    return json.loads(run.stdout)


def section_chain():
    print(f"\nESBC day, best of {REPEATS} ({load_line()})")
    rnx, crx = data_file(RNX), data_file(CRX)
    t_rnx, c_rnx, obs = best(lambda: sk.read_rinex_obs(str(rnx)))
    text_mb = len(gzip.decompress(rnx.read_bytes())) / 1e6  # the day's RINEX text, for MB/s
    row("read_rinex_obs .rnx.gz", t_rnx, c_rnx, f"{text_mb / t_rnx:.0f} MB/s of text")
    t_crx, c_crx, _ = best(lambda: sk.read_rinex_obs(str(crx)))
    row("read_rinex_obs .crx.gz", t_crx, c_crx, f"{t_crx / t_rnx:.2f}x the .rnx.gz read (CPU {c_crx / c_rnx:.2f}x)")
    sp3 = sk.read_sp3(str(data_file(SP3)))
    receiver = obs.approx_position
    t_an, c_an, res = best(lambda: sk.MultipathAnalyzer(obs).analyze())
    row("analyze()", t_an, c_an, f"{res.total_estimates()} estimates")
    timings = []
    for _ in range(REPEATS):
        res = sk.MultipathAnalyzer(obs).analyze()
        gc.collect()
        wall, cpu = time.perf_counter(), time.process_time()
        res.compute_elevations(sp3, receiver)
        timings.append((time.perf_counter() - wall, time.process_time() - cpu))
    row("compute_elevations", *min(timings))
    analyzer = sk.MultipathAnalyzer(obs, orbit=sp3, receiver=receiver)
    t_orbit, c_orbit, _ = best(analyzer.analyze)
    row("analyze() with orbit=", t_orbit, c_orbit)
    t_chain, c_chain, _ = best(
        lambda: sk.MultipathAnalyzer(sk.read_rinex_obs(str(rnx)), orbit=sp3, receiver=receiver).analyze())
    row("chain: read .rnx.gz + analyze(orbit=)", t_chain, c_chain)
    return {"read": t_rnx, "chain": t_chain, "chain_cpu": c_chain}


def section_one_worker():
    """The analysis with one worker, in a child restricted to one processor."""
    code = (f"import os\nos.sched_setaffinity(0, {{min(os.sched_getaffinity(0))}})\n"
            f"import time, skyrift_mp as sk\nobs = sk.read_rinex_obs({str(data_file(RNX))!r})\n"
            f"sp3 = sk.read_sp3({str(data_file(SP3))!r})\n"
            f"a = sk.MultipathAnalyzer(obs, orbit=sp3, receiver=obs.approx_position)\nbest = 1e9\n"
            f"for _ in range({REPEATS}):\n    t = time.perf_counter(); a.analyze(); best = min(best, time.perf_counter() - t)\n"
            f"print(best)")
    one = float(subprocess.run([sys.executable, "-c", code], check=True, capture_output=True, text=True).stdout)
    obs = sk.read_rinex_obs(str(data_file(RNX)))
    analyzer = sk.MultipathAnalyzer(obs, orbit=sk.read_sp3(str(data_file(SP3))), receiver=obs.approx_position)
    many, _, _ = best(analyzer.analyze)
    print(f"  analyze() with orbit= on one processor {one * 1e3:.1f} ms, on {len(os.sched_getaffinity(0))}: "
          f"{many * 1e3:.1f} ms (speed-up {one / many:.2f}x)")


def section_memory(synthetic: Path | None):
    print(f"\nMemory of one read in a fresh process ({load_line()})")
    print(f"  {'file':<40} {'obs':>10} {'kept B/obs':>10} {'peak B/obs':>10} {'peak/kept':>9} {'ns/obs':>7}")
    figures = {}
    files = [data_file(RNX), data_file(CRX)] + ([synthetic] if synthetic else [])
    for path in files:
        n = observation_count(path)
        runs = [memory_of(path) for _ in range(2 if path == synthetic else 3)]
        m = min(runs, key=lambda r: r["seconds"])
        kept, peak = m["kept"] / n, m["peak"] / n
        figures[path.name] = (kept, peak, m["seconds"] * 1e9 / n)
        print(f"  {path.name[:40]:<40} {n:10d} {kept:10.2f} {peak:10.2f} {peak / kept:9.2f} "
              f"{m['seconds'] * 1e9 / n:7.1f}")
    if synthetic:
        k30, p30, t30 = figures[RNX]
        k1, p1, t1 = figures[synthetic.name]
        print(f"  1 Hz day against the 30 s day, per observation: time {t1 / t30:.2f}x, kept {k1 / k30:.2f}x, "
              f"peak {p1 / p30:.2f}x")


def xarray_size(obs) -> float:
    try:
        ds = obs.to_xarray()
    except ImportError:
        return float("nan")
    return sum(v.nbytes for v in ds.variables.values()) / 1e6


def section_tables():
    rnx, crx = data_file(RNX), data_file(CRX)
    print(f"\nRead plus a table of the observations, best of {REPEATS} ({load_line()})")
    ours = {}
    long_table = hasattr(sk.RinexObsData, "to_pandas")  # absent before this module version
    for path in (rnx, crx):
        t_pd = float("nan")
        if long_table:
            t_pd, c_pd, frame = best(lambda: sk.read_rinex_obs(str(path)).to_pandas())
            row(f"read + to_pandas() {path.name[-7:]}", t_pd, c_pd, f"{len(frame)} rows x {frame.shape[1]} columns")
        t_xr, c_xr, _ = best(lambda: sk.read_rinex_obs(str(path)).to_xarray())
        ours[path] = (t_pd, t_xr)
        row(f"read + to_xarray() {path.name[-7:]}", t_xr, c_xr)
    print(f"  to_xarray() of the day holds {xarray_size(sk.read_rinex_obs(str(rnx))):.0f} MB")
    return ours


def section_peers(ours, chain):
    print(f"\nPeers ({load_line()})")
    if not PEER_PY.exists():
        print("  bench/.venv-peers is absent: `make bench-peers` installs the peers")
        return
    for path, (t_pd, t_xr) in ours.items():
        run = subprocess.run([str(PEER_PY), "-c", PYGNSS_SCRIPT, str(path), "3"], capture_output=True, text=True)
        if run.returncode != 0:
            print(f"  pygnss-tec on {path.name}: failed ({run.stderr.strip().splitlines()[-1:]})")
            continue
        seconds, rows, columns = run.stdout.split()
        peer = float(seconds)
        print(f"  pygnss-tec read_rinex_obs + collect() {path.name[-7:]}: {peer * 1e3:.0f} ms ({rows} x {columns}); "
              f"ours with to_pandas() {peer / t_pd:.1f}x faster, with to_xarray() {peer / t_xr:.1f}x")
    import multipath
    import read_obs
    multipath.CACHE.mkdir(parents=True, exist_ok=True)
    peer = multipath.run_peer("esbc")
    print(f"  gnssmultipath on ESBC: {peer['wall']:.2f} s; our chain {chain['chain']:.3f} s: "
          f"{peer['wall'] / chain['chain']:.0f}x")
    for name in read_obs.PEER_FILES[:2]:
        path = data_file(name)
        seconds, _, _ = best(lambda: sk.read_rinex_obs(str(path)))
        geo = read_obs.time_peer(path, 1)
        print(f"  georinex on {name}: " + (f"{geo:.2f} s, ours {seconds * 1e3:.1f} ms: {geo / seconds:.0f}x"
                                           if geo else "failed"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--no-peers", action="store_true")
    parser.add_argument("--no-1hz", action="store_true")
    parser.add_argument("--workdir", default="/tmp/skyrift-bench")
    args = parser.parse_args()
    print(load_line(), f"; skyrift_mp {sk.version()}")
    synthetic = None
    if not args.no_1hz:
        synthetic = Path(args.workdir) / "SYNT_1HZ_24H.rnx"
        if not synthetic.exists():
            synthetic.parent.mkdir(parents=True, exist_ok=True)
            print(f"writing {synthetic} (bench/make_1hz_day.py) ...", flush=True)
            subprocess.run([sys.executable, str(REPO / "bench" / "make_1hz_day.py"), str(synthetic)], check=True)
    chain = section_chain()
    section_one_worker()
    section_memory(synthetic)
    ours = section_tables()
    if not args.no_peers:
        section_peers(ours, chain)
    print(f"\n{load_line()}")


if __name__ == "__main__":
    main()
