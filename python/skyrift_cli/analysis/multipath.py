"""Multipath analysis, with real elevations when an orbit is given.

With an orbit the analyzer itself gives every estimate its look angles, applies the
elevation cutoff to them and computes the statistics from them; without one every
estimate carries the placeholder elevation, so no cutoff is applied.

The orbit is an SP3 file, a navigation file (broadcast ephemerides) or both; with
both the module asks SP3 first and the broadcast ephemerides for what it lacks,
and the run records which of them placed each system's satellites.
"""
from __future__ import annotations

from dataclasses import dataclass, field
from pathlib import Path

import numpy as np
import skyrift_mp as sk

from ..defaults import DEFAULT_CUTOFF
from .inputs import load_nav, load_obs, load_sp3, receiver_position
from .orbits import combined, orbit_sources

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
    elevations: tuple[int, int] | None  # estimates with and without an orbit position
    without_orbit: list[str] = field(default_factory=list)  # satellites the orbit lacks
    notes: list[str] = field(default_factory=list)
    # The slips as columns (results.cycle_slips_to_numpy()), for the figures.
    slip_columns: dict[str, np.ndarray] = field(default_factory=dict)
    nav_path: Path | None = None
    # Per system (GPS, GLO, ...): the satellites placed from "sp3" and from "broadcast".
    orbit_sources: dict[str, dict[str, list[str]]] = field(default_factory=dict)

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


def _slip_dicts(c: dict[str, np.ndarray]) -> list[dict]:
    columns = (c["satellite"].tolist(), iso_texts(c["time"]).tolist(), c["method"].tolist(),
               c["signal"].tolist(), c["magnitude"].tolist(), c["threshold"].tolist())
    names = ("satellite", "epoch", "method", "signal", "magnitude", "threshold")
    return [dict(zip(names, row)) for row in zip(*columns)]


def run_multipath(obs_path, sp3_path=None, receiver=None, cutoff=DEFAULT_CUTOFF, systems=None,
                  window=1500.0, nav_path=None) -> MultipathRun:
    obs = load_obs(obs_path)
    sp3, notes = load_sp3(sp3_path, obs) if sp3_path else (None, [])
    nav = load_nav(nav_path) if nav_path else None
    orbit = combined(sp3, nav)
    rx = receiver_position(obs, receiver) if orbit else None
    if orbit:
        options = {"orbit": orbit, "receiver": rx, "elevation_cutoff": cutoff}
    else:
        options = {"elevation_cutoff": KEEP_ALL}
    results = sk.MultipathAnalyzer(obs, systems=systems, bias_window_seconds=window,
                                   **options).analyze()
    table = EstimateTable.from_results(results)
    notes = list(notes)
    counts = None
    without_orbit: list[str] = []
    sources: dict[str, dict[str, list[str]]] = {}
    if orbit:
        unplaced = results.estimates_without_position
        counts = (len(table) - unplaced, unplaced)
        known = set(sp3.satellites() if sp3 else []) | set(nav.satellites() if nav else [])
        without_orbit = sorted(set(table.satellite.tolist()) - known)
        placed = ~np.isin(table.satellite, without_orbit)
        sources = orbit_sources(table.satellite[placed], sp3, obs.first_epoch())
        if unplaced:
            notes.append(f"{unplaced} of {len(table)} estimates have no orbit position: they keep "
                         "the placeholder elevation of 45 deg and count with weight 1")
    else:
        notes.append("no --sp3 or --nav given: elevations are unknown, so no cutoff is applied "
                     "and weighted RMS equals RMS")
    statistics = sorted((SignalStats.from_module(s) for s in results.statistics),
                        key=lambda s: s.signal)
    slips = results.cycle_slips_to_numpy()
    return MultipathRun(
        Path(obs_path), Path(sp3_path) if sp3_path else None, cutoff if orbit else None,
        (rx.x, rx.y, rx.z) if rx else None, table, statistics,
        _slip_dicts(slips), dict(results.cycle_slip_counts), counts, without_orbit, notes,
        slip_columns=slips, nav_path=Path(nav_path) if nav_path else None, orbit_sources=sources)
