"""Shared fixtures."""
from pathlib import Path

import pytest
from shared_data import data_folder


@pytest.fixture
def data_dir() -> Path:
    return data_folder()
