"""Checks shared by the tests of the analyzer with an orbit: estimate rows that compare
whole, and the statistics recomputed in numpy from the estimates the analyzer kept."""
import numpy as np

def rows(estimates):
    return [(e.satellite, e.epoch, e.signal, e.mp_value, e.elevation, e.azimuth, e.snr) for e in estimates]


def check_statistics(results, slip_breaks):
    """Every signal's statistics equal those of its kept estimates and their elevations;
    `slip_breaks` are the per-signal slip counts, which no cutoff changes."""
    c = results.to_numpy()
    el = c["elevation"]
    weights = np.where(el >= 30, 1.0, 1 / (4 * np.sin(np.radians(np.where(el > 0, el, 90.0))) ** 2) * (el > 0))
    assert sorted(s.signal for s in results.statistics) == sorted(set(c["signal"].tolist()))
    for st in results.statistics:
        sel = c["signal"] == st.signal
        x, w = c["mp"][sel], weights[sel]
        assert (st.count, st.cycle_slips) == (len(x), slip_breaks[st.signal])
        np.testing.assert_allclose([st.rms, st.mean, st.std_dev, st.min, st.max, st.weighted_rms],
                                   [np.sqrt(np.mean(x * x)), x.mean(), x.std(), x.min(), x.max(),
                                    np.sqrt(np.sum(w * x * x) / np.sum(w))], rtol=1e-12, atol=1e-15)
