"""Random record sets against a plain model of the replacement rules.

RINEX 3: a later line for a satellite replaces the earlier one whole; within a line
the last parsed value of a repeated code wins. RINEX 2: the same, except that a
satellite without any value does not enter the epoch (nor replace an earlier line).
Both: a value of zero is a missing value.
"""
from hypothesis import given, settings
from hypothesis import strategies as st

import skyrift_mp as sk
from rinex_text import obs_field, text, v2_epoch, v2_header, v2_obs, v3_epoch, v3_header, v3_sat

V3_TYPES = {"G": ["S1C", "C1C", "S1C", "S2W"], "R": ["S1C", "S2P"]}
V2_TYPES = ["S1", "C1", "S2", "s1"]  # "s1" is S1C again
SATS = ["G01", "G02", "G10", "R03"]

values = st.one_of(st.none(), st.just(0.0), st.integers(1, 99999).map(lambda v: v / 1000))


def line_values(n):
    return st.lists(values, min_size=n, max_size=n)


v3_epochs = st.lists(st.lists(st.sampled_from(SATS).flatmap(
    lambda sat: st.tuples(st.just(sat), line_values(len(V3_TYPES[sat[0]])))), max_size=6), min_size=1, max_size=5)
v2_epochs = st.lists(st.lists(st.sampled_from(SATS).flatmap(
    lambda sat: st.tuples(st.just(sat), line_values(len(V2_TYPES)))), max_size=6), min_size=1, max_size=5)


def model(epochs, codes_of, keep_empty):
    """[{sat: {code: value}}] per epoch."""
    result = []
    for lines in epochs:
        epoch = {}
        for sat, vals in lines:
            codes = {}
            for code, value in zip(codes_of(sat), vals):
                if value is not None and value != 0.0:
                    codes[code] = value
            if codes or keep_empty:
                epoch[sat] = codes
        result.append(epoch)
    return result


def check(obs, expected):
    assert obs.num_epochs == len(expected)
    sats = sorted({s for e in expected for s in e}, key=lambda s: (s[0], int(s[1:])))
    assert [s.id for s in obs.satellites()] == sats
    for sat in sats:
        series = {}
        for i, e in enumerate(expected):
            for code, value in sorted(e.get(sat, {}).items()):
                if code[0] == "S" and value > 0:
                    series.setdefault(code, []).append((1577836800.0 + 30 * i, value))
        got = {s.code: list(zip(s.times, s.values)) for s in obs.get_snr_series(sat)}
        assert got == series
        assert obs.snr_codes(sat) == sorted({c for e in expected for c in e.get(sat, {}) if c[0] == "S"})
    for letter in "GR":
        assert obs.observation_types(letter) == sorted({c for e in expected for s, codes in e.items() if s[0] == letter
                                                        for c in codes})


@settings(max_examples=150, deadline=None)
@given(v3_epochs)
def test_rinex3_replacement_rules(epochs):
    lines = v3_header(types=V3_TYPES)
    for i, sats in enumerate(epochs):
        lines.append(v3_epoch(second=float(30 * i % 60), minute=30 * i // 60, n=len(sats)))
        lines += [v3_sat(sat, *(obs_field(v) for v in vals)) for sat, vals in sats]
    obs = sk.read_rinex_obs_bytes(text(lines), "p.rnx")
    check(obs, model(epochs, lambda sat: V3_TYPES[sat[0]], keep_empty=True))


@settings(max_examples=150, deadline=None)
@given(v2_epochs)
def test_rinex2_replacement_rules(epochs):
    lines = v2_header(types=tuple(V2_TYPES), system="M")
    for i, sats in enumerate(epochs):
        lines += v2_epoch([s for s, _ in sats], second=float(30 * i % 60), minute=30 * i // 60)
        for _, vals in sats:
            lines += v2_obs(*(obs_field(v) for v in vals))
    obs = sk.read_rinex_obs_bytes(text(lines), "p.rnx")
    codes = [t.upper() + ("C" if t[0] in "sS" or t == "C1" else "") for t in V2_TYPES]
    check(obs, model(epochs, lambda sat: codes, keep_empty=False))
