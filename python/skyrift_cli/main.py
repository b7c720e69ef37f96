"""Entry point of skyrift-mp: parse, run the chosen command, turn errors into exit codes."""
from __future__ import annotations

import os
import sys

from .errors import CliError
from .exit_codes import ExitCode
from .parser import PROG, build_parser


def main(argv: list[str] | None = None) -> int:
    args = build_parser().parse_args(argv)
    try:
        from .optional import require

        require("numpy", PROG)
        args.run(args)
    except CliError as exc:
        return _fail(str(exc), args)
    except BrokenPipeError:  # output piped into head: stop quietly
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return ExitCode.OK
    except (OSError, ValueError, RuntimeError) as exc:
        return _fail(str(exc) or type(exc).__name__, args)
    except KeyboardInterrupt:
        return ExitCode.INTERRUPTED
    except Exception as exc:  # a fault of ours: still one line, --debug shows where
        return _fail(f"internal error ({type(exc).__name__}: {exc}); rerun with --debug "
                     "for the traceback", args)
    return ExitCode.OK


def _fail(message: str, args) -> int:
    if args.debug:
        raise
    print(f"{PROG}: error: {message}", file=sys.stderr)
    return ExitCode.FAILED


if __name__ == "__main__":
    sys.exit(main())
