"""Observation reader benchmark: throughput, memory per observation, and georinex as a peer.

Usage: .venv/bin/python bench/read_obs.py [--workdir DIR] [--hours 24] [--peer-files N]

For every file it prints the size on disk, epochs, stored observations, the best
read time of `read_rinex_obs`, the throughput in MB/s of decoded text, and the
bytes held per stored observation, computed two ways:
  - B/obs (capacity): from the capacities of the flat arrays, printed by the C++
    tool `bench_read_obs` (built here with plain CMake; the wheel does not ship it);
  - B/obs (RSS): resident memory added by one read in a fresh process, per observation
    (files above 10 MB only; it also counts the module's first-use allocations).
Files: ESBC00DNK (RINEX 3.05, 30 s, one day) gzipped as shipped and gunzipped into
the work directory, and a generated 1 Hz multi-GNSS day (bench/make_1hz_day.py).
georinex (installed only in bench/.venv-peers) is timed on the smaller real files:
it takes seconds per megabyte, so the headline files would take many minutes.

A second table reads the same ESBC day in every archive packing (plain, gzip, Compact
RINEX, Compact RINEX + gzip as shipped, Unix compress of both) and gives MB/s of the
expanded RINEX text, each read's time against the plain and the gzip read, and the
`hatanaka` package (it drives the public RNXCMP converter; bench venv only) expanding
the same compact files to text alone, beside our whole read of them.
"""
import argparse
import gc
import gzip
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

import skyrift_mp as sk
from cpp_tools import build_cpp_tool
from real_data import data_file

REPO = Path(__file__).resolve().parents[1]
PEER_PY = REPO / "bench" / ".venv-peers" / "bin" / "python"
HEADLINE = "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"
COMPACT = "ESBC00DNK_R_20201770000_01D_30S_MO.crx.gz"
PEER_FILES = ["ACOR00ESP_R_20213550000_01D_30S_MO.rnx", "KMS300DNK_R_20221591000_01H_30S_MO.rnx",
              "OPEC00NOR_S_20220010000_01D_30S_MO_3.04_croped.rnx", "delf0010.21o"]

PEER_SCRIPT = """
import sys, time, warnings
warnings.simplefilter("ignore")
import georinex
best = float("inf")
for _ in range(int(sys.argv[2])):
    t = time.perf_counter()
    georinex.load(sys.argv[1])
    best = min(best, time.perf_counter() - t)
print(best)
"""


HATANAKA_SCRIPT = """
import sys, time
import hatanaka
data = open(sys.argv[1], "rb").read()
best = float("inf")
for _ in range(int(sys.argv[2])):
    t = time.perf_counter()
    text = hatanaka.decompress(data)
    best = min(best, time.perf_counter() - t)
print(best, len(text))
"""


RSS_SCRIPT = """
import gc, os, sys
import skyrift_mp as sk
def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")
gc.collect()
before = rss()
data = sk.read_rinex_obs(sys.argv[1])
print(rss() - before)
"""


def rss_growth(path: Path) -> int:
    """Resident memory added by one read in a fresh process (no allocator history)."""
    run = subprocess.run([sys.executable, "-c", RSS_SCRIPT, str(path)], check=True, capture_output=True, text=True)
    return int(run.stdout)


def tool_figures(tool: Path, path: Path) -> dict:
    out = subprocess.run([str(tool), str(path)], check=True, capture_output=True, text=True).stdout.splitlines()
    cols = out[1].split()
    return {"text_mb": float(cols[1]), "obs": int(cols[3]), "bytes_per_obs": float(cols[7])}


def time_read(path: Path, repeats: int):
    """Best wall time, best CPU time of the process (the read, and a decoder that runs
    beside it on a thread of its own), data."""
    best, best_cpu, data = float("inf"), float("inf"), None
    for _ in range(repeats):
        data = None
        gc.collect()
        t, c = time.perf_counter(), time.process_time()
        data = sk.read_rinex_obs(str(path))
        best = min(best, time.perf_counter() - t)
        best_cpu = min(best_cpu, time.process_time() - c)
    return best, best_cpu, data


def time_peer(path: Path, repeats: int):
    if not PEER_PY.exists():
        return None
    run = subprocess.run([str(PEER_PY), "-c", PEER_SCRIPT, str(path), str(repeats)], capture_output=True, text=True)
    return float(run.stdout.strip()) if run.returncode == 0 else None


def time_hatanaka(path: Path, repeats: int):
    """Best time of the hatanaka package expanding a compact file to RINEX text, or None."""
    if not PEER_PY.exists():
        return None
    run = subprocess.run([str(PEER_PY), "-c", HATANAKA_SCRIPT, str(path), str(repeats)], capture_output=True, text=True)
    return float(run.stdout.split()[0]) if run.returncode == 0 else None


def unix_compress(src: Path, dst: Path) -> bool:
    tool = shutil.which("compress")
    if tool is None:
        return False
    if not dst.exists():
        with open(src, "rb") as f, open(dst, "wb") as out:
            subprocess.run([tool, "-c"], stdin=f, stdout=out, check=True)
    return True


def archive_formats(work: Path, plain: Path, repeats: int = 5):
    """The ESBC day in every packing: our read, and hatanaka's expansion of the compact ones."""
    compact = work / COMPACT.removesuffix(".gz")
    if not compact.exists():
        with gzip.open(data_file(COMPACT)) as src, open(compact, "wb") as dst:
            shutil.copyfileobj(src, dst)
    packings = [("plain", plain), ("gzip", data_file(HEADLINE)), ("CRINEX", compact), ("CRINEX+gzip", data_file(COMPACT))]
    for label, src in [(".Z", plain), ("CRINEX+.Z", compact)]:
        dst = work / (src.name + ".Z")
        if unix_compress(src, dst):
            packings.append((label, dst))
    text_mb = plain.stat().st_size / 1e6
    times = {}
    print()
    print(f"ESBC day in every packing: {text_mb:.2f} MB of RINEX text, best of {repeats} reads")
    print(f"{'packing':<12} {'file':<44} {'disk_MB':>7} {'read_s':>7} {'MB/s':>5} {'x plain':>7} {'x gzip':>6} "
          f"{'cpu_s':>6} {'x plain':>7} {'x gzip':>6} {'hatanaka_s':>10} {'x ours':>6}")
    for label, path in packings:
        seconds, cpu, data = time_read(path, repeats)
        del data
        times[label] = (seconds, cpu)
        peer_text = f"{'-':>10} {'-':>6}"
        if label.startswith("CRINEX"):
            peer = time_hatanaka(path, 3)
            peer_text = f"{'absent':>10} {'-':>6}" if peer is None else f"{peer:10.3f} {peer / seconds:5.1f}x"
        ratios = []
        for i, (value, width) in enumerate([(seconds, 7), (cpu, 6)]):
            base, gz = times["plain"][i], times.get("gzip", (None, None))[i]
            ratios.append(f"{value / base:7.2f} " + (f"{value / gz:6.2f}" if gz else f"{'-':>6}"))
        print(f"{label:<12} {path.name[:44]:<44} {path.stat().st_size / 1e6:7.2f} {seconds:7.3f} "
              f"{text_mb / seconds:5.0f} {ratios[0]} {cpu:6.3f} {ratios[1]} {peer_text}")
    print("x plain / x gzip: time over the plain / gzip read of the same day (wall, then CPU of all threads: "
          "the work, which a loaded machine disturbs less); x ours: hatanaka's expansion alone over our whole read (wall)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--workdir", default="/tmp/skyrift-bench")
    parser.add_argument("--hours", type=int, default=24, help="length of the generated 1 Hz file")
    args = parser.parse_args()
    work = Path(args.workdir)
    work.mkdir(parents=True, exist_ok=True)
    plain = work / HEADLINE.removesuffix(".gz")
    if not plain.exists():
        with gzip.open(data_file(HEADLINE)) as src, open(plain, "wb") as dst:
            shutil.copyfileobj(src, dst)
    synthetic = work / f"SYNT_1HZ_{args.hours}H.rnx"
    if not synthetic.exists():
        subprocess.run([sys.executable, str(REPO / "bench" / "make_1hz_day.py"), str(synthetic), "--hours",
                        str(args.hours)], check=True)
    tool = build_cpp_tool("bench_read_obs")

    files = [(data_file(HEADLINE), 3, False), (plain, 3, False), (synthetic, 2, False)]
    files += [(data_file(name), 5, True) for name in PEER_FILES]
    print(f"nproc {os.cpu_count()}, affinity {len(os.sched_getaffinity(0))}, load average "
          f"{os.getloadavg()[0]:.2f}; skyrift_mp {sk.version()}")
    print("MB/s = decoded text / best wall time; cpu MB/s = the same over the process's CPU time;")
    print("B/obs RSS: one read in a fresh process, files above 10 MB; ratio = georinex / skyrift wall time")
    head = (f"{'file':<52} {'disk_MB':>8} {'text_MB':>8} {'epochs':>7} {'obs':>10} {'read_s':>8} {'MB/s':>6} "
            f"{'cpu MB/s':>8} {'ns/obs':>7} {'B/obs cap':>9} {'B/obs RSS':>9} {'georinex_s':>10} {'ratio':>7}")
    print(head)
    for path, repeats, with_peer in files:
        figures = tool_figures(tool, path)
        seconds, cpu, data = time_read(path, repeats)
        peer = time_peer(path, 1 if path.stat().st_size > 1e6 else 3) if with_peer else None
        n, mb = figures["obs"], figures["text_mb"]
        if not with_peer:
            peer_text = f"{'not run':>10} {'-':>7}"
        elif peer is None:
            peer_text = f"{'failed':>10} {'-':>7}"
        else:
            peer_text = f"{peer:10.2f} {peer / seconds:6.0f}x"
        rss_text = f"{rss_growth(path) / max(n, 1):9.2f}" if mb > 10 else f"{'-':>9}"
        print(f"{path.name[:52]:<52} {path.stat().st_size / 1e6:8.2f} {mb:8.2f} {data.num_epochs:7d} "
              f"{n:10d} {seconds:8.3f} {mb / seconds:6.0f} {mb / max(cpu, 1e-9):8.0f} {seconds * 1e9 / max(n, 1):7.1f} "
              f"{figures['bytes_per_obs']:9.2f} {rss_text} {peer_text}")
        del data
    archive_formats(work, plain)


if __name__ == "__main__":
    main()
