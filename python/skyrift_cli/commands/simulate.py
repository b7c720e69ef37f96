"""simulate: write a synthetic observation file, its orbit and the truth."""
from __future__ import annotations

from ..argtypes import positive
from ._outputs import list_written, outdir


def add_parser(sub):
    p = sub.add_parser("simulate", help="write a synthetic observation file, orbit and truth")
    p.add_argument("outdir", help="folder for the RINEX, SP3 and truth.json files")
    p.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    p.add_argument("--hours", type=positive, default=6.0, help="span in hours (default 6)")
    p.add_argument("--interval", type=positive, default=30.0,
                   help="sampling interval in seconds (default 30)")
    p.add_argument("--reflector-height", type=positive, default=1.6, metavar="METRES",
                   help="height of the antenna above the reflecting ground (default 1.6)")
    return p


def run(args) -> None:
    from ..simulator.simulate import SimConfig, simulate, truth, write_simulation

    config = SimConfig(seed=args.seed, hours=args.hours, interval=args.interval,
                       reflector_height=args.reflector_height)
    sim = simulate(config)
    files = write_simulation(sim, outdir(args.outdir))
    t = truth(sim)
    print(f"Simulated {config.hours:g} h at {config.interval:g} s, seed {config.seed}: "
          f"{len(sim.tracks)} satellites, {len(t['slips'])} cycle slips, "
          f"reflector {config.reflector_height:g} m below the antenna")
    list_written([files.obs, files.sp3, files.truth])
