"""The one error type the command line turns into a one-line message."""


class CliError(Exception):
    """A problem the user can fix: bad file, missing option, missing package."""
