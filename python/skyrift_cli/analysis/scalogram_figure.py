"""The scalogram figure: wavelet power over time and period, cone of influence, 95 %
significance.

A day of 30 s data gives a hundred scalograms, so the figure is built once per process
and redrawn for each: only the image, the significance contour, the cone, the ticks
and the title change. Building axes, ticks and a colour bar costs as much as drawing
them; so does measuring every label for a layout, so the axes are placed by hand. The
power is an image on an axis of log10(period): an image draws in one piece, where a
mesh on a log axis draws a polygon per cell.
"""
from __future__ import annotations

from pathlib import Path

import numpy as np

from ..figures import save_figure

# Period ticks: round numbers of seconds, minutes and hours.
PERIOD_TICKS = (10, 20, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 14400, 28800, 57600)
NOTE = "(white line: 95 % red-noise significance; hatched: cone of influence)"


def _remove(artist) -> None:
    from matplotlib.artist import Artist

    if isinstance(artist, Artist):
        artist.remove()
    else:  # a ContourSet before matplotlib 3.8 is a group of collections
        for part in artist.collections:
            part.remove()


class ScalogramCanvas:
    """One figure, redrawn for each scalogram."""

    def __init__(self):
        from matplotlib.figure import Figure
        from matplotlib.image import NonUniformImage

        from ..optional import require

        require("matplotlib", "plotting").use("Agg")
        self.fig = Figure(figsize=(8.0, 4.6))
        self.ax = self.fig.add_axes((0.1, 0.11, 0.74, 0.70))
        self.image = NonUniformImage(self.ax, interpolation="nearest", cmap="magma")
        self.image.set_data(np.arange(2.0), np.arange(2.0), np.zeros((2, 2)))
        self.ax.add_image(self.image)
        self.fig.colorbar(self.image, cax=self.fig.add_axes((0.87, 0.11, 0.022, 0.70)),
                          label="log10 wavelet power")
        self.ax.set_ylabel("Period [s]")
        self.title = self.fig.text(0.5, 0.975, "", ha="center", va="top", fontsize=10)
        self.drawn: list = []  # the artists of the last scalogram

    def draw(self, sc: dict, title: str, path: Path, mark_period: float | None,
             start: float | None = None) -> Path:
        for artist in self.drawn:
            _remove(artist)
        self.drawn = []
        t = self._time_axis(np.asarray(sc["t"], dtype=float), start)
        periods = np.asarray(sc["periods"], dtype=float)
        log_periods = np.log10(periods)
        power = np.asarray(sc["power"], dtype=float)
        sig = np.asarray(sc["significance"], dtype=float)[:, None]
        with np.errstate(divide="ignore"):
            logp = np.log10(np.maximum(power, np.max(power) * 1e-6 if power.size else 1.0))
        self.image.set_data(t, log_periods, logp)
        self.image.set_clim(float(logp.min()), float(logp.max()))
        ratio = np.divide(power, sig, out=np.zeros_like(power), where=np.isfinite(sig) & (sig > 0))
        if t.size > 1 and ratio.max() >= 1.0:
            self.drawn.append(self.ax.contour(t, log_periods, ratio, levels=[1.0], colors="white",
                                              linewidths=1.0))
        coi = np.log10(np.maximum(np.asarray(sc["coi"], dtype=float), periods[0]))
        self.drawn.append(self.ax.fill_between(
            t, np.minimum(coi, log_periods[-1]), log_periods[-1], color="white", alpha=0.45,
            hatch="xx", edgecolor="grey", linewidth=0))
        if mark_period:
            self.drawn.append(self.ax.axhline(
                np.log10(mark_period), color="cyan", ls="--", lw=1.2,
                label=f"injected reflection period ({mark_period:.0f} s)"))
            self.drawn.append(self.ax.legend(loc="lower right", fontsize=8))
        ticks = [p for p in PERIOD_TICKS if periods[0] <= p <= periods[-1]]
        self.ax.set_yticks(np.log10(ticks), [f"{p:g}" for p in ticks])
        self.ax.set_xlim(t[0], t[-1] if t[-1] > t[0] else t[0] + 1.0)
        self.ax.set_ylim(log_periods[0], log_periods[-1])
        self.title.set_text(f"{title}\n{NOTE}")
        return save_figure(self.fig, path, tight=False, keep=True)


    def _time_axis(self, t: np.ndarray, start: float | None) -> np.ndarray:
        """Minutes since the first sample, or, given that sample's time (unix seconds),
        hours of its day: one axis that scalograms of different satellites share."""
        if start is None:
            self.ax.set_xlabel("Time since first sample [min]")
            return t / 60.0
        midnight = np.floor(start / 86400.0) * 86400.0
        day = np.datetime_as_string(np.datetime64(int(midnight), "s"), unit="D")
        self.ax.set_xlabel(f"Hour of {day} (file time scale)")
        return (start - midnight + t) / 3600.0


_canvas: ScalogramCanvas | None = None  # this process's


def plot_scalogram(sc: dict, title: str, path: Path, mark_period: float | None = None,
                   start: float | None = None) -> Path:
    """Draw a scalogram (the result of the module's scalogram()) into path. mark_period
    draws a known period (the demo's injected reflection) as a line; start, the time of
    the series' first sample (unix seconds), puts the time axis in hours of the day."""
    global _canvas
    if _canvas is None:
        _canvas = ScalogramCanvas()
    return _canvas.draw(sc, title, path, mark_period, start)
