"""The shared worker pool: results do not depend on how many workers run them."""
import hashlib
import json
import os
import subprocess
import sys
import textwrap
import threading

import pytest
import skyrift_mp as sk

# Computes a digest of transform results; run here and in a process pinned to one CPU.
WORKLOAD = textwrap.dedent("""
    import hashlib, json, math
    import skyrift_mp as sk
    y = [math.sin(i / 7.0) + 0.01 * ((i * 7919) % 101) for i in range(3000)]
    out = [sk.morlet_cwt(y, 1.0), sk.band_power(y, 1.0, sk.period_bands(1.0)),
           sk.scalogram([float(i) for i in range(3000)], y, 1.0)]
    digest = hashlib.sha256(json.dumps(out).encode()).hexdigest()
""")


def run_pinned(script: str, cpus: set) -> str:
    """Runs `script` (which sets `digest`) in a fresh interpreter restricted to `cpus`."""
    code = f"import os\nos.sched_setaffinity(0, {sorted(cpus)!r})\n{script}\nprint(digest)"
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    return done.stdout.strip()


def local_digest(script: str) -> str:
    scope = {}
    exec(script, scope)
    return scope["digest"]


def test_one_worker_gives_the_same_results_as_all():
    cpus = os.sched_getaffinity(0)
    assert run_pinned(WORKLOAD, {min(cpus)}) == local_digest(WORKLOAD)


def test_concurrent_callers_share_the_pool():
    y = [math_value(i) for i in range(2000)]
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


def math_value(i: int) -> float:
    return ((i * 2654435761) % 1000) / 1000.0 - 0.5
