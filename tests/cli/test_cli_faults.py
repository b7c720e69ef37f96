"""The simulator's faults (gaps, receiver clock jumps, a dropped signal) are recovered
exactly by the quality control, and asking for them moves nothing else."""
import dataclasses
import json

import numpy as np
import pytest
from batch_support import run_cli
from cli_support import SHORT

import skyrift_mp as sk
from skyrift_cli.simulator.faults import DropSignal
from skyrift_cli.simulator.signals import SIGNALS
from skyrift_cli.simulator.simulate import simulate, truth, write_simulation

CASES = {
    "two-of-each": dataclasses.replace(SHORT, seed=3, hours=3.0, gaps=2, clock_jumps=2),
    "15s-one-gap-three-jumps": dataclasses.replace(SHORT, seed=8, interval=15.0, gaps=1,
                                                   clock_jumps=3),
    "60s-three-gaps": dataclasses.replace(SHORT, seed=5, hours=4.0, interval=60.0, gaps=3,
                                          clock_jumps=1),
    "dropped-galileo-quarter": dataclasses.replace(
        SHORT, seed=9, drop_signals=(DropSignal("E", "C5Q", 0.25),)),
    "dropped-gps-most": dataclasses.replace(SHORT, seed=4, gaps=1,
                                            drop_signals=(DropSignal("G", "C2W", 0.9),)),
}


def quality_of(config, folder):
    files = write_simulation(simulate(config), folder)
    report = sk.quality(sk.read_rinex_obs(str(files.obs)), sk.read_sp3(str(files.sp3)))
    return json.loads(files.truth.read_text(encoding="utf-8")), report


@pytest.mark.parametrize("config", CASES.values(), ids=CASES.keys())
def test_gaps_and_clock_jumps_are_recovered_exactly(config, tmp_path):
    t, report = quality_of(config, tmp_path)
    assert len(t["gaps"]) == config.gaps and len(t["clock_jumps"]) == config.clock_jumps
    assert report.gaps == [(g["start"], g["end"]) for g in t["gaps"]]
    assert report.epochs["gaps"] == t["gaps"]  # start, end and seconds alike
    assert report.clock_jumps == [(j["time"], j["milliseconds"]) for j in t["clock_jumps"]]
    missing = sum(round(g["seconds"] / config.interval) - 1 for g in t["gaps"])
    assert report.epochs["present"] == round(config.hours * 3600 / config.interval) - missing


def _within_passes(times, passes) -> int:
    """How many of the ISO times lie within one of the (start, end) passes."""
    t = np.array([x.removesuffix("Z") for x in times], dtype="datetime64[ms]")
    inside = np.zeros(t.size, dtype=bool)
    for start, end in passes:
        inside |= (t >= np.datetime64(start.removesuffix("Z"))) & (t <= np.datetime64(end.removesuffix("Z")))
    return int(inside.sum())


@pytest.mark.parametrize("name", [k for k in CASES if k.startswith("dropped")])
def test_a_dropped_signal_is_recovered_exactly(name, tmp_path):
    """The signal's observations lose exactly what the truth says; above the cutoff,
    the first signal of its system (observed at every epoch the dropped one was) minus
    the dropped epochs within the satellites' passes."""
    t, report = quality_of(CASES[name], tmp_path)
    dropped, = t["dropped_signals"]
    assert dropped["dropped"] == round(dropped["fraction"] * dropped["observations"])
    assert sum(len(e) for e in dropped["epochs"].values()) == dropped["dropped"]
    data = report.to_dict()
    rows = {(s["system"], s["code"]): s for s in data["signals"]}
    system = dropped["system"]
    row, full = rows[(system, dropped["code"])], rows[(system, "C1C" if system != "C" else "C2I")]
    assert full["observed"] == dropped["observations"]
    assert row["observed"] == dropped["observations"] - dropped["dropped"]
    passes = {s["satellite"]: s["passes"] for s in data["satellites"]}
    lost = sum(_within_passes(epochs, passes[sat]) for sat, epochs in dropped["epochs"].items())
    assert 0 < lost <= dropped["dropped"]
    assert row["present"] == full["present"] - lost
    assert row["completeness"] == pytest.approx(100.0 * row["present"] / row["expected"])
    assert row["expected"] == full["expected"]


def test_faults_move_nothing_else():
    """Faults draw from a stream of their own: the slips are those of the simulation
    without them, the carrier phases run on through the clock jumps, and the
    pseudoranges are untouched before the first jump."""
    plain = simulate(SHORT)
    faulty = simulate(dataclasses.replace(SHORT, clock_jumps=2, gaps=1,
                                          drop_signals=(DropSignal("R", "C2P", 0.5),)))
    assert faulty.slips == plain.slips
    assert truth(plain)["gaps"] == truth(plain)["clock_jumps"] == truth(plain)["dropped_signals"] == []
    index = {faulty.iso(t): i for i, t in enumerate(faulty.times)}
    before = faulty.recorded.copy()
    before[min(index[j["time"]] for j in faulty.clock_jumps):] = False
    for a, b in zip(plain.tracks, faulty.tracks):
        assert a.sat == b.sat
        first = SIGNALS[a.sat[0]][0].band_attr  # never the dropped GLONASS 2P
        np.testing.assert_array_equal(a.obs["L" + first][faulty.recorded],
                                      b.obs["L" + first][faulty.recorded])
        np.testing.assert_array_equal(a.obs["C" + first][before], b.obs["C" + first][before])


@pytest.mark.parametrize("argv, code, message", [
    (["--drop-signal", "G:C2L:0.3"], 1, "the simulator writes no G:C2L (its G codes: C1C, C2W)"),
    (["--drop-signal", "G:C2W:1.5"], 2, "the fraction must be above 0 and at most 1"),
    (["--drop-signal", "G:C2W"], 2, "not SYS:CODE:FRACTION"),
    (["--drop-signal", "X:C1C:0.1"], 2, "unknown system 'X'"),
    (["--gaps", "-1"], 2, "must be zero or more"),
    (["--hours", "0.5", "--gaps", "3"], 1, "60 epochs cannot hold 3 gaps of 900 s or more"),
], ids=["code-not-simulated", "fraction-above-one", "no-fraction", "unknown-system",
        "negative-gaps", "gaps-beyond-span"])
def test_fault_options_refused(tmp_path, argv, code, message):
    if code == 2:  # argparse exits with its usage error
        with pytest.raises(SystemExit) as exit_info:
            run_cli("simulate", tmp_path, *argv)
        assert exit_info.value.code == 2
        return
    status, _, err = run_cli("simulate", tmp_path, *argv)
    assert status == code and message in err


def test_simulate_command_reports_the_faults(tmp_path):
    status, out, _ = run_cli("simulate", tmp_path, "--hours", "2", "--gaps", "1", "--clock-jumps",
                             "1", "--drop-signal", "e:c5q:0.5")
    assert status == 0
    t = json.loads((tmp_path / "truth.json").read_text(encoding="utf-8"))
    d, = t["dropped_signals"]
    assert (d["system"], d["code"], d["fraction"]) == ("E", "C5Q", 0.5)
    assert f"Faults: 1 gaps, 1 clock jumps, {d['dropped']} of {d['observations']} E:C5Q " \
           "observations dropped" in out
