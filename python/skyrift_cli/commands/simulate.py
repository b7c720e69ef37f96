"""simulate: write a synthetic observation file, its orbit and the truth."""
from __future__ import annotations

import dataclasses

from ..argtypes import count, day, lat_lon_height, positive, signal_fraction, station
from ._outputs import list_written, outdir


def add_parser(sub):
    p = sub.add_parser(
        "simulate", help="write a synthetic observation file, orbit and truth",
        description="Write a synthetic RINEX 3 observation file, the SP3 orbit of its "
        "satellites and the truth of what was injected. With --station, --start or "
        "--receiver the satellites follow one constellation shared by every station and "
        "day, the orbits go into one SP3 file per day and the truth is named after the "
        "observation file, so that many station-days can be simulated into one folder.")
    p.add_argument("outdir", help="folder for the RINEX, SP3 and truth files")
    p.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    p.add_argument("--hours", type=positive, default=6.0, help="span in hours (default 6)")
    p.add_argument("--interval", type=positive, default=30.0,
                   help="sampling interval in seconds (default 30)")
    p.add_argument("--reflector-height", type=positive, default=1.6, metavar="METRES",
                   help="height of the antenna above the reflecting ground (default 1.6)")
    p.add_argument("--station", type=station, metavar="NAME",
                   help="marker name: four characters, or a nine-character site id such as "
                   "ABCD00DNK (default SIMU)")
    p.add_argument("--start", type=day, metavar="YYYY-MM-DD",
                   help="day of the first epoch, at 00:00 (default 2024-03-05)")
    p.add_argument("--receiver", type=lat_lon_height, metavar="LAT,LON,HEIGHT",
                   help="receiver latitude and longitude in degrees, height in metres "
                   "(default 59.66,10.78,95)")
    faults = p.add_argument_group("faults", "written to the truth as the quality control "
                                  "reports them (skyrift-mp qc)")
    faults.add_argument("--gaps", type=count, default=0, metavar="N",
                        help="N data gaps of 15 to 30 minutes (default 0)")
    faults.add_argument("--clock-jumps", type=count, default=0, metavar="N",
                        help="N receiver clock jumps of 1 to 3 ms, either sign: the "
                        "pseudoranges jump, the carrier phases run on (default 0)")
    faults.add_argument("--drop-signal", type=signal_fraction, action="append", default=[],
                        metavar="SYS:CODE:FRACTION",
                        help="drop that fraction of a signal's observations (code, phase and "
                        "SNR), e.g. G:C2W:0.3; may be repeated")
    return p


def run(args) -> None:
    from ..simulator.faults import DropSignal
    from ..simulator.simulate import SimConfig, simulate, truth, write_simulation

    config = SimConfig(seed=args.seed, hours=args.hours, interval=args.interval,
                       reflector_height=args.reflector_height, gaps=args.gaps,
                       clock_jumps=args.clock_jumps,
                       drop_signals=tuple(DropSignal(*d) for d in args.drop_signal))
    network = {}
    if args.station:
        network["station"] = args.station
    if args.start:
        network["start"] = args.start
    if args.receiver:
        network.update(zip(("latitude", "longitude", "height"), args.receiver))
    if network:
        config = dataclasses.replace(config, network=True, **network)
    sim = simulate(config)
    files = write_simulation(sim, outdir(args.outdir))
    t = truth(sim)
    print(f"Simulated {config.hours:g} h at {config.interval:g} s, seed {config.seed}: "
          f"{len(sim.tracks)} satellites, {len(t['slips'])} cycle slips, "
          f"reflector {config.reflector_height:g} m below the antenna")
    faults = [f"{len(t['gaps'])} gaps"] if t["gaps"] else []
    faults += [f"{len(t['clock_jumps'])} clock jumps"] if t["clock_jumps"] else []
    faults += [f"{d['dropped']} of {d['observations']} {d['system']}:{d['code']} observations dropped"
               for d in t["dropped_signals"]]
    if faults:
        print("Faults: " + ", ".join(faults))
    list_written([files.obs, *files.orbit_files, files.truth])
