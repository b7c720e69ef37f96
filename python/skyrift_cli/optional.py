"""Imports of optional packages that tell the user what to install."""
from __future__ import annotations

import importlib

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


def pyplot():
    """matplotlib.pyplot on the file-only Agg backend (no display needed)."""
    matplotlib = require("matplotlib", "plotting")
    matplotlib.use("Agg")
    return importlib.import_module("matplotlib.pyplot")
