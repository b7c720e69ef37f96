"""skyrift-mp qc: the text report (golden), its JSON, several files, and the HTML page
in headless Chromium."""
import dataclasses
import json
import sys

import pytest
from browser import assert_rendered, assert_self_contained, load, screenshot
from cli_support import SHORT, ref, simulated  # noqa: F401 (fixture)

import skyrift_mp as sk
from skyrift_cli.main import main
from skyrift_cli.simulator.faults import DropSignal
from skyrift_cli.simulator.simulate import simulate, write_simulation

DAY_SECTIONS = ("summary", "signals", "availability", "multipath", "snr")
FAULTY = dataclasses.replace(SHORT, gaps=1, clock_jumps=1,
                             drop_signals=(DropSignal("G", "C2W", 0.25),))


@pytest.fixture(scope="module")
def faulty(tmp_path_factory):
    """The short simulation with a gap, a clock jump and a quarter of GPS C2W dropped."""
    return write_simulation(simulate(FAULTY), tmp_path_factory.mktemp("faulty"))


@pytest.fixture(scope="module")
def qc_run(faulty, tmp_path_factory):
    """qc with --json and --html, run once for the tests that read its outputs."""
    out = tmp_path_factory.mktemp("qc")
    code = main(["qc", str(faulty.obs), "--sp3", str(faulty.sp3), "--json", str(out / "r.json"),
                 "--html", str(out / "r.html")])
    assert code == 0
    return out


def test_text_report(faulty, capsys):
    assert main(["qc", str(faulty.obs), "--sp3", str(faulty.sp3)]) == 0
    out = capsys.readouterr().out
    ref("qc_faulty.txt", out.replace(str(faulty.obs.parent), "DIR"))


def test_json_is_the_modules_report(faulty, qc_run):
    written = json.loads((qc_run / "r.json").read_text(encoding="utf-8"))
    report = sk.quality(sk.read_rinex_obs(str(faulty.obs)), sk.read_sp3(str(faulty.sp3)))
    assert written == json.loads(report.to_json())
    assert written["schema"] == "skyrift-mp/quality/1"


def test_several_files_write_one_report_each_into_folders(faulty, simulated, tmp_path, capsys):
    """Two inputs of the same name (two folders) get two reports, the second numbered."""
    files = [str(simulated.files.obs), str(faulty.obs)]
    assert simulated.files.obs.name == faulty.obs.name
    assert main(["qc", *files, "--json", str(tmp_path / "json")]) == 0
    out = capsys.readouterr().out
    assert out.count("Quality of ") == 2 and "no orbit, elevations unknown" in out
    name = faulty.obs.name
    written = {p.name: json.loads(p.read_text(encoding="utf-8")) for p in (tmp_path / "json").iterdir()}
    assert sorted(written) == [name.removesuffix(".rnx") + "-2.rnx.json", name + ".json"]
    assert written[name + ".json"]["epochs"]["gaps"] == []
    assert len(written[name.removesuffix(".rnx") + "-2.rnx.json"]["epochs"]["gaps"]) == 1


@pytest.mark.parametrize("argv, message", [
    (["--cutoff", "5"], "--cutoff needs --sp3 or --nav"),
    (["--nav", "missing.rnx"], "missing.rnx: no such file"),
], ids=["cutoff-without-orbit", "missing-orbit"])
def test_refused_options(simulated, argv, message, capsys):
    assert main(["qc", str(simulated.files.obs), *argv]) == 1
    assert message in capsys.readouterr().err


def test_one_bad_file_among_several_fails_after_the_others(simulated, tmp_path, capsys):
    bad = tmp_path / "bad.rnx"
    bad.write_text("not RINEX\n", encoding="ascii")
    assert main(["qc", str(bad), str(simulated.files.obs)]) == 1
    captured = capsys.readouterr()
    assert "Quality of " in captured.out
    assert "bad.rnx: not a RINEX observation file" in captured.err
    assert "1 of 2 files could not be checked" in captured.err


def test_html_without_jinja2_names_the_extra(simulated, tmp_path, monkeypatch, capsys):
    monkeypatch.setitem(sys.modules, "jinja2", None)  # import fails as if not installed
    assert main(["qc", str(simulated.files.obs), "--html", str(tmp_path / "r.html")]) == 1
    assert "pip install 'skyrift_mp[plots]'" in capsys.readouterr().err
    assert not (tmp_path / "r.html").exists()


def test_html_page_renders_in_chromium(qc_run, tmp_path):
    page_file = qc_run / "r.html"
    html = page_file.read_text(encoding="utf-8")
    assert_self_contained(html)
    page = load(page_file)
    assert_rendered(page, DAY_SECTIONS)
    # the faults the simulator injected are on the page: the gap and the clock jump
    assert "gap from" in page.text and "clock jump at" in page.text
    assert page.text.count('class="card"') >= 16  # eight signals: multipath and SNR each
    screenshot(page_file, tmp_path, "qc_day_page.png")


def test_script_errors_are_caught(tmp_path):
    """The pages' first script records errors where the tests read them: a page that
    throws, and one whose image fails to load, are both reported."""
    from skyrift_cli.reports.render import environment

    errors = environment().get_template("_errors.html.j2").render()
    broken = tmp_path / "broken.html"
    broken.write_text(f"<html><head>{errors}</head><body><img src='missing.png'>"
                      "<script>undefinedFunction();</script></body></html>", encoding="utf-8")
    page = load(broken)
    assert page.root.get("data-script-errors") == "2"
    assert "undefinedFunction" in page.errors and "missing.png" in page.errors
