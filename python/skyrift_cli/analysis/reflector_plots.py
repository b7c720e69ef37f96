"""Figures of the reflector heights: periodograms, height over time and azimuth, Fresnel zones."""
from __future__ import annotations

from pathlib import Path

import numpy as np

from ..figures import save_figure
from ..optional import pyplot

MAX_PERIODOGRAMS = 400  # more lines than this only make a grey cloud


def _colours(signals: np.ndarray) -> dict:
    plt = pyplot()
    names = sorted(set(signals.tolist()))
    cmap = plt.get_cmap("tab10")
    return {s: cmap(i % 10) for i, s in enumerate(names)}


def plot_periodograms(result, name: str, path: Path) -> Path:
    plt = pyplot()
    arcs = result.arcs
    colours = _colours(arcs["signal"])
    fig, ax = plt.subplots(figsize=(8.0, 4.5))
    seen = set()
    for i in range(min(arcs["height"].size, MAX_PERIODOGRAMS)):
        h, a = result.periodogram(i)
        sig = str(arcs["signal"][i])
        ax.plot(h, a, lw=0.6, color=colours[sig], alpha=0.6, label=None if sig in seen else sig)
        seen.add(sig)
    ax.set(xlabel="Reflector height (m)", ylabel="Amplitude (linear SNR units)",
           title=f"Periodograms of accepted arcs — {name}")
    if seen:
        ax.legend(fontsize=8)
    ax.grid(alpha=0.3)
    return save_figure(fig, path)


def _heights_against(arcs, x):
    """Heights of the accepted arcs against x, one colour per signal."""
    fig, ax = pyplot().subplots(figsize=(8.0, 4.0))
    for sig, colour in _colours(arcs["signal"]).items():
        m = arcs["signal"] == sig
        ax.plot(x[m], arcs["height"][m], "o", ms=3, color=colour, label=sig)
    ax.invert_yaxis()  # a rising water or snow surface shows as a rising curve
    if arcs["height"].size:
        ax.legend(fontsize=8, ncol=2)
    ax.grid(alpha=0.3)
    return fig, ax


def plot_height_time(result, name: str, path: Path) -> Path:
    fig, ax = _heights_against(result.arcs, result.arcs["time"].astype("datetime64[s]").astype(object))
    daily = result.daily()
    for day, mean in zip(daily["day"], daily["mean"]):
        start = np.datetime64(day, "s")
        ax.plot([start.astype(object), (start + np.timedelta64(1, "D")).astype(object)], [mean, mean], "k-", lw=1.2)
    ax.set(xlabel="Time (file time scale)", ylabel="Reflector height (m)", title=f"Reflector heights — {name}")
    fig.autofmt_xdate()
    return save_figure(fig, path)


def plot_height_azimuth(result, name: str, path: Path) -> Path:
    fig, ax = _heights_against(result.arcs, result.arcs["azimuth"])
    ax.set(xlabel="Azimuth (deg)", ylabel="Reflector height (m)", xlim=(0, 360),
           title=f"Reflector height by azimuth — {name}")
    ax.set_xticks(range(0, 361, 45))
    return save_figure(fig, path)


def fresnel_ellipse(azimuth: float, elevation: float, height: float, wavelength: float, points: int = 72):
    """East and north (m) of the first Fresnel zone's outline for one reflection geometry."""
    import skyrift_mp as sk

    a, b, dist = sk.fresnel_zone(elevation, height, wavelength)
    t = np.linspace(0, 2 * np.pi, points)
    along, across = dist + a * np.cos(t), b * np.sin(t)
    az = np.radians(azimuth)
    return along * np.sin(az) + across * np.cos(az), along * np.cos(az) - across * np.sin(az)


def plot_fresnel_zones(result, name: str, path: Path) -> Path:
    """First Fresnel zones of the accepted arcs at both ends of the elevation window."""
    plt = pyplot()
    arcs = result.arcs
    colours = _colours(arcs["signal"])
    fig, ax = plt.subplots(figsize=(6.5, 6.5))
    for i in range(arcs["height"].size):
        colour = colours[str(arcs["signal"][i])]
        for elevation in (arcs["min_elevation"][i], arcs["max_elevation"][i]):
            east, north = fresnel_ellipse(arcs["azimuth"][i], elevation, arcs["height"][i], arcs["wavelength"][i])
            ax.plot(east, north, lw=0.5, color=colour, alpha=0.7)
    ax.plot([0], [0], "k^", ms=8, label="antenna")
    ax.set_aspect("equal")
    ax.set(xlabel="East (m)", ylabel="North (m)", title=f"First Fresnel zones of accepted arcs\n{name}")
    ax.grid(alpha=0.3)
    ax.legend(handles=[plt.Line2D([], [], color=c, label=s) for s, c in colours.items()]
              + [plt.Line2D([], [], color="k", marker="^", ls="", label="antenna")], fontsize=8)
    return save_figure(fig, path)


def rh_plots(result, name: str, outdir: Path) -> list[Path]:
    return [plot_periodograms(result, name, outdir / "rh_periodograms.png"),
            plot_height_time(result, name, outdir / "rh_time.png"),
            plot_height_azimuth(result, name, outdir / "rh_azimuth.png"),
            plot_fresnel_zones(result, name, outdir / "rh_fresnel.png")]
