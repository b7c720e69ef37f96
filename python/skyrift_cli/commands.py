"""The subcommands: each takes the parsed arguments and prints its report."""
from __future__ import annotations

from pathlib import Path

from .errors import CliError
from .optional import pyplot
from .signals import SYSTEM_FULL_NAMES

SYSTEM_ORDER = "GRECJSIM"


def _outdir(path) -> Path:
    p = Path(path)
    try:
        p.mkdir(parents=True, exist_ok=True)
    except OSError as exc:
        raise CliError(f"{p}: cannot create the folder ({exc.strerror})") from None
    return p


def cmd_info(args) -> None:
    from .inputs import epoch_datetime, load_obs

    obs = load_obs(args.obs)
    print(info_text(Path(args.obs).name, obs, epoch_datetime))


def info_text(name: str, obs, epoch_datetime) -> str:
    first, last = obs.first_epoch(), obs.last_epoch()
    by_system = obs.satellites_by_system()
    systems = [s for s in SYSTEM_ORDER if by_system.get(s)]
    pos = obs.approx_position
    interval = obs.interval
    lines = [
        f"File:         {name}",
        f"RINEX:        {obs.version}",
        f"Marker:       {obs.marker_name or '-'}",
        f"Receiver:     {obs.receiver_type or '-'}",
        f"Antenna:      {obs.antenna_type or '-'}",
        "Position:     " + (f"{pos.x:.3f} {pos.y:.3f} {pos.z:.3f} m (ECEF)" if pos else "-"),
        f"First epoch:  {first.to_iso()}",
        f"Last epoch:   {last.to_iso()}",
        "Span:         " + _span(epoch_datetime(last) - epoch_datetime(first)),
        "Interval:     " + (f"{interval:.3f} s" if interval is not None else "-"),
        f"Epochs:       {obs.num_epochs}",
        f"Satellites:   {obs.num_satellites} ("
        + ", ".join(f"{s} {by_system[s]}" for s in systems) + ")",
        "Observation types:",
    ]
    for s in systems:
        lines.append(f"  {s} {SYSTEM_FULL_NAMES[s] + ':':<8} " + " ".join(obs.observation_types(s)))
    return "\n".join(lines)


def _span(delta) -> str:
    seconds = int(round(delta.total_seconds()))
    return f"{seconds // 3600} h {seconds % 3600 // 60:02d} min {seconds % 60:02d} s"


def parse_systems(text: str | None) -> list[str] | None:
    """--systems G,R,E,C (letters or names such as GPS); unknown ones are an error."""
    if not text:
        return None
    systems = [s.strip() for s in text.split(",") if s.strip()]
    for s in systems:
        if s[0].upper() not in SYSTEM_ORDER:
            raise CliError(f"--systems: unknown system '{s}' (use G, R, E, C, J, S, I)")
    return systems


def multipath_plots(run, outdir: Path, reference=None, injected=None) -> list[Path]:
    from . import plots

    name = run.obs_path.name
    out = []
    if run.sp3_path and len(run.estimates):
        out.append(plots.plot_mp_vs_elevation(run.estimates, name, outdir / "mp_elevation.png"))
        out.append(plots.plot_skyplot(run.estimates, name, outdir / "skyplot_mp.png"))
    if run.statistics:
        out.append(plots.plot_rms(run.statistics, name, outdir / "mp_rms.png", reference))
    out.append(plots.plot_slips(run.cycle_slips, name, outdir / "cycle_slips.png", injected))
    return out


def cmd_multipath(args) -> None:
    from .multipath import run_multipath
    from .report import multipath_json, multipath_summary, write_estimates_csv

    if args.plots:
        pyplot()  # fail before the analysis when matplotlib is missing
    if not args.sp3 and (args.cutoff_given or args.receiver):
        option = "--cutoff" if args.cutoff_given else "--receiver"
        raise CliError(f"{option} needs --sp3: without an orbit the elevations are unknown")
    systems = parse_systems(args.systems)
    run = run_multipath(args.obs, args.sp3, args.receiver, args.cutoff, systems, args.window)
    print(multipath_summary(run))
    written = []
    if args.csv:
        write_estimates_csv(Path(args.csv), run.estimates)
        written.append(Path(args.csv))
    _write_outputs(args, written, lambda: multipath_json(run),
                   lambda outdir: multipath_plots(run, outdir))


def snr_plots(run, outdir: Path, satellites=None, mark_period=None) -> list[Path]:
    import skyrift_mp as sk

    from .plots import plot_scalogram

    out = []
    for sat in satellites or list(run.survey["residuals"]):
        res = run.survey["residuals"].get(sat)
        if res is None:
            continue
        try:
            sc = sk.scalogram(res["t"], res["v"], run.survey["interval"])
        except ValueError:  # no arc of 40 samples
            continue
        title = f"Wavelet scalogram of δSNR, {sat} {res['code']} — {run.obs_path.name}"
        out.append(plot_scalogram(sc, title, outdir / f"scalogram_{sat}.png", mark_period))
    return out


def cmd_snr(args) -> None:
    from .snr import parse_satellites, run_snr, snr_summary

    if args.plots:
        pyplot()
    run = run_snr(args.obs, parse_satellites(args.satellites))
    print(snr_summary(run))
    _write_outputs(args, [], lambda: run.survey, lambda outdir: snr_plots(run, outdir))


def cmd_simulate(args) -> None:
    from .simulate import SimConfig, simulate, truth, write_simulation

    config = SimConfig(seed=args.seed, hours=args.hours, interval=args.interval,
                       reflector_height=args.reflector_height)
    sim = simulate(config)
    files = write_simulation(sim, _outdir(args.outdir))
    t = truth(sim)
    print(f"Simulated {config.hours:g} h at {config.interval:g} s, seed {config.seed}: "
          f"{len(sim.tracks)} satellites, {len(t['slips'])} cycle slips, "
          f"reflector {config.reflector_height:g} m below the antenna")
    _list_written([files.obs, files.sp3, files.truth])


def _write_outputs(args, written: list[Path], json_data, make_plots) -> None:
    """The --json file and --plots figures a command was asked for, then their list."""
    from .report import write_json

    if args.json:
        write_json(Path(args.json), json_data())
        written.append(Path(args.json))
    if args.plots:
        written += make_plots(_outdir(args.plots))
    _list_written(written)


def _list_written(paths) -> None:
    if paths:
        print("\nWrote:")
        for p in paths:
            print(f"  {p}")
