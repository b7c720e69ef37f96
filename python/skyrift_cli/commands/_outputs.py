"""Output files the commands share: --csv, --json, --plots and the list of what was written."""
from __future__ import annotations

from pathlib import Path

from ..errors import CliError

METAVARS = {"csv": "FILE", "json": "FILE", "plots": "DIR"}


def add_output_options(p, **helps: str) -> None:
    """--csv FILE, --json FILE and --plots DIR, those named and in the order given, with
    their help texts."""
    for name, text in helps.items():
        p.add_argument(f"--{name}", metavar=METAVARS[name], help=text)


def check_plotting(args) -> None:
    """Fail before the work when figures are asked for and matplotlib is missing."""
    if getattr(args, "plots", None):
        from ..optional import require_installed

        require_installed("matplotlib", "plotting")


def outdir(path) -> Path:
    p = Path(path)
    try:
        p.mkdir(parents=True, exist_ok=True)
    except OSError as exc:
        raise CliError(f"{p}: cannot create the folder ({exc.strerror})") from None
    return p


def write_outputs(args, *, csv=None, json=None, plots=None, progress=None) -> None:
    """The --csv, --json and --plots outputs a command was asked for, then their list.
    csv(path) writes the table, json() gives the data and plots(outdir, progress) draws
    the figures, telling progress of each."""
    from ..analysis.report import write_json

    written = []
    for name, write in (("csv", csv), ("json", lambda path: write_json(path, json()))):
        path = getattr(args, name, None)
        if path:
            if progress:
                progress.step(f"writing {path}")
            write(Path(path))
            written.append(Path(path))
    if getattr(args, "plots", None):
        written += plots(outdir(args.plots), progress)
    list_written(written)


def list_written(paths) -> None:
    if paths:
        print("\nWrote:")
        for p in paths:
            print(f"  {p}")
