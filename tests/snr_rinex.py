"""Writes RINEX 3 observation files whose SNR series are given sample by sample."""
import math
from pathlib import Path

START_UNIX = 1593043200.0  # 2020-06-25T00:00:00Z, the first epoch of every file written here


def _label(text: str, label: str) -> str:
    return f"{text:<60}{label}\n"


def _obs_types(system: str, codes: list) -> str:
    lines, rest = [], list(codes)
    first = True
    while rest or first:
        chunk, rest = rest[:13], rest[13:]
        head = f"{system}  {len(codes):>3}" if first else "      "
        lines.append(_label(head + "".join(f" {c}" for c in chunk), "SYS / # / OBS TYPES"))
        first = False
    return "".join(lines)


def _epoch_line(seconds: float, count: int) -> str:
    day, rem = divmod(seconds, 86400.0)
    hour, rem = divmod(rem, 3600.0)
    minute, sec = divmod(rem, 60.0)
    return f"> 2020 06 {25 + int(day):02d} {int(hour):02d} {int(minute):02d} {sec:10.7f}  0{count:3d}\n"


def write_snr_rinex(path: Path, times, series: dict, interval: float = 30.0) -> Path:
    """`series` maps a satellite id to {code: values}; values align with `times`
    (seconds after the start), and None or NaN leaves the observation out."""
    codes_by_system = {}
    for sat, by_code in series.items():
        codes = codes_by_system.setdefault(sat[0], [])
        codes.extend(c for c in by_code if c not in codes)
    parts = [
        _label("     3.04           OBSERVATION DATA    M", "RINEX VERSION / TYPE"),
        _label("SNRTEST", "MARKER NAME"),
        *(_obs_types(system, sorted(codes)) for system, codes in sorted(codes_by_system.items())),
        _label(f"{interval:10.3f}", "INTERVAL"),
        _label("  2020     6    25     0     0    0.0000000     GPS", "TIME OF FIRST OBS"),
        _label("", "END OF HEADER"),
    ]
    for i, t in enumerate(times):
        lines = []
        for sat, by_code in sorted(series.items()):
            codes = sorted(codes_by_system[sat[0]])
            fields = []
            for code in codes:
                values = by_code.get(code)
                v = None if values is None else values[i]
                fields.append(" " * 16 if v is None or math.isnan(v) else f"{v:14.3f}  ")
            if any(f.strip() for f in fields):
                lines.append(sat + "".join(fields).rstrip() + "\n")
        if lines:
            parts.append(_epoch_line(t, len(lines)))
            parts.extend(lines)
    path.write_text("".join(parts))
    return path
