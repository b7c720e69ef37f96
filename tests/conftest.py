"""Shared fixtures."""
from pathlib import Path

import pytest
from shared_data import DATA_DIR


@pytest.fixture
def data_dir() -> Path:
    if not DATA_DIR.is_dir():
        pytest.skip("../shared/data is absent")
    return DATA_DIR
