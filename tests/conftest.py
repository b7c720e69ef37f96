"""Shared fixtures."""
import sys
from pathlib import Path

import pytest
from shared_data import data_folder


@pytest.fixture
def data_dir() -> Path:
    return data_folder()


@pytest.fixture
def switching_only_on_release():
    # With a switch interval far longer than any call, the interpreter never takes the
    # lock from a thread: another thread runs only where the running one releases it.
    old = sys.getswitchinterval()
    sys.setswitchinterval(60.0)
    yield
    sys.setswitchinterval(old)
