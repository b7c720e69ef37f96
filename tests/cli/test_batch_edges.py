"""The batch at the edges: one station ID per file whatever its naming, damaged files
read up to the damage and marked, and --resume forgetting files that are gone."""
import gzip
import shutil

import pytest
import skyrift_mp as sk
from batch_support import network  # noqa: F401 (fixture)

from skyrift_cli.batch.names import station_id
from skyrift_cli.batch.task import TaskOptions, analyse_file
from skyrift_cli.commands.batch import report


@pytest.mark.parametrize("name, marker, station", [
    ("ESBC00DNK_R_20201770000_01D_30S_MO.crx.gz", "ESBC", "ESBC00DNK"),
    ("ACOR00ESP_R_20213550000_01D_30S_MO.rnx", "ACOR", "ACOR00ESP"),
    ("esbc00dnk_r_20201770000_01d_30s_mo.rnx", "", "ESBC00DNK"),
    ("ceda1234.20o", "ceda", "CEDA"),
    ("delf0010.21o", "DELFT-16", "DELF"),
    ("GEOP092I.24o.gz", "GEOP", "GEOP"),
    ("NMBUS_SAMSUNG_S20.20o", " nmbu  ", "NMBU"),
    ("observations.obs", "", None),
])
def test_station_ids_follow_the_file_name_then_the_marker(name, marker, station):
    assert station_id(name, marker) == station


def _cut_copy(source, target):
    packed = gzip.compress(source.read_bytes())
    target.write_bytes(packed[: len(packed) * 2 // 3])
    return target


def test_damaged_file_is_analysed_up_to_the_damage_and_marked(network, tmp_path):
    path = _cut_copy(network.files["AAAA"].obs, tmp_path / "AAAA00NOR_S_20240650000_02H_30S_MO.rnx.gz")
    obs = sk.read_rinex_obs(str(path), partial=True)
    result = analyse_file(str(path), TaskOptions())
    assert result.ok and result.file["epochs"] == obs.num_epochs < 240
    expected = (f"the read stopped at the damage after {obs.num_epochs:,} epochs (the last at "
                f"{obs.last_epoch().to_iso()}): {obs.damage}")
    assert result.file["damage"] == expected
    assert set(result.stats["damage"]) == {expected}
    whole = analyse_file(network.obs("AAAA"), TaskOptions())
    assert whole.file["damage"] is None and set(whole.stats["damage"]) == {None}


def test_short_names_give_the_upper_case_site(network, tmp_path):
    short = tmp_path / "aaaa0650.24o"
    shutil.copy(network.files["AAAA"].obs, short)
    assert analyse_file(str(short), TaskOptions()).file["station"] == "AAAA"


# ---- --resume

@pytest.fixture(scope="module")
def client():
    distributed = pytest.importorskip("distributed")
    pytest.importorskip("pyarrow")
    with distributed.LocalCluster(n_workers=1, threads_per_worker=2, processes=False,
                                  dashboard_address=":0") as cluster:
        with distributed.Client(cluster) as c:
            yield c


def _files(table_path) -> set[str]:
    import pyarrow.parquet as pq

    return set(pq.read_table(table_path, columns=["file"])["file"].to_pylist())


def test_resume_drops_vanished_files_and_reads_damaged_ones_again(network, client, tmp_path):
    from skyrift_cli.batch import run_batch

    inputs, out = tmp_path / "inputs", tmp_path / "out"
    inputs.mkdir()
    for station in ("AAAA", "BBBB"):
        shutil.copy(network.files[station].obs, inputs)
    damaged = _cut_copy(network.files["CCCC"].obs,
                        inputs / (network.files["CCCC"].obs.name + ".gz"))
    options = {"client": client, "progress": False, "estimates": True, "qc": True}
    first = run_batch([inputs], out, **options)
    assert (first.ok, first.failed, first.dropped) == (3, 0, 0)
    assert [file for file, _ in first.damaged] == [str(damaged)]
    assert ("Damaged: 1 of the ok files was read up to the damage (see the damage column)"
            in report(first))
    gone = str(inputs / network.files["BBBB"].obs.name)
    assert gone in _files(out / "estimates")
    # BBBB is deleted, CCCC's download completed
    (inputs / network.files["BBBB"].obs.name).unlink()
    damaged.write_bytes(gzip.compress(network.files["CCCC"].obs.read_bytes()))
    again = run_batch([inputs], out, resume=True, **options)
    assert (again.skipped, again.ok, again.dropped, again.damaged) == (1, 1, 1, [])
    assert "Removed the rows of 1 file that no longer exists" in report(again)
    for table in ("files.parquet", "stats.parquet", "estimates", "qc.parquet"):
        assert _files(out / table) == {str(inputs / network.files["AAAA"].obs.name),
                                       str(damaged)}, table
    import pyarrow.parquet as pq

    # the damaged read's rows made way for the whole file's: one row per signal
    for table, keys in (("stats.parquet", ("signal",)), ("qc.parquet", ("system", "code"))):
        pairs = [(r["file"], *(r[k] for k in keys)) for r in pq.read_table(out / table).to_pylist()]
        assert len(pairs) == len(set(pairs)), table
    reports = {p.name for p in (out / "qc").rglob("*.json")}
    assert not any(name.startswith(network.files["BBBB"].obs.name) for name in reports), reports

    rows = pq.read_table(out / "files.parquet").to_pylist()
    assert [(r["status"], r["damage"], r["epochs"]) for r in rows if r["file"] == str(damaged)] == [
        ("ok", None, 240)]


def test_inputs_of_one_name_keep_reports_of_their_own(network, client, tmp_path):
    from skyrift_cli.batch import run_batch
    import pyarrow.parquet as pq

    obs = network.files["AAAA"].obs
    for folder in ("a", "b"):
        (tmp_path / folder).mkdir()
        shutil.copy(obs, tmp_path / folder)
    summary = run_batch([tmp_path / "a", tmp_path / "b"], tmp_path / "out", client=client,
                        progress=False, qc=True)
    assert summary.ok == 2
    rows = pq.read_table(tmp_path / "out" / "qc.parquet", columns=["file", "report"]).to_pylist()
    report_of = {r["file"]: r["report"] for r in rows}
    assert len(report_of) == 2 and len(set(report_of.values())) == 2, report_of
    assert all((tmp_path / "out" / path).is_file() for path in report_of.values())
