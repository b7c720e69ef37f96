"""Seed corpora for the fuzz targets, cut from the real files in ../shared/data.

    python fuzz/make_corpus.py OUT_DIR [--data DIR]

writes OUT_DIR/<target>/<seed> for every target of TARGETS, plus the target's kept
regression inputs (fuzz/regressions/<target>/). Corpora are generated, never
committed. Without the data folder only the regression inputs and a few built-in
texts seed the corpora (the script says so).

A new target is a fuzz/fuzz_<name>.cpp file and one line in TARGETS: its seed
function, dictionary and largest input. Seed functions take the files of the data
folder grouped by kind (recognised by content: see `kind_of`).
"""
import argparse
import gzip
import hashlib
import itertools
import shutil
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path
from typing import Callable, Iterable

FUZZ_DIR = Path(__file__).resolve().parent
DEFAULT_DATA = FUZZ_DIR.parent.parent / "shared" / "data"
HEAD_LINES = 4000  # read no further into a file than this


def kind_of(first_line: str) -> str | None:
    """What a file holds, from its first line: obs, nav, crinex or sp3."""
    if "CRINEX VERS" in first_line:
        return "crinex"
    if first_line.startswith("#") and first_line[1:2] in ("a", "b", "c", "d"):
        return "sp3"
    if "RINEX VERSION / TYPE" in first_line:
        return "obs" if first_line[20:21].upper() == "O" else "nav"
    return None


def head_lines(path: Path, count: int = HEAD_LINES) -> list[bytes]:
    """The first lines of a file (gzip undone), each with its line end."""
    with open(path, "rb") as f:
        opener = gzip.open if f.read(2) == b"\x1f\x8b" else open
    with opener(path, "rb") as f:
        return list(itertools.islice(f, count))


def data_files(data_dir: Path) -> dict[str, list[Path]]:
    groups: dict[str, list[Path]] = {}
    for path in sorted(p for p in data_dir.iterdir() if p.is_file()):
        try:
            first = head_lines(path, 1)
        except (OSError, EOFError):
            continue
        kind = kind_of(first[0].decode("latin-1")) if first else None
        if kind:
            groups.setdefault(kind, []).append(path)
    return groups


# ---- cutting ---------------------------------------------------------------------

def split_header(lines: list[bytes]) -> tuple[list[bytes], list[bytes]]:
    for i, line in enumerate(lines):
        if b"END OF HEADER" in line:
            return lines[: i + 1], lines[i + 1:]
    return lines, []


def fit(lines: list[bytes], limit: int) -> bytes:
    """As many whole lines as fit in `limit` bytes."""
    out = bytearray()
    for line in lines:
        if len(out) + len(line) > limit:
            break
        out += line
    return bytes(out)


def thin_rinex3(body: list[bytes], satellites: int, epochs: int) -> list[bytes]:
    """RINEX 3/4 records with only the first satellite lines of each epoch and the
    epoch count rewritten, so that a small input spans many epochs."""
    out: list[bytes] = []
    kept_epochs = 0
    i = 0
    while i < len(body) and kept_epochs < epochs:
        line = body[i]
        if not line.startswith(b">") or len(line) < 35:
            i += 1
            continue
        count = int(line[32:35]) if line[32:35].strip().isdigit() else 0
        flag = line[31:32]
        if flag not in (b"0", b"1"):  # events: their lines are not satellites
            out += body[i: i + 1 + count]
            i += 1 + count
            continue
        keep = min(count, satellites)
        out.append(line[:32] + b"%3d" % keep + line[35:])
        out += body[i + 1: i + 1 + keep]
        i += 1 + count
        kept_epochs += 1
    return out


def obs_heads(files: Iterable[Path], limit: int) -> dict[str, bytes]:
    """Per observation file: the header alone, a head of whole lines, the head cut
    inside a line, and (RINEX 3/4) many thinned epochs."""
    seeds = {}
    for path in files:
        header, body = split_header(head_lines(path))
        head = fit(header + body, limit)
        seeds[f"{path.name}.header"] = b"".join(header)[:limit]
        seeds[f"{path.name}.head"] = head
        seeds[f"{path.name}.cut"] = head[: len(head) - 37]
        if header and header[0][5:6] in (b"3", b"4"):
            seeds[f"{path.name}.thin"] = fit(header + thin_rinex3(body, 4, 40), limit)
    return seeds


# ---- seed functions, one per target ------------------------------------------------

MINIMAL_OBS = (
    b"     3.04           OBSERVATION DATA    M                   RINEX VERSION / TYPE\n"
    b"G    3 C1C L1C S1C                                          SYS / # / OBS TYPES \n"
    b"                                                            END OF HEADER       \n"
    b"> 2020 06 25 00 00  0.0000000  0  1\n"
    b"G01  20000000.123 7 105000000.12345  45.000  \n"
)
MINIMAL_SP3 = (
    b"#cP2020  6 25  0  0  0.00000000      96 ORBIT IGS14 HLM  IGS\n"
    b"## 2111 345600.00000000   900.00000000 59025 0.0000000000000\n"
    b"*  2020  6 25  0  0  0.00000000\n"
    b"PG01  15000.000000  10000.000000  18000.000000    123.456000\n"
    b"EOF\n"
)


def obs_seeds(files: dict[str, list[Path]], limit: int) -> dict[str, bytes]:
    return {"minimal": MINIMAL_OBS, **obs_heads(files.get("obs", []), limit)}


def gzip_seeds(files: dict[str, list[Path]], limit: int) -> dict[str, bytes]:
    """Gzip of small heads; one head in two members; trailing bytes; a cut stream."""
    seeds = {"minimal.gz": gzip.compress(MINIMAL_OBS, mtime=0)}
    for name, text in obs_heads(files.get("obs", [])[:6], limit * 4).items():
        if not name.endswith(".thin"):
            continue
        packed = gzip.compress(text, mtime=0)
        half = text.find(b"\n>", len(text) // 2) + 1 or len(text) // 2
        two = gzip.compress(text[:half], mtime=0) + gzip.compress(text[half:], mtime=0)
        seeds.update({f"{name}.gz": packed, f"{name}.two-members.gz": two,
                      f"{name}.trailing.gz": packed + b"\0\0garbage",
                      f"{name}.cut.gz": packed[: len(packed) * 2 // 3]})
    return {k: v for k, v in seeds.items() if len(v) <= limit}


def sp3_seeds(files: dict[str, list[Path]], limit: int) -> dict[str, bytes]:
    """Per SP3 file: its head, and all epochs of a few satellites (enough records for
    the nine-point interpolation)."""
    seeds = {"minimal": MINIMAL_SP3}
    for path in files.get("sp3", []):
        lines = head_lines(path)
        seeds[f"{path.name}.head"] = fit(lines, limit)
        wanted = {line[1:4] for line in lines if line.startswith(b"P")}
        wanted = set(sorted(wanted)[:3])
        few = [line for line in lines if not line.startswith((b"P", b"V", b"EP", b"EV")) or line[1:4] in wanted]
        seeds[f"{path.name}.few"] = fit(few, limit)
    return seeds


def epoch_seeds(files: dict[str, list[Path]], limit: int) -> dict[str, bytes]:
    """Epoch fields as the files write them, and both grammars' corner cases."""
    seeds = {
        "iso": b"2024-03-05T12:30:15.25Z", "iso-blank": b"2024-03-05 12:30:15.25",
        "iso-offset": b"2024-03-05T12:30:15+00:00", "rinex-fields": b"24 3 5 12 30 15.0",
        "rinex-1985": b"85 3 5 0 0 0", "five-fields": b"2024 3 5 12 30",
        "negative-year": b"-0001-01-01T00:00:00.000Z", "second-60": b"2016 12 31 23 59 60.5",
        "nine-digit-year": b"820621121 2 2 2 2 2",
    }
    for path in files.get("obs", [])[:8] + files.get("sp3", [])[:2]:
        for line in head_lines(path, 400):
            if b"TIME OF FIRST OBS" in line:
                seeds[f"{path.name}.first-obs"] = line[:43].strip()
            elif line.startswith(b"> "):
                seeds[f"{path.name}.epoch3"] = line[2:29]
            elif line.startswith(b"*  "):
                seeds[f"{path.name}.sp3-epoch"] = line[3:31]
    return {k: v[:limit] for k, v in seeds.items()}


def chain_seeds(files: dict[str, list[Path]], limit: int) -> dict[str, bytes]:
    """Thinned RINEX 3/4 records long enough for arcs; the ESBC day matches the
    target's fixed orbit."""
    seeds = {"minimal": MINIMAL_OBS}
    for name, text in obs_heads(files.get("obs", []), limit).items():
        if name.endswith((".thin", ".head")):
            seeds[name] = text
    return seeds


# ---- Compact RINEX ------------------------------------------------------------------

MINIMAL_CRINEX3 = (
    b"3.0                 COMPACT RINEX FORMAT                    CRINEX VERS   / TYPE\n"
    b"by hand                                                     CRINEX PROG / DATE\n"
    b"     3.04           OBSERVATION DATA    M                   RINEX VERSION / TYPE\n"
    b"G    2 C1C S1C                                              SYS / # / OBS TYPES \n"
    b"E    1 S1C                                                  SYS / # / OBS TYPES \n"
    b"                                                            END OF HEADER       \n"
    b"> 2020 06 25 00 00  0.0000000  0  2      G01E05\n"
    b"3&2000\n"
    b"3&20000000123 3&45000 1&&7\n"
    b"3&30250\n"
    b"                   3\n"
    b"1000\n"
    b"250 -250    9\n"
    b"-125\n"
    b"> 2020 06 25 00 01  0.0000000  4  1\n"
    b"                                                            COMMENT\n"
    b"> 2020 06 25 00 01 30.0000000  0  1      G01\n"
    b"\n"
    b" 3&45500\n"
)
MINIMAL_CRINEX1 = (
    b"1.0                 COMPACT RINEX FORMAT                    CRINEX VERS   / TYPE\n"
    b"by hand                                                     CRINEX PROG / DATE\n"
    b"     2.11           OBSERVATION DATA    M (MIXED)           RINEX VERSION / TYPE\n"
    b"     3    C1    L1    S1                                    # / TYPES OF OBSERV\n"
    b"                                                            END OF HEADER       \n"
    b"&20  6 25  0  0  0.0000000  0  2G01R05\n"
    b"\n"
    b"3&20000123 3&105000000123 3&45000 1  7\n"
    b"3&21000456  3&30250\n"
    b"                3\n"
    b"\n"
    b"250 -1250 -250\n"
    b"-125  -250\n"
)


def text_difference(reference: bytes, difference: bytes) -> bytes:
    """Compact RINEX's text difference: a blank keeps, "&" blanks, anything else replaces."""
    out = bytearray(reference.ljust(len(difference)))
    for k, c in enumerate(difference):
        if c != 0x20:
            out[k] = 0x20 if c == 0x26 else c
    return bytes(out)


def crinex_epoch_ends(lines: list[bytes]) -> list[int]:
    """Line counts after which a compact file lies between epochs (the header's end
    first): an epoch line, its clock line and one line per satellite; an event's line
    and its records."""
    rinex2 = lines[0].strip()[:1] == b"1" if lines else False
    mark, flag_at, count_at = (b"&", 28, slice(29, 32)) if rinex2 else (b">", 31, slice(32, 35))
    header, _ = split_header(lines)
    i = len(header)
    ends, reference = [i], b""
    while i < len(lines):
        line = lines[i].rstrip(b"\r\n")
        epoch = line if line.startswith(mark) else text_difference(reference, line)
        try:
            count = int(epoch[count_at].strip() or b"0")
        except ValueError:
            break
        if epoch[flag_at:flag_at + 1] in (b"2", b"3", b"4", b"5", b"6"):
            i += 1 + count
        else:
            reference = epoch
            i += 2 + count
        if i <= len(lines):
            ends.append(i)
    return ends


def crinex_heads(files: Iterable[Path], limit: int) -> dict[str, bytes]:
    """Per compact file: the header alone, the most whole epochs that fit, the same
    cut inside its last line, and a head ending inside an epoch."""
    seeds = {}
    for path in files:
        lines = head_lines(path)
        ends = crinex_epoch_ends(lines)
        whole = max((n for n in ends if len(b"".join(lines[:n])) <= limit), default=0)
        head = b"".join(lines[:whole])
        seeds[f"{path.name}.header"] = b"".join(lines[:ends[0]])[:limit]
        seeds[f"{path.name}.epochs"] = head
        seeds[f"{path.name}.cut"] = head[: len(head) - 23]
        seeds[f"{path.name}.inside-epoch"] = fit(lines, limit)
    return seeds


def crinex_seeds(files: dict[str, list[Path]], limit: int) -> dict[str, bytes]:
    return {"minimal-3.0": MINIMAL_CRINEX3, "minimal-1.0": MINIMAL_CRINEX1,
            **crinex_heads(files.get("crinex", []), limit)}


# ---- Unix compress (.Z) -------------------------------------------------------------

def lzw(data: bytes, bits: int = 16) -> bytes | None:
    """`compress` output (Debian ncompress), or None without the tool."""
    tool = shutil.which("compress")
    if tool is None:
        return None
    # -f: output even when it does not shrink (then the exit status is 2).
    done = subprocess.run([tool, "-c", "-f", f"-b{bits}"], input=data, capture_output=True)
    return done.stdout if done.returncode in (0, 2) and done.stdout[:2] == b"\x1f\x9d" else None


def packable_texts(files: dict[str, list[Path]], size: int) -> dict[str, bytes]:
    """Plain and compact texts to compress: the built-in ones, heads of a few
    observation files and whole epochs of every compact file."""
    texts = {"minimal": MINIMAL_OBS, "minimal-crinex-3.0": MINIMAL_CRINEX3, "minimal-crinex-1.0": MINIMAL_CRINEX1}
    for name, text in obs_heads(files.get("obs", [])[:4], size).items():
        if name.endswith((".thin", ".head")):
            texts[name] = text
    for name, text in crinex_heads(files.get("crinex", []), size).items():
        if name.endswith(".epochs"):
            texts[name] = text
    return texts


def compress_seeds(files: dict[str, list[Path]], limit: int) -> dict[str, bytes]:
    """.Z of small heads, plain and compact, with 16-bit codes and with narrow ones
    (the table fills, codes widen, `compress` clears its table); a stream cut short,
    and one followed by stray bytes. Not 9-bit codes: `compress -b9` writes streams
    that no decoder reads back, its own included."""
    seeds = {}
    for bits, size in ((16, limit * 2), (12, limit * 2), (10, limit)):  # narrow codes pack less
        for name, text in packable_texts(files, size).items():
            packed = lzw(text, bits)
            if packed is None:
                print("note: the compress tool (Debian ncompress) is absent: no .Z seeds")
                return {}
            seeds[f"{name}.b{bits}.Z"] = packed
            if bits == 16:
                seeds[f"{name}.cut.Z"] = packed[: len(packed) * 2 // 3]
                seeds[f"{name}.trailing.Z"] = packed + b"\0\0garbage"
    return {k: v for k, v in seeds.items() if len(v) <= limit}


# ---- RINEX navigation ---------------------------------------------------------------

def nav_number(value: float | None) -> bytes:
    return b" " * 19 if value is None else b"%19.12E" % value


def nav_record3(sat: bytes, when: tuple, values: list) -> list[bytes]:
    """A RINEX 3 record: three numbers on the first line, four on each orbit line."""
    first = sat + b" %04d %02d %02d %02d %02d %02d" % when + b"".join(nav_number(v) for v in values[:3])
    rest = values[3:]
    return [first + b"\n"] + [b"    " + b"".join(nav_number(v) for v in rest[i:i + 4]) + b"\n"
                              for i in range(0, len(rest), 4)]


def nav_header(version: bytes, kind: bytes, system: bytes, leap: int = 18) -> list[bytes]:
    return [b"%9s%11s%-20s%-20sRINEX VERSION / TYPE\n" % (version, b"", kind, system),
            b"%6d%54sLEAP SECONDS\n" % (leap, b""), b"%60sEND OF HEADER\n" % b""]


# A GPS and a GLONASS record of 25 June 2020, as a receiver writes them.
MINIMAL_NAV_RECORDS = [
    nav_record3(b"G01", (2020, 6, 25, 4, 0, 0), [
        1.6e-05, 7.0e-12, 0.0, 58.0, -36.2, 4.3e-09, 1.2, -1.9e-06, 0.0123, 8.7e-06, 5153.65,
        360000.0, 7.4e-08, -2.1, -1.3e-07, 0.9599, 231.5, 0.75, -8.2e-09, -3.1e-10, 1.0, 2111.0, 0.0,
        2.0, 0.0, 5.1e-09, 58.0, 356400.0, 4.0]),
    nav_record3(b"R05", (2020, 6, 25, 4, 15, 0), [
        6.3e-05, 0.0, 345600.0, 13000.0, 2.86867268, -1.862645149231e-09, 0.0,
        -5000.0, 0.68202499, 9.31e-10, 1.0, 21375.0, -1.58515181, -2.793967723846e-09, 0.0]),
]


def nav_records(lines: list[bytes]) -> list[list[bytes]]:
    """The records of a RINEX 3 navigation body: each starts with a system letter."""
    records: list[list[bytes]] = []
    for line in lines:
        if line[:1].isupper():
            records.append([line])
        elif records and line.strip():
            records[-1].append(line)
    return records


# The RINEX 4 frame of a RINEX 3 record, by system.
FRAME_MESSAGES = {b"G": b"LNAV", b"J": b"LNAV", b"I": b"LNAV", b"R": b"FDMA", b"S": b"SBAS"}


def frame_message(record: list[bytes]) -> bytes:
    sat = record[0][:3]
    if sat[:1] == b"C":  # BeiDou GEO satellites send D2
        return b"D2" if int(sat[1:]) <= 5 or int(sat[1:]) >= 59 else b"D1"
    if sat[:1] == b"E":  # Galileo: F/NAV when bit 1 of the data sources is set
        try:
            sources = int(float(record[5][23:42].replace(b"D", b"E")))
        except (IndexError, ValueError):
            sources = 0
        return b"FNAV" if sources & 2 else b"INAV"
    return FRAME_MESSAGES.get(sat[:1], b"LNAV")


def as_rinex4(record: list[bytes]) -> list[bytes]:
    return [b"> EPH %s %s\n" % (record[0][:3], frame_message(record))] + record


def as_rinex2(record: list[bytes]) -> list[bytes]:
    """RINEX 2 columns: a two-digit PRN and year, three-column indent, D exponents."""
    first = record[0].rstrip(b"\r\n")
    y, mo, d, h, mi, s = (int(x) for x in first[4:23].split())
    lines = [b"%2d %02d %2d %2d %2d %2d%5.1f" % (int(first[1:3]), y % 100, mo, d, h, mi, s) + first[23:] + b"\n"]
    lines += [b"   " + line[4:] for line in record[1:]]
    return [line.replace(b"E+", b"D+").replace(b"E-", b"D-") for line in lines]


def nav_variants(name: str, header: list[bytes], records: list[list[bytes]], limit: int) -> dict[str, bytes]:
    """One set of records in every version: RINEX 3 as given, RINEX 4 frames (with a
    time-offset frame between), RINEX 2 files of GPS and of GLONASS."""
    version4 = [b"     4.00" + header[0][9:]] + header[1:]
    frames = [b"> STO SBAS SBUT\n", b"    2020 06 25 00 00 00 GPUT\n",
              b"    3.456000000000E+05 1.000000000000E-09 0.000000000000E+00 0.000000000000E+00\n"]
    frames += [line for r in records for line in as_rinex4(r)]
    seeds = {f"{name}.rinex3": fit(header + [line for r in records for line in r], limit),
             f"{name}.rinex4": fit(version4 + frames, limit)}
    for letter, kind, system in ((b"G", b"N: GPS NAV DATA", b""), (b"R", b"G: GLONASS NAV DATA", b"")):
        body = [line for r in records if r[0][:1] == letter for line in as_rinex2(r)]
        if body:
            seeds[f"{name}.rinex2-{letter.decode()}"] = fit(nav_header(b"2.11", kind, system) + body, limit)
    return seeds


def nav_seeds(files: dict[str, list[Path]], limit: int) -> dict[str, bytes]:
    """Built-in records in every version; per navigation file its head, and a few
    records of every system in every version."""
    seeds = nav_variants("minimal", nav_header(b"3.05", b"N: GNSS NAV DATA", b"M: MIXED"), MINIMAL_NAV_RECORDS,
                         limit)
    for path in files.get("nav", []):
        lines = head_lines(path, 40000)
        header, body = split_header(lines)
        seeds[f"{path.name}.head"] = fit(lines, limit)
        by_system: dict[bytes, list[list[bytes]]] = {}
        for record in nav_records(body):
            by_system.setdefault(record[0][:1], []).append(record)
        few = [r for records in by_system.values() for r in records[:4]]
        seeds.update(nav_variants(path.name, header, few, limit))
    return seeds


@dataclass(frozen=True)
class Target:
    seeds: Callable[[dict[str, list[Path]], int], dict[str, bytes]]
    dictionary: str | None  # a file in fuzz/
    max_len: int  # libFuzzer -max_len, and the limit of every seed


TARGETS = {
    "rinex_obs": Target(obs_seeds, "rinex.dict", 65536),
    "gzip": Target(gzip_seeds, "gzip.dict", 32768),
    "sp3": Target(sp3_seeds, "sp3.dict", 32768),
    "epoch": Target(epoch_seeds, "epoch.dict", 128),
    "chain": Target(chain_seeds, "rinex.dict", 65536),
    "crinex": Target(crinex_seeds, "crinex.dict", 32768),
    "compress": Target(compress_seeds, "compress.dict", 16384),
    "rinex_nav": Target(nav_seeds, "nav.dict", 32768),
}


def regression_inputs(target: str) -> dict[str, bytes]:
    folder = FUZZ_DIR / "regressions" / target
    return {f"regression-{p.name}": p.read_bytes() for p in sorted(folder.glob("*"))} if folder.is_dir() else {}


def write_corpus(out_dir: Path, data_dir: Path, targets: Iterable[str]) -> dict[str, int]:
    files = data_files(data_dir) if data_dir.is_dir() else {}
    if not files:
        print(f"note: {data_dir} is absent: seeds are the regression inputs and built-in texts only")
    counts = {}
    for name in targets:
        target = TARGETS[name]
        folder = out_dir / name
        folder.mkdir(parents=True, exist_ok=True)
        seeds = {**target.seeds(files, target.max_len), **regression_inputs(name)}
        for seed_name, content in seeds.items():
            content = content[: target.max_len]
            # Named by content as libFuzzer names its own finds, so reruns add nothing new.
            (folder / hashlib.sha1(content).hexdigest()).write_bytes(content)
        counts[name] = len(seeds)
    return counts


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out_dir", type=Path)
    parser.add_argument("--data", type=Path, default=DEFAULT_DATA)
    parser.add_argument("--targets", nargs="*", default=list(TARGETS), choices=list(TARGETS))
    args = parser.parse_args(argv)
    for name, count in write_corpus(args.out_dir, args.data, args.targets).items():
        print(f"{name}: {count} seeds")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
