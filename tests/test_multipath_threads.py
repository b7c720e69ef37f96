"""analyze() and compute_elevations() release the interpreter lock: other threads make
progress meanwhile, and touching a results object under compute_elevations hits its
borrow flag."""
import sys
import threading

import pytest

import skyrift_mp as mp
from lock_release import steps_while
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


def test_readers_progress_while_analyze_runs(tmp_path, switching_only_on_release):
    times = [30.0 * i for i in range(1440)]
    tracks = {f"G{p:02d}": observations(times, "G", GPS, seed=p) for p in range(1, 33)}
    obs = mp.read_rinex_obs(str(write_rinex3(tmp_path / "day.rnx", epochs_of(tracks), {"G": GPS})))
    analyzer = mp.MultipathAnalyzer(obs)
    earlier = analyzer.analyze()
    steps = [steps_while(analyzer.analyze, lambda: earlier.statistics[0].rms) for _ in range(4)]
    # A call that kept the lock would leave no step inside it, in every call and on any machine.
    assert any(steps), steps


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
