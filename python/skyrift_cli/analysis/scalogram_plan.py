"""Which satellites of an SNR survey get a scalogram, and what the command says about
the others.

A scalogram shows one arc, the satellite's longest (the module's rule), so a satellite
with more arcs is drawn in part and the figure says so. Not drawn:
- geostationary satellites (SBAS, BeiDou GEO), unless asked for: they neither rise nor
  set, so their SNR carries no reflection pattern to see;
- satellites whose longest arc is shorter than MIN_ARC_MINUTES: the cone of influence
  then covers the longer bands of the survey nearly everywhere, leaving little to see;
- satellites without an arc of 40 samples, which the module cannot transform.
"""
from __future__ import annotations

from dataclasses import dataclass, field

import numpy as np

from .geostationary import is_geostationary

MIN_ARC_MINUTES = 60.0
MIN_ARC_SAMPLES = 40  # the module's least for a scalogram


@dataclass
class Drawn:
    satellite: str
    arcs: int  # arcs of the satellite's series; the figure shows the longest


@dataclass
class ScalogramPlan:
    drawn: list[Drawn] = field(default_factory=list)
    geostationary: list[str] = field(default_factory=list)
    short: list[str] = field(default_factory=list)

    def notes(self) -> list[str]:
        """What the command prints about the scalograms before drawing them."""
        lines = []
        parts = sum(d.arcs > 1 for d in self.drawn)
        if parts:
            lines.append(f"Scalograms show each satellite's longest arc: {parts} of the "
                         f"{len(self.drawn)} drawn have more arcs, not shown")
        if self.geostationary:
            lines.append(f"Not drawn: {len(self.geostationary)} geostationary "
                         f"{_plural(len(self.geostationary))} ({' '.join(self.geostationary)}); "
                         "--all-satellites draws them")
        if self.short:
            lines.append(f"Not drawn: {len(self.short)} {_plural(len(self.short))} whose longest "
                         f"arc is shorter than {MIN_ARC_MINUTES:g} min or {MIN_ARC_SAMPLES} "
                         f"samples ({' '.join(self.short)})")
        return lines


def _plural(count: int) -> str:
    return "satellite" if count == 1 else "satellites"


def longest_arc(t, interval: float) -> tuple[int, float, int]:
    """(number of arcs, span in seconds and samples of the longest) as the module's
    scalogram cuts them (longest by span, the earliest among equals)."""
    import skyrift_mp as sk

    times = np.asarray(t, dtype=float)
    if times.size == 0:
        return 0, 0.0, 0
    arcs = sk.split_arcs(times, interval, as_numpy=True)  # the gaps the scalogram splits at
    if len(arcs) == 0:
        return 0, 0.0, 0
    spans = [times[stop - 1] - times[start] for start, stop in arcs]
    best = int(np.argmax(spans))
    start, stop = arcs[best]
    return len(arcs), float(spans[best]), int(stop - start)


def plan_scalograms(survey: dict, satellites=None, all_satellites: bool = False) -> ScalogramPlan:
    """The plan for the survey's satellites (those named, in that order, or all). Named
    satellites count as asked for, geostationary or not."""
    plan = ScalogramPlan()
    residuals = survey["residuals"]
    asked = satellites is not None
    for sat in (satellites if asked else list(residuals)):
        res = residuals.get(sat)
        if res is None:
            continue
        if is_geostationary(sat) and not (asked or all_satellites):
            plan.geostationary.append(sat)
            continue
        count, span, samples = longest_arc(res["t"], survey["interval"])
        if samples < MIN_ARC_SAMPLES or span < 60.0 * MIN_ARC_MINUTES:
            plan.short.append(sat)
            continue
        plan.drawn.append(Drawn(sat, count))
    return plan
