"""Constellations as the module names them, listed in the module's enum order."""
from __future__ import annotations

import skyrift_mp as sk

from ..errors import CliError

# The order of the module's GnssSystem values (GPS first); the module does not
# expose it, and listings follow it rather than the satellite sort order.
DISPLAY_ORDER = "GRECJSIM"


def full_name(letter: str) -> str:
    return sk.GnssSystem(letter).name


def in_display_order(letters) -> list[str]:
    return sorted(letters, key=DISPLAY_ORDER.index)


def parse_systems(text: str | None) -> list[str] | None:
    """--systems G,R,E,C (letters or names such as GPS), checked by the module."""
    if not text:
        return None
    systems = [s.strip() for s in text.split(",") if s.strip()]
    for s in systems:
        try:
            sk.GnssSystem(s)
        except ValueError:
            raise CliError(f"--systems: unknown system '{s}' (use G, R, E, C, J, S, I)") from None
    return systems
