"""Orbits that cover none or part of the observations, and receivers that cannot be on the
Earth, for every analysis that places satellites: the analyzer's orbit=, compute_elevations
and reflector_heights raise or warn; quality() reports the same texts."""
import re

import pytest
import skyrift_mp as sk
from rinex_synth import epochs_of, observations
from rinex_text import write_rinex3
from shared_data import data_file
from sp3_text import circular_orbit_km, epochs_every, trajectory_file

CODES = ["C1C", "L1C", "C2W", "L2W", "S1C"]
RECEIVER = sk.Geodetic(60.0, 10.0, 100.0).to_ecef()
OBSERVED = "2022-01-01T00:00:00 to 2022-01-01T01:59:30"  # the observations below


@pytest.fixture(scope="module")
def obs_path(tmp_path_factory):
    times = [30.0 * i for i in range(240)]  # 2022-01-01 00:00 to 01:59:30
    tracks = {sat: observations(times, "G", CODES, seed=k) for k, sat in enumerate(["G08", "G21"])}
    return write_rinex3(tmp_path_factory.mktemp("cover") / "two.rnx", epochs_of(tracks), {"G": CODES})


@pytest.fixture(scope="module")
def obs(obs_path):
    return sk.read_rinex_obs(str(obs_path))


def orbit(tmp_path, step, count, start):
    """G08 and G21 on circular orbits, `count` records `step` seconds apart from `start`."""
    f = trajectory_file("G08", epochs_every(step, count, start=start), circular_orbit_km)
    for epoch, rows in f.blocks:
        x, y, z = circular_orbit_km(epoch.julian_date() * 86400.0 + 5000.0)
        rows.append(("G21", x, y, z))
    return f.write(tmp_path / f"{start}-{step}-{count}.sp3")


def analyzer(obs, orbit, receiver=RECEIVER, **options):
    return sk.MultipathAnalyzer(obs, orbit=orbit, receiver=receiver, **options)


def elevations(obs, orbit, receiver=RECEIVER):
    return sk.MultipathAnalyzer(obs).analyze().compute_elevations(orbit, receiver)


def heights(obs, orbit, receiver=RECEIVER):
    return sk.reflector_heights(obs, orbit, receiver)


ENTRY_POINTS = [pytest.param(analyzer, id="analyzer"), pytest.param(elevations, id="compute_elevations"),
                pytest.param(heights, id="reflector_heights")]


def observed(call):
    """What the message names and the span it gives, as a pattern: compute_elevations
    measures the span of the estimates, the others that of the file."""
    if call is elevations:
        return r"estimates (\(?)2022-01-01T\d\d:\d\d:\d\d to 2022-01-01T\d\d:\d\d:\d\d(\)?)"
    return re.escape("observations ") + r"(\(?)" + re.escape(OBSERVED) + r"(\)?)"


@pytest.mark.parametrize("call", ENTRY_POINTS)
def test_an_orbit_of_the_day_before_is_refused_naming_both_spans(obs, tmp_path, call):
    """Its records end at 23:45 and reach 900 s on, to the first epoch: no time in common."""
    day_before = orbit(tmp_path, 900, 96, (2021, 12, 31))
    message = f"^SP3 orbit covers 2021-12-30T23:45:00 to 2022-01-01T00:00:00 GPS time, {observed(call)}; no overlap$"
    with pytest.raises(ValueError, match=message):
        call(obs, day_before)


@pytest.mark.parametrize("call", ENTRY_POINTS)
def test_an_orbit_that_covers_part_warns_with_the_share(obs, tmp_path, call):
    """Records 00:00 to 01:00 reach to 01:15: 4500 s of the file's 7170."""
    first_hour = orbit(tmp_path, 450, 9, (2022, 1, 1))
    share = r"\d+\.\d" if call is elevations else re.escape("62.7")
    message = (f"^only {share}% of the {observed(call)} lie within the orbit's span: SP3 orbit covers "
               "2021-12-31T23:45:00 to 2022-01-01T01:15:00 GPS time; satellites get no position outside it$")
    with pytest.warns(UserWarning, match=message):
        call(obs, first_hour)


@pytest.mark.parametrize("call", ENTRY_POINTS)
def test_an_orbit_that_covers_everything_is_silent(obs, tmp_path, call):
    call(obs, orbit(tmp_path, 900, 96, (2022, 1, 1)))  # any warning fails the test


@pytest.mark.parametrize("keep", [False, True], ids=["left-out", "kept"])
def test_the_partial_orbit_places_only_what_it_covers(obs, tmp_path, keep):
    first_hour = orbit(tmp_path, 450, 9, (2022, 1, 1))
    with pytest.warns(UserWarning):
        res = analyzer(obs, first_hour, keep_estimates_without_position=keep).analyze()
    late = [e for e in res.estimates if e.epoch > "2022-01-01T01:15:00.000Z"]
    assert res.estimates_without_position > 0
    if keep:
        assert res.estimates_without_position == len(late)
        assert all((e.elevation, e.azimuth) == (45.0, 0.0) for e in late)
    else:
        assert not late


@pytest.mark.parametrize("orbits, error", [
    (["GRG0MGXFIN_20201760000_01D_15M_ORB.SP3"], "SP3 orbit covers 2020-06-23T23:45:00 to 2020-06-25T00:00:00 "
                                                 "GPS time, observations 2020-06-25T00:00:00 to "
                                                 "2020-06-25T23:59:30; no overlap"),
    (["GRG0MGXFIN_20201760000_01D_15M_ORB.SP3", "ESBC00DNK_R_20201770000_01D_MN.rnx.gz"], None),
    (["GRG0MGXFIN_20201770000_01D_15M_ORB.SP3"], None),
], ids=["sp3-of-the-day-before", "with-the-day's-navigation-data", "sp3-of-the-day"])
def test_a_station_day_with_orbits_of_its_own_and_another_day(orbits, error):
    station = sk.read_rinex_obs(str(data_file("ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz")))
    read = {"SP3": sk.read_sp3, "rnx.gz": sk.read_rinex_nav}
    given = tuple(read["SP3" if name.endswith("SP3") else "rnx.gz"](str(data_file(name))) for name in orbits)
    if error is None:
        sk.MultipathAnalyzer(station, orbit=given)
    else:
        with pytest.raises(ValueError, match=f"^{re.escape(error)}$"):
            sk.MultipathAnalyzer(station, orbit=given)


OFF_THE_EARTH = [
    pytest.param(sk.Ecef(0.0, 0.0, 0.0), "0.0", id="earth-centre"),
    pytest.param(sk.Ecef(3.0e6, 3.0e6, 3.0e6), "5196.2", id="too-low"),
    pytest.param(sk.Ecef(4.0e6, 4.0e6, 4.0e6), "6928.2", id="too-high"),
    pytest.param(sk.Ecef(3.9e3, 4.6e2, 5.0e3), "6.4", id="kilometres-not-metres"),
    pytest.param(sk.Ecef(float("nan"), 0.0, 0.0), "NaN", id="not-a-number"),
]


@pytest.mark.parametrize("receiver, radius_km", OFF_THE_EARTH)
@pytest.mark.parametrize("call", ENTRY_POINTS)
def test_a_receiver_off_the_earth_is_refused(obs, tmp_path, call, receiver, radius_km):
    day = orbit(tmp_path, 900, 96, (2022, 1, 1))
    with pytest.raises(ValueError, match=rf"^receiver \(.*\) is {radius_km} km from the Earth's centre; a receiver "
                                         r"on or near the Earth lies 6300 to 6500 km from it \(ECEF metres\)$"):
        call(obs, day, receiver)


@pytest.mark.parametrize("call", ENTRY_POINTS)
def test_a_receiver_on_the_far_side_of_the_earth_is_accepted(obs, tmp_path, call):
    """Flipped signs keep the Earth's radius: nothing can tell them from a real position."""
    day = orbit(tmp_path, 900, 96, (2022, 1, 1))
    call(obs, day, sk.Ecef(-RECEIVER.x, -RECEIVER.y, -RECEIVER.z))


@pytest.mark.parametrize("call", [analyzer, heights], ids=["analyzer", "reflector_heights"])
def test_a_header_position_off_the_earth_is_refused_by_name(obs_path, tmp_path, call):
    text = obs_path.read_text()
    end = text.index("END OF HEADER") - 60
    position = f"{'1000.0':>14}{'2000.0':>14}{'3000.0':>14}".ljust(60) + "APPROX POSITION XYZ\n"
    with_position = sk.read_rinex_obs_bytes((text[:end] + position + text[end:]).encode(), "pos.rnx")
    assert with_position.approx_position.magnitude() == pytest.approx(3741.66, abs=0.01)
    with pytest.raises(ValueError, match=r"^the file's APPROX POSITION XYZ \(1000\.000, 2000\.000, 3000\.000\) is 3\.7 km "):
        call(with_position, orbit(tmp_path, 900, 96, (2022, 1, 1)), None)


@pytest.mark.parametrize("case", ["day-before", "first-hour", "earth-centre"])
def test_quality_reports_what_the_analyzer_raises_or_warns(obs, tmp_path, case):
    given = {"day-before": lambda: orbit(tmp_path, 900, 96, (2021, 12, 31)),
             "first-hour": lambda: orbit(tmp_path, 450, 9, (2022, 1, 1)),
             "earth-centre": lambda: orbit(tmp_path, 900, 96, (2022, 1, 1))}[case]()
    receiver = sk.Ecef(0.0, 0.0, 0.0) if case == "earth-centre" else RECEIVER
    if case == "first-hour":
        with pytest.warns(UserWarning) as caught:
            analyzer(obs, given, receiver)
        told, where = str(caught[0].message), "orbit: "
    else:
        with pytest.raises(ValueError) as raised:
            analyzer(obs, given, receiver)
        told, where = str(raised.value), "elevations: "
    report = sk.quality(obs, given, receiver)  # neither raises nor warns
    assert [m for m in report.missing if m.startswith(where + told)]
    assert report.has_elevations == (case == "first-hour")
