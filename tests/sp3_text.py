"""Builds SP3 text in the fixed columns of the format, for tests that write their own files."""

import math
from dataclasses import dataclass, field

import skyrift_mp as sk

GOOD_CLOCK = 123.456
BAD_CLOCK = 999999.999999


def header(num_epochs="96", interval="900.00000000"):
    """The two header lines that carry the epoch count and the interval."""
    first = f"#cP2019  1  1  0  0  0.00000000 {num_epochs:>7} ORBIT IGS14 HLM  IGS"
    second = f"## 2034 172800.00000000 {interval:>14} 58484 0.0000000000000"
    assert len(first) == 60 and len(second) == 60
    return [first, second]


def epoch_line(e):
    return f"*  {e.year:4d} {e.month:2d} {e.day:2d} {e.hour:2d} {e.minute:2d} {e.second:11.8f}"


def position_line(sat, x_km, y_km, z_km, clock=GOOD_CLOCK):
    return f"P{sat}{x_km:14.6f}{y_km:14.6f}{z_km:14.6f}{clock:14.6f}"


def epochs_every(seconds, count, start=(2019, 1, 1)):
    """`count` epochs `seconds` apart from midnight of `start`."""
    out = []
    for k in range(count):
        day, rest = divmod(k * seconds, 86400)
        hour, rest = divmod(rest, 3600)
        minute, second = divmod(rest, 60)
        out.append(sk.Epoch(start[0], start[1], start[2] + day, hour, minute, float(second)))
    return out


def seconds(epoch):
    """The time coordinate the interpolation works in: Julian date x 86400."""
    return epoch.julian_date() * 86400.0


@dataclass
class Sp3File:
    """Epoch blocks in file order; each block is (epoch, [(sat, x_km, y_km, z_km), ...])."""

    blocks: list = field(default_factory=list)
    head: list = field(default_factory=header)

    def add(self, epoch, sat, xyz_km):
        if not self.blocks or self.blocks[-1][0] is not epoch:
            self.blocks.append((epoch, []))
        self.blocks[-1][1].append((sat, *xyz_km))
        return self

    def text(self):
        lines = list(self.head)
        for epoch, rows in self.blocks:
            lines.append(epoch_line(epoch))
            lines.extend(position_line(*row) for row in rows)
        lines.append("EOF")
        return "\n".join(lines) + "\n"

    def write(self, path):
        path.write_text(self.text(), encoding="utf-8")
        return sk.read_sp3(str(path))


def trajectory_file(sat, epochs, position_km):
    """One satellite tabulated at `epochs`, its position a function of the time coordinate."""
    f = Sp3File()
    for e in epochs:
        f.add(e, sat, position_km(seconds(e)))
    return f


GPS_PERIOD = 43082.0
GPS_RADIUS_KM = 26560.0


def circular_orbit_km(t):
    """An inclined circular orbit of GPS size; t in the interpolation's time coordinate."""
    phase = 2.0 * math.pi * (t % GPS_PERIOD) / GPS_PERIOD
    inclination = math.radians(55.0)
    x = GPS_RADIUS_KM * math.cos(phase)
    y = GPS_RADIUS_KM * math.sin(phase) * math.cos(inclination)
    z = GPS_RADIUS_KM * math.sin(phase) * math.sin(inclination)
    return (x, y, z)
