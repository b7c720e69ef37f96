"""Results as columns: to_numpy / to_pandas of the estimates, statistics and cycle slips
against the object API, on written files and on a real day with its orbit."""
import math
import sys

import numpy as np
import pytest

import skyrift_mp as mp
from rinex_synth import epochs_of, observations
from rinex_text import write_rinex3
from shared_data import data_file

GPS = ["C1C", "L1C", "C2W", "L2W", "S1C"]
GAL = ["C1C", "L1C", "C5Q", "L5Q"]  # no SNR code: every Galileo estimate has snr None
ABBREVIATION = {"G": "GPS", "R": "GLO", "E": "GAL", "C": "BDS", "J": "QZS", "S": "SBS", "I": "IRN", "M": "MIX"}
ESTIMATE_COLUMNS = ["satellite", "system", "signal", "code", "time", "mp", "elevation", "azimuth", "snr",
                    "arc", "arc_start"]
OBJECT_COLUMNS = ESTIMATE_COLUMNS[:9]  # the arc columns have no attribute on the estimate objects


def placed(e, angle):
    """The columns carry no placeholder: NaN where no orbit placed the estimate (the
    objects keep elevation 45 and azimuth 0 there)."""
    return math.nan if (e.elevation, e.azimuth) == (45.0, 0.0) else angle


def estimate_rows(estimates):
    """The columns to_numpy() should give, from the objects one attribute at a time."""
    return {
        "satellite": [e.satellite for e in estimates],
        "system": [e.system for e in estimates],
        "signal": [ABBREVIATION[e.system] + "M" + e.signal[1:] for e in estimates],
        "code": [e.signal for e in estimates],
        "time": np.array([e.epoch.rstrip("Z") for e in estimates], dtype="datetime64[ms]"),
        "mp": [e.mp_value for e in estimates],
        "elevation": [placed(e, e.elevation) for e in estimates],
        "azimuth": [placed(e, e.azimuth) for e in estimates],
        "snr": [math.nan if e.snr is None else e.snr for e in estimates],
    }


def assert_rows_equal(columns, expected, rows=slice(None)):
    assert list(columns) == ESTIMATE_COLUMNS
    for name in OBJECT_COLUMNS:
        got = columns[name][rows]
        want = np.asarray(expected[name])
        if got.dtype.kind == "f":
            np.testing.assert_array_equal(got, want.astype(float), err_msg=name)  # NaN == NaN here
        else:
            assert got.tolist() == want.tolist(), name


@pytest.fixture(scope="module")
def written(tmp_path_factory):
    times = [30.0 * i for i in range(24)]
    tracks = {"G01": observations(times, "G", GPS, seed=1), "G02": observations(times, "G", GPS, seed=2),
              "E05": observations(times, "E", GAL, seed=3)}
    for t in (90.0, 120.0):
        del tracks["G02"][t]["S1C"]  # estimates without SNR among ones with it
    tracks["G02"][300.0]["L1C"] = (tracks["G02"][300.0]["L1C"], 1)  # one loss-of-lock slip
    path = write_rinex3(tmp_path_factory.mktemp("cols") / "cols.rnx", epochs_of(tracks), {"G": GPS, "E": GAL})
    return mp.read_rinex_obs(str(path))


@pytest.fixture(scope="module")
def results(written):
    return mp.MultipathAnalyzer(written, systems=["G", "E"], min_arc_seconds=60.0).analyze()


def test_every_estimate_column_equals_the_object_api(results):
    estimates = results.estimates
    expected = estimate_rows(estimates)
    assert {"G", "E"} == set(expected["system"]) and any(math.isnan(v) for v in expected["snr"])
    assert not all(math.isnan(v) for v in expected["snr"])
    assert_rows_equal(results.to_numpy(), expected)


def test_columns_give_no_placeholder_angles(written, results):
    """Without an orbit no estimate has a position: NaN angles in the columns, the
    placeholder on the objects; compute_elevations fills in those it places."""
    before = results.to_numpy()
    assert np.isnan(before["elevation"]).all() and np.isnan(before["azimuth"]).all()
    assert {(e.elevation, e.azimuth) for e in results.estimates} == {(45.0, 0.0)}
    obs = mp.read_rinex_obs(str(data_file("OPEC00NOR_S_20220010000_01D_30S_MO_3.04_croped.rnx")))
    placed = mp.MultipathAnalyzer(written, systems=["G", "E"], min_arc_seconds=60.0).analyze()
    computed, failed = placed.compute_elevations(mp.read_sp3(str(data_file("Testfile_20220101.eph"))),
                                                 obs.approx_position)
    after = placed.to_numpy()
    assert computed > 0 and failed > 0  # a satellite below the horizon stays unplaced
    assert (~np.isnan(after["elevation"])).sum() == computed and np.isnan(after["azimuth"]).sum() == failed
    assert_rows_equal(after, estimate_rows(placed.estimates))


def test_column_dtypes(results):
    cols = results.to_numpy()
    assert {n: cols[n].dtype.kind for n in ESTIMATE_COLUMNS} == {
        "satellite": "U", "system": "U", "signal": "U", "code": "U", "time": "M",
        "mp": "f", "elevation": "f", "azimuth": "f", "snr": "f", "arc": "i", "arc_start": "U"}
    assert cols["time"].dtype == np.dtype("datetime64[ms]")
    assert all(c.ndim == 1 and c.size == results.total_estimates() for c in cols.values())
    assert cols["signal"].dtype == np.dtype("<U6") and cols["system"].dtype == np.dtype("<U1")


def test_columns_are_fresh_arrays(results):
    first = results.to_numpy()
    first["mp"][:] = 0.0
    first["satellite"][:] = "X"
    again = results.to_numpy()
    assert again["mp"].any() and "X" not in again["satellite"].tolist()


def expected_arcs(cols, gap_s, slip_times):
    """Arc numbers and causes recomputed from the rows: a new arc at a new satellite or
    signal, after a time step longer than the gap threshold, or across a slip time of the
    satellite (the test series carry no raw jump above the jump limit)."""
    arcs, starts, arc = [], [], -1
    t = cols["time"].astype("int64") / 1000.0
    for i in range(len(t)):
        key = (cols["satellite"][i], cols["signal"][i])
        if i and key == (cols["satellite"][i - 1], cols["signal"][i - 1]):
            slipped = any(t[i - 1] < s <= t[i] for s in slip_times.get(key[0], ()))
            cause = "slip" if slipped else "gap" if t[i] - t[i - 1] > gap_s else None
        else:
            cause = "start"
        if cause:
            arc += 1
        arcs.append(arc)
        starts.append(cause or starts[-1])
    return arcs, starts


def test_arc_columns_number_arcs_and_name_what_began_them(tmp_path):
    times = [30.0 * i for i in range(60)]
    tracks = {"G01": observations(times, "G", GPS, seed=4), "G02": observations(times, "G", GPS, seed=5)}
    for t in times[20:27]:
        del tracks["G01"][t]  # a 240 s hole: a new arc after the gap
    tracks["G02"][900.0]["L2W"] = (tracks["G02"][900.0]["L2W"], 1)  # loss of lock: a slip on both series
    obs = mp.read_rinex_obs(str(write_rinex3(tmp_path / "arcs.rnx", epochs_of(tracks), {"G": GPS})))
    res = mp.MultipathAnalyzer(obs, min_arc_seconds=60.0, bias_window_seconds=None).analyze()
    cols = res.to_numpy()
    slips = {s.satellite: [] for s in res.cycle_slips}
    for s in res.cycle_slips:
        slips[s.satellite].append(np.datetime64(s.epoch.rstrip("Z"), "ms").astype("int64") / 1000.0)
    arcs, starts = expected_arcs(cols, gap_s=150.0, slip_times=slips)
    assert cols["arc"].tolist() == arcs and cols["arc_start"].tolist() == starts
    assert {"start", "gap", "slip"} <= set(starts)
    # the arc mean is removed per arc: each arc's residuals average to zero
    for arc in set(arcs):
        assert abs(cols["mp"][cols["arc"] == arc].mean()) < 1e-9


def test_statistics_and_slip_columns_equal_the_objects(results):
    stats = results.statistics_to_numpy()
    objects = results.statistics
    assert list(stats) == ["signal", "system", "code", "count", "rms", "mean", "std_dev", "min", "max",
                           "weighted_rms", "cycle_slips"]
    for name, column in stats.items():
        assert column.tolist() == [getattr(s, name) for s in objects], name
    assert stats["count"].dtype == np.int64 and stats["cycle_slips"].dtype == np.int64
    slips = results.cycle_slips_to_numpy()
    assert list(slips) == ["satellite", "system", "time", "method", "signal", "magnitude", "threshold"]
    objects = results.cycle_slips
    assert len(objects) >= 1
    for name in ("satellite", "system", "method", "signal", "magnitude", "threshold"):
        assert slips[name].tolist() == [getattr(s, name) for s in objects], name
    assert slips["time"].tolist() == np.array([s.epoch.rstrip("Z") for s in objects],
                                              dtype="datetime64[ms]").tolist()


def test_pandas_frames_hold_the_same_columns(results):
    pd = pytest.importorskip("pandas")
    cols = results.to_numpy()
    frame = results.to_pandas()
    assert list(frame.columns) == ESTIMATE_COLUMNS and len(frame) == results.total_estimates()
    for name in ("satellite", "system", "signal", "code", "arc_start"):
        assert isinstance(frame[name].dtype, pd.CategoricalDtype), name
        assert frame[name].astype(str).tolist() == cols[name].tolist(), name
    for name in ("time", "mp", "elevation", "azimuth", "snr", "arc"):
        np.testing.assert_array_equal(frame[name].to_numpy(), cols[name], err_msg=name)
    assert frame.satellite.cat.categories.tolist() == ["E05", "G01", "G02"]  # satellite order
    stats = results.statistics_to_pandas()
    assert stats.signal.tolist() == [s.signal for s in results.statistics]
    slips = results.cycle_slips_to_pandas()
    assert slips.method.astype(str).tolist() == [s.method for s in results.cycle_slips]
    # datetime64 has no time scale and passes for UTC: frames with times say theirs
    assert frame.attrs == slips.attrs == {"time_scale": "GPS"} and stats.attrs == {}


@pytest.mark.parametrize("case", ["no-signal-selected", "no-epochs"])
def test_an_analysis_without_estimates_gives_empty_columns(written, tmp_path, case):
    if case == "no-epochs":
        written = mp.read_rinex_obs(str(write_rinex3(tmp_path / "empty.rnx", [], {"G": GPS})))
    res = mp.MultipathAnalyzer(written, systems=["C"] if case == "no-signal-selected" else None).analyze()
    assert res.total_estimates() == 0
    tables = [res.to_numpy(), res.statistics_to_numpy()] + ([res.cycle_slips_to_numpy()] if case == "no-epochs" else [])
    for table in tables:
        assert table and all(c.shape == (0,) for c in table.values())
    cols = res.to_numpy()
    assert cols["time"].dtype == np.dtype("datetime64[ms]") and cols["satellite"].dtype.kind == "U"
    pytest.importorskip("pandas")
    assert res.to_pandas().shape == (0, len(ESTIMATE_COLUMNS))
    assert res.statistics_to_pandas().empty


@pytest.mark.parametrize("method", ["to_pandas", "statistics_to_pandas", "cycle_slips_to_pandas"])
def test_without_pandas_the_error_names_the_extra(results, monkeypatch, method):
    monkeypatch.setitem(sys.modules, "pandas", None)  # makes `import pandas` fail
    with pytest.raises(ImportError, match=r"^AnalysisResults\.%s\(\) needs pandas: "
                       r"pip install 'skyrift_mp\[pandas\]'" % method):
        getattr(results, method)()


@pytest.fixture(scope="module")
def esbc_day():
    obs = mp.read_rinex_obs(str(data_file("ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz")))
    res = mp.MultipathAnalyzer(obs).analyze()
    computed, _ = res.compute_elevations(mp.read_sp3(str(data_file("GRG0MGXFIN_20201770000_01D_15M_ORB.SP3"))),
                                         obs.approx_position)
    assert computed > 0
    return res, computed


def test_real_day_sampled_rows_equal_the_object_api(esbc_day):
    esbc_day, computed = esbc_day
    estimates = esbc_day.estimates
    rows = slice(0, None, 97)
    assert_rows_equal(esbc_day.to_numpy(), estimate_rows(estimates[rows]), rows)
    cols = esbc_day.to_numpy()
    assert len(set(cols["signal"].tolist())) == len(esbc_day.statistics)
    assert cols["signal"].tolist() == sorted(cols["signal"].tolist())  # estimates are ordered by key
    placed = ~np.isnan(cols["elevation"])
    assert placed.sum() == computed  # the stored look angles went into the columns


def test_real_day_statistics_recomputed_from_the_frame(esbc_day):
    """rms, mean, count and the elevation-weighted RMS per signal, recomputed with pandas
    from to_pandas(), agree with the analysis' own statistics."""
    pytest.importorskip("pandas")
    esbc_day, _ = esbc_day
    frame = esbc_day.to_pandas()
    el = frame.elevation.to_numpy()
    with np.errstate(divide="ignore"):
        w = np.where(el >= 30.0, 1.0, np.where(el > 0.0, 1.0 / (4.0 * np.sin(np.radians(el)) ** 2), 0.0))
    frame = frame.assign(mp2=frame.mp ** 2, w=w, wmp2=w * frame.mp ** 2)
    by = frame.groupby("signal", observed=True)
    got = by.agg(count=("mp", "size"), mean=("mp", "mean"), ms=("mp2", "mean"), w=("w", "sum"), wmp2=("wmp2", "sum"))
    stats = esbc_day.statistics_to_pandas().set_index("signal")
    assert sorted(got.index) == sorted(stats.index)
    got = got.loc[stats.index]
    assert got["count"].tolist() == stats["count"].tolist()
    np.testing.assert_allclose(got["mean"], stats["mean"], rtol=1e-9, atol=1e-12)
    np.testing.assert_allclose(np.sqrt(got["ms"]), stats["rms"], rtol=1e-9)
    # Signals without any orbit position (BeiDou: not in the orbit file) keep the value of analyze().
    weighted = got["w"] > 0
    assert weighted.sum() > 10 and (~weighted).sum() >= 3
    np.testing.assert_allclose(np.sqrt(got["wmp2"] / got["w"])[weighted], stats["weighted_rms"][weighted], rtol=1e-9)
    np.testing.assert_allclose(stats["weighted_rms"][~weighted], stats["rms"][~weighted], rtol=1e-9)
