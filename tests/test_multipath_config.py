"""MultipathAnalyzer construction: signature, argument conversion and the code-filter checks."""
import inspect

import numpy as np
import pytest

import skyrift_mp as mp
from rinex_synth import epochs_of, observations
from rinex_text import write_rinex3

GPS = ["C1C", "L1C", "C2W", "L2W"]


@pytest.fixture(scope="module")
def obs(tmp_path_factory):
    track = observations([30.0 * i for i in range(20)], "G", GPS)
    track[300.0]["L1C"] = (track[300.0]["L1C"], 1)
    path = write_rinex3(tmp_path_factory.mktemp("cfg") / "cfg.rnx", epochs_of({"G01": track}), {"G": GPS})
    return mp.read_rinex_obs(str(path))


def test_signature_and_docstrings():
    params = inspect.signature(mp.MultipathAnalyzer).parameters
    assert [(p.name, p.default) for p in params.values()] == [
        ("obs_data", inspect.Parameter.empty), ("elevation_cutoff", 10.0), ("systems", None),
        ("bias_window_seconds", 1500.0), ("min_arc_seconds", 300.0), ("arc_gap_factor", 5.0),
        ("include_codes", None), ("exclude_codes", None), ("max_epochs", None), ("detect_cycle_slips", True),
        ("ion_delta_base", 0.10), ("ion_delta_rate", 0.003), ("cp_delta_base", 5.0), ("cp_delta_rate", 0.10),
        ("skip_slip_tests_after_holes", False), ("orbit", None), ("receiver", None),
        ("min_arc_points", 10), ("keep_estimates_without_position", False)]
    assert {name for name, p in params.items() if p.kind is inspect.Parameter.KEYWORD_ONLY} == {
        "min_arc_points", "keep_estimates_without_position"}
    assert mp.MultipathAnalyzer.__doc__ == "Python-exposed Multipath Analyzer"
    assert list(inspect.signature(mp.MultipathAnalyzer.analyze).parameters) == ["self"]
    assert list(inspect.signature(mp.AnalysisResults.compute_elevations).parameters) == ["self", "sp3", "receiver"]
    assert mp.AnalysisResults.compute_elevations.__doc__.endswith(
        "Compute elevations and azimuths for all estimates using SP3 data\nReturns (computed_count, failed_count)")


@pytest.mark.parametrize("option, entry, message", [
    ("include_codes", "C1", "include_codes entry 'C1' must be a 3-char code ('C1C') or system+code ('GC1C')"),
    ("include_codes", "  ", "include_codes entry '  ' must be a 3-char code ('C1C') or system+code ('GC1C')"),
    ("exclude_codes", "GC1CX", "exclude_codes entry 'GC1CX' must be a 3-char code ('C1C') or system+code ('GC1C')"),
    ("exclude_codes", "Q1C", "exclude_codes entry 'Q1C' is not a valid signal code"),
    ("include_codes", " gcxc", "include_codes entry ' gcxc' is not a valid signal code"),
    ("include_codes", "XC1C", "include_codes entry 'XC1C' has an unknown system prefix"),
    ("exclude_codes", "\u00e9C1", "exclude_codes entry '\u00e9C1' is not a valid signal code"),
], ids=["too-short", "blank", "too-long", "bad-kind", "bad-band", "bad-prefix", "multibyte-prefix"])
def test_code_filter_errors(obs, option, entry, message):
    with pytest.raises(ValueError) as err:
        mp.MultipathAnalyzer(obs, **{option: ["C1C", entry, "also-bad"]})
    assert str(err.value) == message


@pytest.mark.parametrize("option, value, error, name", [
    ("elevation_cutoff", "10", TypeError, "elevation_cutoff"),
    ("elevation_cutoff", None, TypeError, "elevation_cutoff"),
    ("systems", "G", TypeError, "systems"),
    ("systems", [1], TypeError, "systems"),
    ("bias_window_seconds", "1500", TypeError, "bias_window_seconds"),
    ("min_arc_seconds", None, TypeError, "min_arc_seconds"),
    ("include_codes", "C1C", TypeError, "include_codes"),
    ("max_epochs", 1.5, TypeError, "max_epochs"),
    ("detect_cycle_slips", 1, TypeError, "detect_cycle_slips"),
    ("detect_cycle_slips", None, TypeError, "detect_cycle_slips"),
    ("cp_delta_rate", object(), TypeError, "cp_delta_rate"),
    ("skip_slip_tests_after_holes", 0, TypeError, "skip_slip_tests_after_holes"),
    ("keep_estimates_without_position", 1, TypeError, "keep_estimates_without_position"),
], ids=lambda v: v if isinstance(v, str) else None)
def test_argument_type_errors(obs, option, value, error, name):
    with pytest.raises(error, match=f"argument '{name}'"):
        mp.MultipathAnalyzer(obs, **{option: value})


def test_negative_max_epochs_overflows(obs):
    with pytest.raises(OverflowError, match="out of range integral type conversion attempted"):
        mp.MultipathAnalyzer(obs, max_epochs=-1)


def test_obs_data_must_be_observation_data(obs):
    with pytest.raises(TypeError, match="argument 'obs_data'"):
        mp.MultipathAnalyzer("site.rnx")
    with pytest.raises(TypeError):
        mp.MultipathAnalyzer()


@pytest.mark.parametrize("flag, slips", [(True, 1), (False, 0), (np.bool_(True), 1), (np.bool_(False), 0)],
                         ids=["true", "false", "numpy-true", "numpy-false"])
def test_detect_cycle_slips_accepts_bool_and_numpy_bool(obs, flag, slips):
    assert mp.MultipathAnalyzer(obs, detect_cycle_slips=flag).analyze().total_cycle_slips() == slips


def test_float_options_accept_the_float_protocol(obs):
    plain = mp.MultipathAnalyzer(obs, elevation_cutoff=10.0, min_arc_seconds=300.0).analyze()
    converted = mp.MultipathAnalyzer(obs, elevation_cutoff=np.float32(10), min_arc_seconds=300,
                                     bias_window_seconds=np.int64(1500)).analyze()
    assert [e.mp_value for e in converted.estimates] == [e.mp_value for e in plain.estimates]
