"""Rendering a template of templates/ into one HTML text."""
from __future__ import annotations

from functools import lru_cache
from pathlib import Path

from ..optional import require

PURPOSE = "the HTML report"


@lru_cache(maxsize=1)
def environment():
    """Templates escape what they print unless it is marked safe (the SVG figures); an
    undefined name is an error, not an empty string."""
    jinja2 = require("jinja2", PURPOSE)
    return jinja2.Environment(
        loader=jinja2.FileSystemLoader(Path(__file__).resolve().parent / "templates"),
        autoescape=True, undefined=jinja2.StrictUndefined, trim_blocks=True,
        lstrip_blocks=True, keep_trailing_newline=True)


def safe(text: str):
    """Markup the template prints as it is: an SVG figure made here."""
    return require("markupsafe", PURPOSE).Markup(text)


def render(template: str, **context) -> str:
    return environment().get_template(template).render(**context)


def write_page(path: Path, template: str, **context) -> Path:
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(render(template, **context), encoding="utf-8")
    return path
