"""qc: station-day quality control in the terms of teqc and Anubis, as text, JSON and HTML."""
from __future__ import annotations

import sys
from pathlib import Path

from ..argtypes import elevation_cutoff
from ..defaults import DEFAULT_CUTOFF
from ..errors import CliError
from ..progress import Progress
from ._outputs import list_written, outdir


def add_parser(sub):
    p = sub.add_parser(
        "qc", help="station-day quality control: completeness, gaps, slips, multipath, SNR",
        description="Quality control of observation files in the terms of teqc's +qc and "
        "Anubis: epochs expected and present, gaps and holes, receiver clock jumps, and per "
        "system teqc's summary line (#expt #have %% mp1 mp2 o/slps) with pass/warn/fail "
        "flags, then one row per signal. Expected counts, completeness and everything "
        "above the cutoff need the elevations of an orbit (--sp3, --nav or both); without "
        "one they are left out and the report says so.",
        epilog="Table columns: observations at any elevation, expected and present above "
        "the cutoff, completeness of every satellite of the system (%%) and of those that "
        "track the code (%% trk), slip epochs, observations per slip, multipath RMS and "
        "elevation-weighted RMS (m), mean SNR (dB-Hz). With several files, --json and "
        "--html name folders that receive one report per file.")
    p.add_argument("files", nargs="+", metavar="FILE", help="RINEX observation files")
    p.add_argument("--sp3", help="SP3 precise orbit covering the observations")
    p.add_argument("--nav", help="RINEX navigation file (broadcast orbits); with --sp3, used "
                   "for the satellites the SP3 file lacks")
    p.add_argument("--cutoff", type=elevation_cutoff, metavar="DEG",
                   help=f"elevation cutoff in degrees (default {DEFAULT_CUTOFF:g}); needs "
                   "--sp3 or --nav")
    p.add_argument("--json", metavar="FILE", help="write the report as JSON (schema "
                   "skyrift-mp/quality/1)")
    p.add_argument("--html", metavar="FILE", help="write the report as one self-contained "
                   "HTML page")
    return p


def report_name(obs: str, suffix: str) -> str:
    """The file name of one input's report inside a folder: the input's name without
    its compression suffix, then the report's ("ESBC..._MO.rnx.html")."""
    from ..batch.names import uncompressed_name

    return uncompressed_name(Path(obs).name) + suffix


def targets(option: str | None, files: list[str], suffix: str) -> list[Path | None]:
    """Where each input's report goes: the option's path for one input, a file in the
    option's folder for several."""
    if not option:
        return [None] * len(files)
    if len(files) == 1:
        return [Path(option)]
    folder = outdir(option)
    paths, taken = [], set()
    for f in files:
        name = report_name(f, suffix)
        stem, dot, rest = name.partition(".")
        k = 1
        while name in taken:  # inputs of the same name from several folders
            k += 1
            name = f"{stem}-{k}{dot}{rest}"
        taken.add(name)
        paths.append(folder / name)
    return paths


def check_html_support() -> None:
    """Fail before the work when the HTML report's packages are missing."""
    from ..optional import pyplot, require

    pyplot()
    require("jinja2", "the HTML report")


def run(args) -> None:
    from ..analysis.quality import quality_text, run_quality

    if args.html:
        check_html_support()
    if not (args.sp3 or args.nav) and args.cutoff is not None:
        raise CliError("--cutoff needs --sp3 or --nav: without an orbit the elevations are unknown")
    cutoff = DEFAULT_CUTOFF if args.cutoff is None else args.cutoff
    json_paths = targets(args.json, args.files, ".json")
    html_paths = targets(args.html, args.files, ".html")
    written, failed = [], []
    with Progress() as progress:
        for i, obs in enumerate(args.files):
            progress.step(f"checking {Path(obs).name}")
            try:
                qc_run = run_quality(obs, args.sp3, args.nav, cutoff)
            except CliError as exc:
                if len(args.files) == 1:
                    raise
                print(f"skyrift-mp: error: {exc}", file=sys.stderr)
                failed.append(obs)
                continue
            progress.echo(("\n" if i else "") + quality_text(qc_run))
            written += _write(qc_run, json_paths[i], html_paths[i], progress)
    list_written(written)
    if failed:
        raise CliError(f"{len(failed)} of {len(args.files)} files could not be checked")


def _write(qc_run, json_path: Path | None, html_path: Path | None, progress) -> list[Path]:
    written = []
    if json_path:
        progress.step(f"writing {json_path}")
        json_path.write_text(qc_run.report.to_json(indent=2) + "\n", encoding="utf-8")
        written.append(json_path)
    if html_path:
        from ..reports.day_page import day_inputs_of, write_day_page

        progress.step(f"writing {html_path}")
        write_day_page(html_path, day_inputs_of(qc_run))
        written.append(html_path)
    return written
