"""The `scrubix` namespace on Polars expressions and Series.

Importing this module registers it: `pl.col("text").scrubix.clean(options)` in any context
(select, with_columns, lazy queries), and `series.scrubix.clean(options)`. Each batch Polars
hands over is cleaned natively through Arrow, see `scrubix.arrow`; nulls stay null.
"""

from __future__ import annotations

import typing

import polars as pl

from . import arrow
from ._scrubix import Options

__all__ = ["ScrubixExprNamespace", "ScrubixSeriesNamespace", "clean_series"]


def clean_series(series: pl.Series, options: typing.Optional[Options] = None, *,
                 threads: typing.Optional[int] = None) -> pl.Series:
    """`series` (of dtype String) with every string cleaned, under the same name."""
    if series.dtype != pl.String:
        raise TypeError(f"Series {series.name!r} has dtype {series.dtype}, not String")
    cleaned = arrow.clean(series, options, threads=threads)
    result = pl.Series(series.name, cleaned)
    return result.cast(pl.String)


@pl.api.register_expr_namespace("scrubix")
class ScrubixExprNamespace:
    """`expr.scrubix.clean(options)`: an expression of the cleaned strings."""

    def __init__(self, expr: pl.Expr) -> None:
        self._expr = expr

    def clean(self, options: typing.Optional[Options] = None, *,
              threads: typing.Optional[int] = None) -> pl.Expr:
        return self._expr.map_batches(lambda series: clean_series(series, options, threads=threads),
                                      return_dtype=pl.String)


@pl.api.register_series_namespace("scrubix")
class ScrubixSeriesNamespace:
    """`series.scrubix.clean(options)`: a new Series of the cleaned strings."""

    def __init__(self, series: pl.Series) -> None:
        self._series = series

    def clean(self, options: typing.Optional[Options] = None, *,
              threads: typing.Optional[int] = None) -> pl.Series:
        return clean_series(self._series, options, threads=threads)
