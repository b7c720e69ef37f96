"""The figures of a station-day report, as inline SVG: the satellite availability
timeline, multipath against elevation and on the sky, SNR against elevation.

They draw what the quality report holds (its dict, schema skyrift-mp/quality/1) and
the observations behind it (multipath estimates, SNR columns); they compute no quality
figure of their own, only densities and cell RMS to draw the points.
"""
from __future__ import annotations

import numpy as np

from ..analysis.orbits import SYSTEM_NAMES
from ..analysis.systems import system_rank
from ..figures import figure_svg
from ..optional import pyplot

MS_PER_HOUR = 3_600_000
SKY_CELL = (10.0, 5.0)  # azimuth and elevation of a skyplot cell, degrees
TRACKED, PASS, SLIP, SLIP_LOW, JUMP, GAP = ("#1f5f99", "#cfe0f1", "#d62728", "#9a9a9a",
                                            "#8e44ad", "#f2c94c")
MANY_POINTS = 3000  # markers beyond this are drawn as an image inside the SVG


def instants(texts) -> np.ndarray:
    """The report's ISO texts ("2020-06-25T00:00:30.000Z") as datetime64[ms]."""
    return np.array([t.removesuffix("Z") for t in texts], dtype="datetime64[ms]")


def satellite_order(satellites) -> list[str]:
    """GPS first (the module's system order), then by number."""
    return sorted(satellites, key=lambda s: (system_rank(s[0]), s))


class Clock:
    """Hours since midnight of the report's first day, the timeline's axis."""

    def __init__(self, first: str):
        self.midnight = np.datetime64(first.removesuffix("Z")[:10], "ms")
        self.day = first[:10]

    def hours(self, times: np.ndarray) -> np.ndarray:
        return (times - self.midnight).astype(np.int64) / MS_PER_HOUR


def _ranges(clock: Clock, pairs) -> list[tuple[float, float]]:
    if not pairs:
        return []
    start = clock.hours(instants([p[0] for p in pairs]))
    end = clock.hours(instants([p[1] for p in pairs]))
    # a run of one epoch still shows: at least a minute wide
    return list(zip(start.tolist(), np.maximum(end - start, 1 / 60).tolist()))


def availability_svg(data: dict) -> str:
    """One row per satellite: its passes above the cutoff (light, from the orbit), the
    runs it was tracked (dark), its slip epochs (red above the cutoff, grey below); gaps
    shade every row and receiver clock jumps cross them, as teqc's plot shows them."""
    plt = pyplot()
    clock = Clock(data["file"]["first"])
    rows = {s["satellite"]: s for s in data["satellites"] if s["epochs"] or s["passes"]}
    order = satellite_order(rows)
    y = {sat: i for i, sat in enumerate(order)}
    fig, ax = plt.subplots(figsize=(13.0, 1.3 + 0.13 * max(len(order), 4)))
    for sat in order:
        row = rows[sat]
        ax.broken_barh(_ranges(clock, row["passes"]), (y[sat] - 0.42, 0.84), color=PASS, lw=0)
        ax.broken_barh(_ranges(clock, row["tracked"]), (y[sat] - 0.22, 0.44), color=TRACKED,
                       lw=0)
    for gap in data["epochs"]["gaps"]:
        (start, width), = _ranges(clock, [(gap["start"], gap["end"])])
        ax.axvspan(start, start + width, color=GAP, alpha=0.55, lw=0)
    _slip_marks(ax, clock, data["slips"], y)
    for jump in data["clock_jumps"] or []:
        x = float(clock.hours(instants([jump["time"]]))[0])
        ax.axvline(x, color=JUMP, lw=1.0, ls="--")
        ax.annotate(f"{jump['milliseconds']:+d} ms", (x, 1.0), xycoords=("data", "axes fraction"),
                    fontsize=7, color=JUMP, ha="center", va="bottom")
    _timeline_axes(ax, clock, data, order)
    return figure_svg(fig)


def _slip_marks(ax, clock: Clock, slips: list[dict], y: dict) -> None:
    known = [s for s in slips if s["satellite"] in y]
    for above, colour, label in ((False, SLIP_LOW, "slip below cutoff"), (True, SLIP, "slip")):
        chosen = [s for s in known if s["above"] == above]
        if not chosen:
            continue
        x = clock.hours(instants([s["time"] for s in chosen]))
        rows = np.array([y[s["satellite"]] for s in chosen], dtype=float)
        ax.scatter(x, rows, marker="|", s=30 if above else 14, color=colour, lw=1.0,
                   label=label, zorder=3, rasterized=len(chosen) > MANY_POINTS)


def _timeline_axes(ax, clock: Clock, data: dict, order: list[str]) -> None:
    from matplotlib.patches import Patch

    start, end = (float(clock.hours(instants([data["file"][k]]))[0]) for k in ("first", "last"))
    ax.set_xlim(np.floor(start), max(np.ceil(end), np.floor(start) + 1))
    ax.set_ylim(len(order) - 0.5, -0.5)
    ax.set_yticks(range(len(order)), order, fontsize=7)
    ax.set_xlabel(f"GPS time, hours from {clock.day} 00:00")
    ax.xaxis.set_major_locator(_hour_locator(end - start))
    ax.grid(axis="x", alpha=0.35)
    for i, sat in enumerate(order):  # a faint line between systems
        if i and sat[0] != order[i - 1][0]:
            ax.axhline(i - 0.5, color="#888", lw=0.6)
    handles = [Patch(color=PASS, label="pass above cutoff (orbit)"),
               Patch(color=TRACKED, label="tracked"),
               Patch(color=GAP, alpha=0.55, label="gap")]
    handles += [h for h in ax.get_legend_handles_labels()[0]]
    if data["clock_jumps"]:
        handles.append(ax.plot([], [], color=JUMP, ls="--", lw=1.0, label="clock jump")[0])
    ax.legend(handles=handles, loc="lower left", bbox_to_anchor=(0.0, 1.01), ncol=len(handles),
              fontsize=8, frameon=False)


def _hour_locator(span_hours: float):
    from matplotlib.ticker import MultipleLocator

    step = next((s for s in (0.25, 0.5, 1, 2, 3, 6, 12) if span_hours / s <= 24), 24)
    return MultipleLocator(step)


# ---- multipath per signal

def series_key(system: str, code: str) -> str:
    """The multipath analysis' key of a pseudorange signal: G, C1C -> GPSM1C."""
    return f"{SYSTEM_NAMES.get(system, system)}M{code[1:]}"


def _groups(keys: np.ndarray) -> dict[str, np.ndarray]:
    """Row indices per distinct key, in one pass."""
    distinct, index = np.unique(keys, return_inverse=True)
    order = np.argsort(index.reshape(-1), kind="stable")
    bounds = np.cumsum(np.bincount(index.reshape(-1), minlength=distinct.size))[:-1]
    return dict(zip(distinct.tolist(), np.split(order, bounds)))


def _density(ax, x: np.ndarray, y: np.ndarray, y_range: tuple[float, float], cmap: str):
    """The density of (elevation, value) as a log-shaded image: a few hundred points and
    a million read alike, and the SVG stays small."""
    from matplotlib.colors import LogNorm

    counts, _, _ = np.histogram2d(x, y, bins=(90, 60), range=((0.0, 90.0), y_range))
    if counts.any():
        ax.imshow(np.ma.masked_equal(counts.T, 0.0), origin="lower", aspect="auto", cmap=cmap,
                  extent=(0.0, 90.0, *y_range), norm=LogNorm(vmin=1.0), interpolation="nearest")
    ax.set_xlim(0, 90)
    ax.set_ylim(*y_range)
    ax.set_xlabel("Elevation [°]")
    ax.grid(alpha=0.3)


def _skyplot(ax, azimuth: np.ndarray, elevation: np.ndarray, mp: np.ndarray, top: float):
    """RMS of the multipath per sky cell, north up and clockwise."""
    d_az, d_el = SKY_CELL
    n_az, n_el = int(360 / d_az), int(90 / d_el)
    up = (elevation >= 0.0) & (elevation <= 90.0) & np.isfinite(azimuth)
    az, el, values = np.mod(azimuth[up], 360.0), elevation[up], mp[up]
    cell = (np.minimum((el // d_el).astype(np.int64), n_el - 1) * n_az
            + np.minimum((az // d_az).astype(np.int64), n_az - 1))
    count = np.bincount(cell, minlength=n_az * n_el)
    power = np.bincount(cell, weights=values * values, minlength=n_az * n_el)
    with np.errstate(invalid="ignore", divide="ignore"):
        rms = np.ma.masked_invalid(np.sqrt(power / count).reshape(n_el, n_az))
    ax.set_theta_zero_location("N")
    ax.set_theta_direction(-1)
    mesh = ax.pcolormesh(np.radians(np.arange(n_az + 1) * d_az), 90.0 - np.arange(n_el + 1) * d_el,
                         rms, cmap="viridis", vmin=0.0, vmax=top, shading="flat", rasterized=True)
    ax.set_rlim(0, 90)
    ax.set_yticks([30, 60], ["60°", "30°"], fontsize=7, color="dimgrey")
    ax.set_xticks(np.radians([0, 90, 180, 270]), ["N", "E", "S", "W"], fontsize=8)
    ax.grid(alpha=0.4)
    return mesh


def multipath_cards(estimates: dict | None, signals: list[dict]) -> list[dict]:
    """One card per pseudorange signal with estimates: the multipath against elevation
    and its RMS on the sky, titled with the report's RMS figures."""
    if not estimates or not len(estimates["mp"]):
        return []
    plt = pyplot()
    rows = {series_key(s["system"], s["code"]): s for s in signals}
    groups = _groups(np.asarray(estimates["signal"]))
    cards = []
    for key in sorted(groups, key=lambda k: _signal_order(k, rows)):
        sel = groups[key]
        el = np.asarray(estimates["elevation"])[sel]
        az = np.asarray(estimates["azimuth"])[sel]
        mp = np.asarray(estimates["mp"])[sel]
        known = np.isfinite(el)
        lim = max(1.2 * float(np.percentile(np.abs(mp), 99.5)), 0.1)
        fig = plt.figure(figsize=(6.6, 2.9))
        left = fig.add_axes((0.13, 0.16, 0.35, 0.8))
        _density(left, el[known], mp[known], (-lim, lim), "Blues")
        left.axhline(0, color="grey", lw=0.5)
        left.set_ylabel("Code multipath [m]")
        right = fig.add_axes((0.545, 0.1, 0.30, 0.8), projection="polar")
        top = max(float(np.percentile(np.abs(mp), 98)), 0.05)
        mesh = _skyplot(right, az[known], el[known], mp[known], top)
        fig.colorbar(mesh, cax=fig.add_axes((0.895, 0.18, 0.015, 0.64)), label="RMS [m]")
        row = rows.get(key, {})
        cards.append({"title": _signal_title(key, row), "svg": figure_svg(fig, tight=False),
                      "caption": _mp_caption(row, int(sel.size), int(known.sum()))})
    return cards


def _signal_order(key: str, rows: dict):
    row = rows.get(key)
    system = row["system"] if row else key[0]
    return (system_rank(system), key)


def _signal_title(key: str, row: dict) -> str:
    return f"{row['system']} {row['code']}" if row else key


def _mp_caption(row: dict, count: int, placed: int) -> str:
    rms, wrms = row.get("mp_rms"), row.get("mp_wrms")
    figures = (f"RMS {rms:.3f} m, weighted {wrms:.3f} m" if rms is not None and wrms is not None
               else "no statistics")
    where = "" if placed == count else f"; {count - placed:,} without elevation not drawn"
    return f"{figures}; {count:,} estimates{where}"


# ---- SNR per signal

def snr_cards(snr: dict | None, bins: list[dict]) -> list[dict]:
    """One card per SNR code: the density of SNR against elevation (when the
    observations are at hand) and the report's mean per 10-degree bin."""
    plt = pyplot()
    groups: dict[str, np.ndarray] = {}
    systems = np.array([])
    if snr is not None and len(snr["snr"]):
        systems = np.char.add(np.asarray(snr["satellite"]).astype("U1"),
                              np.asarray(snr["code"]).astype("U3"))
        groups = _groups(systems)
    cards = []
    for b in sorted(bins, key=lambda b: (system_rank(b["system"]), b["code"])):
        fig = plt.figure(figsize=(4.4, 2.9))
        ax = fig.add_axes((0.15, 0.16, 0.82, 0.8))
        sel = groups.get(b["system"] + b["code"])
        values = None
        if sel is not None:
            el, values = np.asarray(snr["elevation"])[sel], np.asarray(snr["snr"])[sel]
            known = np.isfinite(el)
            _density(ax, el[known], values[known], (10.0, 60.0), "Greens")
        else:
            ax.set_xlim(0, 90)
            ax.set_ylim(10, 60)
            ax.set_xlabel("Elevation [°]")
            ax.grid(alpha=0.3)
        means = np.array([np.nan if m is None else m for m in b["mean"]], dtype=float)
        ax.plot(np.arange(9) * 10 + 5, means, "o-", color="#b03a2e", ms=3.5, lw=1.5,
                label="mean per 10°")
        ax.set_ylabel("SNR [dB-Hz]")
        ax.legend(loc="lower right", fontsize=7)
        observations = sum(b["count"])
        cards.append({"title": f"{b['system']} {b['code']}", "svg": figure_svg(fig, tight=False),
                      "caption": f"{observations:,} observations" + (
                          "" if values is not None else " (means only: the observations "
                          "are not in the stored report)")})
    return cards
