"""RINEX 3.04 observation file writer for simulated data."""
from __future__ import annotations

import datetime as dt
from pathlib import Path

import numpy as np

from .signals import GLONASS_CHANNELS, SIGNALS, observation_codes

PROGRAM = "skyrift-mp sim"


def header_line(content: str, label: str) -> str:
    return f"{content:<60.60}{label}\n"


def _epoch_fields(e: dt.datetime) -> str:
    sec = e.second + e.microsecond / 1e6
    return f"{e.year:6d}{e.month:6d}{e.day:6d}{e.hour:6d}{e.minute:6d}{sec:13.7f}"


def write_header(out, sim, marker: str) -> None:
    cfg = sim.config
    x, y, z = sim.receiver
    lines = [
        header_line(f"{'3.04':>9}{'':11}{'OBSERVATION DATA':<20}{'M':<20}", "RINEX VERSION / TYPE"),
        header_line(f"{PROGRAM:<20}{'skyrift':<20}{cfg.start:%Y%m%d %H%M%S} UTC",
                    "PGM / RUN BY / DATE"),
        header_line(f"simulated, seed {cfg.seed}, reflector {cfg.reflector_height} m",
                    "COMMENT"),
        header_line(marker, "MARKER NAME"),
        header_line("GEODETIC", "MARKER TYPE"),
        header_line(f"{'skyrift':<20}{'simulator':<40}", "OBSERVER / AGENCY"),
        header_line(f"{'0':<20}{'SKYRIFT SIM':<20}{'1.0':<20}", "REC # / TYPE / VERS"),
        header_line(f"{'0':<20}{'SIMANT          NONE':<20}", "ANT # / TYPE"),
        header_line(f"{x:14.4f}{y:14.4f}{z:14.4f}", "APPROX POSITION XYZ"),
        header_line(f"{0.0:14.4f}{0.0:14.4f}{0.0:14.4f}", "ANTENNA: DELTA H/E/N"),
    ]
    for system in SIGNALS:
        codes = observation_codes(system)
        lines.append(header_line(f"{system}  {len(codes):3d}" + "".join(f" {c}" for c in codes),
                                 "SYS / # / OBS TYPES"))
    lines.append(header_line(f"{cfg.interval:10.3f}", "INTERVAL"))
    lines.append(header_line(f"{_epoch_fields(sim.epoch(sim.times[0]))}     GPS",
                             "TIME OF FIRST OBS"))
    lines.append(header_line(f"{_epoch_fields(sim.epoch(sim.times[-1]))}     GPS",
                             "TIME OF LAST OBS"))
    slots = [f"R{prn:02d} {k:2d}" for prn, k in enumerate(GLONASS_CHANNELS, start=1)]
    for i in range(0, len(slots), 8):
        lead = f"{len(slots):3d} " if i == 0 else "    "
        lines.append(header_line(lead + " ".join(slots[i:i + 8]), "GLONASS SLOT / FRQ #"))
    lines.append(header_line("", "END OF HEADER"))
    out.write("".join(lines))


def _field(value: float, lli: int) -> str:
    if not np.isfinite(value):
        return " " * 16
    return f"{value:14.3f}{lli if lli else ' '} "


def write_obs(path: Path, sim, marker: str = "SIMU") -> None:
    """Write all visible observations of the simulation, one record per epoch (none
    for the epochs of a gap)."""
    codes = {t.sat: observation_codes(t.sat[0]) for t in sim.tracks}
    order = sorted(sim.tracks, key=lambda t: t.sat)
    with open(path, "w", encoding="ascii", newline="\n") as out:
        write_header(out, sim, marker)
        for i, seconds in enumerate(sim.times):
            if not sim.recorded[i]:
                continue
            seen = [t for t in order if t.visible[i]]
            e = sim.epoch(seconds)
            sec = e.second + e.microsecond / 1e6
            out.write(f"> {e.year:4d} {e.month:02d} {e.day:02d} {e.hour:02d} {e.minute:02d}"
                      f"{sec:11.7f}  0{len(seen):3d}\n")
            for t in seen:
                fields = "".join(
                    _field(t.obs[c][i], t.lli[c][i] if c in t.lli else 0) for c in codes[t.sat])
                out.write((t.sat + fields).rstrip() + "\n")
