"""Result objects: attributes, reprs, copies, settable angles, and the elevation refresh
of compute_elevations on a real file with its precise orbit."""
import math
import re

import numpy as np
import pytest

import skyrift_mp as mp
from shared_data import data_file
from rinex_synth import epochs_of, observations
from rinex_text import write_rinex3

GPS = ["C1C", "L1C", "C2W", "L2W", "S1C"]
OPEC = "OPEC00NOR_S_20220010000_01D_30S_MO_3.04_croped.rnx"
ORBIT = "Testfile_20220101.eph"


@pytest.fixture(scope="module")
def analyzer(tmp_path_factory):
    times = [30.0 * i for i in range(20)]
    tracks = {"G01": observations(times, "G", GPS, seed=1), "G02": observations(times, "G", GPS, seed=2),
              "G99": observations(times, "G", GPS, seed=3)}
    tracks["G02"][300.0]["L1C"] = (tracks["G02"][300.0]["L1C"], 1)
    path = write_rinex3(tmp_path_factory.mktemp("res") / "res.rnx", epochs_of(tracks), {"G": GPS})
    return mp.MultipathAnalyzer(mp.read_rinex_obs(str(path)))


@pytest.fixture
def results(analyzer):
    return analyzer.analyze()


@pytest.fixture(scope="module")
def opec():
    obs = mp.read_rinex_obs(str(data_file(OPEC)))
    return obs, mp.read_sp3(str(data_file(ORBIT)))


def test_attribute_types(results):
    e = results.estimates[0]
    assert (e.satellite, e.epoch, e.signal, e.system) == ("G01", "2022-01-01T00:00:00.000Z", "C1C", "G")
    assert isinstance(e.mp_value, float) and isinstance(e.snr, float)
    assert [type(getattr(results.statistics[0], a)) for a in
            ("signal", "rms", "mean", "std_dev", "min", "max", "weighted_rms", "system", "code", "cycle_slips",
             "count")] == [str, float, float, float, float, float, float, str, str, int, int]
    s = results.cycle_slips[0]
    assert (s.satellite, s.magnitude, s.method, s.signal, s.system, s.threshold, s.epoch) == (
        "G02", 1.0, "lli", "L1C", "G", 0.0, "2022-01-01T00:05:00.000Z")
    assert results.cycle_slip_counts == {"GPSL1C": 1}


def test_reprs(results):
    assert repr(results) == "AnalysisResults(estimates=%d, signals=2, cycle_slips=1)" % results.total_estimates()
    for st in results.statistics:
        assert repr(st) == f"MultipathStats(signal='{st.signal}', rms={st.rms:.4f}, count={st.count})"
    assert re.fullmatch(r"MultipathStats\(signal='GPSM1C', rms=\d+\.\d{4}, count=\d+\)", repr(results.statistics[0]))


def test_reads_return_fresh_copies(results):
    results.estimates[0].elevation = 12.0
    assert results.estimates[0].elevation == 45.0
    results.estimates.clear()
    results.cycle_slip_counts["GPSL1C"] = 99
    assert results.total_estimates() == len(results.estimates) > 0
    assert results.cycle_slip_counts == {"GPSL1C": 1}
    assert results.estimates[0] is not results.estimates[0]


def test_settable_angles(results):
    e = results.estimates[0]
    e.elevation = 12
    e.azimuth = np.float64(270.5)
    assert (e.elevation, e.azimuth) == (12.0, 270.5)
    with pytest.raises(TypeError, match="argument 'elevation'"):
        e.elevation = "high"
    for name in ("elevation", "azimuth"):
        with pytest.raises(AttributeError, match="^can't delete attribute$"):
            delattr(e, name)
    for name in ("mp_value", "satellite", "snr"):
        with pytest.raises(AttributeError):
            setattr(e, name, 1.0)


@pytest.mark.parametrize("cls", ["MultipathEstimate", "MultipathStats", "CycleSlip", "AnalysisResults"])
def test_result_classes_have_no_constructor(cls):
    with pytest.raises(TypeError):
        getattr(mp, cls)()


def test_compute_elevations_argument_types(results, opec):
    _, sp3 = opec
    with pytest.raises(TypeError, match="argument 'sp3'"):
        results.compute_elevations("orbit.sp3", mp.Ecef(0, 0, 0))
    with pytest.raises(TypeError, match="argument 'receiver'"):
        results.compute_elevations(sp3, (1.0, 2.0, 3.0))


def _weighted_rms_by_key(estimates):
    names = {"G": "GPS", "R": "GLO", "E": "GAL", "C": "BDS"}
    sums = {}
    for e in estimates:
        el = e.elevation
        w = 1.0 if el >= 30 else (1 / (4 * math.sin(math.radians(el)) ** 2) if el > 0 else 0.0)
        if (e.elevation, e.azimuth) == (45.0, 0.0):
            w = 0.0  # no orbit position: the elevation is unknown
        acc = sums.setdefault(names[e.system] + "M" + e.signal[1:], [0.0, 0.0])
        acc[0] += w * e.mp_value ** 2
        acc[1] += w
    return {k: math.sqrt(a / b) for k, (a, b) in sums.items() if b > 0}


def test_compute_elevations_on_real_orbit(opec):
    obs, sp3 = opec
    res = mp.MultipathAnalyzer(obs, elevation_cutoff=0).analyze()
    before = {s.signal: s.weighted_rms for s in res.statistics}
    assert all(before[s.signal] == pytest.approx(s.rms, rel=1e-12) for s in res.statistics)
    computed, failed = res.compute_elevations(sp3, obs.approx_position)
    estimates = res.estimates
    assert computed + failed == len(estimates) and computed > 0.9 * len(estimates)
    real = [e for e in estimates if (e.elevation, e.azimuth) != (45.0, 0.0)]
    assert len(real) == computed
    assert all(0 < e.elevation <= 90 and 0 <= e.azimuth < 360 for e in real)
    expected = _weighted_rms_by_key(estimates)
    for st in res.statistics:
        assert st.weighted_rms == pytest.approx(expected[st.signal], rel=1e-12)
        assert st.weighted_rms != before[st.signal] and st.rms == pytest.approx(before[st.signal], rel=1e-12)
    # Opposite side of the Earth: every satellite is below the horizon, nothing changes.
    p = obs.approx_position
    assert res.compute_elevations(sp3, mp.Ecef(-p.x, -p.y, -p.z)) == (0, len(estimates))
    assert [e.elevation for e in res.estimates] == [e.elevation for e in estimates]
    assert [s.weighted_rms for s in res.statistics] == pytest.approx([expected[s.signal] for s in res.statistics])


def test_satellites_missing_from_the_orbit_fail(results, opec):
    obs, sp3 = opec
    res = results  # G01 and G02 are in the orbit file, G99 is not
    computed, failed = res.compute_elevations(sp3, obs.approx_position)
    after = res.estimates
    assert computed + failed == len(after)
    missing = [e for e in after if e.satellite == "G99"]
    assert missing and all((e.elevation, e.azimuth) == (45.0, 0.0) for e in missing)
    assert failed >= len(missing)
    expected = _weighted_rms_by_key(after)
    assert [s.weighted_rms for s in res.statistics] == pytest.approx([expected[s.signal] for s in res.statistics])


def test_compute_elevations_on_empty_results(opec, tmp_path):
    _, sp3 = opec
    path = write_rinex3(tmp_path / "empty.rnx", [], {"G": GPS})
    res = mp.MultipathAnalyzer(mp.read_rinex_obs(str(path))).analyze()
    assert res.compute_elevations(sp3, mp.Ecef(3.7e6, 3.7e6, 3.7e6)) == (0, 0)
