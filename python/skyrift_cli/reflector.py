"""The rh command: reflector heights (GNSS interferometric reflectometry) from SNR."""
from __future__ import annotations

import csv
from pathlib import Path

import numpy as np

from .errors import CliError

DESCRIPTION = (
    "Reflector heights below the antenna from the SNR of rising and setting satellite arcs "
    "(Lomb-Scargle periodogram of detrended SNR against sin(elevation); RH = f * wavelength / 2), "
    "with the field's usual quality control: 5-25 deg window, heights 0.5-8 m on a 5 mm grid, "
    "peak-to-noise >= 2.8, amplitude >= 5, arcs of at most 75 min reaching within 2 deg of both "
    "window edges. Prints the accepted and rejected arcs per signal and the daily height (mean "
    "of the heights within 0.25 m of the day's median, days with at least 10 arcs).")


def add_rh_parser(sub, number, positive) -> None:
    p = sub.add_parser("rh", help="reflector heights from SNR (GNSS-IR)", description=DESCRIPTION)
    p.add_argument("obs", help="RINEX observation file with S observations")
    orbit = p.add_mutually_exclusive_group(required=True)
    orbit.add_argument("--sp3", help="SP3 precise orbit covering the observations")
    orbit.add_argument("--nav", help="RINEX navigation file (broadcast orbits)")
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
    p.add_argument("--csv", metavar="FILE", help="write every arc (accepted and rejected) to a CSV file")
    p.add_argument("--plots", metavar="DIR", help="write PNG figures into DIR")


def parse_signals(values: list[str] | None) -> list[str] | None:
    if not values:
        return None
    return [s.strip() for v in values for s in v.split(",") if s.strip()]


def rh_options(args) -> dict:
    options = {}
    if args.signals:
        options["signals"] = parse_signals(args.signals)
    if args.azimuths:
        if len(args.azimuths) % 2:
            raise CliError("--azimuths: give pairs FROM TO")
        options["azimuth_windows"] = list(zip(args.azimuths[::2], args.azimuths[1::2]))
    if args.heights:
        options["min_height"], options["max_height"] = args.heights
    if args.refraction:
        options["refraction"] = True
    return options


def load_orbit(args):
    import skyrift_mp as sk

    from .inputs import existing_file

    if args.nav:
        existing_file(args.nav)
        raise CliError("--nav: broadcast orbits cannot be used for reflector heights in this build; "
                       "use --sp3")
    path = existing_file(args.sp3)
    try:
        return sk.read_sp3(str(path))
    except OSError as exc:
        raise CliError(f"{path}: {exc}") from None


def run_rh(obs_path, orbit, receiver=None, options=None):
    import skyrift_mp as sk

    from .inputs import load_obs

    obs = load_obs(obs_path)
    ecef = sk.Ecef(*receiver) if receiver else None
    try:
        return obs, sk.reflector_heights(obs, orbit, ecef, **(options or {}))
    except ValueError as exc:
        raise CliError(str(exc)) from None


def rh_summary(name: str, result) -> str:
    from .report import format_table

    arcs, rejected = result.arcs, result.rejected
    signals = sorted(set(arcs["signal"].tolist()) | set(rejected["signal"].tolist()))
    rows = []
    for sig in signals:
        mine = arcs["signal"] == sig
        h = arcs["height"][mine]
        rows.append([sig, int(mine.sum()), int((rejected["signal"] == sig).sum()),
                     f"{np.median(h):.3f}" if h.size else "-", f"{np.std(h):.3f}" if h.size > 1 else "-"])
    lines = [f"Reflector heights — {name}",
             format_table(["signal", "accepted", "rejected", "median RH [m]", "std [m]"], rows, "<>>>>")]
    reasons, counts = np.unique(rejected["reason"], return_counts=True)
    if reasons.size:
        lines.append("Rejected: " + ", ".join(f"{r} {c}" for r, c in zip(reasons, counts)))
    daily = result.daily()
    lines.append("")
    if daily["day"].size:
        lines.append(format_table(
            ["day", "arcs", "mean RH [m]", "median [m]", "std [m]"],
            [[str(d), int(n), f"{m:.3f}", f"{md:.3f}", f"{s:.3f}"]
             for d, n, m, md, s in zip(daily["day"], daily["count"], daily["mean"], daily["median"],
                                       daily["std"])], "<>>>>"))
    else:
        lines.append("Daily height: no day with 10 accepted arcs within 0.25 m of its median")
    return "\n".join(lines)


COLUMNS = ["satellite", "signal", "rising", "time", "azimuth", "min_elevation", "max_elevation",
           "height", "amplitude", "peak_to_noise", "points", "duration", "wavelength"]


def write_rh_csv(path: Path, result) -> None:
    try:
        with open(path, "w", newline="", encoding="utf-8") as f:
            w = csv.writer(f)
            w.writerow(COLUMNS + ["status"])
            for cols, status in ((result.arcs, None), (result.rejected, "reason")):
                for i in range(cols["height"].size):
                    w.writerow([_cell(cols[c][i]) for c in COLUMNS]
                               + ["accepted" if status is None else str(cols[status][i])])
    except OSError as exc:
        raise CliError(f"{path}: cannot write ({exc.strerror})") from None


def _cell(v):
    if isinstance(v, np.datetime64):
        return str(v) + "Z"
    if isinstance(v, (np.floating, float)):
        return "" if np.isnan(v) else f"{float(v):.6g}"
    return str(v.item() if hasattr(v, "item") else v)


def cmd_rh(args) -> None:
    from .optional import pyplot

    if args.plots:
        pyplot()  # fail before the work when matplotlib is missing
    orbit = load_orbit(args)
    obs, result = run_rh(args.obs, orbit, args.receiver, rh_options(args))
    print(rh_summary(Path(args.obs).name, result))
    written = []
    if args.csv:
        write_rh_csv(Path(args.csv), result)
        written.append(Path(args.csv))
    if args.plots:
        from .reflector_plots import rh_plots

        outdir = Path(args.plots)
        try:
            outdir.mkdir(parents=True, exist_ok=True)
        except OSError as exc:
            raise CliError(f"{outdir}: cannot create the folder ({exc.strerror})") from None
        written += rh_plots(result, Path(args.obs).name, outdir)
    if written:
        print("\nWrote:")
        for p in written:
            print(f"  {p}")


def demo_line(obs_path, sp3_path, injected_height: float) -> str:
    """The recovered reflector height beside the injected one, for the demo."""
    import skyrift_mp as sk

    result = sk.reflector_heights(sk.read_rinex_obs(str(obs_path)), sk.read_sp3(str(sp3_path)))
    daily = result.daily()
    if not daily["day"].size:
        return (f"Reflector height: injected {injected_height:.3f} m, not recovered "
                f"({result.arcs['height'].size} accepted arcs)")
    found = float(daily["median"][0])
    return (f"Reflector height: injected {injected_height:.3f} m, recovered {found:.3f} m "
            f"(daily median of {int(daily['count'][0])} arcs, {1000 * (found - injected_height):+.1f} mm)")
