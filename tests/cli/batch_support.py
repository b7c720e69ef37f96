"""Station-days for the batch tests: a small simulated network on disk, one broken file."""
import contextlib
import datetime as dt
import io
from dataclasses import dataclass
from pathlib import Path

import pytest

from skyrift_cli.main import main
from skyrift_cli.simulator.simulate import SimConfig, simulate, write_simulation

# station, first epoch, latitude, longitude, height: two stations share a day, one has
# the next day, and one runs past midnight so that its orbit files must be joined.
STATIONS = (
    ("AAAA", dt.datetime(2024, 3, 5), 59.66, 10.78, 95.0),
    ("BBBB", dt.datetime(2024, 3, 5), 55.7, 12.5, 40.0),
    ("CCCC", dt.datetime(2024, 3, 6), -33.9, 18.4, 10.0),
    ("MDNT", dt.datetime(2024, 3, 5, 23), 47.0, 8.0, 500.0),
)
BROKEN = "BRKN00NOR_S_20240650000_01D_30S_MO.rnx"
CUTOFF = "15"


@dataclass
class Network:
    folder: Path
    sims: dict  # station -> Simulation
    files: dict  # station -> SimFiles
    broken: Path

    def obs(self, station: str) -> str:
        return str(self.files[station].obs)


def make_network(folder: Path) -> Network:
    sims, files = {}, {}
    for seed, (name, start, lat, lon, height) in enumerate(STATIONS, start=11):
        config = SimConfig(seed=seed, hours=2.0, interval=30.0, start=start, latitude=lat,
                           longitude=lon, height=height, station=name, network=True)
        sims[name] = simulate(config)
        files[name] = write_simulation(sims[name], folder)
    broken = folder / BROKEN
    broken.write_text("this is not a RINEX file\n", encoding="ascii")
    return Network(folder, sims, files, broken)


@pytest.fixture(scope="session")
def network(tmp_path_factory) -> Network:
    return make_network(tmp_path_factory.mktemp("network"))


def run_cli(*argv) -> tuple[int, str, str]:
    """main() with its output captured (usable where capsys is not: module fixtures)."""
    out, err = io.StringIO(), io.StringIO()
    with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
        code = main([str(a) for a in argv])
    return code, out.getvalue(), err.getvalue()
