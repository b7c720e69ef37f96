"""Each subcommand once on simulated data, real files where present, and the user errors."""
import csv
import json
import sys

import pytest
import skyrift_mp as sk
from cli_support import SHORT, ref, simulated  # noqa: F401 (fixture)
from shared_data import data_file

from skyrift_cli.commands import info
from skyrift_cli.exit_codes import ExitCode
from skyrift_cli.main import main


def read_csv(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


def run(capsys, *argv):
    code = main([str(a) for a in argv])
    out, err = capsys.readouterr()
    return code, out, err


def test_info_on_simulated_file(simulated, capsys):
    code, out, err = run(capsys, "info", simulated.files.obs)
    assert code == 0 and err == ""
    ref("info_simulated.txt", out)


def test_info_on_real_rinex3_file(capsys):
    path = data_file("ACOR00ESP_R_20213550000_01D_30S_MO.rnx")
    code, out, _ = run(capsys, "info", path)
    assert code == 0
    assert "RINEX:        3.04" in out and "Epochs:       25" in out
    assert "Satellites:   38 (G 10, R 6, E 8, C 14)" in out
    assert "  C BeiDou:  C2I C6I C7I L2I L6I L7I S2I S6I S7I" in out


@pytest.mark.parametrize("packing", ["compact", "compact-in-compress", "compress"])
def test_info_takes_archive_files_directly(capsys, tmp_path, packing):
    import shutil
    import subprocess

    plain = data_file("ACOR00ESP_R_20213550000_01D_30S_MO.rnx")
    source = data_file("ACOR00ESP_R_20213550000_01D_30S_MO.crx") if packing.startswith("compact") else plain
    path = tmp_path / "acor.obs"
    if packing.endswith("compress"):
        if shutil.which("compress") is None:
            pytest.skip("the compress tool (Debian ncompress, installed by make) is absent")
        path.write_bytes(subprocess.run(["compress", "-c"], input=source.read_bytes(), capture_output=True,
                                        check=True).stdout)
    else:
        path.write_bytes(source.read_bytes())
    code, out, err = run(capsys, "info", path)
    assert code == 0 and err == ""
    _, expected, _ = run(capsys, "info", plain)
    assert out.split("\n", 1)[1] == expected.split("\n", 1)[1]  # all but the "File:" line


@pytest.mark.parametrize("name", ["obs.rnx.gz", "obs.GZ", "obs.tgz", "obsgz"])
def test_info_takes_what_the_reader_takes(simulated, capsys, tmp_path, name):
    """Gzip input by any name: the command decodes nothing itself, so it reads exactly what
    the module's reader reads and otherwise fails with the reader's own reason."""
    import gzip

    path = tmp_path / name
    path.write_bytes(gzip.compress(simulated.files.obs.read_bytes()))
    try:
        sk.read_rinex_obs(str(path))
        reason = None
    except OSError as exc:
        reason = str(exc)
    code, out, err = run(capsys, "info", path)
    if reason is None:
        assert code == 0 and f"Epochs:       {simulated.sim.times.size}" in out
    else:
        assert code == 1 and f"{name}: not a RINEX observation file, or a damaged one ({reason})" in err


def _table(out: str) -> dict[str, list[str]]:
    lines = out.splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith("signal"))
    rows = {}
    for line in lines[start + 1:]:
        if not line.strip():
            break
        cells = line.split()
        rows[cells[0]] = cells[1:]
    return rows


def test_multipath_with_orbit_writes_table_csv_and_json(simulated, capsys, tmp_path):
    code, out, err = run(capsys, "multipath", simulated.files.obs, "--sp3", simulated.files.sp3,
                         "--cutoff", "15", "--csv", tmp_path / "mp.csv",
                         "--json", tmp_path / "mp.json")
    assert code == 0 and err == ""
    table = _table(out)
    data = json.loads((tmp_path / "mp.json").read_text())
    rows = read_csv(tmp_path / "mp.csv")
    assert data["elevation_cutoff_deg"] == 15.0 and data["elevations"]["failed"] == 0
    stats = {s["signal"]: s for s in data["statistics"]}
    assert set(stats) == set(table) == set(simulated.truth["mp_rms_m"])
    for key, s in stats.items():  # printed, JSON and CSV agree
        assert table[key] == [str(s["count"]), f"{s['rms']:.4f}", f"{s['weighted_rms']:.4f}",
                              str(s["cycle_slips"])]
        values = [float(r["mp_m"]) for r in rows if r["signal"] == key]
        assert len(values) == s["count"]
        rms = (sum(v * v for v in values) / len(values)) ** 0.5
        assert rms == pytest.approx(s["rms"], abs=1e-4)
    assert min(float(r["elevation_deg"]) for r in rows) >= 15.0
    assert data["time_scale"] == "GPS" and not any(r["epoch_gps"].endswith("Z") for r in rows)
    assert {(s["satellite"], s["epoch"]) for s in data["cycle_slips"]} >= {
        (s["satellite"], s["epoch"]) for s in simulated.truth["slips"]}


def test_multipath_statistics_match_the_analyzer_when_nothing_is_cut(simulated, capsys, tmp_path):
    """The JSON statistics are the analyzer's own."""
    code, out, _ = run(capsys, "multipath", simulated.files.obs, "--systems", "G,E",
                       "--json", tmp_path / "mp.json")
    assert code == 0 and "no --sp3 or --nav given" in out
    ours = {s["signal"]: s for s in json.loads((tmp_path / "mp.json").read_text())["statistics"]}
    obs = sk.read_rinex_obs(str(simulated.files.obs))
    theirs = sk.MultipathAnalyzer(obs, systems=["G", "E"]).analyze().statistics
    assert set(ours) == {s.signal for s in theirs} == {"GPSM1C", "GPSM2W", "GALM1C", "GALM5Q"}
    for s in theirs:
        mine = ours[s.signal]
        assert (mine["count"], mine["cycle_slips"]) == (s.count, s.cycle_slips)
        for field in ("rms", "mean", "std_dev", "weighted_rms"):
            assert mine[field] == pytest.approx(getattr(s, field), rel=1e-9, abs=1e-12), field


def test_weighted_rms_matches_the_analyzer_with_real_elevations(simulated):
    """With the orbit and cutoff 0, the statistics equal analyze() + compute_elevations()."""
    from skyrift_cli.analysis.multipath import run_multipath

    ours = {s.signal: s for s in run_multipath(simulated.files.obs, simulated.files.sp3,
                                                cutoff=0.0).statistics}
    results = sk.MultipathAnalyzer(sk.read_rinex_obs(str(simulated.files.obs)),
                                   elevation_cutoff=0.0).analyze()
    results.compute_elevations(sk.read_sp3(str(simulated.files.sp3)),
                               sk.Ecef(*simulated.sim.receiver))
    for s in results.statistics:
        assert s.weighted_rms > s.rms  # low satellites weigh more, and carry more multipath
        assert ours[s.signal].weighted_rms == pytest.approx(s.weighted_rms, rel=1e-9)


def test_satellites_the_orbit_lacks_are_named_and_counted(capsys, tmp_path):
    obs = data_file("OPEC00NOR_S_20220010000_01D_30S_MO_3.04_croped.rnx")
    sp3 = data_file("Testfile_20220101.eph")
    code, out, _ = run(capsys, "multipath", obs, "--sp3", sp3, "--systems", "C", "--cutoff", "0",
                       "--json", tmp_path / "mp.json")
    assert code == 0
    missing = sorted({s.id for s in sk.read_rinex_obs(str(obs)).satellites() if s.id[0] == "C"}
                     - set(sk.read_sp3(str(sp3)).satellites()))
    assert missing and f"No orbit for: {' '.join(missing)}" in out
    report = json.loads((tmp_path / "mp.json").read_text())
    unplaced = report["elevations"]["failed"]
    assert unplaced > 0 and f"BeiDou: {unplaced:,} estimates without orbit position, left out" in out.splitlines()
    assert report["estimates_without_position"] == {"BDS": unplaced}
    # They are left out of the statistics: the counts sum to those with a position.
    assert sum(s["count"] for s in report["statistics"]) == report["elevations"]["computed"]


def test_multipath_on_real_file_with_same_day_orbit(capsys, tmp_path):
    obs = data_file("OPEC00NOR_S_20220010000_01D_30S_MO_3.04_croped.rnx")
    sp3 = data_file("Testfile_20220101.eph")
    code, out, _ = run(capsys, "multipath", obs, "--sp3", sp3, "--csv", tmp_path / "mp.csv")
    assert code == 0
    table = _table(out)
    assert {"GPSM1C", "GPSM2W", "GALM1X", "GLOM1C", "BDSM2X"} <= set(table)
    rows = read_csv(tmp_path / "mp.csv")
    assert len(rows) == sum(int(r[0]) for r in table.values())
    assert all(float(r["elevation_deg"]) >= 10.0 for r in rows)
    assert all(0.1 < float(r[1]) < 1.5 for r in table.values())  # RMS in metres, sane size


def test_multipath_with_precise_and_broadcast_orbits(capsys, tmp_path):
    """The station day's SP3 file has no BeiDou and no G04: the navigation file places those,
    and the summary and JSON say which orbit served each system."""
    obs = data_file("ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz")
    nav = data_file("ESBC00DNK_R_20201770000_01D_MN.rnx.gz")
    sp3 = data_file("GRG0MGXFIN_20201770000_01D_15M_ORB.SP3")
    code, out, _ = run(capsys, "multipath", obs, "--sp3", sp3, "--nav", nav, "--cutoff", "15",
                       "--json", tmp_path / "mp.json")
    assert code == 0
    assert f"elevations from {sp3.name} and {nav.name}, cutoff 15 deg" in out
    assert "Orbits: BDS broadcast; GAL SP3; GPS SP3 (broadcast: G04); GLO SP3" in out.splitlines()
    assert {"BDSM2I", "BDSM6I", "BDSM7I"} <= set(_table(out))
    report = json.loads((tmp_path / "mp.json").read_text())
    sources = report["orbit_sources"]
    assert sources["GPS"]["broadcast"] == ["G04"] and sources["BDS"]["sp3"] == []
    # The numbers are the analyzer's own, with both orbits and the cutoff applied by it.
    theirs = sk.MultipathAnalyzer(sk.read_rinex_obs(str(obs)), elevation_cutoff=15.0,
                                  orbit=(sk.read_sp3(str(sp3)), sk.read_rinex_nav(str(nav)))).analyze()
    assert report["elevations"] == {"computed": theirs.total_estimates(), "failed": 0}
    assert ({s["signal"]: (s["count"], s["weighted_rms"]) for s in report["statistics"]} ==
            {s.signal: (s.count, s.weighted_rms) for s in theirs.statistics})


OTHER_DAY_ORBITS = {  # the ESBC day's orbits (2020-06-25): another day than the simulation's
    "--sp3": ("GRG0MGXFIN_20201770000_01D_15M_ORB.SP3", "2020-06-24 23:45 to 2020-06-26 00:00"),
    "--nav": ("ESBC00DNK_R_20201770000_01D_MN.rnx.gz", "2020-06-24 15:50 to 2020-06-26 03:40"),
}


@pytest.mark.parametrize("command", ["multipath", "rh"])
@pytest.mark.parametrize("option", ["--sp3", "--nav"])
def test_an_orbit_file_of_another_day_is_refused(simulated, capsys, command, option):
    """One rule for both kinds of orbit file: it must give positions somewhere in the
    observation span (SP3 records widened by a record spacing, ephemerides by their validity)."""
    name, span = OTHER_DAY_ORBITS[option]
    code, _, err = run(capsys, command, simulated.files.obs, option, data_file(name))
    assert code == 1
    assert f"{name} covers {span}, but the observations run 2024-03-05 00:00 to 2024-03-05 01:59" in err


@pytest.mark.parametrize("command", ["multipath", "rh"])
@pytest.mark.parametrize("offset_m, noted", [(900.0, False), (25_000.0, True)], ids=["900m", "25km"])
def test_a_receiver_far_from_the_header_position_is_noted(simulated, capsys, command, offset_m, noted):
    header = sk.read_rinex_obs(str(simulated.files.obs)).approx_position
    receiver = (header.x + offset_m, header.y, header.z)
    code, out, _ = run(capsys, command, simulated.files.obs, "--sp3", simulated.files.sp3,
                       "--receiver", *receiver)
    assert code == 0
    note = f"Note: --receiver lies {offset_m / 1000:.1f} km from the header's APPROX POSITION XYZ"
    assert (note in out) == noted


def test_a_receiver_off_the_earth_is_refused(simulated, capsys):
    code, _, err = run(capsys, "multipath", simulated.files.obs, "--sp3", simulated.files.sp3,
                       "--receiver", "0", "0", "0")
    assert code == 1 and "receiver (0.000, 0.000, 0.000) is 0.0 km from the Earth's centre" in err


def test_snr_survey_json_and_satellite_filter(simulated, capsys, tmp_path):
    code, out, err = run(capsys, "snr", simulated.files.obs, "--satellites", "G06,E04", "R19",
                         "--json", tmp_path / "snr.json")
    assert code == 0 and err == ""
    data = json.loads((tmp_path / "snr.json").read_text())
    assert list(data["residuals"]) == ["E04", "G06", "R19"]
    assert data["bands"] == [[60, 120], [120, 300], [300, 900], [900, 1800]]
    assert [r["code"] for r in data["residuals"].values()] == ["S1C", "S1C", "S1C"]
    for sat in ("E04", "G06", "R19"):
        assert f"\n{sat}  S1C" in out
    assert "Strongest band:" in out


def test_simulate_writes_the_three_files(capsys, tmp_path):
    code, out, _ = run(capsys, "simulate", tmp_path, "--seed", "3", "--hours", "2")
    assert code == 0
    names = sorted(p.name for p in tmp_path.iterdir())
    assert names == ["SIMU00NOR_S_20240650000_02H_30S_MO.rnx",
                     "SKY0SIMFIN_20240650000_01D_15M_ORB.SP3", "truth.json"]
    truth = json.loads((tmp_path / "truth.json").read_text())
    assert truth["seed"] == 3 and truth["hours"] == 2.0 and truth["interval_s"] == 30.0
    assert f"{len(truth['slips'])} cycle slips" in out


def test_demo_compares_found_with_injected(capsys, tmp_path):
    code, out, err = run(capsys, "demo", "--hours", "2", "--seed", "3", "--no-plots",
                         "--outdir", tmp_path / "demo")
    assert code == 0 and err == ""
    assert "injected RMS [m]" in out and "(as injected)" in out
    assert not (tmp_path / "demo").exists()


def _not_rinex(tmp_path):
    (tmp_path / "notes.txt").write_text("just some notes\nnothing more\n")
    return ["info", tmp_path / "notes.txt"]


def _damaged_gzip(tmp_path, simulated):
    """Cut inside the header: no epoch to keep (a file cut later is read up to the cut)."""
    import gzip

    packed = gzip.compress(simulated.files.obs.read_bytes())
    (tmp_path / "obs.rnx.gz").write_bytes(packed[:300])
    return ["info", tmp_path / "obs.rnx.gz"]


def _binary(tmp_path):
    (tmp_path / "x.rnx").write_bytes(bytes(range(256)) * 4)
    return ["info", tmp_path / "x.rnx"]


NO_SNR = """\
     3.04           OBSERVATION DATA    G                   RINEX VERSION / TYPE
G    2 C1C L1C                                              SYS / # / OBS TYPES
                                                            END OF HEADER
> 2024 03 05 00 00  0.0000000  0  1
G01  20000000.000   105000000.000
"""


NAV_HEADER = f"{'3.04':>9}{'':11}{'N: GNSS NAV DATA':<20}{'M: MIXED':<20}RINEX VERSION / TYPE\n"


def _write(tmp_path, name, text):
    (tmp_path / name).write_text(text)
    return tmp_path / name


def _orbit_dated_month_13(tmp_path, simulated):
    text = ("#cP2024 13  5  0  0  0.00000000       1 ORBIT IGS14 HLM  IGS\n"
            "*  2024 13  5  0  0  0.00000000\n"
            "PG01  15723.893822  13559.407491 -17019.157423    703.741346\nEOF\n")
    return ["multipath", simulated.files.obs, "--sp3", _write(tmp_path, "odd.sp3", text)]


def _other_day_orbit(tmp_path, simulated):
    import dataclasses
    import datetime as dt

    from skyrift_cli.simulator.simulate import simulate, write_simulation

    later = write_simulation(simulate(dataclasses.replace(SHORT, start=dt.datetime(2024, 3, 9))),
                             tmp_path / "later")
    return ["multipath", simulated.files.obs, "--sp3", later.sp3]


ERRORS = [
    ("missing-file", lambda tmp, sim: ["info", tmp / "missing.rnx"], "missing.rnx: no such file"),
    ("directory", lambda tmp, sim: ["snr", tmp], "not a regular file"),
    ("not-rinex", lambda tmp, sim: _not_rinex(tmp), "notes.txt: not a RINEX observation file"),
    ("binary", lambda tmp, sim: _binary(tmp), "x.rnx: not a RINEX observation file"),
    ("damaged-gzip", lambda tmp, sim: _damaged_gzip(tmp, sim),
     "obs.rnx.gz: not a RINEX observation file, or a damaged one (Failed to read RINEX: "),
    ("orbit-of-another-day", _other_day_orbit,  # records 22:00 to 04:00, positions 900 s beyond
     "covers 2024-03-08 21:45 to 2024-03-09 04:15, but the observations run 2024-03-05 00:00"),
    ("orbit-with-impossible-date", _orbit_dated_month_13,
     "odd.sp3: orbit records dated outside the calendar (2024-13-05 00:00 to 2024-13-05 00:00)"),
    ("sp3-not-sp3", lambda tmp, sim: ["multipath", sim.files.obs, "--sp3", sim.files.truth],
     "truth.json: not a readable SP3 file (Failed to read SP3: not an SP3 file: the first line is not an SP3 header)"),
    ("navigation-file", lambda tmp, sim: ["info", _write(tmp, "brdc.rnx", NAV_HEADER)],
     "brdc.rnx: a RINEX file of type 'N: GNSS NAV DATA', not observation data"),
    ("no-snr-observations", lambda tmp, sim: ["snr", _write(tmp, "cl.rnx", NO_SNR)],
     "cl.rnx: no SNR (S) observations"),
    ("receiver-without-orbit", lambda tmp, sim: ["multipath", sim.files.obs, "--receiver",
                                                 "1", "2", "3"], "--receiver needs --sp3"),
    ("nav-not-navigation", lambda tmp, sim: ["multipath", sim.files.obs, "--nav", sim.files.sp3],
     "not a readable RINEX navigation file (Failed to read RINEX navigation: Navigation file error: "),
    ("nav-without-ephemerides", lambda tmp, sim: ["multipath", sim.files.obs, "--nav", _write(
        tmp, "brdc.rnx", NAV_HEADER + f"{'END OF HEADER':>73}\n")], "brdc.rnx: no usable ephemerides"),
    ("cutoff-without-orbit", lambda tmp, sim: ["multipath", sim.files.obs, "--cutoff", "20"],
     "--cutoff needs --sp3"),
    ("bad-satellite", lambda tmp, sim: ["snr", sim.files.obs, "--satellites", "X1"],
     "Invalid satellite id 'X1'"),
    ("unwritable-json", lambda tmp, sim: ["multipath", sim.files.obs, "--json",
                                          tmp / "no" / "such" / "dir.json"], "dir.json"),
]


@pytest.mark.parametrize("make_args, message", [e[1:] for e in ERRORS], ids=[e[0] for e in ERRORS])
def test_user_errors_give_one_line_and_nonzero_exit(simulated, tmp_path, capsys, make_args,
                                                    message):
    args = make_args(tmp_path, simulated)
    code, _, err = run(capsys, *args)
    assert code == 1
    assert err.count("\n") == 1 and err.startswith("skyrift-mp: error: ")
    assert message in err


@pytest.mark.parametrize("argv, message", [
    (["multipath", "{obs}", "--systems", "G,X"], "argument --systems: unknown system 'X'"),
    (["multipath", "{obs}", "--systems", " , "], "argument --systems: names no system"),
    (["multipath", "{obs}", "--sp3", "{sp3}", "--cutoff", "95"],
     "argument --cutoff: must be at least -90 and below 90 degrees (90 or more leaves no estimate): '95'"),
    (["multipath", "{obs}", "--sp3", "{sp3}", "--cutoff", "90"], "argument --cutoff: must be at least -90"),
    (["multipath", "{obs}", "--sp3", "{sp3}", "--cutoff", "-90.5"], "argument --cutoff: must be at least -90"),
    (["multipath", "{obs}", "--sp3", "{sp3}", "--cutoff", "nan"], "argument --cutoff: must be at least -90"),
    (["batch", "{obs}", "--out", "{tmp}", "--cutoff", "95"], "argument --cutoff: must be at least -90"),
], ids=["unknown-system", "no-system", "cutoff-95", "cutoff-90", "cutoff-below-minus-90", "cutoff-nan",
        "batch-cutoff-95"])
def test_settings_that_cannot_be_meant_are_usage_errors(simulated, capsys, tmp_path, argv, message):
    argv = [a.format(obs=simulated.files.obs, sp3=simulated.files.sp3, tmp=tmp_path) for a in argv]
    with pytest.raises(SystemExit) as stop:
        main(argv)
    assert stop.value.code == ExitCode.USAGE
    assert message in capsys.readouterr().err
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("package, command, message", [
    ("matplotlib", ["multipath", "{obs}", "--plots", "{tmp}"],
     "plotting needs the Python package matplotlib: pip install matplotlib"),
    ("numpy", ["info", "{obs}"], "skyrift-mp needs the Python package numpy: pip install numpy"),
], ids=["plots-without-matplotlib", "without-numpy"])
def test_missing_packages_are_named_with_what_to_install(simulated, capsys, tmp_path, monkeypatch,
                                                          package, command, message):
    monkeypatch.setitem(sys.modules, package, None)  # makes the import fail
    argv = [a.format(obs=simulated.files.obs, tmp=tmp_path) for a in command]
    code, out, err = run(capsys, *argv)
    assert code == 1 and out == ""
    assert message in err
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("raised, status, message", [
    (KeyboardInterrupt, ExitCode.INTERRUPTED, ""),
    (ZeroDivisionError("division by zero"), ExitCode.FAILED,
     "skyrift-mp: error: internal error (ZeroDivisionError: division by zero); rerun with --debug"),
], ids=["interrupted", "fault-of-ours"])
def test_exit_status_of_a_command_that_stops(monkeypatch, capsys, raised, status, message):
    def stops(args):
        raise raised

    monkeypatch.setattr(info, "run", stops)
    code, out, err = run(capsys, "info", "any.rnx")
    assert (code, out) == (status, "") and err.startswith(message)


def test_debug_lets_the_traceback_through(monkeypatch):
    def fails(args):
        raise ZeroDivisionError("division by zero")

    monkeypatch.setattr(info, "run", fails)
    with pytest.raises(ZeroDivisionError):
        main(["--debug", "info", "any.rnx"])


def test_version_names_the_module_version(capsys):
    with pytest.raises(SystemExit) as stop:
        main(["--version"])
    assert stop.value.code == 0 and capsys.readouterr().out == f"skyrift-mp {sk.version()}\n"


def test_bad_command_line_exits_with_the_usage_status(capsys):
    with pytest.raises(SystemExit) as stop:
        main(["multipath"])
    assert stop.value.code == ExitCode.USAGE
    assert "the following arguments are required: obs" in capsys.readouterr().err
