"""info: header summary of an observation file."""
from __future__ import annotations

from pathlib import Path


def add_parser(sub):
    p = sub.add_parser("info", help="header summary of an observation file")
    p.add_argument("obs", help="RINEX observation file (2, 3 or 4; plain or .gz)")
    return p


def run(args) -> None:
    from ..analysis.inputs import load_obs

    obs = load_obs(args.obs)
    print(info_text(Path(args.obs).name, obs))


def info_text(name: str, obs) -> str:
    from ..analysis.inputs import damage_text, epoch_datetime
    from ..analysis.systems import full_name, in_display_order

    first, last = obs.first_epoch(), obs.last_epoch()
    by_system = obs.satellites_by_system()
    systems = in_display_order(s for s in by_system if by_system[s])
    pos = obs.approx_position
    damage = damage_text(obs)
    lines = [
        f"File:         {name}",
        *([f"Damaged:      {damage}"] if damage else []),
        f"RINEX:        {obs.version}",
        f"Marker:       {obs.marker_name or '-'}",
        f"Receiver:     {obs.receiver_type or '-'}",
        f"Antenna:      {obs.antenna_type or '-'}",
        "Position:     " + (f"{pos.x:.3f} {pos.y:.3f} {pos.z:.3f} m (ECEF)" if pos else "-"),
        f"First epoch:  {_gps_text(first)}",
        f"Last epoch:   {_gps_text(last)}",
        "Span:         " + _span(epoch_datetime(last) - epoch_datetime(first)),
        "Interval:     " + _interval(obs.interval, obs.header_interval),
        f"Epochs:       {obs.num_epochs}",
        f"Satellites:   {obs.num_satellites} ("
        + ", ".join(f"{s} {by_system[s]}" for s in systems) + ")",
        "Observation types:",
    ]
    for s in systems:
        lines.append(f"  {s} {full_name(s) + ':':<8} " + " ".join(obs.observation_types(s)))
    return "\n".join(lines)


def _gps_text(epoch) -> str:
    """The epoch's ISO text with its time scale, GPS, in place of the Z that says UTC."""
    return epoch.to_iso().removesuffix("Z") + " GPS"


def _interval(records: float | None, header: float | None) -> str:
    """The spacing of the epochs beside the header's INTERVAL: they differ when epochs
    are missing or the header is wrong."""
    spacing = f"{records:.3f} s between epochs" if records is not None else "- between epochs"
    return spacing + (f", header INTERVAL {header:.3f} s" if header is not None
                      else ", no INTERVAL in the header")


def _span(delta) -> str:
    seconds = int(round(delta.total_seconds()))
    return f"{seconds // 3600} h {seconds % 3600 // 60:02d} min {seconds % 60:02d} s"
