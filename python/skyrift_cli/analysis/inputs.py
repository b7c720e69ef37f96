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
    """Read an SP3 file and check that it covers the observation span.

    Returns the orbit and a list of notes (partial coverage is allowed: the
    interpolation then extrapolates at the ends).
    """
    p = Path(path)
    sp3 = read_sp3(p)
    span = sp3_span(sp3, p)
    if sp3.num_satellites == 0 or span is None:
        raise CliError(f"{p}: no SP3 orbit records (is it an SP3 file?)")
    start, end = epoch_datetime(obs.first_epoch()), epoch_datetime(obs.last_epoch())
    if end < span[0] or start > span[1]:
        raise CliError(f"{p} covers {span[0]:%Y-%m-%d %H:%M} to {span[1]:%Y-%m-%d %H:%M}, "
                       f"but the observations run {start:%Y-%m-%d %H:%M} to {end:%Y-%m-%d %H:%M}")
    notes = []
    if start < span[0] or end > span[1]:
        notes.append(f"{p.name} covers {span[0]:%Y-%m-%d %H:%M} to {span[1]:%Y-%m-%d %H:%M} only; "
                     "satellite positions outside that are extrapolated")
    return sp3, notes


def load_nav(path: str | Path):
    """Read a RINEX navigation file (broadcast ephemerides); one without any usable
    ephemeris is an error."""
    p = existing_file(path)
    try:
        nav = sk.read_rinex_nav(str(p))
    except OSError as exc:
        raise CliError(f"{p}: not a readable RINEX navigation file ({exc})") from None
    if nav.num_satellites == 0:
        raise CliError(f"{p}: no usable ephemerides (is it a RINEX navigation file?)")
    return nav


def receiver_position(obs, given: list[float] | None):
    """The --receiver position, else the header's approximate position."""
    if given is not None:
        return sk.Ecef(*given)
    pos = obs.approx_position
    if pos is None or (pos.x, pos.y, pos.z) == (0.0, 0.0, 0.0):
        raise CliError("the observation header has no APPROX POSITION XYZ; "
                       "give the receiver with --receiver X Y Z (metres, ECEF)")
    return pos


def load_obs_bytes(data: bytes, name: str, label: str):
    """load_obs for file contents in memory: name (its extension) tells the reader the
    compression, label names the source in messages."""
    return _read_checked(lambda: sk.read_rinex_obs_bytes(data, name, partial=True), label)
