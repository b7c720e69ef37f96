"""The simulator: deterministic, well-formed RINEX 3.04 and SP3, truth that matches the files."""
import dataclasses
import datetime as dt
import json

import numpy as np
import pytest
from cli_support import SHORT, simulated  # noqa: F401 (fixture)

from skyrift_cli.simulator.orbits import CONSTELLATIONS
from skyrift_cli.simulator.signals import SIGNALS, observation_codes
from skyrift_cli.simulator.simulate import simulate, write_simulation


def test_same_seed_same_bytes_other_seed_other_data(simulated, tmp_path):
    again = write_simulation(simulate(SHORT), tmp_path / "again")
    for a, b in [(simulated.files.obs, again.obs), (simulated.files.sp3, again.sp3),
                 (simulated.files.truth, again.truth)]:
        assert a.read_bytes() == b.read_bytes(), a.name
    other = write_simulation(simulate(dataclasses.replace(SHORT, seed=4)), tmp_path / "other")
    assert other.obs.read_bytes() != simulated.files.obs.read_bytes()


def _body(path):
    lines = path.read_text(encoding="ascii").split("\n")
    end = next(i for i, line in enumerate(lines) if line[60:] == "END OF HEADER")
    return lines[:end + 1], [line for line in lines[end + 1:] if line]


def test_rinex_header_labels_sit_in_column_61(simulated):
    header, _ = _body(simulated.files.obs)
    assert header[0][:9].strip() == "3.04" and header[0][40] == "M"
    assert all(len(line) <= 80 and line[60:].strip() for line in header)
    types = {line[0]: line[7:60].split() for line in header if line[60:] == "SYS / # / OBS TYPES"}
    assert types == {s: observation_codes(s) for s in "GREC"}


def test_rinex_epoch_records_follow_the_column_layout(simulated):
    _, body = _body(simulated.files.obs)
    i, times, records = 0, [], 0
    while i < len(body):
        line = body[i]
        assert line[0] == ">" and len(line) >= 35 and line[31] == "0", line
        y, mo, d, h, mi = (int(line[a:a + 4 if a == 2 else a + 2]) for a in (2, 7, 10, 13, 16))
        times.append(dt.datetime(y, mo, d, h, mi) + dt.timedelta(seconds=float(line[19:30])))
        count = int(line[32:35])
        for rec in body[i + 1:i + 1 + count]:
            fields = [rec[3 + 16 * k:3 + 16 * k + 14] for k in range(6)]
            assert rec[0] in "GREC" and len(rec) <= 3 + 16 * 6
            assert all(f.strip() for f in fields[:5]), rec  # every code, phase and SNR written
            assert all(f[-4] == "." for f in fields if f.strip())
        records += count
        i += 1 + count
    steps = {(b - a).total_seconds() for a, b in zip(times, times[1:])}
    assert steps == {SHORT.interval} and len(times) == 240
    assert records == sum(int(t.visible.sum()) for t in simulated.sim.tracks)


def test_sp3_header_and_records_use_the_fixed_columns(simulated):
    lines = simulated.files.sp3.read_text(encoding="ascii").splitlines()
    epochs = [line for line in lines if line.startswith("*")]
    records = [line for line in lines if line.startswith("P")]
    assert lines[0][:3] == "#dP" and int(lines[0][32:39]) == len(epochs)
    assert float(lines[1][24:38]) == 900.0
    assert lines[-1] == "EOF"
    assert all(len(r) == 60 for r in records) and len(records) == 96 * len(epochs)
    first = dt.datetime(*(int(v) for v in epochs[0][3:31].split()[:5]))
    last = dt.datetime(*(int(v) for v in epochs[-1][3:31].split()[:5]))
    # the observations (00:00 to 01:59:30) sit inside with two hours to spare
    assert first <= dt.datetime(2024, 3, 4, 22) and last >= dt.datetime(2024, 3, 5, 3, 59, 30)


@pytest.mark.parametrize("con", CONSTELLATIONS, ids=lambda c: c.letter)
def test_sp3_orbits_have_the_constellation_height_and_inclination(simulated, con):
    lines = simulated.files.sp3.read_text(encoding="ascii").splitlines()
    xyz = np.array([[float(r[4:18]), float(r[18:32]), float(r[32:46])]
                    for r in lines if r.startswith("P" + con.letter)]) * 1000.0
    radius = np.linalg.norm(xyz, axis=1)
    assert np.allclose(radius, con.semi_major_axis, rtol=1e-9)
    max_latitude = np.degrees(np.arcsin(np.abs(xyz[:, 2]) / radius)).max()
    assert con.inclination - 3.0 < max_latitude <= con.inclination + 1e-6


def test_truth_lists_what_was_injected(simulated):
    truth = simulated.truth
    keys = {f"{n}M{s.band_attr}" for n, sys in [("GPS", "G"), ("GLO", "R"), ("GAL", "E"),
                                                 ("BDS", "C")] for s in SIGNALS[sys]}
    assert set(truth["mp_rms_m"]) == keys
    for key, rms in truth["mp_rms_m"].items():
        # multipath grows towards the horizon: RMS above the zenith sigma, weighted RMS more
        assert truth["mp_sigma_zenith_m"][key] < rms < truth["mp_weighted_rms_m"][key]
    assert len(truth["slips"]) >= 6 and truth["reflector_height_m"] == SHORT.reflector_height
    assert 300.0 < truth["reflection_period_s"] < 900.0
    json.dumps(truth, allow_nan=False)


def test_slips_and_their_loss_of_lock_flags_are_in_the_file(simulated):
    """Each slip sits inside a pass; the flagged ones carry LLI 1 on the slipped phase."""
    tracks = {t.sat: t for t in simulated.sim.tracks}
    text = simulated.files.obs.read_text(encoding="ascii")
    for slip in simulated.truth["slips"]:
        e = dt.datetime.fromisoformat(slip["epoch"].rstrip("Z"))
        i = int((e - SHORT.start).total_seconds() / SHORT.interval)
        track = tracks[slip["satellite"]]
        assert track.visible[i - 1] and track.visible[i]
        col = observation_codes(slip["satellite"][0]).index(slip["signal"])
        head = f"> {e:%Y %m %d %H %M} {e.second:2d}.0000000"
        block = text[text.index(head):].split(">", 2)[1]
        rec = next(r for r in block.split("\n") if r.startswith(slip["satellite"]))
        lli = rec[3 + 16 * col + 14]
        assert lli == ("1" if slip["lli"] else " ")


def test_module_reads_the_simulated_files(simulated):
    import skyrift_mp as sk

    obs = sk.read_rinex_obs(str(simulated.files.obs))
    assert (obs.version, obs.marker_name, obs.num_epochs) == ("3.04", "SIMU", 240)
    visible = {t.sat for t in simulated.sim.tracks}
    assert obs.num_satellites == len(visible)
    assert obs.satellites_by_system() == {s: sum(v[0] == s for v in visible) for s in "GREC"}
    assert obs.observation_types("R") == sorted(observation_codes("R"))
    assert obs.glonass_fcn()[2] == -4
    assert obs.approx_position.distance(sk.Ecef(*simulated.sim.receiver)) < 1e-3
    sp3 = sk.read_sp3(str(simulated.files.sp3))
    assert sp3.num_satellites == 96 and sp3.interval == 900.0
    rx = sk.Ecef(*simulated.sim.receiver)
    for track in simulated.sim.tracks[::7]:  # the orbit file reproduces the simulated sky
        el = sk.compute_elevation(sp3, rx, track.sat, sk.Epoch(2024, 3, 5, 0, 30))
        assert el == pytest.approx(track.el[60], abs=1e-3)


def _network_day(tmp_path, name, seed, start, hours=2.0, lat=59.66):
    config = dataclasses.replace(SHORT, seed=seed, hours=hours, start=start, station=name,
                                 latitude=lat, network=True)
    return write_simulation(simulate(config), tmp_path / name)


def test_stations_of_a_network_share_their_daily_orbit_files(tmp_path):
    """Orbits follow one constellation fixed in time: two stations of a day write the same
    SP3 file, and a file running into the next day writes that day's file as a station
    starting on it does."""
    a = _network_day(tmp_path, "AAAA", 1, dt.datetime(2024, 3, 5), hours=25.0)
    b = _network_day(tmp_path, "BBBB00DNK", 2, dt.datetime(2024, 3, 5, 6), lat=-30.0)
    c = _network_day(tmp_path, "CCCC", 3, dt.datetime(2024, 3, 6))
    assert [f.name for f in a.orbit_files] == ["SKY0SIMFIN_20240650000_01D_15M_ORB.SP3",
                                               "SKY0SIMFIN_20240660000_01D_15M_ORB.SP3"]
    assert a.orbit_files[0].read_bytes() == b.sp3.read_bytes()
    assert a.orbit_files[1].read_bytes() == c.sp3.read_bytes()
    assert b.obs.name == "BBBB00DNK_S_20240650600_02H_30S_MO.rnx"
    assert a.truth.name == "AAAA00NOR_S_20240650000_25H_30S_MO.truth.json"
    records = [line for line in c.sp3.read_text().splitlines() if line.startswith("*")]
    assert (records[0], records[-1]) == ("*  2024  3  6  0  0  0.00000000",
                                         "*  2024  3  6 23 45  0.00000000")


def test_simulate_command_takes_station_start_and_receiver(tmp_path, capsys):
    import skyrift_mp as sk
    from skyrift_cli.main import main

    code = main(["simulate", str(tmp_path), "--station", "kms3", "--start", "2023-07-01",
                 "--receiver", "55.68,12.43,60", "--hours", "1"])
    assert code == 0
    obs_path = tmp_path / "KMS300NOR_S_20231820000_01H_30S_MO.rnx"
    assert str(obs_path) in capsys.readouterr().out
    obs = sk.read_rinex_obs(str(obs_path))
    assert obs.marker_name == "KMS3" and obs.num_epochs == 120
    position = obs.approx_position.to_geodetic()
    assert (position.lat, position.lon) == pytest.approx((55.68, 12.43), abs=1e-7)
    assert position.height == pytest.approx(60.0, abs=1e-3)  # header XYZ: 0.1 mm


@pytest.mark.parametrize("option, value, message", [
    ("--station", "ab-d", "not a station name"),
    ("--station", "ABCDE", "not a station name"),
    ("--start", "2024-02-30", "not a date YYYY-MM-DD"),
    ("--receiver", "55,12", "not LAT,LON,HEIGHT"),
    ("--receiver", "95,12,0", "latitude outside -90..90"),
    ("--receiver", "55,12,x", "not a number: 'x'"),
])
def test_simulate_command_rejects_bad_network_options(tmp_path, capsys, option, value, message):
    from skyrift_cli.main import main

    with pytest.raises(SystemExit) as exit_:
        main(["simulate", str(tmp_path), option, value])
    assert exit_.value.code == 2 and message in capsys.readouterr().err
