"""What the file names of an archive say: observation files, orbit products and
broadcast navigation files, in the RINEX 2 short and RINEX 3/4 long conventions."""
from __future__ import annotations

import datetime as dt
import re
from dataclasses import dataclass

COMPRESSION = r"(?:\.gz|\.z)?"

# RINEX 2 observation (.YYo) and Hatanaka (.YYd); RINEX 3/4 mixed observation files.
OBSERVATION_NAME = re.compile(r"(?:\.\d\d[od]|_mo\.(?:rnx|crx))" + COMPRESSION + "$",
                              re.IGNORECASE)
SP3_NAME = re.compile(r"\.(?:sp3|eph)" + COMPRESSION + "$", re.IGNORECASE)
LONG_NAME = re.compile(r"^(?P<site>[A-Z0-9]{9})_[A-Z]_(?P<year>\d{4})(?P<doy>\d{3})"
                       r"(?P<hour>\d\d)(?P<minute>\d\d)_(?P<period>\d\d[MHDYU])_", re.IGNORECASE)
LONG_NAV_NAME = re.compile(LONG_NAME.pattern + r"(?:\d\d[SMHDU]_)?(?P<system>[A-Z])N\.rnx"
                           + COMPRESSION + "$", re.IGNORECASE)
SHORT_NAV_NAME = re.compile(r"^(?P<site>[A-Z0-9]{4})(?P<doy>\d{3})[A-X0-9]\.(?P<yy>\d\d)"
                            r"(?P<kind>[nglpfhq])" + COMPRESSION + "$", re.IGNORECASE)
SHORT_SITE = re.compile(r"^(?P<site>[A-Z0-9]{4})\d{3}[A-X0-9]\.\d\d[od]", re.IGNORECASE)
# Systems of RINEX 2 navigation file types: n GPS, g GLONASS, l Galileo, p mixed,
# f BeiDou, q QZSS, h SBAS.
SHORT_NAV_SYSTEM = {"n": "G", "g": "R", "l": "E", "p": "M", "f": "C", "q": "J", "h": "S"}
BROADCAST_SITES = ("BRDC", "BRDM")  # merged broadcast files of a whole network


def uncompressed_name(name: str) -> str:
    """The name without a gzip or Unix compress suffix ("X.rnx.gz" -> "X.rnx")."""
    for ending in (".gz", ".Z"):
        name = name.removesuffix(ending)
    return name


def is_observation_name(name: str) -> bool:
    return OBSERVATION_NAME.search(name) is not None


def is_sp3_name(name: str) -> bool:
    return SP3_NAME.search(name) is not None


def site_of(name: str) -> str | None:
    """The site of an observation file: nine characters (long names) or four (short)."""
    m = LONG_NAME.match(name) or SHORT_SITE.match(name)
    return m["site"].upper() if m else None


def station_id(name: str, marker_name: str | None) -> str | None:
    """The station of an observation file as the tables name it, the same way for every
    file: the nine-character ID of a long name (ESBC00DNK_R_2020... gives ESBC00DNK), the
    four-character ID of a short one in upper case (ceda1234.20o gives CEDA), else the
    header's marker name (upper case), else None."""
    site = site_of(name)
    if site is not None:
        return site
    return (marker_name or "").strip().upper() or None


def same_site(a: str, b: str) -> bool:
    """Sites agree on their four-character station; long sites also on the rest."""
    if len(a) == len(b) == 9:
        return a == b
    return a[:4] == b[:4]


@dataclass(frozen=True)
class NavName:
    site: str
    day: dt.date
    system: str  # system letter, M for mixed

    @property
    def broadcast(self) -> bool:
        return self.site[:4] in BROADCAST_SITES


def year_of_two_digits(yy: int) -> int:
    """RINEX 2 years: 80-99 are the 1900s, 00-79 the 2000s."""
    return 1900 + yy if yy >= 80 else 2000 + yy


def _day_of_year(year: int, doy: int) -> dt.date | None:
    if not 1 <= doy <= 366:
        return None
    day = dt.date(year, 1, 1) + dt.timedelta(days=doy - 1)
    return day if day.year == year else None


def nav_name(name: str) -> NavName | None:
    """Site, day and system of a broadcast navigation file, None for other names."""
    m = LONG_NAV_NAME.match(name)
    if m:
        day = _day_of_year(int(m["year"]), int(m["doy"]))
        return NavName(m["site"].upper(), day, m["system"].upper()) if day else None
    m = SHORT_NAV_NAME.match(name)
    if m:
        day = _day_of_year(year_of_two_digits(int(m["yy"])), int(m["doy"]))
        system = SHORT_NAV_SYSTEM[m["kind"].lower()]
        return NavName(m["site"].upper(), day, system) if day else None
    return None


LONG_PRODUCT = re.compile(r"^(?P<product>[A-Z0-9]{10})_\d{11}_", re.IGNORECASE)
SHORT_PRODUCT = re.compile(r"^(?P<product>[a-z]{3})\d{5}\.", re.IGNORECASE)


def orbit_product(name: str) -> str:
    """The series an orbit file belongs to (analysis centre, campaign, type), so that
    files of one series are joined and never mixed with another's."""
    m = LONG_PRODUCT.match(name) or SHORT_PRODUCT.match(name)
    if m:
        return m["product"].upper()
    return re.sub(r"\d+", "#", name)
