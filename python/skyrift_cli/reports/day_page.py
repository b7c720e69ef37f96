"""The HTML page of one station-day: summary with flags, completeness per signal, the
availability timeline, multipath and SNR per signal (template day.html.j2).

A page is made from the quality report's dict and, where at hand, the observations
behind it: the qc command has them all; the report command has the stored dict and,
when the batch kept them, the multipath estimates.
"""
from __future__ import annotations

from dataclasses import dataclass, field
from pathlib import Path

from ..analysis.quality import flag_text, gps_text
from . import day_figures
from .render import safe, write_page

FLAG_NAMES = ("completeness", "mp1", "mp2", "obs_per_slip")


@dataclass
class DayInputs:
    report: dict  # QualityReport.to_dict()
    source: str  # the observation file, as named to the user
    estimates: dict | None = None  # multipath estimate columns (AnalysisResults.to_numpy())
    snr: dict | None = None  # QualityReport.snr_to_numpy()
    orbit_files: list[str] = field(default_factory=list)
    notes: list[str] = field(default_factory=list)
    back_link: str | None = None  # the network page, relative to this one


def day_inputs_of(qc_run) -> DayInputs:
    """Everything a page can show, from a live QualityReport of the qc command."""
    report = qc_run.report
    multipath = report.multipath
    return DayInputs(report.to_dict(), qc_run.obs_path.name,
                     multipath.to_numpy() if multipath is not None else None,
                     report.snr_to_numpy(), [p.name for p in qc_run.orbit_files],
                     list(qc_run.notes))


def _fmt(value, digits: int) -> str:
    return "–" if value is None else f"{value:,.{digits}f}"


def summary_rows(report: dict) -> list[dict]:
    """teqc's summary line per system, its fields as cells, each judged figure with its
    flag."""
    header = report["summary_header"].split()
    rows = []
    for row in report["summary"]:
        fields = row["line"].split()
        # the first and last epochs are date and time: two words each
        cells = [fields[0], f"{fields[1]} {fields[2]}", f"{fields[3]} {fields[4]}", *fields[5:]]
        flags = {header.index(name): row["flags"][key] for name, key in
                 (("%", "completeness"), ("mp1", "mp1"), ("mp2", "mp2"), ("o/slps", "obs_per_slip"))}
        rows.append({"cells": [{"text": text, "flag": flags.get(i)} for i, text in enumerate(cells)],
                     "flags": flag_text(row["flags"])})
    return rows


def signal_rows(report: dict) -> list[dict]:
    return [{"system": s["system"], "code": s["code"], "observed": f"{s['observed']:,}",
             "expected": _fmt(s["expected"], 0), "present": _fmt(s["present"], 0),
             "completeness": s["completeness"], "completeness_text": _fmt(s["completeness"], 1),
             "tracking": s["completeness_tracking"],
             "tracking_text": _fmt(s["completeness_tracking"], 1),
             "slips": _fmt(s["slips"], 0), "obs_per_slip": _fmt(s["obs_per_slip"], 0),
             "mp_rms": _fmt(s["mp_rms"], 3), "mp_wrms": _fmt(s["mp_wrms"], 3),
             "snr_mean": _fmt(s["snr_mean"], 1)} for s in report["signals"]]


def facts(day: DayInputs) -> list[tuple[str, str]]:
    """The file's header facts and epoch figures, label and text."""
    f, e, options = day.report["file"], day.report["epochs"], day.report["options"]
    jumps = day.report["clock_jumps"]
    expected = "" if e["expected"] is None else f" of {e['expected']:,}"
    share = "" if e["completeness"] is None else f" ({e['completeness']:.1f} %)"
    return [
        ("File", day.source), ("Station", f["station"] or "–"),
        ("Marker number", f["marker_number"] or "–"),
        ("Receiver", " ".join(x for x in (f["receiver"], f["receiver_number"]) if x) or "–"),
        ("Antenna", f["antenna"] or "–"), ("RINEX", f["version"] or "–"),
        ("First epoch", gps_text(f["first"]) + " GPS"), ("Last epoch", gps_text(f["last"]) + " GPS"),
        ("Interval", "–" if f["interval"] is None else f"{f['interval']:g} s"),
        ("Epochs", f"{e['present']:,}{expected}{share}"),
        ("Gaps / holes", f"{len(e['gaps'])} / {e['holes']}"),
        ("Clock jumps", "no carrier phases" if jumps is None else str(len(jumps))),
        ("Orbit", ", ".join(day.orbit_files) or (options["orbit"] or "none")),
        ("Cutoff", f"{options['cutoff']:g}°" if options["orbit"] else "– (no elevations)"),
    ]


def thresholds_text(report: dict) -> str:
    t = report["options"]["thresholds"]
    return "; ".join(f"{name} warn {t[name][0]:g}, fail {t[name][1]:g}" for name in FLAG_NAMES
                     if name in t)


def overall_flag(report: dict) -> str:
    """The worst flag of the day, for the page's headline."""
    verdicts = {v for row in report["summary"] for v in row["flags"].values() if v}
    return next((v for v in ("fail", "warn", "pass") if v in verdicts), "none")


def context(day: DayInputs) -> dict:
    report = day.report
    timeline = safe(day_figures.availability_svg(report))
    mp_cards = day_figures.multipath_cards(day.estimates, report["signals"])
    snr_cards = day_figures.snr_cards(day.snr, report["snr_bins"])
    for card in mp_cards + snr_cards:
        card["svg"] = safe(card["svg"])
    return {
        "title": f"{report['file']['station'] or day.source} — {gps_text(report['file']['first'])[:10]}",
        "day": day, "facts": facts(day), "summary_header": report["summary_header"].split(),
        "summary_rows": summary_rows(report), "overall": overall_flag(report),
        "thresholds": thresholds_text(report), "signals": signal_rows(report),
        "gaps": [(gps_text(g["start"]), gps_text(g["end"]), f"{g['seconds']:g}")
                 for g in report["epochs"]["gaps"]],
        "clock_jumps": [(gps_text(j["time"]), f"{j['milliseconds']:+d}")
                        for j in report["clock_jumps"] or []],
        "timeline": timeline, "mp_cards": mp_cards, "snr_cards": snr_cards,
        "missing": report["missing"], "notes": day.notes,
        "has_estimates": day.estimates is not None, "schema": report["schema"],
    }


def write_day_page(path: Path, day: DayInputs) -> Path:
    return write_page(path, "day.html.j2", **context(day))
