"""Reflector heights from SNR: periodogram, arcs, quality rules, signals and daily values."""
import sys

import numpy as np
import pytest
import skyrift_mp as sk

C = sk.SPEED_OF_LIGHT
L1 = C / 1575.42e6
L2 = C / 1227.60e6
L5 = C / 1176.45e6


def pass_samples(height, wavelength=L1, *, start=3.0, stop=35.0, minutes=60.0, step=15.0, phase=0.3,
                 amplitude=8.0, noise=0.0, t0=0.0, azimuth=120.0, seed=0):
    """One rising pass, elevation linear in time: a direct signal plus a ground reflection."""
    t = t0 + np.arange(0.0, minutes * 60.0 + 1e-9, step)
    e = start + (stop - start) * (t - t0) / (minutes * 60.0)
    s = np.sin(np.radians(e))
    linear = 10 ** ((35.0 + 10.0 * s) / 20.0) + amplitude * np.cos(4 * np.pi * height * s / wavelength + phase)
    snr = 20 * np.log10(linear) + noise * np.random.default_rng(seed).normal(size=t.size)
    return t, e, np.full(t.size, azimuth), snr


def run(sat, samples, signal="S1C", **options):
    t, e, az, snr = samples
    return sk.reflector_heights_from_snr(np.full(t.size, sat), t, e, az, snr, signal, **options)


def reflection_bounce(samples, **kwargs):
    """The same pass going up and then down again: a rise and a set."""
    t, e, az, snr = samples
    return (np.r_[t, t[-1] + t[1:]], np.r_[e, e[::-1][1:]], np.r_[az, az[1:]], np.r_[snr, snr[::-1][1:]])


# --- height recovery -------------------------------------------------------------

@pytest.mark.parametrize("sat, signal, wavelength", [
    ("G05", "S1C", L1), ("G05", "S2", L2), ("E11", "S5Q", L5),
], ids=["gps-l1", "gps-l2", "galileo-e5a"])
@pytest.mark.parametrize("height", [3.0, 4.5, 6.0])
@pytest.mark.parametrize("phase", [0.0, 2.1, 4.2])
def test_known_height_recovered_within_5_mm(sat, signal, wavelength, height, phase):
    r = run(sat, pass_samples(height, wavelength, phase=phase, noise=0.05), signal)
    assert len(r.arcs["height"]) == 1 and len(r.rejected["height"]) == 0
    assert abs(r.arcs["height"][0] - height) < 0.005
    assert r.arcs["wavelength"][0] == pytest.approx(wavelength, rel=1e-15)


def test_periodogram_equals_an_independent_lomb_scargle():
    signal = pytest.importorskip("scipy.signal")
    t, e, az, snr = pass_samples(3.3, noise=0.2, seed=4)
    r = run("G07", (t, e, az, snr))
    heights, amplitudes = r.periodogram(0)
    # The same steps done independently: linear SNR, order-4 fit on 5-30 deg, 5-25 deg kept.
    linear = 10 ** (snr / 20)
    fit = (e >= 5) & (e <= 30)
    residual = linear[fit] - np.polyval(np.polyfit(e[fit], linear[fit], 4), e[fit])
    keep = (e[fit] >= 5) & (e[fit] <= 25)
    x, y = np.sin(np.radians(e[fit][keep])), residual[keep]
    assert np.allclose(heights, 0.5 + 0.005 * np.arange(1501), rtol=0, atol=1e-12)
    power = signal.lombscargle(x, y, 2 * np.pi * 2 * heights / L1)
    assert np.allclose(amplitudes, np.sqrt(4 * power / x.size), rtol=1e-5, atol=1e-9)
    fine = np.arange(heights[amplitudes.argmax()] - 0.005, heights[amplitudes.argmax()] + 0.005, 1e-6)
    best = fine[signal.lombscargle(x, y, 2 * np.pi * 2 * fine / L1).argmax()]
    assert abs(r.arcs["height"][0] - best) < 2e-6
    assert r.arcs["points"][0] == x.size
    peak_power = np.ravel(signal.lombscargle(x, y, np.full(2, 4 * np.pi * best / L1)))[0]
    assert r.arcs["amplitude"][0] == pytest.approx(np.sqrt(4 * peak_power / x.size), rel=1e-6)
    assert r.arcs["peak_to_noise"][0] == pytest.approx(r.arcs["amplitude"][0] / amplitudes.mean(), rel=1e-6)


# --- quality rules ---------------------------------------------------------------

@pytest.mark.parametrize("samples_kwargs, options, reason", [
    ({}, {}, None),
    ({}, {"max_height": 4.0}, "peak at height range edge"),
    ({"start": 10.0}, {}, "short elevation coverage"),
    ({"stop": 21.0}, {}, "short elevation coverage"),
    ({"amplitude": 2.0}, {}, "low amplitude"),
    ({"amplitude": 8.0}, {"min_amplitude": {"S1": 9.0}}, "low amplitude"),
    ({"amplitude": 0.0, "noise": 1.0, "seed": 2}, {"min_amplitude": 0.0}, "low peak-to-noise"),
    ({"minutes": 150.0}, {}, "arc too long"),
    ({"step": 300.0}, {}, "too few points"),
    ({"azimuth": 100.0}, {"azimuth_windows": [(180, 270)]}, "outside azimuth windows"),
    ({"azimuth": 10.0}, {"azimuth_windows": [(350, 20)]}, None),
    ({"azimuth": 10.0}, {"azimuth_windows": [(20, 350)]}, "outside azimuth windows"),
], ids=["accepted", "edge-peak", "starts-high", "stops-low", "weak", "per-signal-minimum", "noise-only",
        "long-arc", "sparse", "azimuth", "azimuth-wraps-north", "azimuth-excluded-through-north"])
def test_each_quality_rule_rejects_what_it_should(samples_kwargs, options, reason):
    r = run("G12", pass_samples(4.2, **samples_kwargs), **options)
    if reason is None:
        assert len(r.arcs["height"]) == 1 and len(r.rejected["reason"]) == 0
    else:
        assert len(r.arcs["height"]) == 0
        assert list(r.rejected["reason"]) == [reason]


@pytest.mark.parametrize("options, reason", [
    ({"min_height": 4.15}, "peak at height range edge"),  # the 4.2 m peak 0.05 m above the range's start
    ({"min_height": 4.05}, None),
    ({"max_height": 4.25}, "peak at height range edge"),
    ({"max_height": 4.35}, None),
    ({"min_height": 4.15, "height_edge_margin": 0.04}, None),
    ({"min_height": 4.15, "height_edge_margin": 0.0}, None),  # only peaks on the grid's ends
], ids=["near-min-height", "clear-of-min-height", "near-max-height", "clear-of-max-height", "smaller-margin",
        "margin-off"])
def test_peaks_near_the_ends_of_the_height_range_are_no_heights(options, reason):
    """A peak within 0.1 m of min_height or max_height is the periodogram's edge, not a
    reflector, as gnssrefl rules."""
    r = run("G12", pass_samples(4.2), **options)
    if reason is None:
        assert r.arcs["height"] == pytest.approx([4.2], abs=0.005)
    else:
        assert list(r.rejected["reason"]) == [reason] and r.rejected["height"] == pytest.approx([4.2], abs=0.005)


def test_rejected_before_the_periodogram_has_no_height():
    r = run("G12", pass_samples(4.2, start=10.0))
    assert np.isnan(r.rejected["height"][0])
    with pytest.raises(ValueError, match="short elevation coverage"):
        r.periodogram(0, rejected=True)
    edge = run("G12", pass_samples(4.2), max_height=4.0)
    heights, amplitudes = edge.periodogram(0, rejected=True)
    assert edge.rejected["height"][0] == heights[-1] == 4.0
    assert amplitudes.argmax() == heights.size - 1


# --- arcs --------------------------------------------------------------------------

def test_rise_and_set_are_separate_arcs():
    r = run("G21", reflection_bounce(pass_samples(4.0, phase=1.0)))
    assert list(r.arcs["rising"]) == [True, False]
    assert np.all(np.abs(r.arcs["height"] - 4.0) < 0.005)
    assert r.arcs["time"][0] < r.arcs["time"][1]
    assert np.all(r.arcs["min_elevation"] == 5.0) and np.all(r.arcs["max_elevation"] == 25.0)


@pytest.mark.parametrize("gap, arcs, rejected", [(500.0, 1, 0), (700.0, 0, 2)], ids=["short-gap", "long-gap"])
def test_time_gaps_split_arcs_beyond_600_s(gap, arcs, rejected):
    t, e, az, snr = pass_samples(4.0)
    t = np.where(e > 14.0, t + gap, t)
    r = run("G21", (t, e, az, snr))
    assert len(r.arcs["height"]) == arcs and len(r.rejected["height"]) == rejected
    if rejected:
        assert set(r.rejected["reason"]) == {"short elevation coverage"}


def test_interleaved_satellites_and_missing_samples():
    a, b = pass_samples(3.1, L2, t0=0.0), pass_samples(5.2, L2, t0=7.5, phase=2.0)
    sats = np.r_[np.full(a[0].size, 5), np.full(b[0].size, 12)]  # SNR-file numbers: G05, G12
    cols = [np.r_[x, y] for x, y in zip(a, b)]
    order = np.argsort(cols[0], kind="stable")  # interleaved in time, as an SNR file is
    sats, cols = sats[order], [c[order] for c in cols]
    cols[3][::7] = 0.0  # missing values
    cols[3][1::11] = np.nan
    r = sk.reflector_heights_from_snr(sats, *cols, "S2")
    assert list(r.arcs["satellite"]) == ["G05", "G12"]
    assert np.all(np.abs(r.arcs["height"] - [3.1, 5.2]) < 0.005)
    assert np.all(r.arcs["points"] < 151)


# --- signals -----------------------------------------------------------------------

@pytest.mark.parametrize("sat, signal, channels, channel", [
    ("R01", "S1C", None, 1), ("R09", "S1P", None, -2), ("R05", "S1C", {5: -7}, -7),
    ("R05", "S2C", {"R05": 3}, 3), ("R24", "S2P", None, 2),
], ids=["R01-L1", "R09-L1", "R05-given", "R05-L2-given-by-id", "R24-L2"])
def test_glonass_channel_wavelengths(sat, signal, channels, channel):
    base, step = (1602e6, 562500.0) if signal[1] == "1" else (1246e6, 437500.0)
    wavelength = C / (base + channel * step)
    r = run(sat, pass_samples(4.4, wavelength, phase=1.3), signal, glonass_channels=channels)
    assert r.arcs["wavelength"][0] == wavelength
    assert abs(r.arcs["height"][0] - 4.4) < 0.005


def test_glonass_slot_without_channel_and_unknown_band_give_no_arcs():
    assert len(run("R30", pass_samples(4.4)).arcs["height"]) == 0
    assert len(run("R30", pass_samples(4.4), glonass_channels={30: 0}).arcs["height"]) == 1
    assert len(run("G05", pass_samples(4.4), "S7Q").arcs["height"]) == 0  # GPS has no band 7


@pytest.mark.parametrize("sat, by_default", [("C01", False), ("C38", False), ("C13", False), ("C20", True)])
def test_beidou_geo_and_igso_left_out_by_default(sat, by_default):
    wavelength = C / 1561.098e6
    samples = pass_samples(4.0, wavelength)
    assert len(run(sat, samples, "S2I").arcs["height"]) == int(by_default)
    assert len(run(sat, samples, "S2I", include_beidou_geo_igso=True).arcs["height"]) == 1



@pytest.mark.parametrize("sat, kept", [
    ("C15", False), ("C17", False), ("C31", False), ("C56", False), ("C62", False), ("C63", False),
    ("C19", True), ("C46", True), ("C57", True),
], ids=["igso-test-prn", "geo-test-prn", "bds3s-igso", "bds3s-igso-2", "bds3-geo", "reserved-geo-prn",
        "bds3-meo", "bds3-meo-46", "bds3s-meo"])
def test_beidou_orbit_table_decides_who_is_left_out(sat, kept):
    samples = pass_samples(4.0, C / 1561.098e6)
    assert len(run(sat, samples, "S2I").arcs["height"]) == int(kept)


# --- refraction ----------------------------------------------------------------------

def bennett_apparent(e, pressure, temperature):
    """Apparent elevation from Bennett's formula, inverted by plain iteration."""
    h = e.copy()
    for _ in range(60):
        r = 1 / np.tan(np.radians(h + 7.31 / (h + 4.4))) * (pressure / 1010) * (283 / (273 + temperature)) / 60
        h = e + np.maximum(r, 0)
    return h


@pytest.mark.parametrize("options, pressure, temperature", [
    ({}, 1013.25, 15.0),
    ({"station_height": 1500.0}, 1013.25 * (1 - 2.25577e-5 * 1500) ** 5.25588, 15 - 0.0065 * 1500),
    ({"pressure": 900.0, "temperature": -10.0}, 900.0, -10.0),
], ids=["sea-level", "standard-atmosphere-at-1500-m", "given"])
def test_refraction_by_bennett(options, pressure, temperature):
    # The reflection follows the apparent (bent) elevation; the columns give the geometric one.
    t, e, az, _ = pass_samples(4.0, start=2.0)
    apparent = bennett_apparent(e, pressure, temperature)
    s = np.sin(np.radians(apparent))
    snr = 20 * np.log10(10 ** ((35.0 + 10.0 * s) / 20.0) + 8.0 * np.cos(4 * np.pi * 4.0 * s / L1 + 0.3))
    plain = run("G08", (t, e, az, snr), **options)
    bent = run("G08", (t, e, az, snr), refraction=True, **options)
    window = apparent[(apparent >= 5) & (apparent <= 25)]
    assert bent.arcs["points"][0] == window.size
    assert bent.arcs["min_elevation"][0] == pytest.approx(window.min(), abs=1e-9)
    assert bent.arcs["max_elevation"][0] == pytest.approx(window.max(), abs=1e-9)
    assert abs(bent.arcs["height"][0] - 4.0) < 0.005
    assert abs(plain.arcs["height"][0] - 4.0) > 0.01


# --- results -------------------------------------------------------------------------

def several_days(heights_by_day):
    """One arc per height, each its own satellite, starting at the given day's offset."""
    cols = [[], [], [], [], []]
    for day, heights in heights_by_day.items():
        for k, h in enumerate(heights):
            samples = pass_samples(h, t0=day * 86400.0 + k * 4000.0, phase=0.7 * k)
            cols[0].append(np.full(samples[0].size, f"G{k + 1:02d}"))
            for c, v in zip(cols[1:], samples):
                c.append(v)
    return [np.concatenate(c) for c in cols]


def test_daily_mean_median_filter_and_minimum_tracks():
    day0 = [4.0, 4.1, 3.9, 4.05, 3.95, 6.5]  # 6.5 lies beyond the 0.25 m median filter
    day1 = [3.0, 3.1]
    sats, t, e, az, snr = several_days({0: day0, 1: day1})
    times = np.datetime64("2025-01-10T00:00:00", "ms") + (t * 1000).astype("timedelta64[ms]")
    r = sk.reflector_heights_from_snr(sats, times, e, az, snr, "S1C")
    assert r.arcs["time"].dtype == np.dtype("datetime64[ms]")
    h = r.arcs["height"]
    first = r.arcs["time"] < np.datetime64("2025-01-11", "ms")
    kept = h[first][np.abs(h[first] - np.median(h[first])) <= 0.25]
    d = r.daily(median_filter=0.25, min_tracks=3)
    assert list(d["day"]) == [np.datetime64("2025-01-10")]
    assert d["count"][0] == kept.size == 5
    assert d["mean"][0] == pytest.approx(kept.mean(), abs=1e-12)
    assert d["median"][0] == pytest.approx(np.median(kept), abs=1e-12)
    assert d["std"][0] == pytest.approx(kept.std(ddof=1), abs=1e-12)
    both = r.daily(median_filter=0.25, min_tracks=2)
    assert list(both["day"]) == [np.datetime64("2025-01-10"), np.datetime64("2025-01-11")]
    assert list(r.daily()["count"]) == []  # ten tracks needed by default


def test_float_times_keep_float_columns():
    r = run("G03", pass_samples(4.0, t0=2 * 86400.0 + 100.0))
    assert r.arcs["time"].dtype == np.float64
    assert r.arcs["time"][0] == pytest.approx(2 * 86400.0 + 100.0 + (5 - 3) / 32 * 3600 + 0.5 * 20 / 32 * 3600)
    assert list(r.daily(min_tracks=1)["day"]) == [2]
    assert repr(r) == "ReflectorHeights(arcs=1, rejected=0)"


def test_to_pandas_and_its_missing_extra(monkeypatch):
    r = run("G03", reflection_bounce(pass_samples(4.0)))
    monkeypatch.setitem(sys.modules, "pandas", None)
    with pytest.raises(ImportError, match=r"skyrift_mp\[pandas\]"):
        r.to_pandas()
    monkeypatch.undo()
    pd = pytest.importorskip("pandas")
    df = r.to_pandas()
    assert isinstance(df, pd.DataFrame) and list(df["rising"]) == [True, False]
    assert df.attrs == {}  # the caller's own times: their scale is not ours to name
    assert list(r.to_pandas(rejected=True).columns)[-1] == "reason"


# --- bad input -----------------------------------------------------------------------

def good_columns():
    t, e, az, snr = pass_samples(4.0)
    return {"satellites": np.full(t.size, "G01"), "times": t, "elevations": e, "azimuths": az, "snr": snr,
            "signal": "S1C"}


@pytest.mark.parametrize("change, error, message", [
    ({"times": np.arange(5.0)}, ValueError, "same length"),
    ({"signal": "L1C"}, ValueError, "not an SNR signal"),
    ({"signal": 1}, TypeError, "argument 'signal'"),
    ({"satellites": np.full(241, "X01")}, ValueError, "'X01' is not a satellite"),
    ({"satellites": np.full(241, 450)}, ValueError, "'450' is not a satellite"),
    ({"satellites": np.full(241, 1.5)}, TypeError, "argument 'satellites'"),
    ({"elevations": np.zeros((241, 2))}, ValueError, "one-dimensional"),
    ({"snr": ["a"] * 241}, TypeError, "argument 'snr'"),
    ({"min_elevation": 30.0}, ValueError, "min_elevation must be below max_elevation"),
    ({"fit_max_elevation": 20.0}, ValueError, "polynomial window"),
    ({"height_step": 0.0}, ValueError, "height_step"),
    ({"height_step": 1e-9}, ValueError, "height_step too small"),
    ({"height_edge_margin": -0.1}, ValueError, "height_edge_margin must be"),
    ({"height_edge_margin": 3.75}, ValueError, "height_edge_margin must be"),
    ({"height_edge_margin": float("nan")}, ValueError, "height_edge_margin must be"),
    ({"polynomial_order": 40}, ValueError, "polynomial_order"),
    ({"azimuth_windows": [(10, 20, 30)]}, ValueError, "pair"),
    ({"azimuth_windows": [(-10, 20)]}, ValueError, "azimuth windows"),
    ({"refraction": True, "temperature": -300.0}, ValueError, "temperature"),
    ({"refraction": 1}, TypeError, "argument 'refraction'"),
    ({"glonass_channels": {1: 20}}, ValueError, "outside -7..13"),
    ({"glonass_channels": {"G01": 1}}, ValueError, "not a GLONASS satellite"),
    ({"min_amplitude": {"X1": 3.0}}, ValueError, "not an SNR signal"),
    ({"signals": ["S1C"]}, TypeError, "unexpected keyword argument 'signals'"),
    ({"min_elevations": 5.0}, TypeError, "unexpected keyword argument 'min_elevations'"),
], ids=lambda v: v if isinstance(v, str) else None)
def test_bad_input_is_refused_with_a_clear_error(change, error, message):
    args = good_columns()
    args.update(change)
    with pytest.raises(error, match=message):
        sk.reflector_heights_from_snr(**args)


def test_periodogram_index_out_of_range():
    r = sk.reflector_heights_from_snr(**good_columns())
    assert r.periodogram(-1)[1].size == 1501
    with pytest.raises(IndexError, match="out of range for 1 arcs"):
        r.periodogram(1)
    with pytest.raises(IndexError):
        r.periodogram(0, rejected=True)


def test_empty_input_gives_empty_results():
    empty = np.zeros(0)
    r = sk.reflector_heights_from_snr(np.zeros(0, dtype="<U3"), empty, empty, empty, empty, "S1")
    assert repr(r) == "ReflectorHeights(arcs=0, rejected=0)"
    assert r.arcs["height"].size == 0 and r.daily(min_tracks=0)["mean"].size == 0
