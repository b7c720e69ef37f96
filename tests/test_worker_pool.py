"""The shared worker pool: results do not depend on how many workers run them."""
import math
import os
import subprocess
import sys
import textwrap
import threading

import skyrift_mp as sk
from rinex_text import write_snr_rinex

# Sets `digest` from transforms, band power, a scalogram and the survey of `path`.
WORKLOAD = textwrap.dedent("""
    import hashlib, json, math
    import skyrift_mp as sk
    y = [math.sin(i / 7.0) + 0.01 * ((i * 7919) % 101) for i in range(3000)]
    out = [sk.morlet_cwt(y, 1.0), sk.band_power(y, 1.0, sk.period_bands(1.0)),
           sk.scalogram([float(i) for i in range(3000)], y, 1.0),
           sk.analyze_snr_wavelets(sk.read_rinex_obs(path))]
    digest = hashlib.sha256(json.dumps(out).encode()).hexdigest()
""")


def digest_pinned(path: str, cpus: set) -> str:
    """The workload's digest in a fresh interpreter restricted to `cpus` before import."""
    code = f"import os\nos.sched_setaffinity(0, {sorted(cpus)!r})\npath = {path!r}\n{WORKLOAD}\nprint(digest)"
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    return done.stdout.strip()


def digest_here(path: str) -> str:
    scope = {"path": path}
    exec(WORKLOAD, scope)
    return scope["digest"]


def test_one_worker_gives_the_same_results_as_all(tmp_path):
    n = 3000
    series = {
        f"G{prn:02d}": {"S1C": [40 + 5 * math.sin(i / (20.0 + prn)) + (i % 13) * 0.01 for i in range(n)]}
        for prn in range(1, 13)
    }
    path = str(write_snr_rinex(tmp_path / "pool.rnx", [float(i) for i in range(n)], series, 1.0))
    cpus = os.sched_getaffinity(0)
    assert digest_pinned(path, {min(cpus)}) == digest_here(path)


def test_concurrent_callers_share_the_pool():
    y = [((i * 2654435761) % 1000) / 1000.0 - 0.5 for i in range(2000)]
    expected = sk.morlet_cwt(y, 1.0)
    results = [None] * 6

    def call(k):
        results[k] = sk.morlet_cwt(y, 1.0)

    threads = [threading.Thread(target=call, args=(k,)) for k in range(len(results))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(r == expected for r in results)
