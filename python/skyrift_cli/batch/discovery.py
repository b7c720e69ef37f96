"""From the command line's INPUT words to the list of observation files to analyse."""
from __future__ import annotations

import os

from ..errors import CliError
from . import sources
from .names import is_observation_name

NAME_HINT = ("names ending in .YYo or .YYd (RINEX 2) or _MO.rnx or _MO.crx (RINEX 3/4), "
             "plain, .gz or .Z")


def observation_files(folder: str) -> list[str]:
    """Observation files below a folder, recognised by their names."""
    return [f for f in sources.files_under(folder) if is_observation_name(sources.name_of(f))]


def _expand(word: str) -> list[str]:
    """One INPUT: a file is taken whatever its name; a folder is searched by name;
    a pattern gives the files it matches and searches the folders it matches."""
    if not sources.has_glob(word) and sources.exists(word):
        found = observation_files(word) if sources.is_folder(word) else [word]
        if not found:
            raise CliError(f"{word}: no observation files in this folder ({NAME_HINT})")
        return [f if sources.is_url(f) else os.path.abspath(f) for f in found]
    if not sources.has_glob(word):
        raise CliError(f"{word}: no such file or folder")
    hits = sources.matches(word)
    found = []
    for hit in hits:
        found += observation_files(hit) if sources.is_folder(hit) else [hit]
    if not found:
        raise CliError(f"{word}: no observation file matches this pattern")
    return found


def discover(words) -> list[str]:
    """Every observation file the inputs name, each once, in the order given."""
    if isinstance(words, (str, os.PathLike)):
        words = [words]
    seen: dict[str, None] = {}
    for word in words:
        for source in _expand(os.fspath(word)):
            seen.setdefault(source)
    if not seen:
        raise CliError("no inputs given")
    return list(seen)
