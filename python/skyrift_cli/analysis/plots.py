"""Figures of the multipath and SNR analyses (matplotlib, optional)."""
from __future__ import annotations

from pathlib import Path

import numpy as np

from ..optional import pyplot

# marker, colour and row offset (coincident detections of several tests stay visible)
METHOD_STYLE = {"gf": ("o", "tab:blue", 0.0), "code_phase": ("s", "tab:orange", -0.22),
                "lli": ("^", "tab:green", 0.22), "doppler": ("v", "tab:purple", -0.22)}


def _save(fig, path: Path) -> Path:
    fig.savefig(path, dpi=110)
    pyplot().close(fig)
    return path


def plot_mp_vs_elevation(table, name: str, path: Path) -> Path:
    """One panel per signal: MP against elevation with the RMS in 5-degree bins."""
    plt = pyplot()
    keys = sorted(set(table.key.tolist()))
    cols = min(4, max(1, len(keys)))
    rows = -(-len(keys) // cols) or 1
    fig, axes = plt.subplots(rows, cols, figsize=(3.6 * cols, 3.0 * rows + 0.6), squeeze=False)
    edges = np.arange(0, 95, 5.0)
    for ax, key in zip(axes.flat, keys):
        sel = table.key == key
        el, mp = table.elevation[sel], table.mp[sel]
        ax.scatter(el, mp, s=2, alpha=0.3, color="tab:blue", rasterized=True)
        idx = np.digitize(el, edges)
        centres = [(edges[i - 1] + 2.5) for i in range(1, edges.size) if np.any(idx == i)]
        rms = [np.sqrt(np.mean(mp[idx == i] ** 2)) for i in range(1, edges.size)
               if np.any(idx == i)]
        ax.plot(centres, rms, color="tab:red", lw=1.8, label="RMS per 5°")
        ax.plot(centres, -np.array(rms), color="tab:red", lw=1.8)
        ax.set_title(key, fontsize=10)
        ax.axhline(0, color="grey", lw=0.5)
        ax.grid(alpha=0.3)
    for ax in axes.flat[len(keys):]:
        ax.set_visible(False)
    for i, ax in enumerate(axes.flat[:len(keys)]):
        ax.set_xlim(0, 90)
        if i + cols >= len(keys):  # lowest panel of its column
            ax.set_xlabel("Elevation [°]")
        else:
            ax.tick_params(labelbottom=False)
    for ax in axes[:, 0]:
        ax.set_ylabel("Code multipath [m]")
    axes.flat[0].legend(loc="upper right", fontsize=8)
    fig.suptitle(f"Code multipath vs elevation — {name}")
    fig.tight_layout()
    return _save(fig, path)


def plot_skyplot(table, name: str, path: Path) -> Path:
    """Estimates on the sky (north up, clockwise), coloured by |MP|."""
    plt = pyplot()
    fig = plt.figure(figsize=(6.4, 6.0))
    ax = fig.add_subplot(projection="polar")
    ax.set_theta_zero_location("N")
    ax.set_theta_direction(-1)
    mag = np.abs(table.mp)
    order = np.argsort(mag)  # largest on top
    top = float(np.percentile(mag, 98)) if mag.size else 1.0
    pts = ax.scatter(np.radians(table.azimuth[order]), 90.0 - table.elevation[order],
                     c=mag[order], s=3, cmap="viridis", vmin=0.0, vmax=top or 1.0,
                     rasterized=True)
    ax.set_rlim(0, 90)
    ax.set_yticks([0, 30, 60, 90])
    ax.set_yticklabels(["", "60°", "30°", "0°"], fontsize=8, color="dimgrey")
    ax.set_rlabel_position(112.5)
    ax.set_axisbelow(False)  # elevation rings and labels stay readable over dense tracks
    for label in ax.get_yticklabels():
        label.set_bbox({"facecolor": "white", "alpha": 0.8, "edgecolor": "none", "pad": 1})
    ax.set_xticks(np.radians([0, 90, 180, 270]), ["N", "E", "S", "W"])
    fig.colorbar(pts, ax=ax, shrink=0.75, pad=0.1, label="|code multipath| [m]")
    fig.suptitle(f"Skyplot coloured by |MP| (all signals)\n{name}", fontsize=11)
    fig.tight_layout()
    return _save(fig, path)


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
    fig.tight_layout()
    return _save(fig, path)


def matplotlib_dates():
    import matplotlib.dates

    return matplotlib.dates


def _times(epochs) -> np.ndarray:
    return np.array([e.rstrip("Z") for e in epochs], dtype="datetime64[ms]")


def plot_slips(slips: list[dict], name: str, path: Path,
               injected: list[dict] | None = None) -> Path:
    """Detected slips per satellite on a time line, injected ones as rings."""
    plt = pyplot()
    sats = sorted({s["satellite"] for s in slips} | {s["satellite"] for s in injected or []})
    row = {s: i for i, s in enumerate(sats)}
    fig, ax = plt.subplots(figsize=(9.0, max(2.5, 0.28 * len(sats) + 1.5)))
    for method, (marker, colour, offset) in METHOD_STYLE.items():
        sel = [s for s in slips if s["method"] == method]
        if sel:
            ax.scatter(_times([s["epoch"] for s in sel]).astype("datetime64[s]").astype(object),
                       [row[s["satellite"]] + offset for s in sel], marker=marker,
                       color=colour, s=22, label=f"detected: {method}")
    if injected:
        ax.scatter(_times([s["epoch"] for s in injected]).astype("datetime64[s]").astype(object),
                   [row[s["satellite"]] for s in injected], s=140, facecolors="none",
                   edgecolors="red", linewidths=1.3, label="injected")
    ax.set_yticks(range(len(sats)), sats)
    ax.set_ylim(-1, max(len(sats), 1))
    days = sorted({s["epoch"][:10] for s in slips + (injected or [])})
    ax.xaxis.set_major_formatter(matplotlib_dates().DateFormatter("%H:%M"))
    ax.set_xlabel("Time on " + " to ".join(days[:1] + days[1:][-1:]) + " (file time scale)")
    ax.set_ylabel("Satellite")
    ax.set_title(f"Cycle slips — {name}")
    ax.grid(alpha=0.3)
    if slips or injected:
        ax.legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.0, 1.0))
    fig.tight_layout()
    return _save(fig, path)


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
    fig.tight_layout()
    return _save(fig, path)


def multipath_plots(run, outdir: Path, reference=None, injected=None) -> list[Path]:
    """The figures of a multipath run (those needing elevations only with an orbit)."""
    name = run.obs_path.name
    out = []
    # Satellites the orbit does not know keep a placeholder elevation: not on these axes.
    placed = run.estimates.subset(~np.isin(run.estimates.satellite, run.without_orbit))
    if run.orbit_files and len(placed):
        out.append(plot_mp_vs_elevation(placed, name, outdir / "mp_elevation.png"))
        out.append(plot_skyplot(placed, name, outdir / "skyplot_mp.png"))
    if run.statistics:
        out.append(plot_rms(run.statistics, name, outdir / "mp_rms.png", reference))
    out.append(plot_slips(run.cycle_slips, name, outdir / "cycle_slips.png", injected))
    return out


def snr_plots(run, outdir: Path, satellites=None, mark_period=None) -> list[Path]:
    """A scalogram per satellite of an SNR run (those without an arc of 40 samples left out)."""
    import skyrift_mp as sk

    out = []
    for sat in satellites or list(run.survey["residuals"]):
        res = run.survey["residuals"].get(sat)
        if res is None:
            continue
        try:
            sc = sk.scalogram(res["t"], res["v"], run.survey["interval"])
        except ValueError:  # no arc of 40 samples
            continue
        title = f"Wavelet scalogram of δSNR, {sat} {res['code']} — {run.obs_path.name}"
        out.append(plot_scalogram(sc, title, outdir / f"scalogram_{sat}.png", mark_period))
    return out
