"""The simulated observation files shared by the command-line tests."""
import pytest
from cli_support import SHORT, Simulated

from skyrift_cli.simulate import simulate, write_simulation


@pytest.fixture(scope="session")
def simulated(tmp_path_factory) -> Simulated:
    sim = simulate(SHORT)
    return Simulated(sim, write_simulation(sim, tmp_path_factory.mktemp("sim")))
