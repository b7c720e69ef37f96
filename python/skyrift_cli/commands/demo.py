"""demo: simulate, analyse and compare what was found with what was injected."""
from __future__ import annotations

from pathlib import Path

from ..argtypes import positive


def add_parser(sub):
    p = sub.add_parser("demo", help="simulate, analyse and compare with what was injected")
    p.add_argument("--outdir", default="skyrift-demo", help="folder for the plots "
                   "(default ./skyrift-demo)")
    p.add_argument("--hours", type=positive, default=4.0, help="span in hours (default 4)")
    p.add_argument("--seed", type=int, default=7, help="random seed (default 7)")
    p.add_argument("--no-plots", action="store_true", help="skip the figures")
    p.add_argument("--reflector-height", type=positive, default=1.6, metavar="METRES",
                   help="height of the antenna above the reflecting ground (default 1.6)")
    return p


def run(args) -> None:
    from ..simulator.demo import run_demo

    run_demo(Path(args.outdir), args.hours, args.seed, plots=not args.no_plots,
             reflector_height=args.reflector_height)
