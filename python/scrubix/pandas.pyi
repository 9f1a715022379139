"""The `scrubix` accessor on pandas Series: `df["text"].scrubix.clean(options)`."""

from typing import Optional

import pandas as pd  # type: ignore[import-untyped,unused-ignore]

from ._scrubix import Options

__all__ = ["ScrubixSeriesAccessor", "clean_series"]

def clean_series(series: pd.Series, options: Optional[Options] = None, *,
                 threads: Optional[int] = None) -> pd.Series: ...

class ScrubixSeriesAccessor:
    def __init__(self, series: pd.Series) -> None: ...
    def clean(self, options: Optional[Options] = None, *, threads: Optional[int] = None) -> pd.Series: ...
