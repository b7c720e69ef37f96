"""The analysis recovers what the simulator injected."""
import pytest
from cli_support import SHORT, simulated  # noqa: F401 (fixture)

from skyrift_cli.analysis.snr import band_of
from skyrift_cli.simulator.demo import slip_recovery
from skyrift_cli.simulator.signals import SIGNALS, series_key

KEYS = [series_key(sys, s.band_attr) for sys, sigs in SIGNALS.items() for s in sigs]


@pytest.fixture(scope="module")
def mp_run(simulated):
    from skyrift_cli.analysis.multipath import run_multipath

    return run_multipath(simulated.files.obs, simulated.files.sp3, cutoff=SHORT.cutoff_deg)


@pytest.mark.parametrize("key", KEYS)
def test_multipath_rms_within_ten_percent_of_injected(simulated, mp_run, key):
    found = {s.signal: s for s in mp_run.statistics}[key]
    injected = simulated.truth["mp_rms_m"][key]
    assert found.rms == pytest.approx(injected, rel=0.10)
    assert found.weighted_rms == pytest.approx(simulated.truth["mp_weighted_rms_m"][key], rel=0.10)


def test_every_estimate_has_a_real_elevation_above_the_cutoff(mp_run):
    assert mp_run.elevations[1] == 0 and mp_run.without_orbit == []
    assert mp_run.estimates.elevation.min() >= SHORT.cutoff_deg
    assert mp_run.estimates.elevation.max() < 90.0


def test_injected_slips_are_found_with_few_false_ones(simulated, mp_run):
    result = slip_recovery(simulated.truth["slips"], mp_run.cycle_slips)
    assert result.found >= 0.9 * result.injected
    assert len(result.false) <= max(1, result.injected // 10)


def test_slip_matching_counts_events_not_records():
    injected = [{"satellite": "G01", "epoch": "T1"}, {"satellite": "G02", "epoch": "T2"}]
    detected = [{"satellite": "G01", "epoch": "T1"}, {"satellite": "G01", "epoch": "T1"},
                {"satellite": "G03", "epoch": "T1"}]
    r = slip_recovery(injected, detected)
    assert (r.injected, r.found, r.missed, r.false) == (2, 1, [("G02", "T2")], [("G03", "T1")])


def test_reflection_band_carries_the_most_snr_power(simulated):
    from skyrift_cli.analysis.snr import run_snr

    run = run_snr(simulated.files.obs)
    totals = run.band_totals()
    expected = band_of(simulated.truth["reflection_period_s"], run.bands)
    assert expected is not None
    assert int(totals.argmax()) == expected
    assert len(run.survey["band_power"]) >= 40  # nearly every satellite seen long enough
