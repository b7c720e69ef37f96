"""Arc splitting and polynomial detrending, checked against numpy least squares."""
import math

import numpy as np
import pytest
import skyrift_mp as sk
from hypothesis import given, strategies as st


@pytest.mark.parametrize(
    "times, dt, factor, arcs",
    [
        ([], 30.0, 5.0, []),
        ([10.0], 30.0, 5.0, [(0, 1)]),
        ([0, 30, 60, 300, 330], 30.0, 5.0, [(0, 3), (3, 5)]),
        ([0, 30, 60, 210, 240], 30.0, 5.0, [(0, 5)]),
        ([0, 1, 5, 6, 20], 1.0, 2.0, [(0, 2), (2, 4), (4, 5)]),
        ([0, 100, 50, 50, float("nan"), 1000, 2000], 1.0, 5.0, [(0, 1), (1, 6), (6, 7)]),
    ],
    ids=["empty", "single", "gap-240-splits", "gap-150-exactly-does-not", "factor-2",
         "negative-zero-nan-steps-never-split"],
)
def test_split_arcs(times, dt, factor, arcs):
    assert sk.split_arcs(times, dt, factor) == arcs


@given(st.lists(st.floats(-1e6, 1e6), max_size=60), st.floats(0.1, 100))
def test_arcs_cover_every_index_once(times, dt):
    arcs = sk.split_arcs(sorted(times), dt)
    covered = [i for start, stop in arcs for i in range(start, stop)]
    assert covered == list(range(len(times)))
    assert all(start < stop for start, stop in arcs)


def numpy_detrend(t, v, max_order=9):
    """The order search with numpy's SVD-based least squares (same truncation rule)."""
    t, v = np.asarray(t, float), np.asarray(v, float)
    n = len(v)
    if n < 12 or max_order < 2:
        return v - v.mean(), 0
    x = (t - t[0]) / max(t[-1] - t[0], 1.0)
    best = None
    for k in range(2, max_order + 1):
        if 3 * k >= n:
            break
        a = np.vander(x, k + 1, increasing=True)
        c = np.linalg.lstsq(a, v, rcond=n * np.finfo(float).eps)[0]
        r = v - a @ c
        rms = math.sqrt((r * r).sum() / n)
        if best is None or rms < best[2]:
            best = (r, k, rms)
    return best[0], best[1]


RNG = np.random.default_rng(11)


@pytest.mark.parametrize(
    "n, max_order",
    [(12, 9), (13, 9), (28, 9), (200, 9), (200, 4), (3000, 9)],
)
def test_detrend_matches_numpy(n, max_order):
    t = np.sort(RNG.uniform(0, 5000, n))
    v = 40 + 3 * np.sin(t / 700) + 0.5 * (t / 5000) ** 3 + RNG.normal(0, 0.3, n)
    residual, order = sk.detrend_arc(list(t), list(v), max_order)
    want, want_order = numpy_detrend(t, v, max_order)
    assert order == want_order
    np.testing.assert_allclose(residual, want, rtol=0, atol=1e-8)


def test_twelve_values_try_orders_two_and_three_only():
    t = np.arange(12.0)
    residual, order = sk.detrend_arc(list(t), list((t / 11) ** 4 * 100), 9)
    assert order == 3 and max(abs(r) for r in residual) > 1e-3


@pytest.mark.parametrize(
    "n, max_order", [(11, 9), (40, 0), (40, 1)], ids=["eleven-values", "order-0", "order-1"]
)
def test_mean_removal_only(n, max_order):
    v = list(RNG.normal(size=n) + np.arange(n))
    residual, order = sk.detrend_arc(list(range(n)), v, max_order)
    assert order == 0
    assert residual == [x - sum(v) / n for x in v]


def test_exact_cubic_is_removed_to_rounding():
    t = np.arange(50) * 10.0
    residual, order = sk.detrend_arc(list(t), list(2 + 0.1 * t - 1e-4 * t**2 + 3e-7 * t**3))
    assert order >= 3 and max(abs(r) for r in residual) < 1e-9


def test_coincident_times_fit_the_mean_at_order_two():
    v = list(RNG.normal(size=20))
    residual, order = sk.detrend_arc([5.0] * 20, v)
    assert order == 2
    np.testing.assert_allclose(residual, np.array(v) - np.mean(v), atol=1e-12)


def test_empty_and_length_mismatch():
    assert sk.detrend_arc([], []) == ([], 0)
    with pytest.raises(ValueError, match="^t and values must have the same length$"):
        sk.detrend_arc([1.0, 2.0], [1.0])


def test_non_finite_inputs():
    t, v = list(range(30)), list(RNG.normal(size=30))
    residual, order = sk.detrend_arc(t, v[:5] + [math.nan] + v[6:])
    assert order == 2 and all(math.isnan(r) for r in residual)  # a NaN first RMS is never replaced
    for bad in (math.nan, math.inf):
        residual, order = sk.detrend_arc(t[:7] + [bad] + t[8:], v)
        assert len(residual) == 30  # terminates; the non-finite design matrix is never fitted


def test_orders_beyond_the_limit_are_refused_only_when_they_would_be_tried():
    assert sk.detrend_arc(list(range(20)), list(RNG.normal(size=20)), 10**6)[1] <= 6
    with pytest.raises(ValueError, match="max_order too large"):
        sk.detrend_arc(list(range(1000)), list(RNG.normal(size=1000)), 100)


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda: sk.detrend_arc([1.0], [1.0], -1), OverflowError),
        (lambda: sk.detrend_arc([1.0], [1.0], 2.5), TypeError),
        (lambda: sk.detrend_arc("ab", [1.0, 2.0]), TypeError),
        (lambda: sk.split_arcs("12", 1.0), TypeError),
    ],
    ids=["negative-order", "float-order", "str-times", "str-split"],
)
def test_argument_errors(call, error):
    with pytest.raises(error):
        call()
