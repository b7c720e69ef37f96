"""Reading the user's files with messages that say what is wrong."""
from __future__ import annotations

import datetime as dt
from pathlib import Path

import skyrift_mp as sk

from ..errors import CliError


def existing_file(path: str | Path) -> Path:
    p = Path(path)
    if not p.exists():
        raise CliError(f"{p}: no such file")
    if not p.is_file():
        raise CliError(f"{p}: not a regular file")
    return p


def _header_problem(p: Path) -> str | None:
    """What the file's first line, as written, says against observation data, or None.
    Only a line of plain text is judged: compressed or packed input is the reader's to
    recognise and decode."""
    try:
        with open(p, "rb") as f:
            first = f.readline(200)
    except OSError:
        return None  # the reader reports what is wrong with the file
    line = first.rstrip(b"\r\n")
    if not (line.isascii() and line.decode("ascii").isprintable()):
        return None
    label = line[60:].decode("ascii").upper()
    if "RINEX VERSION" in label and line[20:21].upper() not in (b"O", b" "):
        return f"a RINEX file of type '{line[20:40].decode('ascii').strip()}', not observation data"
    if "RINEX VERS" not in label:  # neither a RINEX nor a Compact RINEX first line
        return "not a RINEX observation file (no RINEX VERSION / TYPE line first)"
    return None


def load_obs(path: str | Path):
    """Read a RINEX observation file (plain, gzip, .Z or compact RINEX); an unreadable or
    empty one is an error. A file damaged after some epochs gives those epochs, and
    damage_text tells what stopped the read."""
    p = existing_file(path)
    if (problem := _header_problem(p)) is not None:
        raise CliError(f"{p}: {problem}")
    return _read_checked(lambda: sk.read_rinex_obs(str(p), partial=True), p)


def _read_checked(read, label):
    """Run a partial read; a failed read, damage before the first epoch or a file without
    observations is an error."""
    try:
        obs = read()
    except OSError as exc:
        raise CliError(f"{label}: not a RINEX observation file, or a damaged one ({exc})") from None
    if obs.num_epochs == 0 and obs.damage is not None:
        raise CliError(f"{label}: not a RINEX observation file, or a damaged one ({obs.damage})")
    if obs.num_epochs == 0:
        raise CliError(f"{label}: no observation epochs (is it a RINEX observation file?)")
    if obs.num_satellites == 0:
        raise CliError(f"{label}: no satellite observations in {obs.num_epochs} epochs")
    return obs


def damage_text(obs) -> str | None:
    """For a partially read file, where the read stopped and why; None for a whole one."""
    if obs.damage is None:
        return None
    return (f"the read stopped at the damage after {obs.num_epochs:,} epochs (the last at "
            f"{obs.last_epoch().to_iso()}): {obs.damage}")


def epoch_datetime(epoch) -> dt.datetime:
    """Calendar fields of a module Epoch as a naive datetime (file time scale)."""
    whole = int(epoch.second)
    return (dt.datetime(epoch.year, epoch.month, epoch.day, epoch.hour, epoch.minute)
            + dt.timedelta(seconds=whole, microseconds=round((epoch.second - whole) * 1e6)))


def sp3_span(sp3, path: Path) -> tuple[dt.datetime, dt.datetime] | None:
    """Earliest and latest orbit record of an SP3 file, or None when it has none."""
    first, last = sp3.first_epoch(), sp3.last_epoch()
    if first is None:
        return None
    try:
        return epoch_datetime(first), epoch_datetime(last)
    except (ValueError, OverflowError):  # the reader keeps impossible dates as written
        raise CliError(f"{path}: orbit records dated outside the calendar "
                       f"({_as_written(first)} to {_as_written(last)})") from None


def _as_written(epoch) -> str:
    return (f"{epoch.year:04d}-{epoch.month:02d}-{epoch.day:02d} "
            f"{epoch.hour:02d}:{epoch.minute:02d}")


def read_sp3(path: str | Path):
    """Read an SP3 file; an unreadable one is an error."""
    p = existing_file(path)
    try:
        return sk.read_sp3(str(p))
    except OSError as exc:
        raise CliError(f"{p}: not a readable SP3 file ({exc})") from None


def load_sp3(path: str | Path, obs):
    """Read an SP3 file and check that it covers some of the observation span. Partial
    coverage is allowed: the analyses then warn with the share covered (see
    orbits.warnings_as_notes)."""
    p = Path(path)
    sp3 = read_sp3(p)
    span = sp3_span(sp3, p)
    if sp3.num_satellites == 0 or span is None:
        raise CliError(f"{p}: no SP3 orbit records (is it an SP3 file?)")
    check_orbit_day(sp3, p, obs)
    return sp3


def load_nav(path: str | Path, obs=None):
    """Read a RINEX navigation file (broadcast ephemerides); one without any usable
    ephemeris is an error, and so is one for another day than `obs` when given."""
    p = existing_file(path)
    try:
        nav = sk.read_rinex_nav(str(p))
    except OSError as exc:
        raise CliError(f"{p}: not a readable RINEX navigation file ({exc})") from None
    if nav.num_satellites == 0:
        raise CliError(f"{p}: no usable ephemerides (is it a RINEX navigation file?)")
    if obs is not None:
        check_orbit_day(nav, p, obs)
    return nav


def check_orbit_day(orbit, path: Path, obs) -> None:
    """One rule for SP3 and navigation files, the module's own: an orbit that gives
    positions for none of the observation span (a file of another day) is refused."""
    span = orbit.covered_span()
    if span is None:
        raise CliError(f"{path}: no satellite has the nine orbit records that interpolation needs")
    try:
        first, last = epoch_datetime(span[0]), epoch_datetime(span[1])
    except (ValueError, OverflowError):
        raise CliError(f"{path}: orbit dated outside the calendar") from None
    start, end = epoch_datetime(obs.first_epoch()), epoch_datetime(obs.last_epoch())
    start, end = min(start, end), max(start, end)
    # By duration, as the module counts coverage; a single epoch must lie inside.
    overlaps = min(end, last) > max(start, first) if end > start else first <= start <= last
    if not overlaps:
        raise CliError(f"{path} covers {first:%Y-%m-%d %H:%M} to {last:%Y-%m-%d %H:%M}, "
                       f"but the observations run {start:%Y-%m-%d %H:%M} to {end:%Y-%m-%d %H:%M}")


def receiver_position(obs, given: list[float] | None):
    """The --receiver position, else the header's approximate position."""
    if given is not None:
        return sk.Ecef(*given)
    pos = obs.approx_position
    if pos is None or (pos.x, pos.y, pos.z) == (0.0, 0.0, 0.0):
        raise CliError("the observation header has no APPROX POSITION XYZ; "
                       "give the receiver with --receiver X Y Z (metres, ECEF)")
    return pos


RECEIVER_DISTANCE_NOTE_M = 1000.0


def receiver_note(obs, given: list[float] | None) -> str | None:
    """A note when --receiver lies more than 1 km from the header's position: a sign or
    unit slip there makes every look angle wrong without any error."""
    pos = obs.approx_position
    if given is None or pos is None or (pos.x, pos.y, pos.z) == (0.0, 0.0, 0.0):
        return None
    distance = sk.Ecef(*given).distance(pos)
    if not distance > RECEIVER_DISTANCE_NOTE_M:
        return None
    return (f"--receiver lies {distance / 1000.0:.1f} km from the header's APPROX POSITION XYZ "
            f"({pos.x:.1f} {pos.y:.1f} {pos.z:.1f}); check its signs and units")


def load_obs_bytes(data: bytes, name: str, label: str):
    """load_obs for file contents in memory: name (its extension) tells the reader the
    compression, label names the source in messages."""
    return _read_checked(lambda: sk.read_rinex_obs_bytes(data, name, partial=True), label)
