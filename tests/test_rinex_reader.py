"""Reading observation files: header, RINEX 2 blocks, RINEX 3/4 records, input sources."""
import gzip

import pytest

import skyrift_mp as sk
from gzip_damage import GZIP_DAMAGE, damaged_gzip
from rinex_text import hline, obs_field, text, v2_epoch, v2_header, v2_obs, v3_epoch, v3_header, v3_sat
from shared_data import data_file


def load(lines, name="obs.rnx"):
    return sk.read_rinex_obs_bytes(text(lines) if isinstance(lines, list) else lines, name)


def snr(obs, sat, code="S1C"):
    """(times, values) of one S-code series, empty lists when absent."""
    series = obs.get_snr_series(sat, code)
    return (series[0].times, series[0].values) if series else ([], [])


def parse_error(lines, name="obs.rnx"):
    with pytest.raises(OSError) as info:
        load(lines, name)
    return str(info.value)


# ---- header --------------------------------------------------------------------

@pytest.mark.parametrize("field, expected", [
    ("2.11", "2.11"), ("3.04", "3.04"), ("4.01", "4.01"), ("3.1", "3.01"), ("+3.05", "3.05"),
    ("3.05a", "3.05"), ("2", "2.00"), ("3", "3.00"),
], ids=["rinex2", "rinex3", "rinex4", "one-digit-minor", "plus-sign", "minor-from-two-chars", "bare-2", "bare-3"])
def test_version_line(field, expected):
    lines = [hline(f"{field:>9}           OBSERVATION DATA    M", "RINEX VERSION / TYPE"),
             hline("", "END OF HEADER")]
    assert load(lines).version == expected


@pytest.mark.parametrize("field", ["1.0", "5.00", "3.", "1", "abc", "3.x", "256.1"],
                         ids=["family-1", "family-5", "empty-minor", "bare-1", "letters", "bad-minor", "beyond-u8"])
def test_unsupported_version_is_fatal(field):
    lines = [hline(f"{field:>9}           OBSERVATION DATA    M", "RINEX VERSION / TYPE"),
             hline("", "END OF HEADER")]
    assert parse_error(lines) == f"Failed to parse RINEX: Unsupported RINEX version: {field}"


def test_file_without_version_line_reads_as_3_05_records():
    lines = v3_header()[1:] + [v3_epoch(n=1), v3_sat("G01", obs_field(1.0), obs_field(2.0), obs_field(40.0))]
    obs = load(lines)
    assert obs.version == "3.05" and obs.num_epochs == 1 and snr(obs, "G01")[1] == [40.0]


def test_header_text_fields_and_position():
    lines = v3_header(marker="  ACOR  ", extra=[
        hline("  4594489.8680  -678367.9920  4357065.8700", "APPROX POSITION XYZ"),
        hline("1833574             LEICA GR50          4.50", "REC # / TYPE / VERS"),
        hline("103033              LEIAT504        LEIS", "ANT # / TYPE"),
    ])
    obs = load(lines)
    assert (obs.marker_name, obs.receiver_type, obs.antenna_type) == ("ACOR", "LEICA GR50", "LEIAT504        LEIS")
    p = obs.approx_position
    assert (p.x, p.y, p.z) == (4594489.868, -678367.992, 4357065.87)


@pytest.mark.parametrize("line, marker", [
    (f"{'OTHER':<59}MARKER NAME", "SITE"),
    (f"{'OTHER':<61}MARKER NAME", "OTHER"),
], ids=["label-at-column-60-ignored", "label-after-column-61-trimmed"])
def test_label_is_read_from_column_61(line, marker):
    lines = v3_header()
    lines.insert(2, line)
    assert load(lines).marker_name == marker


@pytest.mark.parametrize("content, expected", [
    ("1.0 2.0 3.0", (1.0, 2.0, 3.0)),
    ("x 1.0 y 2.0 3.0 4.0", (1.0, 2.0, 3.0)),
    ("1.0 2.0 zz", None),
], ids=["three", "skips-non-numbers", "fewer-than-three"])
def test_approx_position_tokens(content, expected):
    obs = load(v3_header(extra=[hline(content, "APPROX POSITION XYZ")]))
    p = obs.approx_position
    assert (None if p is None else (p.x, p.y, p.z)) == expected


@pytest.mark.parametrize("field, expected", [("  30.000", 30.0), ("abc", None), ("", None), (" 1e1", 10.0)],
                         ids=["number", "letters", "empty", "exponent"])
def test_header_interval(field, expected):
    lines = v3_header(extra=[hline(field, "INTERVAL")])
    assert load(lines).interval == expected


def test_header_interval_is_kept_beside_the_interval_of_the_records():
    lines = v3_header(interval=30.0) + [v3_epoch(0.0, 1), g("G01", 40.0), v3_epoch(60.0, 1), g("G01", 41.0)]
    obs = load(lines)
    assert (obs.header_interval, obs.interval) == (30.0, 60.0)
    assert load(v3_header()).header_interval is None


def test_header_without_end_gives_no_epochs():
    lines = v3_header(end=False) + [v3_epoch(n=1), v3_sat("G01", obs_field(1.0), obs_field(2.0), obs_field(40.0))]
    obs = load(lines)
    assert obs.num_epochs == 0 and obs.satellites() == []


def test_short_header_lines_are_skipped():
    lines = v3_header()
    lines.insert(1, "MARKER NAME")  # 11 bytes: never a label
    lines.insert(1, "short" + " " * 54)  # 59 bytes
    assert load(lines).marker_name == "SITE"


def test_obs_types_continuation_line_extends_the_list():
    codes = [f"C{b}{a}" for b in "125" for a in "CWX"] + [f"L{b}{a}" for b in "125" for a in "CWX"] + ["S1C", "S5X"]
    assert len(codes) == 20
    fields = [obs_field(float(k + 1)) for k in range(20)]
    obs = load(v3_header(types={"G": codes}) + [v3_epoch(n=1), v3_sat("G01", *fields)])
    assert obs.observation_types("G") == sorted(codes)
    assert snr(obs, "G01", "S5X")[1] == [20.0]  # the 20th code, from the continuation line


def test_obs_types_lines_for_one_system_accumulate():
    lines = v3_header(types={"G": ["C1C"]}, extra=[hline("g    1 S1C", "SYS / # / OBS TYPES"),
                                                   hline("       X1C", "SYS / # / OBS TYPES"),
                                                   hline("*    1 S2C", "SYS / # / OBS TYPES")])
    obs = load(lines + [v3_epoch(n=1), v3_sat("G01", obs_field(1.0), obs_field(45.0), obs_field(3.0), obs_field(4.0))])
    assert obs.observation_types("G") == ["C1C", "S1C", "X1C"]
    assert snr(obs, "G01")[1] == [45.0]


def test_glonass_slot_lines():
    lines = v3_header(extra=[
        hline(" 22 R01  1 R02 -4 R03  5 R04  6 R05  x R06 -4 R07  5 R08  6", "GLONASS SLOT / FRQ #"),
        hline("    R09 -2 R10 -7 R01  3", "GLONASS SLOT / FRQ #"),
    ])
    assert load(lines).glonass_fcn() == {1: 3, 2: -4, 3: 5, 4: 6, 6: -4, 7: 5, 8: 6, 9: -2, 10: -7}


# ---- RINEX 3 / 4 records ---------------------------------------------------------

S_TYPES = {"G": ["C1C", "S1C"], "R": ["C1C", "S1C"], "E": ["S1C"]}


def v3_file(*records, types=S_TYPES, version="3.04", **header):
    return v3_header(version=version, types=types, **header) + [line for r in records for line in r]


def g(sat, s1c, c1c=20000000.0):
    return v3_sat(sat, obs_field(c1c), obs_field(s1c))


@pytest.mark.parametrize("version", ["3.04", "4.01"], ids=["rinex3", "rinex4"])
def test_rinex3_records_in_file_order(version):
    obs = load(v3_file([v3_epoch(30.0, 2), g("G02", 41.0), g("G01", 40.0)],
                       [v3_epoch(0.0, 1), g("G01", 42.0)], version=version))
    assert [e.second for e in obs.epochs()] == [30.0, 0.0]  # not sorted by time
    assert snr(obs, "G01")[1] == [40.0, 42.0]
    assert [s.id for s in obs.satellites()] == ["G01", "G02"]


def test_epoch_line_too_short_reports_its_zero_based_line():
    lines = v3_file([v3_epoch(0.0, 1), g("G01", 40.0)])
    bad = len(lines)
    lines.append(v3_epoch(30.0, 1)[:31])
    assert parse_error(lines) == f"Failed to parse RINEX: RINEX parsing error at line {bad}: Epoch line too short"


def test_epoch_line_of_32_bytes_is_an_epoch_without_records():
    line = "> 2020 01 01 00 00  0.0000000  0"
    assert len(line) == 32
    obs = load(v3_file([line, g("G01", 40.0)]))
    assert obs.num_epochs == 1 and obs.satellites() == []


def test_unparsable_epoch_fields_take_defaults():
    obs = load(v3_file(["> 20x0 1x 0x 1x 3x  x.0000000  x  1", g("G01", 40.0)]))
    e = obs.first_epoch()
    assert (e.year, e.month, e.day, e.hour, e.minute, e.second) == (2000, 1, 1, 0, 0, 0.0)
    assert obs.num_satellites == 1


def test_field_cut_by_line_end_and_blank_fields():
    types = {"G": ["C1C", "S1C", "S2W", "S5X"]}
    sat = v3_sat("G01", obs_field(1.0), obs_field(None, 1, 7), obs_field(45.0)) + "        44.5"
    obs = load(v3_file([v3_epoch(n=1), sat], types=types))
    assert obs.snr_codes("G01") == ["S2W", "S5X"]  # S1C blank (its LLI/SSI digits ignored)
    assert snr(obs, "G01", "S5X")[1] == [44.5]


ZERO_FIELDS = [obs_field(0.0), obs_field(0.0, 1, 7), f"{'-0.000':>14}  ", f"{'0':>14}  ", f"{'0e+05':>14}1 "]
ZERO_IDS = ["zero", "zero-with-indicators", "negative-zero", "bare-zero", "zero-exponent"]


@pytest.mark.parametrize("zero", ZERO_FIELDS, ids=ZERO_IDS)
def test_rinex3_zero_value_is_no_observation(zero):
    types = {"G": ["C1C", "L1C", "L2X", "S1C", "S2X"]}
    obs = load(v3_file([v3_epoch(n=2), v3_sat("G01", obs_field(2e7), obs_field(1e8), zero, obs_field(40.0), zero),
                        v3_sat("G02", zero, zero, zero, zero, zero)], types=types))
    assert obs.observation_types("G") == ["C1C", "L1C", "S1C"]
    assert obs.snr_codes("G01") == ["S1C"] and obs.get_snr_series("G01", "S2X") == []
    assert [s.id for s in obs.satellites()] == ["G01", "G02"]  # a RINEX 3 line names its satellite anyway


@pytest.mark.parametrize("zero", ZERO_FIELDS, ids=ZERO_IDS)
def test_rinex2_zero_value_is_no_observation(zero):
    block = v2_epoch(["G01", "G02"]) + v2_obs(obs_field(2e7), zero, obs_field(40.0)) + v2_obs(zero, zero, zero)
    obs = load(v2_file(block))
    assert obs.observation_types("G") == ["C1C", "S1C"]
    assert [s.id for s in obs.satellites()] == ["G01"]  # nothing left of G02


def test_small_nonzero_value_is_an_observation():
    obs = load(v3_file([v3_epoch(n=1), v3_sat("G01", obs_field(-0.001), obs_field(0.001))]))
    assert obs.observation_types("G") == ["C1C", "S1C"] and snr(obs, "G01")[1] == [0.001]


def test_repeated_code_zero_does_not_replace_a_value():
    types = {"G": ["S1C", "C1C", "S1C"]}
    obs = load(v3_file([v3_epoch(n=1), v3_sat("G01", obs_field(40.0), obs_field(1.0), obs_field(0.0, 1))],
                       types=types))
    assert snr(obs, "G01")[1] == [40.0]


def test_satellites_of_unlisted_systems_and_bad_ids_are_skipped():
    lines = v3_file([v3_epoch(n=4), g("J01", 40.0), g("X01", 40.0), "G", g("G05", 41.0)])
    assert [s.id for s in load(lines).satellites()] == ["G05"]


def test_satellite_without_observations_is_still_a_satellite():
    obs = load(v3_file([v3_epoch(n=2), "G07", g("G01", 40.0)]))
    assert [s.id for s in obs.satellites()] == ["G01", "G07"]
    assert obs.snr_codes("G07") == []


def test_repeated_satellite_replaces_whole_line():
    lines = v3_file([v3_epoch(n=3), g("G01", 40.0), g("R01", 30.0), v3_sat("G01", obs_field(1.0))],
                    [v3_epoch(30.0, 2), g("G01", 40.0), g("G01", 45.0)])
    obs = load(lines)
    assert snr(obs, "G01") == ([1577836830.0], [45.0])  # the first epoch's G01 lost its S1C


def test_repeated_code_in_list_keeps_last_parsed_value():
    types = {"G": ["S1C", "C1C", "S1C"]}
    obs = load(v3_file([v3_epoch(n=1), v3_sat("G01", obs_field(40.0), obs_field(1.0), obs_field(45.0))],
                       [v3_epoch(30.0, 1), v3_sat("G01", obs_field(40.0), obs_field(1.0), obs_field(None))],
                       types=types))
    assert snr(obs, "G01")[1] == [45.0, 40.0]


@pytest.mark.parametrize("flag, kept", [(1, True), (2, False), (3, False), (4, False), (5, False), (6, True)],
                         ids=lambda v: str(v))
def test_rinex3_event_without_satellites_is_no_epoch(flag, kept):
    # An event at the time of the next epoch must not make a second, empty record of it.
    lines = v3_file([v3_epoch(0.0, 1, flag=flag), hline("AN EVENT", "COMMENT")], [v3_epoch(0.0, 1), g("G01", 40.0)])
    obs = load(lines)
    assert obs.num_epochs == (2 if kept else 1) and obs.interval is None


def test_event_epoch_is_kept_and_its_text_lines_skipped():
    lines = v3_file([v3_epoch(0.0, 2, flag=4), hline("SOME COMMENT", "COMMENT"), hline("G01 X", "COMMENT")],
                    [v3_epoch(30.0, 1), g("G01", 40.0)])
    obs = load(lines)
    assert obs.num_epochs == 2 and snr(obs, "G01")[1] == [40.0]


def test_satellite_count_reads_lines_whatever_they_hold():
    # Lines within the count are satellite lines whatever they hold, except a ">" line,
    # which always starts the next epoch (a count too large swallows nothing).
    lines = v3_file([v3_epoch(0.0, 3), g("G01", 40.0), "garbage"], [v3_epoch(30.0, 1), g("G02", 41.0)])
    obs = load(lines)
    assert obs.num_epochs == 2 and [s.id for s in obs.satellites()] == ["G01", "G02"]
    assert snr(obs, "G02") == ([1577836830.0], [41.0])


def test_count_beyond_end_of_input():
    obs = load(v3_file([v3_epoch(0.0, 9), g("G01", 40.0)]))
    assert obs.num_epochs == 1 and obs.num_satellites == 1


# ---- RINEX 2 blocks --------------------------------------------------------------

V2_TYPES = ("C1", "L1", "S1")


def v2_sat_obs(s1, c1=20000000.0, l1=100000000.0):
    return v2_obs(obs_field(c1), obs_field(l1), obs_field(s1))


def v2_file(*blocks, types=V2_TYPES, **header):
    return v2_header(types=types, **header) + [line for b in blocks for line in b]


def test_rinex2_epoch_line_and_two_digit_years():
    lines = v2_header() + [" 99 12 31 23 59 59.0000000  0  2G01R02"] + v2_sat_obs(40.0) + v2_sat_obs(30.0)
    lines += v2_epoch(["G01"], yy=5) + v2_sat_obs(41.0)
    obs = load(lines)
    assert [e.to_iso() for e in obs.epochs()] == ["1999-12-31T23:59:59.000Z", "2005-01-01T00:00:00.000Z"]
    assert [s.id for s in obs.satellites()] == ["G01", "R02"]
    assert snr(obs, "R02")[1] == [30.0]


def test_rinex2_satellite_continuation_lines():
    sats = [f"G{p:02d}" for p in range(1, 15)]
    block = v2_epoch(sats)
    assert len(block) == 2
    for k in range(14):
        block += v2_sat_obs(30.0 + k)
    obs = load(v2_file(block))
    assert obs.num_satellites == 14
    assert snr(obs, "G13")[1] == [42.0] and snr(obs, "G14")[1] == [43.0]


@pytest.mark.parametrize("blank_start", [False, True], ids=["observation-line", "blank-first-fields"])
def test_rinex2_count_larger_than_the_list(blank_start):
    # The count says 14 but twelve satellites are listed and no continuation line
    # follows: a line with text in columns 1-32 is an observation line, never the
    # list's continuation. One whose first 32 columns are blank stays ambiguous and
    # is read as the continuation, as the format says.
    sats = [f"G{p:02d}" for p in range(1, 13)]
    block = v2_epoch(sats)
    block[0] = block[0][:29] + " 14" + block[0][32:]
    for k in range(12):
        block += v2_sat_obs(30.0 + k, c1=None if blank_start else 20000000.0, l1=None if blank_start else 1.0)
    obs = load(v2_file(block))
    if blank_start:
        assert snr(obs, "G01")[1] == [31.0]  # shifted by the line taken as the list
    else:
        assert obs.num_satellites == 12 and [snr(obs, s)[1] for s in ("G01", "G12")] == [[30.0], [41.0]]


@pytest.mark.parametrize("entry, sat", [("G 3", "G03"), ("  5", "G05"), ("G12", "G12"), ("r 7", "R07"),
                                        ("E1 ", "E01"), ("123", "G123"), ("R2", "R02"), ("G", None)],
                         ids=["padded-prn", "blank-system", "plain", "lower-case", "trailing-blank", "digits-only",
                              "trailing-blank-stripped", "system-letter-alone"])
def test_rinex2_list_entries(entry, sat):
    obs = load(v2_file(v2_epoch([entry]) + v2_sat_obs(40.0)))
    assert [s.id for s in obs.satellites()] == ([sat] if sat else [])


def test_rinex2_bad_entry_loses_only_its_own_lines():
    block = v2_epoch(["G01", "X99", "   ", "G04"]) + v2_sat_obs(40.0) + v2_sat_obs(41.0) + v2_sat_obs(42.0) + v2_sat_obs(43.0)
    obs = load(v2_file(block))
    assert [s.id for s in obs.satellites()] == ["G01", "G04"]
    assert snr(obs, "G04")[1] == [43.0]


def test_rinex2_clock_offset_columns_are_not_satellites():
    sats = [f"G{p:02d}" for p in range(1, 13)]
    block = v2_epoch(sats, clock=0.000123456)
    assert block[0][68:80].strip() == "0.000123456"
    for k in range(12):
        block += v2_sat_obs(30.0 + k)
    obs = load(v2_file(block))
    assert obs.num_satellites == 12 and snr(obs, "G12")[1] == [41.0]


@pytest.mark.parametrize("flag, kept", [(0, True), (1, True), (2, False), (3, False), (4, False), (5, False), (6, True)],
                         ids=lambda v: str(v))
def test_rinex2_event_blocks(flag, kept):
    lines = v2_file(v2_epoch(["G01"], flag=flag) + v2_sat_obs(40.0), v2_epoch(["G02"], second=30.0) + v2_sat_obs(41.0))
    obs = load(lines)
    assert obs.num_epochs == (2 if kept else 1)


def test_rinex2_types_mapping_and_many_types_per_satellite():
    types = ("L1", "L2", "C1", "P2", "P1", "S1", "S2", "l6", "s5", "D1", "X1")  # 11 types: 3 lines per satellite
    fields = [obs_field(float(k + 10)) for k in range(11)]
    obs = load(v2_file(v2_epoch(["G01", "G02"]) + v2_obs(*fields) + v2_obs(*fields), types=types))
    assert obs.observation_types("G") == ["C1C", "C1P", "C2P", "D1C", "L1C", "L2C", "L6X", "S1C", "S2C", "S5X"]
    assert snr(obs, "G02", "S5X")[1] == [18.0]


def test_rinex2_types_header_continuation():
    types = tuple(f"S{b}" for b in "12") + ("C1",) * 7 + ("L1", "L2", "S5")
    assert len(types) == 12
    fields = [obs_field(float(k + 10)) for k in range(12)]
    obs = load(v2_file(v2_epoch(["G01"]) + v2_obs(*fields), types=types))
    assert snr(obs, "G01", "S5X")[1] == [21.0]
    assert obs.get_snr_series("G01", "S2C")[0].values == [11.0]


def test_rinex2_empty_satellites_short_lines_and_missing_lines():
    # G01: blank fields; G02: value field shorter than 14 bytes; G03: its line is missing.
    block = v2_epoch(["G01", "G02", "G03"]) + ["", "      40.000"]
    obs = load(v2_file(block, types=("S1",)))
    assert obs.satellites() == [] and obs.num_epochs == 1


def test_rinex2_text_before_first_epoch_is_ignored_and_blank_system_parses():
    lines = v2_file(["garbage line", ""], v2_epoch(["G01"]) + v2_sat_obs(40.0), system=" ")
    assert snr(load(lines), "G01")[1] == [40.0]


def test_rinex2_repeated_satellite_replaces_unless_empty():
    block = v2_epoch(["G01", "G01", "G01"]) + v2_sat_obs(40.0) + v2_sat_obs(41.0) + v2_sat_obs(None, c1=None, l1=None)
    assert snr(load(v2_file(block)), "G01")[1] == [41.0]


# ---- input sources ---------------------------------------------------------------

def simple_v3():
    return text(v3_file([v3_epoch(0.0, 2), g("G01", 40.0), g("E05", 30.0)], [v3_epoch(30.0, 1), g("G01", 41.0)]))


def summary(obs):
    return (obs.version, obs.num_epochs, [s.id for s in obs.satellites()], [e.to_iso() for e in obs.epochs()],
            [(s.code, s.times, s.values) for sat in obs.satellites() for s in obs.get_snr_series(sat.id)])


def test_missing_file():
    with pytest.raises(OSError, match="^Failed to read RINEX: File not found: missing.rnx$"):
        sk.read_rinex_obs("missing.rnx")


def test_directory_is_an_io_error(tmp_path):
    with pytest.raises(OSError, match=r"^Failed to read RINEX: I/O error: Is a directory \(os error 21\)$"):
        sk.read_rinex_obs(str(tmp_path))


def test_gzip_by_extension(tmp_path):
    (tmp_path / "x.rnx.gz").write_bytes(gzip.compress(simple_v3()))
    (tmp_path / "x.rnx").write_bytes(gzip.compress(simple_v3()))
    (tmp_path / "plain.rnx").write_bytes(simple_v3())
    assert summary(sk.read_rinex_obs(str(tmp_path / "x.rnx.gz"))) == summary(sk.read_rinex_obs(str(tmp_path / "plain.rnx")))
    with pytest.raises(OSError, match="^Failed to read RINEX: I/O error: stream did not contain valid UTF-8$"):
        sk.read_rinex_obs(str(tmp_path / "x.rnx"))


@pytest.mark.parametrize("name, gz", [("x.gz", True), ("dir.d/x.rnx.gz", True), ("x.GZ", False), (".gz", False),
                                      ("x.gz.rnx", False), ("x", False)],
                         ids=["gz", "nested", "upper-case", "hidden-name", "not-last", "none"])
def test_bytes_decoder_chosen_by_extension(name, gz):
    data = gzip.compress(simple_v3()) if gz else simple_v3()
    assert summary(sk.read_rinex_obs_bytes(data, name)) == summary(load(simple_v3()))


def test_bytes_never_touch_the_file_system(tmp_path, monkeypatch):
    monkeypatch.setenv("TMPDIR", str(tmp_path))
    for name in ["obs.rnx.gz", "../../escape.rnx", "/nonexistent/dir/x.rnx", "sub/x.rnx"]:
        data = gzip.compress(simple_v3()) if name.endswith(".gz") else simple_v3()
        assert sk.read_rinex_obs_bytes(data, name).num_epochs == 2
    with pytest.raises(OSError, match="^Failed to parse RINEX: I/O error: stream did not contain valid UTF-8$"):
        sk.read_rinex_obs_bytes(b"\xff\xfe\0", "bad.rnx")
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("data", [bytearray(b"x"), memoryview(b"x"), "text"], ids=["bytearray", "memoryview", "str"])
def test_bytes_argument_must_be_bytes(data):
    with pytest.raises(TypeError, match="^argument 'data': "):
        sk.read_rinex_obs_bytes(data, "x.rnx")


def test_multi_member_gzip_and_trailing_bytes():
    raw = simple_v3()
    cut = raw.index(b"> 2020 01 01 00 00 30")
    joined = gzip.compress(raw[:cut]) + gzip.compress(raw[cut:])
    expected = summary(load(raw))
    assert summary(sk.read_rinex_obs_bytes(joined, "x.gz")) == expected
    assert summary(sk.read_rinex_obs_bytes(joined + b"\0" * 100, "x.gz")) == expected
    assert summary(sk.read_rinex_obs_bytes(joined + b"garbage", "x.gz")) == expected


@pytest.mark.parametrize("kind, message", GZIP_DAMAGE)
def test_corrupt_gzip(kind, message):
    with pytest.raises(OSError) as info:
        sk.read_rinex_obs_bytes(damaged_gzip(simple_v3(), kind), "x.rnx.gz")
    assert str(info.value) == "Failed to parse RINEX: I/O error: " + message


def test_plain_text_named_gz():
    with pytest.raises(OSError, match="^Failed to parse RINEX: I/O error: invalid gzip header$"):
        sk.read_rinex_obs_bytes(simple_v3(), "x.gz")


def test_crlf_reads_like_lf():
    raw = simple_v3()
    assert summary(load(raw.replace(b"\n", b"\r\n"))) == summary(load(raw))
    assert summary(load(raw.rstrip(b"\n"))) == summary(load(raw))  # last line without newline


def test_line_numbers_count_header_lines_with_crlf():
    lines = v3_file([v3_epoch(0.0, 1), g("G01", 40.0)]) + ["> 2020 01 01 00 00  0.0"]
    data = ("\r\n".join(lines) + "\r\n").encode()
    assert parse_error(data) == (
        f"Failed to parse RINEX: RINEX parsing error at line {len(lines) - 1}: Epoch line too short")


@pytest.mark.parametrize("where", ["header-binary", "record", "last-line"])
def test_invalid_utf8_anywhere_fails(where):
    lines = v3_file([v3_epoch(0.0, 1), g("G01", 40.0)])
    raw = text(lines)
    if where == "header-binary":
        raw = raw.replace(b"SITE", b"S\xc3\x01E", 1)
    elif where == "record":
        raw = raw.replace(b"G01", b"G\xff1")
    else:
        raw = raw + b"\xe2\x82"
    assert parse_error(raw) == "Failed to parse RINEX: I/O error: stream did not contain valid UTF-8"


def test_parse_error_before_bad_utf8_wins():
    lines = v3_file() + ["> 2020", "\udcff"]
    raw = text(lines[:-1]) + b"\xff\n"
    assert parse_error(raw).endswith(f"line {len(lines) - 2}: Epoch line too short")


def test_valid_utf8_in_text_fields():
    obs = load(v3_header(marker="Ærøskøbing"))
    assert obs.marker_name == "Ærøskøbing"


@pytest.mark.parametrize("name", ["obs.rnx", "obs.rnx.gz", "obs.crx"], ids=["plain", "gzip", "compact"])
def test_latin1_header_text_reads_as_text_in_its_columns(name):
    # A byte a character, so the columns are the file's: the receiver type after a
    # Latin-1 receiver number stays whole.
    lines = v3_header(types=S_TYPES, marker="Ærøskøbing", extra=[
        hline("Nº 1833574           LEICA GR50          4.50", "REC # / TYPE / VERS"),
        hline("103033              LEIAT504        LEIS", "ANT # / TYPE"), hline("Station à Réunion", "COMMENT")])
    raw = "\n".join(lines + [v3_epoch(0.0, 1), g("G01", 40.0)]).encode("latin-1") + b"\n"
    if name.endswith(".crx"):
        raw = text([hline("3.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE"),
                    hline("by hand", "CRINEX PROG / DATE")]) + raw.replace(
            text([v3_epoch(0.0, 1), g("G01", 40.0)]),
            text([v3_epoch(0.0, 1) + "      G01", "", "3&20000000000 3&40000"]))
    obs = load(gzip.compress(raw) if name.endswith(".gz") else raw, name)
    assert obs.marker_name == "Ærøskøbing"
    assert (obs.receiver_type, obs.antenna_type) == ("LEICA GR50", "LEIAT504        LEIS")
    assert snr(obs, "G01")[1] == [40.0]


# ---- partial reads ---------------------------------------------------------------

def test_partial_read_of_a_day_cut_short(tmp_path):
    # A day of 30 s epochs whose gzip stream ends early: the hours before the cut stay.
    packed = data_file("ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz").read_bytes()
    whole = sk.read_rinex_obs(str(data_file("ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz")))
    cut = tmp_path / "esbc.rnx.gz"
    cut.write_bytes(packed[: len(packed) * 23 // 24])
    with pytest.raises(OSError) as info:
        sk.read_rinex_obs(str(cut))
    assert str(info.value) == "Failed to read RINEX: I/O error: unexpected end of file"
    partial = sk.read_rinex_obs(str(cut), partial=True)
    assert partial.damage == str(info.value) and whole.damage is None
    n = partial.num_epochs
    assert 2500 < n < whole.num_epochs
    assert [e.to_iso() for e in partial.epochs()] == [e.to_iso() for e in whole.epochs()[:n]]
    for sat in ("G05", "R12", "E24"):
        pairs = list(zip(partial.get_snr_series(sat), whole.get_snr_series(sat)))
        assert pairs
        for kept, full in pairs:
            k = len(kept.times)
            assert (kept.code, kept.times, kept.values) == (full.code, full.times[:k], full.values[:k])


def test_partial_read_ends_at_a_broken_record():
    lines = v3_file([v3_epoch(0.0, 1), g("G01", 40.0)], [v3_epoch(30.0, 1), g("G01", 41.0)], ["> 2020 01 01"],
                    [v3_epoch(90.0, 1), g("G01", 43.0)])
    message = parse_error(lines)
    assert message.endswith(f"line {len(lines) - 3}: Epoch line too short")
    obs = sk.read_rinex_obs_bytes(text(lines), "obs.rnx", partial=True)
    assert obs.damage == message and snr(obs, "G01")[1] == [40.0, 41.0]


@pytest.mark.parametrize("call, error", [
    (lambda: sk.read_rinex_obs("missing.rnx", partial=True), "Failed to read RINEX: File not found: missing.rnx"),
    (lambda: sk.read_rinex_obs_bytes(text(v3_header(version="1.0")), "x.rnx", partial=True),
     "Failed to parse RINEX: Unsupported RINEX version: 1.0"),
], ids=["missing-file", "bad-version"])
def test_partial_read_fails_before_the_records(call, error):
    with pytest.raises(OSError) as info:
        call()
    assert str(info.value) == error


def test_partial_is_a_keyword_taking_a_bool():
    data = simple_v3()
    assert sk.read_rinex_obs_bytes(data, "x.rnx", partial=False).damage is None
    with pytest.raises(TypeError):
        sk.read_rinex_obs_bytes(data, "x.rnx", True)
    with pytest.raises(TypeError, match="^argument 'partial': "):
        sk.read_rinex_obs_bytes(data, "x.rnx", partial="yes")


def test_path_with_nul_byte_is_not_found():
    with pytest.raises(OSError) as info:
        sk.read_rinex_obs("obs\0.rnx")
    assert str(info.value) == "Failed to read RINEX: File not found: obs\0.rnx"


def test_concurrent_reads_equal_serial_reads(tmp_path):
    from concurrent.futures import ThreadPoolExecutor

    path = tmp_path / "x.rnx.gz"
    path.write_bytes(gzip.compress(simple_v3() * 1))
    serial = summary(sk.read_rinex_obs(str(path)))
    with ThreadPoolExecutor(4) as pool:
        results = list(pool.map(lambda _: summary(sk.read_rinex_obs(str(path))), range(8)))
    assert results == [serial] * 8
