"""Unified diffs of a text before and after cleaning."""

from __future__ import annotations

import difflib
import os
import typing

__all__ = ["unified_diff"]

_NO_NEWLINE = "\\ No newline at end of file\n"


def _lines(text: str) -> list[str]:
    # Lines end at LF only: CR stays part of its line, and form feeds, separators and the like
    # are ordinary characters here, as they are to patch.
    lines = text.split("\n")
    last = lines.pop()
    lines = [line + "\n" for line in lines]
    if last:
        lines.append(last)
    return lines


def _labels(name: str) -> tuple[str, str]:
    if name.startswith("<") or os.path.isabs(name):
        return name, name
    name = name.replace(os.sep, "/")
    return f"a/{name}", f"b/{name}"


def unified_diff(before: str, after: str, name: str, context: int = 3) -> typing.Iterator[str]:
    """Lines of a unified diff (each ending with LF) from `before` to `after`.

    Relative paths are labelled a/NAME and b/NAME as git does, so `git apply` and `patch -p1`
    take the output; a last line without LF gets the usual "\\ No newline at end of file".
    """
    old_label, new_label = _labels(name)
    for line in difflib.unified_diff(_lines(before), _lines(after), old_label, new_label, n=context):
        if line.endswith("\n"):
            yield line
        else:
            yield line + "\n"
            yield _NO_NEWLINE
