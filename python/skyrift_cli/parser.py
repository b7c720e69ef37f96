"""The command line: global options, then one subparser per command module."""
from __future__ import annotations

import argparse

from .commands import COMMANDS

PROG = "skyrift-mp"
DESCRIPTION = "skyrift-mp: code multipath, cycle slips and SNR reflections from RINEX files."


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog=PROG, description=DESCRIPTION)
    parser.add_argument("--version", action="version", version=f"{PROG} {_module_version()}",
                        help="show the version of skyrift_mp and exit")
    parser.add_argument("--debug", action="store_true", help="show tracebacks of errors")
    sub = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    for command in COMMANDS:
        command.add_parser(sub).set_defaults(run=command.run)
    return parser


def _module_version() -> str:
    """The version of the installed module, the one every command runs."""
    import skyrift_mp

    return skyrift_mp.__version__
