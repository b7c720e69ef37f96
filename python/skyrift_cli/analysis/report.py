"""Text tables, CSV and JSON output of the analyses."""
from __future__ import annotations

import json
from dataclasses import asdict
from pathlib import Path

import numpy as np

from .orbits import orbit_source_line


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


def multipath_summary(run) -> str:
    where = (f"elevations from {' and '.join(p.name for p in run.orbit_files)}, cutoff {run.cutoff:g} deg"
             if run.orbit_files else "no orbit, elevations unknown")
    lines = [f"Code multipath of {run.obs_path.name} ({where})", "",
             multipath_table(run) if run.statistics else "no multipath estimates", ""]
    events = {(s["satellite"], s["epoch"]) for s in run.cycle_slips}
    lines.append(f"Cycle slips: {len(run.cycle_slips)} detections at {len(events)} "
                 "satellite epochs")
    if run.orbit_sources:
        lines.append(orbit_source_line(run.orbit_sources))
    if run.without_orbit:
        lines.append("No orbit for: " + " ".join(run.without_orbit))
    lines += [f"Note: {n}" for n in run.notes]
    return "\n".join(lines)


# Epochs are GPS time (the observation file's time scale): said by the column's name, and
# written without the Z that would mark them as UTC.
CSV_HEADER = "satellite,signal,epoch_gps,mp_m,elevation_deg,azimuth_deg,snr_dbhz\n"
CSV_ROW = "%s,%s,%s,%.4f,%.3f,%.3f,%s\n"
CSV_BLOCK = 4096  # rows formatted by one % operation


def write_estimates_csv(path: Path, table) -> None:
    """One line per estimate. Columns with few distinct values (times, SNR) are
    formatted once per value; the rest a block of rows per % operation, so that a day of
    1 Hz estimates takes a fraction of a second."""
    from .multipath import iso_texts

    snr, snr_index = np.unique(table.snr, return_inverse=True)
    snr_text = np.array(["" if np.isnan(v) else f"{v:.3f}" for v in snr.tolist()],
                        dtype=object)[snr_index.reshape(-1)]
    columns = [table.satellite.astype(object), table.key.astype(object), iso_texts(table.time, zone=""),
               table.mp, table.elevation, table.azimuth, snr_text]
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
        "statistics": [asdict(s) for s in run.statistics],
        "cycle_slips": run.cycle_slips,
        "cycle_slip_counts": dict(sorted(run.cycle_slip_counts.items())),
        "notes": run.notes,
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
