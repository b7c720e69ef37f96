"""Cycle-slip detection: loss-of-lock bits, geometry-free and code-minus-phase steps,
the comparison gap, ordering and counting, and how slips cut the multipath arcs."""
from datetime import timedelta

import numpy as np
import pytest

import skyrift_mp as mp
from rinex_synth import C, epochs_of, expected_series, frequency, iso, observations
from rinex_text import BASE, write_rinex3

GPS = ["C1C", "L1C", "C2W", "L2W"]
LAMBDA1 = C / frequency("G", 1)
ALPHA = (frequency("G", 1) / frequency("G", 2)) ** 2


@pytest.fixture
def analyze(tmp_path):
    def run(tracks, obs_types=None, **options):
        path = write_rinex3(tmp_path / "slips.rnx", epochs_of(tracks), obs_types or {"G": GPS})
        return mp.MultipathAnalyzer(mp.read_rinex_obs(str(path)), **options).analyze()
    return run


def quiet_track(times, system="G", codes=GPS, **kw):
    return observations(times, system, codes, code_noise=0.0, **kw)


def step_phase(track, from_time, metres, code="L1C", band_wavelength=LAMBDA1):
    for t in track:
        if t >= from_time:
            track[t][code] += metres / band_wavelength


def slips_of(results):
    return [(s.satellite, s.epoch, s.method, s.signal, s.system) for s in results.cycle_slips]


def test_geometry_free_step_gives_two_records_and_cuts_both_series(analyze):
    times = [30.0 * i for i in range(30)]
    track = quiet_track(times)
    step_phase(track, 450.0, 0.2)
    res = analyze({"G01": track}, bias_window_seconds=None)
    assert slips_of(res) == [("G01", iso(450), "gf", "L1C", "G"), ("G01", iso(450), "gf", "L2W", "G")]
    a, b = res.cycle_slips
    assert a.magnitude == pytest.approx(0.2 / (ALPHA - 1), abs=0.005)
    assert b.magnitude == pytest.approx(0.2 / (1 / ALPHA - 1) * -1, abs=0.005)
    assert a.threshold == b.threshold == pytest.approx(0.10 + 0.003 * 30)
    assert res.cycle_slip_counts == {"GPSL1C": 1, "GPSL2W": 1}
    assert res.total_cycle_slips() == 2
    stats = {s.signal: s for s in res.statistics}
    assert stats["GPSM1C"].cycle_slips == stats["GPSM2W"].cycle_slips == 1
    got = [(e.epoch, e.mp_value) for e in res.estimates if e.signal == "C1C"]
    want = expected_series(track, "C1C", "L2W", "G", 150.0, slips={450.0})
    assert [t for t, _ in got] == [t for t, _ in want]
    np.testing.assert_allclose([v for _, v in got], [v for _, v in want], atol=1e-8)


def test_thresholds_follow_options(analyze):
    times = [30.0 * i for i in range(30)]
    track = quiet_track(times)
    step_phase(track, 450.0, 0.2)
    assert analyze({"G01": track}, ion_delta_base=0.5).cycle_slips == []
    res = analyze({"G01": track}, ion_delta_base=0.0, ion_delta_rate=0.01)
    assert [s.threshold for s in res.cycle_slips] == [pytest.approx(0.3)] * 2


def test_code_phase_step_names_the_phase_signal(analyze):
    times = [30.0 * i for i in range(30)]
    track = quiet_track(times)
    for t in times[15:]:
        track[t]["C2W"] += 9.0
    res = analyze({"G01": track})
    assert slips_of(res) == [("G01", iso(450), "code_phase", "L2W", "G")]
    assert res.cycle_slips[0].magnitude == pytest.approx(9.0, abs=0.02)  # plus 30 s of ionosphere
    assert res.cycle_slips[0].threshold == pytest.approx(8.0)
    assert res.cycle_slip_counts == {"GPSL2W": 1}


@pytest.mark.parametrize("lli, slipped", [(4, False), (1, True), (2, True), (3, True), (5, True), (0, False)],
                         ids=["bit2-only", "bit0", "bit1", "bits01", "bits02", "zero"])
def test_loss_of_lock_bits(analyze, lli, slipped):
    times = [30.0 * i for i in range(20)]
    track = quiet_track(times)
    track[300.0]["L1C"] = (track[300.0]["L1C"], lli)
    res = analyze({"G01": track})
    if not slipped:
        assert res.cycle_slips == [] and res.cycle_slip_counts == {}
        return
    assert slips_of(res) == [("G01", iso(300), "lli", "L1C", "G")]
    assert (res.cycle_slips[0].magnitude, res.cycle_slips[0].threshold) == (1.0, 0.0)
    assert res.cycle_slip_counts == {"GPSL1C": 1}


def test_one_event_counts_once_however_many_records_name_it(analyze):
    times = [30.0 * i for i in range(20)]
    track = quiet_track(times)
    step_phase(track, 300.0, 0.3)
    track[300.0]["L1C"] = (track[300.0]["L1C"], 1)
    track[0.0]["L2W"] = (track[0.0]["L2W"], 2)  # first epoch: no state needed for lli
    res = analyze({"G01": track})
    assert [(s.epoch, s.method, s.signal) for s in res.cycle_slips] == [
        (iso(0), "lli", "L2W"), (iso(300), "lli", "L1C"), (iso(300), "gf", "L1C"), (iso(300), "gf", "L2W")]
    assert res.cycle_slip_counts == {"GPSL1C": 1, "GPSL2W": 2}


def _jd_seconds(seconds):
    t = BASE + timedelta(seconds=seconds)
    return mp.Epoch(t.year, t.month, t.day, t.hour, t.minute, t.second).julian_date() * 86400.0


@pytest.mark.parametrize("hole, compared", [(300, True), (301, False)], ids=["300s-compared", "301s-skipped"])
def test_epochs_further_apart_than_300s_are_not_compared(analyze, hole, compared):
    # Julian dates would put this 300 s hole above 300 s; exact stamps keep it at 300.
    start = next(s for s in range(300, 6000, 30) if _jd_seconds(s + 300) - _jd_seconds(s) > 300.0)
    times = [30.0 * i for i in range(start // 30 + 1)] + [start + hole + 30.0 * i for i in range(12)]
    track = quiet_track(times)
    step_phase(track, start + hole, 2.0)  # 3.1 m of geometry-free change, threshold 1.0 m
    res = analyze({"G01": track})
    assert [(s.epoch, s.method) for s in res.cycle_slips] == ([(iso(start + hole), "gf")] * 2 if compared else [])
    if compared:
        assert res.cycle_slips[0].threshold == pytest.approx(0.10 + 0.003 * 300)


# ---- comparisons across holes in one signal ---------------------------------------

def _mp_step_behind_hole(hole_epochs, step=5.0):
    """G01 at 30 s for 40 epochs; L1C missing for `hole_epochs` epochs before 600 s, and
    from 600 s on shifted so that the C1C multipath series steps by `step` metres."""
    times = [30.0 * i for i in range(40)]
    track = observations(times, "G", GPS, seed=5)
    for k in range(1, hole_epochs + 1):
        del track[600.0 - 30.0 * k]["L1C"]
    b = 2.0 / (ALPHA - 1.0)
    step_phase(track, 600.0, -step / (1.0 + b))
    return track


def c1c_of(res):
    return [(e.epoch, e.mp_value) for e in res.estimates if e.signal == "C1C"]


def test_level_shift_behind_a_one_epoch_hole_is_a_slip(analyze):
    track = _mp_step_behind_hole(1)
    res = analyze({"G01": track}, bias_window_seconds=None)
    dt = 60.0
    assert [(s.epoch, s.method, s.signal) for s in res.cycle_slips] == [(iso(600), "gf", "L1C"), (iso(600), "gf", "L2W")]
    assert all(s.threshold == pytest.approx(0.10 + 0.003 * dt) for s in res.cycle_slips)
    assert res.cycle_slips[0].magnitude == pytest.approx(5.0 / (1 + 2 / (ALPHA - 1)) / (ALPHA - 1), abs=0.01)
    assert {s.signal: s.cycle_slips for s in res.statistics} == {"GPSM1C": 1, "GPSM2W": 1}
    got = c1c_of(res)
    want = expected_series(track, "C1C", "L2W", "G", 150.0, slips={600.0})
    assert [t for t, _ in got] == [t for t, _ in want]
    np.testing.assert_allclose([v for _, v in got], [v for _, v in want], atol=1e-8)


def test_option_restores_the_adjacent_epoch_rule(analyze):
    # The same file: no slip, the 5 m step stays inside one arc (below the 10 m jump limit).
    track = _mp_step_behind_hole(1)
    res = analyze({"G01": track}, bias_window_seconds=None, skip_slip_tests_after_holes=True)
    assert (res.cycle_slips, res.cycle_slip_counts) == ([], {})
    got = c1c_of(res)
    want = expected_series(track, "C1C", "L2W", "G", 150.0)
    assert [t for t, _ in got] == [t for t, _ in want]
    np.testing.assert_allclose([v for _, v in got], [v for _, v in want], atol=1e-8)
    assert max(v for _, v in got) - min(v for _, v in got) > 4.0  # the step is still in the values


@pytest.mark.parametrize("hole_epochs, found", [(1, True), (2, False)], ids=["60s-threshold-11m", "90s-threshold-14m"])
def test_code_minus_phase_step_behind_a_hole_uses_thresholds_of_the_time_difference(analyze, hole_epochs, found):
    times = [30.0 * i for i in range(30)]
    track = quiet_track(times)
    for k in range(1, hole_epochs + 1):
        del track[450.0 - 30.0 * k]["C2W"]
    for t in times[15:]:
        track[t]["C2W"] += 12.0
    res = analyze({"G01": track})
    if not found:
        assert res.cycle_slips == []
        return
    assert [(s.epoch, s.method, s.signal) for s in res.cycle_slips] == [(iso(450), "code_phase", "L2W")]
    assert res.cycle_slips[0].threshold == pytest.approx(5.0 + 0.10 * 60)
    assert res.cycle_slips[0].magnitude == pytest.approx(12.0, abs=0.05)
    assert analyze({"G01": track}, skip_slip_tests_after_holes=True).cycle_slips == []


def test_hole_longer_than_the_slip_gap_starts_an_arc_without_a_slip(analyze):
    track = _mp_step_behind_hole(10)  # 330 s since L1C was last seen
    res = analyze({"G01": track}, bias_window_seconds=None, min_arc_seconds=0.0)
    assert res.cycle_slips == []
    got = c1c_of(res)
    want = expected_series(track, "C1C", "L2W", "G", 150.0, min_seconds=0.0)
    assert [t for t, _ in got] == [t for t, _ in want]
    np.testing.assert_allclose([v for _, v in got], [v for _, v in want], atol=1e-8)
    assert abs(sum(v for t, v in got if t >= iso(600))) < 1e-6  # an arc of its own


@pytest.mark.parametrize("hole_epochs", [1, 4, 9], ids=["60s", "150s", "300s"])
@pytest.mark.parametrize("signal", ["L1C", "L2W", "C1C", "satellite"])
def test_clean_series_across_a_hole_gives_no_slip(analyze, hole_epochs, signal):
    times = [30.0 * i for i in range(40)]
    track = observations(times, "G", GPS, seed=9)
    for k in range(1, hole_epochs + 1):
        if signal == "satellite":
            del track[600.0 - 30.0 * k]
        else:
            del track[600.0 - 30.0 * k][signal]
    assert analyze({"G01": track}).cycle_slips == []


def test_detection_off_reports_nothing_and_does_not_cut(analyze):
    times = [30.0 * i for i in range(30)]
    track = quiet_track(times)
    step_phase(track, 450.0, 0.2)
    track[300.0]["L1C"] = (track[300.0]["L1C"], 1)
    res = analyze({"G01": track}, detect_cycle_slips=False, bias_window_seconds=None)
    assert (res.cycle_slips, res.cycle_slip_counts) == ([], {})
    assert all(s.cycle_slips == 0 for s in res.statistics)
    got = [v for e, v in [(e.signal, e.mp_value) for e in res.estimates] if e == "C1C"]
    want = expected_series(track, "C1C", "L2W", "G", 150.0)
    np.testing.assert_allclose(got, [v for _, v in want], atol=1e-8)


def test_slips_ignore_systems_and_sort_by_time_then_satellite_text(analyze):
    times = [30.0 * i for i in range(15)]
    glonass = ["C1C", "L1C", "C2P", "L2P"]
    tracks = {"G10": quiet_track(times, seed=1), "G02": quiet_track(times, seed=2),
              "R03": quiet_track(times, "R", glonass, channel=5, seed=3)}
    tracks["G10"][60.0]["L2W"] = (tracks["G10"][60.0]["L2W"], 1)
    tracks["G02"][90.0]["L1C"] = (tracks["G02"][90.0]["L1C"], 1)
    tracks["G02"][60.0]["L2W"] = (tracks["G02"][60.0]["L2W"], 1)
    tracks["R03"][60.0]["L1C"] = (tracks["R03"][60.0]["L1C"], 2)
    res = analyze(tracks, {"G": GPS, "R": glonass}, systems=["G"])
    assert [(s.epoch, s.satellite, s.signal) for s in res.cycle_slips] == [
        (iso(60), "G02", "L2W"), (iso(60), "G10", "L2W"), (iso(60), "R03", "L1C"), (iso(90), "G02", "L1C")]
    assert res.cycle_slip_counts == {"GPSL2W": 2, "GPSL1C": 1, "GLOL1C": 1}
    assert {e.system for e in res.estimates} == {"G"}


# ---- which phase a geometry-free slip belongs to -----------------------------------

TRIPLE = ["C1C", "L1C", "C2W", "L2W", "C5Q", "L5Q"]
LAMBDA5 = C / frequency("G", 5)
LAMBDA2 = C / frequency("G", 2)


def _triple_track(seed=3):
    return observations([30.0 * i for i in range(40)], "G", TRIPLE, seed=seed)


# A multipath series is cut by slips of its own phase and of its partner phase.
PARTNERS = {"C1C": "L2W", "C2W": "L1C", "C5Q": "L1C"}


@pytest.mark.parametrize("slipping, blamed", [
    ("L5Q", {"L5Q"}),                 # L1C passes against L2W: only L5Q slipped
    ("L2W", {"L2W"}),                 # L1C passes against L5Q
    ("L1C", {"L1C", "L2W", "L5Q"}),   # every test of L1C fails: no phase is known intact
], ids=["flaky-l5", "flaky-l2", "l1-itself"])
def test_slip_belongs_to_the_phase_that_fails_every_test(analyze, slipping, blamed):
    track = _triple_track()
    wavelength = {"L1C": LAMBDA1, "L2W": LAMBDA2, "L5Q": LAMBDA5}[slipping]
    for start in (300.0, 600.0, 900.0):
        step_phase(track, start, 3.0, code=slipping, band_wavelength=wavelength)
    res = analyze({"G07": track}, {"G": TRIPLE}, bias_window_seconds=None, min_arc_seconds=0.0)
    assert {(s.epoch, s.method) for s in res.cycle_slips} == {(iso(300), "gf"), (iso(600), "gf"), (iso(900), "gf")}
    assert res.cycle_slip_counts == {"GPS" + p: 3 for p in blamed}
    slip_times = {300.0, 600.0, 900.0}
    for code, partner in PARTNERS.items():
        cut = "L" + code[1:] in blamed or partner in blamed
        assert next(s for s in res.statistics if s.code == code).cycle_slips == (3 if cut else 0)
        got = [(e.epoch, e.mp_value) for e in res.estimates if e.signal == code]
        want = expected_series(track, code, partner, "G", 150.0, slips=slip_times if cut else (), min_seconds=0.0)
        assert [t for t, _ in got] == [t for t, _ in want]
        np.testing.assert_allclose([v for _, v in got], [v for _, v in want], atol=1e-8)


@pytest.mark.parametrize("missing", ["C1C", "L2W"], ids=["code-missing", "partner-missing"])
def test_slip_at_an_epoch_without_a_multipath_point_still_cuts(analyze, missing):
    # L1C loses lock at 450 s, where the C1C series has no point: the next point starts the arc.
    track = quiet_track([30.0 * i for i in range(30)])
    del track[450.0][missing]
    track[450.0]["L1C"] = (track[450.0]["L1C"], 1)
    res = analyze({"G01": track}, bias_window_seconds=None, min_arc_seconds=0.0)
    assert [(s.epoch, s.method) for s in res.cycle_slips] == [(iso(450), "lli")]
    assert next(s for s in res.statistics if s.code == "C1C").cycle_slips == 1
    got = c1c_of(res)
    want = expected_series(track, "C1C", "L2W", "G", 150.0, slips={480.0}, min_seconds=0.0)
    assert [t for t, _ in got] == [t for t, _ in want]
    np.testing.assert_allclose([v for _, v in got], [v for _, v in want], atol=1e-8)
