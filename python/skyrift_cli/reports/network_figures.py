"""Trend charts of the network page: one station's summary figures over its days."""
from __future__ import annotations

import datetime as dt

import numpy as np

from ..analysis.systems import system_rank
from ..figures import figure_svg
from ..optional import pyplot

PANELS = (("system_completeness", "Completeness [%]", "linear"),
          ("mp1", "MP1 RMS [m]", "linear"),
          ("system_obs_per_slip", "Observations per slip", "log"))
COLOURS = {"G": "#1f77b4", "R": "#d62728", "E": "#2ca02c", "C": "#ff7f0e", "J": "#9467bd",
           "S": "#8c564b", "I": "#e377c2"}


def _date(day: str) -> dt.date | None:
    try:
        return dt.date.fromisoformat(day)
    except ValueError:
        return None


def trend_svg(station: str, days) -> str:
    """Completeness, MP1 and observations per slip per system over the days, the epoch
    completeness beside the first (dashed)."""
    plt = pyplot()
    from matplotlib.dates import DateFormatter, DayLocator

    dated = sorted((d for d in days if _date(d.day)), key=lambda d: d.day)
    x = [_date(d.day) for d in dated]
    systems = sorted({s for d in dated for s in d.systems()}, key=lambda s: system_rank(s))
    fig, axes = plt.subplots(1, len(PANELS), figsize=(13.0, 2.6), sharex=True)
    for ax, (key, label, scale) in zip(axes, PANELS):
        for system in systems:
            y = [d.systems().get(system, {}).get(key) for d in dated]
            values = np.array([np.nan if v is None else v for v in y], dtype=float)
            if np.isfinite(values).any():
                ax.plot(x, values, "o-", ms=3.5, lw=1.3, color=COLOURS.get(system, "grey"),
                        label=system)
        if key == "system_completeness":
            epochs = [d.rows[0]["epochs_completeness"] for d in dated]
            ax.plot(x, [np.nan if v is None else v for v in epochs], "--", color="black", lw=1.0,
                    label="epochs")
            shown = [np.asarray(line.get_ydata(), dtype=float) for line in ax.get_lines()]
            low = min((float(np.nanmin(y)) for y in shown if np.isfinite(y).any()), default=90.0)
            ax.set_ylim(min(90.0, np.floor(low) - 2.0), 101.0)  # small wobbles stay small
        ax.set_yscale(scale)
        ax.set_title(label, fontsize=10)
        ax.grid(alpha=0.3)
        ax.xaxis.set_major_locator(DayLocator(interval=max(1, len(x) // 7)))
        ax.xaxis.set_major_formatter(DateFormatter("%m-%d"))
    handles, labels = axes[0].get_legend_handles_labels()
    if handles:
        fig.legend(handles, labels, loc="center right", fontsize=8, frameon=False)
        fig.subplots_adjust(right=0.93)
    return figure_svg(fig)
