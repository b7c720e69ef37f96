"""The batch on real Dask clusters: a LocalCluster of two worker processes through the
command line, a scheduler and a worker started as processes, a worker that dies, and
--resume. Rows are checked against the single-file multipath command."""
import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

import pytest
from batch_support import BROKEN, CUTOFF, STATIONS, network, run_cli  # noqa: F401 (fixture)

distributed = pytest.importorskip("distributed")
pq = pytest.importorskip("pyarrow.parquet")

from skyrift_cli.batch import run_batch  # noqa: E402
from skyrift_cli.simulator.simulate import observed_days  # noqa: E402
from skyrift_cli.simulator.sp3_writer import day_times, write_sp3  # noqa: E402

STATS_KEYS = ("signal", "count", "rms", "mean", "std_dev", "weighted_rms", "cycle_slips")


def rows_by_file(path: Path) -> dict[str, list[dict]]:
    rows: dict[str, list[dict]] = {}
    for row in pq.read_table(path).to_pylist():
        rows.setdefault(row["file"], []).append(row)
    return rows


@pytest.fixture(scope="module")
def local_run(network, tmp_path_factory):
    """The whole network and the broken file on a LocalCluster of two workers."""
    out = tmp_path_factory.mktemp("batch") / "results"
    code, stdout, stderr = run_cli("batch", network.folder, "--orbits", network.folder,
                                   "--out", out, "--workers", "2", "--cutoff", CUTOFF)
    return code, stdout, stderr, out


@pytest.fixture(scope="module")
def client():
    """An in-process cluster for the tests that are about the results, not the processes."""
    with distributed.LocalCluster(n_workers=1, threads_per_worker=2, processes=False,
                                  dashboard_address=":0") as cluster:
        with distributed.Client(cluster) as c:
            yield c


def test_failed_input_is_recorded_and_the_exit_status_says_so(local_run, network):
    code, stdout, stderr, out = local_run
    assert code == 1
    assert f"1 of {len(STATIONS) + 1} files failed" in stderr
    assert f"Analysed {len(STATIONS) + 1} of {len(STATIONS) + 1} files on 2 workers" in stdout
    files = {Path(f).name: rows[0] for f, rows in rows_by_file(out / "files.parquet").items()}
    assert len(files) == len(STATIONS) + 1
    broken = files[BROKEN]
    assert broken["status"] == "error"
    assert broken["message"] == "not a RINEX observation file (no RINEX VERSION / TYPE line first)"
    assert broken["station"] is None and broken["seconds"] >= 0
    ok = [row for name, row in files.items() if name != BROKEN]
    assert {row["status"] for row in ok} == {"ok"}
    # the nine-character ID of the long file names, not the header's marker name
    assert sorted(row["station"] for row in ok) == sorted(f"{s[0]}00NOR" for s in STATIONS)
    assert all(row["epochs"] == 240 and row["estimates"] > 0 for row in ok)


@pytest.mark.parametrize("station", [s[0] for s in STATIONS])
def test_rows_equal_the_multipath_command(local_run, network, station, tmp_path):
    """Each file's rows hold the statistics multipath --json gives with the same cutoff and
    the same orbit; the file that runs past midnight gets its two daily orbits joined,
    which must equal one orbit file holding both days."""
    out = local_run[3]
    files = network.files[station]
    days = observed_days(network.sims[station])
    if len(days) == 1:
        sp3 = files.sp3
    else:
        sp3 = tmp_path / "both-days.sp3"
        write_sp3(sp3, network.sims[station], day_times(network.sims[station], days[0], days[-1]))
    code, _, err = run_cli("multipath", files.obs, "--sp3", sp3, "--cutoff", CUTOFF,
                           "--json", tmp_path / "mp.json")
    assert code == 0, err
    single = json.loads((tmp_path / "mp.json").read_text())["statistics"]
    rows = rows_by_file(out / "stats.parquet")[str(files.obs)]
    assert [{k: r[k] for k in STATS_KEYS} for r in rows] == single
    expected_orbits = " ".join(f.name for f in files.orbit_files)
    assert {(r["station"], r["orbit_source"], r["orbit_files"]) for r in rows} == {
        (f"{station}00NOR", "sp3", expected_orbits)}
    first = network.sims[station].epoch(0)
    assert {(r["first_epoch"], r["interval"]) for r in rows} == {(first, 30.0)}
    systems = {"GPS": "G", "GLO": "R", "GAL": "E", "BDS": "C"}
    assert all(systems[r["signal"][:3]] == r["system"] and r["signal"][4:] == r["code"][1:]
               for r in rows)


def test_tables_read_back_with_pyarrow_and_keep_their_types(local_run):
    out = local_run[3]
    stats = pq.read_table(out / "stats.parquet")
    files = pq.read_table(out / "files.parquet")
    assert str(stats.schema.field("first_epoch").type) == "timestamp[ms]"
    assert str(stats.schema.field("count").type) == "int64"
    assert str(files.schema.field("seconds").type) == "double"
    assert stats.num_rows == sum(len(r) for r in rows_by_file(out / "stats.parquet").values())


def test_resume_analyses_only_what_is_not_ok(network, client, tmp_path):
    inputs, out = tmp_path / "inputs", tmp_path / "out"
    shutil.copytree(network.folder, inputs)
    options = {"orbits": inputs, "cutoff": float(CUTOFF), "client": client, "progress": False}
    first = run_batch([inputs], out, **options)
    assert (first.ok, first.failed) == (len(STATIONS), 1)
    before = rows_by_file(out / "files.parquet")
    stats_before = rows_by_file(out / "stats.parquet")
    # the broken file is mended: --resume analyses it, and only it
    shutil.copy(network.files["AAAA"].obs, inputs / BROKEN)
    summary = run_batch([inputs], out, resume=True, **options)
    assert (summary.skipped, summary.ok, summary.failed) == (len(STATIONS), 1, 0), summary
    files = rows_by_file(out / "files.parquet")
    assert files.keys() == before.keys()
    assert all(len(rows) == 1 for rows in files.values())  # the error row was replaced
    mended = str(inputs / BROKEN)
    assert files[mended][0]["status"] == "ok"
    assert {f: r for f, r in files.items() if f != mended} == {
        f: r for f, r in before.items() if f != mended}  # untouched, timings included
    stats = rows_by_file(out / "stats.parquet")
    assert {f: r for f, r in stats.items() if f != mended} == stats_before
    assert len(stats[mended]) == len(stats_before[str(inputs / network.files["AAAA"].obs.name)])
    # a second --resume has nothing left to do
    again = run_batch([inputs], out, resume=True, **options)
    assert (again.skipped, again.analysed) == (len(STATIONS) + 1, 0)
    assert rows_by_file(out / "stats.parquet") == stats


def test_resume_refuses_other_options_and_a_new_run_refuses_old_results(local_run, network,
                                                                        tmp_path):
    out = tmp_path / "again"
    shutil.copytree(local_run[3], out)
    code, _, err = run_cli("batch", network.folder, "--out", out, "--orbits", network.folder,
                           "--cutoff", CUTOFF, "--workers", "1")
    assert code == 1 and "holds the results of an earlier batch: add --resume" in err
    code, _, err = run_cli("batch", network.folder, "--out", out, "--orbits", network.folder,
                           "--cutoff", "5", "--resume")
    assert code == 1 and "--resume needs the same --orbits, --cutoff and --estimates" in err


def test_estimates_are_partitioned_by_station_and_date(network, client, tmp_path):
    import skyrift_mp as sk

    inputs = [network.obs("AAAA"), network.obs("MDNT")]
    summary = run_batch(inputs, tmp_path / "out", orbits=network.folder, client=client,
                        estimates=True, progress=False)
    assert summary.ok == 2
    table = pq.read_table(tmp_path / "out" / "estimates")
    parts = sorted({(r["station"], r["date"]) for r in
                    table.select(["station", "date"]).to_pylist()})
    assert parts == [("AAAA00NOR", "2024-03-05"), ("MDNT00NOR", "2024-03-05"),
                     ("MDNT00NOR", "2024-03-06")]
    files = rows_by_file(tmp_path / "out" / "files.parquet")
    for path in inputs:
        assert _rows_of(table, path).num_rows == files[path][0]["estimates"]
    # the same values as the analyzer's own columns for the one-day file
    obs = sk.read_rinex_obs(network.obs("AAAA"))
    sp3 = sk.read_sp3(str(network.files["AAAA"].sp3))
    direct = sk.MultipathAnalyzer(obs, orbit=sp3, elevation_cutoff=10.0).analyze().to_numpy()
    mine = _rows_of(table, network.obs("AAAA"))
    assert mine["mp"].to_pylist() == direct["mp"].tolist()
    assert mine["elevation"].to_pylist() == direct["elevation"].tolist()


def _rows_of(table, path):
    import pyarrow.compute as pc

    return table.filter(pc.equal(table["file"], path))


def _dies_on_broken(source, options, catalogue=None):
    """A task whose worker process dies on the broken file (as on a crash in C++)."""
    if source.endswith(BROKEN):
        os._exit(3)
    from skyrift_cli.batch.task import analyse_file

    return analyse_file(source, options, catalogue)


def test_a_dying_worker_is_recorded_and_the_batch_goes_on(network, tmp_path):
    import cloudpickle
    import dask

    from skyrift_cli.batch import runner
    from skyrift_cli.batch.progress import ProgressBar
    from skyrift_cli.batch.task import TaskOptions
    from skyrift_cli.batch.writer import ResultStore

    todo = [network.obs("AAAA"), str(network.broken), network.obs("BBBB")]
    store = ResultStore(tmp_path / "out", {}, resume=False)
    summary = runner.BatchSummary(tmp_path / "out", len(todo))
    cloudpickle.register_pickle_by_value(sys.modules[__name__])  # workers lack tests/
    try:
        # one task per worker thread at a time, so that only the file that kills its
        # worker is blamed, and no second try for it
        with dask.config.set({"distributed.scheduler.allowed-failures": 0,
                              "distributed.scheduler.worker-saturation": 1.0}):
            with distributed.LocalCluster(n_workers=1, threads_per_worker=1, processes=True,
                                          dashboard_address=":0") as cluster:
                with distributed.Client(cluster) as c:
                    runner._run_tasks(c, todo, TaskOptions(), None, store, summary,
                                      ProgressBar(3, enabled=False), task=_dies_on_broken)
    finally:
        cloudpickle.unregister_pickle_by_value(sys.modules[__name__])
    assert (summary.ok, summary.failed) == (2, 1)
    files = rows_by_file(tmp_path / "out" / "files.parquet")
    [row] = files[str(network.broken)]
    assert row["status"] == "error"
    assert row["message"].startswith("the worker died while analysing this file")
    assert {files[network.obs(s)][0]["status"] for s in ("AAAA", "BBBB")} == {"ok"}


def _dask_command() -> list[str]:
    dask = Path(sys.executable).with_name("dask")
    if not dask.exists():
        pytest.skip("the dask command is not installed beside this Python")
    return [str(dask)]


def _stop(processes) -> None:
    for p in processes:  # SIGTERM: a shell's background jobs may ignore SIGINT
        if p.poll() is None:
            p.terminate()
    for p in processes:
        try:
            p.wait(timeout=15)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait(timeout=5)


def test_batch_runs_on_a_scheduler_and_worker_started_apart(network, local_run, tmp_path):
    """A cluster as users run one: dask scheduler and dask worker processes on 127.0.0.1."""
    dask = _dask_command()
    address_file = tmp_path / "scheduler.json"
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    processes = [subprocess.Popen(dask + ["scheduler", "--host", "127.0.0.1", "--port", "0",
                                          "--no-dashboard", "--scheduler-file",
                                          str(address_file)], **quiet)]
    try:
        deadline = time.monotonic() + 60
        while not address_file.exists() or not address_file.read_text().strip():
            assert time.monotonic() < deadline, "the scheduler did not start within 60 s"
            assert processes[0].poll() is None, "the scheduler stopped"
            time.sleep(0.2)
        address = json.loads(address_file.read_text())["address"]
        processes.append(subprocess.Popen(
            dask + ["worker", address, "--nthreads", "1", "--nworkers", "1",
                    "--no-dashboard", "--host", "127.0.0.1"], **quiet))
        inputs = [network.obs(s) for s in ("AAAA", "MDNT")]
        code, stdout, err = run_cli("batch", *inputs, "--orbits", network.folder,
                                    "--out", tmp_path / "out", "--scheduler", address,
                                    "--cutoff", CUTOFF)
        assert code == 0, err
        assert "2 ok, 0 failed" in stdout and "on 1 worker " in stdout
        stats = rows_by_file(tmp_path / "out" / "stats.parquet")
        local = rows_by_file(local_run[3] / "stats.parquet")
        assert {f: stats[f] for f in inputs} == {f: local[f] for f in inputs}
    finally:
        _stop(processes)


def test_unreachable_scheduler_is_a_clear_error(network, tmp_path, monkeypatch):
    from skyrift_cli.batch import runner

    monkeypatch.setattr(runner, "CONNECT_SECONDS", 1.0)
    code, _, err = run_cli("batch", network.obs("AAAA"), "--out", tmp_path / "out",
                           "--scheduler", "tcp://127.0.0.1:9")
    assert code == 1 and "cannot reach the Dask scheduler at tcp://127.0.0.1:9" in err


ESBC = "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"
ESBC_NAV = "ESBC00DNK_R_20201770000_01D_MN.rnx.gz"
ESBC_SP3 = "GRG0MGXFIN_20201770000_01D_15M_ORB.SP3"


@pytest.mark.parametrize("orbits, kind", [((ESBC_SP3, ESBC_NAV), "sp3+nav"), ((ESBC_NAV,), "nav")],
                         ids=["sp3-and-own-navigation", "own-navigation-only"])
def test_real_day_gets_its_orbits_and_equals_the_multipath_command(client, tmp_path, orbits,
                                                                   kind):
    from shared_data import data_file

    obs = data_file(ESBC)
    folder = tmp_path / "orbits"
    folder.mkdir()
    for name in orbits:  # beside other days' products and a merged file of another day
        os.symlink(data_file(name), folder / name)
    os.symlink(data_file("GRG0MGXFIN_20201760000_01D_15M_ORB.SP3"),
               folder / "GRG0MGXFIN_20201760000_01D_15M_ORB.SP3")
    (folder / "BRDC00IGS_R_20201760000_01D_MN.rnx").write_text("x")
    summary = run_batch([obs], tmp_path / "out", orbits=folder, cutoff=float(CUTOFF),
                        client=client, progress=False)
    assert summary.ok == 1, summary.failures
    rows = rows_by_file(tmp_path / "out" / "stats.parquet")[str(obs)]
    assert {(r["orbit_source"], r["orbit_files"]) for r in rows} == {(kind, " ".join(orbits))}
    given = ["--sp3", data_file(ESBC_SP3)] if kind == "sp3+nav" else []
    code, _, err = run_cli("multipath", obs, *given, "--nav", data_file(ESBC_NAV),
                           "--cutoff", CUTOFF, "--json", tmp_path / "mp.json")
    assert code == 0, err
    single = json.loads((tmp_path / "mp.json").read_text())["statistics"]
    assert [{k: r[k] for k in STATS_KEYS} for r in rows] == single
