"""The one builder of RINEX observation text for the tests: header, epoch and field
lines in the fixed columns of the format, and writers of whole RINEX 3 files."""
import math
from datetime import datetime, timedelta, timezone


def hline(content: str, label: str) -> str:
    """A header line: 60 columns of content, then the label."""
    return f"{content:<60}{label}"


def obs_field(value=None, lli=None, ssi=None) -> str:
    """One 16-byte observation field (F14.3, LLI, SSI); blanks where absent."""
    text = " " * 14 if value is None else f"{value:14.3f}"
    return text + (" " if lli is None else str(lli)) + (" " if ssi is None else str(ssi))


# ---- RINEX 3 / 4 ---------------------------------------------------------------

def v3_header(version="3.04", types=None, extra=(), interval=None, marker="SITE", end=True) -> list[str]:
    types = types if types is not None else {"G": ["C1C", "L1C", "S1C"]}
    lines = [hline(f"{version:>9}           OBSERVATION DATA    M", "RINEX VERSION / TYPE"),
             hline(marker, "MARKER NAME")]
    for system, codes in types.items():
        for start in range(0, max(len(codes), 1), 13):
            chunk = " ".join(f"{c:>3}" for c in codes[start:start + 13])
            head = f"{system}  {len(codes):3d}" if start == 0 else " " * 6
            lines.append(hline(f"{head} {chunk}", "SYS / # / OBS TYPES"))
    if interval is not None:
        lines.append(hline(f"{interval:10.3f}", "INTERVAL"))
    lines.extend(extra)
    if end:
        lines.append(hline("", "END OF HEADER"))
    return lines


def v3_epoch(second=0.0, n=0, flag=0, minute=0, hour=0, day=1, month=1, year=2020, clock=None) -> str:
    line = f"> {year:4d} {month:02d} {day:02d} {hour:02d} {minute:02d}{second:11.7f}  {flag:d}{n:3d}"
    return line + (f"      {clock:15.12f}" if clock is not None else "")


def v3_sat(sat: str, *fields: str) -> str:
    return sat + "".join(fields)


# ---- RINEX 2 -------------------------------------------------------------------

def v2_header(types=("C1", "L1", "S1"), system="G", extra=(), version="2.11") -> list[str]:
    lines = [hline(f"{version:>9}           OBSERVATION DATA    {system}", "RINEX VERSION / TYPE"),
             hline("SITE", "MARKER NAME")]
    for start in range(0, len(types), 9):
        head = f"{len(types):6d}" if start == 0 else " " * 6
        lines.append(hline(head + "".join(f"{t:>6}" for t in types[start:start + 9]), "# / TYPES OF OBSERV"))
    lines.extend(extra)
    lines.append(hline("", "END OF HEADER"))
    return lines


def v2_epoch(sats, second=0.0, flag=0, minute=0, hour=0, day=1, month=1, yy=20, clock=None) -> list[str]:
    """Epoch line plus satellite continuation lines (12 entries per line)."""
    entries = [sats[i:i + 12] for i in range(0, len(sats), 12)] or [[]]
    first = f" {yy:02d} {month:2d} {day:2d} {hour:2d} {minute:2d}{second:11.7f}  {flag:d}{len(sats):3d}"
    lines = [first + "".join(entries[0])]
    if clock is not None:
        lines[0] = f"{lines[0]:<68}{clock:12.9f}"
    lines += [" " * 32 + "".join(chunk) for chunk in entries[1:]]
    return lines


def v2_obs(*fields: str) -> list[str]:
    """Observation lines of one satellite: five 16-byte fields per line."""
    return ["".join(fields[i:i + 5]).rstrip() for i in range(0, len(fields), 5)]


def text(lines) -> bytes:
    return ("\n".join(lines) + "\n").encode()


# ---- whole files ---------------------------------------------------------------

def write_lines(path, lines):
    path.write_text("\n".join(lines) + "\n")
    return path


def v3_record(sat: str, values) -> str:
    """A satellite line from values in header order: a number, a (value, lli) pair, or None."""
    fields = [obs_field(*v) if isinstance(v, tuple) else obs_field(v) for v in values]
    return v3_sat(sat, *fields).rstrip()


def v3_epoch_at(when: datetime, n: int) -> str:
    return v3_epoch(when.second + when.microsecond / 1e6, n, minute=when.minute, hour=when.hour,
                    day=when.day, month=when.month, year=when.year)


BASE = datetime(2022, 1, 1)  # first epoch of the files write_rinex3 writes


def write_rinex3(path, epochs, obs_types, glonass_slots=None):
    """epochs: list of (seconds after BASE, {sat: {code: value or (value, lli)}});
    obs_types: {system letter: [codes]}; glonass_slots: {prn: frequency channel}."""
    extra = []
    if glonass_slots:
        pairs = " ".join(f"R{prn:02d} {ch:>2}" for prn, ch in glonass_slots.items())
        extra.append(hline(f"{len(glonass_slots):>3} {pairs}", "GLONASS SLOT / FRQ #"))
    lines = v3_header(types=obs_types, extra=extra)
    for seconds, sats in epochs:
        lines.append(v3_epoch_at(BASE + timedelta(seconds=seconds), len(sats)))
        for sat in sorted(sats):
            lines.append(v3_record(sat, [sats[sat].get(c) for c in obs_types[sat[0]]]))
    return write_lines(path, lines)


def write_rinex2(path, epochs, types, system="G"):
    """A RINEX 2.11 file: epochs as for write_rinex3 ({sat: {type: value}} with RINEX 2
    types such as P2), `types` the header's list of them."""
    lines = v2_header(types=tuple(types), system=system)
    for seconds, sats in epochs:
        t = BASE + timedelta(seconds=seconds)
        order = sorted(sats)
        lines += v2_epoch(order, second=t.second + t.microsecond / 1e6, minute=t.minute, hour=t.hour,
                          day=t.day, month=t.month, yy=t.year % 100)
        for sat in order:
            values = [sats[sat].get(k) for k in types]
            lines += v2_obs(*(obs_field(*v) if isinstance(v, tuple) else obs_field(v) for v in values))
    return write_lines(path, lines)


SNR_START = datetime(2020, 6, 25)  # first epoch of the files write_snr_rinex writes
START_UNIX = SNR_START.replace(tzinfo=timezone.utc).timestamp()


def write_snr_rinex(path, times, series: dict, interval: float = 30.0):
    """`series` maps a satellite id to {code: values}; values align with `times`
    (seconds after SNR_START), and None or NaN leaves the observation out."""
    codes_by_system = {}
    for sat, by_code in series.items():
        codes = codes_by_system.setdefault(sat[0], [])
        codes.extend(c for c in by_code if c not in codes)
    types = {system: sorted(codes) for system, codes in sorted(codes_by_system.items())}
    first = hline("  2020     6    25     0     0    0.0000000     GPS", "TIME OF FIRST OBS")
    lines = v3_header(types=types, interval=interval, marker="SNRTEST", extra=[first])
    for i, t in enumerate(times):
        records = []
        for sat, by_code in sorted(series.items()):
            values = [by_code[c][i] if c in by_code else None for c in types[sat[0]]]
            values = [None if v is None or math.isnan(v) else v for v in values]
            if any(v is not None for v in values):
                records.append(v3_record(sat, values))
        if records:
            lines.append(v3_epoch_at(SNR_START + timedelta(seconds=t), len(records)))
            lines.extend(records)
    return write_lines(path, lines)
