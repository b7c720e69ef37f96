"""Observations as one long table: RinexObsData.to_pandas() against a hand-written file and,
on real files, against the per-code grids of to_numpy(code)."""
import numpy as np
import pytest

import skyrift_mp as mp
from rinex_text import obs_field, v3_epoch, v3_header, v3_sat, write_lines
from shared_data import data_file

pd = pytest.importorskip("pandas")


@pytest.fixture(scope="module")
def small(tmp_path_factory):
    lines = v3_header(types={"G": ["C1C", "L1C", "S1C"], "E": ["C1C", "C5Q"]})
    lines += [v3_epoch(0.0, 2),
              v3_sat("G01", obs_field(20000000.123), obs_field(105000000.456, 1, 7), obs_field(45.25)),
              v3_sat("E05", obs_field(21000000.5), obs_field(21000001.25)),
              v3_epoch(30.0, 1),
              v3_sat("G03", obs_field(), obs_field(105000500.0, None, 6))]
    return mp.read_rinex_obs(str(write_lines(tmp_path_factory.mktemp("rows") / "small.rnx", lines)))


def test_one_row_per_observation_in_storage_order(small):
    frame = small.to_pandas()
    assert list(frame.columns) == ["time", "satellite", "code", "value", "lli", "ssi"]
    assert frame["time"].dtype == np.dtype("datetime64[ms]")
    assert frame["lli"].dtype == np.int8 and frame["ssi"].dtype == np.int8
    assert frame.attrs["time_scale"] == "GPS"
    # Satellites sorted within an epoch (E05 before G01), codes sorted within a satellite.
    rows = [(str(t)[11:19], s, c, v, lli, ssi) for t, s, c, v, lli, ssi in frame.itertuples(index=False)]
    assert rows == [("00:00:00", "E05", "C1C", 21000000.5, -1, -1), ("00:00:00", "E05", "C5Q", 21000001.25, -1, -1),
                    ("00:00:00", "G01", "C1C", 20000000.123, -1, -1), ("00:00:00", "G01", "L1C", 105000000.456, 1, 7),
                    ("00:00:00", "G01", "S1C", 45.25, -1, -1), ("00:00:30", "G03", "L1C", 105000500.0, -1, 6)]
    assert list(frame["satellite"].cat.categories) == ["E05", "G01", "G03"]
    assert list(frame["code"].cat.categories) == ["C1C", "C5Q", "L1C", "S1C"]


def cells_of_rows(rows, satellites):
    """(time, satellite, value, lli, ssi) of the rows of one code, sorted."""
    columns = [rows["time"].to_numpy().astype(np.int64), np.searchsorted(satellites, rows["satellite"].astype(str)),
               rows["value"].to_numpy(), rows["lli"].to_numpy().astype(float), rows["ssi"].to_numpy().astype(float)]
    return sort_cells(columns)


def cells_of_grid(grid):
    """The same from a to_numpy(code) grid: every cell with a value, -1 for an absent indicator."""
    r, c = np.nonzero(~np.isnan(grid["values"]))
    indicator = lambda g: np.where(np.isnan(g[r, c]), -1.0, g[r, c])
    columns = [grid["time"].astype(np.int64)[r], c, grid["values"][r, c], indicator(grid["lli"]), indicator(grid["ssi"])]
    return sort_cells(columns)


def sort_cells(columns):
    order = np.lexsort(columns[::-1])
    return [column[order] for column in columns]


@pytest.mark.parametrize("name", ["ESBC00DNK_R_20201770000_01D_30S_MO.crx.gz", "delf0010.21o",
                                  "OPEC00NOR_S_20220010000_01D_30S_MO_3.04_croped.rnx"])
def test_rows_hold_every_cell_of_the_per_code_grids(name):
    obs = mp.read_rinex_obs(str(data_file(name)))
    frame = obs.to_pandas()
    assert len(frame) > 1000
    counted = 0
    for code in frame["code"].cat.categories:
        grid = obs.to_numpy(code)
        rows = frame[frame["code"] == code]
        counted += len(rows)
        for ours, theirs in zip(cells_of_rows(rows, grid["sv"]), cells_of_grid(grid)):
            np.testing.assert_array_equal(ours, theirs)
    assert counted == len(frame)
