"""quality() on input that lacks something: it gives the parts it can and says what is
missing; arguments it cannot use are errors."""
import gzip
import math
from datetime import timedelta

import pytest

import skyrift_mp as sk
from rinex_synth import epochs_of
from rinex_text import BASE, hline, v3_header, write_lines, write_rinex3
from lock_release import steps_while
from quality_scene import GPS, RECEIVER, TIMES, read_scene, scene_sp3, scene_tracks, signal

ELEVATION_FIELDS = ("expected", "expected_tracking", "present", "completeness", "completeness_tracking")


def assert_without_elevations(report):
    for row in report.to_dict()["signals"]:
        assert all(row[k] is None for k in ELEVATION_FIELDS)
    for sat in report.to_dict()["satellites"]:
        assert (sat["expected"], sat["first_above"], sat["passes"]) == (None, None, [])
    assert report.to_dict()["snr_bins"] == [] and not report.has_elevations
    assert all(s["expected"] is None and s["completeness"] is None for s in report.summary)


@pytest.mark.parametrize("orbit, receiver, reason", [
    (None, None, "no orbit was given"),
    ("other-day", RECEIVER, "SP3 orbit covers 2022-01-07T22:45:00 to 2022-01-08T02:30:00 GPS time, "
                            "observations 2022-01-01T00:00:00 to 2022-01-01T01:59:30; no overlap"),
    ("scene", sk.Ecef(0.0, 0.0, 0.0), "receiver (0.000, 0.000, 0.000) is 0.0 km from the Earth's centre"),
    ("scene", None, "the file has no APPROX POSITION XYZ and no receiver was given"),
    ("galileo-only", RECEIVER, "the orbit gives no position for any satellite of the file's systems"),
], ids=["no-orbit", "orbit-of-another-day", "receiver-at-the-centre", "no-receiver", "other-system"])
def test_what_needs_elevations_is_absent_and_said(tmp_path, orbit, receiver, reason):
    obs = read_scene(tmp_path, scene_tracks())
    sp3 = {"scene": lambda: scene_sp3(tmp_path), "other-day": lambda: scene_sp3(tmp_path, shift_days=7),
           "galileo-only": lambda: scene_sp3(tmp_path, satellites=("E01",)), None: lambda: None}[orbit]()
    report = sk.quality(obs, sp3, receiver)
    assert_without_elevations(report)
    text = next(m for m in report.missing if m.startswith("elevations:"))
    assert reason in text and "expected observations" in text
    # What needs no elevation is there, over every elevation.
    row = signal(report, "C1C")
    assert row["observed"] == 480 and row["slips"] == 0 and row["mp_rms"] > 0 and row["snr_mean"] > 0
    assert report.clock_jumps == [] and report.multipath.total_estimates() > 0
    assert report.multipath.estimates_without_position is None  # analysed without the orbit


def test_an_orbit_without_some_satellites_says_which(tmp_path):
    obs = read_scene(tmp_path, scene_tracks())
    report = sk.quality(obs, scene_sp3(tmp_path, satellites=("G01", "G03")), RECEIVER)
    assert report.has_elevations
    assert [m for m in report.missing if m.startswith("orbit:")] == [
        "orbit: no position for 240 of 480 observed satellite epochs, of G02 (240): "
        "they are not counted above the cutoff"]
    sats = {s["satellite"]: s for s in report.to_dict()["satellites"]}
    assert sats["G02"]["expected"] is None and sats["G02"]["epochs"] == 240
    assert signal(report, "C1C")["present"] == sats["G01"]["expected"]


def test_a_file_without_phases(tmp_path):
    obs = read_scene(tmp_path, scene_tracks(codes=["C1C", "C2W", "S1C"]), codes=["C1C", "C2W", "S1C"])
    report = sk.quality(obs, scene_sp3(tmp_path), RECEIVER)
    assert report.clock_jumps is None and report.multipath is None
    row = signal(report, "C1C")
    assert (row["slips"], row["obs_per_slip"], row["mp_rms"]) == (None, None, None)
    assert row["present"] > 0 and row["completeness"] > 0  # the rest is there
    assert any(m.startswith("phases: the file has no carrier phases") for m in report.missing)
    assert report.flags["G"]["mp1"] is None and report.flags["G"]["obs_per_slip"] is None


def test_slip_detection_switched_off(tmp_path):
    report = sk.quality(read_scene(tmp_path, scene_tracks()), detect_cycle_slips=False)
    assert signal(report, "C1C")["slips"] is None and report.to_dict()["slips"] == []
    assert "slips: cycle-slip detection was switched off (detect_cycle_slips=False)" in report.missing


def test_a_partial_read_reports_its_damage_and_the_epochs_before_it(tmp_path):
    whole = write_rinex3(tmp_path / "scene.rnx", epochs_of(scene_tracks()), {"G": GPS})
    packed = gzip.compress(whole.read_bytes())
    cut = tmp_path / "cut.rnx.gz"
    cut.write_bytes(packed[: len(packed) // 2])
    obs = sk.read_rinex_obs(str(cut), partial=True)
    report = sk.quality(obs, scene_sp3(tmp_path), RECEIVER)
    assert report.file["damage"] == obs.damage == "Failed to read RINEX: I/O error: unexpected end of file"
    assert f"file: the read stopped early: {obs.damage}" in report.missing
    n = obs.num_epochs
    assert 0 < n < len(TIMES)
    assert report.epochs["present"] == report.epochs["expected"] == n
    iso = lambda t: (BASE + timedelta(seconds=t)).strftime("%Y-%m-%dT%H:%M:%S.000Z")
    assert (report.file["first"], report.file["last"]) == (iso(TIMES[0]), iso(TIMES[n - 1]))
    assert report.file["span_seconds"] == TIMES[n - 1]
    assert sk.quality(sk.read_rinex_obs(str(whole))).file["damage"] is None


def test_a_file_without_epochs_is_a_value_error(tmp_path):
    obs = sk.read_rinex_obs(str(write_lines(tmp_path / "empty.rnx", v3_header())))
    with pytest.raises(ValueError, match="the observation file has no observation epochs"):
        sk.quality(obs)


def test_header_position_is_the_default_receiver(tmp_path):
    tracks = scene_tracks()
    path = write_rinex3(tmp_path / "p.rnx", epochs_of(tracks), {"G": ["C1C", "L1C", "C2W", "L2W", "S1C"]})
    text = path.read_text().replace(
        hline("", "END OF HEADER"), hline(f"{RECEIVER.x:14.4f}{0.0:14.4f}{0.0:14.4f}", "APPROX POSITION XYZ") + "\n" +
        hline("", "END OF HEADER"))
    path.write_text(text)
    with_header = sk.quality(sk.read_rinex_obs(str(path)), scene_sp3(tmp_path))
    given = sk.quality(read_scene(tmp_path, tracks, name="q.rnx"), scene_sp3(tmp_path), RECEIVER)
    assert with_header.to_dict()["signals"] == given.to_dict()["signals"]


def test_analysis_options_reach_the_multipath_analysis(tmp_path):
    obs = read_scene(tmp_path, scene_tracks())
    report = sk.quality(obs, include_codes=["C1C"], min_arc_seconds=600.0)
    assert [s.code for s in report.multipath.statistics] == ["C1C"]
    assert signal(report, "C2W")["mp_rms"] is None and signal(report, "C1C")["mp_rms"] > 0
    direct = sk.MultipathAnalyzer(obs, systems=["G"], include_codes=["C1C"], min_arc_seconds=600.0).analyze()
    assert report.multipath.statistics[0].rms == direct.statistics[0].rms


@pytest.mark.parametrize("kwargs, error, text", [
    ({"elevation_cutoff": 5.0}, TypeError, "quality() got an unexpected keyword argument 'elevation_cutoff'"),
    ({"orbit_file": "x"}, TypeError, "quality() got an unexpected keyword argument 'orbit_file'"),
    ({"include_codes": ["C1"]}, ValueError, "include_codes entry 'C1' must be a 3-char code"),
    ({"cutoff": 95.0}, ValueError, "cutoff must be an elevation between -90 and 90 degrees"),
    ({"cutoff": math.nan}, ValueError, "cutoff must be an elevation"),
    ({"gap_seconds": 0.0}, ValueError, "gap_seconds must be a positive number of seconds"),
    ({"cutoff": "10"}, TypeError, "argument 'cutoff'"),
    ({"thresholds": {"mp3": (1, 2)}}, ValueError, "thresholds: unknown name 'mp3'"),
    ({"thresholds": {"mp1": (0.8, 0.4)}}, ValueError, "'mp1' needs finite limits with fail at or above warn"),
    ({"thresholds": {"completeness": (90, 95)}}, ValueError, "fail at or below warn"),
    ({"thresholds": {"mp1": (0.4,)}}, ValueError, "'mp1' takes a (warn, fail) pair"),
    ({"thresholds": [("mp1", 1, 2)]}, TypeError, "argument 'thresholds': expected a dict"),
    ({"receiver": (1.0, 2.0, 3.0)}, TypeError, "argument 'receiver'"),
    ({"orbit": "brdc.rnx"}, TypeError, "argument 'orbit'"),
], ids=lambda v: str(v)[:40])
def test_bad_arguments(tmp_path, kwargs, error, text):
    obs = read_scene(tmp_path, scene_tracks())
    with pytest.raises(error, match=None) as raised:
        sk.quality(obs, **kwargs)
    assert text in str(raised.value)


def test_obs_must_be_observation_data():
    with pytest.raises(TypeError, match="argument 'obs'"):
        sk.quality("file.rnx")


def test_quality_lets_other_threads_run(tmp_path, switching_only_on_release):
    obs = read_scene(tmp_path, scene_tracks(times=[30.0 * i for i in range(1440)]))
    sp3 = scene_sp3(tmp_path)
    report = sk.quality(obs)
    steps = [steps_while(lambda: sk.quality(obs, sp3, RECEIVER), lambda: report.epochs) for _ in range(4)]
    assert any(steps), steps
