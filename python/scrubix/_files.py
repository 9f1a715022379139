"""Files for the command line: walking folders, telling binary files apart, safe rewriting."""

from __future__ import annotations

import contextlib
import os
import stat
import tempfile
import typing

__all__ = ["SKIPPED_DIRS", "is_binary", "replace_contents", "walk"]

# Folders never walked into: version control data, caches and environments.
SKIPPED_DIRS = frozenset({
    ".git", ".hg", ".svn", ".bzr", "_darcs", "CVS",
    "__pycache__", ".mypy_cache", ".pytest_cache", ".ruff_cache", ".hypothesis",
    ".tox", ".nox", ".venv", "venv", "node_modules",
})

_SNIFF_SIZE = 8192
TEMP_SUFFIX = ".scrubix-tmp"


def walk(top: str) -> typing.Iterator[str]:
    """Regular files below `top` in sorted order, skipping `SKIPPED_DIRS` and symbolic links."""
    for root, dirs, files in os.walk(top):
        dirs[:] = sorted(d for d in dirs if d not in SKIPPED_DIRS)
        for name in sorted(files):
            path = os.path.join(root, name)
            with contextlib.suppress(OSError):
                if stat.S_ISREG(os.lstat(path).st_mode):
                    yield path


def is_binary(path: str) -> bool:
    """True when the start of the file holds a NUL byte (the test git uses)."""
    with open(path, "rb") as f:
        return b"\0" in f.read(_SNIFF_SIZE)


def replace_contents(path: str, data: typing.Iterable[bytes]) -> None:
    """Replace the contents of `path` with `data` so that no reader ever sees a partial file.

    The bytes go to a temporary file in the same folder, which is flushed to disk and then
    renamed over the file (a symbolic link is followed and its target replaced). The file keeps
    its permission bits (and its owner, where the process may set it). On any error, or an
    interrupt, the temporary file is removed and the original is left as it was.
    """
    target = os.path.realpath(path)
    info = os.stat(target)
    folder, name = os.path.split(target)
    fd, temp = tempfile.mkstemp(prefix=f".{name}.", suffix=TEMP_SUFFIX, dir=folder)
    try:
        with open(fd, "wb") as f:
            for chunk in data:
                f.write(chunk)
            f.flush()
            os.fsync(f.fileno())
        os.chmod(temp, stat.S_IMODE(info.st_mode))
        if hasattr(os, "chown"):
            with contextlib.suppress(OSError):
                os.chown(temp, info.st_uid, info.st_gid)
        os.replace(temp, target)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(temp)
        raise
    _sync_folder(folder)


def _sync_folder(folder: str) -> None:
    # Makes the rename itself durable; not possible (nor needed) everywhere.
    with contextlib.suppress(OSError, AttributeError):
        fd = os.open(folder, os.O_RDONLY | getattr(os, "O_DIRECTORY", 0))
        try:
            os.fsync(fd)
        finally:
            os.close(fd)
