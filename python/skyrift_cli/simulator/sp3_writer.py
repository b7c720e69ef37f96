"""SP3-d orbit file writer for the simulated constellations (positions in km)."""
from __future__ import annotations

import datetime as dt
from pathlib import Path

import numpy as np

from .orbits import satellite_ecef

GPS_EPOCH = dt.datetime(1980, 1, 6)
MJD_EPOCH = dt.datetime(1858, 11, 17)
SP3_INTERVAL = 900.0
MARGIN = 2 * 3600.0  # lets the 9-point interpolation stay centred at the ends


def sp3_times(sim) -> np.ndarray:
    """Seconds (relative to the simulation start) of the tabulated epochs."""
    first = np.floor((sim.times[0] - MARGIN) / SP3_INTERVAL) * SP3_INTERVAL
    last = np.ceil((sim.times[-1] + MARGIN) / SP3_INTERVAL) * SP3_INTERVAL
    return np.arange(first, last + SP3_INTERVAL / 2, SP3_INTERVAL)


def day_times(sim, first: dt.date, last: dt.date) -> np.ndarray:
    """Seconds (relative to the simulation start) of a daily product's epochs,
    00:00 to 23:45, from day first through day last."""
    midnight = dt.datetime.combine(first, dt.time())
    start = (midnight - sim.config.start).total_seconds()
    count = ((last - first).days + 1) * round(86400.0 / SP3_INTERVAL)
    return start + SP3_INTERVAL * np.arange(count)


def _epoch_line(e: dt.datetime) -> str:
    return (f"*  {e.year:4d} {e.month:2d} {e.day:2d} {e.hour:2d} {e.minute:2d}"
            f" {e.second + e.microsecond / 1e6:11.8f}\n")


def _header(sim, times: np.ndarray, sats: list[str]) -> str:
    first = sim.epoch(times[0])
    gps = first - GPS_EPOCH
    week, sow = divmod(gps.total_seconds(), 7 * 86400.0)
    mjd = (first - MJD_EPOCH).total_seconds() / 86400.0
    lines = [
        f"#dP{first.year:4d} {first.month:2d} {first.day:2d} {first.hour:2d} {first.minute:2d}"
        f" {first.second:11.8f} {len(times):7d} ORBIT IGS20 FIT  SKYR\n",
        f"## {int(week):4d} {sow:15.8f} {SP3_INTERVAL:14.8f} {int(mjd):5d} {mjd % 1:15.13f}\n",
    ]
    for i in range(0, max(len(sats), 1), 17):
        chunk = sats[i:i + 17]
        lead = f"+  {len(sats):3d}   " if i == 0 else "+        "
        lines.append(lead + "".join(chunk) + "  0" * (17 - len(chunk)) + "\n")
    for i in range(0, max(len(sats), 1), 17):
        lines.append("++       " + "  0" * 17 + "\n")
    lines += ["%c M  cc GPS ccc cccc cccc cccc cccc ccccc ccccc ccccc ccccc\n",
              "%c cc cc ccc ccc cccc cccc cccc cccc ccccc ccccc ccccc ccccc\n",
              "%f  1.2500000  1.025000000  0.00000000000  0.000000000000000\n",
              "%f  0.0000000  0.000000000  0.00000000000  0.000000000000000\n",
              "%i    0    0    0    0      0      0      0      0         0\n",
              "%i    0    0    0    0      0      0      0      0         0\n",
              "/* skyrift-mp simulated orbits: circular Keplerian, GPS time\n"]
    return "".join(lines)


def write_sp3(path: Path, sim, times: np.ndarray | None = None) -> None:
    """Tabulate every satellite at times (seconds after the simulation start; by
    default the observation span with two hours to spare on either side)."""
    times = sp3_times(sim) if times is None else times
    orbits = sorted(sim.orbits, key=lambda o: o.sat)
    positions = {o.sat: satellite_ecef(o, times + sim.orbit_offset) / 1000.0 for o in orbits}
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write(_header(sim, times, [o.sat for o in orbits]))
        for k, seconds in enumerate(times):
            out.write(_epoch_line(sim.epoch(seconds)))
            for o in orbits:
                x, y, z = positions[o.sat][k]
                out.write(f"P{o.sat}{x:14.6f}{y:14.6f}{z:14.6f}{0.0:14.6f}\n")
        out.write("EOF\n")
