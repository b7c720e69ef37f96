"""report: the HTML pages of a batch's quality control (batch --qc)."""
from __future__ import annotations

from pathlib import Path

from ..errors import CliError
from ..progress import Progress
from ._outputs import list_written, outdir


def add_parser(sub):
    p = sub.add_parser(
        "report", help="HTML pages of a batch's quality control: network matrix, trends, days",
        description="Write the HTML pages of the quality control a batch made (skyrift-mp batch "
        "--qc): a network page, index.html, with a station x day matrix coloured by the flags "
        "of completeness, MP1, MP2 or observations per slip (the reader picks the figure and "
        "the system), trend charts per station and links to one page per station-day, "
        "written under days/. The pages are drawn from the reports the batch stored, without "
        "the observation files; the multipath figures need the batch's --estimates.")
    p.add_argument("batch_out", metavar="BATCH_OUT", help="the --out folder of the batch")
    p.add_argument("--html", required=True, metavar="DIR", help="folder for the pages")
    return p


def run(args) -> None:
    from ..commands.qc import check_html_support
    from ..reports.batch_results import read_batch
    from ..reports.network_page import write_network

    check_html_support()
    results = read_batch(args.batch_out)
    if not results.days:
        raise CliError(f"{Path(args.batch_out) / 'qc.parquet'} holds no file: nothing to report")
    with Progress() as progress:
        written = write_network(results, outdir(args.html), progress)
    stations = len({d.station for d in results.days})
    print(f"Network page of {stations} station{'s' if stations != 1 else ''} and "
          f"{len(results.days)} station-day{'s' if len(results.days) != 1 else ''}"
          + (f" ({len(results.failures)} failed files listed)" if results.failures else ""))
    list_written(written[:1] + [Path(args.html) / "days"])
