"""Helpers of the command-line tests: golden text, simulations."""
import json
from pathlib import Path

import pytest

from skyrift_cli.simulator.simulate import SimConfig

REF_DIR = Path(__file__).resolve().parent / "ref"
SHORT = SimConfig(seed=3, hours=2.0, interval=30.0)  # fast, still a few slips per system


def ref(name: str, text: str) -> None:
    """Compare text with the golden file tests/cli/ref/<name>."""
    expected = (REF_DIR / name).read_text(encoding="utf-8")
    assert text == expected, f"output differs from tests/cli/ref/{name}"


class Simulated:
    def __init__(self, sim, files):
        self.sim = sim
        self.files = files
        self.truth = json.loads(files.truth.read_text(encoding="utf-8"))


@pytest.fixture(scope="session")
def simulated(tmp_path_factory) -> Simulated:
    """The short simulation on disk (a fixture: test modules import it by name)."""
    from skyrift_cli.simulator.simulate import simulate, write_simulation

    sim = simulate(SHORT)
    return Simulated(sim, write_simulation(sim, tmp_path_factory.mktemp("sim")))
