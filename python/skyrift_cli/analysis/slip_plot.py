"""The cycle-slip figure: of one size whether a file has three slips or thousands.

Two panels on one time axis, cut into at most MAX_BINS bins of a round width:
- the detections per bin, one line per system;
- one row per satellite with slips, each bin coloured by its number of detections
  (a heat map, so hundreds of slips at one instant stay one cell and hundreds of
  satellites stay rows of the same panel, labelled every few rows when they are many).
Injected slips (the simulator's) are rings on the satellite's row.
"""
from __future__ import annotations

from pathlib import Path

import numpy as np

from ..figures import save_figure
from ..optional import pyplot
from .systems import DISPLAY_ORDER, full_name

MAX_BINS = 96
BIN_MINUTES = (1, 2, 5, 10, 15, 30, 60, 120, 240, 480, 1440)
MAX_LABELLED_ROWS = 40  # satellite names beyond this would overlap: label every k-th row
SIZE = (10.0, 7.2)  # inches, whatever the slips
METHODS = ("gf", "code_phase", "lli", "doppler")


def bin_minutes(span_ms: float) -> int:
    """The smallest round bin width that cuts the span into at most MAX_BINS bins."""
    for minutes in BIN_MINUTES:
        if span_ms <= MAX_BINS * minutes * 60_000:
            return minutes
    return BIN_MINUTES[-1]


def satellite_order(sat: str) -> tuple[int, int, str]:
    """Systems in the module's order, then the number (G02 before G10)."""
    system, number = sat[:1], sat[1:]
    rank = DISPLAY_ORDER.index(system) if system in DISPLAY_ORDER else len(DISPLAY_ORDER)
    return rank, int(number) if number.isdigit() else 0, sat


def slip_grid(satellites: np.ndarray, times: np.ndarray, rows: list[str], start, width_ms: int,
              bins: int) -> np.ndarray:
    """Detections per (row, bin)."""
    row = {s: i for i, s in enumerate(rows)}
    r = np.array([row[s] for s in satellites.tolist()], dtype=np.int64)
    b = np.clip(((times - start).astype(np.int64)) // width_ms, 0, bins - 1)
    return np.bincount(r * bins + b, minlength=len(rows) * bins).reshape(len(rows), bins)


def _time_ticks(mdates):
    """Ticks at round hours and minutes (the default may choose every 4.8 hours)."""
    locator = mdates.AutoDateLocator(minticks=4, maxticks=10)
    locator.intervald[mdates.HOURLY] = [1, 2, 3, 4, 6, 12]
    locator.intervald[mdates.MINUTELY] = [1, 2, 5, 10, 15, 30]
    return locator


def plot_slips(slips: dict[str, np.ndarray], name: str, path: Path,
               injected: list[dict] | None = None, systems: str | None = None,
               span: tuple | None = None) -> Path:
    """Detected slips (the columns of cycle_slips_to_numpy()) over time, per system and per
    satellite, injected ones as rings; `systems` names the systems they are of. `span`, the
    file's first and last epoch (datetime64), is the time axis, so that a few slips are
    seen where they fall in the file."""
    plt = pyplot()
    from matplotlib import dates as mdates
    from matplotlib.colors import LogNorm, Normalize
    from matplotlib.ticker import FuncFormatter, NullFormatter

    sats, times = slips["satellite"].astype(str), slips["time"].astype("datetime64[ms]")
    injected = injected or []
    inj_sats = np.array([s["satellite"] for s in injected], dtype=str)
    inj_times = np.array([s["epoch"].rstrip("Z") for s in injected], dtype="datetime64[ms]")
    all_times = np.concatenate([times, inj_times])
    rows = sorted(set(sats.tolist()) | set(inj_sats.tolist()), key=satellite_order)
    fig, (top, grid) = plt.subplots(2, 1, figsize=SIZE, sharex=True,
                                    gridspec_kw={"height_ratios": (1, 3)})
    # margins in inches (a layout engine would measure every label: half the drawing
    # time): the legend and the colour bar stand in the right margin
    fig.subplots_adjust(left=0.75 / SIZE[0], right=1.0 - 1.3 / SIZE[0], bottom=0.6 / SIZE[1],
                        top=1.0 - 0.75 / SIZE[1], hspace=0.12)
    methods = ", ".join(f"{m} {int((slips['method'] == m).sum()):,}" for m in METHODS
                        if (slips["method"] == m).any())
    fig.suptitle(f"Cycle slips — {name}\n{times.size:,} detections on {len(set(sats.tolist()))} "
                 f"satellites" + (f" ({methods})" if methods else "")
                 + (f"; analysed systems: {systems}" if systems else ""), fontsize=10)
    if not all_times.size:
        grid.text(0.5, 0.5, "no cycle slip detected", ha="center", va="center",
                  transform=grid.transAxes)
        top.set_axis_off()
        grid.set_yticks([])
        return save_figure(fig, path, tight=False)
    ends = np.concatenate([all_times, np.asarray(span or [], dtype="datetime64[ms]")])
    start, end = ends.min(), ends.max()
    width = bin_minutes(float((end - start).astype(np.int64))) * 60_000
    bins = int((end - start).astype(np.int64) // width) + 1
    edges = start + np.arange(bins + 1) * np.timedelta64(width, "ms")
    x = mdates.date2num(edges.astype("datetime64[us]").astype(object))
    counts = slip_grid(sats, times, rows, start, width, bins)
    for letter in DISPLAY_ORDER:
        mine = [i for i, s in enumerate(rows) if s[:1] == letter]
        if mine and counts[mine].any():
            top.stairs(counts[mine].sum(axis=0), x, label=full_name(letter), lw=1.3)
    top.set_ylabel(f"per {width // 60_000} min")
    top.grid(alpha=0.3)
    most = int(counts.max())
    # a log scale only where the counts span a decade: small counts read as they are
    norm = LogNorm(vmin=1, vmax=most) if most > 10 else Normalize(vmin=0.5, vmax=max(most, 1) + 0.5)
    image = grid.imshow(np.ma.masked_equal(counts, 0), aspect="auto", interpolation="nearest",
                        cmap="viridis", extent=(x[0], x[-1], len(rows) - 0.5, -0.5), norm=norm)
    if inj_sats.size:
        row = {s: i for i, s in enumerate(rows)}
        inj_x = mdates.date2num(inj_times.astype("datetime64[us]").astype(object))
        grid.scatter(inj_x, [row[s] for s in inj_sats.tolist()], s=90, facecolors="none",
                     edgecolors="red", linewidths=1.2, label=f"injected ({inj_sats.size})")
    handles = top.get_legend_handles_labels()[0] + grid.get_legend_handles_labels()[0]
    if handles:
        top.legend(handles=handles, fontsize=8, loc="upper left", bbox_to_anchor=(1.0, 1.0))
    step = -(-len(rows) // MAX_LABELLED_ROWS)
    grid.set_yticks(range(0, len(rows), step), rows[::step], fontsize=7 if step == 1 else 8)
    for i in range(1, len(rows)):  # a line between systems
        if rows[i][:1] != rows[i - 1][:1]:
            grid.axhline(i - 0.5, color="grey", lw=0.6)
    grid.set_ylabel("Satellite" + (f" (a name every {step} rows)" if step > 1 else ""))
    grid.set_xlim(x[0], x[-1])
    grid.xaxis.set_major_locator(_time_ticks(mdates))
    grid.xaxis.set_major_formatter(mdates.DateFormatter("%H:%M"))
    days = np.datetime_as_string(np.array([start, end]), unit="D").tolist()
    grid.set_xlabel("Time on " + (days[0] if days[0] == days[1] else " to ".join(days))
                    + " (file time scale)")
    # beside the heat map, not taken from its width: both panels keep one time axis
    bar = fig.colorbar(image, cax=grid.inset_axes((1.01, 0.0, 0.015, 1.0)),
                       label=f"detections per {width // 60_000} min")
    if most > 10:
        bar.ax.yaxis.set_major_formatter(FuncFormatter(lambda value, _: f"{value:g}"))
        bar.ax.yaxis.set_minor_formatter(NullFormatter())
    else:  # whole numbers only, even when the most is 1
        bar.set_ticks(range(1, max(most, 1) + 1))
    return save_figure(fig, path, tight=False)
