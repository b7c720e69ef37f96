"""batch: many observation files on Dask workers, results as Parquet tables."""
from __future__ import annotations

from ..argtypes import elevation_cutoff, whole_number
from ..defaults import DEFAULT_CUTOFF
from ..errors import CliError
from ._outputs import list_written


def workers(text: str) -> int:
    return whole_number(text, least=1)


def add_parser(sub):
    p = sub.add_parser(
        "batch", help="many observation files on Dask workers, results as Parquet",
        description="Code multipath statistics of many observation files, one Dask task "
        "per file, on worker processes of this machine or on a running Dask cluster. "
        "Results go to Parquet tables under --out: stats.parquet (one row per file and "
        "signal), files.parquet (one row per file, with the errors) and, with --estimates, "
        "every estimate partitioned by station and date. Files that fail are recorded "
        "and the batch goes on; the exit status is then 1.",
        epilog="Inputs may be files, folders (searched for names ending in .YYo, .YYd, "
        "_MO.rnx or _MO.crx, plain, .gz or .Z), glob patterns (quote them) and URLs "
        "(with fsspec installed).")
    p.add_argument("inputs", nargs="+", metavar="INPUT",
                   help="observation files, folders, glob patterns or URLs")
    p.add_argument("--out", required=True, metavar="DIR", help="folder for the results")
    p.add_argument("--orbits", metavar="DIR", help="folder (or URL) of SP3 and broadcast "
                   "navigation files; each observation file gets the SP3 files covering it, "
                   "else its navigation file")
    p.add_argument("--cutoff", type=elevation_cutoff, default=DEFAULT_CUTOFF, metavar="DEG",
                   help="elevation cutoff in degrees where an orbit gives elevations, at least "
                   f"-90 and below 90 (default {DEFAULT_CUTOFF:g})")
    where = p.add_mutually_exclusive_group()
    where.add_argument("--workers", type=workers, metavar="N",
                       help="worker processes of a local Dask cluster (default: the "
                       "processors of this machine)")
    where.add_argument("--scheduler", metavar="ADDRESS",
                       help="run on an existing Dask cluster, e.g. tcp://host:8786")
    p.add_argument("--estimates", action="store_true",
                   help="also write every estimate (estimates/station=.../date=.../)")
    p.add_argument("--qc", action="store_true",
                   help="also run the quality control of each file: qc.parquet (one row per "
                   "file and signal) and the reports in qc/, which skyrift-mp report draws")
    p.add_argument("--resume", action="store_true",
                   help="continue the batch in DIR: inputs already ok are skipped (damaged "
                   "ones are analysed again), rows of files that no longer exist removed")
    return p


LISTED = 10  # failed and damaged files named in the report; the rest are in files.parquet


def _listed(kind: str, pairs: list[tuple[str, str]]) -> list[str]:
    lines = [f"  {kind}: {file}: {message}" for file, message in pairs[:LISTED]]
    if len(pairs) > LISTED:
        lines.append(f"  ... and {len(pairs) - LISTED} more {kind} (see files.parquet)")
    return lines


def report(summary) -> str:
    dropped = []
    if summary.dropped == 1:
        dropped.append("Removed the rows of 1 file that no longer exists")
    elif summary.dropped:
        dropped.append(f"Removed the rows of {summary.dropped} files that no longer exist")
    if not summary.analysed:
        return "\n".join([f"Nothing to analyse: all {summary.inputs} files are ok in "
                          f"{summary.out / 'files.parquet'}"] + dropped)
    where = f"{summary.workers} worker{'s' if summary.workers != 1 else ''}"
    lines = [f"Analysed {summary.analysed} of {summary.inputs} files on {where} in "
             f"{summary.seconds:.1f} s: {summary.ok} ok, {summary.failed} failed"
             + (f", {summary.skipped} done before (skipped)" if summary.skipped else "")]
    if summary.damaged:
        n = len(summary.damaged)
        lines.append(f"Damaged: {n} of the ok files {'was' if n == 1 else 'were'} read up to the "
                     "damage (see the damage column)")
    lines += _listed("failed", summary.failures) + _listed("damaged", summary.damaged) + dropped
    return "\n".join(lines)


def run(args) -> None:
    from ..batch import run_batch

    summary = run_batch(args.inputs, args.out, orbits=args.orbits, cutoff=args.cutoff,
                        workers=args.workers, scheduler=args.scheduler,
                        estimates=args.estimates, resume=args.resume, qc=args.qc)
    print(report(summary))
    written = [summary.out / "stats.parquet", summary.out / "files.parquet"]
    if args.estimates:
        written.append(summary.out / "estimates")
    if args.qc:
        written += [summary.out / "qc.parquet", summary.out / "qc"]
    list_written(written)
    if summary.failed:
        raise CliError(f"{summary.failed} of {summary.analysed} files failed; their messages "
                       f"are in {summary.out / 'files.parquet'}")
