"""Multipath analysis with real elevations and the cutoff applied afterwards.

The analyzer only knows a placeholder elevation (45 degrees) for every
estimate, so its own cutoff would keep or drop everything at once. We let
it keep everything, give the estimates real elevations from the orbit, and
only then drop those below the cutoff and recompute the statistics.
"""
from __future__ import annotations

from dataclasses import dataclass, field
from pathlib import Path

import numpy as np
import skyrift_mp as sk

from .inputs import load_obs, load_sp3, receiver_position
from .weights import elevation_weight

KEEP_ALL = -90.0  # analyzer cutoff below every real elevation


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


@dataclass
class MultipathRun:
    obs_path: Path
    sp3_path: Path | None
    cutoff: float | None  # None when elevations are unknown
    receiver: tuple[float, float, float] | None
    estimates: EstimateTable  # those kept after the cutoff
    statistics: list[SignalStats]
    cycle_slips: list[dict]
    cycle_slip_counts: dict[str, int]
    elevations: tuple[int, int] | None  # (computed, failed) from the orbit
    without_orbit: list[str] = field(default_factory=list)  # satellites never placed
    notes: list[str] = field(default_factory=list)
    # The slips as columns (results.cycle_slips_to_numpy()), for the figures.
    slip_columns: dict[str, np.ndarray] = field(default_factory=dict)


def signal_statistics(table: EstimateTable, slips_by_key: dict[str, int]) -> list[SignalStats]:
    """Per-key statistics with the analyzer's formulas (population std, elevation weights)."""
    out = []
    for key in sorted(set(table.key.tolist())):
        sel = table.key == key
        x, w = table.mp[sel], elevation_weight(table.elevation[sel])
        rms = float(np.sqrt(np.mean(x * x)))
        wsum = float(w.sum())
        out.append(SignalStats(key, int(x.size), rms, float(x.mean()), float(x.std()),
                               float(np.sqrt(np.sum(w * x * x) / wsum)) if wsum > 0 else rms,
                               slips_by_key.get(key, 0)))
    return out


def iso_texts(times: np.ndarray) -> np.ndarray:
    """The module's ISO text of datetime64[ms] instants ("2020-06-25T00:00:30.000Z"),
    formatted once per distinct instant."""
    distinct, index = np.unique(times, return_inverse=True)
    texts = np.array([t + "Z" for t in np.datetime_as_string(distinct, unit="ms").tolist()],
                     dtype=object)
    return texts[index.reshape(-1)] if times.size else np.array([], dtype=object)


def _slip_dicts(c: dict[str, np.ndarray]) -> list[dict]:
    columns = (c["satellite"].tolist(), iso_texts(c["time"]).tolist(), c["method"].tolist(),
               c["signal"].tolist(), c["magnitude"].tolist(), c["threshold"].tolist())
    names = ("satellite", "epoch", "method", "signal", "magnitude", "threshold")
    return [dict(zip(names, row)) for row in zip(*columns)]


def run_multipath(obs_path, sp3_path=None, receiver=None, cutoff=10.0, systems=None,
                  window=1500.0) -> MultipathRun:
    obs = load_obs(obs_path)
    orbit = load_sp3(sp3_path, obs) if sp3_path else None
    rx = receiver_position(obs, receiver) if orbit else None
    analyzer = sk.MultipathAnalyzer(obs, elevation_cutoff=KEEP_ALL, systems=systems,
                                    bias_window_seconds=window)
    results = analyzer.analyze()
    notes = list(orbit[1]) if orbit else []
    counts = None
    if orbit:
        sp3 = orbit[0]
        counts = results.compute_elevations(sp3, rx)
    table = EstimateTable.from_results(results)
    slips_by_key = {s.signal: s.cycle_slips for s in results.statistics}
    without_orbit: list[str] = []
    if orbit:
        placed = ~((table.elevation == 45.0) & (table.azimuth == 0.0))
        without_orbit = sorted(set(table.satellite[~placed].tolist()) -
                               set(table.satellite[placed].tolist()))
        if counts[1]:
            notes.append(f"{counts[1]} of {len(table)} estimates got no elevation "
                         "(no orbit for the satellite, or below the horizon) and are left out")
        table = table.subset(placed & (table.elevation >= cutoff))
    else:
        notes.append("no --sp3 given: elevations are unknown, so no cutoff is applied "
                     "and weighted RMS equals RMS")
    slips = results.cycle_slips_to_numpy()
    return MultipathRun(
        Path(obs_path), Path(sp3_path) if sp3_path else None, cutoff if orbit else None,
        (rx.x, rx.y, rx.z) if rx else None, table, signal_statistics(table, slips_by_key),
        _slip_dicts(slips), dict(results.cycle_slip_counts), counts, without_orbit, notes,
        slip_columns=slips)
