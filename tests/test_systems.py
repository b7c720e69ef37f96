"""Systems, satellites and carrier frequencies."""
import re

import pytest
import skyrift_mp as sk


@pytest.mark.parametrize("code, letter, name", [
    ("G", "G", "GPS"), ("r", "R", "GLONASS"), ("gps", "G", "GPS"), ("E", "E", "Galileo"),
    ("C", "C", "BeiDou"), ("J", "J", "QZSS"), ("S", "S", "SBAS"), ("I", "I", "NavIC"),
    ("M", "M", "Mixed"), ("Galileo", "G", "GPS"),
])
def test_system_from_first_letter(code, letter, name):
    s = sk.GnssSystem(code)
    assert (s.code, s.name, str(s), repr(s)) == (letter, name, name, f"GnssSystem('{letter}')")


@pytest.mark.parametrize("code, message", [
    ("", "Empty system code"), ("X", "Unknown system: X"), ("xyz", "Unknown system: xyz"),
    ("é", "Unknown system: é"),
])
def test_system_errors(code, message):
    with pytest.raises(ValueError, match=f"^{re.escape(message)}$"):
        sk.GnssSystem(code)


@pytest.mark.parametrize("text, sat_id, prn, system", [
    (" g5 ", "G05", 5, "G"), ("E+12", "E12", 12, "E"), ("G0", "G00", 0, "G"),
    ("G999", "G999", 999, "G"), ("E105", "E105", 105, "E"), ("R 24", "R24", 24, "R"),
    ("\u3000C07\u00a0", "C07", 7, "C"), ("G4294967295", "G4294967295", 4294967295, "G"),
])
def test_satellite_parsing(text, sat_id, prn, system):
    s = sk.Satellite(text)
    assert (s.id, s.prn, s.system.code, str(s), repr(s)) == (sat_id, prn, system, sat_id, f"Satellite('{sat_id}')")


@pytest.mark.parametrize("text", ["G", "G-1", "Z01", "G+", "G1x", "", "G4294967296", "G+-1", "GG1"])
def test_satellite_rejections(text):
    with pytest.raises(ValueError, match=f"^{re.escape('Invalid satellite ID: ' + text)}$"):
        sk.Satellite(text)


@pytest.mark.parametrize("system, band, fcn, expected", [
    ("G", 1, None, 1575420000.0), ("G", 2, None, 1227600000.0), ("G", 5, None, 1176450000.0),
    ("R", 1, -7, 1598062500.0), ("R", 1, 6, 1605375000.0), ("R", 2, None, 1246000000.0),
    ("R", 2, -7, 1242937500.0), ("R", 3, 5, 1202025000.0), ("E", 6, None, 1278750000.0),
    ("E", 8, None, 1191795000.0), ("C", 2, None, 1561098000.0), ("C", 6, None, 1268520000.0),
    ("J", 6, None, 1278750000.0), ("S", 5, None, 1176450000.0), ("I", 9, None, 2492028000.0),
    ("GPS", 1, None, 1575420000.0),
    ("E", 2, None, None), ("G", 0, None, None), ("G", 4, None, None), ("g", 1, None, None),
    ("", 1, None, None), ("M", 1, None, None), ("I", 1, None, None), ("X", 1, None, None),
])
def test_frequency_table(system, band, fcn, expected):
    assert sk.get_frequency(system, band, fcn) == expected


def test_wavelength_is_c_over_frequency():
    assert sk.get_wavelength("G", 1) == 299792458.0 / 1575420000.0
    assert sk.get_wavelength("R", 1, -7) == 299792458.0 / 1598062500.0
    assert sk.get_wavelength("E", 2) is None
