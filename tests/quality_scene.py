"""A small scene for the quality-control tests: two hours of 30-s GPS observations of
two satellites whose elevations (seen from a receiver on the equator) rise and set
through 10 degrees at known times, a third satellite only the orbit knows, and the SP3
orbit that carries them."""
import math
from datetime import timedelta

import skyrift_mp as sk
from rinex_synth import epochs_of, observations
from rinex_text import BASE, write_rinex3
from sp3_text import Sp3File, header as sp3_header

GPS = ["C1C", "L1C", "C2W", "L2W", "S1C"]
RECEIVER = sk.Ecef(6378137.0, 0.0, 0.0)  # on the equator at longitude 0: up is +x, north +z
TIMES = [30.0 * i for i in range(240)]    # two hours of 30-s epochs from BASE
SPAN_END = TIMES[-1]


def elevation_of(sat, t):
    """Elevation (deg) of each scene satellite t seconds after BASE, always due north."""
    return {"G01": -4.0 + 0.01 * t,    # rises through 10 deg at 1400 s
            "G02": 60.0 - 0.01 * t,    # sets through 10 deg at 5000 s
            }.get(sat, 45.0)           # the others always up, never observed


def position_km(sat, t):
    e = math.radians(elevation_of(sat, t))
    d = 20200.0
    return (6378.137 + d * math.sin(e), 0.0, d * math.cos(e))


def sk_epoch(seconds):
    t = BASE + timedelta(seconds=seconds)
    return sk.Epoch(t.year, t.month, t.day, t.hour, t.minute, t.second + t.microsecond / 1e6)


def scene_sp3(tmp_path, satellites=("G01", "G02", "G03"), shift_days=0):
    offsets = [-3600.0 + 900.0 * k for k in range(14)]
    f = Sp3File(head=sp3_header(num_epochs=str(len(offsets))))
    for offset in offsets:
        epoch = sk_epoch(offset + 86400.0 * shift_days)
        for sat in satellites:
            f.add(epoch, sat, position_km(sat, offset))
    return f.write(tmp_path / "scene.sp3")


def scene_tracks(codes=GPS, times=TIMES):
    return {"G01": observations(times, "G", codes, seed=1), "G02": observations(times, "G", codes, seed=2)}


def read_scene(tmp_path, tracks, codes=GPS, name="scene.rnx"):
    return sk.read_rinex_obs(str(write_rinex3(tmp_path / name, epochs_of(tracks), {"G": codes})))


def signal(report, code, system="G"):
    """The row of one signal in the report's dict."""
    return next(r for r in report.to_dict()["signals"] if r["system"] == system and r["code"] == code)
