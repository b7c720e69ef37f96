"""Broadcast orbits of the ESBC day against its precise orbit.

Per system: the median, 95th percentile and maximum of the 3-D distance between
`NavData.get_position` and `Sp3Data.get_position` at every SP3 epoch (every satellite
of both files), and the same restricted to the epochs the station observed the
satellite (those with estimates); then, for every multipath estimate of the day above 5 degrees, the
elevation from the broadcast orbit minus the one from the precise orbit; and how
many BeiDou estimates get an elevation from each.

Usage: python bench/nav_vs_sp3.py [NAV SP3 OBS]   (default: the ESBC files in ../shared/data)
"""

import sys
from collections import defaultdict
from pathlib import Path

import numpy as np
import skyrift_mp as sk
from real_data import data_file

DEFAULT = ("ESBC00DNK_R_20201770000_01D_MN.rnx.gz", "GRG0MGXFIN_20201770000_01D_15M_ORB.SP3",
           "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz")
NAMES = {"G": "GPS", "R": "GLONASS", "E": "Galileo", "C": "BeiDou", "J": "QZSS", "S": "SBAS", "I": "NavIC"}


def sp3_epochs(path):
    out = []
    for line in open(path):
        if line.startswith("*"):
            y, mo, d, h, mi = (int(v) for v in line[3:31].split()[:5])
            out.append(sk.Epoch(y, mo, d, h, mi, float(line[3:31].split()[5])))
    return out


def figures(values, fmt="9.3f"):
    v = np.asarray(values)
    return (f"median {np.median(v):{fmt}}  95% {np.percentile(v, 95):{fmt}}  max {v.max():{fmt}}  (n={len(v)})")


def main():
    nav_path, sp3_path, obs_path = (Path(p) for p in sys.argv[1:4]) if len(sys.argv) == 4 else \
        (data_file(name) for name in DEFAULT)
    for p in (nav_path, sp3_path, obs_path):
        if not p.exists():
            sys.exit(f"{p} not found (the real files live in ../shared/data)")
    nav, sp3 = sk.read_rinex_nav(str(nav_path)), sk.read_sp3(str(sp3_path))
    obs = sk.read_rinex_obs(str(obs_path))
    print(f"{nav!r} from {nav_path.name}\n{sp3!r} from {sp3_path.name}")

    angles = {}
    for label, orbit in (("nav", nav), ("sp3", sp3)):
        results = sk.MultipathAnalyzer(obs).analyze()
        counts = results.compute_elevations(orbit, obs.approx_position)
        est = results.estimates
        angles[label] = np.array([(e.elevation, e.azimuth) for e in est])
        print(f"compute_elevations with {label}: {counts[0]} computed, {counts[1]} failed of {len(est)}")
    systems = np.array([e.system for e in est])
    # When the station saw each satellite (it has estimates then), to the minute.
    observed = {(e.satellite, e.epoch[:16]) for e in est}

    distance = defaultdict(list)
    distance_seen = defaultdict(list)
    epochs = sp3_epochs(sp3_path)
    for sat in sp3.satellites():
        for e in epochs:
            p, q = sp3.get_position(sat, e), nav.get_position(sat, e)
            if p is None or q is None:
                continue
            d = float(np.linalg.norm([p.x - q.x, p.y - q.y, p.z - q.z]))
            distance[sat[0]].append(d)
            if (sat, e.to_iso()[:16]) in observed:
                distance_seen[sat[0]].append(d)
    print("\n3-D distance broadcast - precise at every SP3 epoch (m):")
    for s in sorted(distance):
        print(f"  {NAMES[s]:<8} all epochs:  {figures(distance[s])}")
        if distance_seen[s]:
            print(f"  {'':<8} when seen:   {figures(distance_seen[s])}")

    placed = {k: ~((a[:, 0] == 45.0) & (a[:, 1] == 0.0)) for k, a in angles.items()}
    both = placed["nav"] & placed["sp3"] & (angles["sp3"][:, 0] > 5.0)
    print("\nelevation broadcast - precise, estimates above 5 deg (deg):")
    for s in sorted(set(systems[both])):
        sel = both & (systems == s)
        d = np.abs(angles["nav"][sel, 0] - angles["sp3"][sel, 0])
        print(f"  {NAMES[s]:<8} {figures(d, '9.2e')}  above 0.002 deg: {(d > 0.002).sum()}")
    beidou = systems == "C"
    print(f"\nBeiDou estimates: {beidou.sum()}; with an elevation from the navigation file: "
          f"{(beidou & placed['nav']).sum()}, from the precise orbit: {(beidou & placed['sp3']).sum()}")


if __name__ == "__main__":
    main()
