"""Reading RINEX navigation files: versions 2, 3 and 4, every supported message type,
damaged records, duplicates, headers alone, decoders and the errors users see."""

import gzip

import numpy as np
import pytest
import skyrift_mp as sk
from nav_text import (
    BEIDOU_GEO,
    CIVIL,
    GALILEO,
    TOC,
    Kepler,
    State,
    frame,
    header,
    kepler_values,
    labelled,
    record_v2,
    record_v3,
    state_values,
    text,
    xyz,
)

AT_TOC = sk.Epoch(*TOC[:5], float(TOC[5]))
GLONASS_TOC = (2020, 6, 25, 4, 15, 0)
AT_GLONASS = sk.Epoch(2020, 6, 25, 4, 15, 18.0)  # UTC 04:15:00 plus 18 leap seconds


def read(tmp_path, body, name="brdc.rnx"):
    path = tmp_path / name
    path.write_bytes(body.encode() if isinstance(body, str) else body)
    return sk.read_rinex_nav(str(path))


def gps_v3(sat="G01", k=Kepler(), **kw):
    return record_v3(sat, TOC, kepler_values(k, **kw))


# ------------------------------------------------------------- one ephemeris per version

GPS_RECORD = kepler_values(Kepler())
GLONASS_RECORD = state_values(State())

SAME_EPHEMERIS = [
    pytest.param(text(header("2.11", "N", " ") + record_v2(1, TOC, GPS_RECORD)), "G01", AT_TOC, id="rinex2-gps"),
    pytest.param(text(header("3.04", "N", "G") + gps_v3()), "G01", AT_TOC, id="rinex3-gps"),
    pytest.param(text(header("4.00", "N", "M") + [frame("G01", "LNAV")] + gps_v3()), "G01", AT_TOC, id="rinex4-gps"),
    pytest.param(text(header("2.11", "G", " ", leap=18) + record_v2(5, GLONASS_TOC, GLONASS_RECORD)), "R05",
                 AT_GLONASS, id="rinex2-glonass"),
    pytest.param(text(header("3.05", "N", "R", leap=18) + record_v3("R05", GLONASS_TOC, GLONASS_RECORD)), "R05",
                 AT_GLONASS, id="rinex3-glonass"),
    pytest.param(text(header("4.00", "N", "M", leap=18) + [frame("R05", "FDMA")] +
                      record_v3("R05", GLONASS_TOC, state_values(State(), extra_line=True))), "R05", AT_GLONASS,
                 id="rinex4-glonass"),
]


@pytest.mark.parametrize("body, sat, when", SAME_EPHEMERIS)
def test_every_version_reads_the_same_ephemeris(tmp_path, body, sat, when):
    nav = read(tmp_path, body)
    assert nav.satellites() == [sat] and nav.num_ephemerides == 1
    assert repr(nav) == str(nav) == "NavData(satellites=1, ephemerides=1)"
    expected = np.array(State().position) * 1000 if sat[0] == "R" else None
    p = xyz(nav.get_position(sat, when))
    if expected is not None:  # at the reference time the broadcast state itself
        assert np.array_equal(p, expected)
    reference = read(tmp_path, SAME_EPHEMERIS[3 if sat[0] == "R" else 1].values[0], "ref.rnx")
    assert np.array_equal(p, xyz(reference.get_position(sat, when)))


# ------------------------------------------------------------- RINEX 4 message types

RINEX4_RECORDS = [
    pytest.param("G01", "LNAV", kepler_values(Kepler()), id="gps-lnav"),
    pytest.param("G01", "CNAV", kepler_values(CIVIL, civil=True), id="gps-cnav"),
    pytest.param("G01", "CNV2", kepler_values(CIVIL, civil=True) + [0.0, 0.0, 0.0, 0.0], id="gps-cnav2"),
    pytest.param("J02", "LNAV", kepler_values(Kepler()), id="qzss-lnav"),
    pytest.param("J02", "CNAV", kepler_values(CIVIL, civil=True), id="qzss-cnav"),
    pytest.param("E11", "INAV", kepler_values(GALILEO, source=517.0), id="galileo-inav"),
    pytest.param("E11", "FNAV", kepler_values(GALILEO, source=258.0), id="galileo-fnav"),
    pytest.param("C25", "D1", kepler_values(Kepler()), id="beidou-d1"),
    pytest.param("C05", "D2", kepler_values(BEIDOU_GEO), id="beidou-d2"),
    pytest.param("I03", "LNAV", kepler_values(Kepler()), id="navic-lnav"),
    pytest.param("R05", "FDMA", state_values(State(), extra_line=True), id="glonass-fdma"),
    pytest.param("S27", "SBAS", state_values(State()), id="sbas"),
]

OTHER_FRAMES = [
    "> STO G01 LNAV", "    2020 06 25 00 00 00 GPUT  UTC(USNO)",
    "     3.456000000000E+05 9.313225746155E-10 2.664535259100E-15 0.000000000000E+00",
    "> ION G01 LNAV", "    2020 06 25 00 00 00 4.656612873077E-09 1.490116119385E-08-5.960464477539E-08",
    "    -1.192092895508E-07 8.192000000000E+04 9.830400000000E+04-6.553600000000E+04",
    "> EOP G01 CNVX", "    2020 06 25 00 00 00 1.000000000000E-01 0.000000000000E+00 0.000000000000E+00",
    frame("C26", "CNV1"),  # a message type that is read over, not used
] + record_v3("C26", TOC, kepler_values(Kepler(), civil=True) + [0.0] * 4)


@pytest.mark.parametrize("sat, message, values", RINEX4_RECORDS)
def test_rinex4_message_types_are_read_between_other_frames(tmp_path, sat, message, values):
    body = header("4.00", "N", "M", leap=18) + OTHER_FRAMES + [frame(sat, message)] + record_v3(sat, TOC, values)
    nav = read(tmp_path, text(body + OTHER_FRAMES))
    assert nav.satellites() == [sat] and nav.num_ephemerides == 1
    assert nav.get_position(sat, AT_TOC) is not None


@pytest.mark.parametrize(
    "frame_line",
    [
        pytest.param(frame("G02", "LNAV"), id="frame-names-another-satellite"),
        pytest.param(frame("G01", "FDMA"), id="message-of-another-system"),
        pytest.param(frame("G01", "XNAV"), id="unknown-message"),
        pytest.param("> EPH", id="short-frame-line"),
    ],
)
def test_rinex4_records_under_a_wrong_frame_are_dropped(tmp_path, frame_line):
    body = header("4.00", "N", "M") + [frame_line] + gps_v3() + [frame("G03", "LNAV")] + gps_v3("G03")
    assert read(tmp_path, text(body)).satellites() == ["G03"]


@pytest.mark.parametrize("inav_first", [False, True], ids=["fnav-first", "inav-first"])
def test_rinex3_galileo_message_comes_from_the_data_source_bits(tmp_path, inav_first):
    """I/NAV and F/NAV at one reference time are both kept; I/NAV is the one used,
    before and after that time, whatever their order in the file."""
    inav, fnav = (replace_m0(GALILEO, m0) for m0 in (0.5, 0.9))
    records = [record_v3("E11", TOC, kepler_values(fnav, source=258.0)),
               record_v3("E11", TOC, kepler_values(inav, source=517.0))]
    rinex3 = read(tmp_path, text(header("3.05", "N", "E") + sum(records[::-1] if inav_first else records, [])))
    rinex4 = read(tmp_path, text(header("4.00", "N", "M") + [frame("E11", "INAV")] + records[1]), "inav.rnx")
    assert rinex3.num_ephemerides == 2
    for when in (sk.Epoch(2020, 6, 25, 3, 59), AT_TOC, sk.Epoch(2020, 6, 25, 4, 1)):
        assert np.array_equal(xyz(rinex3.get_position("E11", when)), xyz(rinex4.get_position("E11", when)))


def replace_m0(k, m0):
    from dataclasses import replace
    return replace(k, m0=m0)


# ------------------------------------------------------------- damaged records


def damage(lines, line, column, new):
    out = list(lines)
    out[line] = out[line][:column] + new + out[line][column + len(new):]
    return out


G02 = gps_v3("G02")
DAMAGED = [
    pytest.param(G02[:6], id="record-cut-before-its-health-line"),
    pytest.param(damage(G02, 2, 61, "   not a number   "), id="sqrt-a-not-a-number"),
    pytest.param(damage(G02, 2, 61, " " * 19), id="sqrt-a-blank"),
    pytest.param(damage(G02, 2, 23, "                nan"), id="eccentricity-nan"),
    pytest.param(damage(G02, 2, 23, " 1.500000000000E+00"), id="eccentricity-above-one"),
    pytest.param(damage(G02, 3, 4, " 9.000000000000E+05"), id="toe-beyond-a-week"),
    pytest.param(damage(G02, 0, 0, "G0X"), id="satellite-id"),
    pytest.param(damage(G02, 0, 9, "13"), id="month-13"),
    pytest.param(damage(G02, 0, 4, "20x0"), id="year-letters"),
    pytest.param(damage(G02, 0, 0, "M02"), id="mixed-is-no-satellite"),
]


@pytest.mark.parametrize("bad", DAMAGED)
def test_a_damaged_record_is_dropped_and_its_neighbours_kept(tmp_path, bad):
    body = header("3.04", "N", "G") + gps_v3("G01") + bad + gps_v3("G03")
    nav = read(tmp_path, text(body))
    assert nav.satellites() == ["G01", "G03"]


def test_blank_optional_fields_keep_the_record(tmp_path):
    values = kepler_values(Kepler(), health=None, fit=None)
    values[1] = None  # a blank clock drift is no orbit number
    assert read(tmp_path, text(header() + record_v3("G01", TOC, values))).num_ephemerides == 1


def test_fortran_numbers_without_leading_digit(tmp_path):
    lines = record_v2(1, TOC, GPS_RECORD)
    assert " 9.599000000000D-01" in lines[4]  # i0
    lines[4] = lines[4].replace(" 9.599000000000D-01", "  .959900000000D+00")
    nav = read(tmp_path, text(header("2.11", "N", " ") + lines))
    reference = read(tmp_path, text(header() + gps_v3()), "ref.rnx")
    assert np.array_equal(xyz(nav.get_position("G01", AT_TOC)), xyz(reference.get_position("G01", AT_TOC)))


# ------------------------------------------------------------- duplicates and headers


def test_repeated_record_is_kept_once_and_the_last_read_wins(tmp_path):
    first, second = gps_v3(k=replace_m0(Kepler(), 0.3)), gps_v3(k=replace_m0(Kepler(), 0.6))
    twice = read(tmp_path, text(header() + first + first))
    assert twice.num_ephemerides == 1
    replaced = read(tmp_path, text(header() + first + second), "replaced.rnx")
    only_second = read(tmp_path, text(header() + second), "second.rnx")
    assert np.array_equal(xyz(replaced.get_position("G01", AT_TOC)), xyz(only_second.get_position("G01", AT_TOC)))


@pytest.mark.parametrize(
    "lines",
    [
        pytest.param(header(), id="header-only"),
        pytest.param(header()[:-1], id="no-end-of-header"),
        pytest.param(header("4.00", extra=[labelled("    18", "LEAP SECONDS")]) + ["> STO G01 LNAV", "    x"],
                     id="rinex4-without-ephemerides"),
        pytest.param(header() + ["", "   stray continuation line", "G01"], id="stray-lines"),
    ],
)
def test_files_without_usable_records(tmp_path, lines):
    nav = read(tmp_path, text(lines))
    assert nav.num_satellites == 0 and nav.satellites() == []
    assert repr(nav) == "NavData(satellites=0, ephemerides=0)"
    assert nav.get_position("G01", AT_TOC) is None


# ------------------------------------------------------------- inputs and errors


def test_gzip_by_path_and_bytes_give_the_same_data(tmp_path):
    body = text(header() + gps_v3("G01") + gps_v3("G07")).encode()
    plain = read(tmp_path, body)
    zipped = read(tmp_path, gzip.compress(body), "brdc.rnx.gz")
    from_bytes = sk.read_rinex_nav_bytes(gzip.compress(body), "brdc.rnx.gz")
    for nav in (zipped, from_bytes, sk.read_rinex_nav_bytes(body, "brdc.rnx")):
        assert nav.satellites() == plain.satellites()
        assert np.array_equal(xyz(nav.get_position("G07", AT_TOC)), xyz(plain.get_position("G07", AT_TOC)))


def test_line_ends_and_bytes_that_are_no_text():
    """Lines end with "\\n" and any "\\r" before it; a byte that is no UTF-8 text stops the
    read with an error instead of dropping the rest of the file."""
    lines = text(header() + gps_v3("G01") + gps_v3("G07"))
    plain = sk.read_rinex_nav_bytes(lines.encode(), "brdc.rnx")
    for crlf in (lines.replace("\n", "\r\n"), lines.replace("\n", "\r\r\n")):
        nav = sk.read_rinex_nav_bytes(crlf.encode(), "brdc.rnx")
        assert nav.satellites() == ["G01", "G07"]
        assert np.array_equal(xyz(nav.get_position("G07", AT_TOC)), xyz(plain.get_position("G07", AT_TOC)))
    latin1 = lines.encode().replace(b"G07", b"G07\xb0", 1)  # a Latin-1 degree sign
    for data, name in ((latin1, "brdc.rnx"), (gzip.compress(latin1), "brdc.rnx.gz")):
        with pytest.raises(OSError, match="^Failed to read RINEX navigation: I/O error: stream did not contain "
                                          "valid UTF-8$"):
            sk.read_rinex_nav_bytes(data, name)


FIRST_LINE_ERRORS = [
    pytest.param(b"", "the first line is not a RINEX VERSION / TYPE line", id="empty"),
    pytest.param(b"hello\n", "the first line is not a RINEX VERSION / TYPE line", id="not-rinex"),
    pytest.param(text(header("3.04", "O", "G")).encode(), "not a navigation file (file type 'O')",
                 id="observation-file"),
    pytest.param(text(header("2.11", "O", " ")).encode(), "not a navigation file (file type 'O')",
                 id="rinex2-observation-file"),
    pytest.param(text(header("5.00")).encode(), "Unsupported RINEX version: 5.00", id="version-5"),
    pytest.param(text(header("x.yz")).encode(), "Unsupported RINEX version: x.yz", id="version-letters"),
    pytest.param(text(header("nan")).encode(), "Unsupported RINEX version: nan", id="version-nan"),
    pytest.param(text(header("1e300")).encode(), "Unsupported RINEX version: 1e300", id="version-huge"),
]


@pytest.mark.parametrize("data, message", FIRST_LINE_ERRORS)
def test_what_is_no_navigation_file_is_an_error(tmp_path, data, message):
    with pytest.raises(OSError, match="^Failed to read RINEX navigation: .*" + message.replace("(", r"\(").replace(")", r"\)")):
        read(tmp_path, data)
    with pytest.raises(OSError, match="^Failed to read RINEX navigation: "):
        sk.read_rinex_nav_bytes(data, "brdc.rnx")


def test_read_errors(tmp_path):
    with pytest.raises(OSError, match="^Failed to read RINEX navigation: File not found: "):
        sk.read_rinex_nav(str(tmp_path / "missing.rnx"))
    cut = gzip.compress(text(header() + gps_v3()).encode())[:-12]
    with pytest.raises(OSError, match="^Failed to read RINEX navigation: I/O error: "):
        sk.read_rinex_nav_bytes(cut, "brdc.rnx.gz")
    with pytest.raises(TypeError, match="argument 'data'"):
        sk.read_rinex_nav_bytes("text", "brdc.rnx")
    with pytest.raises(TypeError, match="argument 'path'"):
        sk.read_rinex_nav(b"brdc.rnx")  # a path is str or os.PathLike, never bytes
