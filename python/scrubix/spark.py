"""Cleaning text columns of a Spark DataFrame with `mapInArrow`.

Each Arrow record batch Spark hands a Python worker is cleaned natively, see `scrubix.arrow`:
no Python object per row. The options travel to the workers by pickle.
"""

from __future__ import annotations

import pickle
import typing

from pyspark.sql import DataFrame
from pyspark.sql.types import StringType

from ._scrubix import Options
from .batch import _checked_options

__all__ = ["clean_columns"]


def _clean_batches(payload: bytes, names: typing.FrozenSet[str], threads: typing.Optional[int]) -> typing.Callable[
        [typing.Iterable[typing.Any]], typing.Iterator[typing.Any]]:
    def clean_batches(batches: typing.Iterable[typing.Any]) -> typing.Iterator[typing.Any]:
        import pyarrow as pa

        from scrubix import arrow
        options = pickle.loads(payload)
        for batch in batches:
            columns = [arrow.clean(column, options, threads=threads).cast(column.type)
                       if field.name in names else column
                       for field, column in zip(batch.schema, batch.columns)]
            yield pa.RecordBatch.from_arrays(columns, schema=batch.schema)
    return clean_batches


def clean_columns(df: DataFrame, columns: typing.Union[str, typing.Sequence[str]],
                  options: typing.Optional[Options] = None, *, threads: typing.Optional[int] = 1) -> DataFrame:
    """`df` with the named string columns cleaned; other columns, the row order and schema kept.

    `threads` is per Python worker (Spark already runs one per core), 1 by default.
    """
    names = [columns] if isinstance(columns, str) else list(columns)
    fields = {field.name: field for field in df.schema.fields}
    for name in names:
        if name not in fields:
            raise ValueError(f"no column named {name!r}; the DataFrame has {sorted(fields)}")
        if not isinstance(fields[name].dataType, StringType):
            raise TypeError(f"column {name!r} is {fields[name].dataType.simpleString()}, not string")
    payload = pickle.dumps(_checked_options(options))
    return df.mapInArrow(_clean_batches(payload, frozenset(names), threads), df.schema)
