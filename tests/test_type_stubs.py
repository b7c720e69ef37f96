"""The type stubs shipped with the module agree with it (mypy's stubtest)."""
import subprocess
import sys
from pathlib import Path

import pytest

import skyrift_mp

ALLOWLIST = Path(__file__).resolve().parents[1] / "stubs" / "stubtest-allowlist.txt"


def test_stubs_are_installed_beside_the_module():
    site = Path(skyrift_mp.__file__).parent
    assert (site / "skyrift_mp.pyi").is_file()
    stub_package = site / "skyrift_mp-stubs"
    assert (stub_package / "py.typed").is_file()
    assert (stub_package / "__init__.pyi").read_text() == (site / "skyrift_mp.pyi").read_text()


def test_stubtest_finds_no_difference():
    pytest.importorskip("mypy", reason="mypy (a development dependency) is not installed")
    done = subprocess.run([sys.executable, "-m", "mypy.stubtest", "skyrift_mp", "--allowlist", str(ALLOWLIST)],
                          capture_output=True, text=True, timeout=300, cwd=ALLOWLIST.parent)
    assert done.returncode == 0, done.stdout + done.stderr
