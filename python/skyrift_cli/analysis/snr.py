"""SNR wavelet survey: run it and summarise the band power per satellite."""
from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path

import numpy as np
import skyrift_mp as sk

from ..errors import CliError
from .inputs import damage_text, load_obs
from .report import format_table


@dataclass
class SnrRun:
    obs_path: Path
    survey: dict  # the result of analyze_snr_wavelets
    damage: str | None = None  # what stopped the read of a damaged file (damage_text)

    @property
    def bands(self) -> list[tuple[float, float]]:
        return [tuple(b) for b in self.survey["bands"]]

    def mean_power(self, sat: str) -> np.ndarray:
        """Mean band power over the time bins, one value per band."""
        rows = self.survey["band_power"][sat]["power"]
        return np.array([np.mean(r) if len(r) else 0.0 for r in rows])

    def band_totals(self) -> np.ndarray:
        """Mean band power summed over satellites, one value per band."""
        total = np.zeros(len(self.bands))
        for sat in self.survey["band_power"]:
            total += self.mean_power(sat)
        return total


def band_label(band) -> str:
    return f"{band[0]:g}-{band[1]:g} s"


def band_of(period: float, bands) -> int | None:
    """Index of the band holding a period (lower bound included), or None."""
    for i, (lo, hi) in enumerate(bands):
        if lo <= period < hi:
            return i
    return None


def run_snr(obs_path, satellites=None) -> SnrRun:
    obs = load_obs(obs_path)
    systems = obs.satellites_by_system()
    if not any(c.startswith("S") for s in systems for c in obs.observation_types(s)):
        raise CliError(f"{obs_path}: no SNR (S) observations to analyse")
    survey = sk.analyze_snr_wavelets(obs, satellites=satellites)
    return SnrRun(Path(obs_path), survey, damage_text(obs))


def snr_json(run: SnrRun) -> dict:
    """The survey as the module gives it, and the damage that cut the read (or null)."""
    return {**run.survey, "damage": run.damage}


def snr_summary(run: SnrRun) -> str:
    survey, bands = run.survey, run.bands
    labels = [band_label(b) for b in bands]
    rows = []
    for sat, res in survey["residuals"].items():
        power = run.mean_power(sat) if sat in survey["band_power"] else None
        cells = [f"{p:.3g}" for p in power] if power is not None else ["-"] * len(bands)
        strongest = labels[int(np.argmax(power))] if power is not None and bands else "-"
        rows.append([sat, res["code"], len(res["t"]), len(res["orders"])] + cells + [strongest])
    head = f"SNR wavelet survey of {run.obs_path.name} (interval {survey['interval']:g} s)"
    if run.damage:
        head += f"\nDamaged file: {run.damage}"
    if not rows:
        return head + "\n\nno satellite has 40 or more SNR samples"
    table = format_table(["sat", "code", "samples", "arcs"] + labels + ["strongest"], rows,
                         "<<>>" + ">" * len(bands) + "<")
    totals = run.band_totals()
    lines = [head, "", table, "",
             "Mean band power over all satellites: "
             + ", ".join(f"{lab} {p:.3g}" for lab, p in zip(labels, totals))]
    if totals.size and totals.max() > 0:
        lines.append(f"Strongest band: {labels[int(np.argmax(totals))]}")
    return "\n".join(lines)
