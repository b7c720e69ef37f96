"""Writing a matplotlib figure: every figure of the command line goes through save_figure."""
from __future__ import annotations

from pathlib import Path

from .optional import pyplot

DPI = 110


def save_figure(fig, path: Path) -> Path:
    """Lay the figure out, write it as an image and free it (pyplot keeps every open figure)."""
    fig.tight_layout()
    fig.savefig(path, dpi=DPI)
    pyplot().close(fig)
    return path
