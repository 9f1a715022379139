"""Cleaning text columns of a Dask DataFrame, partition by partition.

Each partition is a pandas DataFrame whose columns are cleaned natively through Arrow, see
`scrubix.pandas`. The options travel to the workers by pickle.
"""

from __future__ import annotations

import typing

import dask.dataframe as dd
import pandas as pd

from ._scrubix import Options
from .batch import _checked_options

__all__ = ["clean_columns"]


def _clean_partition(frame: pd.DataFrame, names: typing.Sequence[str], options: typing.Optional[Options],
                     threads: typing.Optional[int]) -> pd.DataFrame:
    from .pandas import clean_series
    cleaned = frame.copy(deep=False)
    for name in names:
        cleaned[name] = clean_series(frame[name], options, threads=threads)
    return cleaned


def clean_columns(ddf: dd.DataFrame, columns: typing.Union[str, typing.Sequence[str]],
                  options: typing.Optional[Options] = None, *, threads: typing.Optional[int] = 1) -> dd.DataFrame:
    """`ddf` with the named string columns cleaned, through `map_partitions`; dtypes kept.

    `threads` is per task (Dask already runs tasks in parallel), 1 by default.
    """
    names = [columns] if isinstance(columns, str) else list(columns)
    missing = [name for name in names if name not in ddf.columns]
    if missing:
        raise ValueError(f"no column named {missing[0]!r}; the DataFrame has {list(ddf.columns)}")
    return ddf.map_partitions(_clean_partition, names, _checked_options(options), threads, meta=ddf._meta)
