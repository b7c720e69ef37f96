"""Files at the edges: damaged files read up to the damage by every command, the header's
INTERVAL beside the spacing of the epochs, and the skyplot of one signal."""
import gzip
import json

import pytest
import skyrift_mp as sk
from cli_support import simulated  # noqa: F401 (fixture)
from shared_data import data_file

from skyrift_cli.main import main


def run(capsys, *argv):
    code = main([str(a) for a in argv])
    out, err = capsys.readouterr()
    return code, out, err


@pytest.fixture
def cut_file(simulated, tmp_path):
    """The simulated file in gzip, cut off two thirds in: a stream that ends early."""
    packed = gzip.compress(simulated.files.obs.read_bytes())
    path = tmp_path / "cut.rnx.gz"
    path.write_bytes(packed[: len(packed) * 2 // 3])
    return path


def damage_line(path) -> str:
    """What every command says of the file, from the module's own partial read."""
    obs = sk.read_rinex_obs(str(path), partial=True)
    assert obs.damage and 0 < obs.num_epochs < 240
    return (f"the read stopped at the damage after {obs.num_epochs:,} epochs (the last at "
            f"{obs.last_epoch().to_iso()}): {obs.damage}")


@pytest.mark.parametrize("command, prefix", [
    (["info"], "Damaged:      "),
    (["multipath", "--sp3", "{sp3}"], "Damaged file: "),
    (["snr"], "Damaged file: "),
    (["rh", "--sp3", "{sp3}"], "Damaged file: "),
], ids=["info", "multipath", "snr", "rh"])
def test_every_command_reads_a_damaged_file_up_to_the_damage(simulated, cut_file, capsys,
                                                             command, prefix):
    argv = [command[0], cut_file] + [a.format(sp3=simulated.files.sp3) for a in command[1:]]
    code, out, err = run(capsys, *argv)
    assert code == 0 and err == ""
    assert prefix + damage_line(cut_file) in out.splitlines()


def test_damage_goes_into_the_json_and_whole_files_have_none(simulated, cut_file, capsys,
                                                             tmp_path):
    for path, damage in ((cut_file, damage_line(cut_file)), (simulated.files.obs, None)):
        for command in ("multipath", "snr"):
            target = tmp_path / f"{command}.json"
            assert run(capsys, command, path, "--json", target)[0] == 0
            assert json.loads(target.read_text())["damage"] == damage
        assert ("Damaged" in run(capsys, "info", path)[1]) == (damage is not None)


def test_a_file_damaged_before_its_first_epoch_is_an_error(simulated, tmp_path, capsys):
    text = simulated.files.obs.read_bytes()
    header_end = text.index(b"END OF HEADER") + len(b"END OF HEADER\n")
    path = tmp_path / "early.rnx"
    path.write_bytes(text[:header_end] + b"> 2024 03 05 00 00 xx\n" + text[header_end:])
    obs = sk.read_rinex_obs(str(path), partial=True)
    assert obs.num_epochs == 0 and obs.damage
    code, out, err = run(capsys, "info", path)
    assert code == 1 and out == ""
    assert f"early.rnx: not a RINEX observation file, or a damaged one ({obs.damage})" in err


def _without_interval(simulated, tmp_path):
    lines = simulated.files.obs.read_text().splitlines(keepends=True)
    path = tmp_path / "no_interval.rnx"
    path.write_text("".join(line for line in lines if "INTERVAL" not in line[60:]))
    return path


@pytest.mark.parametrize("make_path, line", [
    (lambda sim, tmp: data_file("DUTH0630.22O"),
     "Interval:     1710.000 s between epochs, header INTERVAL 30.000 s"),
    (_without_interval, "Interval:     30.000 s between epochs, no INTERVAL in the header"),
], ids=["header-30-epochs-1710", "no-header-interval"])
def test_info_shows_the_header_interval_beside_the_epochs(simulated, tmp_path, capsys,
                                                          make_path, line):
    code, out, _ = run(capsys, "info", make_path(simulated, tmp_path))
    assert code == 0 and line in out.splitlines()


# ---- the skyplot of one signal

def test_skyplot_of_one_signal(simulated, tmp_path, capsys):
    pytest.importorskip("matplotlib")
    f = simulated.files
    code, out, err = run(capsys, "multipath", f.obs, "--sp3", f.sp3, "--plots", tmp_path,
                         "--signal", "galm5q")
    assert code == 0 and err == ""
    names = sorted(p.name for p in tmp_path.iterdir())
    assert "skyplot_mp_GALM5Q.png" in names and "skyplot_mp.png" not in names
    assert str(tmp_path / "skyplot_mp_GALM5Q.png") in out


@pytest.mark.parametrize("extra, message", [
    (["--sp3", "{sp3}", "--signal", "GPSM1C"], "--signal needs --plots"),
    (["--plots", "{tmp}", "--signal", "GPSM1C"], "--signal needs --sp3 or --nav"),
    (["--sp3", "{sp3}", "--plots", "{tmp}", "--signal", "GPSM9X"],
     "--signal GPSM9X: no estimates of that signal with an elevation (signals with some: "
     "BDSM2I, BDSM7I, GALM1C, GALM5Q, GLOM1C, GLOM2P, GPSM1C, GPSM2W)"),
], ids=["without-plots", "without-orbit", "unknown-signal"])
def test_signal_that_cannot_be_drawn_is_an_error(simulated, tmp_path, capsys, extra, message):
    pytest.importorskip("matplotlib")
    argv = [a.format(sp3=simulated.files.sp3, tmp=tmp_path) for a in extra]
    code, _, err = run(capsys, "multipath", simulated.files.obs, *argv)
    assert code == 1 and message in err
    assert list(tmp_path.iterdir()) == []
