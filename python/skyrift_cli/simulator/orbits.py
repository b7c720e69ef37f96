"""Circular Keplerian orbits of the four global constellations and look angles.

Everything here is plain numpy so that the simulator does not need the
extension module: the files it writes are later read back by that module,
which makes the two independent of each other.
"""
from __future__ import annotations

from dataclasses import dataclass

import numpy as np

EARTH_ROTATION = 7.2921151467e-5  # rad/s
WGS84_A = 6378137.0
WGS84_F = 1.0 / 298.257223563
C_LIGHT = 299792458.0


@dataclass(frozen=True)
class Constellation:
    letter: str
    semi_major_axis: float  # metres
    inclination: float  # degrees
    planes: int
    per_plane: int
    first_prn: int


# Nominal MEO geometry of each system (24 slots each, Walker-like spread).
CONSTELLATIONS = (
    Constellation("G", 26_559_700.0, 55.0, 6, 4, 1),
    Constellation("R", 25_508_200.0, 64.8, 3, 8, 1),
    Constellation("E", 29_599_800.0, 56.0, 3, 8, 1),
    Constellation("C", 27_906_100.0, 55.0, 3, 8, 19),
)


@dataclass(frozen=True)
class Orbit:
    sat: str
    a: float
    inc: float  # rad
    raan: float  # rad
    u0: float  # argument of latitude at t = 0, rad

    @property
    def mean_motion(self) -> float:
        return float(np.sqrt(3.986004418e14 / self.a**3))


def build_orbits(rng: np.random.Generator) -> list[Orbit]:
    """Slots of every constellation with a small random perturbation."""
    orbits = []
    for con in CONSTELLATIONS:
        for p in range(con.planes):
            raan = 2 * np.pi * p / con.planes + rng.uniform(0, 2 * np.pi)
            for s in range(con.per_plane):
                prn = con.first_prn + p * con.per_plane + s
                u0 = 2 * np.pi * (s / con.per_plane + p / (con.planes * con.per_plane))
                u0 += rng.normal(0.0, 0.02)
                orbits.append(
                    Orbit(f"{con.letter}{prn:02d}", con.semi_major_axis,
                          np.radians(con.inclination), raan, u0))
    return orbits


def satellite_ecef(orbit: Orbit, t: np.ndarray, gmst0: float = 0.0) -> np.ndarray:
    """ECEF positions (n, 3) in metres at seconds t after the reference epoch."""
    u = orbit.u0 + orbit.mean_motion * t
    cu, su = np.cos(u), np.sin(u)
    co, so = np.cos(orbit.raan), np.sin(orbit.raan)
    ci, si = np.cos(orbit.inc), np.sin(orbit.inc)
    x = orbit.a * (cu * co - su * ci * so)
    y = orbit.a * (cu * so + su * ci * co)
    z = orbit.a * (su * si)
    theta = gmst0 + EARTH_ROTATION * t
    ct, st = np.cos(theta), np.sin(theta)
    return np.stack([ct * x + st * y, -st * x + ct * y, z], axis=-1)


def geodetic_to_ecef(lat_deg: float, lon_deg: float, height: float) -> np.ndarray:
    lat, lon = np.radians(lat_deg), np.radians(lon_deg)
    e2 = WGS84_F * (2 - WGS84_F)
    n = WGS84_A / np.sqrt(1 - e2 * np.sin(lat) ** 2)
    return np.array([
        (n + height) * np.cos(lat) * np.cos(lon),
        (n + height) * np.cos(lat) * np.sin(lon),
        (n * (1 - e2) + height) * np.sin(lat),
    ])


def look_angles(receiver: np.ndarray, lat_deg: float, lon_deg: float,
                sat: np.ndarray) -> tuple[np.ndarray, np.ndarray, np.ndarray]:
    """Azimuth and elevation (degrees) and range (m) of positions sat (n, 3)."""
    lat, lon = np.radians(lat_deg), np.radians(lon_deg)
    d = sat - receiver
    east = -np.sin(lon) * d[:, 0] + np.cos(lon) * d[:, 1]
    north = (-np.sin(lat) * np.cos(lon) * d[:, 0] - np.sin(lat) * np.sin(lon) * d[:, 1]
             + np.cos(lat) * d[:, 2])
    up = (np.cos(lat) * np.cos(lon) * d[:, 0] + np.cos(lat) * np.sin(lon) * d[:, 1]
          + np.sin(lat) * d[:, 2])
    rng_ = np.sqrt(east**2 + north**2 + up**2)
    el = np.degrees(np.arcsin(up / rng_))
    az = np.degrees(np.arctan2(east, north)) % 360.0
    return az, el, rng_
