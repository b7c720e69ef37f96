"""analyze() and compute_elevations() release the interpreter lock: other threads keep
running, and touching a results object under compute_elevations hits its borrow flag."""
import sys
import threading
import time

import pytest

import skyrift_mp as mp
from shared_data import data_file
from rinex_synth import epochs_of, observations
from rinex_text import write_rinex3

GPS = ["C1C", "L1C", "C2W", "L2W"]


@pytest.fixture
def fast_switching():
    old = sys.getswitchinterval()
    sys.setswitchinterval(1e-4)
    yield
    sys.setswitchinterval(old)


def test_analyze_does_not_block_readers(tmp_path, fast_switching):
    times = [30.0 * i for i in range(1440)]
    tracks = {f"G{p:02d}": observations(times, "G", GPS, seed=p) for p in range(1, 33)}
    obs = mp.read_rinex_obs(str(write_rinex3(tmp_path / "day.rnx", epochs_of(tracks), {"G": GPS})))
    analyzer = mp.MultipathAnalyzer(obs)
    earlier = analyzer.analyze()
    calls, reads, done = [], [], threading.Event()

    def analyze_repeatedly():
        for _ in range(8):
            start = time.perf_counter()
            analyzer.analyze()
            calls.append((start, time.perf_counter()))
        done.set()

    worker = threading.Thread(target=analyze_repeatedly)
    worker.start()
    while not done.is_set():
        earlier.statistics[0].rms
        reads.append(time.perf_counter())
    worker.join()
    # Holding the lock, a call would leave no read in its middle half; released, the
    # reader goes on (unless the shared machine deschedules it for a whole call).
    middle = [any(a + (b - a) / 4 < t < b - (b - a) / 4 for t in reads) for a, b in calls]
    assert sum(middle) >= 3 * len(calls) // 4


def test_touching_results_during_compute_elevations_is_a_borrow_error(fast_switching):
    obs = mp.read_rinex_obs(str(data_file("OPEC00NOR_S_20220010000_01D_30S_MO_3.04_croped.rnx")))
    sp3 = mp.read_sp3(str(data_file("Testfile_20220101.eph")))
    res = mp.MultipathAnalyzer(obs, elevation_cutoff=0).analyze()
    copy = res.estimates[0]
    errors, done = set(), threading.Event()

    def compute():
        try:
            for _ in range(3):
                res.compute_elevations(sp3, obs.approx_position)
        except RuntimeError as e:
            errors.add(str(e))
        done.set()

    worker = threading.Thread(target=compute)
    worker.start()
    while not done.is_set():
        try:
            res.total_estimates()
        except RuntimeError as e:
            errors.add(str(e))
            try:
                res.compute_elevations(sp3, obs.approx_position)
            except RuntimeError as e2:
                errors.add(str(e2))
        copy.elevation  # copies handed out earlier are independent
    worker.join()
    assert "Already mutably borrowed" in errors and "Already borrowed" in errors
    assert res.total_estimates() == len(res.estimates)
