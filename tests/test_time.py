"""Epochs: both text grammars, instants, ISO text, GPS time, Julian date, day of year."""
import pytest
import skyrift_mp as sk
from hypothesis import given, strategies as st


def fields(e):
    return (e.year, e.month, e.day, e.hour, e.minute, e.second)


@pytest.mark.parametrize("text, expected", [
    ("2024-03-05T12:30:15.25Z", (2024, 3, 5, 12, 30, 15.25)),
    ("2024-03-05 12:30:15.25", (2024, 3, 5, 12, 30, 15.25)),
    ("2024-03-05T12:30:15+00:00", (2024, 3, 5, 12, 30, 15.0)),
    ("2024-03-05T12:30:15+00", (2024, 3, 5, 12, 30, 15.0)),
    ("  2024-03-05T12:30:15ZZ  ", (2024, 3, 5, 12, 30, 15.0)),
    ("2024-3-5T1:2:3", (2024, 3, 5, 1, 2, 3.0)),
    ("2024-03-05T12:30:15:99", (2024, 3, 5, 12, 30, 15.0)),
    ("24-03-05T00:00:00", (24, 3, 5, 0, 0, 0.0)),
    ("24 3 5 12 30 15.0", (2024, 3, 5, 12, 30, 15.0)),
    ("85 3 5 0 0 0", (1985, 3, 5, 0, 0, 0.0)),
    ("99 12 31 23 59 59.5 extra", (1999, 12, 31, 23, 59, 59.5)),
    ("100 1 1 0 0 0", (100, 1, 1, 0, 0, 0.0)),
    ("-5 1 1 0 0 0", (1995, 1, 1, 0, 0, 0.0)),
    ("2020 1 1 0 0 +1e1", (2020, 1, 1, 0, 0, 10.0)),
    ("2020 1 1 0 0 .5", (2020, 1, 1, 0, 0, 0.5)),
    ("2020 1 1 0 0 5.", (2020, 1, 1, 0, 0, 5.0)),
    ("2020 1 1 0 0 1.5E-1", (2020, 1, 1, 0, 0, 0.15)),
    ("2020 +1 1 0 0 0", (2020, 1, 1, 0, 0, 0.0)),
    ("2024\u30003\u00a05\t12 30 0", (2024, 3, 5, 12, 30, 0.0)),
], ids=lambda v: v if isinstance(v, str) else None)
def test_parse_accepts(text, expected):
    assert fields(sk.Epoch.parse(text)) == expected


@pytest.mark.parametrize("text, message", [
    ("2024-03-05T12:30", "Invalid time format: '12:30'"),
    ("2024/03/05T00:00:00", "Invalid date format: '2024/03/05'"),
    ("2024-03-05T12:30:15T1", "Invalid ISO epoch: '2024-03-05T12:30:15T1'"),
    ("2024-03-05  12:30:15", "Invalid ISO epoch: '2024-03-05  12:30:15'"),
    ("2024-03-05_12:30:15", "Cannot parse epoch: '2024-03-05_12:30:15'"),
    ("20x4-03-05T00:00:00", "Invalid year: '20x4'"),
    ("2024-13x-05T00:00:00", "Invalid month: '13x'"),
    ("2024-03--T00:00:00", "Invalid date format: '2024-03--'"),
    ("2024-03-5dT00:00:00", "Invalid day: '5d'"),
    ("2024-03-05T+-1:00:00", "Invalid hour: '+-1'"),
    ("2024-03-05T01:-1:00", "Invalid minute: '-1'"),
    ("2024-03-05T01:01:x", "Invalid second: 'x'"),
    ("2024 3 5 12 30", "Insufficient components in epoch string: '2024 3 5 12 30'"),
], ids=lambda v: v if isinstance(v, str) else None)
def test_parse_rejects_with_invalid_epoch(text, message):
    with pytest.raises(ValueError) as info:
        sk.Epoch.parse(text)
    assert str(info.value) == "Invalid epoch format: " + message


# The RINEX grammar reports the number parser's own texts, with no prefix.
@pytest.mark.parametrize("text, message", [
    ("2147483648 1 1 0 0 0", "Integer parse error: number too large to fit in target type"),
    ("-2147483649 1 1 0 0 0", "Integer parse error: number too small to fit in target type"),
    ("2024 4294967296 1 0 0 0", "Integer parse error: number too large to fit in target type"),
    ("2024 -1 1 0 0 0", "Integer parse error: invalid digit found in string"),
    ("2024 1 1 + 0 0", "Integer parse error: invalid digit found in string"),
    ("2024 1 1 0 - 0", "Integer parse error: invalid digit found in string"),
    ("2024 1 1 0 ++1 0", "Integer parse error: invalid digit found in string"),
    ("2024 1 1x 0 0 0", "Integer parse error: invalid digit found in string"),
    ("2024 1 1 0 0 x", "Float parse error: invalid float literal"),
    ("2024 1 1 0 0 1e", "Float parse error: invalid float literal"),
    ("2024 1 1 0 0 .", "Float parse error: invalid float literal"),
    ("2024 1 1 0 0 nan(1)", "Float parse error: invalid float literal"),
    ("2024 1 1 0 0 0x10", "Float parse error: invalid float literal"),
    ("2024 1 1 0 0 +-1", "Float parse error: invalid float literal"),
    ("2024 1 1 0 0 1_0", "Float parse error: invalid float literal"),
], ids=lambda v: v if isinstance(v, str) else None)
def test_rinex_grammar_number_errors(text, message):
    with pytest.raises(ValueError) as info:
        sk.Epoch.parse(text)
    assert str(info.value) == message


@pytest.mark.parametrize("word, check", [
    ("inf", lambda s: s == float("inf")), ("-Infinity", lambda s: s == float("-inf")),
    ("INF", lambda s: s == float("inf")), ("NaN", lambda s: s != s), ("+nan", lambda s: s != s),
    ("1e400", lambda s: s == float("inf")), ("1e-400", lambda s: s == 0.0),
])
def test_float_words_and_range(word, check):
    assert check(sk.Epoch.parse(f"2020 1 1 0 0 {word}").second)


def test_constructor_stores_fields_unvalidated():
    e = sk.Epoch(2024, 13, 40)
    assert fields(e) == (2024, 13, 40, 0, 0, 0.0)


@pytest.mark.parametrize("args, iso", [
    ((2024, 1, 1), "2024-01-01T00:00:00.000Z"),
    ((2024, 3, 5, 12, 30, 15.25), "2024-03-05T12:30:15.250Z"),
    ((2024, 1, 1, 0, 0, 59.9999), "2024-01-01T00:00:59.999Z"),
    ((1, 1, 1), "0001-01-01T00:00:00.000Z"),
    ((10000, 1, 1), "+10000-01-01T00:00:00.000Z"),
    ((-1, 1, 1), "-0001-01-01T00:00:00.000Z"),
    ((2024, 1, 1, 0, 0, -0.25), "2024-01-01T00:00:00.750Z"),
])
def test_iso_text(args, iso):
    e = sk.Epoch(*args)
    assert e.to_iso() == e.to_iso_string() == str(e) == iso
    assert repr(e) == f"Epoch({iso})"


# Impossible fields carry into the next unit instead of reading the clock.
@pytest.mark.parametrize("args, iso", [
    ((2024, 1, 1, 0, 0, 60.0), "2024-01-01T00:01:00.000Z"),
    ((2016, 12, 31, 23, 59, 60.5), "2017-01-01T00:00:00.500Z"),
    ((2023, 2, 30), "2023-03-02T00:00:00.000Z"),
    ((2023, 13, 1), "2024-01-01T00:00:00.000Z"),
    ((2023, 1, 1, 24, 60), "2023-01-02T01:00:00.000Z"),
    ((2023, 0, 0), "2022-11-30T00:00:00.000Z"),
    ((2023, 3, 1, 0, 0, float("nan")), "2023-03-01T00:00:00.000Z"),
])
def test_impossible_fields_are_deterministic(args, iso):
    assert sk.Epoch(*args).to_iso() == iso


@pytest.mark.parametrize("args, week, sow", [
    ((1980, 1, 6), 0, 0.0),
    ((1980, 1, 13, 0, 0, 1.5), 1, 1.5),
    ((2024, 3, 5, 12, 30, 15.25), 2304, 217815.25),
    ((1980, 1, 5, 23, 59, 59.9995), 0, -0.0),
    ((1970, 1, 1), 0, -315964800.0),
])
def test_gps_time(args, week, sow):
    assert sk.Epoch(*args).to_gps_time() == (week, sow)


# Far-off years carry the instant beyond 2^63 milliseconds; the week still saturates.
@pytest.mark.parametrize("year, week", [(2**31 - 1, 4294967295), (-2**31, 0)], ids=["latest", "earliest"])
def test_gps_week_saturates_for_extreme_years(year, week):
    got_week, sow = sk.Epoch(year, 12, 31, 23, 59, 59.5).to_gps_time()
    assert got_week == week
    assert (sow > 0) == (week > 0)


def unix_days(year, month, day):
    """Days since 1970-01-01 of a proleptic Gregorian date of any year, by moving it
    whole 400-year cycles (146097 days each) into the range of the datetime module."""
    from datetime import date

    cycles, rest = divmod(year - 2000, 400)
    return date(2000 + rest, month, day).toordinal() + cycles * 146097 - date(1970, 1, 1).toordinal()


# Nine-digit years pass the blank-separated grammar; every conversion stays defined:
# the ISO text carries the sign, the GPS week saturates, the Julian date is the day
# count's, and the day of year is 1 (outside the calendar's range). Far in the past
# the Julian-date formula, which truncates the century toward zero, lands a day early.
@pytest.mark.parametrize("text, year, iso, week, jd_days_off", [
    ("820621121 2 2 2 2 2", 820621121, "+820621121-02-02T02:02:02.000Z", 4294967295, 0),
    ("-820621121 2 2 2 2 2", -820619121, "-820619121-02-02T02:02:02.000Z", 0, -1),
], ids=["future", "past"])
def test_nine_digit_year_conversions(text, year, iso, week, jd_days_off):
    e = sk.Epoch.parse(text)
    assert fields(e) == (year, 2, 2, 2, 2, 2.0)
    assert e.to_iso() == str(e) == iso
    since_gps_origin = unix_days(year, 2, 2) * 86400 + 7322 - 315964800
    assert e.to_gps_time() == (week, float(since_gps_origin) - week * 604800.0)
    jd = unix_days(year, 2, 2) + jd_days_off + 2440587.5 + 7322 / 86400
    assert e.julian_date() == pytest.approx(jd, rel=1e-15)
    assert e.day_of_year() == 1


@pytest.mark.parametrize("args, jd", [
    ((2000, 1, 1, 12), 2451545.0),
    ((1980, 1, 6), 2444244.5),
    ((2024, 3, 5, 6), 2460374.75),
    ((1582, 10, 15), 2299160.5),
])
def test_julian_date(args, jd):
    assert sk.Epoch(*args).julian_date() == jd


@pytest.mark.parametrize("args, doy", [
    ((2024, 12, 31), 366), ((2023, 12, 31), 365), ((2023, 2, 29), 1), ((2024, 2, 29), 60),
    ((2024, 13, 1), 1), ((2024, 1, 0), 1), ((300000, 5, 1), 1), ((2000, 3, 1), 61), ((1900, 3, 1), 60),
])
def test_day_of_year(args, doy):
    assert sk.Epoch(*args).day_of_year() == doy


@given(
    st.integers(1, 9999), st.integers(1, 12), st.integers(1, 28), st.integers(0, 23), st.integers(0, 59),
    st.integers(0, 59_999),
)
def test_iso_text_round_trips_to_the_millisecond(year, month, day, hour, minute, millis):
    e = sk.Epoch(year, month, day, hour, minute, millis / 1000.0)
    back = sk.Epoch.parse(e.to_iso())
    assert fields(back)[:5] == (year, month, day, hour, minute)
    # Milliseconds are truncated, so a float second just below the millisecond drops one.
    assert abs(back.second - millis / 1000.0) < 1e-3 + 1e-9
