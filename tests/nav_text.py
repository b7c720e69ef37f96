"""Builds RINEX navigation text (versions 2, 3 and 4) in the fixed columns of the
format, plus independent numpy orbit models to check the module's positions against."""

import math
from dataclasses import dataclass, replace

import numpy as np

# ------------------------------------------------------------------ the text


def number(value, exponent="E"):
    """One 19-column number; None leaves the field blank."""
    if value is None:
        return " " * 19
    return f"{value: .12E}".replace("E", exponent)


def labelled(text, label):
    return f"{text:<60}{label}"


def header(version="3.05", kind="N", system="M", leap=None, extra=()):
    lines = [labelled(f"{version:>9}{'':11}{kind}{'':19}{system}", "RINEX VERSION / TYPE"),
             labelled("nav_text            tests               20200625 000000 UTC", "PGM / RUN BY / DATE")]
    lines += list(extra)
    if leap is not None:
        lines.append(labelled(f"{leap:6d}", "LEAP SECONDS"))
    lines.append(labelled("", "END OF HEADER"))
    return lines


def record_v3(sat, when, values):
    """`values`: 3 numbers of the first line, then 4 per orbit line (None blank)."""
    y, mo, d, h, mi, s = when
    first = f"{sat} {y:4d} {mo:02d} {d:02d} {h:02d} {mi:02d} {int(s):02d}" + "".join(number(v) for v in values[:3])
    rest = values[3:]
    return [first] + ["    " + "".join(number(v) for v in rest[i:i + 4]) for i in range(0, len(rest), 4)]


def record_v2(prn, when, values):
    """RINEX 2: a two-digit PRN and year, D exponents, three-column indent."""
    y, mo, d, h, mi, s = when
    first = f"{prn:2d}{y % 100:3d}{mo:3d}{d:3d}{h:3d}{mi:3d}{s:5.1f}" + "".join(number(v, "D") for v in values[:3])
    rest = values[3:]
    return [first] + ["   " + "".join(number(v, "D") for v in rest[i:i + 4]) for i in range(0, len(rest), 4)]


def frame(sat, message, kind="EPH"):
    return f"> {kind} {sat} {message}"


def text(lines):
    return "\n".join(lines) + "\n"


# ------------------------------------------------------------------ ephemerides

TOC = (2020, 6, 25, 4, 0, 0)          # a Thursday: 4 days and 4 hours into GPS week 2111
TOE_OF_WEEK = 4 * 86400 + 4 * 3600.0


@dataclass(frozen=True)
class Kepler:
    sqrt_a: float = 5153.65
    e: float = 0.0123
    i0: float = 0.9599
    omega0: float = -2.1
    omega: float = 0.75
    m0: float = 1.2
    delta_n: float = 4.3e-9
    idot: float = -3.1e-10
    omega_dot: float = -8.2e-9
    cuc: float = -1.9e-6
    cus: float = 8.7e-6
    crc: float = 231.5
    crs: float = -36.2
    cic: float = 7.4e-8
    cis: float = -1.3e-7
    a_dot: float = 0.0        # civil messages only
    delta_n_dot: float = 0.0  # civil messages only


GALILEO = Kepler(sqrt_a=5440.6, e=0.00021, i0=0.9828, omega0=0.2123, omega=-2.7787, m0=-1.8323,
                 delta_n=2.66e-9, idot=-7.0e-10, omega_dot=-5.2e-9, crs=18.66, crc=129.9)
BEIDOU_MEO = Kepler(sqrt_a=5282.6, e=0.0007, i0=0.9651, omega0=1.31, omega=0.54, m0=2.2)
BEIDOU_GEO = Kepler(sqrt_a=6493.38, e=0.00038, i0=0.1136, omega0=2.6976, omega=-1.0271, m0=-1.1017,
                    delta_n=-3.14e-9, idot=3.3e-10, omega_dot=4.1e-9, crs=-414.3, crc=354.98)
CIVIL = replace(Kepler(), a_dot=2.5e-3, delta_n_dot=-1.2e-13, m0=0.4)


def kepler_values(k, toe=TOE_OF_WEEK, health=0.0, source=None, fit=4.0, civil=False):
    """The numbers of a Keplerian record: LNAV layout, or CNAV's (A-dot, delta-n-dot, t_op)."""
    first = [1.6e-05, 7.0e-12, 0.0]
    issue = k.a_dot if civil else 58.0
    line5 = [k.idot, k.delta_n_dot if civil else (source if source is not None else 1.0), 2111.0, 0.0]
    lines = [first,
             [issue, k.crs, k.delta_n, k.m0],
             [k.cuc, k.e, k.cus, k.sqrt_a],
             [toe, k.cic, k.omega0, k.cis],
             [k.i0, k.crc, k.omega, k.omega_dot],
             line5,
             [2.0, health, 5.1e-09, 58.0],
             [toe - 3600.0, fit, None, None]]
    if civil:
        lines += [[0.0, 0.0, 0.0, 0.0]]
    return [v for line in lines for v in line]


@dataclass(frozen=True)
class State:
    """A state vector in km, km/s, km/s^2 as the file writes it."""
    position: tuple = (13000.0, -5000.0, 21375.0)
    velocity: tuple = (2.86867268, 0.68202499, -1.58515181)
    acceleration: tuple = (-1.862645149231e-09, 9.31e-10, -2.793967723846e-09)


def state_values(s, health=0.0, extra_line=False):
    """GLONASS or SBAS record numbers: clock line, then x, y, z lines."""
    values = [6.3e-05, 0.0, 345600.0]
    for axis, last in zip(range(3), (health, 1.0, 0.0)):
        values += [s.position[axis], s.velocity[axis], s.acceleration[axis], last]
    if extra_line:  # RINEX 3.05 and 4 add status flags, group delay, URAI, health flags
        values += [None, 0.999999999999e9, 15.0, 0.0]
    return values


# ------------------------------------------------------------------ independent models

GPS_MU, GPS_RATE = 3.986005e14, 7.2921151467e-5
GAL_MU, GAL_RATE = 3.986004418e14, 7.2921151467e-5
BDS_MU, BDS_RATE = 3.986004418e14, 7.292115e-5


def kepler_xyz(k, tk, mu=GPS_MU, rate=GPS_RATE, toe=TOE_OF_WEEK, geo=False):
    """Satellite ECEF position from Keplerian elements, vectorised over `tk` (s)."""
    tk = np.asarray(tk, dtype=float)
    a0 = k.sqrt_a ** 2
    a = a0 + k.a_dot * tk
    n = math.sqrt(mu / a0 ** 3) + k.delta_n + 0.5 * k.delta_n_dot * tk
    m = k.m0 + n * tk
    ecc = m.copy()
    for _ in range(50):  # fixed-point iteration, unlike a Newton solver
        ecc = m + k.e * np.sin(ecc)
    nu = np.arctan2(np.sqrt(1 - k.e ** 2) * np.sin(ecc), np.cos(ecc) - k.e)
    phi = nu + k.omega
    u = phi + k.cus * np.sin(2 * phi) + k.cuc * np.cos(2 * phi)
    r = a * (1 - k.e * np.cos(ecc)) + k.crs * np.sin(2 * phi) + k.crc * np.cos(2 * phi)
    inc = k.i0 + k.idot * tk + k.cis * np.sin(2 * phi) + k.cic * np.cos(2 * phi)
    if geo:
        node = k.omega0 + k.omega_dot * tk - rate * toe
    else:
        node = k.omega0 + (k.omega_dot - rate) * tk - rate * toe
    in_plane = np.stack([r * np.cos(u), r * np.sin(u), np.zeros_like(r)])

    def rot_x(a):
        c, s = np.cos(a), np.sin(a)
        return np.array([[1, 0, 0], [0, c, -s], [0, s, c]])

    def rot_z(a):
        c, s = np.cos(a), np.sin(a)
        return np.array([[c, -s, 0], [s, c, 0], [0, 0, 1]])

    out = np.stack([rot_z(nd) @ rot_x(ic) @ in_plane[:, j] for j, (nd, ic) in
                    enumerate(zip(np.atleast_1d(node), np.atleast_1d(inc)))])
    if geo:  # from the GEO satellites' own frame: R_z(rate tk) R_x(-5 deg), passive rotations
        out = np.stack([rot_z(rate * t).T @ rot_x(math.radians(-5.0)).T @ p
                        for t, p in zip(np.atleast_1d(tk), out)])
    return out


GLO_MU, GLO_AE, GLO_J2, GLO_RATE = 398600.4418e9, 6378136.0, 1082625.75e-9, 7.2921151467e-5


def glonass_rk4(s, dt, step=30.0):
    """Integrates the PZ-90 equations (J2, rotating frame, constant luni-solar term) with
    classical RK4 from the reference by whole steps, then one partial step."""
    y = np.concatenate([np.array(s.position), np.array(s.velocity)]) * 1000.0
    acc = np.array(s.acceleration) * 1000.0

    def f(y):
        r, v = y[:3], y[3:]
        rn = np.linalg.norm(r)
        z2 = 5 * r[2] ** 2 / rn ** 2
        c = 1.5 * GLO_J2 * GLO_MU * GLO_AE ** 2 / rn ** 5
        a = -GLO_MU / rn ** 3 * r - c * r * np.array([1 - z2, 1 - z2, 3 - z2])
        a += GLO_RATE ** 2 * np.array([r[0], r[1], 0.0]) + 2 * GLO_RATE * np.array([v[1], -v[0], 0.0]) + acc
        return np.concatenate([v, a])

    def rk4(y, h):
        k1 = f(y)
        k2 = f(y + h / 2 * k1)
        k3 = f(y + h / 2 * k2)
        k4 = f(y + h * k3)
        return y + h / 6 * (k1 + 2 * k2 + 2 * k3 + k4)

    whole = math.trunc(dt / step)
    for _ in range(abs(whole)):
        y = rk4(y, math.copysign(step, dt))
    rest = dt - whole * step
    return (rk4(y, rest) if rest else y)[:3]


def xyz(p):
    return np.array([p.x, p.y, p.z])
