"""The `scrubix` namespace on Polars expressions and Series."""

from typing import Optional

import polars as pl

from ._scrubix import Options

__all__ = ["ScrubixExprNamespace", "ScrubixSeriesNamespace", "clean_series"]

def clean_series(series: pl.Series, options: Optional[Options] = None, *,
                 threads: Optional[int] = None) -> pl.Series: ...

class ScrubixExprNamespace:
    def __init__(self, expr: pl.Expr) -> None: ...
    def clean(self, options: Optional[Options] = None, *, threads: Optional[int] = None) -> pl.Expr: ...

class ScrubixSeriesNamespace:
    def __init__(self, series: pl.Series) -> None: ...
    def clean(self, options: Optional[Options] = None, *, threads: Optional[int] = None) -> pl.Series: ...
