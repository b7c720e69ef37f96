"""Malformed input in one table per kind of input: each row is an input and what every
reader of that kind makes of it, an exception with its message or the (partial)
result. A new reader is one entry in READERS and a group of rows."""
import gzip
from dataclasses import dataclass
from pathlib import Path
from typing import Callable

import pytest

import skyrift_mp as sk
from rinex_text import obs_field, text, v2_epoch, v2_header, v2_obs, v3_epoch, v3_header, v3_sat
from sp3_text import header, position_line

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


def sp3_facts(sp3):
    return {"repr": repr(sp3), "satellites": sorted(sp3.satellites())}


def from_file(name: str, read: Callable, pack: Callable[[bytes], bytes] = lambda b: b):
    def run(data: bytes, tmp_path: Path):
        path = tmp_path / name
        path.write_bytes(pack(data))
        return read(str(path))
    return run


def gz(data: bytes) -> bytes:
    return gzip.compress(data, mtime=0)


@dataclass(frozen=True)
class Reader:
    read: Callable[[bytes, Path], object]
    prefix: str
    facts: Callable[[object], dict]


READERS = {
    "obs-bytes": Reader(lambda d, _: sk.read_rinex_obs_bytes(d, "obs.rnx"), "Failed to parse RINEX: ", obs_facts),
    "obs-file": Reader(from_file("obs.rnx", sk.read_rinex_obs), "Failed to read RINEX: ", obs_facts),
    "obs-in-gzip-bytes": Reader(lambda d, _: sk.read_rinex_obs_bytes(gz(d), "obs.rnx.gz"), "Failed to parse RINEX: ",
                                obs_facts),
    "obs-in-gzip-file": Reader(from_file("obs.rnx.gz", sk.read_rinex_obs, gz), "Failed to read RINEX: ", obs_facts),
    "gzip-bytes": Reader(lambda d, _: sk.read_rinex_obs_bytes(d, "obs.rnx.gz"), "Failed to parse RINEX: ", obs_facts),
    "gzip-file": Reader(from_file("obs.rnx.gz", sk.read_rinex_obs), "Failed to read RINEX: ", obs_facts),
    "sp3-file": Reader(from_file("orbit.sp3", sk.read_sp3), "Failed to read SP3: ", sp3_facts),
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
    Row("latin-1-marker-name", V3.replace(b"SITE", b"S\xd8TE"), UTF8_ERROR),
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
    Row("latin-1-inside", gz(V3.replace(b"SITE", b"S\xd8TE")), UTF8_ERROR),
    Row("huge-line-inflated-from-little", gz(V3.replace(b"SITE", b"SITE" + b" " * MB, 1)), SameAs(GZ)),
]


def sp3_text(*lines, first_epoch="*  2019  1  1  0  0  0.00000000") -> bytes:
    body = [first_epoch, position_line("G01", 15000.0, 10000.0, 18000.0), position_line("R05", 1.0, 2.0, 3.0)]
    return ("\n".join(header() + body + list(lines) + ["EOF"]) + "\n").encode()


SP3 = sp3_text()
BOTH = ["G01", "R05"]

SP3_ROWS = [
    Row("empty", b"", Gives(repr="Sp3Data(satellites=0, epochs=0, interval=0s)")),
    Row("binary-garbage", bytes(range(256)), UTF8_ERROR),
    Row("latin-1-header", SP3.replace(b"IGS", b"\xd8GS", 1), UTF8_ERROR),
    Row("gzip-compressed", gz(SP3), UTF8_ERROR),
    Row("cut-inside-position-line", SP3[:SP3.index(b"PR05") + 40], Gives(satellites=["G01"])),
    Row("cut-inside-epoch-line", SP3.replace(b"*  2019  1  1  0  0  0.00000000", b"*  2019  1"), Gives(satellites=[])),
    Row("nul-inside-coordinate", SP3.replace(b"  15000.000000", b"  1\x00000.000000", 1), Gives(satellites=BOTH)),
    Row("nul-inside-clock", SP3.replace(b"    123.456000", b"    1\x003.456000", 1), Gives(satellites=["R05"])),
    Row("huge-comment-line", SP3.replace(b"EOF", b"/*" + b"x" * MB + b"\nEOF"), SameAs(SP3)),
    Row("declared-epochs-beyond-those-present", SP3.replace(b"     96 ", b"9999999 "),
        Gives(repr="Sp3Data(satellites=2, epochs=9999999, interval=900s)")),
    Row("absurd-clock", SP3.replace(b"    123.456000", b"   1.0e300    ", 1), Gives(satellites=["R05"])),
    Row("absurd-position", SP3.replace(b"  15000.000000", b"         1e400", 1), Gives(satellites=BOTH)),
    Row("nine-digit-year", sp3_text(first_epoch="*  820621121  2  2  2  2  2.000"), Gives(satellites=BOTH)),
]


# ---- the tables ----------------------------------------------------------------------

def cases(readers, rows):
    return [pytest.param(name, row, id=f"{name}-{row.name}", marks=row.mark) for name in readers for row in rows]


ALL_CASES = (cases(["obs-bytes", "obs-file", "obs-in-gzip-bytes", "obs-in-gzip-file"], OBS_TEXT_ROWS)
             + cases(["gzip-bytes", "gzip-file"], GZIP_STREAM_ROWS)
             + cases(["sp3-file"], SP3_ROWS))


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
