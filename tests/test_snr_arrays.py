"""numpy arrays into and out of the SNR functions: any one-dimensional numeric array is
read as the list of its float values would be, and as_numpy=True returns the values of
the list results as arrays."""
import array

import numpy as np
import pytest

import skyrift_mp as sk
from rinex_text import write_snr_rinex

RNG = np.random.default_rng(11)
N = 300
T = np.arange(N) * 30.0
Y = np.sin(2 * np.pi * T / 900.0) + 0.3 * RNG.normal(size=N)


def strided(a):
    """The same values as a view with a stride of two elements."""
    wide = np.zeros(2 * a.size, dtype=a.dtype)
    wide[::2] = a
    return wide[::2]


# name -> (array form of a float64 series, the list of floats it stands for)
INPUTS = {
    "float64": lambda a: (a, a.tolist()),
    "float32": lambda a: (a.astype(np.float32), [float(v) for v in a.astype(np.float32)]),
    "int64": lambda a: (np.round(a * 100).astype(np.int64), [float(v) for v in np.round(a * 100)]),
    "uint8": lambda a: (np.arange(a.size, dtype=np.uint8), [float(v) for v in np.arange(a.size) % 256]),
    "bool": lambda a: (a > 0, [float(v) for v in a > 0]),
    "strided": lambda a: (strided(a), a.tolist()),
    "big-endian": lambda a: (a.astype(">f8"), a.tolist()),
    "array.array": lambda a: (array.array("d", a), a.tolist()),
    "memoryview": lambda a: (memoryview(a), a.tolist()),
}

CALLS = {
    "morlet_cwt": lambda y, t: sk.morlet_cwt(y, 30.0),
    "band_power": lambda y, t: sk.band_power(y, 30.0, sk.period_bands(30.0)),
    "red_noise_significance": lambda y, t: sk.red_noise_significance(y, 30.0, t[1:20]),
    "detrend_arc": lambda y, t: sk.detrend_arc(t, y),
    "split_arcs": lambda y, t: sk.split_arcs(t, 30.0),
    "scalogram": lambda y, t: sk.scalogram(t, y, 30.0),
}


@pytest.mark.parametrize("form", INPUTS)
@pytest.mark.parametrize("fn", CALLS)
def test_array_arguments_give_the_list_results(fn, form):
    y_array, y_list = INPUTS[form](Y)
    # Integer and boolean forms stand in for values only; times stay float.
    t_array, t_list = INPUTS[form](T) if form not in ("int64", "uint8", "bool") else (T, T.tolist())
    assert CALLS[fn](y_array, t_array) == CALLS[fn](y_list, t_list)


@pytest.mark.parametrize("value, message", [
    (np.zeros((3, 4)), "argument 'y'"),
    (np.array(["1.0", "2.0"]), "argument 'y'"),
    (np.float64(1.0), "argument 'y'"),
], ids=["two-dimensional", "str-array", "scalar"])
def test_arrays_that_are_no_series_of_floats_are_refused(value, message):
    with pytest.raises(TypeError, match=message):
        sk.morlet_cwt(value, 1.0)


def as_lists(value):
    """A result with its arrays and tuples turned into plain lists, for comparing the
    array form with the list form."""
    if isinstance(value, np.ndarray):
        return [as_lists(v) for v in value] if value.ndim > 1 else value.tolist()
    if isinstance(value, dict):
        return {k: as_lists(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [as_lists(v) for v in value]
    return value


def holds_arrays(value):
    if isinstance(value, np.ndarray):
        return True
    if isinstance(value, dict):
        value = list(value.values())
    return isinstance(value, (list, tuple)) and any(holds_arrays(v) for v in value)


NUMPY_CALLS = {
    "morlet_cwt": lambda **kw: sk.morlet_cwt(Y, 30.0, **kw),
    "morlet_cwt-long": lambda **kw: sk.morlet_cwt(RNG.normal(size=3000), 1.0, dj=0.5, **kw),
    "band_power": lambda **kw: sk.band_power(Y, 30.0, sk.period_bands(30.0), **kw),
    "red_noise_significance": lambda **kw: sk.red_noise_significance(Y, 30.0, [60.0, 600.0], **kw),
    "detrend_arc": lambda **kw: sk.detrend_arc(T, Y, **kw),
    "split_arcs": lambda **kw: sk.split_arcs(np.r_[T, T[-1] + 1000.0], 30.0, **kw),
    "scalogram": lambda **kw: sk.scalogram(T, Y, 30.0, max_columns=100, **kw),
}


@pytest.mark.parametrize("fn", NUMPY_CALLS)
def test_as_numpy_holds_the_list_values(fn):
    state = RNG.bit_generator.state
    arrays = NUMPY_CALLS[fn](as_numpy=True)
    RNG.bit_generator.state = state  # the same random series for both calls
    lists = NUMPY_CALLS[fn]()
    assert as_lists(arrays) == as_lists(lists)
    assert not holds_arrays(lists) and holds_arrays(arrays)


def test_array_shapes_and_types():
    cwt = sk.morlet_cwt(Y, 30.0, as_numpy=True)
    assert cwt["power"].shape == (cwt["scales"].size, N) and cwt["power"].dtype == np.float64
    assert cwt["coi"].shape == (N,) and cwt["periods"].shape == cwt["scales"].shape
    assert sk.band_power(Y, 30.0, [], as_numpy=True).shape == (0, N)
    assert sk.band_power([], 30.0, [(60.0, 120.0)], as_numpy=True).shape == (1, 0)
    arcs = sk.split_arcs([], 30.0, as_numpy=True)
    assert arcs.shape == (0, 2) and arcs.dtype == np.int64
    residual, order = sk.detrend_arc(T, Y, as_numpy=True)
    assert isinstance(residual, np.ndarray) and isinstance(order, int)
    with pytest.raises(TypeError, match="argument 'as_numpy'"):
        sk.morlet_cwt(Y, 30.0, as_numpy="yes")


def test_survey_as_numpy_holds_the_list_values(tmp_path):
    t = np.arange(400) * 30.0
    series = {"G05": {"S1C": (45 + 3 * np.sin(2 * np.pi * t / 1200)).round(2).tolist()},
              "E11": {"S1X": [None] * 100 + (40 + np.cos(t[100:] / 500)).round(2).tolist()}}
    obs = sk.read_rinex_obs(str(write_snr_rinex(tmp_path / "snr.rnx", t.tolist(), series)))
    arrays = sk.analyze_snr_wavelets(obs, as_numpy=True)
    lists = sk.analyze_snr_wavelets(obs)
    assert sorted(arrays["residuals"]) == ["E11", "G05"] and arrays["band_power"]
    assert as_lists(arrays) == as_lists(lists) and not holds_arrays(lists)
    res = arrays["residuals"]["G05"]
    assert res["t"].dtype == np.float64 and res["orders"].dtype == np.int64
    bp = arrays["band_power"]["G05"]
    assert bp["power"].shape == (len(arrays["bands"]), bp["t"].size)
