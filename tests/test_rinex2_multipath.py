"""RINEX 2 files give their P-code multipath: a code whose own phase the satellite never
has goes with the phase of its band with the smallest attribute (P1 and P2 become C1P
and C2P beside L1C and L2C), in the pair, the code-minus-phase slip test and the arc
cuts alike; and the RINEX 2.11 types of bands 6, 7 and 8 are read."""
import numpy as np
import pytest

import skyrift_mp as mp
from rinex_synth import epochs_of, expected_series, iso, observations
from rinex_text import v2_epoch, v2_header, v2_obs, obs_field, text, write_rinex2, write_rinex3
from shared_data import data_file

# An old dual-frequency receiver: C/A code, both phases and P2, as npaz3550.21o holds.
V2_TYPES = {"C1": "C1C", "L1": "L1C", "L2": "L2C", "P2": "C2P"}
TIMES = [30.0 * i for i in range(40)]


def v2_track(track):
    """{time: {RINEX 3 code: value}} as RINEX 2 types."""
    by_code = {code: v2 for v2, code in V2_TYPES.items()}
    return {t: {by_code[c]: v for c, v in obs.items()} for t, obs in track.items()}


@pytest.fixture
def c1_l1_l2_p2(tmp_path):
    def make(track):
        path = write_rinex2(tmp_path / "npaz.21o", epochs_of({"G05": v2_track(track)}), list(V2_TYPES))
        return mp.read_rinex_obs(str(path))
    return make


def series_of(res, signal):
    return [(e.epoch, e.mp_value) for e in res.estimates if e.signal == signal]


def assert_series(got, want):
    assert [t for t, _ in got] == [t for t, _ in want] and got
    np.testing.assert_allclose([v for _, v in got], [v for _, v in want], rtol=0, atol=1e-8)


def test_p2_of_an_old_receiver_pairs_with_the_l2_phase(c1_l1_l2_p2):
    track = observations(TIMES, "G", list(V2_TYPES.values()))
    res = mp.MultipathAnalyzer(c1_l1_l2_p2(track), bias_window_seconds=None).analyze()
    assert {s.signal for s in res.statistics} == {"GPSM1C", "GPSM2P"}  # the output follows the code
    assert_series(series_of(res, "C2P"), expected_series(track, "C2P", "L1C", "G", 150.0, phase="L2C"))
    assert_series(series_of(res, "C1C"), expected_series(track, "C1C", "L2C", "G", 150.0))
    assert res.empty_reasons == {}


def test_a_p2_code_step_is_a_slip_of_l2_that_cuts_both_series(c1_l1_l2_p2):
    # 9 m: above the code-minus-phase threshold at 30 s (8 m), below the raw jump limit (10 m).
    track = observations(TIMES, "G", list(V2_TYPES.values()))
    step = TIMES[20]
    for t in TIMES[20:]:
        track[t]["C2P"] += 9.0
    res = mp.MultipathAnalyzer(c1_l1_l2_p2(track), bias_window_seconds=None).analyze()
    slips = [(s.method, s.signal, s.epoch) for s in res.cycle_slips]
    assert slips == [("code_phase", "L2C", iso(step))]
    assert res.cycle_slip_counts == {"GPSL2C": 1}
    assert_series(series_of(res, "C2P"),
                  expected_series(track, "C2P", "L1C", "G", 150.0, slips=[step], phase="L2C"))
    assert_series(series_of(res, "C1C"), expected_series(track, "C1C", "L2C", "G", 150.0, slips=[step]))
    columns = res.to_numpy()
    starts = columns["arc_start"][columns["time"] == np.datetime64(iso(step).rstrip("Z"), "ms")]
    assert starts.tolist() == ["slip", "slip"]
    assert {s.signal: s.cycle_slips for s in res.statistics} == {"GPSM1C": 1, "GPSM2P": 1}


# code -> (same-signal phase, partner) for one satellite with these codes in every epoch
FALLBACK_CASES = [
    (["C1C", "C1P", "L1C", "C2P", "L2C"], {"C1C": ("L1C", "L2C"), "C1P": ("L1C", "L2C"), "C2P": ("L2C", "L1C")}),
    (["C1C", "C1W", "L1C", "L1X", "C2W", "L2W"],
     {"C1W": ("L1C", "L2W"), "C1C": ("L1C", "L2W"), "C2W": ("L2W", "L1C")}),
    (["C1X", "L1X", "L1Z", "C5Q", "L5X"], {"C1X": ("L1X", "L5X"), "C5Q": ("L5X", "L1X")}),
]


@pytest.mark.parametrize("codes, phases", FALLBACK_CASES, ids=["rinex2-p-codes", "smallest-attribute", "galileo"])
def test_a_code_without_its_own_phase_takes_the_smallest_attribute_of_its_band(tmp_path, codes, phases):
    system = "E" if "C5Q" in codes else "G"
    track = observations(TIMES, system, codes)
    obs = mp.read_rinex_obs(str(write_rinex3(tmp_path / "x.rnx", epochs_of({system + "11": track}),
                                             {system: codes})))
    res = mp.MultipathAnalyzer(obs, bias_window_seconds=None).analyze()
    for code, (phase, partner) in phases.items():
        want = expected_series(track, code, partner, system, 150.0, phase=phase)
        assert_series(series_of(res, code), want)


def test_a_phase_seen_in_any_epoch_stays_the_codes_own(tmp_path):
    # L1P in five epochs only: C1P keeps it (and forms no arc) instead of taking L1C.
    codes = ["C1C", "C1P", "L1C", "L1P", "C2W", "L2W"]
    track = observations(TIMES, "G", codes)
    for t in TIMES[5:]:
        del track[t]["L1P"]
    obs = mp.read_rinex_obs(str(write_rinex3(tmp_path / "x.rnx", epochs_of({"G11": track}), {"G": codes})))
    res = mp.MultipathAnalyzer(obs).analyze()
    assert series_of(res, "C1P") == [] and series_of(res, "C1C")
    assert res.empty_reasons == {"GPSM1P": "no arc of 10 points and 300 s"}


BAND_TYPES = ["C6", "L6", "D6", "S6", "C7", "L7", "D7", "S7", "C8", "L8", "D8", "S8"]


def test_rinex2_bands_6_7_8_are_read_as_combined_tracking():
    fields = [obs_field(1000.0 + k) for k in range(len(BAND_TYPES))]
    lines = v2_header(types=tuple(BAND_TYPES), system="M") + v2_epoch(["E11"]) + v2_obs(*fields)
    obs = mp.read_rinex_obs_bytes(text(lines), "site0010.21o")
    assert obs.observation_types("E") == sorted(t[0] + t[1] + "X" for t in BAND_TYPES)
    assert obs.to_numpy("S7X")["values"].tolist() == [[1007.0]]


def test_galileo_e5b_and_e5ab_multipath_of_a_rinex2_file():
    obs = mp.read_rinex_obs(str(data_file("slac1180.21o")))
    stats = {s.signal: s for s in mp.MultipathAnalyzer(obs).analyze().statistics}
    assert {"GALM7X", "GALM8X"} <= set(stats) and stats["GALM7X"].count > 1000


# gnssmultipath on delf0010.21o: GPS P1 and P2 estimates and their RMS (its own C1 count is also 1244).
DELF_PEER = {"C1P": (1244, 0.466), "C2P": (1244, 0.578)}


def test_delf_gives_p1_and_p2_multipath_beside_gnssmultipath():
    obs = mp.read_rinex_obs(str(data_file("delf0010.21o")))
    res = mp.MultipathAnalyzer(obs, elevation_cutoff=0.0, min_arc_seconds=0.0).analyze()
    gps = {s.code: s for s in res.statistics if s.system == "G"}
    assert set(gps) == {"C1C", "C1P", "C2P"}
    for code, (count, rms) in DELF_PEER.items():
        assert gps[code].count >= 0.9 * gps["C1C"].count
        assert gps[code].rms == pytest.approx(rms, rel=0.2)
        assert gps[code].count >= 0.95 * count
