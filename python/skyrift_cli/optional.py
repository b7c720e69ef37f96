"""Imports of optional packages that tell the user what to install."""
from __future__ import annotations

import importlib
import importlib.util
import sys

from .errors import CliError

INSTALL_HINTS = {
    "numpy": "pip install numpy  (or: pip install 'skyrift_mp[cli]')",
    "matplotlib": "pip install matplotlib  (or: pip install 'skyrift_mp[plots]')",
    "jinja2": "pip install jinja2  (or: pip install 'skyrift_mp[plots]')",
    **{name: f"pip install {package}  (or: pip install 'skyrift_mp[batch]')"
       for name, package in (("distributed", "'dask[distributed]'"), ("pyarrow", "pyarrow"),
                             ("pyarrow.parquet", "pyarrow"), ("pyarrow.compute", "pyarrow"),
                             ("pyarrow.dataset", "pyarrow"),
                             ("fsspec", "fsspec"))},
}


def require(name: str, purpose: str):
    """Import a package or fail with a message naming what to install."""
    try:
        return importlib.import_module(name)
    except ImportError:
        raise CliError(f"{purpose} needs the Python package {name}: "
                       f"{INSTALL_HINTS.get(name, 'pip install ' + name)}") from None


def require_installed(name: str, purpose: str) -> None:
    """Fail as require does when a package is missing, without importing it (which may
    take a second, and the figure workers import matplotlib themselves)."""
    found = (sys.modules[name] is not None if name in sys.modules
             else importlib.util.find_spec(name) is not None)
    if not found:
        require(name, purpose)  # raises, naming what to install


def pyplot():
    """matplotlib.pyplot on the file-only Agg backend (no display needed)."""
    matplotlib = require("matplotlib", "plotting")
    matplotlib.use("Agg")
    return importlib.import_module("matplotlib.pyplot")
