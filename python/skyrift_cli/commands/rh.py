"""rh: reflector heights from SNR (GNSS interferometric reflectometry)."""
from __future__ import annotations

from pathlib import Path

from ..argtypes import comma_list, number, positive
from ..errors import CliError
from ._outputs import add_output_options, check_plotting, write_outputs

DESCRIPTION = (
    "Reflector heights below the antenna from the SNR of rising and setting satellite arcs "
    "(Lomb-Scargle periodogram of detrended SNR against sin(elevation); RH = f * wavelength / 2), "
    "with the field's usual quality control: 5-25 deg window, heights 0.5-8 m on a 5 mm grid, "
    "peak-to-noise >= 2.8, amplitude >= 5, arcs of at most 75 min reaching within 2 deg of both "
    "window edges, no peak within 0.1 m of the height range's ends. Prints the accepted and rejected arcs per signal and the daily height (mean "
    "of the heights within 0.25 m of the day's median, days with at least 10 arcs).")


def add_parser(sub):
    p = sub.add_parser("rh", help="reflector heights from SNR (GNSS-IR)", description=DESCRIPTION)
    p.add_argument("obs", help="RINEX observation file with S observations")
    p.add_argument("--sp3", help="SP3 precise orbit covering the observations")
    p.add_argument("--nav", help="RINEX navigation file (broadcast orbits) of the observations; "
                   "with --sp3, used for the satellites the SP3 file lacks (one of them is needed)")
    p.add_argument("--signals", nargs="+", metavar="SIG",
                   help="S-codes or bands, e.g. S1C S2 or S1C,S2 (default: every S-code with a "
                   "known wavelength)")
    p.add_argument("--receiver", nargs=3, type=number, metavar=("X", "Y", "Z"),
                   help="receiver ECEF position in metres (default: the header's APPROX POSITION XYZ)")
    p.add_argument("--azimuths", nargs="+", type=number, metavar="DEG",
                   help="azimuth windows as pairs FROM TO in degrees (FROM > TO wraps through north)")
    p.add_argument("--heights", nargs=2, type=positive, metavar=("MIN", "MAX"),
                   help="reflector height range in metres (default 0.5 8)")
    p.add_argument("--refraction", action="store_true",
                   help="bend the elevations by Bennett's refraction for the standard atmosphere "
                   "at the receiver's height")
    add_output_options(p, csv="write every arc (accepted and rejected) to a CSV file",
                       plots="write PNG figures into DIR")
    return p


def reflector_options(args) -> dict:
    """The keyword arguments of reflector_heights that the options ask for."""
    options = {}
    if args.signals:
        options["signals"] = comma_list(args.signals)
    if args.azimuths:
        if len(args.azimuths) % 2:
            raise CliError("--azimuths: give pairs FROM TO")
        options["azimuth_windows"] = list(zip(args.azimuths[::2], args.azimuths[1::2]))
    if args.heights:
        options["min_height"], options["max_height"] = args.heights
    if args.refraction:
        options["refraction"] = True
    return options


def run(args) -> None:
    from ..analysis.inputs import damage_text
    from ..analysis.orbits import orbit_sources
    from ..analysis.reflector import rh_summary, run_rh, write_rh_csv
    from ..analysis.reflector_plots import rh_plots

    check_plotting(args)
    if not (args.sp3 or args.nav):
        raise CliError("rh needs an orbit: --sp3 FILE, --nav FILE or both")
    rh_run = run_rh(args.obs, args.sp3, args.nav, args.receiver, reflector_options(args))
    result = rh_run.result
    satellites = list(result.arcs["satellite"]) + list(result.rejected["satellite"])
    name = Path(args.obs).name
    if damage := damage_text(rh_run.obs):
        print(f"Damaged file: {damage}")
    print(rh_summary(name, result, orbit_sources(satellites, rh_run.sp3, rh_run.obs.first_epoch()),
                     rh_run.notes))
    write_outputs(args, csv=lambda path: write_rh_csv(path, result),
                  plots=lambda outdir, _: rh_plots(result, name, outdir))
