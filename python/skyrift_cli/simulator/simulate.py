"""Synthetic multi-GNSS observations with known multipath, slips and reflections.

The receiver sees GPS, GLONASS, Galileo and BeiDou satellites on circular
orbits. Pseudoranges and phases carry geometry, clock, troposphere and
ionosphere (which the multipath combination removes), elevation-dependent
code multipath of known size, and cycle slips at known epochs. SNR follows an
elevation trend with the interference of a ground reflection from a
horizontal reflector of known depth below the antenna.
"""
from __future__ import annotations

import datetime as dt
import json
from dataclasses import dataclass, field
from pathlib import Path

import numpy as np

from ..defaults import DEFAULT_CUTOFF
from .faults import DropSignal, inject_faults
from .weights import elevation_weight
from .orbits import (C_LIGHT, Orbit, build_orbits, geodetic_to_ecef, look_angles,
                     satellite_ecef)
from .signals import SIGNALS, glonass_channel, series_key

EARTH_RADIUS = 6371e3
IONO_SHELL = 350e3
PHASE_NOISE = 0.002  # metres
SNR_NOISE = 0.1  # dB
MP_PERIODS = (90.0, 300.0)  # seconds: short enough to survive bias removal
# A network of stations shares one constellation, fixed in time, so that simulations of
# different stations and days agree on every satellite position and share orbit files.
NETWORK_ORBIT_SEED = 2024
NETWORK_ORBIT_EPOCH = dt.datetime(2024, 1, 1)


@dataclass(frozen=True)
class SimConfig:
    seed: int = 1
    hours: float = 6.0
    interval: float = 30.0
    start: dt.datetime = dt.datetime(2024, 3, 5)
    latitude: float = 59.66
    longitude: float = 10.78
    height: float = 95.0
    reflector_height: float = 1.6  # metres below the antenna phase centre
    mask_deg: float = 5.0  # receiver tracking mask
    cutoff_deg: float = DEFAULT_CUTOFF  # elevation cutoff the truth statistics assume
    slips_per_sat_hour: float = 0.12
    station: str = "SIMU"  # marker name: four characters or a nine-character site id
    network: bool = False  # the shared constellation and one SP3 file per day
    gaps: int = 0  # data gaps of 15 to 30 minutes at known places
    clock_jumps: int = 0  # receiver clock jumps of whole milliseconds at known epochs
    drop_signals: tuple[DropSignal, ...] = ()  # signals tracked only part of the time


def site_id(station: str) -> str:
    """The nine-character site of RINEX 3 file names (a four-character name gets 00NOR)."""
    return station if len(station) == 9 else f"{station[:4]:<4}00NOR"


@dataclass
class SatTrack:
    sat: str
    az: np.ndarray
    el: np.ndarray
    visible: np.ndarray
    obs: dict[str, np.ndarray] = field(default_factory=dict)  # NaN = not observed
    lli: dict[str, np.ndarray] = field(default_factory=dict)
    multipath: dict[str, np.ndarray] = field(default_factory=dict)  # injected, metres


@dataclass
class Simulation:
    config: SimConfig
    times: np.ndarray  # seconds after config.start
    receiver: np.ndarray  # ECEF metres
    orbits: list[Orbit]
    tracks: list[SatTrack]
    slips: list[dict]
    orbit_offset: float = 0.0  # seconds from the orbits' reference epoch to config.start
    recorded: np.ndarray | None = None  # per epoch: written (False inside gaps)
    gaps: list[dict] = field(default_factory=list)
    clock_jumps: list[dict] = field(default_factory=list)
    dropped: list[dict] = field(default_factory=list)

    def epoch(self, seconds: float) -> dt.datetime:
        return self.config.start + dt.timedelta(seconds=float(seconds))

    def iso(self, seconds: float) -> str:
        e = self.epoch(seconds)
        return f"{e:%Y-%m-%dT%H:%M:%S}.{e.microsecond // 1000:03d}Z"


def simulate(config: SimConfig) -> Simulation:
    rng = np.random.default_rng(config.seed)
    n = int(round(config.hours * 3600.0 / config.interval))
    if n < 2:
        raise ValueError("the simulated span must hold at least two epochs")
    times = np.arange(n) * config.interval
    receiver = geodetic_to_ecef(config.latitude, config.longitude, config.height)
    if config.network:
        orbits = build_orbits(np.random.default_rng(NETWORK_ORBIT_SEED))
        offset = (config.start - NETWORK_ORBIT_EPOCH).total_seconds()
    else:
        orbits, offset = build_orbits(rng), 0.0
    clock = C_LIGHT * (2e-5 + 1e-10 * times)  # receiver clock, common to all signals
    iono_phase = rng.uniform(0, 2 * np.pi)
    iono_vertical = 2.0 + 1.0 * np.sin(2 * np.pi * times / 86400.0 + iono_phase)
    tracks = []
    for orbit in orbits:
        pos = satellite_ecef(orbit, times + offset)
        az, el, rho = look_angles(receiver, config.latitude, config.longitude, pos)
        visible = el >= config.mask_deg
        if visible.sum() < 2:
            continue
        track = SatTrack(orbit.sat, az, el, visible)
        common = rho + clock + _troposphere(el)
        slant_iono = iono_vertical * _iono_mapping(el)
        for signal in SIGNALS[orbit.sat[0]]:
            _observe(track, signal, common, slant_iono, times, config, rng)
        tracks.append(track)
    sim = Simulation(config, times, receiver, orbits, tracks, [], offset)
    slip_epochs = []
    for slip in _inject_slips(tracks, times, config, rng):
        index = slip.pop("index")
        slip_epochs.append((slip["satellite"], index))
        sim.slips.append({**slip, "epoch": sim.iso(times[index])})
    for drop in config.drop_signals:
        drop.check()
    faults = inject_faults(tracks, times, config.interval, config, slip_epochs, sim.iso)
    sim.recorded, sim.gaps, sim.clock_jumps, sim.dropped = (
        faults.recorded, faults.gaps, faults.clock_jumps, faults.dropped)
    return sim


def _troposphere(el: np.ndarray) -> np.ndarray:
    return 2.4 / np.sin(np.radians(np.sqrt(el**2 + 6.25)))


def _iono_mapping(el: np.ndarray) -> np.ndarray:
    ratio = EARTH_RADIUS * np.cos(np.radians(el)) / (EARTH_RADIUS + IONO_SHELL)
    return 1.0 / np.sqrt(1.0 - ratio**2)


def multipath_scale(el: np.ndarray) -> np.ndarray:
    """Growth of multipath towards the horizon: 3.5 at 5 deg, about 1 above 40 deg."""
    return 1.0 + 2.5 * np.exp(-(el - 5.0) / 10.0)


def _unit_process(times: np.ndarray, rng: np.random.Generator) -> np.ndarray:
    """Zero-mean, unit-variance mix of three sinusoids and white noise."""
    periods = rng.uniform(*MP_PERIODS, size=3)
    phases = rng.uniform(0, 2 * np.pi, size=3)
    waves = np.sin(2 * np.pi * times[:, None] / periods + phases).sum(axis=1)
    return np.sqrt(0.6) * waves * np.sqrt(2.0 / 3.0) + np.sqrt(0.4) * rng.normal(size=times.size)


def _observe(track: SatTrack, signal, common, slant_iono, times, config, rng) -> None:
    freq = signal.freq(glonass_channel(track.sat))
    wavelength = C_LIGHT / freq
    iono = slant_iono * (1575.42e6 / freq) ** 2
    mp = signal.mp_sigma * multipath_scale(track.el) * _unit_process(times, rng)
    ambiguity = float(rng.integers(-200_000, 200_000))
    code = common + iono + mp
    phase = (common - iono + PHASE_NOISE * rng.normal(size=times.size)) / wavelength + ambiguity
    snr = _snr(track.el, signal, wavelength, config.reflector_height, rng)
    hidden = ~track.visible
    for kind, values in (("C", code), ("L", phase), ("S", snr)):
        values = values.copy()
        values[hidden] = np.nan
        track.obs[kind + signal.band_attr] = values
    track.lli["L" + signal.band_attr] = np.zeros(times.size, dtype=int)
    track.multipath[signal.band_attr] = mp


def _snr(el, signal, wavelength, reflector_height, rng) -> np.ndarray:
    """C/N0 in dB-Hz: direct signal plus a ground reflection (phasor sum)."""
    s = np.sin(np.radians(np.clip(el, 0.0, 90.0)))
    direct = 10.0 ** ((30.0 + signal.snr_offset + 20.0 * np.sqrt(s)) / 20.0)
    reflected = direct * 0.4 * np.exp(-el / 20.0)
    psi = 4.0 * np.pi * reflector_height * s / wavelength + rng.uniform(0, 2 * np.pi)
    amplitude = np.abs(direct + reflected * np.exp(1j * psi))
    return 20.0 * np.log10(amplitude) + SNR_NOISE * rng.normal(size=el.size)


def _slip_candidates(track: SatTrack, cutoff: float, margin: int = 12) -> np.ndarray:
    """Epoch indices inside a continuous pass, away from its ends, above the cutoff."""
    vis = track.visible.astype(int)
    starts = np.flatnonzero(np.diff(np.r_[0, vis]) == 1)
    stops = np.flatnonzero(np.diff(np.r_[vis, 0]) == -1) + 1
    out = [np.arange(a + margin, b - margin) for a, b in zip(starts, stops) if b - a > 2 * margin]
    idx = np.concatenate(out) if out else np.zeros(0, dtype=int)
    return idx[track.el[idx] >= cutoff]


def _inject_slips(tracks, times, config, rng) -> list[dict]:
    visible_hours = sum(t.visible.sum() for t in tracks) * config.interval / 3600.0
    wanted = max(2, int(round(config.slips_per_sat_hour * visible_hours)))
    candidates = [(t, _slip_candidates(t, config.cutoff_deg)) for t in tracks]
    candidates = [(t, c) for t, c in candidates if c.size]
    if not candidates:
        return []
    taken: dict[str, list[int]] = {}
    slips = []
    for _ in range(50 * wanted):
        if len(slips) == wanted:
            break
        track, cand = candidates[rng.integers(len(candidates))]
        i = int(cand[rng.integers(cand.size)])
        if any(abs(i - j) < 20 for j in taken.get(track.sat, [])):
            continue
        taken.setdefault(track.sat, []).append(i)
        signal = SIGNALS[track.sat[0]][rng.integers(2)]
        cycles = int(rng.integers(2, 41)) * int(rng.choice([-1, 1]))
        flagged = bool(rng.integers(2))
        phase = "L" + signal.band_attr
        track.obs[phase][i:] += cycles
        if flagged:
            track.lli[phase][i] = 1
        slips.append({"satellite": track.sat, "index": i, "signal": phase,
                      "cycles": cycles, "lli": flagged})
    slips.sort(key=lambda s: (s["index"], s["satellite"]))
    return slips


def truth(sim: Simulation) -> dict:
    """What was injected, in the units and keys the analysis reports."""
    cfg = sim.config
    values: dict[str, list] = {}
    for track in sim.tracks:
        for band_attr, mp in track.multipath.items():
            keep = (track.visible & sim.recorded & (track.el >= cfg.cutoff_deg)
                    & np.isfinite(track.obs["C" + band_attr]))
            key = series_key(track.sat[0], band_attr)
            values.setdefault(key, []).append((mp[keep], track.el[keep]))
    rms, wrms = {}, {}
    for key in sorted(values):
        mp = np.concatenate([v for v, _ in values[key]])
        el = np.concatenate([e for _, e in values[key]])
        w = elevation_weight(el)
        rms[key] = float(np.sqrt(np.mean(mp**2)))
        wrms[key] = float(np.sqrt(np.sum(w * mp**2) / np.sum(w)))
    return {
        "seed": cfg.seed,
        "station": cfg.station,
        "start": sim.iso(0.0),
        "hours": float(cfg.hours),
        "interval_s": cfg.interval,
        "receiver_ecef_m": [float(v) for v in sim.receiver],
        "elevation_cutoff_deg": cfg.cutoff_deg,
        "mp_rms_m": rms,
        "mp_weighted_rms_m": wrms,
        "mp_sigma_zenith_m": {series_key(sys, s.band_attr): s.mp_sigma
                              for sys, sigs in SIGNALS.items() for s in sigs},
        "slips": sim.slips,
        "reflector_height_m": cfg.reflector_height,
        "reflection_period_s": reflection_period(sim),
        # as the quality control reports them: last epoch before and first after a gap
        "gaps": sim.gaps,
        "clock_jumps": sim.clock_jumps,
        "dropped_signals": sim.dropped,
    }


def reflection_period(sim: Simulation, low: float = 5.0, high: float = 30.0) -> float:
    """Median period of the reflection's SNR oscillation where it is strongest.

    The interference phase is 4*pi*h*sin(e)/lambda, so one cycle takes
    lambda / (2 h) in sin(e); the survey analyses each satellite's first
    signal, whose wavelength is used here.
    """
    periods = []
    h = sim.config.reflector_height
    for track in sim.tracks:
        signal = SIGNALS[track.sat[0]][0]
        wavelength = C_LIGHT / signal.freq(glonass_channel(track.sat))
        s = np.sin(np.radians(track.el))
        rate = np.abs(np.diff(s)) / sim.config.interval
        ok = (track.visible[1:] & track.visible[:-1] & (track.el[1:] >= low)
              & (track.el[1:] <= high) & (rate > 0))
        periods.append(wavelength / (2 * h) / rate[ok])
    return float(np.median(np.concatenate(periods)))


@dataclass(frozen=True)
class SimFiles:
    obs: Path
    sp3: Path  # the orbit file of the first day
    truth: Path
    orbit_files: tuple[Path, ...] = ()  # every orbit file written, in time order


def sp3_name(day: dt.date) -> str:
    return f"SKY0SIMFIN_{day:%Y}{day.timetuple().tm_yday:03d}0000_01D_15M_ORB.SP3"


def file_names(config: SimConfig) -> tuple[str, str]:
    """RINEX 3 long names for the observation and orbit files."""
    start = config.start
    stamp = f"{start:%Y}{start.timetuple().tm_yday:03d}{start:%H%M}"
    minutes = int(round(config.hours * 60))
    span = f"{minutes // 1440:02d}D" if minutes % 1440 == 0 else (
        f"{minutes // 60:02d}H" if minutes % 60 == 0 else f"{minutes:02d}M")
    if config.interval < 1:
        rate = f"{round(1 / config.interval):02d}Z"  # samples per second
    elif config.interval < 60:
        rate = f"{round(config.interval):02d}S"
    else:
        rate = f"{round(config.interval / 60):02d}M"
    return (f"{site_id(config.station)}_S_{stamp}_{span}_{rate}_MO.rnx", sp3_name(start))


def observed_days(sim: Simulation) -> list[dt.date]:
    first, last = sim.epoch(sim.times[0]).date(), sim.epoch(sim.times[-1]).date()
    return [first + dt.timedelta(days=k) for k in range((last - first).days + 1)]


def write_simulation(sim: Simulation, outdir: Path) -> SimFiles:
    """Write the observation file, its SP3 orbits and the truth JSON into outdir.

    A network simulation writes one SP3 file per day it touches, each covering that
    day alone as a daily product does, and names its truth after the observation file,
    so that many station-days can share one folder.
    """
    from .rinex_writer import write_obs
    from .sp3_writer import day_times, write_sp3

    outdir = Path(outdir)
    outdir.mkdir(parents=True, exist_ok=True)
    obs_name, first_sp3 = file_names(sim.config)
    if sim.config.network:
        days = observed_days(sim)
        orbit_files = tuple(outdir / sp3_name(day) for day in days)
        for day, path in zip(days, orbit_files):
            write_sp3(path, sim, day_times(sim, day, day))
        truth_path = outdir / (obs_name.removesuffix(".rnx") + ".truth.json")
    else:
        orbit_files = (outdir / first_sp3,)
        write_sp3(orbit_files[0], sim)
        truth_path = outdir / "truth.json"
    files = SimFiles(outdir / obs_name, orbit_files[0], truth_path, orbit_files)
    write_obs(files.obs, sim, sim.config.station)
    files.truth.write_text(json.dumps(truth(sim), indent=2) + "\n", encoding="utf-8")
    return files
