"""Figures of the multipath and SNR analyses (matplotlib, optional)."""
from __future__ import annotations

from pathlib import Path

import numpy as np

from ..figures import save_figure
from ..optional import pyplot
from .systems import in_display_order

# marker, colour and row offset (coincident detections of several tests stay visible)
METHOD_STYLE = {"gf": ("o", "tab:blue", 0.0), "code_phase": ("s", "tab:orange", -0.22),
                "lli": ("^", "tab:green", 0.22), "doppler": ("v", "tab:purple", -0.22)}


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
    as fast), and the RMS in 5-degree bins."""
    plt = pyplot()
    from matplotlib.colors import LogNorm

    groups = _groups(table.key)
    cols = min(4, max(1, len(groups)))
    rows = -(-len(groups) // cols) or 1
    fig, axes = plt.subplots(rows, cols, figsize=(3.6 * cols, 3.0 * rows + 0.6), squeeze=False)
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
        ax.set_title(key, fontsize=10)
        ax.axhline(0, color="grey", lw=0.5)
        ax.grid(alpha=0.3)
    for ax in axes.flat[len(groups):]:
        ax.set_visible(False)
    for i, ax in enumerate(axes.flat[:len(groups)]):
        ax.set_xlim(0, 90)
        if i + cols >= len(groups):  # lowest panel of its column
            ax.set_xlabel("Elevation [°]")
        else:
            ax.tick_params(labelbottom=False)
    for ax in axes[:, 0]:
        ax.set_ylabel("Code multipath [m]")
    axes.flat[0].legend(loc="upper right", fontsize=8)
    fig.suptitle(f"Code multipath vs elevation — {name}\n(shade: number of estimates, log scale)",
                 fontsize=11)
    return save_figure(fig, path)


SKY_CELL = (5.0, 3.0)  # azimuth and elevation of one skyplot cell, degrees


def plot_skyplot(table, name: str, path: Path) -> Path:
    """The sky (north up, clockwise) in cells of 5° azimuth by 3° elevation, each coloured by
    the RMS of the code multipath of all signals seen there."""
    plt = pyplot()
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
    fig.suptitle(f"Skyplot: multipath RMS per {d_az:g}° × {d_el:g}° cell (all signals)\n{name}",
                 fontsize=11)
    return save_figure(fig, path)


def plot_rms(stats, name: str, path: Path, reference: dict | None = None) -> Path:
    """RMS and elevation-weighted RMS per signal, with injected values if known."""
    plt = pyplot()
    keys = [s.signal for s in stats]
    x = np.arange(len(keys))
    fig, ax = plt.subplots(figsize=(max(5.0, 0.9 * len(keys) + 2), 4.2))
    ax.bar(x - 0.2, [s.rms for s in stats], 0.4, label="RMS")
    ax.bar(x + 0.2, [s.weighted_rms for s in stats], 0.4, label="elevation-weighted RMS")
    if reference:
        ax.scatter(x - 0.2, [reference.get(k, np.nan) for k in keys], marker="_", s=400,
                   color="black", zorder=3, label="injected RMS")
    ax.set_xticks(x, keys, rotation=30)
    ax.set_ylabel("Code multipath [m]")
    ax.set_title(f"Multipath RMS per signal — {name}")
    ax.legend(fontsize=8)
    ax.grid(axis="y", alpha=0.3)
    return save_figure(fig, path)


def plot_slips(slips: dict[str, np.ndarray], name: str, path: Path,
               injected: list[dict] | None = None, systems: str | None = None) -> Path:
    """Detected slips (the columns of cycle_slips_to_numpy()) per satellite on a time
    line, injected ones as rings; `systems` names the systems they are of."""
    plt = pyplot()
    from matplotlib.dates import DateFormatter

    found_sats, times, methods = slips["satellite"], slips["time"], slips["method"]
    injected = injected or []
    inj_sats = np.array([s["satellite"] for s in injected], dtype=str)
    inj_times = np.array([s["epoch"].rstrip("Z") for s in injected], dtype="datetime64[ms]")
    sats = sorted(set(found_sats.tolist()) | set(inj_sats.tolist()))
    row = {s: i for i, s in enumerate(sats)}
    rows = np.array([row[s] for s in found_sats.tolist()], dtype=float)
    fig, ax = plt.subplots(figsize=(9.0, max(2.5, 0.28 * len(sats) + 1.5)))
    for method, (marker, colour, offset) in METHOD_STYLE.items():
        sel = methods == method
        if sel.any():
            ax.scatter(times[sel], rows[sel] + offset, marker=marker, color=colour, s=22,
                       label=f"detected: {method}", rasterized=bool(sel.sum() > 5000))
    if injected:
        ax.scatter(inj_times, [row[s] for s in inj_sats.tolist()], s=140, facecolors="none",
                   edgecolors="red", linewidths=1.3, label="injected")
    ax.set_yticks(range(len(sats)), sats)
    ax.set_ylim(-1, max(len(sats), 1))
    all_times = np.concatenate([times, inj_times])
    days = sorted(set(np.datetime_as_string(all_times, unit="D").tolist()))
    ax.xaxis.set_major_formatter(DateFormatter("%H:%M"))
    ax.set_xlabel("Time on " + " to ".join(days[:1] + days[1:][-1:]) + " (file time scale)")
    ax.set_ylabel("Satellite")
    ax.set_title(f"Cycle slips — {name}" + (f"\n(analysed systems: {systems})" if systems else ""))
    ax.grid(alpha=0.3)
    if all_times.size:
        ax.legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.0, 1.0))
    return save_figure(fig, path)


def plot_scalogram(sc: dict, title: str, path: Path, mark_period: float | None = None) -> Path:
    """Wavelet power over time and period, cone of influence, 95 % significance.

    mark_period draws a known period (the demo's injected reflection) as a line.
    """
    plt = pyplot()
    t = np.asarray(sc["t"]) / 60.0
    periods = np.asarray(sc["periods"])
    power = np.asarray(sc["power"])
    sig = np.asarray(sc["significance"])[:, None]
    fig, ax = plt.subplots(figsize=(8.0, 4.6))
    with np.errstate(divide="ignore"):
        logp = np.log10(np.maximum(power, np.max(power) * 1e-6 if power.size else 1.0))
    mesh = ax.pcolormesh(t, periods, logp, shading="nearest", cmap="magma")
    ratio = np.divide(power, sig, out=np.zeros_like(power), where=np.isfinite(sig) & (sig > 0))
    if ratio.max() >= 1.0:
        ax.contour(t, periods, ratio, levels=[1.0], colors="white", linewidths=1.0)
    coi = np.asarray(sc["coi"])
    ax.fill_between(t, np.maximum(coi, periods[0]), periods[-1], color="white", alpha=0.45,
                    hatch="xx", edgecolor="grey", linewidth=0)
    if mark_period:
        ax.axhline(mark_period, color="cyan", ls="--", lw=1.2,
                   label=f"injected reflection period ({mark_period:.0f} s)")
        ax.legend(loc="lower right", fontsize=8)
    ax.set_yscale("log")
    ax.set_ylim(periods[0], periods[-1])
    ax.set_xlabel("Time since first sample [min]")
    ax.set_ylabel("Period [s]")
    fig.colorbar(mesh, ax=ax, label="log10 wavelet power")
    ax.set_title(title + "\n(white line: 95 % red-noise significance; hatched: cone of influence)",
                 fontsize=10)
    return save_figure(fig, path)


def _steps(progress, figures):
    """(path, draw) pairs drawn in order, each announced on the progress line."""
    out = []
    for path, draw in figures:
        if progress:
            progress.step(f"plotting {path.name}")
        out.append(draw(path))
    return out


def multipath_plots(run, outdir: Path, reference=None, injected=None, progress=None) -> list[Path]:
    """The figures of a multipath run (those needing elevations only with an orbit)."""
    name = run.obs_path.name
    figures = []
    # Only estimates with a known elevation go on these axes.
    placed = run.estimates.subset(~np.isnan(run.estimates.elevation))
    if run.orbit_files and len(placed):
        figures.append((outdir / "mp_elevation.png", lambda p: plot_mp_vs_elevation(placed, name, p)))
        figures.append((outdir / "skyplot_mp.png", lambda p: plot_skyplot(placed, name, p)))
    if run.statistics:
        figures.append((outdir / "mp_rms.png", lambda p: plot_rms(run.statistics, name, p, reference)))
    systems = ", ".join(in_display_order(run.systems))
    figures.append((outdir / "cycle_slips.png",
                    lambda p: plot_slips(run.slip_columns, name, p, injected, systems)))
    return _steps(progress, figures)


def snr_plots(run, outdir: Path, satellites=None, mark_period=None, progress=None) -> list[Path]:
    """A scalogram per satellite of an SNR run (those without an arc of 40 samples left out)."""
    import skyrift_mp as sk

    out = []
    for sat in satellites or list(run.survey["residuals"]):
        res = run.survey["residuals"].get(sat)
        if res is None:
            continue
        try:
            sc = sk.scalogram(res["t"], res["v"], run.survey["interval"], as_numpy=True)
        except ValueError:  # no arc of 40 samples
            continue
        title = f"Wavelet scalogram of δSNR, {sat} {res['code']} — {run.obs_path.name}"
        path = outdir / f"scalogram_{sat}.png"
        out += _steps(progress, [(path, lambda p: plot_scalogram(sc, title, p, mark_period))])
    return out
