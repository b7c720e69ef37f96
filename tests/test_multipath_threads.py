"""analyze() and compute_elevations() release the interpreter lock: other threads make
progress meanwhile, and touching a results object under compute_elevations hits its
borrow flag."""
import os
import subprocess
import sys
import textwrap
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


# Every result of an analysis, as text: estimates (with arcs and look angles), statistics,
# slips, counts and empty reasons of analyze() with and without an orbit, and of
# compute_elevations.
ANALYSIS_DIGEST = textwrap.dedent("""
    import hashlib
    import skyrift_mp as mp
    h = hashlib.sha256()
    def add(columns):
        for name, column in sorted(columns.items()):
            h.update(name.encode())
            h.update(column.tobytes() if column.dtype.kind in "fiuM" else repr(column.tolist()).encode())
    obs = mp.read_rinex_obs(obs_path)
    sp3 = mp.read_sp3(sp3_path)
    for settings in ({}, {"orbit": sp3, "receiver": obs.approx_position}):
        res = mp.MultipathAnalyzer(obs, elevation_cutoff=5, **settings).analyze()
        add(res.to_numpy()); add(res.statistics_to_numpy()); add(res.cycle_slips_to_numpy())
        h.update(repr((res.empty_reasons, res.estimates_without_position,
                       res.estimates_without_position_by_system)).encode())
    res = mp.MultipathAnalyzer(obs).analyze()
    h.update(repr(res.compute_elevations(sp3, obs.approx_position)).encode())
    add(res.to_numpy()); add(res.statistics_to_numpy())
    digest = h.hexdigest()
""")


def analysis_digest(obs_path: str, sp3_path: str, cpus=None) -> str:
    """The digest in a fresh interpreter, its worker pool sized by `cpus` (all when None)."""
    pin = f"import os\nos.sched_setaffinity(0, {sorted(cpus)!r})\n" if cpus else ""
    code = f"{pin}obs_path = {obs_path!r}\nsp3_path = {sp3_path!r}\n{ANALYSIS_DIGEST}\nprint(digest)"
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout.strip()


@pytest.mark.parametrize("obs_name, sp3_name", [
    ("ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz", "GRG0MGXFIN_20201770000_01D_15M_ORB.SP3"),
    ("OPEC00NOR_S_20220010000_01D_30S_MO_3.04_croped.rnx", "Testfile_20220101.eph"),
])
def test_the_analysis_on_the_pool_equals_one_worker(obs_name, sp3_name):
    obs_path, sp3_path = str(data_file(obs_name)), str(data_file(sp3_name))
    if len(os.sched_getaffinity(0)) < 2:
        pytest.skip("one processor: the pool has one worker either way")
    one = analysis_digest(obs_path, sp3_path, {min(os.sched_getaffinity(0))})
    assert analysis_digest(obs_path, sp3_path) == one
