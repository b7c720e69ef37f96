"""One task: one observation file in, its rows out.

analyse_file is a pure function of its arguments (a source, the options and the
orbit catalogue): it reads the file, picks and reads its orbits, runs the multipath
analysis exactly as the multipath command does, and returns plain columns. It never
raises for a bad file: the error becomes the file's row.
"""
from __future__ import annotations

import datetime as dt
import gzip
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path

from ..defaults import DEFAULT_CUTOFF
from . import sources
from .names import site_of, station_id
from .orbits import GZIP_MAGIC, OrbitCatalogue, OrbitPlan, match


@dataclass(frozen=True)
class TaskOptions:
    cutoff: float = DEFAULT_CUTOFF  # degrees, applied where an orbit gives elevations
    estimates: bool = False  # also return every estimate
    qc: bool = False  # also run the quality control (batch/quality.py)


@dataclass
class FileResult:
    """What one task hands back: a row of files.parquet, the file's stats.parquet rows
    as columns, and its estimates as numpy columns when asked for."""
    file: dict
    stats: dict[str, list] = field(default_factory=dict)
    estimates: dict | None = None
    qc: dict[str, list] | None = None  # qc.parquet rows as columns, with --qc
    qc_report: tuple[str, str] | None = None  # path in the output and JSON text, with --qc

    @property
    def ok(self) -> bool:
        return self.file["status"] == "ok"


def file_row(source: str, status: str, message: str, **known) -> dict:
    row = {"file": source, "status": status, "message": message, "station": None,
           "first_epoch": None, "last_epoch": None, "epochs": None, "satellites": None,
           "estimates": None, "empty_reasons": None, "orbit_source": None, "orbit_files": None,
           "damage": None, "seconds": None}
    row.update(known)
    return row


def error_result(source: str, message: str, seconds: float | None = None) -> FileResult:
    return FileResult(file_row(source, "error", message, seconds=seconds))


def describe(exc: BaseException) -> str:
    """The message of an expected failure as it is; of anything else with its kind."""
    from ..errors import CliError

    if isinstance(exc, (CliError, OSError, ValueError)) and str(exc):
        return str(exc)
    return f"{type(exc).__name__}: {exc}" if str(exc) else type(exc).__name__


def analyse_file(source: str, options: TaskOptions = TaskOptions(),
                 catalogue: OrbitCatalogue | None = None) -> FileResult:
    started = time.perf_counter()
    try:
        with tempfile.TemporaryDirectory(prefix="skyrift-batch-") as tmp:
            result = _analyse(source, options, catalogue, Path(tmp))
    except Exception as exc:  # a bad file is a row, never the end of the batch
        message = describe(exc).removeprefix(f"{source}: ")  # the row names the file
        return error_result(source, message, time.perf_counter() - started)
    result.file["seconds"] = time.perf_counter() - started
    return result


def _read_obs(source: str):
    from ..analysis.inputs import load_obs, load_obs_bytes

    if sources.is_url(source):
        return load_obs_bytes(sources.read_bytes(source), sources.name_of(source), source)
    return load_obs(source)


def _datetime(epoch) -> dt.datetime | None:
    from ..analysis.inputs import epoch_datetime

    try:
        return epoch_datetime(epoch) if epoch is not None else None
    except (ValueError, OverflowError):  # impossible dates are kept as written by the reader
        return None


def _has_position(receiver) -> bool:
    return receiver is not None and (receiver.x, receiver.y, receiver.z) != (0.0, 0.0, 0.0)


def _orbit_of(obs, name: str, catalogue, tmp: Path, span, notes: list[str]):
    """The analyzer's orbit argument for this file and the plan of the files read."""
    if catalogue is None:
        return None, OrbitPlan()
    first, last = span
    if first is None or last is None:
        notes.append("epochs outside the calendar: no orbit matched")
        return None, OrbitPlan()
    plan = match(catalogue, min(first, last), max(first, last), site_of(name))
    if not plan.sp3 and not plan.nav:
        notes.append("no orbit file covers these observations: elevations unknown, no cutoff")
        return None, plan
    orbit, plan = load_orbit(plan, tmp, notes)
    if orbit is not None and not _has_position(obs.approx_position):
        notes.append("the header has no APPROX POSITION XYZ: analysed without elevations")
        return None, OrbitPlan()
    return orbit, plan


def reasons_text(reasons: dict[str, str]) -> str | None:
    """The analysis' empty_reasons as one text, the file's first: "file: ...; GPSM2C: ..."."""
    order = sorted(reasons, key=lambda key: (key != "file", key))
    return "; ".join(f"{key}: {reasons[key]}" for key in order) or None


STAT_ATTRIBUTES = ("system", "signal", "code", "count", "rms", "weighted_rms", "mean",
                   "std_dev", "min", "max", "cycle_slips")


def _analyse(source: str, options: TaskOptions, catalogue, tmp: Path) -> FileResult:
    import skyrift_mp as sk

    from ..analysis.inputs import damage_text
    from ..analysis.multipath import KEEP_ALL
    from ..analysis.orbits import warnings_as_notes

    obs = _read_obs(source)
    name = sources.name_of(source)
    station = station_id(name, obs.marker_name)
    damage = damage_text(obs)  # a damaged file gives the epochs before the damage
    span = (_datetime(obs.first_epoch()), _datetime(obs.last_epoch()))
    notes: list[str] = []
    orbit, plan = _orbit_of(obs, name, catalogue, tmp, span, notes)
    if orbit is None:  # as the multipath command: without elevations no cutoff applies
        settings = {"elevation_cutoff": KEEP_ALL}
    else:
        settings = {"orbit": orbit, "receiver": obs.approx_position,
                    "elevation_cutoff": options.cutoff}
    with warnings_as_notes(notes):  # an orbit that covers part of the file
        results = sk.MultipathAnalyzer(obs, **settings).analyze()
    if orbit is not None:
        notes += [f"{system}: {n} estimates without orbit position, left out"
                  for system, n in sorted(results.estimates_without_position_by_system.items())]
    orbit_files = " ".join(sources.name_of(s) for s in (*plan.sp3, plan.nav) if s) or None
    common = {"file": source, "station": station, "first_epoch": span[0],
              "last_epoch": span[1], "interval": obs.interval, "orbit_source": plan.kind,
              "orbit_files": orbit_files, "damage": damage}
    qc = _quality(obs, orbit, options, common, name, notes) if options.qc else (None, None)
    stats = sorted(results.statistics, key=lambda s: s.signal)
    columns: dict[str, list] = {k: [v] * len(stats) for k, v in common.items()}
    columns.update({a: [getattr(s, a) for s in stats] for a in STAT_ATTRIBUTES})
    row = file_row(source, "ok", "; ".join(notes), station=station, first_epoch=span[0],
                   last_epoch=span[1], epochs=obs.num_epochs, satellites=obs.num_satellites,
                   estimates=results.total_estimates(),
                   empty_reasons=reasons_text(results.empty_reasons), orbit_source=plan.kind,
                   orbit_files=orbit_files, damage=damage)
    estimates = dict(results.to_numpy()) if options.estimates else None
    return FileResult(row, columns, estimates, *qc)


def _quality(obs, orbit, options: TaskOptions, common: dict, name: str, notes: list[str]):
    from ..analysis.quality import module_quality
    from .quality import quality_columns, report_path

    report, quality_notes = module_quality(obs, orbit, options.cutoff)
    notes += [n for n in quality_notes if n not in notes]  # the same orbit warns alike
    path = report_path(common["station"], name)
    return quality_columns(report, common, path), (path, report.to_json())


# ---- orbits: read the chosen files, joining neighbouring SP3 files

def _decoded(source: str) -> str | None:
    """The text of a plain or gzip file; None for encodings only the module reads."""
    data = sources.read_bytes(source)
    if data.startswith(GZIP_MAGIC):
        data = gzip.decompress(data)
    elif data[:2] == b"\x1f\x9d":  # .Z: the module reads it, we cannot join it
        return None
    return data.decode("latin-1")


def _epoch_key(line: str):
    fields = line[3:31].split()
    try:
        return tuple(int(f) for f in fields[:5]) + (float(fields[5]),)
    except (ValueError, IndexError):
        return None


def join_sp3(texts: list[str]) -> str:
    """One SP3 text from files in time order: the first header, then every epoch block
    later than the last one kept, so that a record shared at midnight counts once."""
    out: list[str] = []
    last = None
    for k, text in enumerate(texts):
        in_header, keep = True, False
        for line in text.splitlines():
            if line.startswith("*"):
                in_header = False
                key = _epoch_key(line)
                keep = key is not None and (last is None or key > last)
                if keep:
                    last = key
                    out.append(line)
            elif in_header:
                if k == 0:
                    out.append(line)
            elif keep and (line[:1] in ("P", "V") or line[:2] in ("EP", "EV")):
                out.append(line)
    out.append("EOF")
    return "\n".join(out) + "\n"


def _read_sp3(plan_sp3: tuple[str, ...], tmp: Path, notes: list[str]):
    import skyrift_mp as sk

    if len(plan_sp3) > 1:
        texts = [_decoded(s) for s in plan_sp3]
        if all(t is not None for t in texts):
            joined = tmp / "joined.sp3"
            joined.write_text(join_sp3(texts), encoding="latin-1")
            return sk.read_sp3(str(joined)), plan_sp3
        notes.append("compressed (.Z) orbit files cannot be joined: "
                     f"{sources.name_of(plan_sp3[0])} used alone")
        plan_sp3 = plan_sp3[:1]
    return sk.read_sp3(str(sources.local_copy(plan_sp3[0], tmp))), plan_sp3


def load_orbit(plan: OrbitPlan, tmp: Path, notes: list[str]):
    """The analyzer's orbit argument for a plan (SP3, broadcast, or both with SP3
    asked first) and the plan of what was actually read; unreadable files are noted."""
    from ..analysis.inputs import load_nav
    from ..analysis.orbits import combined
    from ..errors import CliError

    sp3 = nav = None
    sp3_used: tuple[str, ...] = ()
    if plan.sp3:
        try:
            sp3, sp3_used = _read_sp3(plan.sp3, tmp, notes)
        except (OSError, ValueError) as exc:
            notes.append(f"orbit {sources.name_of(plan.sp3[0])} not used: {exc}")
        else:
            names = " + ".join(sources.name_of(s) for s in sp3_used)
            if sp3.num_satellites == 0:
                notes.append(f"orbit {names} holds no records")
                sp3, sp3_used = None, ()
    if plan.nav:
        try:
            nav = load_nav(sources.local_copy(plan.nav, tmp))
        except (CliError, OSError, ValueError) as exc:
            notes.append(f"navigation file not used: {exc}")
    return combined(sp3, nav), OrbitPlan(sp3_used, plan.nav if nav is not None else None)
