"""Text tables, CSV and JSON output of the analyses."""
from __future__ import annotations

import json
from dataclasses import asdict
from pathlib import Path

import numpy as np

from .orbits import SYSTEM_NAMES, orbit_source_line
from .systems import full_name, in_display_order


def format_table(headers: list[str], rows: list[list], aligns: str) -> str:
    """Plain text table; aligns holds '<' or '>' per column."""
    cells = [[str(c) for c in row] for row in rows]
    widths = [max([len(h)] + [len(r[i]) for r in cells]) for i, h in enumerate(headers)]
    fmt = "  ".join(f"{{:{a}{w}}}" for a, w in zip(aligns, widths))
    lines = [fmt.format(*headers)] + [fmt.format(*r) for r in cells]
    return "\n".join(line.rstrip() for line in lines)


def multipath_table(run) -> str:
    rows = [[s.signal, s.count, f"{s.rms:.4f}", f"{s.weighted_rms:.4f}", s.cycle_slips]
            for s in run.statistics]
    return format_table(["signal", "count", "RMS [m]", "wRMS [m]", "slips"], rows, "<>>>>")


def system_list(letters) -> str:
    return ", ".join(full_name(letter) for letter in in_display_order(letters))


def empty_lines(reasons: dict[str, str]) -> list[str]:
    """Why the file, then each signal, gave no estimates."""
    lines = [f"No estimates: {reasons['file']}"] if "file" in reasons else []
    return lines + [f"No estimates from {key}: {why}" for key, why in sorted(reasons.items())
                    if key != "file"]


def slip_line(run) -> list[str]:
    events = {(s["satellite"], s["epoch"]) for s in run.cycle_slips}
    lines = [f"Cycle slips of the analysed systems ({system_list(run.systems)}): "
             f"{len(run.cycle_slips)} detections at {len(events)} satellite epochs"]
    if run.slips_left_out:
        lines.append(f"Left out: {sum(run.slips_left_out.values())} detections on systems not "
                     f"analysed ({system_list(run.slips_left_out)})")
    return lines


def without_position_lines(without_position: dict[str, int]) -> list[str]:
    """"BeiDou: 56,471 estimates without orbit position, left out", per system (keyed
    GPS, GLO, ... as the module counts them)."""
    by_letter = {letter: without_position[name] for letter, name in SYSTEM_NAMES.items()
                 if without_position.get(name)}
    return [f"{full_name(letter)}: {by_letter[letter]:,} estimates without orbit position, left out"
            for letter in in_display_order(by_letter)]


def multipath_summary(run) -> str:
    where = (f"elevations from {' and '.join(p.name for p in run.orbit_files)}, cutoff {run.cutoff:g} deg"
             if run.orbit_files else "no orbit, elevations unknown")
    lines = [f"Code multipath of {run.obs_path.name} ({where})"]
    if run.damage:
        lines.append(f"Damaged file: {run.damage}")
    lines += ["",
             multipath_table(run) if run.statistics else "no multipath estimates", ""]
    lines += empty_lines(run.empty_reasons)
    lines += without_position_lines(run.without_position)
    lines += slip_line(run)
    if run.orbit_sources:
        lines.append(orbit_source_line(run.orbit_sources))
    if run.without_orbit:
        lines.append("No orbit for: " + " ".join(run.without_orbit))
    lines += [f"Note: {n}" for n in run.notes]
    return "\n".join(lines)


# Epochs are GPS time (the observation file's time scale): said by the column's name, and
# written without the Z that would mark them as UTC.
CSV_HEADER = "satellite,signal,epoch_gps,mp_m,elevation_deg,azimuth_deg,snr_dbhz\n"
CSV_ROW = "%s,%s,%s,%.4f,%s,%s,%s\n"
CSV_BLOCK = 4096  # rows formatted by one % operation


def _texts(values: np.ndarray) -> np.ndarray:
    """Three decimals, formatted once per distinct value; empty where unknown (NaN)."""
    distinct, index = np.unique(values, return_inverse=True)
    return np.array(["" if np.isnan(v) else f"{v:.3f}" for v in distinct.tolist()],
                    dtype=object)[index.reshape(-1)]


def write_estimates_csv(path: Path, table) -> None:
    """One line per estimate; an unknown elevation, azimuth or SNR is left empty.
    Columns with few distinct values (times, angles, SNR) are formatted once per value;
    the rest a block of rows per % operation, so that a day of 1 Hz estimates takes a
    fraction of a second."""
    from .multipath import iso_texts

    columns = [table.satellite.astype(object), table.key.astype(object), iso_texts(table.time, zone=""),
               table.mp, _texts(table.elevation), _texts(table.azimuth), _texts(table.snr)]
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(CSV_HEADER)
        for start in range(0, len(table), CSV_BLOCK):
            block = np.empty((min(CSV_BLOCK, len(table) - start), len(columns)), dtype=object)
            for j, column in enumerate(columns):
                block[:, j] = column[start:start + CSV_BLOCK]
            f.write((CSV_ROW * block.shape[0]) % tuple(block.ravel().tolist()))


def multipath_json(run) -> dict:
    return {
        "obs": str(run.obs_path),
        "time_scale": "GPS",  # of every epoch below, despite the Z of the module's ISO text
        "sp3": str(run.sp3_path) if run.sp3_path else None,
        "nav": str(run.nav_path) if run.nav_path else None,
        "orbit_sources": run.orbit_sources,
        "receiver_ecef_m": list(run.receiver) if run.receiver else None,
        "elevation_cutoff_deg": run.cutoff,
        "elevations": ({"computed": run.elevations[0], "failed": run.elevations[1]}
                       if run.elevations else None),
        "estimates_without_position": dict(sorted(run.without_position.items())),
        "systems": in_display_order(run.systems),
        "statistics": [asdict(s) for s in run.statistics],
        "empty_reasons": dict(sorted(run.empty_reasons.items())),
        "cycle_slips": run.cycle_slips,
        "cycle_slip_counts": dict(sorted(run.cycle_slip_counts.items())),
        "cycle_slips_left_out": dict(sorted(run.slips_left_out.items())),
        "notes": run.notes,
        "damage": run.damage,
    }


def finite(data):
    """JSON has no NaN or infinity: those become null."""
    if isinstance(data, float):
        return data if np.isfinite(data) else None
    if isinstance(data, dict):
        return {k: finite(v) for k, v in data.items()}
    if isinstance(data, (list, tuple)):
        return [finite(v) for v in data]
    return data


def write_json(path: Path, data) -> None:
    text = json.dumps(finite(data), indent=2, allow_nan=False)
    Path(path).write_text(text + "\n", encoding="utf-8")
