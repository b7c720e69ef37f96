"""Orbit files for each observation file: a catalogue of an orbit folder, built once,
and the pure choice of the files that cover one observation span.

SP3 files of one product that cover the span are taken, and joined with their
neighbours when the span runs past one file's records; the broadcast navigation
file is the station's own of the first day, else a merged (BRDC) or mixed one.
"""
from __future__ import annotations

import datetime as dt
import zlib
from dataclasses import dataclass

from ..errors import CliError
from . import sources
from .names import is_sp3_name, nav_name, orbit_product, same_site

GZIP_MAGIC = b"\x1f\x8b"
CONTIGUOUS = 1.5  # files whose records are at most this many intervals apart join


@dataclass(frozen=True)
class Sp3Entry:
    source: str
    product: str
    start: dt.datetime  # first record
    end: dt.datetime  # last record
    interval: float  # seconds


@dataclass(frozen=True)
class NavEntry:
    source: str
    site: str
    day: dt.date
    system: str  # M for mixed
    broadcast: bool  # a merged file of a network (BRDC, BRDM)


@dataclass(frozen=True)
class OrbitCatalogue:
    sp3: tuple[Sp3Entry, ...] = ()
    nav: tuple[NavEntry, ...] = ()
    unreadable: tuple[str, ...] = ()  # orbit-like files whose span could not be found


@dataclass(frozen=True)
class OrbitPlan:
    sp3: tuple[str, ...] = ()  # in time order; more than one are joined
    nav: str | None = None

    @property
    def kind(self) -> str:
        """The orbit source as the results name it: sp3, nav, sp3+nav or none."""
        return "+".join(k for k, v in (("sp3", self.sp3), ("nav", self.nav)) if v) or "none"


# ---- the catalogue (built once, by the process that runs the batch)

def _epoch_fields(text: str) -> dt.datetime | None:
    """Year, month, day, hour, minute, second of an SP3 epoch text."""
    fields = text.split()
    if len(fields) < 6:
        return None
    try:
        second = float(fields[5])
        return dt.datetime(*(int(f) for f in fields[:5])) + dt.timedelta(seconds=second)
    except (ValueError, OverflowError):
        return None


def _head(source: str, count: int) -> list[str]:
    """The first lines of a plain or gzip file."""
    data = sources.read_head(source, 4096)
    if data.startswith(GZIP_MAGIC):
        try:  # a decompressor object takes the cut-off stream without complaint
            data = zlib.decompressobj(16 + zlib.MAX_WBITS).decompress(data)
        except zlib.error:
            return []
    return data.decode("latin-1").splitlines()[:count]


def sp3_span_from_header(lines: list[str]) -> tuple[dt.datetime, dt.datetime, float] | None:
    """First and last record and interval as the first two header lines declare them."""
    if len(lines) < 2 or not (lines[0][:2] in ("#a", "#b", "#c", "#d") and lines[1][:2] == "##"):
        return None
    start = _epoch_fields(lines[0][3:31])
    try:
        count = int(lines[0][32:39])
        interval = float(lines[1][24:38])
    except ValueError:
        return None
    if start is None or count < 1 or not interval > 0:
        return None
    return start, start + dt.timedelta(seconds=interval * (count - 1)), interval


def _sp3_span_from_records(source: str):
    """The span of the records themselves, read by the module (any compression)."""
    import tempfile

    import skyrift_mp as sk

    from ..analysis.inputs import epoch_datetime

    with tempfile.TemporaryDirectory(prefix="skyrift-orbit-") as tmp:
        sp3 = sk.read_sp3(str(sources.local_copy(source, tmp)))
    first, last = sp3.first_epoch(), sp3.last_epoch()
    if first is None:
        return None
    return epoch_datetime(first), epoch_datetime(last), sp3.interval or 900.0


def _sp3_entry(source: str) -> Sp3Entry | None:
    try:
        span = sp3_span_from_header(_head(source, 2)) or _sp3_span_from_records(source)
    except (OSError, ValueError, OverflowError):
        span = None
    if span is None:
        return None
    name = sources.name_of(source)
    return Sp3Entry(source, orbit_product(name), *span)


def build_catalogue(folder: str) -> OrbitCatalogue:
    """Every SP3 and navigation file below folder (a path or a URL)."""
    if not sources.exists(folder):
        raise CliError(f"{folder}: no such orbit folder")
    if not sources.is_folder(folder):
        raise CliError(f"{folder}: --orbits takes a folder of SP3 and navigation files")
    sp3, nav, unreadable = [], [], []
    for source in sources.files_under(folder):
        name = sources.name_of(source)
        if is_sp3_name(name):
            entry = _sp3_entry(source)
            (sp3.append(entry) if entry else unreadable.append(source))
        elif (parsed := nav_name(name)) is not None:
            nav.append(NavEntry(source, parsed.site, parsed.day, parsed.system, parsed.broadcast))
    return OrbitCatalogue(tuple(sorted(sp3, key=lambda e: (e.product, e.start, e.source))),
                          tuple(nav), tuple(unreadable))


# ---- the choice for one observation file (pure: runs in the tasks)

def _contiguous(a: Sp3Entry, b: Sp3Entry) -> bool:
    return (b.start - a.end).total_seconds() <= CONTIGUOUS * max(a.interval, b.interval)


def _chain(entries: list[Sp3Entry], first: dt.datetime, last: dt.datetime):
    """The files of one product that cover [first, last], with the neighbours that
    carry the span past either end of them."""
    hits = [i for i, e in enumerate(entries) if e.start <= last and e.end >= first]
    if not hits:
        return None
    lo, hi = hits[0], hits[-1]
    while entries[lo].start > first and lo > 0 and _contiguous(entries[lo - 1], entries[lo]):
        lo -= 1
    while entries[hi].end < last and hi + 1 < len(entries) and _contiguous(entries[hi],
                                                                        entries[hi + 1]):
        hi += 1
    return entries[lo:hi + 1]


def _one_per_start(entries):
    """A product listed twice for one time (plain and compressed copies) counts once."""
    kept: dict[dt.datetime, Sp3Entry] = {}
    for e in entries:
        kept.setdefault(e.start, e)
    return sorted(kept.values(), key=lambda e: e.start)


def choose_sp3(entries, first: dt.datetime, last: dt.datetime) -> tuple[str, ...]:
    """The best-covering chain over all products: most of the span covered, then the
    fewest files, then the product name, so that the choice never depends on order."""
    products: dict[str, list[Sp3Entry]] = {}
    for e in entries:
        products.setdefault(e.product, []).append(e)
    best = None
    for product, group in sorted(products.items()):
        chain = _chain(_one_per_start(group), first, last)
        if chain is None:
            continue
        covered = (min(last, chain[-1].end) - max(first, chain[0].start)).total_seconds()
        score = (-round(covered), len(chain), product)
        if best is None or score < best[0]:
            best = (score, chain)
    return tuple(e.source for e in best[1]) if best else ()


def choose_nav(entries, day: dt.date, site: str | None) -> str | None:
    """The station's own navigation file of that day, else a merged broadcast file,
    else any mixed one; mixed files first within each of these."""
    today = [e for e in entries if e.day == day]

    def pick(group):
        group = sorted(group, key=lambda e: (e.system != "M", e.system, e.source))
        return group[0].source if group else None

    own = [e for e in today if site and same_site(e.site, site)]
    return (pick(own) or pick([e for e in today if e.broadcast])
            or pick([e for e in today if e.system == "M"]))


def match(catalogue: OrbitCatalogue | None, first: dt.datetime, last: dt.datetime,
          site: str | None) -> OrbitPlan:
    if catalogue is None:
        return OrbitPlan()
    return OrbitPlan(choose_sp3(catalogue.sp3, first, last),
                     choose_nav(catalogue.nav, first.date(), site))
