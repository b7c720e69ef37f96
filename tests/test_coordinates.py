"""ECEF and geodetic coordinates, distances and look angles."""
import math

import pytest
import skyrift_mp as sk
from hypothesis import given, strategies as st


def test_equator_origin_and_reprs():
    assert repr(sk.Geodetic(0, 0, 0).to_ecef()) == "Ecef(6378137.000, 0.000, 0.000)"
    assert repr(sk.Ecef(1.5, -2, 1e-4)) == "Ecef(1.500, -2.000, 0.000)"
    assert str(sk.Ecef(1.5, 0, 0)) == "Ecef(1.500, 0.000, 0.000)"
    assert repr(sk.Geodetic(-33, 151, -5.5)) == "Geodetic(-33.000000°, 151.000000°, -5.5m)"
    assert repr(sk.Geodetic(float("nan"), float("inf"), -float("inf"))) == "Geodetic(NaN°, inf°, -infm)"


def test_distance_and_magnitude():
    assert sk.Ecef(3, 4, 12).magnitude() == 13.0
    assert sk.Ecef(0, 0, 0).distance(sk.Ecef(3, 4, 12)) == 13.0


@given(st.floats(-89.9, 89.9), st.floats(-180, 180), st.floats(-1000, 1e5))
def test_geodetic_round_trip(lat, lon, height):
    g = sk.Geodetic(lat, lon, height).to_ecef().to_geodetic()
    assert abs(g.lat - lat) < 1e-9
    assert abs(((g.lon - lon) + 180) % 360 - 180) < 1e-9
    assert abs(g.height - height) < 1e-3


def test_known_round_trip_values():
    g = sk.Geodetic(50, 5, 100).to_ecef().to_geodetic()
    assert abs(g.lat - 50) < 1e-9 and abs(g.lon - 5) < 1e-9 and abs(g.height - 100) < 1e-3


@pytest.mark.parametrize("z, lat", [(-6356752.314245179 - 2835.0, -90.0), (6356752.314245179 + 10.0, 90.0)])
def test_height_on_the_polar_axis(z, lat):
    # A station at the pole: the height comes from z, not from p / cos(lat).
    g = sk.Ecef(0.0, 0.0, z).to_geodetic()
    assert g.lat == lat
    assert abs(g.height - (abs(z) - 6356752.314245179)) < 1e-6


def enu_to_ecef(receiver_geodetic, east, north, up):
    lat, lon = math.radians(receiver_geodetic.lat), math.radians(receiver_geodetic.lon)
    r = receiver_geodetic.to_ecef()
    dx = -math.sin(lon) * east - math.sin(lat) * math.cos(lon) * north + math.cos(lat) * math.cos(lon) * up
    dy = math.cos(lon) * east - math.sin(lat) * math.sin(lon) * north + math.cos(lat) * math.sin(lon) * up
    dz = math.cos(lat) * north + math.sin(lat) * up
    return r, sk.Ecef(r.x + dx, r.y + dy, r.z + dz)


@pytest.mark.parametrize("east, north, up, azimuth, elevation", [
    (0, 0, 2e7, None, 90.0),
    (0, 2e7, 0, 0.0, 0.0),
    (2e7, 0, 0, 90.0, 0.0),
    (-2e7, 0, 0, 270.0, 0.0),
    (0, -2e7, 2e7, 180.0, 45.0),
    (1e7, 1e7, -math.sqrt(2) * 1e7, 45.0, -45.0),
], ids=["zenith", "north-horizon", "east", "west", "south-45", "northeast-below"])
def test_look_angles_in_local_frame(east, north, up, azimuth, elevation):
    station = sk.Geodetic(52.0, 4.4, 50.0)
    r, s = enu_to_ecef(station, east, north, up)
    az, el = sk.calculate_azel(r, s)
    assert el == pytest.approx(elevation, abs=1e-6)
    if azimuth is not None:
        assert az == pytest.approx(azimuth, abs=1e-6)
    assert 0.0 <= az < 360.0


def test_look_angles_degenerate_cases():
    r = sk.Geodetic(10, 20, 0).to_ecef()
    assert sk.calculate_azel(r, r) == (0.0, 0.0)
    # A vanishing negative east component must not give an azimuth of exactly 360.
    station = sk.Geodetic(0.0, 0.0, 0.0)
    rr, s = enu_to_ecef(station, -1e-12, 2e7, 0.0)
    az, _ = sk.calculate_azel(rr, s)
    assert 0.0 <= az < 360.0
