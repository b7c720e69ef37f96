"""Writing a matplotlib figure: every figure of the command line goes through save_figure."""
from __future__ import annotations

from pathlib import Path

from .optional import pyplot

DPI = 110
# zlib's fastest level: a tenth of a scalogram's drawing time saved for files 15 % larger
PNG_OPTIONS = {"pil_kwargs": {"compress_level": 1}}


def save_figure(fig, path: Path, tight: bool = True, keep: bool = False) -> Path:
    """Lay the figure out, write it as an image and free it (pyplot keeps every open figure).
    A figure whose axes were placed by hand passes tight=False (measuring every label for
    the layout costs as much as drawing the figure); one that is drawn again, keep=True."""
    if tight:
        fig.tight_layout()
    fig.savefig(path, dpi=DPI, **(PNG_OPTIONS if Path(path).suffix.lower() == ".png" else {}))
    if not keep:
        pyplot().close(fig)
    return path


def figure_svg(fig, tight: bool = True) -> str:
    """The figure as an <svg> element to inline in an HTML page, then freed: no XML
    prologue, and a viewBox without a fixed size, so that the page's CSS sizes it. Text
    stays text (the page's font); rasterized artists come as embedded PNG. tight=False
    keeps the figure's own layout, which saves the second drawing a tight box costs
    (half the time of the many small figures of a report)."""
    import io
    import re

    plt = pyplot()
    buffer = io.StringIO()
    with plt.rc_context({"svg.fonttype": "none"}):
        fig.savefig(buffer, format="svg", dpi=DPI, bbox_inches="tight" if tight else None,
                    metadata={"Date": None, "Creator": None})
    plt.close(fig)
    text = buffer.getvalue()
    svg = text[text.index("<svg"):]
    return re.sub(r'<svg([^>]*?) width="[^"]*" height="[^"]*"', r"<svg\1", svg, count=1)
