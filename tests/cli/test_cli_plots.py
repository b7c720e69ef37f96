"""The figures: written by the commands, real PNG images of a readable size."""
import pytest
from cli_support import simulated  # noqa: F401 (fixture)

from skyrift_cli.main import main

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png_size(path):
    """Width and height from the PNG header (no image library needed)."""
    data = path.read_bytes()
    assert data[:8] == PNG_SIGNATURE, f"{path.name} is not a PNG"
    return int.from_bytes(data[16:20], "big"), int.from_bytes(data[20:24], "big")


@pytest.fixture(autouse=True)
def _matplotlib():
    pytest.importorskip("matplotlib")


def test_multipath_plots(simulated, tmp_path, capsys):
    assert main(["multipath", str(simulated.files.obs), "--sp3", str(simulated.files.sp3),
                 "--plots", str(tmp_path / "figs")]) == 0
    out = capsys.readouterr().out
    names = ["mp_elevation.png", "skyplot_mp.png", "mp_rms.png", "cycle_slips.png"]
    for name in names:
        width, height = png_size(tmp_path / "figs" / name)
        assert width >= 500 and height >= 300
        assert str(tmp_path / "figs" / name) in out
    # eight signals in a 4 x 2 grid: wider than tall
    width, height = png_size(tmp_path / "figs" / "mp_elevation.png")
    assert width > 1.5 * height


def test_without_orbit_only_the_elevation_free_plots(simulated, tmp_path, capsys):
    assert main(["multipath", str(simulated.files.obs), "--plots", str(tmp_path)]) == 0
    assert sorted(p.name for p in tmp_path.iterdir()) == ["cycle_slips.png", "mp_rms.png"]


def test_snr_scalograms_one_per_satellite(simulated, tmp_path, capsys):
    assert main(["snr", str(simulated.files.obs), "--satellites", "G06,R19",
                 "--plots", str(tmp_path)]) == 0
    assert sorted(p.name for p in tmp_path.iterdir()) == ["scalogram_G06.png",
                                                          "scalogram_R19.png"]
    assert png_size(tmp_path / "scalogram_G06.png")[0] >= 600


def test_demo_writes_its_plots(tmp_path, capsys):
    assert main(["demo", "--hours", "2", "--seed", "3", "--outdir", str(tmp_path)]) == 0
    out = capsys.readouterr().out
    written = sorted(p.name for p in tmp_path.iterdir())
    scalograms = [n for n in written if n.startswith("scalogram_")]
    assert sorted(set(written) - set(scalograms)) == [
        "cycle_slips.png", "mp_elevation.png", "mp_rms.png", "skyplot_mp.png"]
    assert len(scalograms) == 2
    assert f"Plots in {tmp_path}/" in out
