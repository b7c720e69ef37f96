"""First Fresnel zones and footprint maps."""
import math

import pytest
import skyrift_mp as sk

L1 = 0.19029367279836487


def zone_by_hand(el, h, lam=L1):
    theta = math.radians(max(el, 0.5))
    d = lam / 2
    b = math.sqrt((d / math.sin(theta)) ** 2 + 2 * d * h / math.sin(theta))
    return b / math.sin(theta), b, h / math.tan(theta)


@pytest.mark.parametrize(
    "el, h, lam",
    [(90.0, 2.0, None), (0.0, 2.0, None), (-10.0, 2.0, None), (15.0, 5.0, 0.2548), (45.0, 0.0, None)],
    ids=["zenith", "horizon-floored", "below-horizon", "L2-15deg", "zero-height"],
)
def test_zone_matches_the_geometry(el, h, lam):
    got = sk.fresnel_zone(el, h, lam)
    assert got == pytest.approx(zone_by_hand(el, h, lam or L1), rel=1e-12, abs=1e-15)


def test_named_values():
    a, b, dist = sk.fresnel_zone(90.0, 2.0)
    assert a == pytest.approx(0.62421, abs=1e-5) and a == b and abs(dist) < 1e-15
    assert sk.fresnel_zone(0.0, 2.0) == pytest.approx((1460.74, 12.747, 229.18), abs=0.01)
    assert all(math.isnan(x) for x in sk.fresnel_zone(30.0, -50.0)[:2])


def test_map_keeps_first_sample_per_cell_and_track():
    track = ("G01", [12.0, 18.0, -5.0, 355.0, 100.0, 100.0], [31.0, 39.0, 20.0, 20.0, 4.99, 5.0])
    got = sk.fresnel_map([track], 2.0)
    assert [(d["az"], d["el"]) for d in got] == [(12.0, 31.0), (-5.0, 20.0), (355.0, 20.0), (100.0, 5.0)]
    assert list(got[0]) == ["sat", "az", "el", "a", "b", "dist"]
    assert (got[0]["a"], got[0]["b"], got[0]["dist"]) == sk.fresnel_zone(31.0, 2.0)
    both = sk.fresnel_map([track, ("E07", track[1], track[2])], 2.0, min_elevation=30.0)
    assert [(d["sat"], d["az"]) for d in both] == [("G01", 12.0), ("E07", 12.0)]


def test_map_edges():
    assert sk.fresnel_map([], 2.0) == []
    got = sk.fresnel_map([["R05", [10.0, 20.0, 30.0], [50.0]]], 1.0, wavelength=0.3)
    assert len(got) == 1 and (got[0]["a"], got[0]["b"], got[0]["dist"]) == sk.fresnel_zone(50.0, 1.0, 0.3)


@pytest.mark.parametrize(
    "tracks",
    [[("G01", [1.0])], [("G01", [1.0], [2.0], [3.0])], [(1, [1.0], [2.0])], ["G01"], "G01", [("G01", "ab", [1.0])]],
    ids=["pair", "quadruple", "int-satellite", "str-track", "str-tracks", "str-azimuths"],
)
def test_malformed_tracks(tracks):
    with pytest.raises(TypeError, match="argument 'tracks'"):
        sk.fresnel_map(tracks, 2.0)
