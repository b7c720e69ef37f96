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
