"""Which satellites are geostationary: they hang over one point of the sky, so their
SNR shows no rising or setting reflection and a scalogram of it says nothing. The
module holds the rule (SBAS, and BeiDou's GEO satellites from its orbit table)."""
from __future__ import annotations

import skyrift_mp as sk


def is_geostationary(satellite: str) -> bool:
    """For satellite names such as "S26", "C01", "G05"; False for a name that is none."""
    try:
        return sk.Satellite(satellite).geostationary
    except ValueError:
        return False
