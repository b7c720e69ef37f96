"""pytest loads this first and puts tests/ on sys.path, so that the suites in subfolders
(tests/cli) import shared_data and the text builders as the suites here do. It also holds
the fixtures several suites share."""
import sys

import pytest


@pytest.fixture
def switching_only_on_release():
    # With a switch interval far longer than any call, the interpreter never takes the
    # lock from a thread: another thread runs only where the running one releases it.
    old = sys.getswitchinterval()
    sys.setswitchinterval(60.0)
    yield
    sys.setswitchinterval(old)
