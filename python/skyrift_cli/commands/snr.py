"""snr: SNR wavelet survey for ground reflections."""
from __future__ import annotations

from pathlib import Path

from ..progress import Progress
from ._outputs import write_outputs


def add_parser(sub):
    p = sub.add_parser("snr", help="SNR wavelet survey for ground reflections")
    p.add_argument("obs", help="RINEX observation file with S observations")
    p.add_argument("--satellites", nargs="+", metavar="SAT",
                   help="satellites to analyse, e.g. G01,G02 or G01 G02 (default all)")
    p.add_argument("--plots", metavar="DIR", help="write a scalogram PNG per satellite")
    p.add_argument("--json", metavar="FILE", help="write the survey result as JSON")
    return p


def parse_satellites(values: list[str] | None) -> list[str] | None:
    """--satellites G01,G02 or G01 G02 (both forms may be mixed)."""
    if not values:
        return None
    return [s.strip() for v in values for s in v.split(",") if s.strip()]


def run(args) -> None:
    from ..analysis.plots import snr_plots
    from ..analysis.snr import run_snr, snr_summary
    from ..optional import pyplot

    if args.plots:
        pyplot()
    with Progress() as progress:
        progress.step(f"SNR survey of {Path(args.obs).name}")
        snr_run = run_snr(args.obs, parse_satellites(args.satellites))
        progress.echo(snr_summary(snr_run))
        write_outputs(args, [], lambda: snr_run.survey,
                      lambda outdir, p: snr_plots(snr_run, outdir, progress=p), progress)
