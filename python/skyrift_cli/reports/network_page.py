"""The network page of a batch (template network.html.j2): a station x day matrix
coloured by the flags of the metric the reader picks, trend charts per station, and
links to every day's page, which are written beside it.

The figures are the stored quality reports' own (teqc's summary per system and its
flags); nothing is judged here.
"""
from __future__ import annotations

import datetime as dt
import json
from pathlib import Path

from ..analysis.systems import system_rank
from .batch_results import BatchResults, StationDay
from .day_page import DayInputs, write_day_page
from .network_figures import trend_svg
from .render import safe, write_page

# key in the qc rows, flag column, label, decimals
METRICS = (
    ("system_completeness", "flag_completeness", "Completeness (%)", 1),
    ("mp1", "flag_mp1", "MP1 RMS (m)", 2),
    ("mp2", "flag_mp2", "MP2 RMS (m)", 2),
    ("system_obs_per_slip", "flag_obs_per_slip", "Observations per slip", 0),
)
DAYS = "days"  # folder of the day pages beside the network page


def day_page_path(day: StationDay) -> str:
    """Where a day's page goes, relative to the network page."""
    return f"{DAYS}/{day.report_path.parent.name}/{day.name}.html"


def calendar(days: list[str]) -> list[str]:
    """Every day from the first to the last, so that a day without data shows as one."""
    known = sorted(d for d in set(days) if d != "unknown")
    if not known:
        return sorted(set(days))
    first, last = (dt.date.fromisoformat(d) for d in (known[0], known[-1]))
    span = [str(first + dt.timedelta(days=k)) for k in range((last - first).days + 1)]
    return span + (["unknown"] if "unknown" in days else [])


def matrix_data(results: BatchResults) -> dict:
    """What the page's script draws the matrix from: per station and day, the chosen
    file's page and per system each metric's value and flag."""
    cells: dict[str, dict] = {}
    systems: set[str] = set()
    for day in results.days:
        key = f"{day.station}|{day.day}"
        if key in cells and cells[key]["epochs"] >= day.epochs:
            continue  # several files of a station-day: the matrix shows the fullest
        values = {}
        for system, row in day.systems().items():
            systems.add(system)
            values[system] = {metric: [row[metric], row[flag]] for metric, flag, _, _ in METRICS}
        cells[key] = {"page": day_page_path(day), "file": Path(day.file).name,
                      "epochs": day.epochs, "values": values}
    return {
        "stations": sorted({d.station for d in results.days}),
        "days": calendar([d.day for d in results.days]),
        "systems": sorted(systems, key=lambda s: system_rank(s)),
        "metrics": [{"key": m, "label": label, "digits": digits} for m, _, label, digits in METRICS],
        "cells": cells,
    }


def trends(results: BatchResults) -> list[dict]:
    by_station: dict[str, list[StationDay]] = {}
    for day in results.days:
        by_station.setdefault(day.station, []).append(day)
    return [{"station": station, "days": len(days), "svg": safe(trend_svg(station, days))}
            for station, days in sorted(by_station.items())]


def day_rows(results: BatchResults) -> list[dict]:
    rows = []
    for day in results.days:
        first = day.rows[0]
        flags = [f"{s}: " + ", ".join(f"{name.removeprefix('flag_')} {row[name]}"
                                     for _, name, _, _ in METRICS if row[name] not in (None, "pass"))
                 for s, row in day.systems().items()]
        judged = any(row[name] is not None for row in day.systems().values()
                     for _, name, _, _ in METRICS)
        rows.append({"station": day.station, "day": day.day, "page": day_page_path(day),
                     "file": Path(day.file).name, "epochs": day.epochs,
                     "completeness": "–" if first["epochs_completeness"] is None
                     else f"{first['epochs_completeness']:.1f}",
                     "gaps": first["gaps"], "clock_jumps": "–" if first["clock_jumps"] is None
                     else first["clock_jumps"],
                     "flags": "; ".join(f for f in flags if not f.endswith(": "))
                     or ("pass" if judged else "not judged")})
    return rows


def write_network(results: BatchResults, folder: Path, progress=None) -> list[Path]:
    """The day pages, then the network page (index.html) that links them."""
    folder = Path(folder)
    written = []
    for day in results.days:
        if progress:
            progress.step(f"writing the page of {day.station} {day.day}")
        inputs = DayInputs(day.load_report(), Path(day.file).name, results.estimates(day),
                           orbit_files=[], back_link="../../index.html")
        written.append(write_day_page(folder / day_page_path(day), inputs))
    if progress:
        progress.step("writing the network page")
    data = matrix_data(results)
    index = write_page(folder / "index.html", "network.html.j2",
                       title=f"Network quality — {len(data['stations'])} stations, "
                       f"{len(results.days)} station-days",
                       source=str(results.out), matrix_json=safe(_script_json(data)),
                       metrics=data["metrics"], systems=data["systems"], trends=trends(results),
                       days=day_rows(results), failures=results.failures)
    return [index, *written]


def _script_json(data: dict) -> str:
    """JSON safe inside a <script> element: no "</" can close it."""
    return json.dumps(data, separators=(",", ":"), allow_nan=False).replace("</", "<\\/")
