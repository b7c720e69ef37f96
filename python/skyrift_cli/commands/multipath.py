"""multipath: code multipath per signal, with cycle slips, optionally on real elevations."""
from __future__ import annotations

from pathlib import Path

from ..argtypes import elevation_cutoff, number, positive, systems
from ..defaults import DEFAULT_CUTOFF
from ..errors import CliError
from ..progress import Progress
from ._outputs import add_output_options, check_plotting, write_outputs


def add_parser(sub):
    p = sub.add_parser(
        "multipath", help="code multipath per signal, with cycle slips",
        description="Code multipath per satellite and signal, statistics per signal and the "
        "detected cycle slips. With --sp3 or --nav the analysis gives every estimate its real "
        "elevation and azimuth (with both, SP3 first and the broadcast ephemerides for what "
        "it lacks), drops those below the elevation cutoff and weighs the statistics by "
        "elevation. Estimates the orbit has no position for are left out and counted per "
        "system.",
        epilog="Table columns: count of estimates, RMS and elevation-weighted RMS of the "
        "bias-free multipath in metres, and slips: arcs broken by a detected cycle slip. "
        "A signal or file that gives no estimate is named with the reason.")
    p.add_argument("obs", help="RINEX observation file")
    p.add_argument("--sp3", help="SP3 precise orbit covering the observations")
    p.add_argument("--nav", help="RINEX navigation file (broadcast orbits) of the observations; "
                   "with --sp3, used for the satellites the SP3 file lacks")
    p.add_argument("--receiver", nargs=3, type=number, metavar=("X", "Y", "Z"),
                   help="receiver ECEF position in metres (default: the header's "
                   "APPROX POSITION XYZ)")
    p.add_argument("--cutoff", type=elevation_cutoff, metavar="DEG",
                   help="elevation cutoff in degrees, at least -90 and below 90, applied once "
                   f"the elevations are known from --sp3 or --nav (default {DEFAULT_CUTOFF:g})")
    p.add_argument("--systems", type=systems, metavar="G,R,E,C",
                   help="constellations to analyse, by letter or name (default G,R,E,C); "
                   "cycle slips are counted and drawn for these only")
    p.add_argument("--window", type=positive, default=1500.0, metavar="S",
                   help="bias-removal window in seconds (default 1500)")
    add_output_options(p, csv="write every estimate to a CSV file",
                       json="write statistics and slips as JSON", plots="write PNG figures into DIR")
    p.add_argument("--signal", type=str.upper, metavar="KEY",
                   help="with --plots and an orbit, draw the skyplot of this signal only "
                   "(series key, e.g. GPSM1C) as skyplot_mp_KEY.png")
    return p


def check_signal(signal: str | None, args) -> None:
    """--signal chooses the skyplot's signal: it needs the figures and the elevations."""
    if signal is None:
        return
    if not args.plots:
        raise CliError("--signal needs --plots: it chooses the signal of the skyplot")
    if not (args.sp3 or args.nav):
        raise CliError("--signal needs --sp3 or --nav: the skyplot needs elevations")


def signal_with_estimates(signal: str | None, run) -> None:
    """A --signal that gave no placed estimate is an error naming those that did."""
    if signal is None:
        return
    import numpy as np

    placed = run.estimates.key[~np.isnan(run.estimates.elevation)]
    if not (placed == signal).any():
        known = ", ".join(sorted(set(placed.tolist()))) or "none"
        raise CliError(f"--signal {signal}: no estimates of that signal with an elevation "
                       f"(signals with some: {known})")


def run(args) -> None:
    from ..analysis.inputs import existing_file
    from ..analysis.multipath import run_multipath
    from ..analysis.plots import multipath_plots
    from ..analysis.report import multipath_json, multipath_summary, write_estimates_csv
    from ..figure_pool import FigurePool

    check_plotting(args)
    check_signal(args.signal, args)
    if not (args.sp3 or args.nav) and (args.cutoff is not None or args.receiver):
        option = "--cutoff" if args.cutoff is not None else "--receiver"
        raise CliError(f"{option} needs --sp3 or --nav: without an orbit the elevations are unknown")
    cutoff = DEFAULT_CUTOFF if args.cutoff is None else args.cutoff
    existing_file(args.obs)  # a wrong name fails before the figure workers start
    # at most four figures: no more workers than that
    with Progress() as progress, FigurePool(enabled=bool(args.plots), workers=4) as pool:
        progress.step(f"analysing {Path(args.obs).name}")
        mp_run = run_multipath(args.obs, args.sp3, args.receiver, cutoff, args.systems, args.window,
                               args.nav)
        signal_with_estimates(args.signal, mp_run)
        progress.echo(multipath_summary(mp_run))
        write_outputs(args, csv=lambda path: write_estimates_csv(path, mp_run.estimates),
                      json=lambda: multipath_json(mp_run),
                      plots=lambda outdir, p: multipath_plots(mp_run, outdir, progress=p,
                                                              pool=pool, signal=args.signal),
                      progress=progress)
