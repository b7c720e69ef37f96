"""An analysis that gives nothing, for a signal or the whole file, says why
(AnalysisResults.empty_reasons), and the fewest points of an arc is an option."""
import pytest

import skyrift_mp as mp
from rinex_synth import epochs_of, observations
from rinex_text import write_rinex3

GPS = ["C1C", "L1C", "C2W", "L2W"]


@pytest.fixture
def analyse(tmp_path):
    def run(tracks, types, **options):
        path = write_rinex3(tmp_path / "site.rnx", epochs_of(tracks), types)
        return mp.MultipathAnalyzer(mp.read_rinex_obs(str(path)), **options).analyze()
    return run


def gps(n, codes=GPS, seed=1):
    return observations([30.0 * i for i in range(n)], "G", codes, seed=seed)


CASES = [
    ("no-phase", {"G01": gps(20, ["C1C", "C2W", "L2W"])}, {},
     {"GPSM1C": "no carrier phase", "GPSM2W": "no second frequency"}),
    ("no-second-frequency", {"G01": gps(20, ["C1C", "L1C"])}, {}, {"GPSM1C": "no second frequency"}),
    ("span", {"G01": gps(10)}, {},
     {"file": "the file spans 270 s, shorter than min_arc_seconds (300 s)"}),
    ("points", {"G01": gps(9)}, {"min_arc_seconds": 0.0},
     {"file": "arcs need 10 points; the file has 9 epochs"}),
    ("points-and-a-pairing-gap", {"G01": gps(9), "G02": gps(9, ["C1C", "L1C"], seed=2)}, {"min_arc_seconds": 0.0},
     {"file": "arcs need 10 points; the file has 9 epochs", "GPSM1C": "no second frequency (G02)"}),
    ("points-and-span", {"G01": gps(2)}, {},
     {"file": "the file spans 30 s, shorter than min_arc_seconds (300 s); arcs need 10 points; "
              "the file has 2 epochs"}),
    ("decimated", {"G01": gps(40)}, {"max_epochs": 5, "min_arc_seconds": 0.0},
     {"file": "arcs need 10 points; max_epochs leaves 5 epochs"}),
    ("no-epochs", {}, {}, {"file": "the file has no epochs"}),
    ("system-not-in-file", {"G01": gps(20)}, {"systems": ["J", "E"]},
     {"file": "no satellite of the analysed systems (QZS, GAL)"}),
    ("no-known-system", {"G01": gps(20)}, {"systems": ["x"]}, {"file": "systems names no known constellation"}),
    ("filters", {"G01": gps(20)}, {"include_codes": ["C5Q"]},
     {"file": "include_codes and exclude_codes leave no pseudorange"}),
    ("placeholder-below-cutoff", {"G01": gps(20)}, {"elevation_cutoff": 50.0},
     {"file": "without an orbit every estimate has the placeholder elevation 45 deg, below "
              "elevation_cutoff (50 deg)"}),
    ("one-signal-of-two", {"G01": gps(20, GPS + ["C5Q"])}, {}, {"GPSM5Q": "no carrier phase"}),
    ("satellites-differ", {"G01": gps(20, ["C1C", "L1C"]), "G02": gps(20, ["C1C", "C2W", "L2W"], seed=2),
                           "G03": gps(5, seed=3)}, {},
     {"GPSM1C": "no carrier phase (G02); no second frequency (G01); no arc of 10 points and 300 s (G03)",
      "GPSM2W": "no second frequency (G02); no arc of 10 points and 300 s (G03)"}),
    ("no-common-epoch", {"G01": {t: ({"C1C": v["C1C"], "C2W": v["C2W"], "L2W": v["L2W"]} if t < 300
                                     else {"L1C": v["L1C"], "L2W": v["L2W"]}) for t, v in gps(20).items()}}, {},
     {"GPSM1C": "no epoch with the code and both phases", "GPSM2W": "no epoch with the code and both phases"}),
    ("some-satellites-give-estimates", {"G01": gps(20), "G02": gps(20, ["C1C", "L1C"], seed=2)}, {}, {}),
]


@pytest.mark.parametrize("tracks, options, reasons", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_empty_results_say_why(analyse, tracks, options, reasons):
    types = {"G": sorted({c for track in tracks.values() for obs in track.values() for c in obs}) or GPS}
    res = analyse(tracks, types, **options)
    assert res.empty_reasons == reasons
    if "file" in reasons:
        assert res.total_estimates() == 0


def test_a_signal_with_estimates_is_never_listed(analyse):
    res = analyse({"G01": gps(20), "G02": gps(20, ["C1C", "L1C"], seed=2)}, {"G": GPS})
    assert res.total_estimates() == 40 and res.empty_reasons == {}
    res.empty_reasons["file"] = "changed"  # a fresh dict on every read
    assert res.empty_reasons == {}


@pytest.mark.parametrize("min_points, points, kept", [(10, 10, True), (10, 9, False), (5, 5, True), (5, 4, False),
                                                      (1, 1, True)],
                         ids=["default-at-limit", "default-short", "five-at-limit", "five-short", "single-point"])
def test_min_arc_points(analyse, min_points, points, kept):
    res = analyse({"G01": gps(points)}, {"G": GPS}, min_arc_seconds=0.0, min_arc_points=min_points)
    assert res.total_estimates() == (2 * points if kept else 0)
    if not kept:
        assert res.empty_reasons == {"file": f"arcs need {min_points} points; the file has {points} epochs"}


def test_min_arc_points_names_itself_in_the_signal_reason(analyse):
    # Two satellites: the file is long enough, G02's track is not.
    res = analyse({"G01": gps(30), "G02": gps(8, seed=2)}, {"G": GPS}, min_arc_points=12, min_arc_seconds=0.0)
    assert res.empty_reasons == {}
    res = analyse({"G01": gps(11), "G02": gps(8, seed=2)}, {"G": GPS}, min_arc_points=12, min_arc_seconds=0.0)
    assert res.empty_reasons == {"file": "arcs need 12 points; the file has 11 epochs"}
    res = analyse({"G01": gps(30, ["C1C", "L1C"]), "G02": gps(8, seed=2)}, {"G": GPS}, min_arc_points=12)
    assert res.empty_reasons == {"GPSM1C": "no second frequency (G01); no arc of 12 points and 300 s (G02)",
                                 "GPSM2W": "no arc of 12 points and 300 s"}


@pytest.mark.parametrize("value, error, message", [
    (0, ValueError, "^min_arc_points must be at least 1, not 0$"),
    (-1, OverflowError, "out of range integral type conversion attempted"),
    (2.5, TypeError, "^argument 'min_arc_points': "),
    ("10", TypeError, "^argument 'min_arc_points': "),
], ids=["zero", "negative", "float", "text"])
def test_min_arc_points_must_be_a_positive_integer(analyse, tmp_path, value, error, message):
    obs = mp.read_rinex_obs(str(write_rinex3(tmp_path / "x.rnx", epochs_of({"G01": gps(3)}), {"G": GPS})))
    with pytest.raises(error, match=message):
        mp.MultipathAnalyzer(obs, min_arc_points=value)
    with pytest.raises(TypeError):  # keyword-only
        mp.MultipathAnalyzer(obs, 10.0, None, 1500.0, 300.0, 5.0, None, None, None, True, 0.1, 0.003, 5.0, 0.1,
                             False, None, None, 10)
