"""snr: SNR wavelet survey for ground reflections."""
from __future__ import annotations

from pathlib import Path

from ..argtypes import comma_list
from ..progress import Progress
from ._outputs import add_output_options, check_plotting, write_outputs


def add_parser(sub):
    p = sub.add_parser("snr", help="SNR wavelet survey for ground reflections")
    p.add_argument("obs", help="RINEX observation file with S observations")
    p.add_argument("--satellites", nargs="+", metavar="SAT",
                   help="satellites to analyse, e.g. G01,G02 or G01 G02 (default all)")
    add_output_options(p, plots="write a scalogram PNG per satellite (of its longest arc; "
                       "not of geostationary satellites unless named in --satellites, nor of arcs shorter "
                       "than 60 min)",
                       json="write the survey result as JSON")
    p.add_argument("--all-satellites", action="store_true",
                   help="with --plots, draw the geostationary satellites too (SBAS, BeiDou GEO)")
    return p


def run(args) -> None:
    from ..analysis.inputs import existing_file
    from ..analysis.plots import snr_plots
    from ..analysis.scalogram_plan import plan_scalograms
    from ..analysis.snr import run_snr, snr_json, snr_summary
    from ..figure_pool import FigurePool

    check_plotting(args)
    satellites = comma_list(args.satellites)
    existing_file(args.obs)  # a wrong name fails before the figure workers start
    with Progress() as progress, FigurePool(enabled=bool(args.plots)) as pool:
        progress.step(f"SNR survey of {Path(args.obs).name}")
        snr_run = run_snr(args.obs, satellites)
        progress.echo(snr_summary(snr_run))
        plan = None
        if args.plots:
            plan = plan_scalograms(snr_run.survey, satellites, args.all_satellites)
            if plan.notes():
                progress.echo("\n" + "\n".join(plan.notes()))
        write_outputs(args, json=lambda: snr_json(snr_run),
                      plots=lambda outdir, p: snr_plots(snr_run, outdir, progress=p, pool=pool,
                                                        plan=plan),
                      progress=progress)
