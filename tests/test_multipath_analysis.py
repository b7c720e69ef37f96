"""Multipath values, arcs, bias removal, signal pairs, filters and ordering, checked
against an independent numpy reckoning on small RINEX 3 files."""
import tempfile
from datetime import timedelta
from pathlib import Path

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import skyrift_mp as mp
from rinex_synth import C, epochs_of, expected_series, frequency, iso, observations
from rinex_text import BASE, write_rinex3

GPS = ["C1C", "L1C", "C2W", "L2W"]


@pytest.fixture
def obs_file(tmp_path):
    def make(tracks, obs_types, **kw):
        return mp.read_rinex_obs(str(write_rinex3(tmp_path / "site.rnx", epochs_of(tracks), obs_types, **kw)))
    return make


def estimates_of(results, satellite=None, signal=None):
    return [(e.epoch, e.mp_value) for e in results.estimates
            if (satellite is None or e.satellite == satellite) and (signal is None or e.signal == signal)]


def assert_series(got, expected):
    assert [t for t, _ in got] == [t for t, _ in expected]
    np.testing.assert_allclose([v for _, v in got], [v for _, v in expected], rtol=0, atol=1e-8)


@pytest.mark.parametrize("window, n", [(None, 60), (0.0, 60), (1500.0, 50), (1500.0, 51), (1500.0, 120), (600.0, 90)],
                         ids=["arc-mean", "zero-window", "arc-1470s-mean", "arc-1500s-mean", "moving-1500s",
                              "moving-600s"])
def test_values_match_numpy(obs_file, window, n):
    track = observations([30.0 * i for i in range(n)], "G", GPS)
    obs = obs_file({"G05": track}, {"G": GPS})
    res = mp.MultipathAnalyzer(obs, bias_window_seconds=window).analyze()
    assert_series(estimates_of(res, "G05", "C1C"), expected_series(track, "C1C", "L2W", "G", 150.0, window))
    assert_series(estimates_of(res, "G05", "C2W"), expected_series(track, "C2W", "L1C", "G", 150.0, window))


def test_moving_mean_window_is_centred_and_inclusive(obs_file):
    # An irregular grid, so window edges fall exactly on samples for some points only.
    times = sorted({30.0 * i for i in range(80)} - {300.0, 330.0, 900.0} | {315.0})
    track = observations(times, "G", GPS)
    res = mp.MultipathAnalyzer(obs_file({"G07": track}, {"G": GPS}), bias_window_seconds=630.0).analyze()
    assert_series(estimates_of(res, "G07", "C1C"), expected_series(track, "C1C", "L2W", "G", 150.0, 630.0))


@settings(max_examples=30, deadline=None)
@given(steps=st.lists(st.sampled_from([15, 30, 30, 30, 30, 60, 90, 150, 151, 400]), min_size=12, max_size=90),
       window=st.sampled_from([None, 300.0, 630.0, 1500.0]), factor=st.sampled_from([2.0, 5.0]))
def test_arcs_and_windows_match_numpy_on_irregular_sampling(steps, window, factor):
    times = list(np.cumsum([0] + steps).astype(float))
    diffs = sorted(b - a for a, b in zip(times[:101], times[1:101]))
    interval = diffs[len(diffs) // 2]
    gap = max(factor * interval, interval + 0.001)
    track = observations(times, "G", GPS)
    with tempfile.TemporaryDirectory() as tmp:
        obs = mp.read_rinex_obs(str(write_rinex3(Path(tmp) / "irregular.rnx", epochs_of({"G09": track}), {"G": GPS})))
    res = mp.MultipathAnalyzer(obs, bias_window_seconds=window, arc_gap_factor=factor,
                               detect_cycle_slips=False).analyze()
    assert_series(estimates_of(res, "G09", "C1C"), expected_series(track, "C1C", "L2W", "G", gap, window))


def _jd_seconds(seconds):
    t = BASE + timedelta(seconds=seconds)
    return mp.Epoch(t.year, t.month, t.day, t.hour, t.minute, t.second).julian_date() * 86400.0


def test_hole_of_exactly_the_gap_threshold_does_not_cut(obs_file):
    # Time differences come from exact millisecond stamps: a 150 s hole against 5 x 30 s
    # is not a gap. Choose a hole that Julian-date differences would call a gap.
    start = next(s for s in range(300, 3000, 30) if _jd_seconds(s + 150) - _jd_seconds(s) > 150.0)
    times = [t for t in range(0, start + 900, 30) if not start < t < start + 150]
    track = observations(times, "G", GPS)
    res = mp.MultipathAnalyzer(obs_file({"G01": track}, {"G": GPS}), bias_window_seconds=None).analyze()
    got = estimates_of(res, "G01", "C1C")
    assert len(got) == len(times)
    assert_series(got, expected_series(track, "C1C", "L2W", "G", 150.0))


def test_hole_longer_than_the_gap_threshold_cuts(obs_file):
    times = [t for t in range(0, 1800, 30) if not 600 < t < 780]
    track = observations(times, "G", GPS)
    res = mp.MultipathAnalyzer(obs_file({"G01": track}, {"G": GPS}), bias_window_seconds=None).analyze()
    got = estimates_of(res, "G01", "C1C")
    assert_series(got, expected_series(track, "C1C", "L2W", "G", 150.0))
    before = [v for t, v in got if t <= iso(600)]
    assert abs(sum(before)) < 1e-6  # the first arc is reduced by its own mean


def test_interval_is_upper_median_and_gap_factor_applies(obs_file):
    # 60 s spacing in most of the first epochs: interval 60, gap 2 x 60 = 120 s; a 150 s hole cuts.
    times = list(range(0, 3000, 60)) + list(range(3150, 6000, 60))
    track = observations(times, "G", GPS)
    res = mp.MultipathAnalyzer(obs_file({"G01": track}, {"G": GPS}), bias_window_seconds=None,
                               arc_gap_factor=2.0).analyze()
    assert_series(estimates_of(res, "G01", "C1C"), expected_series(track, "C1C", "L2W", "G", 120.0))
    assert len(estimates_of(res, "G01", "C1C")) == len(times)
    assert abs(sum(v for t, v in estimates_of(res, "G01", "C1C") if t < iso(3000))) < 1e-6


@pytest.mark.parametrize("jump, arcs", [(9.95, 1), (10.05, 2)], ids=["below-limit", "above-limit"])
def test_mp_jump_cuts_arcs(obs_file, jump, arcs):
    times = [30.0 * i for i in range(40)]
    track = observations(times, "G", GPS, code_noise=0.0)
    for t in times[20:]:
        track[t]["C1C"] += jump
    # Slip detection off: the code-minus-phase test would see the step as well.
    res = mp.MultipathAnalyzer(obs_file({"G03": track}, {"G": GPS}), bias_window_seconds=None,
                               detect_cycle_slips=False).analyze()
    got = estimates_of(res, "G03", "C1C")
    assert_series(got, expected_series(track, "C1C", "L2W", "G", 150.0))
    assert len(got) == 40
    first = np.array([v for t, v in got[:20]])
    assert abs(first.mean() - (0.0 if arcs == 2 else -jump / 2)) < 0.05


@pytest.mark.parametrize("points, min_arc, kept", [(10, 270.0, True), (9, 240.0, False), (10, 270.001, False)],
                         ids=["10-points-at-limit", "9-points", "10-points-too-short"])
def test_short_arcs_are_dropped(obs_file, points, min_arc, kept):
    track = observations([30.0 * i for i in range(points)], "G", GPS)
    res = mp.MultipathAnalyzer(obs_file({"G01": track}, {"G": GPS}), min_arc_seconds=min_arc).analyze()
    assert res.total_estimates() == (2 * points if kept else 0)


@pytest.mark.parametrize("cutoff, emitted", [(45.0, True), (45.0001, False), (-5.0, True), (float("nan"), True)],
                         ids=["at-45", "above-45", "negative", "nan"])
def test_provisional_elevation_against_cutoff(obs_file, cutoff, emitted):
    track = observations([30.0 * i for i in range(20)], "G", GPS)
    res = mp.MultipathAnalyzer(obs_file({"G01": track}, {"G": GPS}), elevation_cutoff=cutoff).analyze()
    assert res.total_estimates() == (40 if emitted else 0)
    assert all(e.elevation == 45.0 and e.azimuth == 0.0 for e in res.estimates)


@pytest.mark.parametrize("max_epochs, step", [(10, 10), (30, 4), (99, 2), (0, 1), (100, 1), (None, 1)],
                         ids=["k10", "k4", "k2", "zero-is-no-limit", "equal", "none"])
def test_decimation(obs_file, max_epochs, step):
    times = [30.0 * i for i in range(100)]
    track = observations(times, "G", GPS)
    res = mp.MultipathAnalyzer(obs_file({"G01": track}, {"G": GPS}), max_epochs=max_epochs,
                               bias_window_seconds=None).analyze()
    kept = {t: track[t] for t in times[::step]}
    got = estimates_of(res, "G01", "C1C")
    assert [t for t, _ in got] == [iso(t) for t in times[::step]]
    assert_series(got, expected_series(kept, "C1C", "L2W", "G", 5 * 30.0 * step))


# code -> partner phase, for one satellite observing `codes`; None: no pair.
PAIR_CASES = [
    ("G", ["C1C", "L1C", "C2W", "L2L", "L2W", "C5Q", "L5Q"], {"C1C": "L2L", "C2W": "L1C", "C5Q": "L1C"}),
    ("G", ["C1C", "L1C", "C5Q", "L5Q"], {"C1C": "L5Q", "C5Q": "L1C"}),
    ("G", ["C1C", "L1C", "C2W", "C5Q", "L5Q"], {"C1C": "L5Q", "C2W": None, "C5Q": "L1C"}),
    ("E", ["C1X", "L1X", "C7X", "L7X", "L5X"], {"C1X": "L5X", "C7X": "L1X"}),
    ("E", ["C5X", "L5X", "C7X", "L7X", "L8X"], {"C5X": None, "C7X": None}),
    ("C", ["C2I", "L2I", "C7I", "L6I", "L7I"], {"C2I": "L7I", "C7I": "L2I"}),
]


@pytest.mark.parametrize("system, codes, partners", PAIR_CASES,
                         ids=["gps-smallest-attribute", "gps-l1-l5-receiver", "gps-band-2-code-without-phase",
                              "galileo", "galileo-too-close",
                              "beidou"])
def test_signal_pairs(obs_file, system, codes, partners):
    track = observations([30.0 * i for i in range(20)], system, codes)
    sat = system + "11"
    res = mp.MultipathAnalyzer(obs_file({sat: track}, {system: codes}), bias_window_seconds=None).analyze()
    for code, partner in partners.items():
        got = estimates_of(res, sat, code)
        if partner is None:
            assert got == []
        else:
            assert_series(got, expected_series(track, code, partner, system, 150.0))


@pytest.mark.parametrize("offset", [2.2e7, -3.5e7, 1.0e8], ids=["phone-adr-from-zero", "negative", "far-off"])
def test_large_phase_ambiguities_still_give_estimates(obs_file, offset):
    # A phone's accumulated ranges start near zero, so the raw combination sits at the
    # range itself; the arc mean removes it like any other constant.
    track = observations([30.0 * i for i in range(30)], "G", GPS)
    for obs in track.values():
        obs["L1C"] -= offset / (C / frequency("G", 1))
        obs["L2W"] -= offset / (C / frequency("G", 2))
    res = mp.MultipathAnalyzer(obs_file({"G04": track}, {"G": GPS}), bias_window_seconds=None).analyze()
    for code, partner in (("C1C", "L2W"), ("C2W", "L1C")):
        got = estimates_of(res, "G04", code)
        want = expected_series(track, code, partner, "G", 150.0)
        assert len(got) == 30 and [t for t, _ in got] == [t for t, _ in want]
        np.testing.assert_allclose([v for _, v in got], [v for _, v in want], rtol=0, atol=1e-6)


@pytest.mark.parametrize("sat, slots, channel", [("R01", None, 1), ("R10", None, -7), ("R01", {1: -3}, -3),
                                                ("R01", {2: 5}, 1), ("R30", None, 0), ("R30", {30: 4}, 4)],
                         ids=["default-table", "default-table-slot10", "file-slot-map", "other-slot-in-map",
                              "beyond-table-base", "beyond-table-in-map"])
def test_glonass_channel(obs_file, sat, slots, channel):
    codes = ["C1C", "L1C", "C2P", "L2P"]
    track = observations([30.0 * i for i in range(20)], "R", codes, channel=channel)
    res = mp.MultipathAnalyzer(obs_file({sat: track}, {"R": codes}, glonass_slots=slots),
                               bias_window_seconds=None).analyze()
    assert_series(estimates_of(res, sat, "C1C"), expected_series(track, "C1C", "L2P", "R", 150.0, channel=channel))


@pytest.mark.parametrize("snr_codes, expected", [(["S1C", "S1W"], "S1C"), (["S1X", "S1W"], "S1W"), (["S2W"], None)],
                         ids=["same-signal", "same-band-smallest-attribute", "other-band-only"])
def test_snr_attached(obs_file, snr_codes, expected):
    codes = GPS + snr_codes
    track = observations([30.0 * i for i in range(12)], "G", codes)
    res = mp.MultipathAnalyzer(obs_file({"G01": track}, {"G": codes})).analyze()
    snrs = [e.snr for e in res.estimates if e.signal == "C1C"]
    want = [None] * 12 if expected is None else [track[t][expected] for t in sorted(track)]
    assert snrs == pytest.approx(want) if expected else snrs == want


def _two_systems(obs_file):
    codes = {"G": GPS, "E": ["C1C", "L1C", "C5Q", "L5Q"], "R": ["C1C", "L1C", "C2P", "L2P"]}
    times = [30.0 * i for i in range(12)]
    tracks = {"G10": observations(times, "G", codes["G"], seed=1), "G02": observations(times, "G", codes["G"], seed=2),
              "E03": observations(times, "E", codes["E"], seed=3), "R05": observations(times, "R", codes["R"], seed=4, channel=1)}
    return obs_file(tracks, codes)


@pytest.mark.parametrize("options, signals", [
    ({}, {"GC1C", "GC2W", "EC1C", "EC5Q", "RC1C", "RC2P"}),
    ({"include_codes": ["GC1C"]}, {"GC1C"}),
    ({"include_codes": [" c1c "]}, {"GC1C", "EC1C", "RC1C"}),
    ({"exclude_codes": ["C1C", "rc2p"]}, {"GC2W", "EC5Q"}),
    ({"include_codes": ["C1C"], "exclude_codes": ["EC1C"]}, {"GC1C", "RC1C"}),
    ({"systems": ["gps", "x", "", "R"]}, {"GC1C", "GC2W", "RC1C", "RC2P"}),
    ({"systems": ["Galileo"]}, {"GC1C", "GC2W"}),
    ({"systems": ["E", "E"]}, {"EC1C", "EC5Q"}),
    ({"systems": []}, set()),
], ids=["all", "include-system-code", "include-trimmed-lowercase", "exclude", "include-and-exclude",
        "systems-letters", "galileo-word-is-gps", "duplicates", "no-systems"])
def test_filters(obs_file, options, signals):
    res = mp.MultipathAnalyzer(_two_systems(obs_file), **options).analyze()
    assert {e.system + e.signal for e in res.estimates} == signals


def test_estimates_ordered_by_key_then_prn_then_time(obs_file):
    res = mp.MultipathAnalyzer(_two_systems(obs_file)).analyze()
    names = {"G": "GPS", "E": "GAL", "R": "GLO"}
    keys = [(names[e.system] + "M" + e.signal[1:], int(e.satellite[1:]), e.epoch) for e in res.estimates]
    assert keys == sorted(keys)
    assert [k for k, _, _ in keys][0] == "GALM1C" and res.estimates[-1].satellite == "G10"
    assert sorted({k for k, _, _ in keys}) == sorted(s.signal for s in res.statistics)


def test_statistics_match_numpy(obs_file):
    res = mp.MultipathAnalyzer(_two_systems(obs_file), bias_window_seconds=None).analyze()
    for st in res.statistics:
        sel = [e for e in res.estimates if "M" + e.signal[1:] == st.signal[3:] and e.system == st.system]
        x = np.array([e.mp_value for e in sel])
        assert (st.count, st.code, st.cycle_slips) == (len(x), sel[0].signal, 0)
        np.testing.assert_allclose([st.mean, st.std_dev, st.rms, st.min, st.max],
                                   [x.mean(), x.std(), np.sqrt(np.mean(x * x)), x.min(), x.max()], rtol=1e-12,
                                   atol=1e-15)
        assert st.weighted_rms == pytest.approx(st.rms, rel=1e-12)


def test_empty_and_single_epoch_files(obs_file):
    one = obs_file({"G01": observations([0.0], "G", GPS)}, {"G": GPS})
    res = mp.MultipathAnalyzer(one).analyze()
    assert (res.estimates, res.statistics, res.cycle_slips, res.cycle_slip_counts) == ([], [], [], {})
    assert repr(res) == "AnalysisResults(estimates=0, signals=0, cycle_slips=0)"
    empty = obs_file({}, {"G": GPS})
    assert repr(mp.MultipathAnalyzer(empty).analyze()) == "AnalysisResults(estimates=0, signals=0, cycle_slips=0)"


def test_analyze_is_repeatable(obs_file):
    analyzer = mp.MultipathAnalyzer(_two_systems(obs_file))
    first, second = analyzer.analyze(), analyzer.analyze()
    assert [(e.satellite, e.epoch, e.mp_value) for e in first.estimates] == \
        [(e.satellite, e.epoch, e.mp_value) for e in second.estimates]
