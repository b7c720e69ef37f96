"""Archive input: Compact RINEX (Hatanaka) and Unix compress (.Z) read natively, recognised
by content, on real compact/expanded pairs and on damaged files."""
import gzip
import struct
import zlib

import pytest

import skyrift_mp as sk
from rinex_text import hline, obs_field, text, v2_epoch, v2_header, v2_obs, v3_epoch, v3_header, v3_sat
from shared_data import data_file
from unix_compress import compress

PAIRS = [
    pytest.param("ESBC00DNK_R_20201770000_01D_30S_MO.crx.gz", "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz",
                 id="crinex3-gzip-rinex3.05"),
    pytest.param("ACOR00ESP_R_20213550000_01D_30S_MO.crx", "ACOR00ESP_R_20213550000_01D_30S_MO.rnx",
                 id="crinex3-rinex3.04"),
    pytest.param("KMS300DNK_R_20221591000_01H_30S_MO.crx", "KMS300DNK_R_20221591000_01H_30S_MO.rnx",
                 id="crinex3-rinex4"),
    pytest.param("delf0010.21d", "delf0010.21o", id="crinex1-rinex2.11"),
]


def contents(obs):
    """Everything the module shows of a data set: header values, epochs, satellites,
    codes per system and every SNR series."""
    sats = [s.id for s in obs.satellites()]
    return {
        "head": (obs.version, obs.marker_name, obs.receiver_type, obs.antenna_type, obs.interval, obs.num_epochs),
        "epochs": [e.to_iso() for e in obs.epochs()],
        "satellites": sats,
        "codes": {letter: obs.observation_types(letter) for letter in obs.satellites_by_system()},
        "glonass": obs.glonass_fcn(),
        "snr": {sat: [(s.code, s.times, s.values) for s in obs.get_snr_series(sat)] for sat in sats},
    }


def analysis(obs):
    """The whole multipath analysis as plain values."""
    res = sk.MultipathAnalyzer(obs).analyze()
    return (
        [(s.signal, s.system, s.count, s.rms, s.mean, s.std_dev, s.min, s.max, s.weighted_rms) for s in res.statistics],
        [(e.satellite, e.signal, e.epoch, e.mp_value, e.snr) for e in res.estimates],
        [(c.satellite, c.signal, c.epoch, c.magnitude, c.method) for c in res.cycle_slips],
        res.cycle_slip_counts,
    )


@pytest.mark.parametrize("compact, plain", PAIRS)
def test_compact_file_reads_like_its_expanded_twin(compact, plain):
    a = sk.read_rinex_obs(str(data_file(compact)))
    b = sk.read_rinex_obs(str(data_file(plain)))
    assert a.num_epochs > 0 and contents(a) == contents(b)
    assert analysis(a) == analysis(b)


def test_compact_input_is_recognised_by_content_in_bytes_too():
    raw = data_file("ACOR00ESP_R_20213550000_01D_30S_MO.crx").read_bytes()
    expected = contents(sk.read_rinex_obs(str(data_file("ACOR00ESP_R_20213550000_01D_30S_MO.rnx"))))
    for data, name in [(raw, "x.rnx"), (raw, "x"), (gzip.compress(raw), "x.crx.gz")]:
        assert contents(sk.read_rinex_obs_bytes(data, name)) == expected


def test_a_count_too_large_no_longer_swallows_the_next_epoch():
    path = data_file("ACOR00ESP_R_20213550000_01D_30S_MO.rnx")
    lines = path.read_text().split("\n")
    first = next(i for i, line in enumerate(lines) if line.startswith(">"))
    lines[first] = lines[first][:32] + f"{int(lines[first][32:35]) + 5:3d}" + lines[first][35:]
    mended = sk.read_rinex_obs_bytes("\n".join(lines).encode(), "acor.rnx")
    assert mended.num_epochs == 25 and contents(mended) == contents(sk.read_rinex_obs(str(path)))


# ---- Unix compress ------------------------------------------------------------------

def many_epochs_v3(n=400):
    """A RINEX 3 text long enough for the LZW table to fill and widen."""
    types = {"G": ["C1C", "L1C", "S1C"]}
    lines = v3_header(types=types)
    for k in range(n):
        lines += [v3_epoch(float(k % 60), 2, minute=k // 60 % 60, hour=k // 3600),
                  v3_sat("G01", obs_field(2e7 + 17.3 * k), obs_field(1e8 + 91.7 * k, 0, 7), obs_field(40 + k % 9)),
                  v3_sat("G07", obs_field(2.1e7 - 3.1 * k), obs_field(1.1e8 - 15.9 * k), obs_field(30 + k % 13))]
    return text(lines)


@pytest.mark.parametrize("bits", [16, 12, 10], ids=lambda b: f"{b}-bit-codes")
def test_compressed_rinex_reads_like_plain(bits):
    raw = many_epochs_v3()
    packed = compress(raw, bits)
    assert packed[:2] == b"\x1f\x9d"
    assert contents(sk.read_rinex_obs_bytes(packed, "site.rnx.Z")) == contents(sk.read_rinex_obs_bytes(raw, "x.rnx"))


def test_compress_table_resets_on_data_that_does_not_pack():
    # Incompressible stretches make `compress` clear its table (code 256) mid-stream.
    noise = bytes((k * 7919 + (k >> 3) * 104729) % 251 for k in range(300000))
    comment = "".join(chr(33 + b % 90) for b in noise)
    lines = v3_header(extra=[hline(comment[i:i + 60], "COMMENT") for i in range(0, len(comment), 60)])
    raw = text(lines + [v3_epoch(0.0, 1), v3_sat("G01", obs_field(1.0), obs_field(2.0), obs_field(45.0))])
    obs = sk.read_rinex_obs_bytes(compress(raw), "x.Z")
    assert obs.get_snr_series("G01")[0].values == [45.0]


@pytest.mark.parametrize("name", ["delf0010.21o", "delf0010.21d"], ids=["rinex2", "compact-rinex2"])
def test_compressed_real_files(tmp_path, name):
    path = tmp_path / (name + ".Z")
    path.write_bytes(compress(data_file(name).read_bytes()))
    expected = contents(sk.read_rinex_obs(str(data_file("delf0010.21o"))))
    assert contents(sk.read_rinex_obs(str(path))) == expected
    assert contents(sk.read_rinex_obs_bytes(path.read_bytes(), "delf.obs")) == expected


def test_compress_cut_in_the_middle_is_an_error_or_a_shorter_file():
    # .Z has no length or checksum: text cut inside a line is an error; a cut that
    # happens to fall on a line end reads as a shorter file of whole lines.
    raw = many_epochs_v3(200)
    packed = compress(raw)
    whole = sk.read_rinex_obs_bytes(raw, "x.rnx")
    errors = 0
    for size in range(len(packed) // 2, len(packed) // 2 + 12):
        try:
            cut = sk.read_rinex_obs_bytes(packed[:size], "x.Z")
        except OSError as exc:
            assert str(exc) == "Failed to parse RINEX: I/O error: unexpected end of file"
            errors += 1
            continue
        n = cut.num_epochs
        assert 0 < n < whole.num_epochs
        for sat in ("G01", "G07"):  # the last epoch may lack its last lines; the others are whole
            assert cut.get_snr_series(sat)[0].values[: n - 1] == whole.get_snr_series(sat)[0].values[: n - 1]
    assert errors > 0


# ---- damage ---------------------------------------------------------------------------

def compact_v3():
    """A small hand-written Compact RINEX 3 file: two epochs of G01 (lines 0-11)."""
    head = [hline("3.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE"),
            hline("by hand", "CRINEX PROG / DATE")] + v3_header(types={"G": ["C1C", "S1C"]})
    return head + ["> 2020 01 01 00 00  0.0000000  0  1      G01", "", "3&20000000123 3&45000",
                   " " * 19 + "3", "", "250 -250"]


def expanded_v3():
    return text(v3_header(types={"G": ["C1C", "S1C"]}) + [
        v3_epoch(0.0, 1), v3_sat("G01", obs_field(20000000.123), obs_field(45.0)),
        v3_epoch(30.0, 1), v3_sat("G01", obs_field(20000000.373), obs_field(44.75))])


def test_compact_file_in_compress_cut_short():
    packed = compress(text(compact_v3()))
    with pytest.raises(OSError, match="^Failed to parse RINEX: I/O error: unexpected end of file$"):
        load_compact(packed[:-4])


def test_hand_written_compact_file():
    assert contents(load_compact(text(compact_v3()))) == contents(sk.read_rinex_obs_bytes(expanded_v3(), "x.rnx"))


# ---- events, cycle-slip records and fresh starts -----------------------------------

def crinex(version, header, body):
    """A hand-written compact file: the two compact lines, the RINEX header, the body."""
    return text([hline(f"{version:<20}COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE"),
                 hline("by hand", "CRINEX PROG / DATE")] + header + body)


def observations(obs):
    """Every value, LLI and SSI the module shows, code by code (absent as None)."""
    out = {}
    for letter in obs.satellites_by_system():
        for code in obs.observation_types(letter):
            grid = obs.to_numpy(code)
            out[code] = [[None if v != v else v for v in row] for name in ("values", "lli", "ssi")
                         for row in grid[name].tolist()]
    return out


V3_ONE_TYPE = v3_header(types={"G": ["S1C"]})
V3_TWO_TYPES = v3_header(types={"G": ["C1C", "S1C"]})
V2_ONE_TYPE = v2_header(types=("S1",))
V2_TWO_TYPES = v2_header(types=("C1", "S1"))
V2_EVENT = " 20  1  1  0  0 15.0000000  4  1"
SLIP_RECORD = v3_sat("G01", obs_field(20000000.2, 1), obs_field(45.5, None, 7)).rstrip()

# Compact body, then the RINEX records it stands for. Records of flags 2 to 6 come as
# they are; the epoch line after them is written in full and starts every satellite
# afresh (each arc anew, flags from blanks) while the clock's arc goes on; header lines
# inside an event change the number of fields that follow.
FRESH_STARTS = [
    pytest.param(
        "3.0", V3_TWO_TYPES,
        ["> 2020 01 01 00 00  0.0000000  0  1      G01", "3&2000", "3&20000000123 3&45000 1&&7",
         "> 2020 01 01 00 00 15.0000000  6  1       0.000000000005", SLIP_RECORD,
         "> 2020 01 01 00 00 30.0000000  0  1      G01", "1000", "3&20000000323 3&46000    9"],
        [v3_epoch(0.0, 1, clock=2e-9), v3_sat("G01", obs_field(20000000.123, 1), obs_field(45.0, None, 7)),
         "> 2020 01 01 00 00 15.0000000  6  1       0.000000000005", SLIP_RECORD,
         v3_epoch(30.0, 1, clock=3e-9), v3_sat("G01", obs_field(20000000.323), obs_field(46.0, None, 9))],
        id="rinex3-slip-records-then-a-fresh-start"),
    pytest.param(
        "3.0", V3_ONE_TYPE,
        ["> 2020 01 01 00 00  0.0000000  0  1      G01", "", "3&45000",
         "> 2020 01 01 00 00 15.0000000  4  1", hline("G    2 C1C S1C", "SYS / # / OBS TYPES"),
         "> 2020 01 01 00 00 30.0000000  0  1      G01", "", "3&20000000323 3&46000"],
        [v3_epoch(0.0, 1), v3_sat("G01", obs_field(45.0)),
         "> 2020 01 01 00 00 15.0000000  4  1", hline("G    2 C1C S1C", "SYS / # / OBS TYPES"),
         v3_epoch(30.0, 1), v3_sat("G01", obs_field(20000000.323), obs_field(46.0))],
        id="rinex3-types-redefined-in-an-event"),
    pytest.param(
        "1.0", V2_ONE_TYPE,
        ["&20  1  1  0  0  0.0000000  0  1G01", "", "3&45000",
         "&" + V2_EVENT[1:], hline("     2    C1    S1", "# / TYPES OF OBSERV"),
         "&20  1  1  0  0 30.0000000  0  1G01", "", "3&20000323 3&46000    1"],
        v2_epoch(["G01"]) + v2_obs(obs_field(45.0))
        + [V2_EVENT, hline("     2    C1    S1", "# / TYPES OF OBSERV")]
        + v2_epoch(["G01"], second=30.0) + v2_obs(obs_field(20000.323), obs_field(46.0, None, 1)),
        id="rinex2-types-redefined-in-an-event"),
    pytest.param(
        "1.0", V2_TWO_TYPES,
        ["&20  1  1  0  0  0.0000000  0  1G01", "", "3&20000123 3&45000 1 27",
         "&" + V2_EVENT[1:], hline("EVENT", "COMMENT"),
         "&20  1  1  0  0 30.0000000  0  1G01", "", "3&20000323 3&46000    8"],
        v2_epoch(["G01"]) + v2_obs(obs_field(20000.123, 1), obs_field(45.0, 2, 7))
        + [V2_EVENT, hline("EVENT", "COMMENT")]
        + v2_epoch(["G01"], second=30.0) + v2_obs(obs_field(20000.323), obs_field(46.0, None, 8)),
        id="rinex2-flags-start-afresh-after-an-event"),
]


@pytest.mark.parametrize("version, header, body, records", FRESH_STARTS)
def test_compact_events_and_fresh_starts(version, header, body, records):
    ours = load_compact(crinex(version, header, body))
    plain = sk.read_rinex_obs_bytes(text(header + records), "x.obs")
    assert ours.num_epochs == plain.num_epochs > 1
    assert contents(ours) == contents(plain) and observations(ours) == observations(plain)


# Compact RINEX 1.0 files as archives hold them, each beside the RINEX 2 text it stands
# for: blanks written "&" in an epoch line written in full, a satellite list whose
# trailing blank the compressor stripped, a clock line of blanks.
ARCHIVE_HABITS = [
    pytest.param(["&24& 1  1  0  0  0.0000000  0  2G01&02", "", "3&20000123 3&45000", "3&21000456 3&41000"],
                 v2_epoch(["G01", " 02"], yy=24) + v2_obs(obs_field(20000.123), obs_field(45.0))
                 + v2_obs(obs_field(21000.456), obs_field(41.0)),
                 id="blanks-written-as-&"),
    pytest.param(["&24  1  1  0  0  0.0000000  0  2G01R2", "", "3&20000123 3&45000", "3&21000456 3&41000",
                  " " * 16 + "3", "", "1000 -1000", "2000 -2000"],
                 v2_epoch(["G01", "R02"], yy=24) + v2_obs(obs_field(20000.123), obs_field(45.0))
                 + v2_obs(obs_field(21000.456), obs_field(41.0))
                 + v2_epoch(["G01", "R02"], yy=24, second=30.0) + v2_obs(obs_field(20001.123), obs_field(44.0))
                 + v2_obs(obs_field(21002.456), obs_field(39.0)),
                 id="trailing-blank-stripped-from-the-list"),
    pytest.param(["&24  1  1  0  0  0.0000000  0  1G01", "    ", "3&20000123 3&45000"],
                 v2_epoch(["G01"], yy=24) + v2_obs(obs_field(20000.123), obs_field(45.0)),
                 id="clock-line-of-blanks"),
]


@pytest.mark.parametrize("body, records", ARCHIVE_HABITS)
def test_compact_rinex2_archive_habits(body, records):
    header = v2_header(types=("C1", "S1"), system="M")
    ours = load_compact(crinex("1.0", header, body))
    plain = sk.read_rinex_obs_bytes(text(header + records), "x.24o")
    assert ours.num_epochs == plain.num_epochs > 0
    assert contents(ours) == contents(plain) and observations(ours) == observations(plain)


def test_stripped_list_entry_reads_alike_in_plain_and_compact_files():
    # The plain text the compact file expands to, and the same text with the blank
    # stripped by any other tool: "R2" at the line end is R02 in both.
    header = v2_header(types=("C1", "S1"), system="M")
    epoch = ([" 24  1  1  0  0  0.0000000  0  2G01R2"] + v2_obs(obs_field(20000.123), obs_field(45.0))
             + v2_obs(obs_field(21000.456), obs_field(41.0)))
    plain = sk.read_rinex_obs_bytes(text(header + epoch), "x.24o")
    compact = load_compact(crinex("1.0", header, ["&" + epoch[0][1:], "", "3&20000123 3&45000", "3&21000456 3&41000"]))
    assert [s.id for s in plain.satellites()] == ["G01", "R02"]
    assert contents(compact) == contents(plain)


def load_compact(data, name="x.crx"):
    return sk.read_rinex_obs_bytes(data, name)


def damaged(kind):
    lines = compact_v3()
    if kind == "truncated-line":
        return text(lines)[:-3]
    if kind == "truncated-epoch":
        return text(lines[:-1])
    if kind == "garbage-after-header":
        return text(lines[:6] + ["this is not an epoch"] + lines[6:])
    if kind == "order-out-of-range":
        return text(lines[:-1] + ["250 12&5"])
    if kind == "difference-before-start":
        return text(lines[:-4] + ["3&20000000123 -5"] + lines[-3:])
    if kind == "bad-number":
        return text(lines[:-1] + ["250 -2x50"])
    if kind == "difference-epoch-after-event":
        return text(lines[:9] + ["> 2020 01 01 00 00 15.0000000  4  0"] + lines[9:])
    if kind == "difference-after-a-full-epoch":
        return text(lines[:9] + ["> 2020 01 01 00 00 30.0000000  0  1      G01", "", "250 -250"])
    if kind == "order-missing":
        return text(lines[:-1] + ["250 &5"])
    if kind == "date-that-does-not-parse":
        return text(lines[:-3] + [" " * 17 + "x", "", "250 -250"])
    if kind == "list-short-of-a-satellite":
        return text(lines[:-3] + [" " * 33 + "2", "", "250 -250"])
    raise ValueError(kind)


@pytest.mark.parametrize("kind, message", [
    ("truncated-line", "line 11: Compact RINEX: last line cut short"),
    ("truncated-epoch", "line 11: Compact RINEX: file ends inside an epoch"),
    ("garbage-after-header", "line 6: Compact RINEX: epoch line expected"),
    ("order-out-of-range", "line 11: Compact RINEX: difference order out of range"),
    ("difference-before-start", "line 8: Compact RINEX: difference without a starting value"),
    ("bad-number", "line 11: Compact RINEX: bad number"),
    ("difference-epoch-after-event", "line 10: Compact RINEX: epoch line after an event not written in full"),
    ("difference-after-a-full-epoch", "line 11: Compact RINEX: difference without a starting value"),
    ("order-missing", "line 11: Compact RINEX: difference order missing"),
    ("date-that-does-not-parse", "line 9: Compact RINEX: epoch date does not parse"),
    ("list-short-of-a-satellite", "line 9: Compact RINEX: satellite list shorter than its count"),
], ids=lambda v: v if "line" not in v or "-" in v else None)
def test_damaged_compact_input_is_an_error_with_its_line(kind, message):
    with pytest.raises(OSError) as info:
        load_compact(damaged(kind))
    assert str(info.value) == "Failed to parse RINEX: RINEX parsing error at " + message


@pytest.mark.parametrize("data, message", [
    (b"\x1f\x9d", "invalid compress header"),
    (b"\x1f\x9d\x94", "invalid compress header"),  # 20-bit codes
    (b"\x1f\x9d\x90\x41\xfe\x03", "corrupt compress stream"),  # "A", then code 511 before any entry exists
], ids=["no-flags", "wide-codes", "code-beyond-table"])
def test_corrupt_compress_data(data, message):
    with pytest.raises(OSError) as info:
        sk.read_rinex_obs_bytes(data, "x.rnx")
    assert str(info.value) == "Failed to parse RINEX: I/O error: " + message


def gzip_with_header_crc(payload: bytes, damage_crc=False) -> bytes:
    header = b"\x1f\x8b\x08\x0a" + bytes(6) + b"name.rnx\0"  # FHCRC and FNAME set
    crc = zlib.crc32(header) & 0xFFFF
    body = zlib.compressobj(9, zlib.DEFLATED, -15)
    deflated = body.compress(payload) + body.flush()
    trailer = struct.pack("<II", zlib.crc32(payload), len(payload))
    return header + struct.pack("<H", crc ^ (1 if damage_crc else 0)) + deflated + trailer


def test_gzip_header_crc_is_checked():
    raw = expanded_v3()
    assert contents(sk.read_rinex_obs_bytes(gzip_with_header_crc(raw), "x.gz")) == contents(
        sk.read_rinex_obs_bytes(raw, "x.rnx"))
    with pytest.raises(OSError, match="^Failed to parse RINEX: I/O error: invalid gzip header$"):
        sk.read_rinex_obs_bytes(gzip_with_header_crc(raw, damage_crc=True), "x.gz")


def test_rinex2_compact_and_bare_version(tmp_path):
    # An EPN file of 1995 writes its version as a bare "2"; through .Z and compact RINEX 1.0.
    header = v2_header(version="2", types=("L1", "S1"))
    compact = [hline("1.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE"),
               hline("by hand", "CRINEX PROG / DATE")] + header + [
        "&95  1  2  3  4  5.0000000  0  2G01G02", "", "3&100000000000 3&45000", "3&90000000000 3&41000",
        " " * 16 + "3", "", "1000 -1000", "-2000 2000"]
    plain = text(header + v2_epoch(["G01", "G02"], yy=95, month=1, day=2, hour=3, minute=4, second=5.0)
                 + v2_obs(obs_field(100000000.0), obs_field(45.0)) + v2_obs(obs_field(90000000.0), obs_field(41.0))
                 + v2_epoch(["G01", "G02"], yy=95, month=1, day=2, hour=3, minute=4, second=35.0)
                 + v2_obs(obs_field(100000001.0), obs_field(44.0)) + v2_obs(obs_field(89999998.0), obs_field(43.0)))
    obs = sk.read_rinex_obs_bytes(compress(text(compact)), "epn.95d.Z")
    assert obs.version == "2.00"
    assert contents(obs) == contents(sk.read_rinex_obs_bytes(plain, "x.95o"))
