"""The change report: what `clean` changes in a text and where.

`explain(text, options)` cleans `text` as `Cleaner(options).clean(text)` does and lists every
change: the span of the input it replaced (`str` indices), the text written instead, the
counter it counts under and by how much, and the 1-based line and column where it starts.
Applying the changes in order to the input gives the cleaned text; their counts per counter
add up to the stats.

Most changes count under one counter. When one span counts under several (a trimmed run of
trailing whitespace that held a no-break space), the largest count keeps the span and each
other counter follows as an empty change at its end. Unicode normalization counts a text
once: its first normalized piece carries the 1, later ones count 0.
"""

from __future__ import annotations

import typing

from ._explain import explain as _explain
from ._scrubix import Options

__all__ = ["Change", "ChangeReport", "explain"]


class Change(typing.NamedTuple):
    """One change: `text[start:end]` (which is `original`) became `replacement`."""

    start: int
    end: int
    original: str
    replacement: str
    counter: str
    count: int  # type: ignore[assignment]  # the field shadows tuple.count, by design
    line: int
    column: int


class ChangeReport:
    """The cleaned text, its thirteen counters and the changes that made it."""

    __slots__ = ("text", "stats", "changes")

    def __init__(self, text: str, stats: typing.Dict[str, int], changes: typing.List[Change]) -> None:
        self.text = text
        self.stats = stats
        self.changes = changes

    @property
    def changes_made(self) -> int:
        return sum(self.stats.values())

    def __repr__(self) -> str:
        return f"ChangeReport(changes={len(self.changes)}, changes_made={self.changes_made})"


_DEFAULT_SETTINGS = Options().__reduce__()[2]


def explain(text: str, options: typing.Optional[Options] = None) -> ChangeReport:
    """Clean `text` with `options` (the defaults when None) and report every change."""
    if options is None:
        settings = _DEFAULT_SETTINGS
    elif isinstance(options, Options):
        settings = options.__reduce__()[2]
    else:
        raise TypeError(f"options must be an Options or None, not {type(options).__name__}")
    cleaned, stats, changes = _explain(text, dict(settings), Change)
    return ChangeReport(cleaned, stats, changes)
