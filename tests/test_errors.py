"""Malformed input in one table per kind of input: each row is an input and what every
reader of that kind makes of it, an exception with its message or the (partial)
result. A new reader is one entry in READERS and a group of rows."""
import errno
import gzip
import os
from dataclasses import dataclass
from pathlib import Path
from typing import Callable

import pytest

import nav_text as nav
import skyrift_mp as sk
from rinex_text import hline, obs_field, text, v2_epoch, v2_header, v2_obs, v3_epoch, v3_header, v3_sat
from sp3_text import header, position_line
from unix_compress import lzw, needs_compress

INF = float("inf")
MB = 1 << 20


# ---- what a row expects ------------------------------------------------------------

@dataclass(frozen=True)
class Raises:
    kind: type
    message: str  # after the reader's own prefix


@dataclass(frozen=True)
class SameAs:
    reference: bytes  # reading this clean input through the same reader gives the same


class Gives:
    """Named facts of the result (see the reader's `facts`); only those given are compared."""

    def __init__(self, **facts):
        self.facts = facts


@dataclass(frozen=True)
class Row:
    name: str
    data: bytes
    expect: object
    mark: object = ()


# ---- readers -----------------------------------------------------------------------

def obs_facts(obs):
    return {"version": obs.version, "epochs": [e.to_iso() for e in obs.epochs()],
            "satellites": [s.id for s in obs.satellites()],
            "snr": {s.id: [v for series in obs.get_snr_series(s.id) for v in series.values] for s in obs.satellites()}}


AT_TOC = sk.Epoch(*nav.TOC[:5], float(nav.TOC[5]))
GLONASS_TOC = (2020, 6, 25, 4, 15, 0)
AT_GLONASS = sk.Epoch(2020, 6, 25, 4, 15, 18.0)  # UTC plus 18 leap seconds


def nav_facts(data):
    def at(sat):
        p = data.get_position(sat, AT_GLONASS if sat[0] == "R" else AT_TOC)
        return None if p is None else (p.x, p.y, p.z)
    positions = {s: at(s) for s in data.satellites()}
    return {"repr": repr(data), "satellites": data.satellites(), "positions": positions,
            "unplaced": [s for s, p in positions.items() if p is None]}


def sp3_facts(sp3):
    return {"repr": repr(sp3), "satellites": sorted(sp3.satellites())}


def from_file(name: str, read: Callable, pack: Callable[[bytes], bytes] = lambda b: b):
    def run(data: bytes, tmp_path: Path, **options):
        path = tmp_path / name
        path.write_bytes(pack(data))
        return read(str(path), **options)
    return run


def gz(data: bytes) -> bytes:
    return gzip.compress(data, mtime=0)


@dataclass(frozen=True)
class Reader:
    read: Callable[[bytes, Path], object]
    prefix: str
    facts: Callable[[object], dict]


READERS = {
    "obs-bytes": Reader(lambda d, _, **o: sk.read_rinex_obs_bytes(d, "obs.rnx", **o), "Failed to parse RINEX: ",
                        obs_facts),
    "obs-file": Reader(from_file("obs.rnx", sk.read_rinex_obs), "Failed to read RINEX: ", obs_facts),
    "obs-in-gzip-bytes": Reader(lambda d, _, **o: sk.read_rinex_obs_bytes(gz(d), "obs.rnx.gz", **o),
                                "Failed to parse RINEX: ", obs_facts),
    "obs-in-gzip-file": Reader(from_file("obs.rnx.gz", sk.read_rinex_obs, gz), "Failed to read RINEX: ", obs_facts),
    "gzip-bytes": Reader(lambda d, _, **o: sk.read_rinex_obs_bytes(d, "obs.rnx.gz", **o), "Failed to parse RINEX: ",
                         obs_facts),
    "gzip-file": Reader(from_file("obs.rnx.gz", sk.read_rinex_obs), "Failed to read RINEX: ", obs_facts),
    "sp3-file": Reader(from_file("orbit.sp3", sk.read_sp3), "Failed to read SP3: ", sp3_facts),
    # Compact RINEX and .Z are recognised by content, whatever the name.
    "crinex-bytes": Reader(lambda d, _, **o: sk.read_rinex_obs_bytes(d, "obs.crx", **o), "Failed to parse RINEX: ",
                           obs_facts),
    "compress-bytes": Reader(lambda d, _, **o: sk.read_rinex_obs_bytes(d, "obs.rnx.Z", **o), "Failed to parse RINEX: ",
                             obs_facts),
    "compress-file": Reader(from_file("obs.rnx.Z", sk.read_rinex_obs), "Failed to read RINEX: ", obs_facts),
    "nav-bytes": Reader(lambda d, _: sk.read_rinex_nav_bytes(d, "brdc.rnx"), "Failed to read RINEX navigation: ",
                        nav_facts),
    "nav-file": Reader(from_file("brdc.rnx", sk.read_rinex_nav), "Failed to read RINEX navigation: ", nav_facts),
    "nav-in-gzip-bytes": Reader(lambda d, _: sk.read_rinex_nav_bytes(gz(d), "brdc.rnx.gz"),
                                "Failed to read RINEX navigation: ", nav_facts),
}


# ---- clean inputs that the rows damage -------------------------------------------------

def g(sat, snr):
    return v3_sat(sat, obs_field(2e7), obs_field(1.05e8), obs_field(snr))


def v3_file(*epochs, header_lines=None) -> bytes:
    lines = header_lines or v3_header(types={"G": ["C1C", "L1C", "S1C"], "E": ["C1C", "S1C"]})
    return text(lines + [line for epoch in epochs for line in epoch])


E1 = [v3_epoch(0.0, 2), g("G01", 40.0), v3_sat("E05", obs_field(2.1e7), obs_field(30.0))]
E2 = [v3_epoch(30.0, 2), g("G01", 41.0), g("G02", 42.0)]
E3 = [v3_epoch(60.0, 1), g("G01", 43.0)]
V3 = v3_file(E1, E2, E3)
UTF8_ERROR = Raises(OSError, "I/O error: stream did not contain valid UTF-8")
DOS_END_OF_FILE = b"\x1a"  # Ctrl-Z, which DOS tools wrote after the last line


def f(value):
    return obs_field(value)


def v2_file(first=("G01", "G02"), count=None, last_count=None) -> bytes:
    block1 = v2_epoch(list(first)) + v2_obs(f(2e7), f(1.05e8), f(40.0))
    if len(first) > 1:
        block1 += v2_obs(f(2e7), f(1.05e8), f(41.0))
    block2 = v2_epoch(["G01"], second=30.0) + v2_obs(f(2e7), f(1.05e8), f(42.0))
    if count is not None:
        block1[0] = block1[0][:29] + f"{count:3d}" + block1[0][32:]
    if last_count is not None:
        block2[0] = block2[0][:29] + f"{last_count:3d}" + block2[0][32:]
    return text(v2_header() + block1 + block2)


V2 = v2_file()

OBS_TEXT_ROWS = [
    Row("empty", b"", Gives(version="3.05", epochs=[], satellites=[])),
    Row("only-nul-bytes", b"\0" * 1000, Gives(epochs=[], satellites=[])),
    Row("header-only", V3[:V3.index(b">")], Gives(version="3.04", epochs=[])),
    Row("binary-garbage", bytes(range(256)) * 4, UTF8_ERROR),
    # Header text in Latin-1 reads as such; a record line that is no UTF-8 is damage.
    Row("latin-1-marker-name", V3.replace(b"SITE", b"S\xd8TE"), SameAs(V3)),
    Row("latin-1-comment-in-an-event", v3_file(E1, [v3_epoch(15.0, 1, flag=4), hline("R\xe9union", "COMMENT")], E2, E3)
        .replace(b"R\xc3\xa9union", b"R\xe9union"), SameAs(V3)),
    Row("latin-1-in-a-record", V3.replace(b"G02", b"G\xd82"), UTF8_ERROR),
    Row("latin-1-in-an-event-line-without-label", v3_file(E1, [v3_epoch(15.0, 1, flag=4), "R\xe9union"], E2, E3)
        .replace(b"R\xc3\xa9union", b"R\xe9union"), UTF8_ERROR),
    Row("dos-end-of-file-mark", V3 + DOS_END_OF_FILE, SameAs(V3)),
    Row("dos-end-of-file-mark-after-crlf", V3.replace(b"\n", b"\r\n") + DOS_END_OF_FILE, SameAs(V3)),
    Row("utf8-cut-at-end", V3 + b"\xe2\x82", UTF8_ERROR),
    Row("absurd-version", V3.replace(b"     3.04", b"   999.99", 1), Raises(OSError, "Unsupported RINEX version: 999.99")),
    # RINEX 3/4 records
    Row("cut-inside-last-field", V3[:-20], SameAs(v3_file(E1, E2, [E3[0], E3[1][:33]]))),
    Row("cut-inside-epoch-line", V3[:V3.rindex(b">") + 15],
        Raises(OSError, "RINEX parsing error at line 11: Epoch line too short")),
    Row("count-beyond-its-lines", v3_file([v3_epoch(0.0, 3)] + E1[1:], E2, E3), SameAs(V3)),
    Row("count-below-its-lines", v3_file([v3_epoch(0.0, 1)] + E1[1:], E2, E3),
        SameAs(v3_file([v3_epoch(0.0, 1), E1[1]], E2, E3))),
    Row("count-beyond-end-of-input", v3_file(E1, E2, [v3_epoch(60.0, 999), E3[1]]), SameAs(V3)),
    Row("nul-inside-value", V3.replace(b"40.000", b"4\x00.000"), SameAs(v3_file([E1[0], E1[1][:35]] + E1[2:], E2, E3))),
    Row("nul-inside-seconds", V3.replace(b"30.0000000", b"3\x00.0000000"),
        SameAs(v3_file(E1, [v3_epoch(0.0, 2)] + E2[1:], E3))),
    Row("huge-header-line", V3.replace(b"SITE", b"SITE" + b"x" * MB, 1), SameAs(V3)),
    Row("huge-record-line", V3.replace(b"43.000", b"43.000" + b" " * MB), SameAs(V3)),
    Row("absurd-date-fields", V3.replace(b"> 2020 01 01", b"> 9999 99 99", 1),
        Gives(epochs=["+10007-06-07T00:00:00.000Z", "2020-01-01T00:00:30.000Z", "2020-01-01T00:01:00.000Z"])),
    Row("absurd-value", V3.replace(b"          40.000", b"           1e400"),
        Gives(snr={"E05": [30.0], "G01": [INF, 41.0, 43.0], "G02": [42.0]})),
    # RINEX 2 blocks
    Row("v2-cut-inside-last-field", V2[:-10], Gives(snr={"G01": [40.0], "G02": [41.0]})),
    Row("v2-count-beyond-its-list", v2_file(count=3), SameAs(V2)),
    Row("v2-count-below-its-list", v2_file(count=1), SameAs(v2_file(first=("G01",)))),
    Row("v2-count-beyond-end-of-input", v2_file(last_count=99), SameAs(V2)),
    Row("v2-dos-end-of-file-mark", V2 + DOS_END_OF_FILE, SameAs(V2)),
    Row("v2-latin-1-comment-in-an-event",
        text(v2_header() + v2_epoch(["G01"], flag=4) + [hline("Z\xfcrich", "COMMENT")]).replace(b"\xc3\xbc", b"\xfc")
        + V2[V2.index(b" 20  1"):], SameAs(V2)),
]

GZ = gz(V3)
UNEXPECTED_END = Raises(OSError, "I/O error: unexpected end of file")

GZIP_STREAM_ROWS = [
    Row("empty", b"", UNEXPECTED_END),
    Row("binary-garbage", bytes(range(256)), Raises(OSError, "I/O error: invalid gzip header")),
    Row("cut-inside-member-header", GZ[:5], UNEXPECTED_END),
    Row("cut-after-member-header", GZ[:10], UNEXPECTED_END),
    Row("cut-before-trailer", GZ[:-8], UNEXPECTED_END),
    Row("cut-inside-trailer", GZ[:-3], UNEXPECTED_END),
    Row("second-member-cut", gz(V3[:300]) + gz(V3[300:])[:-5], UNEXPECTED_END),
    Row("magic-of-a-member-after-the-last", GZ + b"\x1f\x8b", UNEXPECTED_END),
    Row("flipped-bit-inside-data", GZ[:40] + bytes([GZ[40] ^ 0x10]) + GZ[41:], Raises(OSError, "I/O error: corrupt deflate stream")),
    Row("empty-member-after-the-last", GZ + gz(b""), SameAs(GZ)),
    Row("nul-bytes-after-the-last-member", GZ + b"\0" * 64, SameAs(GZ)),
    Row("latin-1-inside", gz(V3.replace(b"SITE", b"S\xd8TE")), SameAs(GZ)),
    Row("huge-line-inflated-from-little", gz(V3.replace(b"SITE", b"SITE" + b" " * MB, 1)), SameAs(GZ)),
]


def sp3_text(*lines, first_epoch="*  2019  1  1  0  0  0.00000000") -> bytes:
    body = [first_epoch, position_line("G01", 15000.0, 10000.0, 18000.0), position_line("R05", 1.0, 2.0, 3.0)]
    return ("\n".join(header() + body + list(lines) + ["EOF"]) + "\n").encode()


SP3 = sp3_text()
BOTH = ["G01", "R05"]

SP3_ROWS = [
    # A file that is no SP3 (the first line is no SP3 header) is named for what it is.
    Row("empty", b"", Raises(OSError, "not an SP3 file: the file is empty")),
    Row("binary-garbage", bytes(range(256)), Raises(OSError, "not an SP3 file: binary data")),
    Row("latin-1-header", SP3.replace(b"IGS", b"\xd8GS", 1), UTF8_ERROR),
    Row("gzip-compressed", gz(SP3),
        Raises(OSError, "not an SP3 file: gzip-compressed data (the name does not end in .gz)")),
    Row("no-header-lines", SP3[SP3.index(b"*"):],
        Raises(OSError, "not an SP3 file: the first line is not an SP3 header")),
    Row("rinex-observation-file", V3, Raises(OSError, "not an SP3 file: RINEX observation file (type O)")),
    Row("blank-first-line", b"\n" + SP3, Raises(OSError, "not an SP3 file: the first line is blank")),
    Row("dos-end-of-file-mark", SP3 + DOS_END_OF_FILE, SameAs(SP3)),
    Row("cut-inside-position-line", SP3[:SP3.index(b"PR05") + 40], Gives(satellites=["G01"])),
    Row("cut-inside-epoch-line", SP3.replace(b"*  2019  1  1  0  0  0.00000000", b"*  2019  1"), Gives(satellites=[])),
    # A coordinate that does not parse drops its record; a clock that does not parse does not.
    Row("nul-inside-coordinate", SP3.replace(b"  15000.000000", b"  1\x00000.000000", 1), Gives(satellites=["R05"])),
    Row("nul-inside-clock", SP3.replace(b"    123.456000", b"    1\x003.456000", 1), Gives(satellites=BOTH)),
    Row("huge-comment-line", SP3.replace(b"EOF", b"/*" + b"x" * MB + b"\nEOF"), SameAs(SP3)),
    Row("declared-epochs-beyond-those-present", SP3.replace(b"     96 ", b"9999999 "),
        Gives(repr="Sp3Data(satellites=2, epochs=9999999, interval=900s)")),
    Row("absurd-clock", SP3.replace(b"    123.456000", b"   1.0e300    ", 1), Gives(satellites=BOTH)),
    Row("absurd-position", SP3.replace(b"  15000.000000", b"         1e400", 1), Gives(satellites=["R05"])),
    Row("nine-digit-year", sp3_text(first_epoch="*  820621121  2  2  2  2  2.000"), Gives(satellites=BOTH)),
]


# Compact RINEX 3 of V3: full epoch line, then text differences; arcs of order 3.
def crx(*body) -> bytes:
    compact = [hline("3.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE"),
               hline("by hand", "CRINEX PROG / DATE")]
    return text(compact + v3_header(types={"G": ["C1C", "L1C", "S1C"], "E": ["C1C", "S1C"]}) + list(body))


CRX_E1 = [v3_epoch(0.0, 2) + "      G01E05", "", "3&20000000000 3&105000000000 3&40000", "3&21000000000 3&30000"]
CRX_E2 = [" " * 19 + "3" + " " * 24 + "G02", "", "0 0 1000", "3&20000000000 3&105000000000 3&42000"]
CRX_E3 = [" " * 19 + "6" + " " * 14 + "1", "", "0 0 1000"]
CRX = crx(*CRX_E1, *CRX_E2, *CRX_E3)


def crx_error(line, what):
    return Raises(OSError, f"RINEX parsing error at line {line}: Compact RINEX: {what}")


CRINEX_ROWS = [
    Row("clean", CRX, SameAs(V3)),
    Row("empty", b"", Gives(version="3.05", epochs=[], satellites=[])),
    Row("version-line-only", CRX[:CRX.index(b"\n") + 1], crx_error(1, "file ends inside the header")),
    Row("binary-garbage-after-the-version-line", CRX[:CRX.index(b"\n") + 1] + bytes(range(256)),
        crx_error(2, "last line cut short")),
    Row("unknown-version", CRX.replace(b"3.0 ", b"2.0 ", 1), crx_error(0, "unsupported version line")),
    Row("cut-inside-a-satellite-line", CRX[:-5], crx_error(17, "last line cut short")),
    Row("cut-after-an-epoch-line", crx(*CRX_E1, *CRX_E2, CRX_E3[0]), crx_error(16, "file ends inside an epoch")),
    Row("count-beyond-its-list", crx(CRX_E1[0].replace("  2      G01", "  3      G01"), *CRX_E1[1:]),
        crx_error(7, "satellite list shorter than its count")),
    Row("count-below-its-lines", crx(CRX_E1[0].replace("  2      G01", "  1      G01"), *CRX_E1[1:]),
        crx_error(10, "epoch line expected")),
    Row("satellite-of-a-system-without-types", crx(CRX_E1[0].replace("E05", "C05"), *CRX_E1[1:]),
        crx_error(7, "satellite of a system without observation types")),
    Row("difference-order-of-two-digits", CRX.replace(b"3&40000", b"10&40000"),
        crx_error(9, "difference order out of range")),
    Row("value-wider-than-its-field", CRX.replace(b"3&40000", b"3&99999999999999999"),
        crx_error(9, "value out of range")),
    Row("value-beyond-64-bits", CRX.replace(b"3&40000", b"3&99999999999999999999"), crx_error(9, "bad number")),
    Row("nul-inside-a-value", CRX.replace(b"3&40000", b"3&40\x00000"), crx_error(9, "bad number")),
    Row("huge-satellite-line", CRX.replace(b"3&42000", b"3&42000" + b" " * MB), SameAs(V3)),
    Row("huge-header-line", CRX.replace(b"SITE", b"SITE" + b"x" * MB, 1), SameAs(V3)),
    Row("latin-1-in-the-header", CRX.replace(b"SITE", b"S\xd8TE"), SameAs(V3)),
    Row("latin-1-in-the-flags", CRX.replace(b"3&42000", b"3&42000 \xd8"), UTF8_ERROR),
    # An epoch line written in full is a difference against a blank line: "&" is a blank.
    Row("blank-written-as-&-in-a-full-epoch-line", crx(CRX_E1[0].replace("> 2020 01 01 00", ">&2020&01 01&00"),
                                                      *CRX_E1[1:], *CRX_E2, *CRX_E3), SameAs(V3)),
    Row("epoch-date-that-does-not-parse", crx(CRX_E1[0].replace("01 01 00", "01 0x 00"), *CRX_E1[1:]),
        crx_error(7, "epoch date does not parse")),
    Row("slip-record-date-that-does-not-parse", crx(*CRX_E1, *CRX_E2, "> 2020 01 01 00 00 4x.0000000  6  1", "G01"),
        crx_error(15, "epoch date does not parse")),
    Row("difference-order-missing", CRX.replace(b"3&40000", b"&40000"), crx_error(9, "difference order missing")),
    Row("clock-line-of-blanks", crx(CRX_E1[0], "   ", *CRX_E1[2:], *CRX_E2, *CRX_E3), SameAs(V3)),
    Row("dos-end-of-file-mark", CRX + DOS_END_OF_FILE, SameAs(V3)),
    Row("dos-end-of-file-mark-on-a-line", CRX + DOS_END_OF_FILE + b"\r\n", SameAs(V3)),
]

Z = lzw(V3)

COMPRESS_STREAM_ROWS = [
    Row("clean", Z, SameAs(V3), needs_compress),
    Row("empty-stream", lzw(b""), Gives(version="3.05", epochs=[]), needs_compress),
    Row("magic-only", b"\x1f\x9d", Raises(OSError, "I/O error: invalid compress header")),
    Row("binary-garbage-after-the-header", b"\x1f\x9d\x90" + bytes(range(256)),
        Raises(OSError, "I/O error: corrupt compress stream")),
    Row("cut-inside-a-line", Z[:len(Z) * 2 // 3], UNEXPECTED_END, needs_compress),
    Row("nul-bytes-after-the-stream", Z + b"\0" * 64, UNEXPECTED_END, needs_compress),
    # The format has no checksum: this bit turns "RINEX VERSION" into "RIFEX VERSION".
    Row("flipped-bit-inside-data-reads-as-other-text", Z[:40] + bytes([Z[40:41][0] ^ 0x10]) + Z[41:] if Z else b"",
        Gives(version="3.05", satellites=["E05", "G01", "G02"]), needs_compress),
    Row("first-code-names-an-entry-not-yet-made", b"\x1f\x9d\x90\x2c\x01",  # code 300
        Raises(OSError, "I/O error: corrupt compress stream")),
    Row("latin-1-inside", lzw(V3.replace(b"SITE", b"S\xd8TE")), SameAs(V3), needs_compress),
    Row("huge-line-inflated-from-little", lzw(V3.replace(b"SITE", b"SITE" + b" " * MB, 1)), SameAs(V3),
        needs_compress),
    Row("compact-rinex-inside", lzw(CRX), SameAs(V3), needs_compress),
    Row("compact-rinex-inside-cut-after-an-epoch-line", lzw(crx(*CRX_E1, *CRX_E2, CRX_E3[0])),
        crx_error(16, "file ends inside an epoch"), needs_compress),
]


# Broadcast records: GPS and GLONASS, as the navigation tests write them.
G01 = nav.record_v3("G01", nav.TOC, nav.kepler_values(nav.Kepler()))
G07 = nav.record_v3("G07", nav.TOC, nav.kepler_values(nav.Kepler(m0=0.4)))
R05 = nav.record_v3("R05", GLONASS_TOC, nav.state_values(nav.State()))
NAV_HEADER = nav.header("3.05", "N", "M", leap=18)


def nav_file(*records, header_lines=NAV_HEADER) -> bytes:
    return nav.text(header_lines + [line for record in records for line in record]).encode()


def with_field(record, line, index, value: str):
    """The record with number `index` (0-3) of line `line` replaced by a 19-column text."""
    start = (23 if line == 0 else 4) + 19 * index
    out = list(record)
    out[line] = out[line][:start] + value.rjust(19) + out[line][start + 19:]
    return out


NAV = nav_file(G01, R05, G07)
ALL_THREE = ["G01", "G07", "R05"]
NO_NAVIGATION_FILE = Raises(OSError, "Navigation file error: the first line is not a RINEX VERSION / TYPE line")

NAV_TEXT_ROWS = [
    Row("empty", b"", NO_NAVIGATION_FILE),
    Row("only-nul-bytes", b"\0" * 1000, NO_NAVIGATION_FILE),
    Row("header-only", nav_file(), Gives(repr="NavData(satellites=0, ephemerides=0)")),
    Row("binary-garbage", bytes(range(256)) * 4, UTF8_ERROR),
    Row("latin-1-in-the-header", NAV.replace(b"nav_text", b"nav_t\xe9xt"), UTF8_ERROR),
    Row("absurd-version", NAV.replace(b"     3.05", b"   999.99", 1), Raises(OSError, "Unsupported RINEX version: 999.99")),
    Row("cut-inside-the-last-record", NAV[:NAV.rindex(G07[5].encode()) + 30], Gives(satellites=["G01", "R05"])),
    Row("cut-inside-an-unused-number", NAV[:NAV.rindex(G07[-1].encode()) + 12], SameAs(NAV)),
    Row("record-with-lines-beyond-its-own", nav_file(G01, R05, G07 + [G07[1]] * 3), SameAs(NAV)),
    Row("nul-inside-sqrt-a", nav_file(G01, R05, with_field(G07, 2, 3, "5153.6\x0050000")),
        Gives(satellites=["G01", "R05"])),
    Row("nul-inside-the-clock-drift", nav_file(G01, R05, with_field(G07, 0, 1, "7.0\x00-12")), SameAs(NAV)),
    Row("huge-header-line", NAV.replace(b"tests", b"tests" + b"x" * MB, 1), SameAs(NAV)),
    Row("huge-record-line", NAV.replace(G07[1].encode(), G07[1].encode() + b" " * MB), SameAs(NAV)),
    Row("absurd-leap-seconds", nav_file(G01, R05, G07, header_lines=nav.header("3.05", "N", "M", leap=999)),
        SameAs(NAV)),
    Row("absurd-year", nav_file(G01, R05, [G07[0].replace("G07 2020", "G07 9999")] + G07[1:]),
        Gives(satellites=["G01", "R05"])),
    # Numbers that overflow the orbit give no position, never a non-finite one; an orbit
    # inside the Earth is a damaged record.
    Row("absurd-semi-major-axis", nav_file(G01, R05, with_field(G07, 2, 3, "1.0E+300")),
        Gives(satellites=ALL_THREE, unplaced=["G07"])),
    Row("semi-major-axis-inside-the-earth", nav_file(G01, R05, with_field(G07, 2, 3, "2.0E+03")),
        Gives(satellites=["G01", "R05"])),
    Row("glonass-state-of-zeros", nav_file(G01, nav.record_v3("R05", GLONASS_TOC, nav.state_values(
        nav.State((0.0, 0.0, 0.0), (0.0, 0.0, 0.0), (0.0, 0.0, 0.0)))), G07),
        Gives(satellites=["G01", "G07"])),
    Row("compress-stream-cut-inside-a-line", lzw(NAV)[:-10], UNEXPECTED_END, needs_compress),
    Row("dos-end-of-file-mark", NAV + DOS_END_OF_FILE, SameAs(NAV)),
]


def first_line(fields: str, label: str = "RINEX VERSION / TYPE") -> bytes:
    return text([hline(fields, label), hline("", "END OF HEADER")])


def not_observations(what):
    return Raises(OSError, f"not an observation file: {what}")


# Files of another kind given to the observation reader: named by their first line or type.
FOREIGN_TO_OBS_ROWS = [
    Row("rinex3-navigation", NAV, not_observations("RINEX navigation file (type N)")),
    Row("rinex2-glonass-navigation", first_line("     2.11           G: GLONASS NAV DATA"),
        not_observations("RINEX navigation file (type G)")),
    Row("meteorological", first_line("     3.04           METEOROLOGICAL DATA"),
        not_observations("RINEX meteorological file (type M)")),
    Row("clock", first_line("     3.00           C                   G"),
        not_observations("RINEX clock file (type C)")),
    Row("doris", first_line("     3.00           O                   D"),
        not_observations("DORIS RINEX file (type O, system D)")),
    Row("ionex", first_line("     1.0            IONOSPHERE MAPS     GPS", "IONEX VERSION / TYPE"),
        not_observations("IONEX file")),
    Row("antex", first_line("     1.4            M", "ANTEX VERSION / SYST"), not_observations("ANTEX file")),
    Row("sp3", SP3, not_observations("SP3 orbit file")),
    # A type letter of no known kind is refused too; a blank one is let through.
    Row("unknown-type-letter", first_line("     3.04           X"), not_observations("RINEX file of type X")),
    Row("blank-type-letter", V3.replace(b"OBSERVATION DATA", b"                ", 1), SameAs(V3)),
]


# ---- the tables ----------------------------------------------------------------------

def cases(readers, rows):
    return [pytest.param(name, row, id=f"{name}-{row.name}", marks=row.mark) for name in readers for row in rows]


OBS_READERS = ["obs-bytes", "obs-file", "obs-in-gzip-bytes", "obs-in-gzip-file"]
ALL_CASES = (cases(OBS_READERS, OBS_TEXT_ROWS)
             + cases(OBS_READERS, FOREIGN_TO_OBS_ROWS)
             + cases(["gzip-bytes", "gzip-file"], GZIP_STREAM_ROWS)
             + cases(["sp3-file"], SP3_ROWS)
             + cases(["crinex-bytes"], CRINEX_ROWS)
             + cases(["compress-bytes", "compress-file"], COMPRESS_STREAM_ROWS)
             + cases(["nav-bytes", "nav-file", "nav-in-gzip-bytes"], NAV_TEXT_ROWS))


@pytest.mark.parametrize("reader_name, row", ALL_CASES)
def test_bad_input(reader_name, row, tmp_path):
    reader = READERS[reader_name]
    expect = row.expect
    if isinstance(expect, Raises):
        with pytest.raises(expect.kind) as info:
            reader.read(row.data, tmp_path)
        assert str(info.value) == reader.prefix + expect.message
        return
    got = reader.facts(reader.read(row.data, tmp_path))
    if isinstance(expect, SameAs):
        assert got == reader.facts(reader.read(expect.reference, tmp_path))
    else:
        assert {key: got[key] for key in expect.facts} == expect.facts


# ---- partial reads ------------------------------------------------------------------

OBS_CASES = [case for case in ALL_CASES if READERS[case.values[0]].facts is obs_facts]


@pytest.mark.parametrize("reader_name, row", OBS_CASES)
def test_partial_read_keeps_the_epochs_before_the_damage(reader_name, row, tmp_path):
    """A partial read gives what a whole read gives when the file is whole; when it is
    not, it fails alike before the records, or keeps the epochs read before the damage
    with the whole read's message as `damage`."""
    reader = READERS[reader_name]
    try:
        whole, raised = reader.facts(reader.read(row.data, tmp_path)), None
    except OSError as exc:
        whole, raised = None, str(exc)
    try:
        partial = reader.read(row.data, tmp_path, partial=True)
    except OSError as exc:
        assert raised is not None and str(exc) == raised
        return
    assert partial.damage == raised
    if raised is None:
        assert reader.facts(partial) == whole
    elif isinstance(row.expect, Raises):
        assert reader.prefix + row.expect.message == raised


# ---- paths --------------------------------------------------------------------------

class PathLike:
    """An os.PathLike that is no pathlib path, giving `value` (str or bytes)."""

    def __init__(self, value):
        self.value = value

    def __fspath__(self):
        return self.value


# Each path reader with a clean file of its kind, its facts and its message prefix.
PATH_READERS = {
    "obs": (sk.read_rinex_obs, V3, obs_facts, "Failed to read RINEX: "),
    "sp3": (sk.read_sp3, SP3, sp3_facts, "Failed to read SP3: "),
    "nav": (sk.read_rinex_nav, NAV, nav_facts, "Failed to read RINEX navigation: "),
}


def os_text(code):
    return f"I/O error: {os.strerror(code)} (os error {code})"


# The observation and navigation readers query the path first ("File not found: "); the
# SP3 reader opens it and reports the system's text. Either way the exception is the
# OSError subclass of the cause, with its errno.
@pytest.mark.parametrize("reader", PATH_READERS)
@pytest.mark.parametrize("where, kind, code", [
    ("missing.rnx", FileNotFoundError, errno.ENOENT),
    ("directory", IsADirectoryError, errno.EISDIR),
    ("plain-file/inside", NotADirectoryError, errno.ENOTDIR),
], ids=["missing", "directory", "below-a-file"])
def test_unreadable_path_raises_the_oserror_of_its_cause(reader, where, kind, code, tmp_path):
    read, _, _, prefix = PATH_READERS[reader]
    (tmp_path / "directory").mkdir()
    (tmp_path / "plain-file").write_bytes(b"")
    path = tmp_path / where
    with pytest.raises(OSError) as info:
        read(path)
    assert type(info.value) is kind and info.value.errno == code
    found = os_text(code) if reader == "sp3" or kind is IsADirectoryError else f"File not found: {path}"
    assert str(info.value) == prefix + found  # the message keeps its words: no "[Errno N]"


@pytest.mark.parametrize("reader", PATH_READERS)
def test_damaged_content_stays_a_plain_oserror(reader, tmp_path):
    read, _, _, _ = PATH_READERS[reader]
    path = tmp_path / "garbage"
    path.write_bytes(bytes(range(1, 200)))
    with pytest.raises(OSError) as info:
        read(path)
    assert type(info.value) is OSError and info.value.errno is None


@pytest.mark.parametrize("reader", PATH_READERS)
@pytest.mark.parametrize("as_path", [Path, lambda p: PathLike(str(p))], ids=["pathlib", "pathlike"])
def test_path_arguments_take_os_pathlike(reader, as_path, tmp_path):
    read, clean, facts, _ = PATH_READERS[reader]
    path = tmp_path / "input"
    path.write_bytes(clean)
    assert facts(read(as_path(path))) == facts(read(str(path)))


def test_a_file_name_that_is_not_utf8_reads(tmp_path):
    """os.listdir gives such a name with surrogate escapes; it is passed on as the same bytes."""
    name = os.fsdecode(b"station-\xe9.rnx")
    (tmp_path / name).write_bytes(V3)
    assert obs_facts(sk.read_rinex_obs(tmp_path / name)) == obs_facts(sk.read_rinex_obs_bytes(V3, "obs.rnx"))


@pytest.mark.parametrize("call, message", [
    (lambda: sk.read_rinex_obs(b"obs.rnx"), "argument 'path': expected str or os.PathLike, got bytes"),
    (lambda: sk.read_rinex_obs(PathLike(b"obs.rnx")),
     "argument 'path': expected str or os.PathLike, got PathLike giving bytes"),
    (lambda: sk.read_sp3(7), "argument 'path': expected str or os.PathLike, got int"),
    (lambda: sk.read_rinex_nav(None), "argument 'path': expected str or os.PathLike, got NoneType"),
    (lambda: sk.read_rinex_obs_bytes(V3, b"obs.rnx"), "argument 'filename': expected str or os.PathLike, got bytes"),
    (lambda: sk.read_rinex_nav_bytes(NAV, 1.5), "argument 'filename': expected str or os.PathLike, got float"),
], ids=["bytes-path", "pathlike-giving-bytes", "int-path", "none-path", "bytes-name", "float-name"])
def test_path_of_a_wrong_type(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_names_given_with_bytes_take_os_pathlike():
    """The name only chooses the decoder (.gz), so a PathLike name works as its text does."""
    assert obs_facts(sk.read_rinex_obs_bytes(gz(V3), Path("obs.rnx.gz"))) == obs_facts(sk.read_rinex_obs_bytes(V3, "x"))
    assert repr(sk.read_rinex_nav_bytes(NAV, PathLike("brdc.rnx"))) == repr(sk.read_rinex_nav_bytes(NAV, "brdc.rnx"))
