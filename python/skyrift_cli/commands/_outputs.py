"""Output folders and files the commands share: --json, --plots and the list of what was written."""
from __future__ import annotations

from pathlib import Path

from ..errors import CliError


def outdir(path) -> Path:
    p = Path(path)
    try:
        p.mkdir(parents=True, exist_ok=True)
    except OSError as exc:
        raise CliError(f"{p}: cannot create the folder ({exc.strerror})") from None
    return p


def write_outputs(args, written: list[Path], json_data, make_plots, progress=None) -> None:
    """The --json file and --plots figures a command was asked for, then their list.
    make_plots(outdir, progress) draws the figures, telling progress of each."""
    from ..analysis.report import write_json

    if args.json:
        if progress:
            progress.step(f"writing {args.json}")
        write_json(Path(args.json), json_data())
        written.append(Path(args.json))
    if args.plots:
        written += make_plots(outdir(args.plots), progress)
    list_written(written)


def list_written(paths) -> None:
    if paths:
        print("\nWrote:")
        for p in paths:
            print(f"  {p}")
