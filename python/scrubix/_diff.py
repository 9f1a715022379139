"""Unified diffs of a file before and after cleaning, written as the pieces come, in bytes.

The diff describes the real bytes (undecodable ones included), so `git apply` and `patch -p1`
take it. Memory stays bounded: lines are compared within *blocks* that end where both sides
are at the start of a line at the same time (which every cut after a line feed gives); a block
larger than `BLOCK_LIMIT` is written as all its old lines removed and all its new lines added,
kept on disk meanwhile. A hunk is gathered in a spooled temporary file, as its header needs
its line counts first.
"""

from __future__ import annotations

import collections
import difflib
import os
import shutil
import tempfile
import typing

__all__ = ["BLOCK_LIMIT", "DiffWriter", "git_labels"]

BLOCK_LIMIT = 1 << 22
_SPOOL = 1 << 20
_NO_NEWLINE = b"\\ No newline at end of file\n"
# Bytes git writes as C escapes inside a quoted name (others below 0x20, 0x7F and all bytes
# from 0x80 on are written in octal).
_ESCAPES = {0x07: b"\\a", 0x08: b"\\b", 0x09: b"\\t", 0x0A: b"\\n", 0x0B: b"\\v", 0x0C: b"\\f",
            0x0D: b"\\r", 0x22: b'\\"', 0x5C: b"\\\\"}


def _quote(label: bytes) -> bytes:
    """A path label as git writes it: quoted C-style when it holds special bytes."""
    if not any(b < 0x20 or b >= 0x7F or b in (0x22, 0x5C) for b in label):
        return label
    out = bytearray(b'"')
    for b in label:
        if b in _ESCAPES:
            out += _ESCAPES[b]
        elif b < 0x20 or b >= 0x7F:
            out += b"\\%03o" % b
        else:
            out.append(b)
    out += b'"'
    return bytes(out)


def git_labels(path: str) -> typing.Optional[tuple[bytes, bytes]]:
    """The a/ and b/ names of `path` as git writes them, relative to the current folder.

    A path outside the current folder is named from the root of the file system. Standard
    input (None) has no name to give.
    """
    if path == "-":
        return None
    full = os.path.abspath(path)
    here = os.getcwd()
    inside = os.path.commonpath([full, here]) == here
    name = os.path.relpath(full, here) if inside else full.lstrip(os.sep)
    raw = os.fsencode(name.replace(os.sep, "/"))
    return _quote(b"a/" + raw), _quote(b"b/" + raw)


def _lines(data: bytes) -> list[bytes]:
    # Lines end at LF only: CR stays part of its line, as it does for patch and git.
    lines = data.split(b"\n")
    last = lines.pop()
    out = [line + b"\n" for line in lines]
    if last:
        out.append(last)
    return out


def _range(start: int, length: int) -> bytes:
    if length == 1:
        return b"%d" % (start + 1)
    return b"%d,%d" % (start + 1 if length else start, length)


class _Hunks:
    """Turns a stream of context, removed and added lines into hunks with `context` lines around."""

    def __init__(self, out: typing.BinaryIO, header: bytes, context: int = 3) -> None:
        self._out = out
        self._header = header  # written before the first hunk
        self._context = context
        self._old = 0  # lines seen on each side
        self._new = 0
        self._before: collections.deque[bytes] = collections.deque(maxlen=context)
        self._body: typing.Optional[typing.IO[bytes]] = None
        self._after: list[bytes] = []  # context lines since the last change
        self._start = (0, 0)
        self._counts = [0, 0]
        self.changed = False

    def _write(self, mark: bytes, line: bytes) -> None:
        assert self._body is not None
        self._body.write(mark + line)
        if not line.endswith(b"\n"):
            self._body.write(b"\n" + _NO_NEWLINE)

    def same(self, line: bytes) -> None:
        self._old += 1
        self._new += 1
        if self._body is None:
            self._before.append(line)
            return
        self._after.append(line)
        if len(self._after) > 2 * self._context:
            self._close()

    def _open(self) -> None:
        if self._body is None:
            self._body = tempfile.SpooledTemporaryFile(_SPOOL)
            self._start = (self._old - len(self._before), self._new - len(self._before))
            self._counts = [len(self._before), len(self._before)]
            for line in self._before:
                self._write(b" ", line)
            self._before.clear()
        else:
            for line in self._after:
                self._write(b" ", line)
            self._counts[0] += len(self._after)
            self._counts[1] += len(self._after)
            self._after = []

    def _count(self, mark: bytes, lines: int) -> None:
        side = 0 if mark == b"-" else 1
        self._counts[side] += lines
        if side:
            self._new += lines
        else:
            self._old += lines

    def change(self, mark: bytes, line: bytes) -> None:
        """A removed (b"-") or added (b"+") line."""
        self._open()
        self._write(mark, line)
        self._count(mark, 1)

    def change_all(self, mark: bytes, spool: typing.IO[bytes]) -> None:
        """Every line of `spool` removed or added, copied through in blocks."""
        self._open()
        assert self._body is not None
        lines = 0
        at_start = True
        while True:
            block = spool.read(_SPOOL)
            if not block:
                break
            parts = block.split(b"\n")  # every part but the last ends a line
            for n, part in enumerate(parts):
                if at_start and (part or n < len(parts) - 1):
                    self._body.write(mark)
                    at_start = False
                self._body.write(part)
                if n < len(parts) - 1:
                    self._body.write(b"\n")
                    lines += 1
                    at_start = True
        if not at_start:
            self._body.write(b"\n" + _NO_NEWLINE)
            lines += 1
        self._count(mark, lines)

    def skip(self, lines: int) -> None:
        """Unchanged lines too long to keep as context: close the hunk, count them."""
        if self._body is not None:
            self._close()
        self._before.clear()
        self._old += lines
        self._new += lines

    def _close(self) -> None:
        body = self._body
        assert body is not None
        trailing, rest = self._after[:self._context], self._after[self._context:]
        for line in trailing:
            self._write(b" ", line)
        self._counts[0] += len(trailing)
        self._counts[1] += len(trailing)
        if not self.changed:
            self._out.write(self._header)
            self.changed = True
        self._out.write(b"@@ -%s +%s @@\n" % (_range(self._start[0], self._counts[0]),
                                              _range(self._start[1], self._counts[1])))
        body.seek(0)
        shutil.copyfileobj(body, self._out)
        body.close()
        self._body = None
        self._after = []
        self._before.extend(rest[-self._context:])

    def finish(self) -> None:
        if self._body is not None:
            self._close()


class DiffWriter:
    """Writes the unified diff of one input from its pieces (before and after bytes)."""

    def __init__(self, out: typing.BinaryIO, path: str) -> None:
        labels = git_labels(path)
        if labels is None:
            header = b"--- <stdin>\n+++ <stdin>\n"
        else:
            old, new = labels
            header = b"diff --git %s %s\n--- %s\n+++ %s\n" % (old, new, old, new)
        self._hunks = _Hunks(out, header)
        self._old: typing.IO[bytes] = tempfile.SpooledTemporaryFile(BLOCK_LIMIT)
        self._new: typing.IO[bytes] = tempfile.SpooledTemporaryFile(BLOCK_LIMIT)
        self._size = 0
        self._differs = False

    @property
    def changed(self) -> bool:
        """Whether a hunk was written."""
        return self._hunks.changed

    def add(self, before: bytes, after: bytes) -> None:
        """The next piece of the input and what it becomes."""
        self._old.write(before)
        self._new.write(after)
        self._size += len(before) + len(after)
        self._differs = self._differs or before != after
        if before.endswith(b"\n") and after.endswith(b"\n"):
            self._flush()

    def finish(self) -> None:
        self._flush()
        self._hunks.finish()
        self._old.close()
        self._new.close()

    def _flush(self) -> None:
        if self._size > BLOCK_LIMIT:
            if self._differs:
                self._replace_all()
            else:
                self._skip_all()
        elif self._size:
            self._old.seek(0)
            self._new.seek(0)
            old = _lines(self._old.read())
            new = old if not self._differs else _lines(self._new.read())
            matcher = difflib.SequenceMatcher(None, old, new, autojunk=False)
            for tag, i1, i2, j1, j2 in matcher.get_opcodes():
                if tag == "equal":
                    for line in old[i1:i2]:
                        self._hunks.same(line)
                    continue
                for line in old[i1:i2]:
                    self._hunks.change(b"-", line)
                for line in new[j1:j2]:
                    self._hunks.change(b"+", line)
        for spool in (self._old, self._new):
            spool.seek(0)
            spool.truncate()
        self._size = 0
        self._differs = False

    def _skip_all(self) -> None:
        # A large unchanged block: its lines are context only if short enough to keep.
        self._old.seek(0)
        line: typing.Optional[bytearray] = bytearray()
        pending = False  # a line without LF has begun
        while True:
            block = self._old.read(_SPOOL)
            if not block:
                break
            parts = block.split(b"\n")
            for n, part in enumerate(parts):
                pending = pending or bool(part)
                if line is not None:
                    line += part
                    if len(line) > _SPOOL:
                        line = None
                if n < len(parts) - 1:
                    self._same(line, b"\n")
                    line, pending = bytearray(), False
        if pending:
            self._same(line, b"")

    def _same(self, line: typing.Optional[bytearray], end: bytes) -> None:
        if line is None:
            self._hunks.skip(1)
        else:
            self._hunks.same(bytes(line) + end)

    def _replace_all(self) -> None:
        for mark, spool in ((b"-", self._old), (b"+", self._new)):
            spool.seek(0)
            self._hunks.change_all(mark, spool)
