"""Observations as epoch × satellite grids: RinexObsData.to_numpy(code) and to_xarray()
against a hand-written file, against get_snr_series and the code lists of real files."""
import math
import sys

import numpy as np
import pytest

import skyrift_mp as mp
from rinex_text import hline, obs_field, v3_epoch, v3_header, v3_sat, write_lines
from shared_data import data_file

NAN = math.nan
POSITION = (3582105.291, 532589.7313, 5232754.8054)


@pytest.fixture(scope="module")
def small(tmp_path_factory):
    """Three records (the last repeats the second's time), three satellites, indicators on L1C."""
    extra = [hline(f"{POSITION[0]:14.4f}{POSITION[1]:14.4f}{POSITION[2]:14.4f}", "APPROX POSITION XYZ")]
    lines = v3_header(types={"G": ["C1C", "L1C", "S1C"], "E": ["C1C", "L1C", "C5Q"]}, extra=extra)
    lines += [v3_epoch(0.0, 2),
              v3_sat("G01", obs_field(20000000.123), obs_field(105000000.456, 1, 7), obs_field(45.25)),
              v3_sat("E05", obs_field(21000000.5), obs_field(), obs_field(21000001.25)),
              v3_epoch(30.0, 2),
              v3_sat("G01", obs_field(20000100.0), obs_field(105000500.0, None, 6)),
              v3_sat("G03", obs_field(22000000.75)),
              v3_epoch(30.0, 1),
              v3_sat("G01", obs_field(20000200.0))]
    path = write_lines(tmp_path_factory.mktemp("grid") / "small.rnx", lines)
    return mp.read_rinex_obs(str(path))


# Rows: the three records; columns: E05, G01, G03.
EXPECTED = {
    "C1C": [[21000000.5, 20000000.123, NAN], [NAN, 20000100.0, 22000000.75], [NAN, 20000200.0, NAN]],
    "C5Q": [[21000001.25, NAN, NAN], [NAN, NAN, NAN], [NAN, NAN, NAN]],
    "L1C": [[NAN, 105000000.456, NAN], [NAN, 105000500.0, NAN], [NAN, NAN, NAN]],
    "L1Clli": [[NAN, 1, NAN], [NAN, NAN, NAN], [NAN, NAN, NAN]],
    "L1Cssi": [[NAN, 7, NAN], [NAN, 6, NAN], [NAN, NAN, NAN]],
    "S1C": [[NAN, 45.25, NAN], [NAN, NAN, NAN], [NAN, NAN, NAN]],
}
TIMES = np.array(["2020-01-01T00:00:00", "2020-01-01T00:00:30", "2020-01-01T00:00:30"], dtype="datetime64[ms]")


def test_to_xarray_of_a_hand_written_file(small):
    xr = pytest.importorskip("xarray")
    ds = small.to_xarray()
    assert ds.sizes == {"time": 3, "sv": 3}
    assert ds.sv.values.tolist() == ["E05", "G01", "G03"]
    np.testing.assert_array_equal(ds.time.values.astype("datetime64[ms]"), TIMES)
    assert sorted(ds.data_vars) == sorted(EXPECTED)  # indicators only where the file has them
    decoded = xr.decode_cf(ds)
    for name, values in EXPECTED.items():
        expected = np.array(values)
        assert ds[name].dims == ("time", "sv")
        if name.endswith(("lli", "ssi")):  # one byte a cell, -1 (the CF fill) where absent
            assert ds[name].dtype == np.int8 and ds[name].attrs == {"_FillValue": -1}
            np.testing.assert_array_equal(ds[name].values, np.where(np.isnan(expected), -1, expected), err_msg=name)
        else:
            assert ds[name].dtype == np.float64
        np.testing.assert_array_equal(decoded[name].values, expected, err_msg=name)  # NaN where absent
    assert ds.attrs["version"] == "3.04" and ds.attrs["marker_name"] == "SITE"
    assert ds.attrs["interval"] == 30.0 and ds.attrs["rinextype"] == "obs"
    assert tuple(ds.attrs["position"]) == pytest.approx(POSITION)


def test_to_xarray_selects_codes_and_leaves_out_indicators(small):
    pytest.importorskip("xarray")
    ds = small.to_xarray(codes=["l1c", "D1C"], indicators=False)
    assert sorted(ds.data_vars) == ["D1C", "L1C"]  # a code without values is all NaN
    assert ds.sv.values.tolist() == ["E05", "G01", "G03"]
    assert np.isnan(ds["D1C"].values).all()
    np.testing.assert_array_equal(ds["L1C"].values, np.array(EXPECTED["L1C"]))


@pytest.mark.parametrize("code, sv", [("L1C", ["G01"]), ("c1c", ["E05", "G01", "G03"]), ("D1C", [])],
                         ids=["one-satellite", "lower-case", "absent-code"])
def test_to_numpy_of_one_code(small, code, sv):
    arrays = small.to_numpy(code)
    assert list(arrays) == ["time", "sv", "values", "lli", "ssi"]
    assert arrays["sv"].tolist() == sv
    np.testing.assert_array_equal(arrays["time"], TIMES)
    columns = [["E05", "G01", "G03"].index(s) for s in sv]
    upper = code.upper()
    for key, suffix in (("values", ""), ("lli", "lli"), ("ssi", "ssi")):
        expected = np.array(EXPECTED.get(upper + suffix, np.full((3, 3), NAN)))[:, columns]
        assert arrays[key].shape == (3, len(sv))
        np.testing.assert_array_equal(arrays[key], expected, err_msg=key)


@pytest.mark.parametrize("call, exc, message", [
    (lambda d: d.to_numpy("X1"), ValueError, "^'X1' is not an observation code$"),
    (lambda d: d.to_numpy(1), TypeError, "^argument 'code': "),
    (lambda d: d.to_xarray(codes="S1C"), TypeError, "^argument 'codes': "),
    (lambda d: d.to_xarray(codes=["S1C", "?"]), ValueError, "^'\\?' is not an observation code$"),
    (lambda d: d.to_xarray(indicators=1), TypeError, "^argument 'indicators': "),
], ids=["bad-code", "int-code", "str-for-list", "bad-code-in-list", "int-for-bool"])
def test_bad_arguments(small, call, exc, message):
    pytest.importorskip("xarray")
    with pytest.raises(exc, match=message):
        call(small)


def test_without_xarray_the_error_names_the_extra(small, monkeypatch):
    monkeypatch.setitem(sys.modules, "xarray", None)
    with pytest.raises(ImportError, match=r"^RinexObsData\.to_xarray\(\) needs xarray: "
                       r"pip install 'skyrift_mp\[xarray\]'"):
        small.to_xarray()


@pytest.fixture(scope="module")
def esbc():
    return mp.read_rinex_obs(str(data_file("ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz")))


def test_real_day_snr_grids_equal_get_snr_series(esbc):
    pytest.importorskip("xarray")
    ds = esbc.to_xarray(codes=[c for s in "GRECJSI" for c in esbc.observation_types(s) if c[0] == "S"])
    unix = (ds.time.values.astype("datetime64[ms]").astype(np.int64) / 1000.0)
    checked = 0
    for sat in esbc.satellites():
        for series in esbc.get_snr_series(sat.id):
            column = ds[series.code].sel(sv=sat.id).values
            kept = column > 0  # the series leaves out values of 0 and below; NaN compares False
            assert column[kept].tolist() == series.values, (sat.id, series.code)
            assert unix[kept].tolist() == pytest.approx(series.times, abs=1e-6)
            checked += 1
    assert checked > 100


@pytest.mark.parametrize("name", ["ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz", "delf0010.21o"],
                         ids=["rinex3", "rinex2"])
def test_real_file_grids_hold_every_code_and_satellite(name):
    pytest.importorskip("xarray")
    obs = mp.read_rinex_obs(str(data_file(name)))
    ds = obs.to_xarray(indicators=False)
    assert ds.sizes == {"time": obs.num_epochs, "sv": obs.num_satellites}
    assert ds.sv.values.tolist() == [s.id for s in obs.satellites()]
    codes = sorted({c for system in obs.satellites_by_system() for c in obs.observation_types(system)})
    assert sorted(ds.data_vars) == codes
    for code in codes[:: max(1, len(codes) // 4)]:
        arrays = obs.to_numpy(code)
        np.testing.assert_array_equal(arrays["values"], ds[code].sel(sv=arrays["sv"]).values, err_msg=code)
        assert np.isfinite(arrays["values"]).any(axis=0).all()  # every listed satellite has the code


def test_indicators_of_a_real_file_agree_with_to_numpy():
    pytest.importorskip("xarray")
    obs = mp.read_rinex_obs(str(data_file("delf0010.21o")))
    ds = obs.to_xarray()
    indicators = [name for name in ds.data_vars if name.endswith(("lli", "ssi"))]
    assert indicators and all(ds[name].dtype == np.int8 for name in indicators)
    for name in indicators:
        arrays = obs.to_numpy(name[:-3])
        cells = ds[name].sel(sv=arrays["sv"]).values
        np.testing.assert_array_equal(np.where(cells < 0, np.nan, cells), arrays[name[-3:]], err_msg=name)


def test_indicators_survive_a_netcdf_file(small, tmp_path):
    xr = pytest.importorskip("xarray")
    pytest.importorskip("scipy", reason="scipy writes netCDF 3 for xarray")
    small.to_xarray().to_netcdf(tmp_path / "small.nc", engine="scipy")
    with xr.open_dataset(tmp_path / "small.nc", engine="scipy") as back:
        np.testing.assert_array_equal(back["L1Clli"].values, np.array(EXPECTED["L1Clli"]))
        np.testing.assert_array_equal(back["L1Cssi"].values, np.array(EXPECTED["L1Cssi"]))
