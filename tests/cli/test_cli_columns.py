"""The command line on columns: the CSV writer, slips from the slip columns, the binned
figures' arithmetic and the progress line."""
import io
import math

import numpy as np
import pytest
import skyrift_mp as sk
from cli_support import simulated  # noqa: F401 (fixture)

from skyrift_cli.analysis.multipath import EstimateTable, _slip_dicts, iso_texts
from skyrift_cli.analysis.plots import _binned_rms, _groups
from skyrift_cli.analysis.report import CSV_BLOCK, write_estimates_csv
from skyrift_cli.progress import Progress


def table_of(n, seed=0):
    rng = np.random.default_rng(seed)
    snr = rng.choice([np.nan, 41.25, 35.0, 47.123456], size=n)
    mp = rng.normal(0.0, 0.4, size=n)
    mp[:3] = [-0.00001, 0.00005, -0.0][:n]  # signs that formatting must keep
    return EstimateTable(
        satellite=rng.choice(["G01", "E12", "R24"], size=n), key=rng.choice(["GPSM1C", "GALM5Q"], size=n),
        time=np.datetime64("2020-06-25T00:00:00", "ms") + rng.integers(0, 86_400_000, size=n),
        mp=mp, elevation=rng.uniform(0, 90, size=n), azimuth=rng.uniform(0, 360, size=n), snr=snr)


def row_by_row(table):
    """The CSV text formatted one row at a time from the table's Python values; epochs are
    GPS time, named so and written without the Z of UTC."""
    lines = ["satellite,signal,epoch_gps,mp_m,elevation_deg,azimuth_deg,snr_dbhz"]
    for i in range(len(table)):
        snr = float(table.snr[i])
        epoch = np.datetime_as_string(table.time[i], unit="ms")
        lines.append(f"{table.satellite[i]},{table.key[i]},{epoch},{float(table.mp[i]):.4f},"
                     f"{float(table.elevation[i]):.3f},{float(table.azimuth[i]):.3f},"
                     + ("" if math.isnan(snr) else f"{snr:.3f}"))
    return "\n".join(lines) + "\n"


@pytest.mark.parametrize("n", [0, 5, CSV_BLOCK + 7], ids=["empty", "short", "over-one-block"])
def test_csv_equals_row_by_row_formatting(tmp_path, n):
    table = table_of(n)
    write_estimates_csv(tmp_path / "mp.csv", table)
    text = (tmp_path / "mp.csv").read_text(encoding="utf-8")
    assert text == row_by_row(table)
    if n:
        assert text.splitlines()[1].split(",")[3] == "-0.0000"


def test_iso_texts_match_the_module():
    times = np.array(["2020-06-25T00:00:30.250", "2019-12-31T23:59:59.999", "2020-06-25T00:00:30.250"],
                     dtype="datetime64[ms]")
    assert iso_texts(times).tolist() == [sk.Epoch(2020, 6, 25, 0, 0, 30.25).to_iso(),
                                         sk.Epoch(2019, 12, 31, 23, 59, 59.999).to_iso(),
                                         sk.Epoch(2020, 6, 25, 0, 0, 30.25).to_iso()]
    assert iso_texts(np.array([], dtype="datetime64[ms]")).tolist() == []


def test_slip_records_from_columns_equal_the_objects(simulated):
    results = sk.MultipathAnalyzer(sk.read_rinex_obs(str(simulated.files.obs))).analyze()
    expected = [{"satellite": s.satellite, "epoch": s.epoch, "method": s.method, "signal": s.signal,
                 "magnitude": s.magnitude, "threshold": s.threshold} for s in results.cycle_slips]
    assert expected and _slip_dicts(results.cycle_slips_to_numpy()) == expected


def test_estimate_table_from_the_columns(simulated):
    results = sk.MultipathAnalyzer(sk.read_rinex_obs(str(simulated.files.obs))).analyze()
    table = EstimateTable.from_results(results)
    stats = {s.signal: s.count for s in results.statistics}
    assert len(table) == results.total_estimates() == sum(stats.values())
    assert {key: int(np.sum(table.key == key)) for key in stats} == stats


def test_binned_rms_and_groups_by_hand():
    x = np.array([1.0, 2.0, 7.0, 89.9, 95.0])
    v = np.array([1.0, -3.0, 2.0, 4.0, 0.0])
    centres, rms = _binned_rms(x, v, 5.0, 18)
    assert centres.tolist() == [2.5, 7.5, 87.5]
    assert rms == pytest.approx([math.sqrt(5.0), 2.0, math.sqrt(8.0)])  # 95 falls in the last bin
    keys = np.array(["b", "a", "b", "c", "a"])
    assert [(k, idx.tolist()) for k, idx in _groups(keys)] == [("a", [1, 4]), ("b", [0, 2]), ("c", [3])]


class FakeTerminal(io.StringIO):
    def __init__(self, tty):
        super().__init__()
        self.tty = tty

    def isatty(self):
        return self.tty


@pytest.mark.parametrize("tty", [True, False], ids=["terminal", "pipe"])
def test_progress_only_on_a_terminal(tty, capsys):
    stream = FakeTerminal(tty)
    with Progress(stream) as progress:
        progress.step("reading file.rnx")
        progress.echo("the table")
        progress.step("plotting")
    text = stream.getvalue()
    assert capsys.readouterr().out == "the table\n"
    if tty:
        assert "reading file.rnx (" in text and "plotting (" in text and text.endswith("\r\033[K")
    else:
        assert text == ""
