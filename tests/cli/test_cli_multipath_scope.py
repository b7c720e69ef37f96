"""What the multipath command and the batch print stays within what the user asked for
and what is known: slips of the analysed systems only, no placeholder elevations, and
the reason when a file or signal gives nothing."""
import csv
import json
from collections import Counter

import pytest
import skyrift_mp as sk
from cli_support import simulated  # noqa: F401 (fixture)
from rinex_synth import epochs_of, observations
from rinex_text import write_rinex3
from shared_data import data_file

from skyrift_cli.argtypes import CONSTELLATIONS, systems
from skyrift_cli.batch.task import TaskOptions, analyse_file
from skyrift_cli.batch.schema import FILES_COLUMNS
from skyrift_cli.main import main

def run(capsys, *argv):
    code = main([str(a) for a in argv])
    out, err = capsys.readouterr()
    return code, out, err


@pytest.mark.parametrize("text, letters", [("G,R,E,C", ["G", "R", "E", "C"]), ("gps, Galileo,c", ["G", "E", "C"]),
                                           ("E,e,GALILEO", ["E"]), ("navic,J,SBAS", ["I", "J", "S"])],
                         ids=["letters", "names", "duplicates", "others"])
def test_systems_by_letter_or_whole_name(text, letters):
    assert systems(text) == letters  # "Galileo" is Galileo, not GPS by its first letter


def test_system_names_are_the_modules():
    assert CONSTELLATIONS == {letter: sk.GnssSystem(letter).name for letter in CONSTELLATIONS}


def slip_summary(out):
    return [line for line in out.splitlines() if line.startswith(("Cycle slips", "Left out"))]


def test_slips_of_systems_not_analysed_are_left_out(simulated, capsys, tmp_path):
    code, out, _ = run(capsys, "multipath", simulated.files.obs, "--systems", "G", "--json", tmp_path / "mp.json",
                       "--plots", tmp_path / "figures")
    assert code == 0
    report = json.loads((tmp_path / "mp.json").read_text())
    library = sk.MultipathAnalyzer(sk.read_rinex_obs(str(simulated.files.obs)), systems=["G"]).analyze()
    by_system = Counter(s.system for s in library.cycle_slips)
    assert {"G", "R", "C"} <= set(by_system)  # the detector scans every system, by design
    gps = [s for s in library.cycle_slips if s.system == "G"]
    assert [(s["satellite"], s["epoch"], s["method"]) for s in report["cycle_slips"]] == [
        (s.satellite, s.epoch, s.method) for s in gps]
    assert report["cycle_slip_counts"] == {k: n for k, n in library.cycle_slip_counts.items() if k.startswith("GPS")}
    assert report["cycle_slips_left_out"] == {k: n for k, n in by_system.items() if k != "G"}
    events = {(s.satellite, s.epoch) for s in gps}
    others = ", ".join(sk.GnssSystem(k).name for k in "RECJSI" if k in by_system)
    assert slip_summary(out) == [
        f"Cycle slips of the analysed systems (GPS): {len(gps)} detections at {len(events)} satellite epochs",
        f"Left out: {len(library.cycle_slips) - len(gps)} detections on systems not analysed ({others})"]
    assert (tmp_path / "figures" / "cycle_slips.png").stat().st_size > 0


def test_esbc_slip_totals_hold_the_default_systems_only(capsys, tmp_path):
    obs = data_file("ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz")
    code, out, _ = run(capsys, "multipath", obs, "--json", tmp_path / "mp.json")
    assert code == 0
    report = json.loads((tmp_path / "mp.json").read_text())
    assert {s["satellite"][0] for s in report["cycle_slips"]} == {"G", "R", "E", "C"}
    assert {k[:3] for k in report["cycle_slip_counts"]} == {"GPS", "GLO", "GAL", "BDS"}
    left_out = report["cycle_slips_left_out"]
    assert set(left_out) <= {"J", "S"} and left_out["S"] > 8000  # SBAS filled the old total
    assert slip_summary(out)[0].startswith("Cycle slips of the analysed systems (GPS, GLONASS, Galileo, BeiDou): "
                                           f"{len(report['cycle_slips'])} detections")
    others = ", ".join(sk.GnssSystem(k).name for k in "JS" if k in left_out)
    assert slip_summary(out)[1] == f"Left out: {sum(left_out.values())} detections on systems not analysed ({others})"


def test_without_orbit_the_csv_leaves_the_angles_empty(simulated, capsys, tmp_path):
    code, _, _ = run(capsys, "multipath", simulated.files.obs, "--systems", "E", "--csv", tmp_path / "mp.csv")
    assert code == 0
    with open(tmp_path / "mp.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    assert rows and {(r["elevation_deg"], r["azimuth_deg"]) for r in rows} == {("", "")}
    assert all(r["snr_dbhz"] for r in rows)  # what is known is still written


@pytest.fixture
def short_file(tmp_path):
    """Nine epochs at 30 s of one GPS satellite, which also has a C5Q code without its phase."""
    codes = ["C1C", "L1C", "C2W", "L2W", "C5Q"]
    track = observations([30.0 * i for i in range(9)], "G", codes)
    return write_rinex3(tmp_path / "SHRT00XXX_R_20220010000_01D_30S_MO.rnx", epochs_of({"G01": track}), {"G": codes})


FILE_REASON = "the file spans 240 s, shorter than min_arc_seconds (300 s); arcs need 10 points; the file has 9 epochs"


def test_the_command_says_why_nothing_came_out(short_file, capsys, tmp_path):
    code, out, _ = run(capsys, "multipath", short_file, "--json", tmp_path / "mp.json")
    assert code == 0
    assert "no multipath estimates" in out and f"No estimates: {FILE_REASON}" in out.splitlines()
    assert "No estimates from GPSM5Q: no carrier phase" in out.splitlines()
    assert json.loads((tmp_path / "mp.json").read_text())["empty_reasons"] == {
        "GPSM5Q": "no carrier phase", "file": FILE_REASON}


def test_batch_rows_keep_the_reasons(short_file, simulated):
    assert "empty_reasons" in [name for name, _, _ in FILES_COLUMNS]
    row = analyse_file(str(short_file), TaskOptions()).file
    assert row["status"] == "ok" and row["estimates"] == 0
    assert row["empty_reasons"] == f"file: {FILE_REASON}; GPSM5Q: no carrier phase"
    assert analyse_file(str(simulated.files.obs), TaskOptions()).file["empty_reasons"] is None
