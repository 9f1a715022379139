"""Fast, exact Unicode text cleaner.

`clean` and `humanize` return cleaned text in one call; `Cleaner` wraps reusable `Options`
and returns a `CleaningResult` with the change counters.
"""

from __future__ import annotations

from ._scrubix import (
    HAS_SECURITY,
    HAS_STATS,
    Cleaner,
    CleaningResult,
    Options,
    __version__,
    clean,
    humanize,
)
from ._report import Change, ChangeReport, explain
from .batch import clean_many

__all__ = [
    "__version__",
    "HAS_STATS",
    "HAS_SECURITY",
    "clean",
    "humanize",
    "Cleaner",
    "Options",
    "CleaningResult",
    "clean_many",
    "explain",
    "ChangeReport",
    "Change",
]
