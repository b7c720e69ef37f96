"""One module per command. Each has add_parser(sub), which adds its subparser and
returns it, and run(args), which prints its report or raises CliError.

A new command is a new module here, listed in COMMANDS (the order of the help text).
Commands import the analyses inside run(), so that building the parser needs
neither numpy nor the extension module.
"""
from . import batch, demo, info, multipath, qc, report, rh, simulate, snr

COMMANDS = (info, multipath, snr, rh, qc, batch, report, simulate, demo)
