"""SP3 reading, orbit interpolation and satellite elevation."""

import datetime
import gzip
import inspect
import math
import threading
from pathlib import Path

import pytest
import skyrift_mp as sk
from sp3_text import (
    BAD_CLOCK,
    GPS_RADIUS_KM,
    Sp3File,
    circular_orbit_km,
    epoch_line,
    epochs_every,
    header,
    position_line,
    seconds,
    trajectory_file,
)

from gzip_damage import GZIP_DAMAGE, damaged_gzip
from lock_release import steps_while
from shared_data import DATA_DIR as DATA
from shared_data import VALIDATION_DIR as VALIDATION
from shared_data import Orbit, data_file, files_of
NOON = sk.Epoch(2019, 1, 1, 12)


def read_text(tmp_path, text, name="orbit.sp3"):
    path = tmp_path / name
    path.write_bytes(text.encode("utf-8") if isinstance(text, str) else text)
    return sk.read_sp3(str(path))


def constant_file(sat="G01", count=9, xyz_km=(1.5, 2.25, -3.0)):
    f = Sp3File()
    for e in epochs_every(900, count):
        f.add(e, sat, xyz_km)
    return f


def xyz(p):
    return (p.x, p.y, p.z)


# ---------------------------------------------------------------- reading


@pytest.mark.parametrize(
    "head, num_epochs, interval, shown",
    [
        pytest.param(header("96", "900.00000000"), 96, 900.0, "900", id="plain"),
        pytest.param(header("289", "30.5"), 289, 30.5, "30.5", id="fractional-interval"),
        pytest.param(header("abc", "letters"), 0, 900.0, "900", id="unparsable-fields"),
        pytest.param(header("", ""), 0, 900.0, "900", id="empty-fields"),
        pytest.param(header("-5", "0.001"), 0, 0.001, "0.001", id="negative-count"),
        pytest.param([header()[0]], 96, 0.0, "0", id="no-interval-line"),
        pytest.param([header()[0][:59], header()[1][:59]], 0, 0.0, "0", id="lines-of-59-characters"),
        pytest.param(["#aP2019" + header()[0][7:], header()[1]], 96, 900.0, "900", id="version-a"),
        pytest.param(["#eP2019" + header()[0][7:], header()[1]], 0, 900.0, "900", id="unknown-version-letter"),
    ],
)
def test_header_epoch_count_interval_and_repr(tmp_path, head, num_epochs, interval, shown):
    f = constant_file()
    f.head = head
    for _, rows in f.blocks:
        rows.append(("R05", 1.0, 2.0, 3.0))
    d = f.write(tmp_path / "h.sp3")
    assert (d.num_epochs, d.interval, sorted(d.satellites())) == (num_epochs, interval, ["G01", "R05"])
    assert repr(d) == str(d) == f"Sp3Data(satellites=2, epochs={num_epochs}, interval={shown}s)"


@pytest.mark.parametrize("text, what", [
    ("", "the file is empty"),
    (constant_file().text().split("\n", 2)[2], "the first line is not an SP3 header"),
], ids=["empty", "no-header-lines"])
def test_a_file_without_the_first_header_line_is_no_sp3_file(tmp_path, text, what):
    # Other kinds of file, named: tests/test_errors.py.
    with pytest.raises(OSError) as info:
        read_text(tmp_path, text)
    assert str(info.value) == "Failed to read SP3: not an SP3 file: " + what


def test_crlf_line_endings_read_like_lf(tmp_path):
    text = trajectory_file("G07", epochs_every(900, 12), circular_orbit_km).text()
    lf = read_text(tmp_path, text, "lf.sp3")
    crlf = read_text(tmp_path, text.replace("\n", "\r\n"), "crlf.sp3")
    target = sk.Epoch(2019, 1, 1, 1, 20)
    assert (repr(crlf), xyz(crlf.get_position("G07", target))) == (repr(lf), xyz(lf.get_position("G07", target)))


G02 = position_line("G02", 1.0, 2.0, 3.0)


def nine_epochs_then(line_for_g02):
    """G01 at nine epochs; G02 appears only in `line_for_g02`, placed after the first block."""
    lines = header()
    for k, e in enumerate(epochs_every(900, 9)):
        lines.append(epoch_line(e))
        lines.append(position_line("G01", 1.0, 2.0, 3.0))
        if k == 0:
            lines.append(line_for_g02)
    return "\n".join(lines) + "\n"


@pytest.mark.parametrize(
    "g02_line, kept",
    [
        pytest.param(G02, True, id="good"),
        # A bad clock says nothing against the position beside it (MGEX files mark the
        # clocks of their last epoch so).
        pytest.param(position_line("G02", 1, 2, 3, clock=BAD_CLOCK), True, id="bad-clock-marker"),
        pytest.param(position_line("G02", 1, 2, 3, clock=-900000.5), True, id="clock-beyond-limit"),
        pytest.param(position_line("G02", 1, 2, 3, clock=-900000.0), True, id="clock-at-limit"),
        pytest.param(G02[:46] + "   not-a-clock", True, id="unparsable-clock"),
        pytest.param(G02[:59], False, id="59-characters"),
        pytest.param(G02[:59] + "\r", False, id="59-characters-then-crlf"),
        # Only one "\r" belongs to the line end, so the second one makes the line 60 long.
        pytest.param(G02[:59] + "\r\r", True, id="59-characters-then-cr-crlf"),
        pytest.param(G02 + "  extra columns", True, id="longer-than-60"),
        pytest.param(position_line("X02", 1.0, 2.0, 3.0), False, id="unknown-system"),
        pytest.param(G02.replace("PG02", "Pg 2"), True, id="lower-case-id-with-blank"),
        # SP3-a and many SP3-c files leave the system letter blank: GPS, as the format says.
        pytest.param(G02.replace("PG02", "P  2"), True, id="blank-system-letter"),
        pytest.param(G02.replace("PG02", "P 2 "), True, id="blank-system-letter-left-aligned"),
        pytest.param(G02.replace("PG02", "P   "), False, id="blank-identifier"),
        # Only a coordinate that parses is a position; 0.000000 in all three is "unknown".
        pytest.param("PG02" + "x" * 42 + "123.456".rjust(14), False, id="unparsable-coordinates"),
        pytest.param(G02[:16] + "é" + G02[18:], False, id="two-byte-character-inside-field"),
        pytest.param(position_line("G02", 0.0, 0.0, 0.0), False, id="unknown-position"),
        pytest.param(position_line("G02", 0.0, 0.0, 3.0), True, id="one-zero-coordinate"),
        pytest.param(G02[:4] + "nan".rjust(14) + G02[18:], False, id="nan-coordinate"),
        pytest.param(G02[:17] + "é" + G02[19:], False, id="two-byte-character-across-column"),
    ],
)
def test_position_line_rules(tmp_path, g02_line, kept):
    d = read_text(tmp_path, nine_epochs_then(g02_line))
    assert sorted(d.satellites()) == (["G01", "G02"] if kept else ["G01"])


def test_unknown_positions_at_the_end_of_a_day_are_no_records(tmp_path):
    """A satellite whose last records are 0.000000 (position unknown) ends with its last
    known record instead of being dragged to the Earth's centre."""
    epochs = epochs_every(900, 96)
    f = trajectory_file("G12", epochs, circular_orbit_km)
    for k in range(90, 96):
        f.blocks[k] = (epochs[k], [("G12", 0.0, 0.0, 0.0)])
    d = f.write(tmp_path / "zeros.sp3")
    assert d.last_epoch().to_iso() == epochs[89].to_iso()
    at_end = d.get_position("G12", sk.Epoch(2019, 1, 1, 22, 30))  # 15 min after the last known record
    assert at_end.magnitude() == pytest.approx(GPS_RADIUS_KM * 1000.0, rel=1e-3)
    assert d.get_position("G12", sk.Epoch(2019, 1, 1, 23, 0)) is None


def test_position_lines_before_the_first_epoch_are_ignored(tmp_path):
    lines = header() + [position_line("R01", 1.0, 2.0, 3.0)]
    text = "\n".join(lines) + "\n" + constant_file().text()
    assert read_text(tmp_path, text).satellites() == ["G01"]


@pytest.mark.parametrize(
    "bad_line",
    [
        pytest.param("*  2019  1  1  0  x  0.00000000", id="unparsable-minute"),
        pytest.param("*  2019  1  1  0  0", id="five-fields-short-line"),
        pytest.param("*  2019  1  1  0", id="short-line"),
        pytest.param("*", id="star-only"),
        pytest.param("*  2019  1  1  0  0  0.0000000é", id="character-split-at-column-31"),
        pytest.param("*  19.5  1  1  0  0  0.00000000", id="float-year"),
    ],
)
def test_bad_epoch_line_keeps_the_previous_epoch(tmp_path, bad_line):
    """G02's first record follows a bad epoch line: it belongs to the first epoch, so
    G02 has nine records at nine distinct epochs and its trajectory interpolates."""
    epochs = epochs_every(900, 9)
    lines = header()
    for k, e in enumerate(epochs):
        lines.append(epoch_line(e))
        lines.append(position_line("G01", 1.0, 2.0, 3.0))
        if k == 0:
            lines.append(bad_line)
        lines.append(position_line("G02", *circular_orbit_km(seconds(e))))
    d = read_text(tmp_path, "\n".join(lines) + "\n")
    p = d.get_position("G02", epochs[0])
    assert p is not None
    assert xyz(p) == pytest.approx([1000.0 * c for c in circular_orbit_km(seconds(epochs[0]))], abs=1e-3)


def test_two_digit_epoch_year_is_not_widened(tmp_path):
    epochs = epochs_every(900, 9, start=(19, 1, 1))
    d = trajectory_file("G01", epochs, circular_orbit_km).write(tmp_path / "y19.sp3")
    assert "*    19  1  1" in (tmp_path / "y19.sp3").read_text()
    want = [1000.0 * c for c in circular_orbit_km(seconds(epochs[4]))]
    assert xyz(d.get_position("G01", epochs[4])) == pytest.approx(want, abs=1e-3)


NOT_UTF8 = "I/O error: stream did not contain valid UTF-8"


@pytest.mark.parametrize(
    "make_content, message",
    [
        pytest.param(lambda: gzip.compress(constant_file().text().encode()),
                     "not an SP3 file: gzip-compressed data (the name does not end in .gz)", id="gzip-compressed"),
        pytest.param(lambda: constant_file().text().encode() + b"* \xff\xfe\n", NOT_UTF8, id="invalid-utf8-line"),
        pytest.param(lambda: None, "I/O error: No such file or directory (os error 2)", id="missing-file"),
        pytest.param(lambda: "dir", "I/O error: Is a directory (os error 21)", id="directory"),
    ],
)
def test_read_failures(tmp_path, make_content, message):
    content = make_content()
    path = tmp_path / "orbit.sp3"
    if content == "dir":
        path.mkdir()
    elif content is not None:
        path.write_bytes(content)
    with pytest.raises(OSError) as info:
        sk.read_sp3(str(path))
    assert str(info.value) == "Failed to read SP3: " + message


def test_path_with_nul_byte_does_not_open_a_shorter_name(tmp_path):
    constant_file().write(tmp_path / "orbit.sp3")
    with pytest.raises(OSError, match="^Failed to read SP3: I/O error: file name contained an unexpected NUL byte$"):
        sk.read_sp3(str(tmp_path / "orbit.sp3") + "\0.gz")


def _span_cases():
    early, middle, late = epochs_every(900, 3)
    shuffled = Sp3File().add(middle, "G01", (1.0, 2.0, 3.0)).add(early, "G02", (1.0, 2.0, 3.0))
    bad_clock_last = Sp3File().add(early, "G01", (1.0, 2.0, 3.0)).add(late, "G01", (1.0, 2.0, 3.0, BAD_CLOCK))
    epoch_line_only_last = Sp3File().add(early, "G01", (1.0, 2.0, 3.0))
    epoch_line_only_last.blocks.append((late, []))
    unknown_last = Sp3File().add(early, "G01", (1.0, 2.0, 3.0)).add(late, "G01", (0.0, 0.0, 0.0))
    only_bad = Sp3File().add(early, "G01", (1.0, 2.0, 3.0, BAD_CLOCK))
    only_unknown = Sp3File().add(early, "G01", (0.0, 0.0, 0.0))
    return [
        pytest.param(shuffled, (early, middle), id="file-order-is-not-time-order"),
        pytest.param(bad_clock_last, (early, late), id="bad-clock-records-count"),
        pytest.param(unknown_last, (early, early), id="unknown-positions-do-not-count"),
        pytest.param(epoch_line_only_last, (early, early), id="epoch-line-without-records"),
        pytest.param(only_bad, (early, early), id="only-bad-clocks"),
        pytest.param(only_unknown, None, id="no-kept-record"),
        pytest.param(Sp3File(), None, id="no-record"),
    ]


@pytest.mark.parametrize("orbit_file, span", _span_cases())
def test_first_and_last_epoch_span_the_kept_records(tmp_path, orbit_file, span):
    d = orbit_file.write(tmp_path / "a.sp3")
    got = (d.first_epoch(), d.last_epoch())
    if span is None:
        assert got == (None, None)
    else:
        assert [e.to_iso() for e in got] == [e.to_iso() for e in span]


# ---------------------------------------------------------------- gzip-compressed files


def tabulated_epochs(text):
    """Every epoch of the file's "*" lines, and the midpoints between neighbours."""
    stamps = []
    for line in text.splitlines():
        if line.startswith("*"):
            year, month, day, hour, minute, second = line[3:31].split()[:6]
            stamps.append(sk.Epoch(int(year), int(month), int(day), int(hour), int(minute), float(second)))
    halves = [sk.Epoch(a.year, a.month, a.day, a.hour, a.minute, a.second + (b.julian_date() - a.julian_date()) * 43200.0)
              for a, b in zip(stamps, stamps[1:])]
    return stamps + halves


def orbit_table(d, epochs):
    """Everything a reader gives: header values, span, satellites, and each one's positions."""
    positions = {sat: [p and xyz(p) for p in (d.get_position(sat, e) for e in epochs)] for sat in d.satellites()}
    span = [e and e.to_iso() for e in (d.first_epoch(), d.last_epoch())]
    return d.num_epochs, d.interval, d.num_satellites, span, positions


def generated_sp3():
    f = trajectory_file("G07", epochs_every(900, 20), circular_orbit_km)
    for k, (_, rows) in enumerate(f.blocks):
        rows.append(("E12", 1000.0 + k, -2000.0 - k, 3000.5))
    return "generated.sp3", f.text().replace("\n", "\r\n").encode()


def real_sp3(name):
    return name, data_file(name).read_bytes()


@pytest.mark.parametrize(
    "make_file",
    [
        pytest.param(generated_sp3, id="generated-crlf"),
        pytest.param(lambda: real_sp3("igs20342.sp3"), id="igs20342.sp3"),
        pytest.param(lambda: real_sp3("COD0MGXFIN_20211180000_01D_05M_ORB.SP3"), id="COD0MGXFIN-upper-case-SP3"),
    ],
)
def test_gzip_compressed_file_reads_like_the_plain_one(tmp_path, make_file):
    name, raw = make_file()
    (tmp_path / name).write_bytes(raw)
    (tmp_path / (name + ".gz")).write_bytes(gzip.compress(raw))
    plain = sk.read_sp3(str(tmp_path / name))
    packed = sk.read_sp3(str(tmp_path / (name + ".gz")))
    epochs = tabulated_epochs(raw.decode())
    table = orbit_table(plain, epochs)
    assert table[2] > 0 and any(p is not None for track in table[4].values() for p in track)
    assert orbit_table(packed, epochs) == table
    assert repr(packed) == repr(plain)


@pytest.mark.parametrize("kind, message", GZIP_DAMAGE)
def test_damaged_gzip_file_fails_with_the_decoder_message(tmp_path, kind, message):
    path = tmp_path / "orbit.sp3.gz"
    path.write_bytes(damaged_gzip(constant_file().text().encode(), kind))
    with pytest.raises(OSError) as info:
        sk.read_sp3(str(path))
    assert str(info.value) == "Failed to read SP3: I/O error: " + message


# ---------------------------------------------------------------- interpolation


def polynomial_km(degree, t_ref, unit_seconds=3600.0):
    """A polynomial of the given degree in time from t_ref, with terms of similar size."""

    def position(t):
        u = (t - t_ref) / unit_seconds
        terms = [3000.0 / 3.0**k * u**k for k in range(degree + 1)]
        return (sum(terms), sum(terms[::-1]) * 0.5, sum((-1) ** k * c for k, c in enumerate(terms)))

    return position


def lebesgue(node_times, target):
    """Sum of |Lagrange basis| at target over the nine nearest nodes: how far the file's
    millimetre rounding can move the interpolated value."""
    nodes = sorted(node_times, key=lambda t: abs(t - target))[:9]
    total = 0.0
    for i, ti in enumerate(nodes):
        basis = 1.0
        for j, tj in enumerate(nodes):
            if j != i:
                basis *= (target - tj) / (ti - tj)
        total += abs(basis)
    return total


@pytest.mark.parametrize("degree", [0, 1, 3, 8])
@pytest.mark.parametrize("minutes", [0, 7.5, 95, 180, 325.25, 359.9], ids=lambda m: f"{m}min")
def test_polynomials_up_to_degree_8_are_reproduced_to_rounding(tmp_path, degree, minutes):
    epochs = epochs_every(1800, 13)  # 00:00 .. 06:00
    times = [seconds(e) for e in epochs]
    truth = polynomial_km(degree, times[6])
    d = trajectory_file("E11", epochs, truth).write(tmp_path / "poly.sp3")
    target = sk.Epoch(2019, 1, 1, int(minutes // 60), int(minutes % 60), (minutes % 1) * 60.0)
    t = seconds(target)
    bound = lebesgue(times, t) * 0.0005 + 1e-6  # half a file millimetre per node, plus arithmetic
    got = xyz(d.get_position("E11", target))
    for g, want_km in zip(got, truth(t)):
        assert abs(g - want_km * 1000.0) <= bound


def test_circular_orbit_every_15_minutes_to_centimetres(tmp_path):
    epochs = epochs_every(900, 96)
    d = trajectory_file("G12", epochs, circular_orbit_km).write(tmp_path / "circle.sp3")
    worst = 0.0
    for k in range(2 * 60 + 1, 22 * 60, 7):  # every 7 minutes from 02:01 to 21:56
        target = sk.Epoch(2019, 1, 1, k // 60, k % 60, 13.25)
        want = [1000.0 * c for c in circular_orbit_km(seconds(target))]
        got = xyz(d.get_position("G12", target))
        worst = max(worst, max(abs(g - w) for g, w in zip(got, want)))
    assert worst < 0.01


def test_tabulated_epoch_returns_the_record(tmp_path):
    epochs = epochs_every(900, 20)
    d = trajectory_file("G12", epochs, circular_orbit_km).write(tmp_path / "nodes.sp3")
    for e in epochs:
        want = [round(c, 6) * 1000.0 for c in circular_orbit_km(seconds(e))]
        assert xyz(d.get_position("G12", e)) == pytest.approx(want, abs=1e-6)


def test_only_the_nine_nearest_records_are_used(tmp_path):
    epochs = epochs_every(1800, 15)
    truth = polynomial_km(8, seconds(epochs[7]))
    f = trajectory_file("C20", epochs, truth)
    for k in (0, 1, 2, 12, 13, 14):  # far from 03:30: corrupting them must not matter
        f.blocks[k][1][0] = ("C20", 1.0, 2.0, 3.0)
    d = f.write(tmp_path / "far.sp3")
    target = sk.Epoch(2019, 1, 1, 3, 40)
    got = xyz(d.get_position("C20", target))
    assert got == pytest.approx([1000.0 * c for c in truth(seconds(target))], abs=0.01)


@pytest.mark.parametrize(
    "garbage_first",
    [
        pytest.param(False, id="truth-first-in-file"),
        pytest.param(True, id="garbage-first-in-file"),
    ],
)
def test_equal_distances_are_broken_by_file_order(tmp_path, garbage_first):
    """Ten records three hours apart (binary-exact Julian dates); at 13:30 the records at
    00:00 and 27:00 tie for ninth place, and the one earlier in the file wins."""
    epochs = epochs_every(3 * 3600, 10)
    truth = polynomial_km(8, seconds(epochs[4]), unit_seconds=3 * 3600.0)
    f = trajectory_file("G03", epochs, truth)
    garbage = (epochs[9], [("G03", 7000.0, 7000.0, 7000.0)])
    f.blocks = [garbage, *f.blocks[:-1]] if garbage_first else [*f.blocks[:-1], garbage]
    d = f.write(tmp_path / "tie.sp3")
    target = sk.Epoch(2019, 1, 1, 13, 30)
    assert abs(seconds(target) - seconds(epochs[0])) == abs(seconds(epochs[9]) - seconds(target))
    error = max(abs(g - 1000.0 * w) for g, w in zip(xyz(d.get_position("G03", target)), truth(seconds(target))))
    assert (error > 1000.0) if garbage_first else (error < 0.01)


def test_midnight_duplicate_gives_the_positions_of_the_file_without_it(tmp_path):
    """Two daily files concatenated: the second repeats 2019-01-02 00:00 (with a slightly
    different solution). Its first record is used, the repeat is passed over."""
    day1 = trajectory_file("G05", epochs_every(900, 97), circular_orbit_km)  # 00:00 .. 24:00
    day2 = trajectory_file("G05", epochs_every(900, 40, start=(2019, 1, 2)), circular_orbit_km)
    sat, x, y, z = day2.blocks[0][1][0]
    day2.blocks[0][1][0] = (sat, x + 0.001, y, z)
    with_repeat = read_text(tmp_path, day1.text() + day2.text(), "joined.sp3")
    without = read_text(tmp_path, day1.text() + Sp3File(day2.blocks[1:]).text(), "deduplicated.sp3")
    targets = [sk.Epoch(2019, 1, 1, 22, 0, 0.0)] + [sk.Epoch(2019, 1, 1, 23, m, 0.0) for m in range(0, 60, 5)]
    targets += [sk.Epoch(2019, 1, 2, m // 60, m % 60, 30.0) for m in range(0, 120, 10)] + [sk.Epoch(2019, 1, 2)]
    for t in targets:
        got = with_repeat.get_position("G05", t)
        assert got is not None and all(math.isfinite(c) for c in xyz(got))
        assert xyz(got) == xyz(without.get_position("G05", t))


def test_repeated_epochs_do_not_count_as_distinct_nodes(tmp_path):
    f = constant_file(count=8)
    f.blocks.append(f.blocks[3])  # nine records, eight epochs
    inside = sk.Epoch(2019, 1, 1, 1)
    assert f.write(tmp_path / "eight.sp3").get_position("G01", inside) is None
    f.blocks.append((sk.Epoch(2019, 1, 1, 3), [("G01", 1.5, 2.25, -3.0)]))
    assert f.write(tmp_path / "nine.sp3").get_position("G01", inside) is not None


@pytest.mark.parametrize(
    "count, satellite, epoch, has_position",
    [
        pytest.param(8, "G01", sk.Epoch(2019, 1, 1, 1), False, id="8-records"),
        pytest.param(9, "G01", sk.Epoch(2019, 1, 1, 1), True, id="9-records"),
        # Records 00:00 to 02:00: positions reach one record spacing (900 s) beyond them.
        pytest.param(9, "G01", sk.Epoch(2019, 1, 1, 2, 15), True, id="one-spacing-after-the-last"),
        pytest.param(9, "G01", sk.Epoch(2019, 1, 1, 2, 15, 0.5), False, id="beyond-one-spacing-after"),
        pytest.param(9, "G01", sk.Epoch(2018, 12, 31, 23, 45), True, id="one-spacing-before-the-first"),
        pytest.param(9, "G01", sk.Epoch(2018, 12, 31, 23, 44, 59.5), False, id="beyond-one-spacing-before"),
        pytest.param(9, "G01", sk.Epoch(2019, 1, 2, 1), False, id="a-day-later"),
        pytest.param(9, "G01", sk.Epoch(2018, 12, 31), False, id="a-day-earlier"),
        pytest.param(9, "G02", sk.Epoch(2019, 1, 1, 1), False, id="satellite-not-in-file"),
        pytest.param(9, "XYZ", sk.Epoch(2019, 1, 1, 1), False, id="unparsable-id"),
        pytest.param(9, "", sk.Epoch(2019, 1, 1, 1), False, id="empty-id"),
        pytest.param(9, " g1 ", sk.Epoch(2019, 1, 1, 1), True, id="id-parsed-leniently"),
        pytest.param(9, "G01", sk.Epoch(2019, 1, 1, 0, 0, math.nan), False, id="nan-second"),
        pytest.param(9, "G01", sk.Epoch(2019, 1, 1, 0, 0, math.inf), False, id="infinite-second"),
    ],
)
def test_when_a_position_exists(tmp_path, count, satellite, epoch, has_position):
    d = trajectory_file("G01", epochs_every(900, count), circular_orbit_km).write(tmp_path / "n.sp3")
    p = d.get_position(satellite, epoch)
    assert (p is not None) == has_position
    if p is not None:
        assert all(math.isfinite(c) for c in xyz(p))
    receiver = sk.Ecef(3939618.0985, 456302.0205, 4978525.8695)
    elevation = sk.compute_elevation(d, receiver, satellite, epoch)
    assert (elevation is None) == (p is None)


def later(epoch, seconds_after):
    """The epoch `seconds_after` later (or earlier, when negative)."""
    whole = int(epoch.second)
    t = datetime.datetime(epoch.year, epoch.month, epoch.day, epoch.hour, epoch.minute, whole)
    t += datetime.timedelta(seconds=seconds_after + (epoch.second - whole))
    return sk.Epoch(t.year, t.month, t.day, t.hour, t.minute, t.second + t.microsecond * 1e-6)


@pytest.mark.parametrize(
    "step, gap_after, reach",
    [
        pytest.param(300, None, 900, id="5-min-records-reach-at-least-900s"),
        pytest.param(900, None, 900, id="15-min-records"),
        pytest.param(3600, None, 3600, id="hourly-records-reach-an-hour"),
        pytest.param(900, 10, 900, id="a-gap-does-not-widen-the-reach"),
    ],
)
def test_positions_reach_one_record_spacing_beyond_the_records(tmp_path, step, gap_after, reach):
    epochs = epochs_every(step, 24)
    if gap_after is not None:  # a 3-hour hole in the records
        epochs = epochs[:gap_after] + [later(e, 3 * 3600) for e in epochs[gap_after:]]
    d = trajectory_file("E12", epochs, circular_orbit_km).write(tmp_path / "reach.sp3")
    assert d.covered_span()[0].to_iso() == later(epochs[0], -reach).to_iso()
    assert d.covered_span()[1].to_iso() == later(epochs[-1], reach).to_iso()
    for edge, sign in ((epochs[0], -1), (epochs[-1], 1)):
        inside = d.get_position("E12", later(edge, sign * reach))
        assert inside is not None and inside.magnitude() == pytest.approx(GPS_RADIUS_KM * 1000.0, rel=0.01)
        assert d.get_position("E12", later(edge, sign * (reach + 1))) is None
    # Inside the reach the interpolation is the same as ever: a tabulated epoch gives its record.
    assert xyz(d.get_position("E12", epochs[-1])) == pytest.approx(
        [round(c, 6) * 1000.0 for c in circular_orbit_km(seconds(epochs[-1]))], abs=1e-6)


def test_covered_span_counts_only_satellites_with_nine_records(tmp_path):
    f = trajectory_file("G01", epochs_every(900, 9), circular_orbit_km)
    for e in epochs_every(900, 8, start=(2019, 1, 2)):  # G02: a day later, one record short
        f.add(e, "G02", circular_orbit_km(seconds(e)))
    d = f.write(tmp_path / "span.sp3")
    assert [e.to_iso() for e in d.covered_span()] == ["2018-12-31T23:45:00.000Z", "2019-01-01T02:15:00.000Z"]
    assert constant_file(count=8).write(tmp_path / "eight.sp3").covered_span() is None


@pytest.mark.parametrize("kind", ["str", "Satellite"])
def test_positions_for_a_satellite_object_or_its_identifier(tmp_path, kind):
    d = trajectory_file("G07", epochs_every(900, 20), circular_orbit_km).write(tmp_path / "s.sp3")
    satellite = "G07" if kind == "str" else sk.Satellite("G07")
    at = sk.Epoch(2019, 1, 1, 2, 7, 30.0)
    receiver = sk.Geodetic(10.0, 20.0, 0.0).to_ecef()
    assert xyz(d.get_position(satellite, at)) == xyz(d.get_position("G07", at))
    assert sk.compute_elevation(d, receiver, satellite, at) == sk.compute_elevation(d, receiver, "G07", at)
    assert d.get_position(sk.Satellite("G08"), at) is None


def test_record_with_nan_epoch_is_never_a_node(tmp_path):
    f = trajectory_file("G01", epochs_every(900, 10), circular_orbit_km)
    text = f.text().replace(epoch_line(f.blocks[4][0]), "*  2019  1  1  1  0 " + "nan".rjust(11))
    d = read_text(tmp_path, text)
    assert d.num_satellites == 1
    p = d.get_position("G01", sk.Epoch(2019, 1, 1, 1, 10))
    assert p is not None and all(math.isfinite(c) for c in xyz(p))


# ---------------------------------------------------------------- elevation


def test_elevation_is_that_of_the_interpolated_position(tmp_path):
    d = trajectory_file("G09", epochs_every(900, 96), circular_orbit_km).write(tmp_path / "e.sp3")
    receivers = [sk.Geodetic(lat, lon, 50.0).to_ecef() for lat, lon in [(60, 10), (-33, 151), (0, -90), (89, 0)]]
    signs = set()
    for receiver in receivers:
        for hour in range(0, 24, 3):
            t = sk.Epoch(2019, 1, 1, hour, 17, 5.0)
            elevation = sk.compute_elevation(d, receiver, "G09", t)
            assert elevation == sk.calculate_azel(receiver, d.get_position("G09", t))[1]
            signs.add(elevation > 0)
    assert signs == {True, False}  # below the horizon gives a negative elevation, not None


def gnsssnr_rows():
    path = VALIDATION / "gnssSNR" / "gwes0010.snr"
    if not path.exists() or not (DATA / "igs20342.sp3").exists():
        pytest.skip("gnssSNR reference output or igs20342.sp3 not available in ../shared")
    for line in path.read_text().splitlines():
        sat, elevation, azimuth, sod = line.split()[:4]
        yield int(sat), float(elevation), float(azimuth), float(sod)


def test_elevation_and_azimuth_agree_with_gnsssnr():
    """gnssSNR interpolates at transmit time (light time ~70 ms, Earth rotation corrected);
    we interpolate at receive time. Over ~20000 km that shifts the look direction by about
    v_sat x 0.07 s / range ~ 0.001 deg; its printed values carry 4 decimals."""
    rows = list(gnsssnr_rows())
    d = sk.read_sp3(str(DATA / "igs20342.sp3"))
    receiver = sk.Ecef(3939618.0985, 456302.0205, 4978525.8695)
    assert len(rows) > 4000
    worst_el = worst_az = 0.0
    for sat, elevation, azimuth, sod in rows:
        hour, rest = divmod(sod, 3600)
        minute, second = divmod(rest, 60)
        epoch = sk.Epoch(2019, 1, 1, int(hour), int(minute), second)
        ours = sk.compute_elevation(d, receiver, f"G{sat:02d}", epoch)
        az, _ = sk.calculate_azel(receiver, d.get_position(f"G{sat:02d}", epoch))
        worst_el = max(worst_el, abs(ours - elevation))
        worst_az = max(worst_az, abs((az - azimuth + 180.0) % 360.0 - 180.0))
    assert worst_el < 0.003 and worst_az < 0.003


# ---------------------------------------------------------------- real files

@pytest.mark.parametrize("name", files_of(Orbit))
def test_real_files_read_and_give_orbits(name):
    path = DATA / name
    d = sk.read_sp3(str(path))
    text = path.read_text()
    declared = int(text.splitlines()[0][32:39])
    assert d.num_epochs == declared and d.interval > 0
    assert d.num_satellites == len(d.satellites()) > 0
    epoch_lines = [line for line in text.splitlines() if line.startswith("*")]
    year, month, day, hour, minute = (int(v) for v in epoch_lines[len(epoch_lines) // 2][3:31].split()[:5])
    middle = sk.Epoch(year, month, day, hour, minute + 2)
    radii = [sk.Ecef(*xyz(p)).magnitude() for s in d.satellites() if (p := d.get_position(s, middle))]
    assert radii and all(2.0e7 < r < 4.5e7 for r in radii)  # MEO to GEO altitudes


def test_mgex_final_keeps_the_positions_of_its_last_epoch():
    """The COD MGEX final marks every clock of its last epoch (2021-04-29 00:00) bad; the
    positions beside them are kept."""
    d = sk.read_sp3(str(data_file("COD0MGXFIN_20211180000_01D_05M_ORB.SP3")))
    assert d.last_epoch().to_iso() == "2021-04-29T00:00:00.000Z"
    end = sk.Epoch(2021, 4, 29)
    radii = [d.get_position(s, end).magnitude() for s in d.satellites()]
    assert len(radii) == d.num_satellites and all(2.0e7 < r < 4.6e7 for r in radii)  # QZSS apogee 45,300 km


@pytest.mark.parametrize("name", files_of(Orbit))
def test_real_files_give_no_position_hours_outside_their_records(name):
    """Galileo E12 eight hours before the GRG file's first record came out 271,357 km from
    the Earth's centre, 36 hours after its end 3.7e10 m: now there is no position."""
    d = sk.read_sp3(str(DATA / name))
    first, last = d.first_epoch(), d.last_epoch()
    for s in d.satellites():
        assert d.get_position(s, later(first, -8 * 3600)) is None
        assert d.get_position(s, later(last, 36 * 3600)) is None


# ---------------------------------------------------------------- Python surface


@pytest.mark.parametrize(
    "obj, signature, doc",
    [
        pytest.param(sk.read_sp3, "(path)", "Read SP3 file", id="read_sp3"),
        pytest.param(
            sk.compute_elevation,
            "(sp3, receiver, satellite, epoch)",
            "Compute satellite elevation from SP3 and receiver position",
            id="compute_elevation",
        ),
        pytest.param(sk.Sp3Data.get_position, "(self, satellite, epoch)",
                     "Interpolated Ecef position at epoch, or None. satellite is a Satellite or its\n"
                     "identifier (G01). None as well for an epoch more than one record spacing (at least\n"
                     "900 s) before the satellite's first record or after its last: the polynomial is not\n"
                     "run beyond its records.", id="get_position"),
        pytest.param(sk.Sp3Data.satellites, "(self)",
                     "Identifiers of the satellites with orbit records, such as G01.", id="satellites"),
        pytest.param(sk.Sp3Data.first_epoch, "(self)", "Earliest epoch of any orbit record, or None without records",
                     id="first_epoch"),
        pytest.param(sk.Sp3Data.last_epoch, "(self)", "Latest epoch of any orbit record, or None without records",
                     id="last_epoch"),
    ],
)
def test_text_signatures_and_docstrings(obj, signature, doc):
    assert (obj.__text_signature__, obj.__doc__ or "") == (signature, doc)


def test_class_surface():
    assert sk.Sp3Data.__doc__ == "Python-exposed SP3 data"
    assert str(inspect.signature(sk.Sp3Data.get_position)) == "(self, satellite, epoch)"
    with pytest.raises(TypeError):
        sk.Sp3Data()


@pytest.mark.parametrize(
    "call, name",
    [
        pytest.param(lambda d, r: sk.read_sp3(b"orbit.sp3"), "path", id="path-bytes"),
        pytest.param(lambda d, r: d.get_position("G01", "2019-01-01"), "epoch", id="epoch-str"),
        pytest.param(lambda d, r: d.get_position(1, NOON), "satellite", id="satellite-int"),
        pytest.param(lambda d, r: sk.compute_elevation(d, r, sk.GnssSystem("G"), NOON), "satellite",
                     id="satellite-system"),
        pytest.param(lambda d, r: sk.compute_elevation(r, r, "G01", NOON), "sp3", id="sp3-wrong-class"),
        pytest.param(lambda d, r: sk.compute_elevation(d, (0, 0, 0), "G01", NOON), "receiver", id="receiver-tuple"),
    ],
)
def test_argument_type_errors_name_the_argument(tmp_path, call, name):
    d = constant_file().write(tmp_path / "a.sp3")
    with pytest.raises(TypeError, match=f"argument '{name}'"):
        call(d, sk.Ecef(1.0, 2.0, 3.0))


def orbit_fingerprint(d):
    """What a read made of the file: its repr, satellites and every satellite's position
    at the first and a mid-interval epoch."""
    first = d.first_epoch()
    between = sk.Epoch(first.year, first.month, first.day, first.hour, first.minute, first.second + 450.0)
    positions = [(p.x, p.y, p.z) if p else None
                 for s in d.satellites() for p in (d.get_position(s, first), d.get_position(s, between))]
    return repr(d), d.satellites(), positions


def test_read_sp3_releases_the_lock_and_concurrent_reads_agree(switching_only_on_release):
    path = str(data_file("gbm20335.sp3"))
    serial = orbit_fingerprint(sk.read_sp3(path))
    reads = []
    # A read that kept the lock would leave no step inside it, in every call.
    steps = [steps_while(lambda: reads.append(sk.read_sp3(path)), lambda: serial[0]) for _ in range(4)]
    assert any(steps), steps
    threads = [threading.Thread(target=lambda: reads.append(sk.read_sp3(path))) for _ in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert len(reads) == 6 and all(orbit_fingerprint(d) == serial for d in reads)
