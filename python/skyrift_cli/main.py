"""skyrift-mp: code multipath, cycle slips and SNR reflections from RINEX files."""
from __future__ import annotations

import argparse
import os
import sys
from pathlib import Path

from .errors import CliError

PROG = "skyrift-mp"


def _receiver(text: str) -> float:
    try:
        return float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number: {text!r}") from None


def _positive(text: str) -> float:
    value = _receiver(text)
    if not value > 0:
        raise argparse.ArgumentTypeError(f"must be positive: {text!r}")
    return value


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog=PROG, description=__doc__)
    parser.add_argument("--debug", action="store_true", help="show tracebacks of errors")
    sub = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    p = sub.add_parser("info", help="header summary of an observation file")
    p.add_argument("obs", help="RINEX observation file (2, 3 or 4; plain or .gz)")

    p = sub.add_parser(
        "multipath", help="code multipath per signal, with cycle slips",
        description="Code multipath per satellite and signal, statistics per signal and the "
        "detected cycle slips. With --sp3 every estimate gets its real elevation and azimuth; "
        "the elevation cutoff is applied after that (the analysis itself keeps every "
        "estimate, since it only knows a placeholder elevation of 45 deg), and the statistics "
        "are computed from the estimates above the cutoff.",
        epilog="Table columns: count of estimates, RMS and elevation-weighted RMS of the "
        "bias-free multipath in metres, and slips: arcs broken by a detected cycle slip.")
    p.add_argument("obs", help="RINEX observation file")
    p.add_argument("--sp3", help="SP3 precise orbit covering the observations")
    p.add_argument("--receiver", nargs=3, type=_receiver, metavar=("X", "Y", "Z"),
                   help="receiver ECEF position in metres (default: the header's "
                   "APPROX POSITION XYZ)")
    p.add_argument("--cutoff", type=_receiver, metavar="DEG",
                   help="elevation cutoff in degrees, applied once the elevations are known "
                   "from --sp3 (default 10)")
    p.add_argument("--systems", metavar="G,R,E,C", help="constellations to analyse "
                   "(default G,R,E,C)")
    p.add_argument("--window", type=_positive, default=1500.0, metavar="S",
                   help="bias-removal window in seconds (default 1500)")
    p.add_argument("--csv", metavar="FILE", help="write every estimate to a CSV file")
    p.add_argument("--json", metavar="FILE", help="write statistics and slips as JSON")
    p.add_argument("--plots", metavar="DIR", help="write PNG figures into DIR")

    p = sub.add_parser("snr", help="SNR wavelet survey for ground reflections")
    p.add_argument("obs", help="RINEX observation file with S observations")
    p.add_argument("--satellites", nargs="+", metavar="SAT",
                   help="satellites to analyse, e.g. G01,G02 or G01 G02 (default all)")
    p.add_argument("--plots", metavar="DIR", help="write a scalogram PNG per satellite")
    p.add_argument("--json", metavar="FILE", help="write the survey result as JSON")

    p = sub.add_parser("simulate", help="write a synthetic observation file, orbit and truth")
    p.add_argument("outdir", help="folder for the RINEX, SP3 and truth.json files")
    p.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    p.add_argument("--hours", type=_positive, default=6.0, help="span in hours (default 6)")
    p.add_argument("--interval", type=_positive, default=30.0,
                   help="sampling interval in seconds (default 30)")
    p.add_argument("--reflector-height", type=_positive, default=1.6, metavar="METRES",
                   help="height of the antenna above the reflecting ground (default 1.6)")

    p = sub.add_parser("demo", help="simulate, analyse and compare with what was injected")
    p.add_argument("--outdir", default="skyrift-demo", help="folder for the plots "
                   "(default ./skyrift-demo)")
    p.add_argument("--hours", type=_positive, default=4.0, help="span in hours (default 4)")
    p.add_argument("--seed", type=int, default=7, help="random seed (default 7)")
    p.add_argument("--no-plots", action="store_true", help="skip the figures")
    p.add_argument("--reflector-height", type=_positive, default=1.6, metavar="METRES",
                   help="height of the antenna above the reflecting ground (default 1.6)")

    from .reflector import add_rh_parser

    add_rh_parser(sub, _receiver, _positive)
    return parser


def dispatch(args) -> None:
    from . import commands

    if args.command == "multipath":
        args.cutoff_given = args.cutoff is not None
        args.cutoff = 10.0 if args.cutoff is None else args.cutoff
    if args.command == "demo":
        from .demo import run_demo

        run_demo(Path(args.outdir), args.hours, args.seed, plots=not args.no_plots,
                 reflector_height=args.reflector_height)
        return
    if args.command == "rh":
        from .reflector import cmd_rh

        cmd_rh(args)
        return
    getattr(commands, f"cmd_{args.command}")(args)


def main(argv: list[str] | None = None) -> int:
    args = build_parser().parse_args(argv)
    try:
        from .optional import require

        require("numpy", PROG)
        dispatch(args)
    except CliError as exc:
        return _fail(str(exc), args)
    except BrokenPipeError:  # output piped into head: stop quietly
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 0
    except (OSError, ValueError, RuntimeError) as exc:
        return _fail(str(exc) or type(exc).__name__, args)
    except KeyboardInterrupt:
        return 130
    except Exception as exc:  # a fault of ours: still one line, --debug shows where
        return _fail(f"internal error ({type(exc).__name__}: {exc}); rerun with --debug "
                     "for the traceback", args)
    return 0


def _fail(message: str, args) -> int:
    if args.debug:
        raise
    print(f"{PROG}: error: {message}", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
