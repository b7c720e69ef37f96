"""Figures of the multipath and SNR analyses (matplotlib, optional)."""
from __future__ import annotations

from pathlib import Path

import numpy as np

from ..figure_pool import FigureJob, FigurePool
from ..figures import save_figure
from ..optional import pyplot
from .scalogram_figure import plot_scalogram
from .slip_plot import plot_slips
from .report import system_list

def _groups(keys: np.ndarray) -> list[tuple[str, np.ndarray]]:
    """(key, row indices) per distinct key, keys sorted: one pass instead of a mask per key."""
    distinct, index = np.unique(keys, return_inverse=True)
    order = np.argsort(index.reshape(-1), kind="stable")
    bounds = np.cumsum(np.bincount(index.reshape(-1), minlength=distinct.size))[:-1]
    return list(zip(distinct.tolist(), np.split(order, bounds)))


def _binned_rms(x: np.ndarray, values: np.ndarray, width: float, bins: int):
    """Centres and RMS of `values` in bins of `width` along x (empty bins left out)."""
    idx = np.clip((x // width).astype(np.int64), 0, bins - 1)
    count = np.bincount(idx, minlength=bins)
    power = np.bincount(idx, weights=values * values, minlength=bins)
    full = count > 0
    return (np.arange(bins)[full] + 0.5) * width, np.sqrt(power[full] / count[full])


def plot_mp_vs_elevation(table, name: str, path: Path) -> Path:
    """One panel per signal: the density of (elevation, MP) in 1° × lim/24 cells on a log
    scale, which reads the same for a few thousand estimates and for a million (and draws
    as fast), and the RMS in 5-degree bins. The margins are fixed in inches: measuring the
    labels of sixteen panels for a layout took a third of the drawing."""
    plt = pyplot()
    from matplotlib.colors import LogNorm

    groups = _groups(table.key)
    cols = min(4, max(1, len(groups)))
    rows = -(-len(groups) // cols) or 1
    width, height = 3.6 * cols, 3.0 * rows + 0.6
    fig, axes = plt.subplots(rows, cols, figsize=(width, height), squeeze=False)
    fig.subplots_adjust(left=0.8 / width, right=1.0 - 0.15 / width, bottom=0.55 / height,
                        top=1.0 - 0.85 / height, wspace=0.3, hspace=0.3)
    for ax, (key, sel) in zip(axes.flat, groups):
        el, mp = table.elevation[sel], table.mp[sel]
        lim = max(1.2 * float(np.percentile(np.abs(mp), 99.5)), 0.1)
        counts, _, _ = np.histogram2d(el, mp, bins=(90, 48), range=((0.0, 90.0), (-lim, lim)))
        ax.imshow(np.ma.masked_equal(counts.T, 0.0), origin="lower", aspect="auto", cmap="Blues",
                  extent=(0.0, 90.0, -lim, lim), norm=LogNorm(vmin=1.0), interpolation="nearest")
        centres, rms = _binned_rms(el, mp, 5.0, 18)
        ax.plot(centres, rms, color="tab:red", lw=1.8, label="RMS per 5°")
        ax.plot(centres, -rms, color="tab:red", lw=1.8)
        ax.set_ylim(-lim, lim)
        # a title placed by hand (y=1): placing it clear of the tick labels measured every
        # label of every panel, half the drawing time of the figure
        ax.set_title(key, fontsize=10, y=1.0)
        ax.axhline(0, color="grey", lw=0.5)
        ax.grid(alpha=0.3)
    for ax in axes.flat[len(groups):]:
        ax.set_visible(False)
    from matplotlib.ticker import MaxNLocator

    for i, ax in enumerate(axes.flat[:len(groups)]):
        ax.set_xlim(0, 90)
        # few ticks: a tick is built line by line and label by label in every panel
        ax.set_xticks([0, 30, 60, 90])
        ax.yaxis.set_major_locator(MaxNLocator(5))
        if i + cols >= len(groups):  # lowest panel of its column
            ax.set_xlabel("Elevation [°]")
        else:
            ax.tick_params(labelbottom=False)
    for ax in axes[:, 0]:
        ax.set_ylabel("Code multipath [m]")
    axes.flat[0].legend(loc="upper right", fontsize=8)
    fig.suptitle(f"Code multipath vs elevation — {name}\n(shade: number of estimates, log scale)",
                 fontsize=11)
    return save_figure(fig, path, tight=False)


SKY_CELL = (5.0, 3.0)  # azimuth and elevation of one skyplot cell, degrees


def plot_skyplot(table, name: str, path: Path, signal: str | None = None) -> Path:
    """The sky (north up, clockwise) in cells of 5° azimuth by 3° elevation, each coloured by
    the RMS of the code multipath of all signals seen there, or of one signal (a series
    key such as GPSM1C)."""
    plt = pyplot()
    if signal is not None:
        table = table.subset(table.key == signal)
    d_az, d_el = SKY_CELL
    n_az, n_el = int(360 / d_az), int(90 / d_el)
    up = (table.elevation >= 0.0) & (table.elevation <= 90.0) & np.isfinite(table.azimuth)
    az = np.mod(table.azimuth[up], 360.0)
    el, mp = table.elevation[up], table.mp[up]
    cell = (np.minimum((el // d_el).astype(np.int64), n_el - 1) * n_az
            + np.minimum((az // d_az).astype(np.int64), n_az - 1))
    count = np.bincount(cell, minlength=n_az * n_el)
    power = np.bincount(cell, weights=mp * mp, minlength=n_az * n_el)
    with np.errstate(invalid="ignore", divide="ignore"):
        rms = np.sqrt(power / count).reshape(n_el, n_az)
    rms = np.ma.masked_invalid(rms)
    fig = plt.figure(figsize=(6.4, 6.0))
    ax = fig.add_subplot(projection="polar")
    fig.subplots_adjust(left=0.06, right=0.94, bottom=0.05, top=0.85)  # no layout engine: faster
    ax.set_theta_zero_location("N")
    ax.set_theta_direction(-1)
    top = float(np.percentile(rms.compressed(), 98)) if rms.count() else 1.0
    mesh = ax.pcolormesh(np.radians(np.arange(n_az + 1) * d_az), 90.0 - np.arange(n_el + 1) * d_el, rms,
                         cmap="viridis", vmin=0.0, vmax=top or 1.0, shading="flat", rasterized=True)
    ax.set_rlim(0, 90)
    ax.set_yticks([0, 30, 60, 90])
    ax.set_yticklabels(["", "60°", "30°", "0°"], fontsize=8, color="dimgrey")
    ax.set_rlabel_position(112.5)
    ax.set_axisbelow(False)  # elevation rings and labels stay readable over the cells
    for label in ax.get_yticklabels():
        label.set_bbox({"facecolor": "white", "alpha": 0.8, "edgecolor": "none", "pad": 1})
    ax.set_xticks(np.radians([0, 90, 180, 270]), ["N", "E", "S", "W"])
    fig.colorbar(mesh, ax=ax, shrink=0.75, pad=0.1, label="RMS of code multipath [m]")
    fig.suptitle(f"Skyplot: multipath RMS per {d_az:g}° × {d_el:g}° cell "
                 f"({signal or 'all signals'})\n{name}", fontsize=11)
    return save_figure(fig, path, tight=False)


def plot_rms(stats, name: str, path: Path, reference: dict | None = None) -> Path:
    """RMS and elevation-weighted RMS per signal, with injected values if known. Margins
    in inches, for the rotated signal names below and the title above."""
    plt = pyplot()
    keys = [s.signal for s in stats]
    x = np.arange(len(keys))
    width, height = max(5.0, 0.9 * len(keys) + 2), 4.2
    fig, ax = plt.subplots(figsize=(width, height))
    fig.subplots_adjust(left=0.75 / width, right=1.0 - 0.15 / width, bottom=0.8 / height,
                        top=1.0 - 0.4 / height)
    ax.bar(x - 0.2, [s.rms for s in stats], 0.4, label="RMS")
    ax.bar(x + 0.2, [s.weighted_rms for s in stats], 0.4, label="elevation-weighted RMS")
    if reference:
        ax.scatter(x - 0.2, [reference.get(k, np.nan) for k in keys], marker="_", s=400,
                   color="black", zorder=3, label="injected RMS")
    ax.set_xticks(x, keys, rotation=30)
    ax.set_ylabel("Code multipath [m]")
    ax.set_title(f"Multipath RMS per signal — {name}", y=1.0)
    ax.legend(fontsize=8)
    ax.grid(axis="y", alpha=0.3)
    return save_figure(fig, path, tight=False)




def multipath_plots(run, outdir: Path, reference=None, injected=None, progress=None,
                    pool: FigurePool | None = None, signal: str | None = None) -> list[Path]:
    """The figures of a multipath run (those needing elevations only with an orbit); the
    skyplot of one signal (a series key) when signal is given. Drawn in the pool's
    processes when one is given."""
    name = run.obs_path.name
    jobs = []
    # Only estimates with a known elevation go on these axes.
    placed = run.estimates.subset(~np.isnan(run.estimates.elevation))
    if run.orbit_files and len(placed):
        jobs.append(FigureJob(outdir / "mp_elevation.png", plot_mp_vs_elevation, (placed, name)))
        sky = f"skyplot_mp_{signal}.png" if signal else "skyplot_mp.png"
        jobs.append(FigureJob(outdir / sky, plot_skyplot, (placed, name), {"signal": signal}))
    if run.statistics:
        jobs.append(FigureJob(outdir / "mp_rms.png", plot_rms, (run.statistics, name),
                              {"reference": reference}))
    jobs.append(FigureJob(outdir / "cycle_slips.png", plot_slips, (run.slip_columns, name),
                          {"injected": injected, "systems": system_list(run.systems),
                           "span": run.span}))
    return (pool or FigurePool(enabled=False)).draw(jobs, progress)


def snr_plots(run, outdir: Path, satellites=None, mark_period=None, progress=None,
              pool: FigurePool | None = None, plan=None) -> list[Path]:
    """A scalogram per satellite of an SNR run, of those the plan draws (by default the
    plan of scalogram_plan for the satellites given, or all)."""
    import skyrift_mp as sk

    from .scalogram_plan import plan_scalograms

    plan = plan or plan_scalograms(run.survey, satellites)
    jobs = []
    for drawn in plan.drawn:
        res = run.survey["residuals"][drawn.satellite]
        sc = sk.scalogram(res["t"], res["v"], run.survey["interval"], as_numpy=True)
        part = f", longest of {drawn.arcs} arcs" if drawn.arcs > 1 else ""
        title = (f"Wavelet scalogram of δSNR, {drawn.satellite} {res['code']}{part} — "
                 f"{run.obs_path.name}")
        jobs.append(FigureJob(outdir / f"scalogram_{drawn.satellite}.png", plot_scalogram,
                              (sc, title), {"mark_period": mark_period, "start": res["t0"]}))
    return (pool or FigurePool(enabled=False)).draw(jobs, progress)
