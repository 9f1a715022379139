"""Typical use of the public API; `test_typing.py` checks it with `mypy --strict`.

The `type: ignore` comments mark calls that the stubs must reject: under --strict an ignore
that is not needed is itself an error, so a too-loose stub fails the check.
"""

from __future__ import annotations

import pickle
from typing import Dict, List, Optional

import scrubix
from scrubix import Cleaner, CleaningResult, Options

version: str = scrubix.__version__
flags: List[bool] = [scrubix.HAS_STATS, scrubix.HAS_SECURITY]
names: List[str] = scrubix.__all__

text: str = scrubix.clean("Caf\u00e9")
humane: str = scrubix.humanize(text=text)

options: Options = Options.code_safe_preset().replace(keep_emoji=False, line_endings="lf")
custom = Options(True, False, keyboard_only=False, unicode_normalization="nfc", line_endings=None)
line_endings: Optional[str] = options.line_endings
policy: str = options.non_ascii_policy
keep_emoji: bool = options.keep_emoji
same: bool = options == custom and options != custom

cleaner = Cleaner(options)
default_cleaner = Cleaner()
result: CleaningResult = cleaner.clean("\u201chi\u201d")
cleaned: str = result.text
changes: int = result.changes_made
stats: Dict[str, int] = result.stats
changed: bool = bool(result)
restored: Cleaner = pickle.loads(pickle.dumps(cleaner))
batch: List[CleaningResult] = scrubix.clean_many(["a", "b"], options, threads=2)
lazy: List[CleaningResult] = scrubix.clean_many(text for text in names)

scrubix.clean(5)  # type: ignore[arg-type]
Options(remove_hidden=1.5)  # type: ignore[arg-type]
Options().replace(emoji_policy="keep")  # type: ignore[call-arg]
Cleaner("x")  # type: ignore[arg-type]
result.text = "x"  # type: ignore[misc]
scrubix.clean_many(["x"], threads="2")  # type: ignore[arg-type]
scrubix.clean_many(["x"], options, 2)  # type: ignore[misc]
scrubix.clean_many([b"x"])  # type: ignore[list-item]

report: scrubix.ChangeReport = scrubix.explain("\u201cx\u201d", options)
report_text: str = report.text
report_stats: Dict[str, int] = report.stats
listed: List[scrubix.Change] = report.changes
where: List[tuple[int, int, int, int]] = [(c.start, c.end, c.line, c.column) for c in listed]
what: List[tuple[str, str, str, int]] = [(c.original, c.replacement, c.counter, c.count) for c in listed]
scrubix.explain("x", options=None)
scrubix.explain(b"x")  # type: ignore[arg-type]

# The column helpers.
import polars as pl  # noqa: E402

import scrubix.arrow  # noqa: E402
import scrubix.polars  # noqa: E402

stats_of_column: Dict[str, int] = scrubix.arrow.clean_with_stats(["x"], options, threads=2)[1]
cleaned_series: pl.Series = scrubix.polars.clean_series(pl.Series(["x"]), options)
scrubix.arrow.clean(["x"], threads="2")  # type: ignore[arg-type]
