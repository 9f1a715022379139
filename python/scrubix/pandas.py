"""The `scrubix` accessor on pandas Series: `df["text"].scrubix.clean(options)`.

Importing this module registers the accessor. The column goes through Arrow (no copy for
Arrow-backed strings) and is cleaned natively, see `scrubix.arrow`. The result keeps the
Series' index, name and dtype; missing values stay as they were.
"""

from __future__ import annotations

import typing

import pandas as pd
import pyarrow as pa

from . import arrow
from ._scrubix import Options

__all__ = ["ScrubixSeriesAccessor", "clean_series"]


def _arrow_values(series: pd.Series) -> typing.Any:
    if series.dtype == object:
        try:
            return pa.array(series, type=pa.string(), from_pandas=True)
        except (pa.ArrowInvalid, pa.ArrowTypeError) as error:
            raise TypeError(f"Series {series.name!r} holds values that are not str: {error}") from None
    return pa.array(series.array)


def clean_series(series: pd.Series, options: typing.Optional[Options] = None, *,
                 threads: typing.Optional[int] = None) -> pd.Series:
    """`series` with every string cleaned; the index, name, dtype and missing values kept."""
    cleaned = arrow.clean(_arrow_values(series), options, threads=threads)
    dtype = series.dtype
    if isinstance(dtype, pd.ArrowDtype):
        values = dtype.__from_arrow__(cleaned.cast(dtype.pyarrow_dtype))
    elif hasattr(dtype, "__from_arrow__"):
        values = dtype.__from_arrow__(cleaned)
    else:
        plain = pd.Series(cleaned.to_numpy(zero_copy_only=False), index=series.index, name=series.name, dtype=object)
        return plain.where(series.notna(), series)
    return pd.Series(values, index=series.index, name=series.name, copy=False)


@pd.api.extensions.register_series_accessor("scrubix")
class ScrubixSeriesAccessor:
    """`series.scrubix.clean(options)`: the Series with every string cleaned."""

    def __init__(self, series: pd.Series) -> None:
        self._series = series

    def clean(self, options: typing.Optional[Options] = None, *,
              threads: typing.Optional[int] = None) -> pd.Series:
        """A new Series: each string cleaned as `Cleaner(options).clean(text).text` would."""
        return clean_series(self._series, options, threads=threads)
