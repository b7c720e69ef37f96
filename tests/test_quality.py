"""quality(): the definitions of the report on small files built here, where every figure
can be counted by hand: epochs, gaps and holes, passes and expected observations,
completeness both ways, slips and observations per slip, clock jumps, flags."""
import json
import math
import sys
from datetime import timedelta

import numpy as np
import pytest

import skyrift_mp as sk
from nav_text import TOC, Kepler, header as nav_header, kepler_values, record_v3
from quality_scene import GPS, RECEIVER, SPAN_END, TIMES, read_scene, scene_sp3, scene_tracks, signal, sk_epoch
from rinex_synth import C, epochs_of, frequency, observations
from rinex_text import BASE, v3_epoch_at, v3_header, v3_record, write_lines, write_rinex2

@pytest.fixture
def scene(tmp_path):
    return read_scene(tmp_path, scene_tracks()), scene_sp3(tmp_path)


# --- epochs, gaps and holes --------------------------------------------------------------

@pytest.mark.parametrize("times, interval, expected, present, gaps, holes", [
    (TIMES, None, 240, 240, [], 0),
    ([t for t in TIMES if t != 3000.0], None, 240, 239, [], 1),                     # one epoch missing: a hole
    ([t for t in TIMES if not 3000.0 <= t <= 3540.0], None, 240, 221, [], 1),       # 600 s: still a hole
    ([t for t in TIMES if not 3000.0 <= t <= 3570.0], None, 240, 220, [(2970.0, 3600.0)], 0),  # 630 s: a gap
    (TIMES[::2], 30.0, 239, 120, [], 119),           # the header says 30 s, every other epoch is missing
    (TIMES[::2], None, 120, 120, [], 0),             # no INTERVAL: the observed 60-s spacing is nominal
    (TIMES[::2], 0.0, 120, 120, [], 0),              # INTERVAL 0 is reported but not nominal
], ids=["complete", "hole", "long-hole", "gap", "header-interval", "observed-interval", "header-interval-zero"])
def test_expected_and_present_epochs_gaps_and_holes(tmp_path, times, interval, expected, present, gaps, holes):
    tracks = {"G01": observations(times, "G", ["C1C", "S1C"], seed=3)}
    lines = v3_header(types={"G": ["C1C", "S1C"]}, interval=interval)
    for t, sats in epochs_of(tracks):
        lines.append(v3_epoch_at(BASE + timedelta(seconds=t), len(sats)))
        lines += [v3_record(s, [obs.get(c) for c in ["C1C", "S1C"]]) for s, obs in sats.items()]
    report = sk.quality(sk.read_rinex_obs(str(write_lines(tmp_path / "e.rnx", lines))))
    epochs = report.epochs
    assert (epochs["expected"], epochs["present"], epochs["holes"]) == (expected, present, holes)
    assert epochs["completeness"] == pytest.approx(100.0 * present / expected)
    iso = lambda t: (BASE + timedelta(seconds=t)).strftime("%Y-%m-%dT%H:%M:%S.000Z")
    assert report.gaps == [(iso(a), iso(b)) for a, b in gaps]
    assert [g["seconds"] for g in epochs["gaps"]] == [b - a for a, b in gaps]
    facts = report.file
    assert (facts["header_interval"], facts["observed_interval"]) == (interval, times[1] - times[0])
    assert facts["interval"] == (interval or times[1] - times[0])


def test_gaps_to_pandas_has_start_and_end(tmp_path):
    pd = pytest.importorskip("pandas")
    times = [t for t in TIMES if not 3000.0 <= t <= 3600.0]
    report = sk.quality(read_scene(tmp_path, {"G01": observations(times, "G", GPS, seed=1)}))
    frame = report.gaps_to_pandas()
    assert list(frame.columns) == ["start", "end"]
    assert frame["end"][0] - frame["start"][0] == pd.Timedelta(seconds=660)


# --- passes, expected and present -------------------------------------------------------

def test_passes_expected_and_present_counted_by_hand(scene):
    obs, sp3 = scene
    report = sk.quality(obs, sp3, RECEIVER)
    # G01 is up from 1400 s to the end, G02 from the start to 5000 s, G03 all along.
    expected = {"G01": math.floor((SPAN_END - 1400.0) / 30) + 1,
                "G02": math.floor(5000.0 / 30) + 1,
                "G03": 240}
    sats = {s["satellite"]: s for s in report.to_dict()["satellites"]}
    assert {s: sats[s]["expected"] for s in expected} == expected
    assert sats["G01"]["passes"] == [("2022-01-01T00:23:20.000Z", "2022-01-01T01:59:30.000Z")]
    assert sats["G02"]["passes"] == [("2022-01-01T00:00:00.000Z", "2022-01-01T01:23:20.000Z")]
    assert (sats["G01"]["first_above"], sats["G02"]["last_above"]) == ("2022-01-01T00:23:30.000Z",
                                                                        "2022-01-01T01:23:00.000Z")
    assert sats["G03"]["epochs"] == 0 and sats["G03"]["first"] is None
    row = signal(report, "C1C")
    tracked = expected["G01"] + expected["G02"]
    assert (row["expected"], row["expected_tracking"], row["present"]) == (sum(expected.values()), tracked, tracked)
    assert row["completeness"] == pytest.approx(100.0 * tracked / sum(expected.values()))
    assert row["completeness_tracking"] == 100.0
    assert row["observed"] == 480


def test_completeness_both_ways_for_a_signal_one_satellite_lacks(tmp_path):
    tracks = scene_tracks()
    for obs in tracks["G02"].values():
        del obs["C2W"], obs["L2W"]
    report = sk.quality(read_scene(tmp_path, tracks), scene_sp3(tmp_path), RECEIVER)
    g01 = math.floor((SPAN_END - 1400.0) / 30) + 1
    row = signal(report, "C2W")
    assert (row["expected"], row["expected_tracking"], row["present"]) == (g01 + 167 + 240, g01, g01)
    assert row["completeness_tracking"] == 100.0
    assert row["mp_rms"] > 0.0  # from G01 alone
    pd = pytest.importorskip("pandas")
    frame = report.signals_to_pandas()
    assert list(frame.columns[:12]) == ["system", "code", "expected", "expected_tracking", "present", "completeness",
                                        "completeness_tracking", "slips", "obs_per_slip", "mp_rms", "mp_wrms",
                                        "snr_mean"]
    c2w = frame[(frame.system == "G") & (frame.code == "C2W")].iloc[0]
    assert c2w.expected_tracking == g01 and c2w.present == g01


def test_look_angles_of_observations_equal_calculate_azel(scene):
    obs, sp3 = scene
    report = sk.quality(obs, sp3, RECEIVER)
    snr = report.snr_to_numpy("S1C")
    assert len(snr["snr"]) == 480 and set(snr["code"]) == {"S1C"}
    for i in (0, 100, 300, 479):
        seconds = (snr["time"][i] - np.datetime64("2022-01-01T00:00:00")) / np.timedelta64(1, "s")
        az, el = sk.calculate_azel(RECEIVER, sp3.get_position(str(snr["satellite"][i]), sk_epoch(seconds)))
        assert (snr["elevation"][i], snr["azimuth"][i]) == (el, az)
    bins = report.to_dict()["snr_bins"]
    assert [b["code"] for b in bins] == ["S1C"]
    # Below the horizon (G01 before 400 s, G02 from 6000 s) is no bin.
    assert sum(bins[0]["count"]) == np.sum(snr["elevation"] >= 0.0) == 480 - 14 - 40
    assert bins[0]["count"][:2] == [np.sum((snr["elevation"] >= lo) & (snr["elevation"] < lo + 10)) for lo in (0, 10)]


# --- slips, observations per slip, clock jumps ------------------------------------------

def with_lli(tracks, sat, code, t):
    tracks[sat][t][code] = (tracks[sat][t][code], 1)


def test_slips_above_the_cutoff_and_observations_per_slip(tmp_path):
    tracks = scene_tracks()
    with_lli(tracks, "G01", "L1C", 600.0)    # G01 at 2 deg: below the cutoff
    with_lli(tracks, "G01", "L1C", 3000.0)   # above
    with_lli(tracks, "G02", "L1C", 1500.0)   # above
    report = sk.quality(read_scene(tmp_path, tracks), scene_sp3(tmp_path), RECEIVER)
    c1c, c2w = signal(report, "C1C"), signal(report, "C2W")
    assert c1c["slips"] == 2 and c1c["obs_per_slip"] == c1c["present"] / 2
    assert c2w["slips"] == 0 and c2w["obs_per_slip"] == c2w["present"]  # no slip: the count itself
    slips = report.to_dict()["slips"]
    assert [(s["satellite"], s["signal"], s["above"]) for s in slips if s["signal"] == "L1C"] == [
        ("G01", "L1C", False), ("G02", "L1C", True), ("G01", "L1C", True)]
    sats = {s["satellite"]: s["slips"] for s in report.to_dict()["satellites"]}
    assert (sats["G01"], sats["G02"], sats["G03"]) == (1, 1, 0)
    without_orbit = sk.quality(read_scene(tmp_path, tracks, name="again.rnx"))
    assert signal(without_orbit, "C1C")["slips"] == 3  # every elevation without an orbit


def test_a_satellite_the_orbit_never_positions_gives_no_slips_and_no_snr_above_the_cutoff(tmp_path):
    """G04 is observed but not in the orbit: with elevations its slips and SNR are unknown,
    neither counted as zero nor mixed over every elevation into the rows of the others."""
    codes = GPS + ["C5Q", "L5Q", "S5Q"]
    tracks = scene_tracks()
    with_lli(tracks, "G02", "L1C", 1500.0)
    alone = sk.quality(read_scene(tmp_path, tracks), scene_sp3(tmp_path), RECEIVER)
    tracks["G04"] = observations(TIMES, "G", codes, seed=4)
    for obs in tracks["G04"].values():
        obs["S1C"] = 20.0  # far from the others' SNR: a mix would show
    for t in (900.0, 2400.0):
        with_lli(tracks, "G04", "L1C", t)
        with_lli(tracks, "G04", "L5Q", t)
    report = sk.quality(read_scene(tmp_path, tracks, codes, name="g04.rnx"), scene_sp3(tmp_path), RECEIVER)
    c1c, c1c_alone, c5q = signal(report, "C1C"), signal(alone, "C1C"), signal(report, "C5Q")
    keys = ("slips", "obs_per_slip", "snr_mean", "present")
    assert [c1c[k] for k in keys] == [c1c_alone[k] for k in keys] and c1c["slips"] == 1
    assert (c5q["slips"], c5q["obs_per_slip"], c5q["snr_mean"]) == (None, None, None)
    sats = {s["satellite"]: s["slips"] for s in report.to_dict()["satellites"]}
    assert sats == {"G01": 0, "G02": 1, "G03": 0, "G04": None}
    assert any(m.startswith("orbit: no position for 240 of 720") and "G04 (240)" in m for m in report.missing)
    without_orbit = sk.quality(read_scene(tmp_path, tracks, codes, name="again.rnx"))
    assert [signal(without_orbit, c)["slips"] for c in ("C1C", "C5Q")] == [3, 2]  # every elevation, G04 too


def test_a_code_without_its_own_phase_counts_the_slips_of_the_phase_it_goes_with(tmp_path):
    """C1W has no L1W: like its multipath pair, it goes with L1C and counts L1C's slips."""
    codes = GPS + ["C1W"]
    tracks = scene_tracks(codes)
    with_lli(tracks, "G02", "L1C", 1500.0)
    report = sk.quality(read_scene(tmp_path, tracks, codes), scene_sp3(tmp_path), RECEIVER)
    c1c, c1w = signal(report, "C1C"), signal(report, "C1W")
    assert c1w["slips"] == c1c["slips"] == 1
    assert c1w["obs_per_slip"] == c1w["present"]


def jumped(tracks, at, ms, kind, only=None):
    for sat, track in tracks.items():
        if only and sat != only:
            continue
        for t, obs in track.items():
            if t < at:
                continue
            for code in obs:
                if code[0] == "C" and kind == "code":
                    obs[code] += ms * C * 1e-3
                if code[0] == "L" and kind == "phase":
                    obs[code] += ms * C * 1e-3 / (C / frequency("G", int(code[1])))


@pytest.mark.parametrize("ms, kind, only, found", [
    (1, "code", None, [1]),
    (2, "code", None, [2]),
    (1, "phase", None, [-1]),       # the phase jumps: code minus phase steps down
    (1, "code", "G01", []),         # one satellite alone is no receiver clock
], ids=["code-1ms", "code-2ms", "phase-1ms", "one-satellite"])
def test_clock_jumps(tmp_path, ms, kind, only, found):
    tracks = scene_tracks()
    jumped(tracks, 3000.0, ms, kind, only)
    report = sk.quality(read_scene(tmp_path, tracks), scene_sp3(tmp_path), RECEIVER)
    assert report.clock_jumps == [("2022-01-01T00:50:00.000Z", m) for m in found]
    slipped = {(s["satellite"], s["time"]) for s in report.to_dict()["slips"]}
    # The code-minus-phase test fires at the jump; a jump is not counted as a slip.
    assert bool(found) != any(t == "2022-01-01T00:50:00.000Z" for _, t in slipped)


RINEX2_NAMES = {"C1C": "C1", "C1W": "P1", "C2W": "P2", "L1C": "L1", "L2W": "L2"}


@pytest.mark.parametrize("types", [["P1", "P2", "L1", "L2"], ["C1", "P1", "P2", "L1", "L2"]],
                         ids=["p-codes-only", "c1-and-p-codes"])
def test_clock_jumps_in_rinex2_pair_p_codes_with_their_band_phase(tmp_path, types):
    """RINEX 2 reads P1, P2 as C1P, C2P and L1, L2 as L1C, L2C: the P codes go with them."""
    codes = [c for c, name in RINEX2_NAMES.items() if name in types]
    tracks = {sat: observations(TIMES, "G", codes, seed=k) for k, sat in enumerate(("G01", "G02", "G05"))}
    jumped(tracks, 3000.0, 1, "code")
    epochs = [(t, {sat: {RINEX2_NAMES[c]: v for c, v in obs.items()} for sat, obs in sats.items()})
              for t, sats in epochs_of(tracks)]
    report = sk.quality(sk.read_rinex_obs(str(write_rinex2(tmp_path / "jump.20o", epochs, types))))
    assert report.clock_jumps == [("2022-01-01T00:50:00.000Z", 1)]


# --- summary and flags ------------------------------------------------------------------

def test_summary_line_and_fields(scene):
    obs, sp3 = scene
    report = sk.quality(obs, sp3, RECEIVER)
    gps = report.summary[0]
    assert gps["system"] == "G" and gps["have_code"] == "C1C"
    assert (gps["mp1_code"], gps["mp2_code"]) == ("C1C", "C2W")
    assert gps["line"].split() == (["GPS", "2022-01-01", "00:00:00", "2022-01-01", "01:59:30", "2.00", "30",
                                    str(gps["expected"]), str(gps["present"]), f"{gps['completeness']:.1f}",
                                    f"{gps['mp1']:.2f}", f"{gps['mp2']:.2f}", f"{gps['obs_per_slip']:.0f}"])
    assert report.summary_lines[0].split() == ["sys", "first", "last", "hrs", "dt", "#expt", "#have", "%", "mp1",
                                               "mp2", "o/slps"]
    assert gps["line"] in str(report)


@pytest.mark.parametrize("name, offsets, verdict", [
    ("completeness", (0.0, -1.0), "pass"),     # at the warn limit: not below it
    ("completeness", (0.5, 0.0), "warn"),      # at the fail limit: below warn, not below fail
    ("completeness", (2.0, 1.0), "fail"),
    ("mp1", (0.0, 0.1), "pass"),               # at the warn limit: not above it
    ("mp1", (-0.01, 0.0), "warn"),
    ("mp1", (-0.02, -0.01), "fail"),
], ids=lambda v: str(v))
def test_flags_at_their_thresholds(scene, name, offsets, verdict):
    obs, sp3 = scene
    first = sk.quality(obs, sp3, RECEIVER).summary[0]
    value = first["completeness" if name == "completeness" else "mp1"]
    limits = (value + offsets[0], value + offsets[1])
    report = sk.quality(obs, sp3, RECEIVER, thresholds={name: limits})
    assert report.flags["G"][name] == verdict
    assert report.thresholds[name] == limits


def test_default_thresholds_and_flags_without_elevations(scene):
    obs, _ = scene
    report = sk.quality(obs)
    assert report.thresholds == {"completeness": (95.0, 90.0), "mp1": (0.4, 0.8), "mp2": (0.6, 1.2),
                                 "obs_per_slip": (500.0, 100.0)}
    assert report.flags["G"]["completeness"] is None  # no orbit, no completeness to judge


# --- the report as data -----------------------------------------------------------------

def test_json_is_the_dict_and_strict(scene):
    obs, sp3 = scene
    report = sk.quality(obs, sp3, RECEIVER)
    text = report.to_json()
    assert json.loads(text) == json.loads(json.dumps(report.to_dict()))
    data = json.loads(text)
    assert data["schema"] == "skyrift-mp/quality/1"
    assert set(data) == {"schema", "options", "file", "epochs", "summary_header", "summary", "signals", "snr_bins",
                         "satellites", "slips", "clock_jumps", "missing"}
    assert data["options"]["orbit"] == "precise" and data["options"]["receiver"] == [6378137.0, 0.0, 0.0]
    assert "NaN" not in text  # absent figures are null
    assert report.to_json(indent=2).startswith("{\n  ")


def test_getters_return_fresh_objects(scene):
    obs, sp3 = scene
    report = sk.quality(obs, sp3, RECEIVER)
    report.file["station"] = "changed"
    report.missing.append("changed")
    assert report.file["station"] != "changed" and "changed" not in report.missing
    assert report.multipath is not report.multipath
    assert report.multipath.total_estimates() > 0


def test_tables_and_their_missing_extra(scene, monkeypatch):
    obs, sp3 = scene
    report = sk.quality(obs, sp3, RECEIVER)
    monkeypatch.setitem(sys.modules, "pandas", None)
    with pytest.raises(ImportError, match=r"skyrift_mp\[pandas\]"):
        report.signals_to_pandas()
    monkeypatch.undo()
    pytest.importorskip("pandas")
    sats = report.satellites_to_pandas()
    assert list(sats.satellite) == ["G01", "G02", "G03"] and sats.expected.tolist()[2] == 240
    runs = report.availability_to_pandas()
    assert list(runs.satellite) == ["G01", "G02"]  # one unbroken run each
    assert list(report.passes_to_pandas().satellite) == ["G01", "G02", "G03"]
    assert list(report.snr_bins_to_pandas().columns) == ["system", "code", "elevation_min", "elevation_max", "count",
                                                         "snr_mean"]
    timed = [sats, runs, report.passes_to_pandas(), report.slips_to_pandas(), report.gaps_to_pandas()]
    assert [f.attrs for f in timed] == [{"time_scale": "GPS"}] * 5  # their datetime64 columns are GPS time
    assert report.signals_to_pandas().attrs == report.snr_bins_to_pandas().attrs == {}


def test_health_leaves_a_satellite_out_of_the_expected_counts(tmp_path):
    # One GPS satellite whose ephemeris is valid 02:00-06:00, seen from right below it at toe.
    healthy = sk.read_rinex_nav(str(write_lines(tmp_path / "ok.rnx", nav_header() + record_v3(
        "G05", TOC, kepler_values(Kepler())))))
    toc = sk.Epoch(*TOC[:5], float(TOC[5]))
    p = healthy.get_position("G05", toc)
    scale = 6378137.0 / math.sqrt(p.x ** 2 + p.y ** 2 + p.z ** 2)
    receiver = sk.Ecef(p.x * scale, p.y * scale, p.z * scale)
    times = [30.0 * i for i in range(-60, 61)]
    tracks = {"G05": observations(times, "G", ["C1C", "S1C"], seed=5)}
    lines = v3_header(types={"G": ["C1C", "S1C"]})
    base = BASE.replace(year=2020, month=6, day=25, hour=TOC[3])
    for t, sats in epochs_of(tracks):
        lines.append(v3_epoch_at(base + timedelta(seconds=t), 1))
        lines.append(v3_record("G05", [sats["G05"].get(c) for c in ["C1C", "S1C"]]))
    obs = sk.read_rinex_obs(str(write_lines(tmp_path / "h.rnx", lines)))
    assert signal(sk.quality(obs, healthy, receiver), "C1C")["expected"] == 121
    sick = sk.read_rinex_nav(str(write_lines(tmp_path / "sick.rnx", nav_header() + record_v3(
        "G05", TOC, kepler_values(Kepler(), health=1.0)))))
    row = signal(sk.quality(obs, sick, receiver), "C1C")
    assert (row["expected"], row["present"], row["completeness"]) == (0, 0, None)
