"""batch --qc and the report command: qc.parquet rows equal the module's quality control
of each file, and the network and day pages render in headless Chromium, on six
simulated station-days with gaps, clock jumps and a dropped signal among them."""
import datetime as dt
import json
import re
from pathlib import Path

import pytest
from batch_support import run_cli
from browser import assert_rendered, assert_self_contained, load, screenshot

import skyrift_mp as sk
from skyrift_cli.simulator.faults import DropSignal
from skyrift_cli.simulator.simulate import SimConfig, simulate, write_simulation

distributed = pytest.importorskip("distributed")
pq = pytest.importorskip("pyarrow.parquet")

from skyrift_cli.batch import run_batch  # noqa: E402

CUTOFF = 15.0
STATIONS = (("ALFA", 59.66, 10.78, 95.0), ("BRVO", 55.7, 12.5, 40.0))
DAYS = 3
FAULTS = {("ALFA", 1): {"gaps": 2},
          ("BRVO", 2): {"clock_jumps": 2, "drop_signals": (DropSignal("G", "C2W", 0.3),)}}
SIGNAL_KEYS = ("system", "code", "observed", "expected", "expected_tracking", "present",
               "completeness", "completeness_tracking", "slips", "obs_per_slip", "mp_rms",
               "mp_wrms", "snr_mean")


@pytest.fixture(scope="module")
def network(tmp_path_factory):
    """Two stations over three days; their files by name, with the SP3 of their day."""
    folder = tmp_path_factory.mktemp("qc-network")
    days = {}
    for s, (name, lat, lon, height) in enumerate(STATIONS):
        for d in range(DAYS):
            config = SimConfig(seed=20 + 3 * s + d, hours=2.0, interval=30.0,
                               start=dt.datetime(2024, 3, 5) + dt.timedelta(days=d), latitude=lat,
                               longitude=lon, height=height, station=name, network=True,
                               **FAULTS.get((name, d), {}))
            files = write_simulation(simulate(config), folder)
            days[files.obs.name] = files
    return folder, days


@pytest.fixture(scope="module")
def batch_out(network, tmp_path_factory):
    folder, _ = network
    out = tmp_path_factory.mktemp("qc-batch") / "results"
    with distributed.LocalCluster(n_workers=1, threads_per_worker=2, processes=False,
                                  dashboard_address=":0") as cluster:
        with distributed.Client(cluster) as client:
            summary = run_batch([folder], out, orbits=folder, cutoff=CUTOFF, client=client,
                                estimates=True, qc=True, progress=False)
    assert summary.ok == len(STATIONS) * DAYS and summary.failed == 0
    return out


@pytest.fixture(scope="module")
def web(batch_out, tmp_path_factory):
    html = tmp_path_factory.mktemp("qc-web")
    code, out, err = run_cli("report", batch_out, "--html", html)
    assert code == 0, err
    assert f"Network page of {len(STATIONS)} stations and {len(STATIONS) * DAYS} station-days" in out
    return html


def test_qc_rows_are_the_modules_quality_control(network, batch_out):
    _, days = network
    rows: dict[str, list[dict]] = {}
    for row in pq.read_table(batch_out / "qc.parquet").to_pylist():
        rows.setdefault(Path(row["file"]).name, []).append(row)
    assert sorted(rows) == sorted(days)
    for name, files in days.items():
        obs = sk.read_rinex_obs(str(files.obs))
        report = sk.quality(obs, sk.read_sp3(str(files.sp3)), cutoff=CUTOFF)
        data = report.to_dict()
        assert [{k: r[k] for k in SIGNAL_KEYS} for r in rows[name]] == data["signals"], name
        truth = json.loads(files.truth.read_text(encoding="utf-8"))
        first = rows[name][0]
        assert (first["gaps"], first["clock_jumps"]) == (len(truth["gaps"]), len(truth["clock_jumps"]))
        assert first["epochs_present"] == data["epochs"]["present"]
        summary = {s["system"]: s for s in data["summary"]}
        for r in rows[name]:
            assert (r["mp1"], r["flag_mp1"]) == (summary[r["system"]]["mp1"],
                                                 summary[r["system"]]["flags"]["mp1"])
        stored = json.loads((batch_out / first["report"]).read_text(encoding="utf-8"))
        assert stored == json.loads(report.to_json())


def test_network_page_renders_in_chromium(web, tmp_path):
    index = web / "index.html"
    assert_self_contained(index.read_text(encoding="utf-8"))
    page = load(index)
    assert_rendered(page, ("matrix", "trends", "days", "failures"))
    matrix = page.text[page.text.index('id="matrix-table"'):page.text.index("</table>",
                                                                        page.text.index('id="matrix-table"'))]
    cells = re.findall(r'<td class="flag flag-(\w+)"><a href="([^"]+)"', matrix)
    assert len(cells) == len(STATIONS) * DAYS
    # the day with the gaps misses about a quarter of its epochs: its completeness fails
    assert {verdict for verdict, _ in cells} >= {"pass", "fail"}
    for _, link in cells:
        assert (web / link).is_file(), link
    screenshot(index, tmp_path, "report_network_page.png")


def test_day_pages_of_the_report_render_in_chromium(network, web, tmp_path):
    pages = sorted((web / "days").rglob("*.html"))
    assert len(pages) == len(STATIONS) * DAYS
    jumped = next(p for p in pages if p.name.startswith("BRVO") and "20240670000" in p.name)
    page = load(jumped)
    assert_rendered(page, ("summary", "signals", "availability", "multipath", "snr"))
    truth = json.loads(network[1][jumped.name.removesuffix(".html")].truth.read_text(encoding="utf-8"))
    assert len(truth["clock_jumps"]) == 2
    for jump in truth["clock_jumps"]:  # listed with their epoch (GPS, no Z) and size
        at = jump["time"].removesuffix(".000Z").replace("T", " ")
        assert f'<td class="text">{at}</td><td>{jump["milliseconds"]:+d}</td>' in page.text
    assert '<a href="../../index.html">Network</a>' in page.text
    assert page.text.count('class="card"') == 16  # multipath from the kept estimates, SNR bins
    screenshot(jumped, tmp_path, "report_day_page.png")


def test_report_needs_a_batch_with_qc(tmp_path):
    code, _, err = run_cli("report", tmp_path, "--html", tmp_path / "web")
    assert code == 1 and "holds no quality control: run skyrift-mp batch with --qc" in err
