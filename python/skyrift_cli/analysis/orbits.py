"""The orbits a command works with: an SP3 file, a navigation file (broadcast
ephemerides) or both, and which of them placed each system's satellites."""
from __future__ import annotations

import warnings
from contextlib import contextmanager

import numpy as np

SYSTEM_NAMES = {"G": "GPS", "R": "GLO", "E": "GAL", "C": "BDS", "J": "QZS", "S": "SBS", "I": "IRN"}


def combined(sp3, nav):
    """The module's orbit argument: with both, SP3 is asked first and the broadcast
    ephemerides serve what it lacks."""
    if sp3 is not None and nav is not None:
        return (sp3, nav)
    return sp3 if sp3 is not None else nav


@contextmanager
def warnings_as_notes(notes: list[str]):
    """Warnings the module gives while an analysis runs (an orbit that covers only part
    of the observations) become notes of the report instead of lines on stderr."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        yield
    notes.extend(str(w.message) for w in caught)


def orbit_sources(satellites, sp3, when) -> dict[str, dict[str, list[str]]]:
    """Per system (GPS, GLO, ...): the satellites placed from "sp3" (wherever it gives a
    position at `when`, the module's rule) and from "broadcast" (the others)."""
    out: dict[str, dict[str, list[str]]] = {}
    # np.unique: the multipath command passes one entry per estimate (~300,000 a day)
    for sat in np.unique(np.asarray(satellites, dtype=str)).tolist():
        from_sp3 = sp3 is not None and sp3.get_position(sat, when) is not None
        system = out.setdefault(SYSTEM_NAMES.get(sat[0], sat[0]), {"sp3": [], "broadcast": []})
        system["sp3" if from_sp3 else "broadcast"].append(sat)
    return out


def orbit_source_line(sources) -> str:
    """Which orbit placed each system, e.g. "GPS SP3 (broadcast: G04); BDS broadcast"."""
    parts = []
    for system, by in sources.items():
        if by["sp3"] and by["broadcast"]:
            parts.append(f"{system} SP3 (broadcast: {' '.join(by['broadcast'])})")
        else:
            parts.append(f"{system} {'SP3' if by['sp3'] else 'broadcast'}")
    return "Orbits: " + "; ".join(parts)
