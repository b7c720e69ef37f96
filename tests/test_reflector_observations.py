"""Reflector heights from an observation file and an orbit: the simulator's known heights."""
import numpy as np
import pytest
import skyrift_mp as sk
from shared_data import data_file
from skyrift_cli.simulator.simulate import SimConfig, simulate, write_simulation


@pytest.fixture(scope="module", params=[0.9, 2.3], ids=lambda h: f"{h}m")
def simulated(request, tmp_path_factory):
    """Four hours of simulated observations and their orbit, with a reflector at a known height."""
    height = request.param
    files = write_simulation(simulate(SimConfig(reflector_height=height, hours=4.0)),
                             tmp_path_factory.mktemp(f"rh{height}"))
    return height, sk.read_rinex_obs(str(files.obs)), sk.read_sp3(str(files.sp3)), files


def test_injected_height_recovered_within_2_cm(simulated):
    height, obs, sp3, _ = simulated
    r = sk.reflector_heights(obs, sp3)
    daily = r.daily()
    assert daily["count"].size == 1 and daily["count"][0] >= 10
    assert abs(daily["median"][0] - height) < 0.02
    assert r.arcs["time"].dtype == np.dtype("datetime64[ms]")
    assert set(r.arcs["signal"]) == {"S1C", "S2W", "S2P", "S5Q", "S2I", "S7I"}
    pytest.importorskip("pandas")  # last, once the heights are checked
    assert r.to_pandas().attrs == {"time_scale": "GPS"}  # the file's epochs: GPS time


def test_daily_value_counts_every_signal_once(simulated):
    """Several signals give one daily value: the mean of every accepted height (whatever its
    signal) within median_filter of the day's median, gnssrefl's daily_avg rule."""
    _, obs, sp3, _ = simulated
    r = sk.reflector_heights(obs, sp3)
    h = r.arcs["height"]
    assert len(set(r.arcs["signal"])) > 1
    kept = h[np.abs(h - np.median(h)) <= 0.1]
    daily = r.daily(median_filter=0.1, min_tracks=1)
    assert daily["count"].tolist() == [kept.size]
    assert daily["mean"][0] == pytest.approx(kept.mean(), abs=1e-12)


def test_signals_option_selects_codes_and_bands(simulated):
    _, obs, sp3, _ = simulated
    only_l1 = sk.reflector_heights(obs, sp3, signals=["S1"])
    assert set(only_l1.arcs["signal"]) == {"S1C"}
    beidou_b1 = sk.reflector_heights(obs, sp3, signals=["s2i"])
    assert set(beidou_b1.arcs["satellite"].astype(str).tolist()) <= {f"C{p}" for p in range(19, 43)}
    assert set(beidou_b1.arcs["signal"]) == {"S2I"}


def test_look_angles_agree_with_the_orbit_functions(simulated):
    # One satellite's SNR with look angles from the public orbit functions gives the same arcs.
    _, obs, sp3, _ = simulated
    r = sk.reflector_heights(obs, sp3, signals=["S1C"])
    sat = str(r.arcs["satellite"][0])
    series = obs.get_snr_series(sat, "S1C")[0]
    receiver = obs.approx_position
    angles = [sk.calculate_azel(receiver, sp3.get_position(sat, sk.Epoch.parse(t))) for t in series.epochs_iso()]
    az, el = np.array(angles).T
    own = sk.reflector_heights_from_snr(np.full(az.size, sat), np.array(series.times), el, az,
                                        np.array(series.values), "S1C")
    mine = r.arcs["satellite"] == sat
    assert np.array_equal(own.arcs["height"], r.arcs["height"][mine])
    assert np.array_equal(own.arcs["azimuth"], r.arcs["azimuth"][mine])


def test_receiver_position_needed_and_orbit_type_checked(simulated):
    _, obs, sp3, files = simulated
    text = files.obs.read_bytes()
    start = text.index(b"APPROX POSITION XYZ") - 60
    without = text[:start] + text[start + 81:]
    no_position = sk.read_rinex_obs_bytes(without, files.obs.name)
    with pytest.raises(ValueError, match="needs the receiver position"):
        sk.reflector_heights(no_position, sp3)
    given = sk.reflector_heights(no_position, sp3, receiver=obs.approx_position, signals=["S1C"])
    assert np.array_equal(given.arcs["height"], sk.reflector_heights(obs, sp3, signals=["S1C"]).arcs["height"])
    with pytest.raises(TypeError, match="argument 'orbit'"):
        sk.reflector_heights(obs, "orbit.sp3")
    with pytest.raises(TypeError, match="unexpected keyword argument 'height'"):
        sk.reflector_heights(obs, sp3, height=10.0)



def glonass_slot_lines(header_text, change):
    """The header's GLONASS SLOT / FRQ # lines rewritten: "drop" removes them, "R02 3" sets
    that slot's channel (the simulator writes the default table)."""
    lines = header_text.splitlines(keepends=True)
    if change == "drop":
        return "".join(line for line in lines if "GLONASS SLOT / FRQ #" not in line)
    return "".join(line.replace("R02 -4", "R02  3") if "GLONASS SLOT / FRQ #" in line else line for line in lines)


@pytest.mark.parametrize("header_change, given, channel", [
    (None, None, -4), ("R02 3", None, 3), ("drop", None, -4), ("R02 3", {2: 6}, 6), ("drop", {"R02": 6}, 6),
], ids=["file-equals-default", "file-before-default", "default-without-file", "given-before-file",
        "given-without-file"])
def test_glonass_channel_sources_in_order(simulated, header_change, given, channel):
    _, obs, sp3, files = simulated
    if header_change:
        data = files.obs.read_text()
        cut = data.index("END OF HEADER")
        obs = sk.read_rinex_obs_bytes((glonass_slot_lines(data[:cut], header_change) + data[cut:]).encode(),
                                      files.obs.name)
    r = sk.reflector_heights(obs, sp3, signals=["S1C"], glonass_channels=given)
    wavelengths = np.r_[r.arcs["wavelength"][r.arcs["satellite"] == "R02"],
                        r.rejected["wavelength"][r.rejected["satellite"] == "R02"]]
    assert wavelengths.size > 0
    assert set(wavelengths.tolist()) == {sk.SPEED_OF_LIGHT / (1602e6 + channel * 562500.0)}


# ------------------------------------------------------------- broadcast orbits, a real day


@pytest.fixture(scope="module")
def station_day():
    """The ESBC day: its observations, broadcast and precise orbits (no BeiDou, G04, R06 or
    R10 in the precise one), and the accepted arcs from each orbit argument."""
    obs = sk.read_rinex_obs(str(data_file("ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz")))
    nav = sk.read_rinex_nav(str(data_file("ESBC00DNK_R_20201770000_01D_MN.rnx.gz")))
    sp3 = sk.read_sp3(str(data_file("GRG0MGXFIN_20201770000_01D_15M_ORB.SP3")))
    arcs = {name: sk.reflector_heights(obs, orbit).arcs
            for name, orbit in (("sp3", sp3), ("nav", nav), ("sp3+nav", (sp3, nav)), ("nav+sp3", [nav, sp3]))}
    return set(sp3.satellites()), arcs


def test_broadcast_orbits_give_the_precise_heights_and_beidou(station_day):
    _, arcs = station_day
    sp3, nav = arcs["sp3"], arcs["nav"]
    assert len(nav["height"]) > len(sp3["height"]) > 400
    assert np.sum(np.char.startswith(nav["satellite"], "C")) > 40  # BeiDou arcs, from the navigation file only
    # Every precise-orbit arc is found again (same satellite, signal and direction, middle within
    # 10 min), with a height within 0.1 mm: the orbits differ by metres, angles by millidegrees.
    found = 0
    for i, key in enumerate(zip(sp3["satellite"], sp3["signal"], sp3["rising"])):
        same = ((nav["satellite"] == key[0]) & (nav["signal"] == key[1]) & (nav["rising"] == key[2]) &
                (np.abs(nav["time"] - sp3["time"][i]) < np.timedelta64(10, "m")))
        if same.any():
            found += 1
            assert abs(nav["height"][same][0] - sp3["height"][i]) < 1e-4
    assert found == len(sp3["height"])


@pytest.mark.parametrize("both", ["sp3+nav", "nav+sp3"])
def test_with_both_orbits_the_precise_one_serves_first(station_day, both):
    in_sp3, arcs = station_day
    from_sp3 = np.isin(arcs[both]["satellite"], list(in_sp3))
    for source, mask in (("sp3", from_sp3), ("nav", ~from_sp3)):
        own = np.isin(arcs[source]["satellite"], list(in_sp3)) == (source == "sp3")
        for column in ("satellite", "signal", "time", "height", "azimuth", "amplitude"):
            assert np.array_equal(arcs[both][column][mask], arcs[source][column][own]), (source, column)
