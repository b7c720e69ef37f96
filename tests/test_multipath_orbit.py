"""MultipathAnalyzer with an orbit: real look angles during analyze(), the elevation
cutoff acting on them, statistics weighted by them, and the receiver position."""
import numpy as np
import pytest

import skyrift_mp as mp
from analyzer_checks import check_statistics, rows
from shared_data import data_file
from rinex_synth import epochs_of, observations
from rinex_text import hline, obs_field, text, v3_epoch, v3_header, v3_sat, write_rinex3

GPS = ["C1C", "L1C", "C2W", "L2W"]
OPEC = "OPEC00NOR_S_20220010000_01D_30S_MO_3.04_croped.rnx"
ORBIT = "Testfile_20220101.eph"


@pytest.fixture(scope="module")
def opec():
    return mp.read_rinex_obs(str(data_file(OPEC))), mp.read_sp3(str(data_file(ORBIT)))


@pytest.fixture(scope="module")
def elevations_by_hand(opec):
    """analyze() without orbit, then compute_elevations(): the estimates with a flag telling
    those the orbit has a position for but compute_elevations left at 45 degrees (at or
    below the horizon, so below any cutoff of 0 or more)."""
    obs, sp3 = opec
    res = mp.MultipathAnalyzer(obs, elevation_cutoff=0.0).analyze()
    res.compute_elevations(sp3, obs.approx_position)
    flagged = []
    for e in res.estimates:
        placeholder = (e.elevation, e.azimuth) == (45.0, 0.0)
        below = placeholder and sp3.get_position(e.satellite, mp.Epoch.parse(e.epoch)) is not None
        flagged.append((e, placeholder and not below, below))
    return res, flagged


@pytest.mark.parametrize("cutoff", [0.0, 10.0, 30.0])
def test_orbit_equals_compute_elevations_and_cutoff_by_hand(opec, elevations_by_hand, cutoff):
    obs, sp3 = opec
    res = mp.MultipathAnalyzer(obs, elevation_cutoff=cutoff, orbit=sp3).analyze()
    plain, flagged = elevations_by_hand
    # Estimates without an orbit position cannot pass a cutoff: they are left out and counted.
    kept = [e for e, unknown, below in flagged if not unknown and not below and e.elevation >= cutoff]
    unpositioned = sum(1 for e, unknown, below in flagged if unknown)
    assert rows(res.estimates) == rows(kept)
    assert min(e.elevation for e in res.estimates) >= cutoff
    assert res.estimates_without_position == unpositioned > 0  # the orbit file lacks a few satellites
    assert res.estimates_without_position_by_system == {"BDS": unpositioned}  # C05
    # The statistics come from the kept estimates and their real elevations, in one pass.
    check_statistics(res, {s.signal: s.cycle_slips for s in plain.statistics})


def test_without_orbit_nothing_changes(opec):
    obs, _ = opec
    res = mp.MultipathAnalyzer(obs).analyze()
    assert res.estimates_without_position is None and res.estimates_without_position_by_system is None
    assert {(e.elevation, e.azimuth) for e in res.estimates} == {(45.0, 0.0)}


@pytest.fixture(scope="module")
def four_satellites(tmp_path_factory):
    # In the orbit file, seen from OPEC at 00:00-00:10: G08 near 70 degrees, G21 near 38,
    # G02 below the horizon; G99 is not in the orbit file.
    times = [30.0 * i for i in range(20)]
    tracks = {sat: observations(times, "G", GPS, seed=k) for k, sat in enumerate(["G02", "G08", "G21", "G99"])}
    path = write_rinex3(tmp_path_factory.mktemp("orbit") / "four.rnx", epochs_of(tracks), {"G": GPS})
    return mp.read_rinex_obs(str(path))


@pytest.mark.parametrize("keep", [False, True], ids=["left-out", "kept"])
@pytest.mark.parametrize("cutoff, satellites", [
    (-90.0, {"G02", "G08", "G21", "G99"}), (0.0, {"G08", "G21", "G99"}), (45.0, {"G08", "G99"}), (45.5, {"G08"}),
], ids=["below-horizon-kept", "horizon", "placeholder-at-cutoff", "placeholder-below-cutoff"])
def test_cutoff_acts_on_real_elevations_and_the_placeholder(opec, four_satellites, cutoff, satellites, keep):
    """G99, which the orbit lacks, is left out whatever the cutoff and counted; kept on
    request, it keeps the placeholder, which the cutoff judges, and only kept ones count."""
    obs, sp3 = opec
    res = mp.MultipathAnalyzer(four_satellites, elevation_cutoff=cutoff, orbit=sp3, receiver=obs.approx_position,
                               keep_estimates_without_position=keep).analyze()
    if not keep:
        satellites = satellites - {"G99"}
    assert {e.satellite for e in res.estimates} == satellites
    missing = [e for e in res.estimates if e.satellite == "G99"]
    assert len(missing) == (40 if "G99" in satellites else 0)
    counted = len(missing) if keep else 40
    assert res.estimates_without_position == counted
    assert res.estimates_without_position_by_system == ({"GPS": counted} if counted else {})
    assert sum(s.count for s in res.statistics) == res.total_estimates()  # statistics of what is kept
    assert all((e.elevation, e.azimuth) == (45.0, 0.0) for e in missing)
    if missing:  # the arrays give no placeholder
        c = res.to_numpy()
        g99 = c["satellite"] == "G99"
        assert np.isnan(c["elevation"][g99]).all() and np.isnan(c["azimuth"][g99]).all()
        assert not np.isnan(c["elevation"][~g99]).any()
    for e in res.estimates:
        if e.satellite != "G99":
            assert e.elevation >= cutoff
            assert e.elevation == mp.compute_elevation(sp3, obs.approx_position, e.satellite, mp.Epoch.parse(e.epoch))
    below = [e for e in res.estimates if e.satellite == "G02"]
    assert all(e.elevation < 0 for e in below)  # real angles, weight 0 in the statistics


@pytest.mark.parametrize("keep", [False, True], ids=["left-out", "kept"])
@pytest.mark.parametrize("observed", ["opec", "four_satellites"])
def test_compute_elevations_with_the_analyzers_orbit_changes_nothing(request, opec, observed, keep):
    """The analyzer and compute_elevations weigh alike: an estimate the orbit cannot place
    weighs 0 whichever computed it, one below the horizon too, so the same orbit and
    receiver again leave every angle and statistic as they were, bit for bit."""
    obs, sp3 = opec
    data = obs if observed == "opec" else request.getfixturevalue(observed)
    res = mp.MultipathAnalyzer(data, elevation_cutoff=-90.0, orbit=sp3, receiver=obs.approx_position,
                               keep_estimates_without_position=keep).analyze()
    fields = ("signal", "count", "rms", "mean", "std_dev", "min", "max", "weighted_rms", "cycle_slips")
    before = [tuple(getattr(s, f) for f in fields) for s in res.statistics], rows(res.estimates)
    assert any(s.weighted_rms != s.rms for s in res.statistics)
    assert any((e.elevation, e.azimuth) == (45.0, 0.0) for e in res.estimates) == keep
    res.compute_elevations(sp3, obs.approx_position)
    assert ([tuple(getattr(s, f) for f in fields) for s in res.statistics], rows(res.estimates)) == before


def test_receiver_given_explicitly_moves_the_sky(opec):
    obs, sp3 = opec
    p = obs.approx_position
    antipode = mp.MultipathAnalyzer(obs, elevation_cutoff=0.0, orbit=sp3, receiver=mp.Ecef(-p.x, -p.y, -p.z))
    res = antipode.analyze()
    # Every satellite OPEC tracked is below the horizon on the other side of the Earth;
    # those the orbit lacks are left out (or, kept on request, are all that remains).
    assert res.total_estimates() == 0 and res.estimates_without_position > 0
    kept = mp.MultipathAnalyzer(obs, elevation_cutoff=0.0, orbit=sp3, receiver=mp.Ecef(-p.x, -p.y, -p.z),
                                keep_estimates_without_position=True).analyze()
    assert kept.total_estimates() == kept.estimates_without_position == res.estimates_without_position


def _file_with_position(tmp_path, position):
    extra = [] if position is None else [hline(position, "APPROX POSITION XYZ")]
    lines = v3_header(types={"G": GPS}, extra=extra) + [v3_epoch(n=1), v3_sat("G01", *(obs_field(1e7) for _ in GPS))]
    path = tmp_path / "pos.rnx"
    path.write_bytes(text(lines))
    return mp.read_rinex_obs(str(path))


@pytest.mark.parametrize("position, options, error, message", [
    (None, {"orbit": "orbit.sp3"}, TypeError, "^argument 'orbit': "),
    (None, {"orbit": True, "receiver": mp.Ecef(1, 2, 3)}, TypeError, "^argument 'orbit': "),
    (None, {"orbit": ("sp3", "sp3")}, TypeError, "^argument 'orbit': more than one Sp3Data$"),
    ("1 2 3", {"orbit": "sp3", "receiver": (1.0, 2.0, 3.0)}, TypeError, "^argument 'receiver': "),
    ("1 2 3", {"receiver": mp.Ecef(1, 2, 3)}, ValueError, "^receiver is used only with an orbit: pass orbit= as well$"),
    (None, {"orbit": "sp3"}, ValueError,
     r"^Configuration error: an orbit needs a receiver position, and the file has no APPROX POSITION XYZ: "
     r"pass receiver=Ecef\(x, y, z\)$"),
    ("0.0 0.0 0.0", {"orbit": "sp3"}, ValueError, r"APPROX POSITION XYZ is 0 0 0: pass receiver=Ecef\(x, y, z\)$"),
], ids=["orbit-not-sp3", "orbit-bool", "orbit-two-sp3", "receiver-tuple", "receiver-without-orbit", "no-position", "zero-position"])
def test_orbit_and_receiver_errors(opec, tmp_path, position, options, error, message):
    _, sp3 = opec
    options = {k: (sp3 if v == "sp3" else tuple(sp3 for _ in v) if isinstance(v, tuple) else v)
               for k, v in options.items()}
    with pytest.raises(error, match=message):
        mp.MultipathAnalyzer(_file_with_position(tmp_path, position), **options)
