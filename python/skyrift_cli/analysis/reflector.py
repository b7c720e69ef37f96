"""Reflector heights (GNSS interferometric reflectometry) of an observation file: run, table, CSV."""
from __future__ import annotations

import csv
from dataclasses import dataclass, field
from pathlib import Path

import numpy as np

from ..errors import CliError


def load_orbits(sp3_path, nav_path, obs):
    """(SP3 data or None, navigation data or None) read from the files given; a file that
    covers none of the observations is refused, as the multipath command refuses it."""
    from .inputs import load_nav, load_sp3

    return (load_sp3(sp3_path, obs) if sp3_path else None,
            load_nav(nav_path, obs) if nav_path else None)


@dataclass
class RhRun:
    obs: object
    sp3: object
    result: object
    notes: list[str] = field(default_factory=list)


def run_rh(obs_path, sp3_path=None, nav_path=None, receiver=None, options=None) -> RhRun:
    """Read the observations and orbits and run reflector_heights; options are its
    keyword arguments. Warnings of the module (partial orbit coverage) become notes."""
    import skyrift_mp as sk

    from .inputs import load_obs, receiver_note
    from .orbits import combined, warnings_as_notes

    obs = load_obs(obs_path)
    sp3, nav = load_orbits(sp3_path, nav_path, obs)
    notes = [note] if (note := receiver_note(obs, receiver)) else []
    ecef = sk.Ecef(*receiver) if receiver else None
    try:
        with warnings_as_notes(notes):
            result = sk.reflector_heights(obs, combined(sp3, nav), ecef, **(options or {}))
    except ValueError as exc:
        raise CliError(str(exc)) from None
    return RhRun(obs, sp3, result, notes)


def rh_summary(name: str, result, sources=None, notes=()) -> str:
    """Per-signal table, rejections, daily height; with `sources` (see orbits.orbit_sources)
    the orbit that placed each system, and the notes of the run."""
    from .orbits import orbit_source_line
    from .report import format_table

    arcs, rejected = result.arcs, result.rejected
    signals = sorted(set(arcs["signal"].tolist()) | set(rejected["signal"].tolist()))
    rows = []
    for sig in signals:
        mine = arcs["signal"] == sig
        h = arcs["height"][mine]
        rows.append([sig, int(mine.sum()), int((rejected["signal"] == sig).sum()),
                     f"{np.median(h):.3f}" if h.size else "-", f"{np.std(h):.3f}" if h.size > 1 else "-"])
    lines = [f"Reflector heights — {name}",
             format_table(["signal", "accepted", "rejected", "median RH [m]", "std [m]"], rows, "<>>>>")]
    reasons, counts = np.unique(rejected["reason"], return_counts=True)
    if reasons.size:
        lines.append("Rejected: " + ", ".join(f"{r} {c}" for r, c in zip(reasons, counts)))
    if sources:
        lines.append(orbit_source_line(sources))
    lines += [f"Note: {n}" for n in notes]
    daily = result.daily()
    lines.append("")
    if daily["day"].size:
        lines.append(format_table(
            ["day", "arcs", "mean RH [m]", "median [m]", "std [m]"],
            [[str(d), int(n), f"{m:.3f}", f"{md:.3f}", f"{s:.3f}"]
             for d, n, m, md, s in zip(daily["day"], daily["count"], daily["mean"], daily["median"],
                                       daily["std"])], "<>>>>"))
    else:
        lines.append("Daily height: no day with 10 accepted arcs within 0.25 m of its median")
    return "\n".join(lines)


COLUMNS = ["satellite", "signal", "rising", "time", "azimuth", "min_elevation", "max_elevation",
           "height", "amplitude", "peak_to_noise", "points", "duration", "wavelength"]


def write_rh_csv(path: Path, result) -> None:
    try:
        with open(path, "w", newline="", encoding="utf-8") as f:
            w = csv.writer(f)
            w.writerow(["time_gps" if c == "time" else c for c in COLUMNS] + ["status"])
            for cols, status in ((result.arcs, None), (result.rejected, "reason")):
                for i in range(cols["height"].size):
                    w.writerow([_cell(cols[c][i]) for c in COLUMNS]
                               + ["accepted" if status is None else str(cols[status][i])])
    except OSError as exc:
        raise CliError(f"{path}: cannot write ({exc.strerror})") from None


def _cell(v):
    if isinstance(v, np.datetime64):
        return str(v)  # GPS time, as the column's name says: no Z, which would read as UTC
    if isinstance(v, (np.floating, float)):
        return "" if np.isnan(v) else f"{float(v):.6g}"
    return str(v.item() if hasattr(v, "item") else v)


def demo_line(obs_path, sp3_path, injected_height: float) -> str:
    """The recovered reflector height beside the injected one, for the demo."""
    import skyrift_mp as sk

    result = sk.reflector_heights(sk.read_rinex_obs(str(obs_path)), sk.read_sp3(str(sp3_path)))
    daily = result.daily()
    if not daily["day"].size:
        return (f"Reflector height: injected {injected_height:.3f} m, not recovered "
                f"({result.arcs['height'].size} accepted arcs)")
    found = float(daily["median"][0])
    return (f"Reflector height: injected {injected_height:.3f} m, recovered {found:.3f} m "
            f"(daily median of {int(daily['count'][0])} arcs, {1000 * (found - injected_height):+.1f} mm)")
