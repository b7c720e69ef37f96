"""Elevation weights for the simulator's own reckoning of the weighted multipath RMS
it injects: the truth the analysis (which weighs in the module) is checked against."""
import numpy as np


def elevation_weight(el: np.ndarray) -> np.ndarray:
    """1 at 30 degrees and above, 1 / (4 sin^2 e) between 0 and 30, 0 at or below 0."""
    el = np.asarray(el, dtype=float)
    s = np.sin(np.radians(el))
    with np.errstate(divide="ignore"):
        low = np.where(el > 0.0, 1.0 / (4.0 * s * s), 0.0)
    return np.where(el >= 30.0, 1.0, low)
