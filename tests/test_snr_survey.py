"""The per-satellite SNR survey on generated RINEX files with known SNR content."""
import math

import numpy as np
import pytest
import skyrift_mp as sk
from shared_data import data_file
from rinex_text import START_UNIX, write_snr_rinex

DT = 5.0
N = 1200
TIMES = [i * DT for i in range(N)]
OSCILLATION_PERIOD = 90.0  # inside the (60, 120) band of the 5 s table


def oscillating_snr(n=N, start=0):
    t = (np.arange(n) + start) * DT
    trend = 38 + 10 * (t / (N * DT)) - 6 * (t / (N * DT)) ** 2
    return list(trend + 1.5 * np.sin(2 * np.pi * t / OSCILLATION_PERIOD))


def with_gaps(values, keep):
    return [v if keep(i) else None for i, v in enumerate(values)]


@pytest.fixture(scope="module")
def survey_file(tmp_path_factory):
    full = oscillating_snr()
    series = {
        "G01": {"S1C": full, "S2W": [40.0] * N},
        # The chosen code has 39 positive values: skipped, although S2W would have plenty.
        "G02": {"S1C": [0.0] * (N - 39) + [44.0] * 39, "S2W": [40.0] * N},
        "G03": {"S5X": [35.0 + (i % 7) for i in range(N)], "S2W": full},  # no band 1: S2W first
        # Three arcs of 30 samples: residuals, but no band power.
        "G04": {"S1C": with_gaps(full, lambda i: (i // 100) % 2 == 0 and i % 100 < 30 and i < 600)},
        "E05": {"S1X": [30.0] * N, "S1C": full},  # band 1 twice: S1C before S1X
        "R07": {"C1C": [2.0e7] * N},  # no S code at all
        "J02": {"S1C": with_gaps(full, lambda i: 100 <= i < 150)},  # 50 band-power samples
    }
    return sk.read_rinex_obs(str(write_snr_rinex(tmp_path_factory.mktemp("snr") / "snr.rnx", TIMES, series, DT)))


@pytest.fixture(scope="module")
def survey(survey_file):
    return sk.analyze_snr_wavelets(survey_file)


def test_layout_codes_and_skipping(survey):
    assert list(survey) == ["bands", "interval", "residuals", "band_power"]
    assert survey["bands"] == [[30.0, 60.0], [60.0, 120.0], [120.0, 300.0], [300.0, 600.0]]
    assert survey["interval"] == pytest.approx(DT, abs=1e-4)
    residuals = survey["residuals"]
    assert list(residuals) == ["E05", "G01", "G03", "G04", "J02"]
    assert {sat: r["code"] for sat, r in residuals.items()} == {"E05": "S1C", "G01": "S1C", "G03": "S2W",
                                                                 "G04": "S1C", "J02": "S1C"}
    assert list(residuals["G01"]) == ["code", "t0", "t", "v", "orders"]
    assert list(survey["band_power"]) == ["E05", "G01", "G03", "J02"]
    assert len(survey["band_power"]["J02"]["t"]) == 50 and len(survey["band_power"]["G01"]["t"]) == 96
    assert list(survey["band_power"]["G01"]) == ["t", "power"]


def test_residuals_are_the_detrended_linear_amplitude(survey):
    r = survey["residuals"]["G04"]
    assert r["t0"] == START_UNIX
    amplitude = [10 ** (round(v, 3) / 20) for v in oscillating_snr()]  # the file holds 3 decimals
    kept = [i for i in range(N) if (i // 100) % 2 == 0 and i % 100 < 30 and i < 600]
    assert r["t"] == [i * DT for i in kept]
    arcs = sk.split_arcs(r["t"], DT)
    assert len(arcs) == 3 and len(r["orders"]) == 3
    for (start, stop), order in zip(arcs, r["orders"]):
        residual, want_order = sk.detrend_arc(r["t"][start:stop], [amplitude[i] for i in kept[start:stop]], 9)
        assert order == want_order
        np.testing.assert_allclose(r["v"][start:stop], residual, rtol=0, atol=1e-12)


def test_the_band_holding_the_period_gets_the_power(survey):
    for sat in ("G01", "G03", "E05"):
        power = np.asarray(survey["band_power"][sat]["power"])
        middle = power[:, 20:76].mean(axis=1)  # away from the cone of influence at the ends
        assert middle.argmax() == 1, (sat, middle)
        assert middle[1] > 10 * max(middle[0], middle[2], middle[3])


def bin_by_hand(t, rows, t0, max_bins=96):
    m = len(t)
    bins = min(m, max_bins)
    width = (t[-1] + 1.0 - t[0]) / bins
    edges = [t[0] + i * width for i in range(bins)] + [t[-1] + 1.0]
    k = np.clip(np.searchsorted(edges, t, side="right") - 1, 0, bins - 1)
    out_t, out_rows = [], [[] for _ in rows]
    for b in range(bins):
        members = np.flatnonzero(k == b)
        if members.size:
            out_t.append(sum(t[i] for i in members) / members.size - t0)
            for row, out in zip(rows, out_rows):
                out.append(sum(row[i] for i in members) / members.size)
    return out_t, out_rows


def test_band_power_binning_by_hand(survey):
    r = survey["residuals"]["G01"]
    t = [x + r["t0"] for x in r["t"]]
    rows = sk.band_power(r["v"], DT, survey["bands"])  # one arc: the whole series
    want_t, want_rows = bin_by_hand(t, rows, r["t0"])
    got = survey["band_power"]["G01"]
    assert len(got["t"]) == 96
    np.testing.assert_allclose(got["t"], want_t, rtol=1e-12)
    np.testing.assert_allclose(got["power"], want_rows, rtol=1e-9, atol=1e-18)


def test_options(survey_file):
    got = sk.analyze_snr_wavelets(survey_file, satellites=["G01", "g1", "G31"], interval=30.0,
                                  bands=[(10.0, 100.0)])
    assert got["bands"] == [[10.0, 100.0]] and got["interval"] == 30.0
    assert list(got["residuals"]) == ["G01"] and len(got["band_power"]["G01"]["power"]) == 1
    default_rows = sk.analyze_snr_wavelets(survey_file, satellites=["G01"], bands=[])
    assert default_rows["bands"] == [] and len(default_rows["band_power"]["G01"]["power"]) == 4
    absent = sk.analyze_snr_wavelets(survey_file, satellites=["E30", "C01"])
    assert absent["residuals"] == {} and absent["band_power"] == {}


def test_long_series_are_decimated(tmp_path):
    n = 45000
    values = [45.0 + math.sin(i / 50.0) for i in range(n)]
    obs = sk.read_rinex_obs(str(write_snr_rinex(tmp_path / "long.rnx", [float(i) for i in range(n)],
                                                {"G09": {"S1C": values}}, 1.0)))
    got = sk.analyze_snr_wavelets(obs, bands=[(2.0, 20.0)])["residuals"]["G09"]
    assert len(got["t"]) == 15000 and got["t"][:3] == [0.0, 3.0, 6.0]


@pytest.mark.parametrize(
    "kwargs, error, message",
    [
        ({"satellites": ["G01", "X99"]}, ValueError, "^Invalid satellite id 'X99'$"),
        ({"satellites": "G01"}, TypeError, "argument 'satellites'"),
        ({"bands": "ab"}, TypeError, "argument 'bands'"),
        ({"bands": [(1.0,)]}, TypeError, "argument 'bands'"),
        ({"interval": "30"}, TypeError, "argument 'interval'"),
    ],
    ids=["bad-id", "str-satellites", "str-bands", "short-band", "str-interval"],
)
def test_argument_errors(survey_file, kwargs, error, message):
    with pytest.raises(error, match=message):
        sk.analyze_snr_wavelets(survey_file, **kwargs)


def test_obs_must_be_observation_data():
    with pytest.raises(TypeError, match="argument 'obs'"):
        sk.analyze_snr_wavelets("file.rnx")


def test_real_file_invariants():
    obs = sk.read_rinex_obs(str(data_file("KMS300DNK_R_20221591000_01H_30S_MO.rnx")))
    got = sk.analyze_snr_wavelets(obs)
    assert got["interval"] == pytest.approx(30.0, abs=1e-4)
    for sat, r in got["residuals"].items():
        assert r["code"].startswith("S") and len(r["t"]) == len(r["v"]) >= 40
        assert r["t"][0] == 0.0 and all(b > a for a, b in zip(r["t"], r["t"][1:]))
    for sat, bp in got["band_power"].items():
        assert sat in got["residuals"] and len(bp["power"]) == 4
        assert all(len(row) == len(bp["t"]) <= 96 for row in bp["power"])
