"""Compact RINEX decoding checked against the public RNXCMP converter on generated files.

Usage: .venv/bin/python bench/crinex_crosscheck.py [--workdir DIR] [--only NAME] [--long]

Real archive files seldom hold what the format must carry: event records (flags 2 to 5,
with header lines inside, observation types redefined), cycle-slip records (flag 6),
power failures (flag 1), receiver clock offsets that come and go, comments in the body,
blank observations, satellites that leave and return. This script writes RINEX 2.11 and
3.04 observation texts full of them, compresses each with RNXCMP's rnx2crx through the
`hatanaka` package (installed only in bench/.venv-peers by `make bench-peers`; run in a
subprocess with that venv's python), and prints one row per case:
  rnx2crx   what the converter made of the text ("ok", or its complaint);
  RNXCMP    its own crx2rnx of its output against the original text;
  text      the text our input layer expands the compact file to, against the original;
  read      our reader on the compact file against our reader on the original: the
            module's view (epochs, satellites, types, every value, LLI and SSI per code)
            and the stored records (epoch flags, clock offsets, value bits) printed by
            bench/obs_dump.cpp.
Texts are compared line by line with trailing blanks dropped; a difference prints the
first differing line of each side (crx2rnx writes "0.5" as " .5": that alone is no
difference).

A second table feeds hand-written compact files of what rnx2crx never writes (a bare
difference after a full epoch line, flags on an empty field, ...) to RNXCMP's crx2rnx
and to our input layer: both must refuse, or both expand to the same text. A probe
marked "chosen" is one where we refuse what crx2rnx guesses at, or read it otherwise on
purpose (the reason is printed).
The exit status is 1 when a case differs or a probe parts without being chosen.
"""
import argparse
import json
import random
import re
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field
from datetime import datetime, timedelta
from pathlib import Path

import numpy as np

import skyrift_mp as sk
from cpp_tools import build_cpp_tool

REPO = Path(__file__).resolve().parents[1]
PEER_PY = REPO / "bench" / ".venv-peers" / "bin" / "python"
sys.path.insert(0, str(REPO / "tests"))
from rinex_text import hline, obs_field, v2_header, v3_header  # noqa: E402

START = datetime(2020, 12, 31, 23, 58, 30)  # epochs cross a minute, an hour, a day, a month and a year

# Compresses every file named in a JSON list with RNXCMP and expands the result again;
# prints one JSON status per file.
PEER_SCRIPT = """
import json, sys
import hatanaka
for job in json.load(open(sys.argv[1])):
    try:
        crx = hatanaka.rnx2crx(open(job["rnx"], "rb").read(), reinit_every_nth=job["reinit"])
    except Exception as exc:
        print(json.dumps({"rnx2crx": str(exc).strip().splitlines()[-1][:60]}))
        continue
    open(job["crx"], "wb").write(crx)
    try:
        open(job["round"], "wb").write(hatanaka.crx2rnx(crx))
        print(json.dumps({"rnx2crx": "ok"}))
    except Exception as exc:
        print(json.dumps({"rnx2crx": "ok", "crx2rnx": str(exc).strip().splitlines()[-1][:60]}))
"""


# ---- generated observation texts ---------------------------------------------------

@dataclass
class Writer:
    """A RINEX observation text written record by record; `types` follows redefinitions."""
    version: str
    types: dict  # system letter -> codes; RINEX 2: key "*" for every system
    lines: list = field(default_factory=list)
    rnd: random.Random = field(default_factory=lambda: random.Random(7))

    def __post_init__(self):
        if self.v2:
            self.lines = v2_header(types=self.types["*"], system="M", version=self.version)
        else:
            self.lines = v3_header(version=self.version, types=self.types)

    @property
    def v2(self):
        return self.version.startswith("2")

    def codes(self, sat):
        return self.types["*" if self.v2 else sat[0]]

    def epoch_line(self, t, flag, count, clock=None, sats=()):
        """The epoch line(s); t None leaves the time blank (allowed in events)."""
        when = START + timedelta(seconds=t) if t is not None else None
        if self.v2:
            stamp = (f" {when.year % 100:02d} {when.month:2d} {when.day:2d} {when.hour:2d} {when.minute:2d}"
                     f"{when.second + when.microsecond / 1e6:11.7f}" if when else " " * 26)
            chunks = [sats[i:i + 12] for i in range(0, len(sats), 12)] or [[]]
            first = f"{stamp}  {flag:d}{count:3d}" + "".join(chunks[0])
            if clock is not None:
                first = f"{first:<68}{clock:12.9f}"
            return [first] + [" " * 32 + "".join(c) for c in chunks[1:]]
        stamp = (f" {when.year:4d} {when.month:02d} {when.day:02d} {when.hour:02d} {when.minute:02d}"
                 f"{when.second + when.microsecond / 1e6:11.7f}" if when else " " * 28)
        line = f">{stamp}  {flag:d}{count:3d}"
        return [line + (f"      {clock:15.12f}" if clock is not None else "")]

    def epoch(self, t, records, flag=0, clock=None):
        """records: {sat: [field text per code]} in list order."""
        sats = list(records)
        self.lines += self.epoch_line(t, flag, len(sats), clock, sats)
        for sat, fields in records.items():
            assert len(fields) == len(self.codes(sat)), (sat, len(fields))
            if self.v2:
                self.lines += ["".join(fields[i:i + 5]).rstrip() for i in range(0, max(len(fields), 1), 5)]
            else:
                self.lines.append((sat + "".join(fields)).rstrip())

    def event(self, flag, records, t=None, clock=None):
        self.lines += self.epoch_line(t, flag, len(records), clock)
        self.lines += records

    def redefine(self, types):
        """Header lines that redefine observation types, to go inside an event."""
        self.types = {**self.types, **types}
        if self.v2:
            return [line for line in v2_header(types=self.types["*"]) if line.endswith("# / TYPES OF OBSERV")]
        return [line for line in v3_header(types=types, end=False) if line.endswith("SYS / # / OBS TYPES")]

    def value(self, sat, code, k):
        """A smooth value in thousandths per satellite and code at epoch k, with noise."""
        prn = int(sat[1:])
        noise = self.rnd.randint(-40, 40)
        kind = code[0]
        if kind in "CP":
            return 20_000_000_000 + prn * 713_000_000 + k * 617_123 + noise * 7
        if kind == "L":
            return 105_000_000_000 + prn * 3_100_000_000 + k * 3_243_117 + noise * 3
        if kind == "D":
            return -3_000_000 + prn * 211_000 + k * 1_250 + noise
        return 35_000 + (prn * 7 + k) % 17 * 250

    def fields(self, sat, k, blank=0.0, lli=(), ssi=(), overrides=None):
        """Field texts of one satellite at epoch k: a value per code, some blank, flags
        drawn from `lli` / `ssi` (None for blank)."""
        out = []
        for code in self.codes(sat):
            q = (overrides or {}).get(code, self.value(sat, code, k))
            if q is None or self.rnd.random() < blank:
                out.append(obs_field())
                continue
            flag_l = self.rnd.choice(lli) if lli and code[0] == "L" else None
            flag_s = self.rnd.choice(ssi) if ssi else None
            out.append(obs_field(q / 1000, flag_l, flag_s))  # F14.3 shows q exactly
        return out

    def data(self, k, sats, **kw):
        return {sat: self.fields(sat, k, **kw) for sat in sats}

    def text(self):
        return "\n".join(self.lines) + "\n"


V2_TYPES = ("C1", "L1", "L2", "P2", "S1", "S2", "D1")
V3_TYPES = {"G": ["C1C", "L1C", "D1C", "S1C", "C2W", "L2W", "S2W"], "R": ["C1C", "L1C", "S1C"],
            "E": ["C1X", "L1X", "S1X", "C5X", "L5X"]}
SATS = ["G01", "G07", "R12", "E11"]


def new(version, types=None):
    if version.startswith("2"):
        return Writer(version, {"*": tuple(types or V2_TYPES)})
    return Writer(version, dict(types or V3_TYPES))


def case_clock_every_epoch(w):
    for k in range(16):  # a receiver that steers its clock: a millisecond jump at k = 9
        w.epoch(30 * k, w.data(k, SATS, ssi=(5, 6)), clock=1.234e-4 + 3.1e-9 * k + (1e-3 if k >= 9 else 0))


def case_clock_some_epochs(w):
    for k in range(16):
        w.epoch(30 * k, w.data(k, SATS), clock=None if k % 3 == 1 or k in (7, 8) else -2.5e-4 + 1.7e-9 * k * k)


def case_clock_switching_off(w):
    for k in range(18):  # on, off for good half way; then on again near the end
        w.epoch(30 * k, w.data(k, SATS), clock=4.1e-5 * k if k < 7 or k >= 15 else None)


def case_clock_extremes(w):
    big = 9.999999999 if w.v2 else 9.999999999999
    tiny = 1e-9 if w.v2 else 1e-12
    for k, clock in enumerate([big, -big, tiny, -tiny, 0.0, -0.5, 0.5, big, -big, 0.0]):
        w.epoch(30 * k, w.data(k, SATS), clock=clock)


def event_records(w, flag):
    """Header lines an event of this flag typically carries."""
    antenna = hline("        1.2345        0.0000        0.0000", "ANTENNA: DELTA H/E/N")
    if flag == 2:
        return [hline("START OF KINEMATIC DATA", "COMMENT")]
    if flag == 3:
        return [hline("NEWSITE", "MARKER NAME"), hline("12345M001", "MARKER NUMBER"), antenna,
                hline("  3512345.6789  1234567.8901  5123456.7890", "APPROX POSITION XYZ"),
                hline("OCCUPATION OF A NEW SITE", "COMMENT")]
    if flag == 4:
        return [hline("ANTENNA RAISED & RE-LEVELLED 2 TIMES", "COMMENT"), antenna]
    return []


def case_event(flag):
    def build(w):
        lli = (None, None, 1, 0)
        for k in range(10):
            clock = 1e-4 * (k + 1)
            if k == 5:  # the event between two epochs that carry clocks, flags and values
                w.event(flag, event_records(w, flag), t=30 * k - 15)
            w.epoch(30 * k, w.data(k, SATS, lli=lli, ssi=(4, 7, None)), clock=clock)
        w.event(flag, [], t=30 * 10)  # and one without records at the end
    return build


def case_events_blank_time_and_back_to_back(w):
    w.event(4, [hline("AN EVENT BEFORE THE FIRST EPOCH", "COMMENT")], t=None)
    for k in range(9):
        if k == 3:
            w.event(3, event_records(w, 3), t=None)
            w.event(4, [hline("RIGHT AFTER THE OTHER", "COMMENT")], t=None)
            w.event(2, [], t=30 * k - 1)
        if k == 6:
            w.event(5, [], t=30 * k - 10, clock=-3e-5)
        w.epoch(30 * k, w.data(k, SATS, ssi=(6,)), clock=None if k % 2 else 2e-5)


def case_types_redefined_in_event(w):
    sats = SATS
    if w.v2:  # fewer types in another order, then eleven (a continued types line)
        changes = [{"*": ("C1", "S1", "L1", "P2")},
                   {"*": ("C1", "L1", "L2", "P1", "P2", "S1", "S2", "D1", "D2", "C2", "C5")}]
    else:  # GPS changes; then Galileo shrinks and BeiDou joins
        changes = [{"G": ["C1C", "S1C", "L1C", "C5Q"]}, {"E": ["C1X", "S1X"], "C": ["C2I", "L2I", "S2I"]}]
    for k in range(6):
        w.epoch(30 * k, w.data(k, sats, lli=(None, 1), ssi=(7,)))
    w.event(4, [hline("OBSERVATION TYPES CHANGE", "COMMENT")] + w.redefine(changes[0]), t=175)
    for k in range(6, 11):
        w.epoch(30 * k, w.data(k, sats, lli=(None, 1), ssi=(7,)))
    w.event(4, w.redefine(changes[1]), t=None)
    sats = sats + ([] if w.v2 else ["C21"])
    for k in range(11, 16):
        w.epoch(30 * k, w.data(k, sats, lli=(None, 1), ssi=(7,)))


def case_power_failure(w):
    for k in range(12):
        sats = SATS[:2] if k == 6 else SATS
        w.epoch(30 * k, w.data(k, sats, lli=(None, 0), ssi=(6,)), flag=1 if k == 6 else 0, clock=7e-6 * k)


def case_cycle_slip_records(w):
    for k in range(12):
        if k in (4, 8):
            # RNXCMP copies a slip record as one line: RINEX 2 slip records fit five types.
            sats = SATS[1:3]
            w.epoch(30 * k - 10, w.data(k, sats, lli=(1,), ssi=(5,)), flag=6, clock=1.5e-7 if k == 4 else None)
        w.epoch(30 * k, w.data(k, SATS, lli=(None, 0), ssi=(6,)), clock=3e-6 * k)


def case_slip_records_of_many(w):
    pool = [f"G{p:02d}" for p in range(1, 15)]  # fourteen: RINEX 2 continues the satellite list
    for k in range(6):
        if k == 2:
            w.epoch(30 * k - 10, w.data(k, pool, lli=(1,)), flag=6)
        w.epoch(30 * k, w.data(k, pool))


def case_slip_records_on_two_lines(w):
    for k in range(6):  # seven types: two lines a record in RINEX 2
        if k == 2:
            w.epoch(30 * k - 10, w.data(k, ["G07"], lli=(1,)), flag=6)
        w.epoch(30 * k, w.data(k, SATS))


def case_comments_in_body(w):
    for k in range(14):
        if k % 4 == 2:
            w.event(4, [hline(f"COMMENT {k} WITH & AND > SIGNS " + "&" * k, "COMMENT"),
                        hline("", "COMMENT")], t=30 * k - 5)
        w.epoch(30 * k, w.data(k, SATS, ssi=(6, 7)))


def case_blank_observations(w):
    for k in range(18):
        data = w.data(k, SATS, blank=0.2, lli=(None, 1), ssi=(None, 5, 8))
        first = SATS[0]
        if 5 <= k < 9:  # a whole code blank for a stretch, then back
            data[first][1] = obs_field()
        if k == 12:  # a satellite line of blanks only
            data[first] = [obs_field()] * len(data[first])
        w.epoch(30 * k, data)


def case_satellites_leave_and_return(w):
    sats = SATS
    for k in range(20):
        present = [s for i, s in enumerate(sats)
                   if not (i == 0 and k in (4,)) and not (i == 1 and 6 <= k < 9) and not (i == 2 and k % 2)]
        if k % 5 == 3:
            present = present[::-1]  # the same satellites listed in another order
        w.epoch(30 * k, w.data(k, present, ssi=(6,)))


def case_satellite_count_changes(w):
    pool = [f"G{p:02d}" for p in range(1, 33)] + [f"R{p:02d}" for p in range(1, 11)]
    for k, n in enumerate([3, 14, 27, 36, 5, 13, 12, 24, 25, 1, 0, 2]):
        w.epoch(30 * k, w.data(k, pool[k % 4:k % 4 + n]))


def case_indicators_changing(w):
    for k in range(18):
        w.epoch(30 * k, w.data(k, SATS, lli=(None, 0, 1, 2, 4, 5), ssi=(None, 1, 4, 7, 9)))


def case_flags_on_blank_values(w):
    for k in range(8):
        data = w.data(k, SATS, ssi=(6,))
        first = SATS[0]
        data[first][0] = " " * 14 + "1" + ("5" if k % 2 else " ")
        w.epoch(30 * k, data)


def case_large_and_negative_values(w):
    sats = SATS
    for k in range(14):
        overrides = [
            {c: 9_999_999_999_999 - k for c in w.codes(sats[0])},  # the largest F14.3 value
            {c: -999_999_999_999 + 1_000_000_000 * k for c in w.codes(sats[1])},  # the smallest, then up
            {c: (1 if k % 2 else -1) * 123_456_789_012 for c in w.codes(sats[2])},  # sign changes
            {c: 2_000_000_000 - 400_000_000 * k for c in w.codes(sats[3])},  # through zero
        ]
        w.epoch(30 * k, {s: w.fields(s, k, overrides=o, ssi=(9,)) for s, o in zip(sats, overrides)})


def case_reinitialised_every_third_epoch(w):
    for k in range(12):
        w.epoch(30 * k, w.data(k, SATS[: 2 + k % 3], lli=(None, 1), ssi=(6,)), clock=1e-6 * k)


def case_satellite_ids_with_blanks(w):
    for k in range(8):  # RINEX 2 writes GPS 1 as "  1" or "G 1" too
        w.epoch(30 * k, w.data(k, ["  1", "G 2", "R 3", "G14"][: 2 + k % 3], ssi=(6,)))


def case_one_digit_prn_last(w):
    for k in range(8):  # "R2 " (a left-justified PRN) last on the line: its blank is trailing
        w.epoch(30 * k, w.data(k, ["G01", "G14", "R2 "] if k % 3 else ["G01", "R2 "], ssi=(6,)))


def case_header_only(w):
    pass


def case_fractional_seconds(w):
    for k in range(14):
        w.epoch(0.1 * k + (29.5 if k > 6 else 0), w.data(k, SATS))


def case_everything(w):
    sats = SATS
    for k in range(30):
        if k in (5, 17):
            w.event(4, [hline(f"COMMENT AT {k}", "COMMENT")], t=30 * k - 7)
        if k == 11:
            w.event(3, event_records(w, 3), t=None)
        present = [s for i, s in enumerate(sats) if (k + i) % 7]
        flag = 1 if k == 20 else 0
        w.epoch(30 * k, w.data(k, present, blank=0.1, lli=(None, 1), ssi=(None, 6)), flag=flag,
                clock=None if k % 4 == 3 else 1e-7 * k)


CASES = [
    ("clock on every epoch", case_clock_every_epoch, 0),
    ("clock on some epochs", case_clock_some_epochs, 0),
    ("clock switching off", case_clock_switching_off, 0),
    ("clock extremes", case_clock_extremes, 0),
    *[(f"event flag {f}", case_event(f), 0) for f in (2, 3, 4, 5)],
    ("events blank time, back to back", case_events_blank_time_and_back_to_back, 0),
    ("types redefined in events", case_types_redefined_in_event, 0),
    ("power failure flag 1", case_power_failure, 0),
    ("cycle slip records flag 6", case_cycle_slip_records, 0),
    ("slip records of 14 satellites", case_slip_records_of_many, 0),
    ("slip records on two lines", case_slip_records_on_two_lines, 0),
    ("comments in body", case_comments_in_body, 0),
    ("blank observations", case_blank_observations, 0),
    ("satellites leave and return", case_satellites_leave_and_return, 0),
    ("satellite count changes", case_satellite_count_changes, 0),
    ("LLI/SSI changing", case_indicators_changing, 0),
    ("LLI/SSI on blank values", case_flags_on_blank_values, 0),
    ("large and negative values", case_large_and_negative_values, 0),
    ("reinitialised every 3rd epoch", case_reinitialised_every_third_epoch, 3),
    ("fractional seconds", case_fractional_seconds, 0),
    ("satellite ids with blanks", case_satellite_ids_with_blanks, 0, ["2.11"]),
    ("one-digit PRN last on the line", case_one_digit_prn_last, 0, ["2.11"]),
    ("header only", case_header_only, 0),
    ("everything at once", case_everything, 0, ["2.11", "3.04", "4.00"]),
]
VERSIONS = ["2.11", "3.04"]


def build_case(build, version):
    five = build in (case_cycle_slip_records, case_slip_records_of_many)
    types = ("C1", "L1", "L2", "P2", "S1") if five and version.startswith("2") else None
    w = new(version, types)
    build(w)
    return w.text()


# ---- hand-written compact files: what a decoder must do with what rnx2crx never writes

def compact(version, body):
    if version == "1.0":
        header = v2_header(types=("C1", "L1", "S1"))
    else:
        header = v3_header(types={"G": ["C1C", "L1C", "S1C"]})
    return "\n".join([hline(f"{version:<20}COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE"),
                      hline("by hand", "CRINEX PROG / DATE")] + header + body) + "\n"


V3_FIRST = ["> 2020 01 01 00 00  0.0000000  0  1      G01", "3&1500", "3&20000000123 3&100000000456 3&45000 1&5&7&"]
V3_FULL = "> 2020 01 01 00 00 30.0000000  0  1      G01"
V3_DIFF = " " * 19 + "3"
V2_FIRST = ["&20  1  1  0  0  0.0000000  0  1G01", "3&-250", "3&20000 3&100000 3&45000  41519"]
V2_DIFF = " " * 17 + "1"
PROBES = [
    ("3.0 arc difference after a full epoch", "3.0", V3_FIRST + [V3_FULL, "", "250 1000 3&46000"]),
    ("3.0 flags after a full epoch", "3.0", V3_FIRST + [V3_FULL, "", "3&1 3&2 3&3    2"]),
    ("3.0 flags after a difference epoch", "3.0", V3_FIRST + [V3_DIFF, "", "3&1 3&2 3&3    2"]),
    ("3.0 clock over a full epoch", "3.0", V3_FIRST + [V3_FULL, "100", "3&1 3&2 3&3 &&&&&&"]),
    # rnx2crx starts a new arc after an empty clock line; crx2rnx reads a bare difference
    # there as a value in itself, which we refuse rather than guess.
    ("3.0 clock difference after none", "3.0", V3_FIRST + [V3_DIFF, "", "1 1 1", V3_DIFF.replace("3", "4"), "7",
                                                           "1 1 1"], "refused by us"),
    ("3.0 difference epoch after an event", "3.0", V3_FIRST + ["> 2020 01 01 00 00 15.0000000  4  1",
                                                               hline("X", "COMMENT"), V3_DIFF, "", "1 1 1"]),
    ("3.0 difference epoch after slips", "3.0", V3_FIRST + ["> 2020 01 01 00 00 15.0000000  6  1",
                                                            "G01          1.000 1", V3_DIFF, "", "1 1 1"]),
    ("3.0 flags on an empty field", "3.0", V3_FIRST + [V3_DIFF, "", "1  1 &&1&&&"]),
    ("1.0 flags on an empty field", "1.0", V2_FIRST + [V2_DIFF, "", "1000  1000    27",
                                                       V2_DIFF.replace("1", "2"), "", "1000 3&5000 1000"]),
    ("1.0 flags of a returning value", "1.0", V2_FIRST + [V2_DIFF, "", "1000  1000",
                                                          V2_DIFF.replace("1", "2"), "", "1000 3&5000 1000    2"]),
    ("1.0 flags over a restart", "1.0", V2_FIRST + [V2_DIFF, "", "1000 3&5000 1000"]),
    ("1.0 flags after a full epoch", "1.0", V2_FIRST + ["&20  1  1  0  0  1.0000000  0  1G01", "",
                                                        "3&1 3&2 3&3    2"]),
    # What archives hold: a full epoch line is a difference against a blank line, so "&"
    # in it is a blank; a compressor strips the trailing blank of a last satellite "R2 ";
    # a clock line of blanks is no clock.
    ("1.0 blanks written & in a full epoch line", "1.0",
     ["&20& 1  1  0  0  0.0000000  0  2G01&02", "", "3&20000 3&100000 3&45000", "3&21000 3&110000 3&41000"]),
    ("3.0 blanks written & in a full epoch line", "3.0",
     [">&2020&01 01&00 00  0.0000000  0  1&&&&&&G01", "", "3&20000000123 3&100000000456 3&45000 1&5&7&"]),
    ("1.0 list with its trailing blank stripped", "1.0",
     ["&20  1  1  0  0  0.0000000  0  2G01R2", "", "3&20000 3&100000 3&45000", "3&21000 3&110000 3&41000",
      " " * 16 + "3", "", "1000 1000 -250", "2000 2000 250"]),
    ("1.0 difference order missing", "1.0", V2_FIRST[:2] + ["&20000 3&100000 3&45000"]),
    ("3.0 difference order missing", "3.0", V3_FIRST[:2] + ["&20000000123 3&100000000456 3&45000"]),
    # crx2rnx reads blanks as a clock offset of 0; we read no clock, as from an empty line.
    ("1.0 clock line of blanks", "1.0", ["&20  1  1  0  0  0.0000000  0  1G01", "   ", "3&20000 3&100000 3&45000"],
     "no clock for us"),
    ("3.0 clock line of blanks", "3.0", [V3_FIRST[0], "   ", V3_FIRST[2]], "no clock for us"),
    ("1.0 epoch date that does not parse", "1.0", ["&20  1 x1  0  0  0.0000000  0  1G01", "", "3&1 3&2 3&3"],
     "refused by us"),
    ("3.0 epoch date that does not parse", "3.0", ["> 2020 01 0x 00 00  0.0000000  0  1      G01", "", "3&1 3&2 3&3"],
     "refused by us"),
]

PROBE_SCRIPT = """
import json, sys
import hatanaka
for path in json.load(open(sys.argv[1])):
    try:
        open(path + ".rnxcmp", "wb").write(hatanaka.crx2rnx(open(path, "rb").read()))
        print(json.dumps("ok"))
    except Exception as exc:
        print(json.dumps(str(exc).strip().splitlines()[0][:60]))
"""


def run_peer(script, jobs, job_file):
    """Runs a script in the peer venv over a JSON list of jobs; one JSON status per job."""
    job_file.write_text(json.dumps(jobs))
    peer = subprocess.run([str(PEER_PY), "-c", script, str(job_file)], capture_output=True, text=True)
    statuses = [json.loads(line) for line in peer.stdout.splitlines()]
    if len(statuses) != len(jobs):
        sys.exit(f"the peer failed: {peer.stderr.strip()[-400:]}")
    return statuses


def run_probes(tool, work, width):
    paths = []
    for name, version, body, *_ in PROBES:
        path = work / ("probe-" + name.replace(" ", "_") + ".crx")
        path.write_text(compact(version, body))
        paths.append(str(path))
    statuses = run_peer(PROBE_SCRIPT, paths, work / "probes.json")
    print()
    print("Hand-written compact files, expanded by RNXCMP's crx2rnx and by our input layer")
    print(f"{'probe':<40} {'crx2rnx':<8} {'ours':<8} {'agree':<6} detail")
    failures = 0
    for (name, _, _, *chosen), path, status in zip(PROBES, paths, statuses):
        ours = run_dump(tool, Path(path), True)
        our_error = next((line for line in ours.splitlines() if line.startswith("error: ")), None)
        if status != "ok" or our_error:
            agree = "yes" if status != "ok" and our_error is not None else "NO"
            detail = f"crx2rnx: {status}; ours: {our_error or 'expanded'}"
        else:
            diff = first_difference(Path(path + ".rnxcmp").read_text(), ours, without_leading_zeros)
            agree, detail = "NO" if diff else "yes", diff or ""
        if agree == "NO" and chosen:
            agree, detail = "chosen", f"{chosen[0]}; {detail}"
        failures += agree == "NO"
        print(f"{name:<40} {'error' if status != 'ok' else 'ok':<8} {'error' if our_error else 'ok':<8} "
              f"{agree:<6} {short(detail, width)}")
    return failures


# ---- comparison -------------------------------------------------------------------

def lines_of(text):
    lines = [line.rstrip() for line in text.split("\n")]
    while lines and not lines[-1]:
        lines.pop()
    return lines


def without_leading_zeros(text):
    """crx2rnx writes "0.5" as " .5" and "-0.5" as " -.5"; the same numbers to any reader."""
    return re.sub(r"(?<![0-9])0\.", " .", re.sub(r"-0\.", " -.", text))


def first_difference(expected, got, normalise=lambda text: text):
    """None when equal, else where and how the line lists part."""
    a, b = lines_of(normalise(expected)), lines_of(normalise(got))
    for i in range(max(len(a), len(b))):
        x = a[i] if i < len(a) else "<end>"
        y = b[i] if i < len(b) else "<end>"
        if x != y:
            return f"line {i + 1}: want {x!r} got {y!r}"
    return None


def module_view(path):
    """The module's view of a file: text, or the error it raised."""
    try:
        obs = sk.read_rinex_obs(str(path))
    except (OSError, ValueError) as exc:
        return f"error: {exc}"
    out = [f"epochs {[e.to_iso() for e in obs.epochs()]}", f"satellites {[s.id for s in obs.satellites()]}"]
    codes = []
    for letter in sorted(obs.satellites_by_system()):
        types = obs.observation_types(letter)
        out.append(f"types {letter} {types}")
        codes += [c for c in types if c not in codes]
    for code in codes:
        grid = obs.to_numpy(code)
        for name in ("values", "lli", "ssi"):
            column = np.asarray(grid[name])
            out.append(f"{code} {name} {list(grid['sv'])} " + " ".join(
                "nan" if isinstance(v, float) and v != v else repr(v) for v in column.ravel().tolist()))
    return "\n".join(out)


def run_dump(tool, path, text_mode):
    args = [str(tool)] + (["--text"] if text_mode else []) + [str(path)]
    return subprocess.run(args, capture_output=True, text=True).stdout


def short(text, width=70):
    return text if len(text) <= width else text[: width - 3] + "..."


def run_cases(tool, work, only, width):
    jobs, rows = [], []
    for name, build, reinit, *versions in CASES:
        if only and only not in name:
            continue
        for version in versions[0] if versions else VERSIONS:
            stem = work / (re.sub(r"[^A-Za-z0-9]+", "_", name) + "-v" + version.replace(".", ""))
            suffix = ".20o" if version.startswith("2") else ".rnx"
            rnx = stem.with_suffix(suffix)
            rnx.write_text(build_case(build, version))
            jobs.append({"rnx": str(rnx), "crx": str(stem.with_suffix(".crx")),
                         "round": str(stem.with_suffix(".round" + suffix)), "reinit": reinit or None})
            rows.append((name, version))
    statuses = run_peer(PEER_SCRIPT, jobs, work / "jobs.json")
    rnxcmp = subprocess.run([str(PEER_PY), "-c", "import hatanaka; print(hatanaka.rnxcmp_version)"],
                            capture_output=True, text=True).stdout.strip()
    print(f"RNXCMP {rnxcmp} (hatanaka package) against skyrift_mp {sk.version()}")
    print(f"{'case':<34} {'RINEX':<5} {'rnx2crx':<8} {'RNXCMP':<8} {'text':<8} {'read':<8} first difference")
    failures = 0
    for (name, version), job, status in zip(rows, jobs, statuses):
        if status["rnx2crx"] != "ok":
            print(f"{name:<34} {version:<5} refused  -        -        -        {short(status['rnx2crx'], width)}")
            continue
        rnx, crx = Path(job["rnx"]), Path(job["crx"])
        original = rnx.read_text()
        notes = []
        round_trip = "error" if "crx2rnx" in status else "equal"
        if "crx2rnx" not in status:
            diff = first_difference(original, Path(job["round"]).read_text(), without_leading_zeros)
            if diff:
                round_trip = "differs"
                notes.append("RNXCMP " + diff)
        text_diff = first_difference(original, run_dump(tool, crx, True))
        read_diff = (first_difference(module_view(rnx), module_view(crx))
                     or first_difference(run_dump(tool, rnx, False), run_dump(tool, crx, False)))
        notes += [f"text {text_diff}"] if text_diff else []
        notes += [f"read {read_diff}"] if read_diff else []
        failures += bool(text_diff or read_diff)
        print(f"{name:<34} {version:<5} {'ok':<8} {round_trip:<8} {'differs' if text_diff else 'equal':<8} "
              f"{'differs' if read_diff else 'equal':<8} " + short("; ".join(notes), width))
    print(f"{len(rows)} cases, {failures} where our decoding differs from the original")
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--workdir", help="keep the generated files here (default: a temporary folder)")
    parser.add_argument("--only", help="run the cases whose name contains this text (and no probes)")
    parser.add_argument("--long", action="store_true", help="print differences in full")
    args = parser.parse_args()
    if not PEER_PY.exists():
        sys.exit(f"{PEER_PY} is absent: run `make bench-peers` first")
    tool = build_cpp_tool("obs_dump")
    width = 10_000 if args.long else 70
    with tempfile.TemporaryDirectory() as tmp:
        work = Path(args.workdir or tmp)
        work.mkdir(parents=True, exist_ok=True)
        failures = run_cases(tool, work, args.only, width)
        if not args.only:
            disagreements = run_probes(tool, work, width)
            print(f"{len(PROBES)} probes, {disagreements} where we and crx2rnx part")
            failures += disagreements
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
