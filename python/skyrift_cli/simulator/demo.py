"""Simulate, analyse and compare what was found with what was injected."""
from __future__ import annotations

import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

import numpy as np

from ..analysis.report import format_table
from ..analysis.snr import band_label, band_of


@dataclass
class SlipRecovery:
    injected: int
    found: int
    missed: list[tuple[str, str]]
    false: list[tuple[str, str]]  # detected (satellite, epoch) with nothing injected


def slip_recovery(injected: list[dict], detected: list[dict]) -> SlipRecovery:
    """Match slips by satellite and epoch (one injected slip may give several records)."""
    truth = {(s["satellite"], s["epoch"]) for s in injected}
    seen = {(s["satellite"], s["epoch"]) for s in detected}
    return SlipRecovery(len(truth), len(truth & seen), sorted(truth - seen), sorted(seen - truth))


def rms_comparison(stats, injected: dict[str, float]) -> list[list]:
    rows = []
    for s in stats:
        ref = injected.get(s.signal)
        diff = f"{100.0 * (s.rms - ref) / ref:+.1f} %" if ref else "-"
        rows.append([s.signal, s.count, f"{ref:.3f}" if ref else "-", f"{s.rms:.3f}", diff])
    return rows


def demo_report(truth: dict, mp_run, snr_run) -> str:
    slips = slip_recovery(truth["slips"], mp_run.cycle_slips)
    bands = snr_run.bands
    totals = snr_run.band_totals()
    expected = band_of(truth["reflection_period_s"], bands)
    strongest = int(np.argmax(totals)) if totals.size and totals.max() > 0 else None
    table = format_table(["signal", "estimates", "injected RMS [m]", "found RMS [m]", "diff"],
                         rms_comparison(mp_run.statistics, truth["mp_rms_m"]), "<>>>>")
    lines = [
        f"Code multipath (elevations from the SP3 orbit, cutoff "
        f"{truth['elevation_cutoff_deg']:g} deg)", table, "",
        f"Cycle slips: {slips.injected} injected, {slips.found} found "
        f"({100.0 * slips.found / max(slips.injected, 1):.0f} %), "
        f"{len(slips.false)} false detections", "",
        f"SNR ground reflection: reflector {truth['reflector_height_m']:g} m below the antenna "
        f"gives a period of about {truth['reflection_period_s']:.0f} s"
        + (f" (band {band_label(bands[expected])})" if expected is not None else ""),
        "Band power summed over satellites: "
        + ", ".join(f"{band_label(b)} {p:.3g}" for b, p in zip(bands, totals)),
    ]
    if strongest is not None:
        verdict = "as injected" if strongest == expected else "NOT the injected band"
        lines.append(f"Strongest band: {band_label(bands[strongest])} ({verdict})")
    return "\n".join(lines)


def strongest_satellites(snr_run, band: int | None, count: int = 2) -> list[str]:
    if band is None:
        return []
    power = {sat: snr_run.mean_power(sat)[band] for sat in snr_run.survey["band_power"]}
    return sorted(power, key=power.get, reverse=True)[:count]


def run_demo(outdir: Path, hours: float, seed: int, plots: bool = True,
             reflector_height: float = 1.6) -> None:
    from ..analysis.multipath import run_multipath
    from ..analysis.plots import multipath_plots, snr_plots
    from ..analysis.reflector import demo_line
    from ..analysis.snr import run_snr
    from .simulate import SimConfig, simulate, truth, write_simulation

    started = time.perf_counter()
    if plots:
        from ..optional import pyplot

        pyplot()  # fail before the work when matplotlib is missing
    config = SimConfig(seed=seed, hours=hours, reflector_height=reflector_height)
    with tempfile.TemporaryDirectory(prefix="skyrift-demo-") as tmp:
        sim = simulate(config)
        files = write_simulation(sim, Path(tmp))
        injected = truth(sim)
        print(f"Simulated {hours:g} h of GPS, GLONASS, Galileo and BeiDou observations at "
              f"{config.interval:g} s (seed {seed}): {len(sim.tracks)} satellites, receiver at "
              f"{config.latitude:g} N {config.longitude:g} E\n")
        mp_run = run_multipath(files.obs, files.sp3, cutoff=injected["elevation_cutoff_deg"])
        snr_run = run_snr(files.obs)
        print(demo_report(injected, mp_run, snr_run))
        print(demo_line(files.obs, files.sp3, injected["reflector_height_m"]))
        written = []
        if plots:
            outdir.mkdir(parents=True, exist_ok=True)
            written = multipath_plots(mp_run, outdir, injected["mp_rms_m"], injected["slips"])
            band = band_of(injected["reflection_period_s"], snr_run.bands)
            written += snr_plots(snr_run, outdir, strongest_satellites(snr_run, band),
                                 injected["reflection_period_s"])
    if written:
        print(f"\nPlots in {outdir}/: " + ", ".join(p.name for p in written))
    print(f"Finished in {time.perf_counter() - started:.1f} s")
