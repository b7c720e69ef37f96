"""Morlet transform, red-noise significance, band power, period bands and scalograms,
checked against an independent numpy computation of the Torrence & Compo formulas;
signatures and docstrings of all the SNR functions."""
import inspect
import math

import numpy as np
import pytest
import skyrift_mp as sk

FOURIER_FACTOR = 4 * math.pi / (6 + math.sqrt(2 + 36))


def reference_cwt(y, dt, dj=0.125, s0=None):
    """Wavelet power from numpy's FFT of the zero-padded, mean-removed series."""
    y = np.asarray(y, dtype=float)
    n = len(y)
    s0 = 2 * dt if s0 is None else s0
    J = max(int(math.log2(n * dt / s0) / dj) if n else 1, 1)
    scales = s0 * 2.0 ** (np.arange(J + 1) * dj)
    N = 1 << max(n - 1, 0).bit_length()
    padded = np.zeros(N)
    padded[:n] = y - (y.mean() if n else 0.0)
    y_hat = np.fft.fft(padded)
    omega = 2 * np.pi * np.fft.fftfreq(N, dt)
    if N % 2 == 0 and N > 1:
        omega[N // 2] = -abs(omega[N // 2])
    power = []
    for s in scales:
        norm = math.sqrt(s * 2 * math.pi / dt) * math.pi ** -0.25
        filt = np.where(omega > 0, np.exp(-0.5 * (s * omega - 6) ** 2) * norm, 0.0)
        power.append(np.abs(np.fft.ifft(y_hat * filt)[:n]) ** 2)
    idx = np.arange(n)
    coi = np.minimum(idx, n - 1 - idx) * dt * FOURIER_FACTOR / math.sqrt(2)
    return np.array(power).reshape(len(scales), n), scales, scales * FOURIER_FACTOR, coi


def assert_power_close(got, want):
    got = np.asarray(got)
    assert got.shape == want.shape
    scale = max(float(np.abs(want).max(initial=0.0)), 1e-300)
    np.testing.assert_allclose(got, want, rtol=1e-9, atol=1e-11 * scale)


RNG = np.random.default_rng(7)


@pytest.mark.parametrize(
    "y, dt, dj, s0",
    [
        (RNG.normal(size=1000), 1.0, 0.125, None),
        (RNG.normal(size=1023), 30.0, 0.25, None),
        (RNG.normal(size=1025) + 5, 0.5, 0.125, 3.0),
        (np.sin(np.arange(300) * 0.3) * 4, 2.0, 0.5, 1.0),
        (RNG.normal(size=5), 1.0, 0.125, None),
        ([3.0], 1.0, 0.125, None),
    ],
    ids=["1000-white", "1023-padded", "1025-offset-s0", "300-sine-coarse", "5-samples", "one-sample"],
)
def test_transform_matches_numpy(y, dt, dj, s0):
    got = sk.morlet_cwt(list(y), dt, dj=dj, s0=s0)
    power, scales, periods, coi = reference_cwt(y, dt, dj, s0)
    assert list(got) == ["power", "scales", "periods", "coi"]
    np.testing.assert_allclose(got["scales"], scales, rtol=1e-15)
    np.testing.assert_allclose(got["periods"], periods, rtol=1e-15)
    np.testing.assert_allclose(got["coi"], coi, rtol=1e-15)
    assert_power_close(got["power"], power)


@pytest.mark.parametrize("period", [10.0, 37.0, 120.0])
def test_sine_power_peaks_at_its_period(period):
    t = np.arange(2000)
    got = sk.morlet_cwt(list(np.sin(2 * np.pi * t / period)), 1.0)
    mean_power = np.asarray(got["power"])[:, 500:1500].mean(axis=1)
    peak = got["periods"][int(mean_power.argmax())]
    assert abs(math.log2(peak / period)) <= 0.125


def test_empty_and_constant_series():
    empty = sk.morlet_cwt([], 1.0)
    assert empty == {"power": [[], []], "scales": [2.0, 2.0 * 2 ** 0.125],
                     "periods": [2.0 * FOURIER_FACTOR, 2.0 * 2 ** 0.125 * FOURIER_FACTOR], "coi": []}
    constant = sk.morlet_cwt([5.0] * 64, 1.0)
    assert all(v == 0.0 for row in constant["power"] for v in row)


def test_cone_of_influence_by_hand():
    c = 1.0330436477492537 / 1.4142135623730951
    assert sk.morlet_cwt([1.0, 2.0, 0.0, 4.0, 1.0], 1.0)["coi"] == [0.0, c, 2 * c, c, 0.0]


@pytest.mark.parametrize(
    "kwargs",
    [{"s0": 0.0}, {"dj": 0.0}, {"dj": 1e-300}, {"s0": 1e-300, "dj": 1e-6}],
    ids=["s0-zero", "dj-zero", "dj-tiny", "scales-times-samples"],
)
def test_absurd_scale_counts_are_refused(kwargs):
    with pytest.raises(ValueError, match="too many wavelet scales"):
        sk.morlet_cwt([1.0, 2.0, 3.0] * 100, 1.0, **kwargs)


def red_noise_by_hand(y, dt, periods, chi2):
    y = np.asarray(y, dtype=float)
    var = y.var()
    a, b = y[:-1] - y[:-1].mean(), y[1:] - y[1:].mean()
    alpha = min(max((a * b).sum() / math.sqrt((b * b).sum() * (a * a).sum()), 0.0), 0.99)
    return [(1 - alpha**2) / (1 + alpha**2 - 2 * alpha * math.cos(2 * math.pi * dt / p)) * var * chi2 / 2
            for p in periods]


class TestRedNoiseSignificance:
    y = [1.0, 2.0, 4.0, 5.0, 4.5, 3.0, 2.5, 1.0, 0.0, 1.5]
    periods = [2.0, 5.0, 50.0]

    @pytest.mark.parametrize("confidence, chi2", [(0.95, 5.991), (0.9, 4.605)])
    def test_levels_by_hand(self, confidence, chi2):
        got = sk.red_noise_significance(self.y, 30.0, self.periods, confidence)
        assert got == pytest.approx(red_noise_by_hand(self.y, 30.0, self.periods, chi2), rel=1e-13)

    @pytest.mark.parametrize("confidence", [0.5, 0.9000001, 0.99, 0.999])
    def test_other_levels_use_the_exact_chi2_quantile(self, confidence):
        chi2 = pytest.importorskip("scipy.stats").chi2.ppf(confidence, 2)
        got = sk.red_noise_significance(self.y, 30.0, self.periods, confidence)
        assert got == pytest.approx(red_noise_by_hand(self.y, 30.0, self.periods, chi2), rel=1e-12)

    @pytest.mark.parametrize("confidence", [0.0, 1.0, -0.5, 1.5, float("nan"), float("inf")])
    def test_confidence_outside_the_open_unit_interval_is_refused(self, confidence):
        with pytest.raises(ValueError, match="^confidence must lie strictly between 0 and 1, got "):
            sk.red_noise_significance(self.y, 30.0, self.periods, confidence)
        with pytest.raises(ValueError, match="strictly between 0 and 1"):
            sk.red_noise_significance([], 30.0, [], confidence)  # checked before the series

    @pytest.mark.parametrize("y", [[], [1.0, 2.0], [3.0] * 10], ids=["empty", "two", "constant"])
    def test_degenerate_series_are_never_significant(self, y):
        assert sk.red_noise_significance(y, 1.0, [2.0, 10.0]) == [math.inf, math.inf]
        assert sk.red_noise_significance(y, 1.0, []) == []

    def test_negative_correlation_counts_as_white(self):
        y = [1.0, -1.0] * 10
        assert sk.red_noise_significance(y, 1.0, [3.0, 30.0]) == pytest.approx([2.9955, 2.9955])


def reference_band_power(y, dt, bands, dj=0.125):
    power, scales, periods, _ = reference_cwt(y, dt, dj)
    rows = []
    for lo, hi in bands:
        row = np.zeros(len(y))
        for j in range(len(scales)):
            if lo <= periods[j] < hi:
                row += power[j] / scales[j]
        rows.append(row * dj * dt / 0.776)
    return rows


def test_band_power_matches_numpy_and_finds_the_band():
    t = np.arange(1500) * 2.0
    y = np.sin(2 * np.pi * t / 100.0) + 0.1 * RNG.normal(size=t.size)
    bands = [(20.0, 60.0), (60.0, 160.0), (400.0, 300.0), (1e6, 2e6)]
    got = sk.band_power(list(y), 2.0, bands)
    want = reference_band_power(y, 2.0, bands)
    for g, w in zip(got, want):
        assert_power_close([g], np.array([w]))
    middle = slice(300, 1200)
    assert np.mean(got[1][middle]) > 20 * np.mean(got[0][middle])
    assert got[2] == [0.0] * 1500 and got[3] == [0.0] * 1500


def test_band_power_empty_inputs():
    assert sk.band_power([1.0, 2.0], 1.0, []) == []
    assert sk.band_power([], 1.0, [(2, 20), (20, 40)]) == [[], []]


@pytest.mark.parametrize(
    "dt, table",
    [(2.0, 0), (0.1, 0), (2.0000001, 1), (15.0, 1), (15.5, 2), (30.0, 2), (float("nan"), 2)],
)
def test_period_bands(dt, table):
    tables = [
        [(2.0, 20.0), (20.0, 40.0), (40.0, 80.0), (80.0, 120.0)],
        [(30.0, 60.0), (60.0, 120.0), (120.0, 300.0), (300.0, 600.0)],
        [(60.0, 120.0), (120.0, 300.0), (300.0, 900.0), (900.0, 1800.0)],
    ]
    assert sk.period_bands(dt) == tables[table]


class TestScalogram:
    @staticmethod
    def series(n, start=0.0, dt=30.0):
        t = start + dt * np.arange(n)
        return list(t), list(np.sin(t / 300.0) * 3 + 40)

    def test_matches_transform_and_significance_of_the_arc(self):
        t, v = self.series(100)
        got = sk.scalogram(t, v, 30.0)
        assert list(got) == ["t", "periods", "power", "significance", "coi", "interval"]
        cwt = sk.morlet_cwt(v, 30.0)
        assert got["t"] == t and got["interval"] == 30.0
        assert got["power"] == cwt["power"] and got["coi"] == cwt["coi"]
        assert got["significance"] == sk.red_noise_significance(v, 30.0, cwt["periods"], 0.95)

    @pytest.mark.parametrize("n", [0, 39], ids=["empty", "39-samples"])
    def test_too_short(self, n):
        t, v = self.series(n)
        with pytest.raises(ValueError, match=r"^series too short for a scalogram \(< 40 samples\)$"):
            sk.scalogram(t, v, 30.0)

    def test_forty_samples_suffice(self):
        assert len(sk.scalogram(*self.series(40), 30.0)["t"]) == 40

    def test_length_mismatch(self):
        with pytest.raises(ValueError, match="^t and values must have the same length$"):
            sk.scalogram([0.0, 1.0], [1.0], 1.0)

    def test_first_of_two_equal_arcs_and_median_interval(self):
        t1, v1 = self.series(50, dt=10.0)
        t2, v2 = self.series(50, start=10_000.0, dt=10.0)
        got = sk.scalogram(t1 + t2, v1 + v2, 30.0)  # the nominal interval only finds the gaps
        assert got["t"] == t1 and got["interval"] == 10.0

    @pytest.mark.parametrize("n, columns, kept", [(1000, 600, 1000), (1300, 600, 650), (100, 0, 1), (100, 1, 1)])
    def test_column_thinning(self, n, columns, kept):
        t, v = self.series(n)
        got = sk.scalogram(t, v, 30.0, max_columns=columns)
        step = max(n // max(columns, 1), 1)
        assert got["t"] == t[::step][:kept] and len(got["coi"]) == kept
        assert all(len(row) == kept for row in got["power"])


SIGNATURES = [
    ("morlet_cwt", "(y, dt, dj=0.125, s0=None, as_numpy=False)",
     "Morlet continuous wavelet transform (Torrence & Compo 1998).\n"
     'Returns {"power", "scales", "periods", "coi"}; `power` has one row per scale.'),
    ("band_power", "(y, dt, bands, dj=0.125, as_numpy=False)",
     "Scale-averaged wavelet power of `y` for each `(lo, hi)` period band (s)."),
    ("red_noise_significance", "(y, dt, periods, confidence=0.95, as_numpy=False)",
     "Red-noise significance level per period (T&C eq. 16-18)."),
    ("period_bands", "(dt)", "Interval-adaptive period bands (s) for SNR band power."),
    ("detrend_arc", "(t, values, max_order=9, as_numpy=False)",
     "Remove the best polynomial trend (order 2..max_order). Returns (residual, order)."),
    ("split_arcs", "(times, dt, gap_factor=5.0, as_numpy=False)",
     "Split increasing times into contiguous arcs at gaps > gap_factor\u00b7dt.\nReturns (start, stop) index pairs."),
    ("fresnel_zone", "(elevation, antenna_height, wavelength=None)",
     "First Fresnel zone (a, b, distance) in metres for a horizontal reflector\n"
     "`antenna_height` below the antenna. Wavelength defaults to GPS L1."),
    ("fresnel_map", "(tracks, antenna_height, min_elevation=5.0, wavelength=None)",
     "Fresnel footprints along satellite tracks, one per 10\u00b0\u00d710\u00b0 az/el cell.\n"
     "`tracks` is a list of (satellite, azimuths, elevations) in degrees.\n"
     "Returns dicts with keys sat, az, el, a, b, dist."),
    ("scalogram", "(t, values, interval, max_columns=600, as_numpy=False)",
     'Wavelet scalogram of the longest arc: {"t", "periods", "power",\n'
     '"significance", "coi", "interval"}. Needs at least 40 samples.'),
    ("analyze_snr_wavelets", "(obs, satellites=None, interval=None, bands=None, as_numpy=False)",
     "\u03b4SNR residuals and band power per satellite, computed in parallel.\n"
     'Returns {"bands", "interval", "residuals": {sat: {code, t0, t, v, orders}},\n'
     '"band_power": {sat: {t, power}}}.'),
]


@pytest.mark.parametrize("name, signature, doc", SIGNATURES, ids=[s[0] for s in SIGNATURES])
def test_signatures_and_docstrings(name, signature, doc):
    fn = getattr(sk, name)
    assert str(inspect.signature(fn)) == signature
    assert fn.__doc__ == doc


def test_functions_follow_version_in_registration_order():
    # Additions are registered after the constants; test_module.py checks the whole order.
    names = [n for n in vars(sk) if callable(getattr(sk, n)) and not isinstance(getattr(sk, n), type)]
    first = names.index("version") + 1
    assert names[first:first + len(SIGNATURES)] == [s[0] for s in SIGNATURES]


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: sk.morlet_cwt("123", 1.0), TypeError, "argument 'y'"),
        (lambda: sk.morlet_cwt([1.0, "x"], 1.0), TypeError, "argument 'y'"),
        (lambda: sk.morlet_cwt([1.0], 1.0, dj=None), TypeError, "argument 'dj'"),
        (lambda: sk.band_power([1.0], 1.0, [(1.0, 2.0, 3.0)]), TypeError, "argument 'bands'"),
        (lambda: sk.band_power([1.0], 1.0, "ab"), TypeError, "argument 'bands'"),
        (lambda: sk.scalogram([1.0], [1.0], 1.0, max_columns=-1), OverflowError,
         "out of range integral type conversion attempted"),
        (lambda: sk.red_noise_significance([1.0], 1.0, periods=None), TypeError, "argument 'periods'"),
    ],
    ids=["str-series", "str-item", "none-dj", "band-triple", "str-bands", "negative-columns", "none-periods"],
)
def test_argument_errors(call, error, message):
    with pytest.raises(error, match=message):
        call()
