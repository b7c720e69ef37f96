"""The one place the benchmarks learn where the real data is: ../shared/data (and the
stored peer results in ../shared/validation) beside the repository. A benchmark that
needs a file stops with a message naming it; an optional section asks has() first and
prints that it was skipped."""
import sys
from pathlib import Path

SHARED = Path(__file__).resolve().parents[1].parent / "shared"
DATA_DIR = SHARED / "data"
VALIDATION_DIR = SHARED / "validation"
ABSENT = "../shared/data is absent"


def has(*names: str) -> bool:
    """Whether ../shared/data is there and holds every file named."""
    return DATA_DIR.is_dir() and all((DATA_DIR / name).exists() for name in names)


def data_file(name: str) -> Path:
    """A real data file; the benchmark stops with a clear message when it is not there."""
    path = DATA_DIR / name
    if not path.exists():
        sys.exit(f"{path} not found ({ABSENT})" if not DATA_DIR.is_dir()
                 else f"{name} not found in ../shared/data")
    return path


def skipped(what: str) -> str:
    """The line an optional section prints when its files are not there."""
    return f"{what}: skipped ({ABSENT if not DATA_DIR.is_dir() else 'files not in ../shared/data'})"
