"""Helpers of the command-line tests: data files, module pieces, golden text, simulations."""
import json
from pathlib import Path

import pytest
import skyrift_mp as sk

from skyrift_cli.simulate import SimConfig

DATA_DIR = Path(__file__).resolve().parents[2].parent / "shared" / "data"
REF_DIR = Path(__file__).resolve().parent / "ref"
SHORT = SimConfig(seed=3, hours=2.0, interval=30.0)  # fast, still a few slips per system


def data_file(name: str) -> Path:
    path = DATA_DIR / name
    if not path.exists():
        pytest.skip(f"real data file {name} not available (../shared/data is absent)")
    return path


def needs_module(*names: str) -> None:
    """Skip while a module piece these tests read through has not been merged in."""
    missing = [n for n in names if not hasattr(sk, n)]
    if missing:
        pytest.skip("skyrift_mp lacks " + ", ".join(missing) + " in this build")


def ref(name: str, text: str) -> None:
    """Compare text with the golden file tests/cli/ref/<name>."""
    expected = (REF_DIR / name).read_text(encoding="utf-8")
    assert text == expected, f"output differs from tests/cli/ref/{name}"


class Simulated:
    def __init__(self, sim, files):
        self.sim = sim
        self.files = files
        self.truth = json.loads(files.truth.read_text(encoding="utf-8"))
