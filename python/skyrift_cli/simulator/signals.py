"""Signals the simulator produces, with the size of their injected errors."""
from __future__ import annotations

from dataclasses import dataclass

# Three-letter names of the analysis's series keys; the simulator writes files without
# the extension module, so it keeps its own copy.
SYSTEM_NAMES = {"G": "GPS", "R": "GLO", "E": "GAL", "C": "BDS",
                "J": "QZS", "S": "SBS", "I": "IRN", "M": "MIX"}

# Default GLONASS frequency channels of slots 1..24.
GLONASS_CHANNELS = (1, -4, 5, 6, 1, -4, 5, 6, -2, -7, 0, -1,
                    -2, -7, 0, -1, 4, -3, 3, 2, 4, -3, 3, 2)


@dataclass(frozen=True)
class Signal:
    band_attr: str  # "1C": the band digit and attribute letter
    frequency: float  # Hz (GLONASS: channel 0)
    channel_step: float  # Hz per GLONASS channel, 0 for CDMA systems
    mp_sigma: float  # zenith code multipath + noise, metres (1 sigma)
    snr_offset: float  # dB added to the elevation model of the SNR

    def freq(self, channel: int = 0) -> float:
        return self.frequency + channel * self.channel_step


SIGNALS = {
    "G": (Signal("1C", 1575.42e6, 0.0, 0.30, 0.0), Signal("2W", 1227.60e6, 0.0, 0.40, -5.0)),
    "R": (Signal("1C", 1602.0e6, 562500.0, 0.45, -1.0),
          Signal("2P", 1246.0e6, 437500.0, 0.38, -4.0)),
    "E": (Signal("1C", 1575.42e6, 0.0, 0.25, 1.0), Signal("5Q", 1176.45e6, 0.0, 0.15, 3.0)),
    "C": (Signal("2I", 1561.098e6, 0.0, 0.35, -1.0), Signal("7I", 1207.14e6, 0.0, 0.25, 0.0)),
}


def series_key(system: str, band_attr: str) -> str:
    """Key under which the analysis groups a pseudorange signal ("GPSM1C")."""
    return f"{SYSTEM_NAMES[system]}M{band_attr}"


def observation_codes(system: str) -> list[str]:
    """Header order of the codes written for a system: C, L, S per signal."""
    return [kind + s.band_attr for s in SIGNALS[system] for kind in "CLS"]


def glonass_channel(sat: str) -> int:
    prn = int(sat[1:])
    return GLONASS_CHANNELS[prn - 1] if sat[0] == "R" and 1 <= prn <= 24 else 0
