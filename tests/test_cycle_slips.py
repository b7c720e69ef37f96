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


def test_a_signal_missing_at_one_epoch_is_not_compared_at_the_next(analyze):
    times = [30.0 * i for i in range(20)]
    track = quiet_track(times)
    del track[270.0]["L2W"]
    step_phase(track, 300.0, 1.0)
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
