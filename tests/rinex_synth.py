"""Plausible observations for the multipath tests (written with rinex_text.write_rinex3),
and an independent numpy reckoning of the code-multipath values they should give."""
from datetime import timedelta

import numpy as np
from rinex_text import BASE

C = 299792458.0
_FREQ = {
    ("G", 1): 1575.42e6, ("G", 2): 1227.60e6, ("G", 5): 1176.45e6,
    ("E", 1): 1575.42e6, ("E", 5): 1176.45e6, ("E", 7): 1207.14e6, ("E", 8): 1191.795e6,
    ("C", 2): 1561.098e6, ("C", 6): 1268.52e6, ("C", 7): 1207.14e6,
}


def frequency(system, band, channel=0):
    if system == "R":
        return {1: 1602.0e6 + channel * 562500.0, 2: 1246.0e6 + channel * 437500.0}[band]
    return _FREQ[(system, band)]


def written(value):
    """The value as the file holds it (F14.3); a (value, lli) pair gives its value."""
    if isinstance(value, tuple):
        value = value[0]
    return float(f"{value:14.3f}")


def iso(seconds):
    t = BASE + timedelta(seconds=seconds)
    return t.strftime("%Y-%m-%dT%H:%M:%S.") + f"{t.microsecond // 1000:03d}Z"


def observations(times, system, codes, channel=0, seed=1, code_noise=0.5, first_band=None):
    """Plausible observations of one satellite at `times` (seconds): {time: {code: value}}.
    Pseudoranges carry white noise (the multipath), phases an ambiguity per signal."""
    rng = np.random.default_rng(seed)
    bands = sorted({int(c[1]) for c in codes if c[0] in "CL"})
    f_ref = frequency(system, first_band or bands[0], channel)
    out = {}
    for t in times:
        rho = 2.2e7 + 450.0 * t
        iono = 3.0 + 1e-4 * t
        obs = {}
        for code in codes:
            band = int(code[1])
            if code[0] == "S":
                obs[code] = 40.0 + band + (t % 7)
                continue
            f = frequency(system, band, channel)
            delay = iono * (f_ref / f) ** 2
            if code[0] == "C":
                obs[code] = rho + delay + rng.normal(0.0, code_noise)
            else:
                obs[code] = (rho - delay) / (C / f) + 1000.0 * band + ord(code[2])
        out[t] = obs
    return out


def raw_mp(p, l1, l2, f1, f2):
    """MP = P - (1 + b) lambda1 L1 + b lambda2 L2, b = 2 / (alpha - 1), from written values."""
    alpha = (f1 * f1) / (f2 * f2)
    b = 2.0 / (alpha - 1.0)
    return p - (1.0 + b) * (C / f1) * l1 + b * (C / f2) * l2


def split_arcs(times, values, gap, slips=(), jump=10.0, min_points=10, min_seconds=300.0):
    """Index ranges [begin, end) of the kept arcs, cut the plain way."""
    arcs, start = [], 0
    for i in range(1, len(times) + 1):
        if i < len(times) and not (times[i] - times[i - 1] > gap or times[i] in slips
                                   or abs(values[i] - values[i - 1]) > jump):
            continue
        if i - start >= min_points and times[i - 1] - times[start] >= min_seconds:
            arcs.append((start, i))
        start = i
    return arcs


def expected_series(track, code, partner, system, gap, window=None, channel=0, slips=(), phase=None,
                    **arc_rules):
    """(ISO epoch, mp value) of one satellite's signal, computed independently; the
    code's own phase is that of its band and attribute unless `phase` names another."""
    phase = phase or "L" + code[1:]
    times = [t for t in sorted(track) if all(k in track[t] for k in (code, phase, partner))]
    f1, f2 = frequency(system, int(code[1]), channel), frequency(system, int(partner[1]), channel)
    raw = [raw_mp(written(track[t][code]), written(track[t][phase]), written(track[t][partner]), f1, f2)
           for t in times]
    out = []
    for begin, end in split_arcs(times, raw, gap, set(slips), **arc_rules):
        for t, v in zip(times[begin:end], remove_bias(times[begin:end], raw[begin:end], window)):
            out.append((iso(t), v))
    return out


def remove_bias(times, values, window=None):
    """Residuals from the arc mean, or (window set and shorter than the arc) from the
    centred moving mean over |t - t_j| <= window / 2, summed directly per point."""
    t = np.asarray(times, dtype=float)
    x = np.asarray(values, dtype=float)
    if window and window > 0 and t[-1] - t[0] > window:
        return np.array([x[j] - x[np.abs(t - t[j]) <= window / 2].mean() for j in range(len(x))])
    return x - x.mean()


def epochs_of(tracks):
    """{sat: {time: obs}} -> the epoch list of write_rinex3, in time order."""
    times = sorted({t for track in tracks.values() for t in track})
    return [(t, {sat: track[t] for sat, track in tracks.items() if t in track}) for t in times]
