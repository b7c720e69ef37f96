"""Constellations as the module names them, listed in the module's enum order."""
from __future__ import annotations

import skyrift_mp as sk

# The order of the module's GnssSystem values (GPS first); the module does not
# expose it, and listings follow it rather than the satellite sort order.
DISPLAY_ORDER = "GRECJSIM"


def full_name(letter: str) -> str:
    return sk.GnssSystem(letter).name


def in_display_order(letters) -> list[str]:
    return sorted(letters, key=DISPLAY_ORDER.index)


def system_rank(letter: str) -> int:
    """Place of a system letter in listings; an unknown letter comes last."""
    return DISPLAY_ORDER.index(letter) if letter in DISPLAY_ORDER else len(DISPLAY_ORDER)
