"""Report pages in a real browser: headless Chromium from Debian's packages, which
`make test` installs. A page is loaded from its file (no server, no network), and what
it shows is read back from the DOM Chromium dumps once it has laid the page out: the
markers the page sets (each section's data-rendered, data-page-ready) and the script
errors its first script records (data-script-errors). Screenshots are kept as test
artefacts in build/test-artifacts/."""
import re
import shutil
import subprocess
from dataclasses import dataclass
from html.parser import HTMLParser
from pathlib import Path

import pytest

ARTEFACTS = Path(__file__).resolve().parents[2] / "build" / "test-artifacts"
LAPTOP = "1440,900"
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
         "--virtual-time-budget=5000", "--disable-background-networking", "--no-first-run"]
SECONDS = 120  # a browser that does not come back in this time has hung


def chromium() -> str:
    """The browser, or a failure that says how to get it (never a silent skip)."""
    for name in ("chromium", "chromium-browser"):
        if path := shutil.which(name):
            return path
    pytest.fail("chromium is not installed: run `make test`, whose setup installs Debian's "
                "chromium package (apt-get install chromium)", pytrace=False)


def _run(*args: str) -> str:
    done = subprocess.run([chromium(), *FLAGS, *args], capture_output=True, text=True,
                          timeout=SECONDS, check=False)
    assert done.returncode == 0, done.stderr[-2000:]
    return done.stdout


@dataclass
class Page:
    root: dict  # attributes of <html> after the load
    sections: dict  # data-section -> data-rendered
    text: str  # the DOM as Chromium dumped it

    @property
    def errors(self) -> str | None:
        return self.root.get("data-script-error-text")


class _Markers(HTMLParser):
    def __init__(self):
        super().__init__()
        self.root: dict = {}
        self.sections: dict = {}

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "html":
            self.root = a
        if tag == "section" and "data-section" in a:
            self.sections[a["data-section"]] = a.get("data-rendered")


def load(page: Path) -> Page:
    """The page after Chromium loaded it and its scripts ran."""
    dom = _run("--dump-dom", page.resolve().as_uri())
    markers = _Markers()
    markers.feed(dom)
    return Page(markers.root, markers.sections, dom)


def screenshot(page: Path, tmp_path: Path, name: str) -> Path:
    """A laptop-sized screenshot of the page's top, under tmp_path and kept in
    build/test-artefacts/ as well."""
    shot = tmp_path / name
    _run(f"--screenshot={shot}", f"--window-size={LAPTOP}", page.resolve().as_uri())
    assert shot.stat().st_size > 10_000, "an empty screenshot"
    ARTEFACTS.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(shot, ARTEFACTS / name)
    return shot


EXTERNAL = re.compile(r"""(?:src|href)\s*=\s*["']?(?:https?:)?//|@import|url\(\s*["']?(?:https?:)?//""",
                      re.IGNORECASE)


def assert_self_contained(html: str) -> None:
    """Nothing the page would fetch: no external script, style, image or link target."""
    found = EXTERNAL.search(html)
    assert found is None, html[max(0, found.start() - 80):found.end() + 80]


def assert_rendered(page: Page, sections) -> None:
    assert page.errors is None, page.errors
    assert page.root.get("data-page-ready") == "yes"
    assert page.sections == {name: "yes" for name in sections}
