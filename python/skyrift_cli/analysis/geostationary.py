"""Which satellites are geostationary: they hang over one point of the sky, so their
SNR shows no rising or setting reflection and a scalogram of it says nothing.

SBAS satellites (S) are geostationary. BeiDou gives its GEO satellites the PRNs 1-5
and 59-63 (BeiDou ICD, open service signals B1I/B3I, "GEO" satellites); the module
does not expose its BeiDou orbit types to Python, so this is the rule we go by.
"""
from __future__ import annotations

BEIDOU_GEO_PRNS = frozenset((*range(1, 6), *range(59, 64)))


def is_geostationary(satellite: str) -> bool:
    """For satellite names such as "S26", "C01", "G05"."""
    system, prn = satellite[:1], satellite[1:]
    if system == "S":
        return True
    return system == "C" and prn.isdigit() and int(prn) in BEIDOU_GEO_PRNS
