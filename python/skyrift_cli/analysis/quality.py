"""Station-day quality control of one observation file: the module's quality() with the
orbit files the user named, and the report as text.

Every figure comes from the module's QualityReport; this file only reads the inputs
and lays the report out.
"""
from __future__ import annotations

from dataclasses import dataclass, field
from pathlib import Path

import skyrift_mp as sk

from ..defaults import DEFAULT_CUTOFF
from .inputs import load_nav, load_obs, load_sp3
from .orbits import combined, warnings_as_notes
from .report import format_table

LISTED = 10  # gaps and clock jumps listed one by one before "... and N more"


@dataclass
class QualityRun:
    obs_path: Path
    report: object  # skyrift_mp.QualityReport
    orbit_files: list[Path] = field(default_factory=list)
    notes: list[str] = field(default_factory=list)  # warnings of the module, as text


def run_quality(obs_path, sp3_path=None, nav_path=None, cutoff=DEFAULT_CUTOFF) -> QualityRun:
    obs = load_obs(obs_path)
    sp3 = load_sp3(sp3_path, obs) if sp3_path else None
    nav = load_nav(nav_path, obs) if nav_path else None
    report, notes = module_quality(obs, combined(sp3, nav), cutoff)
    orbit_files = [Path(p) for p in (sp3_path, nav_path) if p]
    return QualityRun(Path(obs_path), report, orbit_files, notes)


def module_quality(obs, orbit, cutoff: float):
    """The module's quality control and its warnings (an orbit that covers part of the
    day) as notes."""
    notes: list[str] = []
    with warnings_as_notes(notes):
        report = sk.quality(obs, orbit, cutoff=cutoff)
    return report, notes


def gps_text(iso: str | None) -> str:
    """The module's ISO instant as the command line writes epochs: GPS time, no Z (which
    would mark UTC)."""
    return "-" if iso is None else iso.replace("T", " ").removesuffix("Z").removesuffix(".000")


def _number(value, digits: int) -> str:
    return "-" if value is None else f"{value:.{digits}f}"


def _count(value) -> str:
    return "-" if value is None else f"{value:.0f}"


def flag_text(flags: dict) -> str:
    """"pass" when every judged figure passes, else the others ("mp1 warn, obs_per_slip
    fail"); "-" when nothing could be judged."""
    judged = {name: verdict for name, verdict in flags.items() if verdict is not None}
    if not judged:
        return "-"
    bad = [f"{name} {verdict}" for name, verdict in judged.items() if verdict != "pass"]
    return ", ".join(bad) or "pass"


def summary_block(report) -> list[str]:
    """teqc's summary lines, each followed by its flags."""
    header, *lines = report.summary_lines
    width = max(len(line) for line in report.summary_lines)
    out = [f"{header:<{width}}  flags"]
    for line, row in zip(lines, report.summary):
        out.append(f"{line:<{width}}  {flag_text(row['flags'])}")
    return out


SIGNAL_HEADERS = ["sys", "code", "observed", "expected", "present", "%", "% trk", "slips",
                  "o/slps", "mp rms", "mp wrms", "snr"]


def signal_table(signals: list[dict]) -> str:
    """The per-signal rows: counts, completeness (of every satellite, and of those that
    track the code), slips, multipath (m) and mean SNR (dB-Hz)."""
    rows = [[s["system"], s["code"], s["observed"], _count(s["expected"]), _count(s["present"]),
             _number(s["completeness"], 1), _number(s["completeness_tracking"], 1),
             _count(s["slips"]), _count(s["obs_per_slip"]), _number(s["mp_rms"], 3),
             _number(s["mp_wrms"], 3), _number(s["snr_mean"], 1)] for s in signals]
    return format_table(SIGNAL_HEADERS, rows, "<<" + ">" * 10)


def _listed(items: list[str], what: str) -> list[str]:
    lines = [f"  {item}" for item in items[:LISTED]]
    if len(items) > LISTED:
        lines.append(f"  ... and {len(items) - LISTED} more {what}")
    return lines


def epoch_lines(data: dict) -> list[str]:
    """Epochs, gaps and clock jumps of the report's dict."""
    epochs, facts = data["epochs"], data["file"]
    jumps = data["clock_jumps"]
    expected = "" if epochs["expected"] is None else f" of {epochs['expected']}"
    share = "" if epochs["completeness"] is None else f" ({epochs['completeness']:.1f} %)"
    interval = "-" if facts["interval"] is None else f"{facts['interval']:g} s"
    jump_text = "no carrier phases to find clock jumps" if jumps is None else \
        f"{len(jumps)} clock jump{'s' if len(jumps) != 1 else ''}"
    lines = [f"Epochs: {epochs['present']}{expected}{share}, interval {interval}, "
             f"{len(epochs['gaps'])} gap{'s' if len(epochs['gaps']) != 1 else ''}, "
             f"{epochs['holes']} hole{'s' if epochs['holes'] != 1 else ''}, {jump_text}"]
    lines += _listed([f"gap {gps_text(g['start'])} to {gps_text(g['end'])} ({g['seconds']:g} s)" for g in epochs["gaps"]],
                     "gaps")
    lines += _listed([f"clock jump at {gps_text(j['time'])}: {j['milliseconds']:+d} ms" for j in jumps or []],
                     "clock jumps")
    return lines


def quality_text(run: QualityRun) -> str:
    report = run.report
    data = report.to_dict()
    facts = data["file"]
    where = (f"elevations from {' and '.join(p.name for p in run.orbit_files)}, "
             f"cutoff {report.cutoff:g} deg" if run.orbit_files else "no orbit, elevations unknown")
    lines = [f"Quality of {run.obs_path.name}: {facts['station'] or '-'}, "
             f"{facts['receiver'] or '-'}, {gps_text(facts['first'])} to {gps_text(facts['last'])} GPS "
             f"({where})"]
    if facts["damage"]:
        lines.append(f"Damaged: {facts['damage']} (the epochs before it are reported)")
    lines += epoch_lines(data)
    lines += ["", *summary_block(report), "", signal_table(data["signals"])]
    lines += [f"Missing: {m}" for m in report.missing]
    lines += [f"Note: {n}" for n in run.notes]
    return "\n".join(lines)
