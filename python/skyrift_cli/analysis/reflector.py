"""Reflector heights (GNSS interferometric reflectometry) of an observation file: run, table, CSV."""
from __future__ import annotations

import csv
from pathlib import Path

import numpy as np

from ..errors import CliError


def load_orbits(sp3_path, nav_path):
    """(SP3 data or None, navigation data or None) read from the files given."""
    from .inputs import load_nav, read_sp3

    return (read_sp3(sp3_path) if sp3_path else None,
            load_nav(nav_path) if nav_path else None)


def run_rh(obs_path, orbit, receiver=None, options=None):
    """Read the observations and run reflector_heights; options are its keyword arguments."""
    import skyrift_mp as sk

    from .inputs import load_obs

    obs = load_obs(obs_path)
    ecef = sk.Ecef(*receiver) if receiver else None
    try:
        return obs, sk.reflector_heights(obs, orbit, ecef, **(options or {}))
    except ValueError as exc:
        raise CliError(str(exc)) from None


def rh_summary(name: str, result, sources=None) -> str:
    """Per-signal table, rejections, daily height; with `sources` (see orbits.orbit_sources)
    the orbit that placed each system."""
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
