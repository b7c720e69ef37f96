"""Queries of RinexObsData and SnrSeries, and reading every real observation file."""
import gzip
import inspect
import re

import pytest

import skyrift_mp as sk
from shared_data import (DATA_DIR, DATA_FILES, Hatanaka, Navigation, Observations, Orbit, Other, data_file,
                         data_folder, files_of, folder_files)
from rinex_text import obs_field, text, v3_epoch, v3_header, v3_sat

TYPES = {"G": ["C1C", "S1C", "S2W"], "R": ["S1C"], "E": ["C1C"], "C": ["S2I"]}


def load(*records, types=TYPES, **header):
    lines = v3_header(types=types, **header) + [line for r in records for line in r]
    return sk.read_rinex_obs_bytes(text(lines), "q.rnx")


def rec(second, *sats, minute=0, flag=0):
    return [v3_epoch(second, len(sats), minute=minute, flag=flag)] + list(sats)


def gsat(sat, s1c=None, s2w=None, c1c=20000000.0):
    return v3_sat(sat, obs_field(c1c), obs_field(s1c), obs_field(s2w))


# ---- interval and empty data ---------------------------------------------------

def test_empty_body():
    obs = load(interval=15.0)
    assert (obs.num_epochs, obs.num_satellites, obs.satellites(), obs.epochs()) == (0, 0, [], [])
    assert obs.first_epoch() is None and obs.last_epoch() is None and obs.approx_position is None
    assert obs.interval == 15.0
    assert load().interval is None


@pytest.mark.parametrize("seconds, expected", [
    ([0.0, 30.0], 30.0),
    ([0.0, 0.0, 30.0], 30.0),
    ([16.4427602, 16.4427602, 17.4427602], 1.0),
    ([30.0, 0.0], 30.0),
    ([0.0], 15.0),
    ([5.0, 5.0], 15.0),
], ids=["two-records", "event-at-first-time", "fractional-seconds", "backwards", "one-record", "all-same-time"])
def test_interval_from_first_differing_records(seconds, expected):
    obs = load(*[rec(s, gsat("G01", 40.0)) for s in seconds], interval=15.0)
    assert obs.interval == expected


# ---- satellites, codes ----------------------------------------------------------

def two_epochs():
    return load(rec(0.0, gsat("G10", 40.0, 35.0), v3_sat("R02", obs_field(30.0)), v3_sat("E05", obs_field(1.0)),
                    v3_sat("C01", obs_field(33.0))),
                rec(30.0, gsat("G02", 0.0, 36.0), gsat("G10", 41.0, -1.0)),
                rec(30.0, gsat("G10", 42.0)))


def test_satellites_sorted_by_letter_then_prn():
    obs = two_epochs()
    assert [s.id for s in obs.satellites()] == ["C01", "E05", "G02", "G10", "R02"]
    assert obs.num_satellites == 5
    assert obs.satellites_by_system() == {"C": 1, "E": 1, "G": 2, "R": 1}
    assert repr(obs) == "RinexObsData(version=3.04, marker='SITE', epochs=3, sats=5)"


@pytest.mark.parametrize("system, codes", [
    ("G", ["C1C", "S1C", "S2W"]), ("g", ["C1C", "S1C", "S2W"]), ("GPS", ["C1C", "S1C", "S2W"]),
    ("Z", ["C1C", "S1C", "S2W"]), ("", ["C1C", "S1C", "S2W"]), ("E", ["C1C"]), ("J", []),
], ids=["letter", "lower-case", "word", "unknown-is-gps", "empty-is-gps", "galileo", "absent-system"])
def test_observation_types(system, codes):
    assert two_epochs().observation_types(system) == codes


def test_observation_types_only_codes_with_values():
    obs = load(rec(0.0, gsat("G01", None, None)))
    assert obs.observation_types("G") == ["C1C"]


@pytest.mark.parametrize("sat, codes", [("G10", ["S1C", "S2W"]), ("g10", ["S1C", "S2W"]), (" G10 ", ["S1C", "S2W"]),
                                        ("G02", ["S2W"]), ("E05", []), ("G31", [])],
                         ids=["id", "lower-case", "blanks", "zero-value-is-no-observation", "no-s-codes", "absent"])
def test_snr_codes(sat, codes):
    assert two_epochs().snr_codes(sat) == codes


@pytest.mark.parametrize("call", ["snr_codes", "get_snr_series"])
@pytest.mark.parametrize("sat", ["G", "Z01", "G-1", ""])
def test_invalid_satellite_id(call, sat):
    with pytest.raises(ValueError) as info:
        getattr(two_epochs(), call)(sat)
    assert str(info.value) == f"Invalid satellite id '{sat}'"


# ---- SNR series ------------------------------------------------------------------

T0 = 1577836800.0  # 2020-01-01T00:00:00


def test_snr_series_per_code_drops_non_positive_values_and_keeps_repeated_times():
    series = two_epochs().get_snr_series("G10")
    assert [(s.code, s.times, s.values) for s in series] == [
        ("S1C", [T0, T0 + 30, T0 + 30], [40.0, 41.0, 42.0]),
        ("S2W", [T0], [35.0]),
    ]
    assert repr(series[0]) == "SnrSeries(satellite='G10', code='S1C', points=3)"
    assert (series[0].satellite, series[0].system) == ("G10", "G")


@pytest.mark.parametrize("code, expected", [("S1C", ["S1C"]), ("s1c", ["S1C"]), ("S2W", ["S2W"]), ("S5X", [])],
                         ids=["exact", "lower-case", "other", "no-data"])
def test_snr_series_for_one_code(code, expected):
    assert [s.code for s in two_epochs().get_snr_series("G10", code)] == expected
    assert [s.code for s in two_epochs().get_snr_series("G10", code=None)] == ["S1C", "S2W"]


@pytest.mark.parametrize("code", ["L1C", "C1C", "S1", "xyz", ""])
def test_snr_series_rejects_non_s_codes(code):
    with pytest.raises(ValueError) as info:
        two_epochs().get_snr_series("G10", code)
    assert str(info.value) == f"'{code}' is not an S-code"


def test_satellite_is_checked_before_code():
    with pytest.raises(ValueError, match="^Invalid satellite id 'X'$"):
        two_epochs().get_snr_series("X", "L1C")


def test_code_type_is_converted_before_the_satellite_is_checked():
    with pytest.raises(TypeError, match="^argument 'code': "):
        two_epochs().get_snr_series("X", 5)


def test_epochs_iso_truncates_milliseconds():
    obs = load(rec(16.4427602, v3_sat("R02", obs_field(30.0))), rec(59.9999, v3_sat("R02", obs_field(31.0))))
    series = obs.get_snr_series("R02")[0]
    assert series.epochs_iso() == ["2020-01-01T00:00:16.442Z", "2020-01-01T00:00:59.999Z"]


def test_epochs_and_first_last():
    obs = two_epochs()
    assert [e.to_iso() for e in obs.epochs()] == ["2020-01-01T00:00:00.000Z", "2020-01-01T00:00:30.000Z",
                                                  "2020-01-01T00:00:30.000Z"]
    assert obs.first_epoch().second == 0.0 and obs.last_epoch().second == 30.0


# ---- the Python surface --------------------------------------------------------

def test_classes_cannot_be_constructed():
    for cls in (sk.RinexObsData, sk.SnrSeries):
        with pytest.raises(TypeError):
            cls()


@pytest.mark.parametrize("obj, name, signature", [
    ("module", "read_rinex_obs", "(path, *, partial=False)"),
    ("module", "read_rinex_obs_bytes", "(data, filename, *, partial=False)"),
    ("obs", "satellites", "()"), ("obs", "observation_types", "(system)"), ("obs", "snr_codes", "(satellite)"),
    ("obs", "get_snr_series", "(satellite, code=None)"), ("obs", "glonass_fcn", "()"),
    ("series", "epochs_iso", "()"),
])
def test_text_signatures(obj, name, signature):
    obs = two_epochs()
    target = {"module": sk, "obs": obs, "series": obs.get_snr_series("G10")[0]}[obj]
    assert str(inspect.signature(getattr(target, name))) == signature


def test_docstrings():
    assert sk.RinexObsData.__doc__ == "Python-exposed RINEX observation data"
    assert sk.SnrSeries.__doc__ == "SNR time series for one satellite and one S-code"
    assert inspect.getdoc(sk.read_rinex_obs) == "Read RINEX observation file"
    assert inspect.getdoc(sk.read_rinex_obs_bytes) == "Read RINEX observation from bytes"
    assert inspect.getdoc(sk.RinexObsData.snr_codes) == 'S-codes with data for a satellite (e.g. ["S1C", "S2W"])'
    assert inspect.getdoc(sk.RinexObsData.get_snr_series) == (
        "SNR time series for one satellite: one SnrSeries per S-code, or only\n"
        "the requested code. Times are unix seconds in the file's time scale.")
    assert inspect.getdoc(sk.SnrSeries.epochs_iso) == "Epochs as ISO 8601 strings (computed on demand)"
    assert sk.SnrSeries.times.__doc__ == "Unix seconds (file time scale)"
    assert sk.SnrSeries.values.__doc__ == "SNR values (dB-Hz)"


# ---- real files ------------------------------------------------------------------

def sat_key(s):
    return (s.system.code, s.prn)


def check_observations(path, expected: Observations):
    obs = sk.read_rinex_obs(str(path))
    version, epochs = expected.version, expected.epochs
    assert (obs.version, obs.num_epochs, len(obs.epochs())) == (version, epochs, epochs)
    sats = obs.satellites()
    assert [sat_key(s) for s in sats] == sorted({sat_key(s) for s in sats})
    assert obs.num_satellites == len(sats) == sum(obs.satellites_by_system().values()) > 0
    assert obs.interval is not None and obs.interval > 0
    assert re.fullmatch(rf"RinexObsData\(version={version}, marker='.*', epochs={epochs}, sats={len(sats)}\)", repr(obs))
    for letter in obs.satellites_by_system():
        codes = obs.observation_types(letter)
        assert codes == sorted(set(codes)) and all(re.fullmatch(r"[CLDSX]\d.", c) for c in codes)
    for sat in sats[:: max(1, len(sats) // 6)]:
        snr_codes = obs.snr_codes(sat.id)
        for series in obs.get_snr_series(sat.id):
            assert series.code in snr_codes and series.satellite == sat.id
            assert len(series.times) == len(series.values) == len(series.epochs_iso()) > 0
            assert min(series.values) > 0


def check_hatanaka(path, expected: Hatanaka):
    # Field by field agreement is test_archive_input's; the sweep checks the outline.
    obs = sk.read_rinex_obs(str(path))
    plain = sk.read_rinex_obs(str(DATA_DIR / expected.expanded))
    assert (obs.version, obs.num_epochs) == (plain.version, plain.num_epochs) and obs.num_epochs > 0
    assert [s.id for s in obs.satellites()] == [s.id for s in plain.satellites()]


def check_not_observations(path, expected):
    # No format: the observation reader finds nothing in it.
    obs = sk.read_rinex_obs(str(path))
    assert (obs.num_epochs, obs.num_satellites) == (0, 0)


def check_orbit(path, expected):
    # Another format: the observation reader names it.
    with pytest.raises(OSError, match="^Failed to read RINEX: not an observation file: SP3 orbit file$"):
        sk.read_rinex_obs(str(path))


def check_navigation(path, expected):
    with pytest.raises(OSError) as info:
        sk.read_rinex_obs(str(path))
    assert str(info.value) == "Failed to read RINEX: not an observation file: RINEX navigation file (type N)"
    nav = sk.read_rinex_nav(str(path))
    assert (nav.num_satellites, nav.num_ephemerides) == (expected.satellites, expected.ephemerides)
    assert nav.satellites() == sorted(nav.satellites())


SWEEP_CHECKS = {Observations: check_observations, Hatanaka: check_hatanaka,
                Orbit: check_orbit, Navigation: check_navigation,
                Other: check_not_observations}


@pytest.mark.parametrize("name", folder_files() or files_of(Observations))
def test_every_file_of_the_data_folder_reads_as_listed(name):
    expected = DATA_FILES.get(name)
    assert expected is not None, f"{name} is new in ../shared/data: list it in DATA_FILES (tests/shared_data.py)"
    SWEEP_CHECKS[type(expected)](DATA_DIR / name, expected)


def test_every_listed_data_file_is_present():
    data_folder()
    assert sorted(set(DATA_FILES) - set(folder_files())) == []


def test_gzip_and_plain_copies_agree(tmp_path):
    packed = data_file("ACOR00ESP_R_20213550000_01D_30S_MO.rnx").read_bytes()
    (tmp_path / "acor.rnx.gz").write_bytes(gzip.compress(packed))
    a = sk.read_rinex_obs(str(tmp_path / "acor.rnx.gz"))
    b = sk.read_rinex_obs_bytes(packed, "acor.rnx")
    assert [s.id for s in a.satellites()] == [s.id for s in b.satellites()]
    assert [(s.times, s.values) for s in a.get_snr_series("E01")] == [(s.times, s.values) for s in b.get_snr_series("E01")]


def test_event_record_at_first_epoch_does_not_make_interval_zero():
    assert sk.read_rinex_obs(str(data_file("GEOP092I.24o.gz"))).interval == 1.0


def test_event_record_at_first_epoch_is_no_epoch():
    obs = sk.read_rinex_obs(str(data_file("GEOP092I.24o.gz")))
    epochs = [e.to_iso() for e in obs.epochs()]
    assert epochs[0] == "2024-04-01T08:31:16.442Z" and len(set(epochs)) == len(epochs) == 599


def test_header_interval_of_a_real_file():
    obs = sk.read_rinex_obs(str(data_file("DUTH0630.22O")))
    assert obs.header_interval == 30.0
    assert obs.num_epochs == 3 and obs.interval == pytest.approx(1710.0)


def test_padded_prn_entries_of_a_rinex2_file():
    obs = sk.read_rinex_obs(str(data_file("07590920.05o")))
    assert [s.id for s in obs.satellites()] == ["G01", "G03", "G04", "G07", "G08", "G11", "G19", "G20", "G23",
                                                "G24", "G28"]


# ---- values against a plain reading of the text ----------------------------------

def plain_rinex3_snr(path):
    """{(satellite, code): [(epoch index, value)]} for S-codes, read naively from a RINEX 3 file."""
    lines = path.read_text().splitlines()
    end = next(i for i, line in enumerate(lines) if line[60:].strip() == "END OF HEADER")
    types, system = {}, None
    for line in lines[:end]:
        if line[60:].strip() == "SYS / # / OBS TYPES":
            system = line[0] if line[0] != " " else system
            types.setdefault(system, []).extend(line[7:60].split())
    snr, epoch = {}, -1
    for line in lines[end + 1:]:
        if line.startswith(">"):
            epoch += 1
            continue
        sat = line[0] + f"{int(line[1:3]):02d}"
        for k, code in enumerate(types[line[0]]):
            field = line[3 + 16 * k: 17 + 16 * k].strip()
            if code.startswith("S") and field and float(field) > 0:
                snr.setdefault((sat, code), []).append((epoch, float(field)))
    return snr


def plain_rinex2_snr(path):
    """The same for a RINEX 2 file with S1/S2 types and no event records."""
    lines = path.read_text().splitlines()
    end = next(i for i, line in enumerate(lines) if line[60:].strip() == "END OF HEADER")
    types = [t for line in lines[:end] if line[60:].strip() == "# / TYPES OF OBSERV" for t in line[6:60].split()]
    per_sat = -(-len(types) // 5)
    snr, i, epoch = {}, end + 1, -1
    while i < len(lines):
        n = int(lines[i][29:32])
        list_lines = -(-n // 12)
        entries = "".join(lines[i + j][32:68] for j in range(list_lines))
        epoch += 1
        i += list_lines
        for s in range(n):
            entry = entries[3 * s: 3 * s + 3]
            sat = (entry[0] if entry[0] != " " else "G") + f"{int(entry[1:]):02d}"
            text = "".join(f"{line:<80}" for line in lines[i: i + per_sat])
            for k, t in enumerate(types):
                field = text[16 * k: 16 * k + 14].strip()
                if t.startswith("S") and field and float(field) > 0:
                    snr.setdefault((sat, t + "C"), []).append((epoch, float(field)))
            i += per_sat
    return snr


@pytest.mark.parametrize("name, plain", [("ACOR00ESP_R_20213550000_01D_30S_MO.rnx", plain_rinex3_snr),
                                         ("delf0010.21o", plain_rinex2_snr)], ids=["rinex3", "rinex2"])
def test_snr_values_match_the_file_text(name, plain):
    path = data_file(name)
    expected = plain(path)
    obs = sk.read_rinex_obs(str(path))
    times = [sk.Epoch(e.year, e.month, e.day, e.hour, e.minute, e.second) for e in obs.epochs()]
    index_of_time = {}
    for i, e in enumerate(times):
        index_of_time.setdefault(e.to_iso(), i)
    got = {}
    for sat in obs.satellites():
        for series in obs.get_snr_series(sat.id):
            iso = series.epochs_iso()
            got[(sat.id, series.code)] = [(index_of_time[t], v) for t, v in zip(iso, series.values)]
    assert len(expected) > 20 and got == expected
