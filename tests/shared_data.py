"""Where the real data lives, and skipping cleanly when it is absent."""
from pathlib import Path

import pytest

DATA_DIR = Path(__file__).resolve().parents[1].parent / "shared" / "data"
VALIDATION_DIR = Path(__file__).resolve().parents[1].parent / "shared" / "validation"


def data_file(name: str) -> Path:
    """Path of a real data file, skipping the test when the shared data is absent."""
    path = DATA_DIR / name
    if not path.exists():
        pytest.skip(f"real data file {name} not available (../shared/data is absent)")
    return path
