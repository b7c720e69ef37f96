"""What the batch decides before and after the tasks run: which inputs are observation
files, which orbit files cover a file, how daily orbits are joined, and how the results
folder keeps one committed row per input."""
import datetime as dt
import gzip
import os
import sys

import pytest
from batch_support import network  # noqa: F401 (fixture)

from skyrift_cli.batch.discovery import discover
from skyrift_cli.batch.names import is_observation_name, nav_name, orbit_product, site_of
from skyrift_cli.batch.orbits import (NavEntry, OrbitCatalogue, Sp3Entry, build_catalogue,
                                      choose_nav, choose_sp3, match)
from skyrift_cli.batch.task import TaskOptions, analyse_file, join_sp3
from skyrift_cli.errors import CliError


@pytest.mark.parametrize("name, wanted", [
    ("ACOR00ESP_R_20213550000_01D_30S_MO.rnx", True),
    ("ACOR00ESP_R_20213550000_01D_30S_MO.crx.gz", True),
    ("ESBC00DNK_R_20201770000_01D_30S_MO.rnx.Z", True),
    ("delf0010.21o", True),
    ("DUTH0630.22O", True),
    ("delf0010.21d.Z", True),
    ("GEOP092I.24o.gz", True),
    ("ESBC00DNK_R_20201770000_01D_MN.rnx.gz", False),  # navigation
    ("brdc0010.21n", False),
    ("igs20342.sp3", False),
    ("at013620.18o.test", False),
    ("ABCD00NOR_S_20240650000_02H_30S_MO.truth.json", False),
], ids=lambda v: str(v))
def test_observation_files_are_known_by_name(name, wanted):
    assert is_observation_name(name) is wanted


@pytest.mark.parametrize("name, site, day, system, broadcast", [
    ("ESBC00DNK_R_20201770000_01D_MN.rnx.gz", "ESBC00DNK", dt.date(2020, 6, 25), "M", False),
    ("BRDC00IGS_R_20240650000_01D_GN.rnx", "BRDC00IGS", dt.date(2024, 3, 5), "G", True),
    ("brdm0650.24p.Z", "BRDM", dt.date(2024, 3, 5), "M", True),
    ("abcd3660.96g", "ABCD", dt.date(1996, 12, 31), "R", False),  # a leap year
    ("zimm0010.00n", "ZIMM", dt.date(2000, 1, 1), "G", False),
])
def test_navigation_names_give_site_day_and_system(name, site, day, system, broadcast):
    parsed = nav_name(name)
    assert (parsed.site, parsed.day, parsed.system, parsed.broadcast) == (site, day, system,
                                                                         broadcast)


@pytest.mark.parametrize("name", ["abcd3660.23n", "ABCD00DNK_R_20243670000_01D_MN.rnx",
                                  "igs20342.sp3", "notes.txt"])
def test_impossible_days_and_other_names_are_not_navigation(name):
    assert nav_name(name) is None


def test_sites_and_products_from_names():
    assert site_of("ACOR00ESP_R_20213550000_01D_30S_MO.rnx") == "ACOR00ESP"
    assert site_of("delf0010.21o") == "DELF"
    assert site_of("NMBUS_SAMSUNG_S20.20o") is None
    assert orbit_product("GRG0MGXFIN_20201760000_01D_15M_ORB.SP3") == "GRG0MGXFIN"
    assert orbit_product("igs20342.sp3") == orbit_product("IGS22121.sp3.Z") == "IGS"
    assert orbit_product("Testfile_20220101.eph") == "Testfile_#.eph"


# ---- discovery

def test_folders_are_searched_by_name_and_files_taken_as_given(network, tmp_path):
    nested = tmp_path / "2024" / "065"
    nested.mkdir(parents=True)
    (nested / "abcd0650.24o").write_text("x")
    (nested / "notes.txt").write_text("x")
    odd = tmp_path / "odd-name.obs"
    odd.write_text("x")
    found = discover([tmp_path, odd, str(odd)])  # named twice: analysed once
    assert found == [str(nested / "abcd0650.24o"), str(odd)]
    pattern = str(network.folder / "*_MO.rnx")
    assert discover([pattern]) == sorted(str(p) for p in network.folder.glob("*_MO.rnx"))


@pytest.mark.parametrize("word, message", [
    ("missing.rnx", "missing.rnx: no such file or folder"),
    ("empty", "empty: no observation files in this folder"),
    ("nothing-*.rnx", "nothing-*.rnx: no observation file matches this pattern"),
])
def test_inputs_that_name_nothing_are_errors(tmp_path, monkeypatch, word, message):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "empty").mkdir()
    (tmp_path / "empty" / "readme.txt").write_text("x")
    with pytest.raises(CliError, match="^" + message.replace("*", r"\*")):
        discover([word])


def test_file_urls_are_read_as_bytes_with_the_same_result(network):
    pytest.importorskip("fsspec")
    url = "file://" + network.obs("AAAA")
    assert discover(["file://" + str(network.folder)]).count(url) == 1
    catalogue = build_catalogue("file://" + str(network.folder))
    by_url = analyse_file(url, TaskOptions(), catalogue)
    by_path = analyse_file(network.obs("AAAA"), TaskOptions(), build_catalogue(
        str(network.folder)))
    assert by_url.ok and by_url.file["orbit_source"] == "sp3"
    assert by_url.stats["rms"] == by_path.stats["rms"]
    assert by_url.stats["weighted_rms"] == by_path.stats["weighted_rms"]
    broken = analyse_file("file://" + str(network.broken))
    assert not broken.ok
    assert broken.file["message"] == "no observation epochs (is it a RINEX observation file?)"


def test_a_broken_file_becomes_an_error_row(network):
    result = analyse_file(str(network.broken))
    assert not result.ok and result.stats == {}
    assert result.file["message"] == ("not a RINEX observation file (no RINEX VERSION / TYPE "
                                      "line first)")


# ---- orbit matching

DAY = dt.datetime(2024, 3, 5)


def daily(product: str, day: int, interval: float = 900.0, hours: float = 24.0) -> Sp3Entry:
    start = DAY + dt.timedelta(days=day)
    end = start + dt.timedelta(hours=hours) - dt.timedelta(seconds=interval)
    return Sp3Entry(f"{product}-{day}", product, start, end, interval)


def at(day: int, hour: float) -> dt.datetime:
    return DAY + dt.timedelta(days=day, hours=hour)


@pytest.mark.parametrize("entries, first, last, chosen", [
    ([daily("A", -1), daily("A", 0), daily("A", 1)], at(0, 1), at(0, 3), ["A-0"]),
    # the day runs past the last record at 23:45: joined with the next day
    ([daily("A", -1), daily("A", 0), daily("A", 1)], at(0, 0), at(0, 23.99), ["A-0", "A-1"]),
    # starting before the first record: the day before joins in front
    ([daily("A", -1), daily("A", 0)], at(-1, 23.9), at(0, 2), ["A--1", "A-0"]),
    # a gap of a day between files: nothing to join, the covering file alone
    ([daily("A", 0), daily("A", 2)], at(0, 0), at(0, 23.99), ["A-0"]),
    # the product that covers the whole span wins over one that covers part
    ([daily("A", 0, hours=12), daily("B", 0)], at(0, 1), at(0, 20), ["B-0"]),
    # equal coverage: fewer files, then the product name
    ([daily("B", 0), daily("A", 0)], at(0, 1), at(0, 20), ["A-0"]),
    # two copies of one file (plain and compressed) count once
    ([daily("A", 0), Sp3Entry("A-0.gz", "A", at(0, 0), at(0, 23.75), 900.0)], at(0, 1),
     at(0, 2), ["A-0"]),
    ([daily("A", 3)], at(0, 1), at(0, 2), []),
], ids=["inside", "joins-next", "joins-previous", "gap", "coverage", "tie", "copies", "none"])
def test_sp3_files_covering_a_span(entries, first, last, chosen):
    assert list(choose_sp3(entries, first, last)) == chosen


def nav(source, site, day=0, system="M"):
    return NavEntry(source, site, (DAY + dt.timedelta(days=day)).date(), system,
                    site[:4] in ("BRDC", "BRDM"))


@pytest.mark.parametrize("entries, site, chosen", [
    ([nav("brdc", "BRDC00IGS"), nav("own", "ESBC00DNK")], "ESBC00DNK", "own"),
    ([nav("own-gps", "ESBC00DNK", system="G"), nav("own-mixed", "ESBC00DNK")], "ESBC00DNK",
     "own-mixed"),
    ([nav("brdc", "BRDC"), nav("other", "ZIMM00CHE")], "ESBC00DNK", "brdc"),
    ([nav("other-gps", "ZIMM00CHE", system="G"), nav("other", "ZIMM00CHE")], "ESBC00DNK",
     "other"),
    ([nav("short-own", "ESBC")], "ESBC00DNK", "short-own"),
    ([nav("yesterday", "ESBC00DNK", day=-1), nav("other-gps", "ZIMM", system="G")],
     "ESBC00DNK", None),
], ids=["own-first", "own-mixed", "broadcast", "any-mixed", "short-site", "none"])
def test_navigation_file_of_the_day(entries, site, chosen):
    assert choose_nav(entries, DAY.date(), site) == chosen


def test_catalogue_reads_spans_from_headers_and_matches_both_kinds(network, tmp_path):
    sp3 = network.files["AAAA"].sp3
    (tmp_path / "sub").mkdir()
    with gzip.open(tmp_path / "sub" / (sp3.name + ".gz"), "wb") as f:
        f.write(sp3.read_bytes())
    (tmp_path / "BRDC00IGS_R_20240650000_01D_MN.rnx").write_text("x")
    (tmp_path / "broken.sp3").write_text("not an orbit\n")
    catalogue = build_catalogue(str(tmp_path))
    [entry] = catalogue.sp3
    assert (entry.start, entry.end, entry.interval) == (at(0, 0), at(0, 23.75), 900.0)
    assert catalogue.unreadable == (str(tmp_path / "broken.sp3"),)
    plan = match(catalogue, at(0, 1), at(0, 2), "AAAA00NOR")
    assert (plan.kind, plan.nav) == ("sp3+nav", str(tmp_path / "BRDC00IGS_R_20240650000_01D_MN.rnx"))
    assert match(OrbitCatalogue(), at(0, 1), at(0, 2), None).kind == "none"
    with pytest.raises(CliError, match="no such orbit folder"):
        build_catalogue(str(tmp_path / "missing"))


def _epoch_block(hour: int, minute: int = 0) -> str:
    return f"*  2024  3  5 {hour:2d} {minute:2d}  0.00000000\nPG01  1.0  2.0  3.0  0.0\n"


def test_joined_orbits_keep_one_header_and_each_epoch_once():
    first = "#dP2024  3  5 22  0 header one\n## line\n" + _epoch_block(22) + _epoch_block(23) \
        + "EOF\n"
    second = "#dP2024  3  5 23  0 header two\n## line\n" + _epoch_block(23) + _epoch_block(23, 30) \
        + "EOF\n"
    lines = join_sp3([first, second]).splitlines()
    assert [line for line in lines if line.startswith("#")] == [
        "#dP2024  3  5 22  0 header one", "## line"]
    assert [line[14:19] for line in lines if line.startswith("*")] == ["22  0", "23  0", "23 30"]
    assert lines.count("EOF") == 1 and lines[-1] == "EOF"
    assert sum(line.startswith("P") for line in lines) == 3


# ---- the results folder

def _result(file, status="ok", rows=1):
    from skyrift_cli.batch.task import FileResult, file_row

    stats = {}
    if status == "ok":
        stats = {c: [None] * rows for c in ("file", "station", "first_epoch", "last_epoch",
                                            "interval", "system", "signal", "code", "count",
                                            "rms", "weighted_rms", "mean", "std_dev", "min",
                                            "max", "cycle_slips", "orbit_source", "orbit_files",
                                            "damage")}
        stats["file"] = [file] * rows
    return FileResult(file_row(file, status, "" if status == "ok" else "bad"), stats)


def test_resume_drops_uncommitted_parts_and_keeps_one_row_per_input(tmp_path):
    pq = pytest.importorskip("pyarrow.parquet")
    from skyrift_cli.batch.writer import ResultStore

    store = ResultStore(tmp_path, {"cutoff": 10.0}, resume=False)
    store.add(_result("a"))
    store.add(_result("b", "error"))
    store.flush()
    # killed between the stats part of c and its files part
    store._write_table(store.pa.table(_result("c", rows=2).stats, schema=store.stats_schema),
                       tmp_path / "stats.parquet" / "part-000001.parquet")
    with pytest.raises(CliError, match="add --resume"):
        ResultStore(tmp_path, {"cutoff": 10.0}, resume=False)
    with pytest.raises(CliError, match="needs the same"):
        ResultStore(tmp_path, {"cutoff": 5.0}, resume=True)
    again = ResultStore(tmp_path, {"cutoff": 10.0}, resume=True)
    assert again.done == {"a"}
    assert sorted(os.listdir(tmp_path / "stats.parquet")) == ["part-000000.parquet"]
    again.add(_result("b"))
    again.flush()
    files = pq.read_table(tmp_path / "files.parquet").to_pylist()
    assert sorted((r["file"], r["status"]) for r in files) == [("a", "ok"), ("b", "ok")]
    assert sorted(pq.read_table(tmp_path / "stats.parquet")["file"].to_pylist()) == ["a", "b"]


# ---- what the user is told before anything runs

@pytest.mark.parametrize("module, argv, message", [
    ("distributed", [], "pip install 'dask[distributed]'  (or: pip install 'skyrift_mp[batch]')"),
    ("pyarrow", [], "pip install pyarrow  (or: pip install 'skyrift_mp[batch]')"),
    ("fsspec", ["memory://bucket/x.24o"], "reading URLs needs the Python package fsspec"),
], ids=["dask", "pyarrow", "fsspec"])
def test_missing_extras_are_named(network, tmp_path, monkeypatch, module, argv, message):
    from batch_support import run_cli

    monkeypatch.setitem(sys.modules, module, None)  # import fails as when not installed
    code, _, err = run_cli("batch", *(argv or [network.obs("AAAA")]), "--out", tmp_path / "o")
    assert code == 1 and message in err


@pytest.mark.parametrize("argv, message", [
    (["--workers", "0"], "argument --workers: must be at least 1"),
    (["--workers", "2", "--scheduler", "tcp://127.0.0.1:1"], "not allowed with argument"),
    (["--cutoff", "95"], "argument --cutoff: must be at least -90 and below 90 degrees"),
], ids=["workers", "workers-and-scheduler", "cutoff"])
def test_bad_options_are_refused(network, tmp_path, capsys, argv, message):
    from skyrift_cli.main import main

    try:
        code = main(["batch", network.obs("AAAA"), "--out", str(tmp_path / "o"), *argv])
    except SystemExit as exit_:
        code = exit_.code
    assert code in (1, 2) and message in capsys.readouterr().err
    assert not (tmp_path / "o" / "files.parquet").exists()


def _without_position(path, target):
    lines = path.read_text().splitlines(keepends=True)
    target.write_text("".join(f"{0.0:14.4f}" * 3 + " " * 18 + "APPROX POSITION XYZ\n"
                              if line[60:].startswith("APPROX POSITION XYZ") else line
                              for line in lines))
    return target


@pytest.mark.parametrize("case, kind, note", [
    ("other-day", "none", "no orbit file covers these observations"),
    ("no-records", "none", "holds no records"),
    ("no-position", "none", "the header has no APPROX POSITION XYZ: analysed without"),
    # positions end one record spacing after the last record: nothing is extrapolated
    ("one-of-two-days", "sp3", "only 50.2% of the observations (2024-03-05T23:00:00 to "
                               "2024-03-06T00:59:30) lie within the orbit's span: SP3 orbit covers "
                               "2024-03-04T23:45:00 to 2024-03-06T00:00:00 GPS time"),
])
def test_orbit_problems_leave_a_note_and_the_file_analysed(network, tmp_path, case, kind, note):
    files = network.files["MDNT"]  # 23:00 to 00:59:30, orbits of two days
    obs, orbits = files.obs, tmp_path / "orbits"
    orbits.mkdir()
    if case == "other-day":
        (orbits / "SKY0SIMFIN_20240700000_01D_15M_ORB.SP3").write_text(
            files.sp3.read_text().replace("*  2024  3  5", "*  2024  3 10").replace(
                "#dP2024  3  5", "#dP2024  3 10"))
    elif case == "no-records":
        header = [line for line in files.sp3.read_text().splitlines() if line[:1] in "#+%/"]
        (orbits / files.sp3.name).write_text("\n".join(header) + "\nEOF\n")
    else:
        (orbits / files.sp3.name).write_bytes(files.sp3.read_bytes())
        if case == "no-position":
            obs = _without_position(obs, tmp_path / obs.name)
    result = analyse_file(str(obs), TaskOptions(), build_catalogue(str(orbits)))
    assert result.ok and result.file["orbit_source"] == kind
    assert note in result.file["message"]
    assert set(result.stats["orbit_source"]) == {kind} and result.file["estimates"] > 0
