"""Broadcast positions: Keplerian propagation and GLONASS integration against
independent numpy models, time scales, the ephemeris selection rule at its edges,
and the orbit argument of compute_elevation and compute_elevations."""

from dataclasses import replace

import numpy as np
import pytest
import skyrift_mp as sk
from nav_text import (
    BDS_MU,
    BDS_RATE,
    BEIDOU_GEO,
    BEIDOU_MEO,
    CIVIL,
    GAL_MU,
    GAL_RATE,
    GALILEO,
    TOC,
    Kepler,
    State,
    frame,
    glonass_rk4,
    header,
    kepler_values,
    kepler_xyz,
    record_v3,
    state_values,
    text,
    xyz,
)

TK = [-7200.0, -3599.5, -30.0, 0.0, 0.25, 1234.5, 7200.0]


def read(tmp_path, lines, name="brdc.rnx"):
    path = tmp_path / name
    path.write_text(text(lines))
    return sk.read_rinex_nav(str(path))


def at(seconds_after_toc, base=TOC):
    """The epoch `seconds_after_toc` after a calendar time, as fields that carry over."""
    y, mo, d, h, mi, s = base
    whole, frac = divmod(seconds_after_toc + h * 3600 + mi * 60 + s, 1.0)
    day, rest = divmod(int(whole), 86400)
    return sk.Epoch(y, mo, d + day, rest // 3600, rest // 60 % 60, rest % 60 + frac)


# ---------------------------------------------------------------- Keplerian orbits

KEPLER_CASES = [
    pytest.param("G07", "LNAV", Kepler(), {}, 0.0, id="gps"),
    pytest.param("J02", "LNAV", replace(Kepler(), e=0.075, sqrt_a=6493.4), {}, 0.0, id="qzss-eccentric"),
    pytest.param("G07", "CNAV", CIVIL, {}, 0.0, id="gps-civil-message"),
    pytest.param("E11", "INAV", GALILEO, dict(mu=GAL_MU, rate=GAL_RATE), 0.0, id="galileo"),
    pytest.param("C25", "D1", BEIDOU_MEO, dict(mu=BDS_MU, rate=BDS_RATE), 14.0, id="beidou-meo"),
    pytest.param("C05", "D2", BEIDOU_GEO, dict(mu=BDS_MU, rate=BDS_RATE, geo=True), 14.0, id="beidou-geo"),
    pytest.param("C60", "D2", BEIDOU_GEO, dict(mu=BDS_MU, rate=BDS_RATE, geo=True), 14.0, id="beidou3-geo"),
]


@pytest.mark.parametrize("sat, message, elements, model, gps_ahead", KEPLER_CASES)
def test_keplerian_positions_match_numpy(tmp_path, sat, message, elements, model, gps_ahead):
    """The record's epoch is in the system's own time; queries are GPS time, which is
    14 s ahead of BeiDou time."""
    civil = message == "CNAV"
    nav = read(tmp_path, header("4.00") + [frame(sat, message)] + record_v3(sat, TOC, kepler_values(elements, civil=civil)))
    ours = np.array([xyz(nav.get_position(sat, at(tk + gps_ahead))) for tk in TK])
    expected = kepler_xyz(elements, TK, **model)
    assert np.max(np.linalg.norm(ours - expected, axis=1)) < 1e-3



@pytest.mark.parametrize("sat, geo", [("C01", True), ("C63", True), ("C17", False), ("C18", False), ("C38", False)],
                         ids=["bds2-geo", "last-geo-prn", "geo-on-test-prn-17", "geo-on-test-prn-18", "igso"])
def test_beidou_geo_form_only_on_the_icd_geo_prns(tmp_path, sat, geo):
    """A RINEX 3 record names no message: PRNs 1-5 and 59-63 carry the GEO form (tilted
    frame), every other PRN the ordinary one, even for a GEO satellite on a test PRN."""
    nav = read(tmp_path, header("3.04") + record_v3(sat, TOC, kepler_values(BEIDOU_GEO)))
    ours = np.array([xyz(nav.get_position(sat, at(tk + 14.0))) for tk in TK])
    expected = kepler_xyz(BEIDOU_GEO, TK, mu=BDS_MU, rate=BDS_RATE, geo=geo)
    assert np.max(np.linalg.norm(ours - expected, axis=1)) < 1e-3


# ---------------------------------------------------------------- GLONASS and SBAS

GLONASS_TOC = (2020, 6, 25, 4, 15, 0)


@pytest.mark.parametrize("dt", [-1800.0, -905.25, -30.0, 0.0, 29.0, 60.0, 871.5, 1800.0])
def test_glonass_integration_matches_numpy_rk4(tmp_path, dt):
    nav = read(tmp_path, header(leap=18) + record_v3("R05", GLONASS_TOC, state_values(State())))
    ours = xyz(nav.get_position("R05", at(18.0 + dt, GLONASS_TOC)))
    assert np.linalg.norm(ours - glonass_rk4(State(), dt)) < 1e-6
    # The 30 s steps are fine enough: a 1 s integration agrees to a millimetre.
    assert np.linalg.norm(ours - glonass_rk4(State(), dt, step=1.0)) < 1e-3


def test_glonass_epochs_are_utc_placed_with_the_header_leap_seconds(tmp_path):
    record = record_v3("R05", GLONASS_TOC, state_values(State()))
    start = np.array(State().position) * 1000
    with_17 = read(tmp_path, header(leap=17) + record, "a.rnx")
    assert np.array_equal(xyz(with_17.get_position("R05", at(17.0, GLONASS_TOC))), start)
    # Without the header line the leap-second history gives 18 s for 2020.
    without = read(tmp_path, header() + record, "b.rnx")
    assert np.array_equal(xyz(without.get_position("R05", at(18.0, GLONASS_TOC))), start)


def test_sbas_state_is_extrapolated_with_its_acceleration(tmp_path):
    nav = read(tmp_path, header() + record_v3("S27", TOC, state_values(State())))
    s = State()
    for dt in (-300.0, 0.0, 120.0):
        expected = (np.array(s.position) + np.array(s.velocity) * dt + 0.5 * np.array(s.acceleration) * dt * dt) * 1000
        assert np.allclose(xyz(nav.get_position("S27", at(dt))), expected, rtol=0, atol=1e-6)


# ---------------------------------------------------------------- selection

EDGES = [
    pytest.param("G01", kepler_values(Kepler()), 0.0, 7200.0, id="gps-2h"),
    pytest.param("G01", kepler_values(Kepler(), fit=6.0), 0.0, 10800.0, id="gps-fit-6h"),
    pytest.param("E11", kepler_values(GALILEO, source=517.0), 0.0, 14400.0, id="galileo-4h"),
    pytest.param("C25", kepler_values(BEIDOU_MEO), 14.0, 14400.0, id="beidou-4h"),
    pytest.param("R05", state_values(State()), 18.0, 1800.0, id="glonass-30min"),
    pytest.param("S27", state_values(State()), 0.0, 360.0, id="sbas-6min"),
]


@pytest.mark.parametrize("sat, values, shift, age", EDGES)
def test_validity_window_edges(tmp_path, sat, values, shift, age):
    nav = read(tmp_path, header(leap=18) + record_v3(sat, TOC, values))
    for edge in (-age, age):
        assert nav.get_position(sat, at(shift + edge)) is not None
        assert nav.get_position(sat, at(shift + edge + np.sign(edge) * 0.001)) is None
    # The span the analyses check an observation file against is that window (GPS time),
    # and a Satellite asks as its identifier does.
    assert [e.to_iso() for e in nav.covered_span()] == [at(shift - age).to_iso(), at(shift + age).to_iso()]
    assert np.array_equal(xyz(nav.get_position(sk.Satellite(sat), at(shift))), xyz(nav.get_position(sat, at(shift))))


def two_gps(tmp_path, first, second, gap=7200.0, name="two.rnx"):
    later = at(gap)
    second_toc = (later.year, later.month, later.day, later.hour, later.minute, int(later.second))
    lines = header() + record_v3("G01", TOC, first) + record_v3("G01", second_toc, second)
    return read(tmp_path, lines, name)


def m0(value):
    return replace(Kepler(), m0=value)


SECOND_TOE = kepler_values(m0(0.9), toe=4 * 86400 + 6 * 3600.0)


@pytest.mark.parametrize(
    "when, expect_second",
    [
        pytest.param(3599.0, False, id="nearer-the-first"),
        pytest.param(3600.0, True, id="midway-takes-the-later"),
        pytest.param(3601.0, True, id="nearer-the-second"),
    ],
)
def test_nearest_reference_time_wins(tmp_path, when, expect_second):
    nav = two_gps(tmp_path, kepler_values(m0(0.3)), SECOND_TOE)
    chosen = m0(0.9) if expect_second else m0(0.3)
    toe_shift = 7200.0 if expect_second else 0.0
    expected = kepler_xyz(chosen, [when - toe_shift], toe=4 * 86400 + 4 * 3600.0 + toe_shift)[0]
    assert np.linalg.norm(xyz(nav.get_position("G01", at(when))) - expected) < 1e-3


def test_healthy_ephemeris_is_preferred_unhealthy_used_when_alone(tmp_path):
    unhealthy_near = kepler_values(m0(0.3), health=1.0)
    nav = two_gps(tmp_path, unhealthy_near, SECOND_TOE)
    healthy = two_gps(tmp_path, kepler_values(m0(0.3)), SECOND_TOE, name="h.rnx")
    second_only = read(tmp_path, header() + record_v3("G01", (2020, 6, 25, 6, 0, 0), SECOND_TOE), "s.rnx")
    # 10 minutes after the unhealthy one, 110 minutes before the healthy one.
    assert np.array_equal(xyz(nav.get_position("G01", at(600.0))), xyz(second_only.get_position("G01", at(600.0))))
    assert not np.array_equal(xyz(healthy.get_position("G01", at(600.0))), xyz(nav.get_position("G01", at(600.0))))
    # Before the healthy one's window only the unhealthy one is left, and it is used.
    assert nav.get_position("G01", at(-7000.0)) is not None


def test_legacy_message_preferred_at_the_same_reference(tmp_path):
    lnav = record_v3("G01", TOC, kepler_values(m0(0.3)))
    cnav = record_v3("G01", TOC, kepler_values(replace(CIVIL, m0=0.9), civil=True))
    both = read(tmp_path, header("4.00") + [frame("G01", "CNAV")] + cnav + [frame("G01", "LNAV")] + lnav)
    assert both.num_ephemerides == 2
    assert np.linalg.norm(xyz(both.get_position("G01", at(60.0))) - kepler_xyz(m0(0.3), [60.0])[0]) < 1e-3


@pytest.mark.parametrize(
    "sat, second",
    [pytest.param("G01", float("nan"), id="nan-second"), pytest.param("G02", 0.0, id="satellite-not-in-file"),
     pytest.param("XYZ", 0.0, id="unparsable-id"), pytest.param("G01", float("inf"), id="infinite-second")],
)
def test_lookups_that_find_nothing_give_none(tmp_path, sat, second):
    nav = read(tmp_path, header() + record_v3("G01", TOC, kepler_values(Kepler())))
    assert nav.get_position(sat, sk.Epoch(2020, 6, 25, 4, 0, second)) is None
    assert sk.compute_elevation(nav, sk.Ecef(3.9e6, 4.5e5, 5.0e6), sat, sk.Epoch(2020, 6, 25, 4, 0, second)) is None


# ---------------------------------------------------------------- the orbit argument


@pytest.fixture
def orbits(tmp_path):
    """G01 in both an SP3 file and a navigation file (different orbits), G02 only in the latter."""
    from sp3_text import Sp3File
    sp3 = Sp3File()
    for k in range(9):
        sp3.add(at(900.0 * (k - 4)), "G01", (15000.0 + k, -12000.0, 17000.0))
    sp3_path = tmp_path / "orbit.sp3"
    sp3_path.write_text(sp3.text())
    nav = read(tmp_path, header() + record_v3("G01", TOC, kepler_values(Kepler())) +
               record_v3("G02", TOC, kepler_values(m0(2.0))))
    return sk.read_sp3(str(sp3_path)), nav


RECEIVER = sk.Ecef(3.9e6, 4.5e5, 5.0e6)


@pytest.mark.parametrize("order", [lambda s, n: (s, n), lambda s, n: [n, s]], ids=["sp3-first", "nav-first"])
def test_sp3_first_broadcast_for_what_sp3_lacks(orbits, order):
    sp3, nav = orbits
    both = order(sp3, nav)
    when = at(120.0)
    assert sk.compute_elevation(both, RECEIVER, "G01", when) == sk.compute_elevation(sp3, RECEIVER, "G01", when)
    assert sk.compute_elevation(both, RECEIVER, "G02", when) == sk.compute_elevation(nav, RECEIVER, "G02", when)
    assert sk.compute_elevation(sp3, RECEIVER, "G02", when) is None
    p = nav.get_position("G02", when)
    assert sk.compute_elevation(nav, RECEIVER, "G02", when) == sk.calculate_azel(RECEIVER, p)[1]


@pytest.mark.parametrize(
    "make, reason",
    [
        pytest.param(lambda s, n: "orbit.sp3", "got str", id="str"),
        pytest.param(lambda s, n: (), "got tuple of 0 items", id="empty"),
        pytest.param(lambda s, n: (s, n, n), "got tuple of 3 items", id="three"),
        pytest.param(lambda s, n: (s, s), "more than one Sp3Data", id="two-sp3"),
        pytest.param(lambda s, n: [n, n], "more than one NavData", id="two-nav"),
        pytest.param(lambda s, n: (s, 1), "holding int", id="foreign-item"),
    ],
)
def test_bad_orbit_arguments_are_type_errors(orbits, make, reason):
    arg = make(*orbits)
    with pytest.raises(TypeError, match=f"^argument 'sp3': .*{reason}"):
        sk.compute_elevation(arg, RECEIVER, "G01", at(0.0))
