"""What the command line prints for each change: text lines, JSON lines or GitHub annotations.

A text line reads `path:line:col: counter: U+201C LEFT DOUBLE QUOTATION MARK -> '"'`: the
characters replaced by code point and name (by code point alone where Python knows no name),
and the replacement as a Python string literal, so invisible and control characters never
appear raw.
"""

from __future__ import annotations

import json
import typing
import unicodedata

from ._report import Change

__all__ = ["FORMATS", "ChangeLines", "describe", "github_escape_data", "github_escape_property"]

FORMATS = ("text", "json", "github")
# Characters described one by one before the rest is summed up.
_DESCRIBED = 8


def _character(c: str) -> str:
    name = unicodedata.name(c, "")
    return f"U+{ord(c):04X} {name}" if name else f"U+{ord(c):04X}"


def describe(original: str) -> str:
    """The characters of `original` by code point and name; repeats as `xN`."""
    if not original:
        return "(counted with the change before)"
    parts: list[str] = []
    n = 0
    while n < len(original) and len(parts) < _DESCRIBED:
        c = original[n]
        run = n
        while run < len(original) and original[run] == c:
            run += 1
        parts.append(_character(c) + (f" x{run - n}" if run - n > 1 else ""))
        n = run
    if n < len(original):
        parts.append(f"... ({len(original) - n} more characters)")
    return ", ".join(parts)


def message(change: Change) -> str:
    """`counter: U+2014 EM DASH -> '-'`."""
    if not change.original:
        return f"{change.counter}: {describe(change.original)}"
    return f"{change.counter}: {describe(change.original)} -> {change.replacement!r}"


def github_escape_data(text: str) -> str:
    """A workflow command's message, escaped as GitHub Actions reads it back."""
    return text.replace("%", "%25").replace("\r", "%0D").replace("\n", "%0A")


def github_escape_property(text: str) -> str:
    """A workflow command's property value (file=...), escaped as GitHub Actions reads it back."""
    return github_escape_data(text).replace(":", "%3A").replace(",", "%2C")


class ChangeLines:
    """Writes the changes of one input in a format, at most `limit` of them (None: all)."""

    def __init__(self, write: typing.Callable[[str], None], path: str, fmt: str,
                 limit: typing.Optional[int]) -> None:
        self._write = write
        self._path = path
        self._format = fmt
        self._limit = limit
        self.found = 0  # changes found (shown or not)

    def add(self, change: Change) -> None:
        self.found += 1
        if self._limit is not None and self.found > self._limit:
            return
        if self._format == "json":
            self._write(json.dumps({
                "type": "change", "path": self._path, "line": change.line, "column": change.column,
                "start": change.start, "end": change.end, "counter": change.counter, "count": change.count,
                "original": change.original, "replacement": change.replacement}))
        elif self._format == "github":
            self._write(f"::warning file={github_escape_property(self._path)},line={change.line},"
                        f"col={change.column},title=scrubix::{github_escape_data(message(change))}")
        else:
            self._write(f"{self._path}:{change.line}:{change.column}: {message(change)}")

    @property
    def hidden(self) -> int:
        """Changes found beyond the limit."""
        return 0 if self._limit is None else max(0, self.found - self._limit)

    def summary(self, changes_made: int, stats: dict[str, int], text: str) -> None:
        """The input's summary line: `text` (the usual one) and what the limit held back."""
        if self._format == "json":
            self._write(json.dumps({"type": "summary", "path": self._path, "changes_made": changes_made,
                                    "stats": stats, "changes_listed": self.found - self.hidden,
                                    "changes_not_listed": self.hidden}))
            return
        more = f" ({self.hidden} more not listed, see --max-changes)" if self.hidden else ""
        if self._format == "github":
            self._write(f"::notice file={github_escape_property(self._path)},title=scrubix::"
                        f"{github_escape_data(text + more)}")
        else:
            self._write(f"{self._path}: {text}{more}")
