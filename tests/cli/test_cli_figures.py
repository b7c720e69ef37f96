"""Which scalograms are drawn, the slip figure's size, and figures drawn in worker
processes equal to those drawn here."""
import numpy as np
import pytest
from cli_support import simulated  # noqa: F401 (fixture)
from test_cli_plots import png_size

from skyrift_cli.analysis.geostationary import is_geostationary
from skyrift_cli.analysis.scalogram_plan import plan_scalograms
from skyrift_cli.main import main


@pytest.fixture(autouse=True)
def _matplotlib():
    pytest.importorskip("matplotlib")


# ---- which satellites get a scalogram

@pytest.mark.parametrize("sat, geostationary", [
    ("C01", True), ("C05", True), ("C06", False), ("C17", True), ("C18", True), ("C38", False),
    ("C58", False), ("C59", True), ("C63", True), ("S26", True), ("S44", True), ("G05", False),
    ("E01", False), ("J01", False), ("bogus", False),
])
def test_geostationary_satellites(sat, geostationary):
    assert is_geostationary(sat) is geostationary


def _series(*arcs):
    """Sample times (30 s apart) of arcs given as (first sample, samples)."""
    return {"t": np.concatenate([30.0 * (start + np.arange(n)) for start, n in arcs])}


SURVEY = {"interval": 30.0, "residuals": {
    "G01": _series((0, 120)),  # 59.5 min: shorter than an hour
    "G02": _series((0, 121)),  # 60 min
    "G03": _series((0, 60), (200, 150)),  # two arcs, the longer drawn
    "G04": _series((0, 39), (100, 39)),  # no arc of 40 samples
    "C03": _series((0, 2880)),  # BeiDou GEO
    "C30": _series((0, 400)),
    "S26": _series((0, 2880)),
}}


@pytest.mark.parametrize("satellites, all_satellites, drawn, geostationary", [
    (None, False, [("G02", 1), ("G03", 2), ("C30", 1)], ["C03", "S26"]),
    (None, True, [("G02", 1), ("G03", 2), ("C03", 1), ("C30", 1), ("S26", 1)], []),
    (["S26", "G01", "G02"], False, [("S26", 1), ("G02", 1)], []),  # named: asked for
], ids=["default", "all-satellites", "named"])
def test_scalogram_plan(satellites, all_satellites, drawn, geostationary):
    plan = plan_scalograms(SURVEY, satellites, all_satellites)
    assert [(d.satellite, d.arcs) for d in plan.drawn] == drawn
    assert plan.geostationary == geostationary
    assert plan.short == [s for s in ("G01", "G04") if satellites is None or s in satellites]
    several = sum(arcs > 1 for _, arcs in drawn)
    assert (f"Scalograms show each satellite's longest arc: {several} of the {len(drawn)} drawn "
            "have more arcs, not shown" in plan.notes()) == (several > 0)


def test_snr_plots_say_what_they_leave_out(simulated, tmp_path, capsys):
    """C19 renamed C01 (a BeiDou GEO PRN): left out unless asked for; short arcs left out."""
    import skyrift_mp as sk

    path = tmp_path / "geo.rnx"
    path.write_text(simulated.files.obs.read_text().replace("\nC19", "\nC01"))
    plan = plan_scalograms(sk.analyze_snr_wavelets(sk.read_rinex_obs(str(path))))
    assert plan.geostationary == ["C01"] and plan.short and plan.drawn
    assert main(["snr", str(path), "--plots", str(tmp_path / "figs")]) == 0
    out = capsys.readouterr().out
    assert sorted(p.name for p in (tmp_path / "figs").iterdir()) == sorted(
        f"scalogram_{d.satellite}.png" for d in plan.drawn)
    assert "Scalograms show" not in out  # two hours: every satellite has one arc
    assert "Not drawn: 1 geostationary satellite (C01); --all-satellites draws them" in out
    assert (f"Not drawn: {len(plan.short)} satellites whose longest arc is shorter than 60 min "
            f"or 40 samples ({' '.join(plan.short)})") in out


# ---- the slip figure

def _slips(satellites: int, per_satellite: int, seed: int = 1) -> dict[str, np.ndarray]:
    rng = np.random.default_rng(seed)
    letters = np.array(list("GREC"))
    sats = np.array([f"{letters[i % 4]}{i // 4 + 1:02d}" for i in range(satellites)])
    n = satellites * per_satellite
    times = (np.datetime64("2020-06-25T00:00:00", "ms")
             + rng.integers(0, 86400, n) * np.timedelta64(1000, "ms"))
    return {"satellite": np.repeat(sats, per_satellite), "time": times,
            "method": rng.choice(["gf", "code_phase", "lli"], n)}


def test_slip_figure_keeps_its_size_for_thousands_of_slips(tmp_path):
    from skyrift_cli.analysis.slip_plot import plot_slips

    sizes = {}
    for label, slips in (("few", _slips(3, 1)), ("many", _slips(160, 40)),
                         ("none", _slips(0, 0))):
        sizes[label] = png_size(plot_slips(slips, "day", path=tmp_path / f"{label}.png"))
    assert sizes["few"] == sizes["many"] == sizes["none"]
    assert sizes["many"][0] <= 1400 and sizes["many"][1] <= 1000


@pytest.mark.parametrize("span_minutes, width", [(119.5, 2), (480, 5), (1439.5, 15),
                                                 (3 * 1440, 60)])
def test_slip_bins_are_round_and_at_most_96(span_minutes, width):
    from skyrift_cli.analysis.slip_plot import MAX_BINS, bin_minutes

    assert bin_minutes(span_minutes * 60_000) == width
    assert span_minutes / width <= MAX_BINS


# ---- figures in worker processes

def _scalograms(simulated, count):
    import skyrift_mp as sk

    survey = sk.analyze_snr_wavelets(sk.read_rinex_obs(str(simulated.files.obs)))
    drawn = plan_scalograms(survey).drawn[:count]
    return [sk.scalogram(survey["residuals"][d.satellite]["t"],
                         survey["residuals"][d.satellite]["v"], 30.0, as_numpy=True)
            for d in drawn]


def test_figures_from_workers_equal_those_drawn_here(simulated, tmp_path):
    from skyrift_cli.analysis.scalogram_figure import ScalogramCanvas
    from skyrift_cli.analysis.slip_plot import plot_slips
    from skyrift_cli.figure_pool import FigureJob, FigurePool

    scalograms = _scalograms(simulated, 4)
    jobs = [FigureJob(tmp_path / "w" / f"s{i}.png", _draw_fresh, (sc, f"sat {i}"))
            for i, sc in enumerate(scalograms)]
    jobs.append(FigureJob(tmp_path / "w" / "slips.png", plot_slips, (_slips(20, 5), "day")))
    (tmp_path / "w").mkdir()
    with FigurePool(workers=2) as pool:
        if not pool.parallel:
            pytest.skip("one processor: no worker processes")
        assert pool.draw(jobs) == [job.path for job in jobs]
    (tmp_path / "here").mkdir()
    for i, sc in enumerate(scalograms):  # one canvas redrawn, as in a worker
        here = ScalogramCanvas().draw(sc, f"sat {i}", tmp_path / "here" / f"s{i}.png", None)
        assert here.read_bytes() == (tmp_path / "w" / f"s{i}.png").read_bytes()
    plot_slips(_slips(20, 5), "day", path=tmp_path / "here" / "slips.png")
    assert (tmp_path / "here" / "slips.png").read_bytes() == (
        tmp_path / "w" / "slips.png").read_bytes()


def _draw_fresh(sc, title, path):
    from skyrift_cli.analysis.scalogram_figure import plot_scalogram

    return plot_scalogram(sc, title, path)


def test_a_redrawn_canvas_keeps_nothing_of_the_last_figure(simulated, tmp_path):
    from skyrift_cli.analysis.scalogram_figure import ScalogramCanvas

    first, second = _scalograms(simulated, 2)
    fresh = ScalogramCanvas().draw(first, "first", tmp_path / "fresh.png", None).read_bytes()
    canvas = ScalogramCanvas()
    canvas.draw(second, "second", tmp_path / "second.png", mark_period=300.0)
    again = canvas.draw(first, "first", tmp_path / "again.png", None).read_bytes()
    assert again == fresh


def test_a_figure_that_fails_in_a_worker_fails_the_drawing(simulated, tmp_path):
    from skyrift_cli.figure_pool import FigureJob, FigurePool

    sc = _scalograms(simulated, 1)[0]
    jobs = [FigureJob(tmp_path / "ok.png", _draw_fresh, (sc, "ok")),
            FigureJob(tmp_path / "missing" / "x.png", _draw_fresh, (sc, "x"))]
    with FigurePool(workers=2) as pool, pytest.raises(FileNotFoundError):
        pool.draw(jobs)
    assert (tmp_path / "ok.png").exists()
