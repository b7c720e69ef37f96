"""The broadcast orbits of a real station day against the precise orbit of that day,
and elevations for every estimate of its observations, BeiDou included."""

import gzip
import re

import numpy as np
import pytest
import skyrift_mp as sk
from analyzer_checks import check_statistics
from shared_data import data_file

NAV = "ESBC00DNK_R_20201770000_01D_MN.rnx.gz"
SP3 = "GRG0MGXFIN_20201770000_01D_15M_ORB.SP3"
OBS = "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"
SP3_EPOCHS = [sk.Epoch(2020, 6, 25, k // 4, 15 * (k % 4)) for k in range(96)]


@pytest.fixture(scope="module")
def nav():
    return sk.read_rinex_nav(str(data_file(NAV)))


@pytest.fixture(scope="module")
def sp3():
    return sk.read_sp3(str(data_file(SP3)))


def distances(nav, sp3, system):
    out = []
    for sat in (s for s in sp3.satellites() if s[0] == system):
        for e in SP3_EPOCHS:
            p, q = sp3.get_position(sat, e), nav.get_position(sat, e)
            if p is not None and q is not None:
                out.append(np.linalg.norm([p.x - q.x, p.y - q.y, p.z - q.z]))
    return np.array(out)


@pytest.mark.parametrize("system, median_limit", [("G", 3.0), ("E", 3.0), ("R", 10.0)])
def test_broadcast_orbits_agree_with_the_precise_orbit(nav, sp3, system, median_limit):
    """Metre-level agreement; a time-scale or frame mistake would show as kilometres."""
    d = distances(nav, sp3, system)
    assert len(d) > 900
    assert np.median(d) < median_limit


def test_beidou_geo_satellite_stays_over_its_slot(nav):
    """C05 is the GEO at 58.75 deg E; without the GEO rotation its latitude would swing
    by its broadcast inclination in the ICD's tilted frame."""
    for e in SP3_EPOCHS:
        p = nav.get_position("C05", e)
        lon = np.degrees(np.arctan2(p.y, p.x))
        lat = np.degrees(np.arctan2(p.z, np.hypot(p.x, p.y)))
        assert abs(lon - 58.75) < 1.0 and abs(lat) < 2.0
        assert abs(np.linalg.norm([p.x, p.y, p.z]) - 42164e3) < 50e3


# ------------------------------------------------------------- a RINEX 4 copy of the file


def as_rinex4(rinex3_text):
    """The same records in RINEX 4 frames: header version 4.00, one EPH line per record."""
    out = []
    lines = rinex3_text.splitlines()
    end = next(i for i, line in enumerate(lines) if line[60:].strip() == "END OF HEADER")
    out.append("     4.00" + lines[0][9:])
    out += [line for line in lines[1:end + 1] if line[60:].strip() not in ("IONOSPHERIC CORR", "TIME SYSTEM CORR")]
    body = lines[end + 1:]
    for i, line in enumerate(body):
        if re.match(r"[GRECJSI]\d\d ", line):
            sat = line[:3]
            if sat[0] == "E":
                sources = float(body[i + 5][23:42].replace("D", "E"))
                message = "FNAV" if int(sources) & 2 else "INAV"
            elif sat[0] == "C":
                message = "D2" if int(sat[1:]) <= 5 else "D1"
            else:
                message = {"G": "LNAV", "J": "LNAV", "I": "LNAV", "R": "FDMA", "S": "SBAS"}[sat[0]]
            out.append(f"> EPH {sat} {message}")
        out.append(line)
    return "\n".join(out) + "\n"


def test_a_rinex4_copy_gives_the_same_positions(nav, tmp_path):
    rinex4 = sk.read_rinex_nav_bytes(as_rinex4(gzip.decompress(data_file(NAV).read_bytes()).decode()).encode(),
                                     "ESBC00DNK_R_20201770000_01D_MN.rnx")
    assert repr(rinex4) == repr(nav)
    for sat in nav.satellites():
        for e in SP3_EPOCHS[::8]:
            p, q = nav.get_position(sat, e), rinex4.get_position(sat, e)
            assert (p is None) == (q is None)
            if p is not None:
                assert (p.x, p.y, p.z) == (q.x, q.y, q.z)


# ------------------------------------------------------------- elevations for the estimates


@pytest.fixture(scope="module")
def esbc():
    obs = sk.read_rinex_obs(str(data_file(OBS)))
    return obs, sk.MultipathAnalyzer(obs)


def elevations(esbc, orbit):
    obs, analyzer = esbc
    results = analyzer.analyze()
    counts = results.compute_elevations(orbit, obs.approx_position)
    c = results.to_numpy()
    return counts, np.column_stack([c["elevation"], c["azimuth"]]), c["system"]


def test_every_estimate_gets_an_elevation_from_the_navigation_file(esbc, nav, sp3):
    (computed, failed), angles, systems = elevations(esbc, nav)
    assert failed == 0 and computed == len(angles)
    (_, sp3_failed), sp3_angles, _ = elevations(esbc, sp3)
    beidou = systems == "C"
    assert beidou.sum() > 40000 and sp3_failed >= beidou.sum()  # the precise orbit has no BeiDou
    both = ~beidou & ~np.isnan(sp3_angles[:, 0]) & (sp3_angles[:, 0] > 5.0)
    assert np.percentile(np.abs(angles[both, 0] - sp3_angles[both, 0]), 95) < 0.002
    # Both orbits: SP3 wherever it has the satellite (bit for bit), broadcast for the rest.
    (computed_both, failed_both), both_angles, _ = elevations(esbc, (sp3, nav))
    assert failed_both == 0
    from_sp3 = ~np.isnan(sp3_angles[:, 0])
    assert np.array_equal(both_angles[from_sp3], sp3_angles[from_sp3])
    assert np.array_equal(both_angles[beidou], angles[beidou])


# ------------------------------------------------------------- the analyzer with broadcast orbits


def test_analyzer_with_broadcast_orbit_equals_elevations_and_cutoff_by_hand(esbc, nav):
    obs, _ = esbc
    cutoff = 10.0
    res = sk.MultipathAnalyzer(obs, elevation_cutoff=cutoff, orbit=nav).analyze()
    by_hand = sk.MultipathAnalyzer(obs, elevation_cutoff=-90.0).analyze()
    # Every satellite the station tracked is placed and above the horizon.
    assert by_hand.compute_elevations(nav, obs.approx_position) == (by_hand.total_estimates(), 0)
    ours, theirs = res.to_numpy(), by_hand.to_numpy()
    kept = theirs["elevation"] >= cutoff
    for column, values in ours.items():
        assert np.array_equal(values, theirs[column][kept], equal_nan=values.dtype.kind == "f"), column
    assert res.estimates_without_position == 0
    check_statistics(res, {s.signal: s.cycle_slips for s in by_hand.statistics})
    assert np.sum(ours["system"] == "C") > 30000  # BeiDou, absent from the SP3 file


def test_analyzer_asks_the_precise_orbit_first(esbc, nav, sp3):
    """With both orbits (in either order, tuple or list) every estimate SP3 places has SP3's
    angles bit for bit, and the others the broadcast ones; the two orbits' angles differ, so
    the order is seen. GPS and BeiDou: the SP3 file lacks G04 and all of BeiDou."""
    obs, _ = esbc

    def angles(orbit):
        res = sk.MultipathAnalyzer(obs, elevation_cutoff=-90.0, systems=["G", "C"], orbit=orbit,
                                   keep_estimates_without_position=True).analyze()
        c = res.to_numpy()
        return res, np.column_stack([c["elevation"], c["azimuth"]])

    res_sp3, from_sp3 = angles(sp3)
    _, from_nav = angles(nav)
    placed = ~np.isnan(from_sp3[:, 0])
    assert (~placed).sum() == res_sp3.estimates_without_position > 40000
    for both in ((sp3, nav), [nav, sp3]):
        _, from_both = angles(both)
        assert np.array_equal(from_both[placed], from_sp3[placed])
        assert np.array_equal(from_both[~placed], from_nav[~placed])
    assert np.mean(from_nav[placed, 0] != from_sp3[placed, 0]) > 0.9
