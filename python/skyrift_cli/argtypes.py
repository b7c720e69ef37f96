"""Argument types: turn option text into values, or tell argparse what is wrong."""
import argparse

from .analysis.systems import DISPLAY_ORDER, full_name


def number(text: str) -> float:
    try:
        return float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number: {text!r}") from None


def positive(text: str) -> float:
    value = number(text)
    if not value > 0:
        raise argparse.ArgumentTypeError(f"must be positive: {text!r}")
    return value


def elevation_cutoff(text: str) -> float:
    """An elevation cutoff in degrees: at least -90 (keeps everything) and below 90 (a
    cutoff of 90 or more leaves no estimate)."""
    value = number(text)
    if not -90.0 <= value < 90.0:
        raise argparse.ArgumentTypeError(
            f"must be at least -90 and below 90 degrees (90 or more leaves no estimate): {text!r}")
    return value


# The constellations --systems may name, by letter or by the module's name for them.
CONSTELLATIONS = {letter: full_name(letter) for letter in DISPLAY_ORDER if letter != "M"}


def systems(text: str) -> list[str]:
    """G,R,E,C: constellations by letter or name (GPS, Galileo, ...), case ignored, as
    letters in the order given. The module itself reads only a name's first letter, which
    would turn Galileo into GPS; here a name must be whole."""
    by_name = {name.upper(): letter for letter, name in CONSTELLATIONS.items()}
    letters: list[str] = []
    for entry in (e.strip() for e in text.split(",")):
        if not entry:
            continue
        word = entry.upper()
        letter = word if word in CONSTELLATIONS else by_name.get(word)
        if letter is None:
            raise argparse.ArgumentTypeError(
                f"unknown system {entry!r} (use G, R, E, C, J, S, I or their names)")
        if letter not in letters:
            letters.append(letter)
    if not letters:
        raise argparse.ArgumentTypeError(f"names no system: {text!r}")
    return letters


def station(text: str) -> str:
    """A four-character station name or a nine-character RINEX 3 site id (ABCD00NOR)."""
    name = text.strip().upper()
    if not (len(name) in (4, 9) and name.isascii() and name.isalnum()):
        raise argparse.ArgumentTypeError(
            f"not a station name: {text!r} (four letters or digits, or a nine-character "
            "site id such as ABCD00NOR)")
    return name


def day(text: str):
    """A calendar day written YYYY-MM-DD, as a datetime at midnight."""
    import datetime as dt

    try:
        return dt.datetime.strptime(text, "%Y-%m-%d")
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a date YYYY-MM-DD: {text!r}") from None


def lat_lon_height(text: str) -> tuple[float, float, float]:
    """LAT,LON,HEIGHT: geodetic degrees and metres above the ellipsoid."""
    parts = text.split(",")
    if len(parts) != 3:
        raise argparse.ArgumentTypeError(f"not LAT,LON,HEIGHT: {text!r}")
    lat, lon, height = (number(p) for p in parts)
    if not -90.0 <= lat <= 90.0:
        raise argparse.ArgumentTypeError(f"latitude outside -90..90 degrees: {text!r}")
    if not -180.0 <= lon <= 360.0:
        raise argparse.ArgumentTypeError(f"longitude outside -180..360 degrees: {text!r}")
    if not -1.0e4 < height < 1.0e5:
        raise argparse.ArgumentTypeError(f"height not between -10 and 100 km: {text!r}")
    return lat, lon, height


def comma_list(values: list[str] | None) -> list[str] | None:
    """An option taking several values, given as separate words, with commas, or both
    (G01,G02 G03); None when not given."""
    if not values:
        return None
    return [s.strip() for v in values for s in v.split(",") if s.strip()]


def whole_number(text: str, least: int = 0) -> int:
    """A whole number, `least` or more."""
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if value < least:
        wording = "zero or more" if least == 0 else f"at least {least}"
        raise argparse.ArgumentTypeError(f"must be {wording}: {text!r}")
    return value


def count(text: str) -> int:
    """A whole number of things, zero or more."""
    return whole_number(text)


def signal_fraction(text: str) -> tuple[str, str, float]:
    """SYS:CODE:FRACTION, e.g. G:C2W:0.3: a system letter, a pseudorange code and a
    fraction above 0 and at most 1."""
    parts = text.split(":")
    if len(parts) != 3:
        raise argparse.ArgumentTypeError(f"not SYS:CODE:FRACTION (e.g. G:C2W:0.3): {text!r}")
    system, code, fraction = parts[0].strip().upper(), parts[1].strip().upper(), number(parts[2])
    if system not in CONSTELLATIONS:
        raise argparse.ArgumentTypeError(f"unknown system {parts[0]!r} in {text!r}")
    if not (len(code) == 3 and code[0] == "C" and code[1].isdigit()):
        raise argparse.ArgumentTypeError(f"not a pseudorange code such as C1C: {parts[1]!r}")
    if not 0.0 < fraction <= 1.0:
        raise argparse.ArgumentTypeError(f"the fraction must be above 0 and at most 1: {text!r}")
    return system, code, fraction
