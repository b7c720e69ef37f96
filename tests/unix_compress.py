"""The .Z files of the tests, made by the `compress` tool (Debian ncompress, which
`make` installs). Without the tool a test that needs one skips, saying why."""
import shutil
import subprocess

import pytest

TOOL = shutil.which("compress")
ABSENT = "the compress tool (Debian ncompress, installed by make) is absent"
needs_compress = pytest.mark.skipif(TOOL is None, reason=ABSENT)


def lzw(data: bytes, bits: int = 16) -> bytes:
    """`compress` output for `data`; b"" without the tool, for tables built at import
    whose rows carry `needs_compress`."""
    if TOOL is None:
        return b""
    # -f: output even when it does not shrink, which the tool reports with exit status 2.
    done = subprocess.run([TOOL, "-c", "-f", f"-b{bits}"], input=data, capture_output=True)
    assert done.returncode in (0, 2) and done.stdout[:2] == b"\x1f\x9d", done.stderr
    return done.stdout


def compress(data: bytes, bits: int = 16) -> bytes:
    """The same inside a test: skips without the tool."""
    if TOOL is None:
        pytest.skip(ABSENT)
    return lzw(data, bits)
