"""The exit statuses of skyrift-mp, in one place."""
from enum import IntEnum


class ExitCode(IntEnum):
    OK = 0
    FAILED = 1  # a user error or a fault, reported in one line on stderr
    USAGE = 2  # bad command line; argparse prints the usage and exits with this
    INTERRUPTED = 130  # Ctrl-C, as shells report SIGINT
