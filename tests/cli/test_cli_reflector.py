"""The rh command, the simulator's reflector height and the demo's recovered height."""
import csv
import json

import pytest
from cli_support import simulated  # noqa: F401 (fixture)
from shared_data import data_file

from skyrift_cli.main import main


def run(capsys, *argv):
    code = main([str(a) for a in argv])
    out, err = capsys.readouterr()
    return code, out, err


def test_rh_table_csv_and_plots(simulated, capsys, tmp_path):
    pytest.importorskip("matplotlib")
    f = simulated.files
    code, out, err = run(capsys, "rh", f.obs, "--sp3", f.sp3, "--signals", "S1C,S2W", "--csv",
                         tmp_path / "rh.csv", "--plots", tmp_path / "plots")
    assert code == 0 and err == ""
    table = {line.split()[0]: line.split() for line in out.splitlines() if line.startswith("S")}
    assert set(table) == {"S1C", "S2W"}
    with open(tmp_path / "rh.csv", newline="") as fh:
        rows = list(csv.DictReader(fh))
    accepted = [r for r in rows if r["status"] == "accepted"]
    assert len(accepted) == sum(int(t[1]) for t in table.values()) > 0
    assert len(rows) - len(accepted) == sum(int(t[2]) for t in table.values())
    assert all(abs(float(r["height"]) - simulated.truth["reflector_height_m"]) < 0.05 for r in accepted)
    assert all(r["time_gps"].startswith("20") and not r["time_gps"].endswith("Z") for r in rows)
    for name in ("rh_periodograms", "rh_time", "rh_azimuth", "rh_fresnel"):
        assert (tmp_path / "plots" / f"{name}.png").stat().st_size > 5000


@pytest.mark.parametrize("extra, message", [
    (["--azimuths", "10", "20", "30"], "--azimuths: give pairs FROM TO"),
    (["--signals", "L1C"], "not an SNR signal"),
    (["--heights", "3", "1"], "heights need"),
], ids=["odd-azimuths", "not-an-s-code", "heights-reversed"])
def test_rh_user_errors(simulated, capsys, extra, message):
    f = simulated.files
    code, _, err = run(capsys, "rh", f.obs, "--sp3", f.sp3, *extra)
    assert code == 1 and message in err


def test_rh_needs_an_orbit_it_can_read(simulated, capsys, tmp_path):
    f = simulated.files
    code, _, err = run(capsys, "rh", f.obs)
    assert code == 1 and "rh needs an orbit: --sp3 FILE, --nav FILE or both" in err
    nav = tmp_path / "brdc.rnx"
    nav.write_text("x")
    code, _, err = run(capsys, "rh", f.obs, "--nav", nav)
    assert code == 1 and "brdc.rnx: not a readable RINEX navigation file" in err


@pytest.mark.parametrize("orbits, sources", [
    (["--nav"], {"BDS broadcast", "GAL broadcast", "GLO broadcast", "GPS broadcast"}),
    (["--sp3", "--nav"], {"BDS broadcast", "GAL SP3", "GLO SP3 (broadcast: R06 R10)", "GPS SP3 (broadcast: G04)"}),
], ids=["broadcast", "precise-then-broadcast"])
def test_rh_on_a_station_day_with_broadcast_orbits(capsys, orbits, sources):
    """The SP3 file of the day has no BeiDou: the navigation file gives BeiDou arcs, and the
    summary says which orbit placed each system."""
    files = {"--sp3": data_file("GRG0MGXFIN_20201770000_01D_15M_ORB.SP3"),
             "--nav": data_file("ESBC00DNK_R_20201770000_01D_MN.rnx.gz")}
    argv = [x for o in orbits for x in (o, files[o])]
    code, out, err = run(capsys, "rh", data_file("ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"), *argv)
    assert code == 0 and err == ""
    table = {line.split()[0]: line.split() for line in out.splitlines() if line.startswith("S")}
    assert int(table["S2I"][1]) > 10  # BeiDou B1I arcs accepted
    line = next(x for x in out.splitlines() if x.startswith("Orbits: "))
    assert sources <= set(line.removeprefix("Orbits: ").split("; "))  # QZSS, SBAS: rejected arcs only


def test_simulator_keeps_the_reflector_height(capsys, tmp_path):
    code, out, _ = run(capsys, "simulate", tmp_path, "--hours", "1", "--reflector-height", "2.7")
    assert code == 0 and "reflector 2.7 m below the antenna" in out
    assert json.loads((tmp_path / "truth.json").read_text())["reflector_height_m"] == 2.7


def test_demo_shows_the_recovered_height(capsys, tmp_path):
    code, out, _ = run(capsys, "demo", "--hours", "4", "--seed", "3", "--no-plots", "--reflector-height", "1.1",
                       "--outdir", tmp_path / "demo")
    assert code == 0
    line = next(x for x in out.splitlines() if x.startswith("Reflector height:"))
    injected, recovered = (float(w) for w in line.replace(",", "").split() if w.replace(".", "").isdigit()
                           and "." in w)
    assert injected == 1.1 and abs(recovered - 1.1) < 0.02
