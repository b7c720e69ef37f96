"""Builders of small RINEX observation texts for the reader tests."""


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
