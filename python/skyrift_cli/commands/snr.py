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
    add_output_options(p, plots="write a scalogram PNG per satellite",
                       json="write the survey result as JSON")
    return p


def run(args) -> None:
    from ..analysis.plots import snr_plots
    from ..analysis.snr import run_snr, snr_summary

    check_plotting(args)
    with Progress() as progress:
        progress.step(f"SNR survey of {Path(args.obs).name}")
        snr_run = run_snr(args.obs, comma_list(args.satellites))
        progress.echo(snr_summary(snr_run))
        write_outputs(args, json=lambda: snr_run.survey,
                      plots=lambda outdir, p: snr_plots(snr_run, outdir, progress=p),
                      progress=progress)
