"""Files for the command line: walking folders, telling binary files apart, safe rewriting."""

from __future__ import annotations

import contextlib
import errno
import os
import re
import signal
import stat
import tempfile
import typing

__all__ = ["SKIPPED_DIRS", "TERMINATING_SIGNALS", "FileChanged", "NotRewritable", "Rewrite", "is_binary", "is_temporary", "open_input", "walk"]

# Folders never walked into: version control data, caches and environments.
SKIPPED_DIRS = frozenset({
    ".git", ".hg", ".svn", ".bzr", "_darcs", "CVS",
    "__pycache__", ".mypy_cache", ".pytest_cache", ".ruff_cache", ".hypothesis",
    ".tox", ".nox", ".venv", "venv", "node_modules",
})

SNIFF_SIZE = 8192
# Temporary files of a rewrite: a short name of their own, so that a file whose name is as long
# as the file system allows can be rewritten too, and so that a walk can tell them apart (the
# second form is the one earlier versions used).
_TEMP_PREFIX = ".scrubix-"
_TEMP_SUFFIX = ".tmp"
_TEMP_NAME = re.compile(r"\.scrubix-[a-z0-9_]{8}\.tmp|\..*\.scrubix-tmp", re.S)


# Signals that end a run like Ctrl-C does (the command turns them into an exception, so that a
# rewrite in progress removes its temporary file).
TERMINATING_SIGNALS = tuple(getattr(signal, name) for name in (
    "SIGTERM", "SIGHUP", "SIGQUIT", "SIGUSR1", "SIGUSR2", "SIGALRM", "SIGVTALRM", "SIGPROF", "SIGXCPU",
    "SIGXFSZ") if hasattr(signal, name))


@contextlib.contextmanager
def _signals_held() -> typing.Iterator[None]:
    # Between creating the temporary file and remembering its name, an interrupt would leave it
    # behind: signals wait until the name is known.
    block = getattr(signal, "pthread_sigmask", None)
    held = {signal.SIGINT, *TERMINATING_SIGNALS}
    old = block(signal.SIG_BLOCK, held) if block else None
    try:
        yield
    finally:
        if block and old is not None:
            block(signal.SIG_SETMASK, old)


class NotRewritable(OSError):
    """The file cannot be replaced without losing something; it was left as it was."""


class FileChanged(NotRewritable):
    """The file changed while it was being cleaned; it was left as it was."""


def is_temporary(name: str) -> bool:
    """Whether a file name is that of a rewrite's temporary file."""
    return bool(_TEMP_NAME.fullmatch(name))


def walk(top: str) -> typing.Iterator[str]:
    """Regular files below `top` in sorted order, skipping `SKIPPED_DIRS`, symbolic links and
    temporary files of rewrites."""
    for root, dirs, files in os.walk(top):
        dirs[:] = sorted(d for d in dirs if d not in SKIPPED_DIRS)
        for name in sorted(files):
            if is_temporary(name):
                continue
            path = os.path.join(root, name)
            with contextlib.suppress(OSError):
                if stat.S_ISREG(os.lstat(path).st_mode):
                    yield path


def open_input(path: str, regular_only: bool) -> typing.BinaryIO:
    """Open a file for reading once. With `regular_only`, anything but a regular file (a named
    pipe, a device, a socket, a folder) is refused without waiting for a writer."""
    flags = os.O_RDONLY | getattr(os, "O_BINARY", 0)
    if regular_only:
        flags |= getattr(os, "O_NONBLOCK", 0)
    fd = os.open(path, flags)
    try:
        info = os.fstat(fd)
        if stat.S_ISDIR(info.st_mode):
            raise IsADirectoryError(errno.EISDIR, "Is a directory")
        if regular_only and not stat.S_ISREG(info.st_mode):
            raise NotRewritable(errno.EINVAL, "not a regular file (pipes and devices are never rewritten)")
        if regular_only and hasattr(os, "set_blocking"):
            os.set_blocking(fd, True)
        return open(fd, "rb")
    except BaseException:
        os.close(fd)
        raise


def _xattrs(target: typing.Union[int, str]) -> dict[str, bytes]:
    try:
        names = os.listxattr(target)
    except (OSError, AttributeError):
        return {}
    return {name: os.getxattr(target, name) for name in names}


class Rewrite:
    """Replaces the contents of one open file so that no reader ever sees a partial file.

    The new bytes go to a temporary file in the same folder, created on the first `write`. `commit`
    gives it every piece of metadata the original has (owner and group, extended attributes and
    with them POSIX ACLs, then the permission bits including setuid, setgid and sticky, as
    changing the owner clears them), flushes it to disk and renames it over the original (a
    symbolic link is followed and its target replaced). Anything that cannot be kept, a file with
    several hard links, or a file that changed since it was opened is refused: the original is
    left as it was and `NotRewritable` says why. On any error, or an interrupt, the temporary file
    is removed.
    """

    def __init__(self, path: str, source: typing.BinaryIO) -> None:
        self.target = os.path.realpath(path)
        self._source = source
        self._info = os.fstat(source.fileno())
        self._file: typing.Optional[typing.BinaryIO] = None
        self._temp = ""
        if self._info.st_nlink > 1:
            raise NotRewritable(errno.EMLINK, f"has {self._info.st_nlink} hard links; replacing it would "
                                              "separate them (not rewritten)")

    def __enter__(self) -> Rewrite:
        return self

    def __exit__(self, *exc: object) -> None:
        self.discard()

    @property
    def started(self) -> bool:
        return self._file is not None

    def write(self, data: bytes, copy_before: int = 0) -> None:
        """Write `data`; on the first call, first copy the original's first `copy_before` bytes."""
        if self._file is None:
            folder = os.path.dirname(self.target)
            with _signals_held():
                fd, self._temp = tempfile.mkstemp(prefix=_TEMP_PREFIX, suffix=_TEMP_SUFFIX, dir=folder)
                self._file = open(fd, "wb")
            done = 0
            while done < copy_before:
                block = os.pread(self._source.fileno(), min(1 << 20, copy_before - done), done)
                if not block:
                    raise FileChanged(errno.EAGAIN, "changed while it was being cleaned (left as it was)")
                self._file.write(block)
                done += len(block)
        self._file.write(data)

    def commit(self) -> None:
        if self._file is None:
            return
        f = self._file
        f.flush()
        info = self._info
        fd = f.fileno()
        mine = os.fstat(fd)
        if (mine.st_uid, mine.st_gid) != (info.st_uid, info.st_gid):
            try:
                os.fchown(fd, info.st_uid, info.st_gid)
            except OSError as exc:
                raise NotRewritable(exc.errno, f"cannot keep its owner or group ({exc.strerror}; "
                                               "not rewritten)") from None
        wanted = _xattrs(self._source.fileno())
        have = _xattrs(fd)
        try:
            for name in have.keys() - wanted.keys():
                os.removexattr(fd, name)
            for name, value in wanted.items():
                if have.get(name) != value:
                    os.setxattr(fd, name, value)
        except OSError as exc:
            raise NotRewritable(exc.errno, f"cannot keep its extended attributes or ACL ({exc.strerror}; "
                                           "not rewritten)") from None
        os.fchmod(fd, stat.S_IMODE(info.st_mode))
        os.fsync(fd)
        now = os.fstat(self._source.fileno())
        try:
            there = os.stat(self.target)
        except FileNotFoundError:
            there = None
        same = (now.st_size, now.st_mtime_ns, now.st_ctime_ns) == (info.st_size, info.st_mtime_ns, info.st_ctime_ns)
        if not same or there is None or (there.st_dev, there.st_ino) != (info.st_dev, info.st_ino):
            raise FileChanged(errno.EAGAIN, "changed while it was being cleaned (left as it was)")
        with _signals_held():
            f.close()
            os.replace(self._temp, self.target)
            self._file = None
            self._temp = ""
        _sync_folder(os.path.dirname(self.target))

    def discard(self) -> None:
        if self._file is not None:
            with contextlib.suppress(OSError):
                self._file.close()
            with contextlib.suppress(OSError):
                os.unlink(self._temp)
            self._file = None
            self._temp = ""


def is_binary(head: bytes) -> bool:
    """True when the start of a file holds a NUL byte (the test git uses)."""
    return b"\0" in head[:SNIFF_SIZE]


def _sync_folder(folder: str) -> None:
    # Makes the rename itself durable; not possible (nor needed) everywhere.
    with contextlib.suppress(OSError, AttributeError):
        fd = os.open(folder, os.O_RDONLY | getattr(os, "O_DIRECTORY", 0))
        try:
            os.fsync(fd)
        finally:
            os.close(fd)
