"""Where inputs live: local paths, or URLs read through fsspec when it is installed.

A source is a plain string, a local absolute path or a URL, so that it can travel to
any worker and name the file in the results.
"""
from __future__ import annotations

import glob
import os
import re
from pathlib import Path

from ..errors import CliError
from ..optional import require

URL = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*://")
GLOB_CHARS = re.compile(r"[*?[]")


def is_url(source: str) -> bool:
    return URL.match(source) is not None


def has_glob(text: str) -> bool:
    return GLOB_CHARS.search(text) is not None


def name_of(source: str) -> str:
    """The file name: what follows the last slash."""
    return source.rstrip("/").rsplit("/", 1)[-1]


def filesystem(url: str):
    """The fsspec filesystem and the path inside it, or a CliError saying what is missing."""
    fsspec = require("fsspec", f"{url}: reading URLs")
    try:
        return fsspec.core.url_to_fs(url)
    except (ImportError, ValueError) as exc:  # e.g. the package of that protocol is missing
        raise CliError(f"{url}: {exc}") from None


def read_bytes(source: str) -> bytes:
    if is_url(source):
        fs, path = filesystem(source)
        return fs.cat_file(path)
    return Path(source).read_bytes()


def local_copy(source: str, folder: Path) -> Path:
    """A path on this machine holding the file: the file itself, or a copy of a URL's
    bytes under its own name (readers recognise compression by the name)."""
    if not is_url(source):
        return Path(source)
    target = Path(folder) / name_of(source)
    target.write_bytes(read_bytes(source))
    return target


def files_under(folder: str) -> list[str]:
    """Every file below a local folder or a URL, sorted."""
    if is_url(folder):
        fs, path = filesystem(folder)
        return sorted(fs.unstrip_protocol(p) for p in fs.find(path))
    found = []
    for root, _, names in os.walk(folder):
        found += [os.path.join(root, n) for n in names]
    return sorted(os.path.abspath(p) for p in found if os.path.isfile(p))


def is_folder(source: str) -> bool:
    if is_url(source):
        fs, path = filesystem(source)
        return fs.isdir(path)
    return os.path.isdir(source)


def exists(source: str) -> bool:
    if is_url(source):
        fs, path = filesystem(source)
        return fs.exists(path)
    return os.path.exists(source)


def matches(pattern: str) -> list[str]:
    """Files and folders a glob pattern names (** crosses folders), sorted."""
    if is_url(pattern):
        fs, path = filesystem(pattern)
        return sorted(fs.unstrip_protocol(p) for p in fs.glob(path))
    return sorted(os.path.abspath(p) for p in glob.glob(pattern, recursive=True))


def read_head(source: str, size: int) -> bytes:
    """At most size bytes from the start of a file."""
    if is_url(source):
        fs, path = filesystem(source)
        with fs.open(path, "rb") as f:
            return f.read(size)
    with open(source, "rb") as f:
        return f.read(size)
