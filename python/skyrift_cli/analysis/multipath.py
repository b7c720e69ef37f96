"""Multipath analysis, with real elevations when an orbit is given.

With an orbit the analyzer itself gives every estimate its look angles, applies the
elevation cutoff to them and computes the statistics from them; the estimates it has
no position for are left out and counted per system. Without an orbit the elevations
are unknown (NaN in the table), so no cutoff is applied.

The slip detector scans every system; the run keeps the slips of the analysed systems
only and counts the rest as left out.

The orbit is an SP3 file, a navigation file (broadcast ephemerides) or both; with
both the module asks SP3 first and the broadcast ephemerides for what it lacks,
and the run records which of them placed each system's satellites.
"""
from __future__ import annotations

from dataclasses import dataclass, field
from pathlib import Path

import numpy as np
import skyrift_mp as sk

from ..defaults import DEFAULT_CUTOFF, DEFAULT_SYSTEMS
from .inputs import damage_text, load_nav, load_obs, load_sp3, receiver_note, receiver_position
from .orbits import SYSTEM_NAMES, combined, orbit_sources, warnings_as_notes

KEEP_ALL = -90.0  # cutoff below every elevation: without an orbit nothing is dropped


@dataclass
class EstimateTable:
    """The estimates as parallel numpy arrays (the columns of results.to_numpy())."""
    satellite: np.ndarray
    key: np.ndarray  # series key, e.g. GPSM1C
    time: np.ndarray  # datetime64[ms]
    mp: np.ndarray
    elevation: np.ndarray
    azimuth: np.ndarray
    snr: np.ndarray  # NaN when absent

    @classmethod
    def from_results(cls, results) -> "EstimateTable":
        c = results.to_numpy()
        return cls(c["satellite"], c["signal"], c["time"], c["mp"], c["elevation"], c["azimuth"],
                   c["snr"])

    def __len__(self) -> int:
        return self.mp.size

    def subset(self, mask: np.ndarray) -> "EstimateTable":
        return EstimateTable(*(getattr(self, f)[mask] for f in self.__dataclass_fields__))


@dataclass
class SignalStats:
    signal: str
    count: int
    rms: float
    mean: float
    std_dev: float
    weighted_rms: float
    cycle_slips: int

    @classmethod
    def from_module(cls, s) -> "SignalStats":
        return cls(s.signal, s.count, s.rms, s.mean, s.std_dev, s.weighted_rms, s.cycle_slips)


@dataclass
class MultipathRun:
    obs_path: Path
    sp3_path: Path | None
    cutoff: float | None  # None when elevations are unknown
    receiver: tuple[float, float, float] | None
    estimates: EstimateTable  # those the analyzer kept (at or above the cutoff with an orbit)
    statistics: list[SignalStats]
    cycle_slips: list[dict]
    cycle_slip_counts: dict[str, int]
    elevations: tuple[int, int] | None  # estimates kept with a position, and left out without one
    without_orbit: list[str] = field(default_factory=list)  # satellites the orbit lacks
    notes: list[str] = field(default_factory=list)
    # The slips of the analysed systems as columns (results.cycle_slips_to_numpy()), for the figures.
    slip_columns: dict[str, np.ndarray] = field(default_factory=dict)
    nav_path: Path | None = None
    # Per system (GPS, GLO, ...): the satellites placed from "sp3" and from "broadcast".
    orbit_sources: dict[str, dict[str, list[str]]] = field(default_factory=dict)
    systems: list[str] = field(default_factory=lambda: list(DEFAULT_SYSTEMS))  # analysed, letters
    # Slip records of the systems not analysed, per system letter: left out of the above.
    slips_left_out: dict[str, int] = field(default_factory=dict)
    # With an orbit: estimates left out for want of a position, per system (GPS, BDS, ...).
    without_position: dict[str, int] = field(default_factory=dict)
    # Why a signal (series key) or the file ("file") gave no estimates.
    empty_reasons: dict[str, str] = field(default_factory=dict)
    damage: str | None = None  # what stopped the read of a damaged file (damage_text)
    span: tuple | None = None  # first and last epoch of the file (datetime64[ms])

    @property
    def orbit_files(self) -> list[Path]:
        return [p for p in (self.sp3_path, self.nav_path) if p]


def iso_texts(times: np.ndarray, zone: str = "Z") -> np.ndarray:
    """The module's ISO text of datetime64[ms] instants ("2020-06-25T00:00:30.000Z"),
    formatted once per distinct instant; zone="" leaves out the Z, for columns named as
    GPS time (the Z would read as UTC)."""
    distinct, index = np.unique(times, return_inverse=True)
    texts = np.array([t + zone for t in np.datetime_as_string(distinct, unit="ms").tolist()],
                     dtype=object)
    return texts[index.reshape(-1)] if times.size else np.array([], dtype=object)


def analysed_slips(results, systems) -> tuple[dict[str, np.ndarray], dict[str, int], dict[str, int]]:
    """The slip columns and counts of the analysed systems (letters), and the number of
    slip records of each other system, which are left out."""
    columns = results.cycle_slips_to_numpy()
    analysed = np.isin(columns["system"], list(systems))
    others, counts = np.unique(columns["system"][~analysed], return_counts=True)
    names = {SYSTEM_NAMES.get(letter, letter) for letter in systems}
    kept_counts = {k: n for k, n in results.cycle_slip_counts.items() if k[:3] in names}
    return ({k: v[analysed] for k, v in columns.items()}, kept_counts,
            dict(zip(others.tolist(), counts.tolist())))


def _slip_dicts(c: dict[str, np.ndarray]) -> list[dict]:
    columns = (c["satellite"].tolist(), iso_texts(c["time"]).tolist(), c["method"].tolist(),
               c["signal"].tolist(), c["magnitude"].tolist(), c["threshold"].tolist())
    names = ("satellite", "epoch", "method", "signal", "magnitude", "threshold")
    return [dict(zip(names, row)) for row in zip(*columns)]


def epoch_span(obs) -> tuple | None:
    """The file's first and last epoch as datetime64[ms]; None for a file without epochs."""
    if not obs.num_epochs:
        return None
    return tuple(np.datetime64(e.to_iso_string().rstrip("Z"), "ms")
                 for e in (obs.first_epoch(), obs.last_epoch()))


def run_multipath(obs_path, sp3_path=None, receiver=None, cutoff=DEFAULT_CUTOFF, systems=None,
                  window=1500.0, nav_path=None) -> MultipathRun:
    obs = load_obs(obs_path)
    sp3 = load_sp3(sp3_path, obs) if sp3_path else None
    notes: list[str] = []
    nav = load_nav(nav_path, obs) if nav_path else None
    orbit = combined(sp3, nav)
    rx = receiver_position(obs, receiver) if orbit else None
    if orbit:
        options = {"orbit": orbit, "receiver": rx, "elevation_cutoff": cutoff}
    else:
        options = {"elevation_cutoff": KEEP_ALL}
    analysed = list(systems or DEFAULT_SYSTEMS)
    notes = list(notes)
    if orbit and (note := receiver_note(obs, receiver)):
        notes.append(note)
    with warnings_as_notes(notes):
        results = sk.MultipathAnalyzer(obs, systems=analysed, bias_window_seconds=window,
                                       **options).analyze()
    table = EstimateTable.from_results(results)
    counts = None
    without_orbit: list[str] = []
    sources: dict[str, dict[str, list[str]]] = {}
    if orbit:
        counts = (len(table), results.estimates_without_position)
        known = set(sp3.satellites() if sp3 else []) | set(nav.satellites() if nav else [])
        tracked = {s.id for s in obs.satellites() if s.id[0] in analysed}
        without_orbit = sorted(tracked - known)
        sources = orbit_sources(table.satellite, sp3, obs.first_epoch())
    else:
        notes.append("no --sp3 or --nav given: elevations are unknown, so no cutoff is applied "
                     "and weighted RMS equals RMS")
    statistics = sorted((SignalStats.from_module(s) for s in results.statistics),
                        key=lambda s: s.signal)
    slips, slip_counts, left_out = analysed_slips(results, analysed)
    return MultipathRun(
        Path(obs_path), Path(sp3_path) if sp3_path else None, cutoff if orbit else None,
        (rx.x, rx.y, rx.z) if rx else None, table, statistics,
        _slip_dicts(slips), slip_counts, counts, without_orbit, notes,
        slip_columns=slips, nav_path=Path(nav_path) if nav_path else None, orbit_sources=sources,
        systems=analysed, slips_left_out=left_out,
        without_position=dict(results.estimates_without_position_by_system or {}),
        empty_reasons=dict(results.empty_reasons), damage=damage_text(obs), span=epoch_span(obs))
