"""Cleaning Arrow string columns in the style of `pyarrow.compute`.

Any object that exports an Arrow string array through the Arrow PyCapsule protocol works:
pyarrow arrays and chunked arrays, Polars series, nanoarrow and arro3 arrays, DuckDB results.
`string`, `large_string` and `string_view` arrays are read in place, with no Python object per
row; the rows are cleaned on native threads with the interpreter lock released. Nulls stay
null. Chunked arrays and streams are cleaned batch by batch, each input batch released once its
rows are cleaned.

The result is a `pyarrow.Array` (a `pyarrow.ChunkedArray` for chunked or stream input) when
pyarrow is installed, and otherwise an object that exports itself through the same protocol.
Its type is `string`, or `large_string` when the input was `large_string` or the cleaned text
no longer fits 32-bit offsets.
"""

from __future__ import annotations

import typing

from . import _columns
from ._scrubix import Options
from .batch import _checked_options, _thread_count

__all__ = ["clean", "clean_with_stats", "ColumnStream"]


class ColumnStream:
    """Cleaned chunks, exported as one Arrow stream through `__arrow_c_stream__`.

    Returned instead of a `pyarrow.ChunkedArray` when pyarrow is not installed.
    """

    def __init__(self, chunks: typing.List[typing.Any], arrow_format: str) -> None:
        self.chunks = chunks
        self.format = arrow_format

    def __len__(self) -> int:
        return sum(len(chunk) for chunk in self.chunks)

    def __repr__(self) -> str:
        return f"<scrubix ColumnStream of {len(self.chunks)} chunks, {len(self)} rows, Arrow format {self.format!r}>"

    def __arrow_c_stream__(self, requested_schema: typing.Any = None) -> typing.Any:
        return _columns.stream_of(self.chunks, self.format)


def _pyarrow() -> typing.Any:
    try:
        import pyarrow
    except ImportError:
        return None
    return pyarrow


def _as_arrow_source(values: typing.Any) -> typing.Any:
    if hasattr(values, "__arrow_c_array__") or hasattr(values, "__arrow_c_stream__"):
        return values
    pa = _pyarrow()
    if pa is not None and isinstance(values, (list, tuple)):
        return pa.array(values, type=pa.string())
    raise TypeError("values must export an Arrow string array (__arrow_c_array__ or __arrow_c_stream__), "
                    f"not {type(values).__name__}")


def _run(values: typing.Any, options: typing.Optional[Options], threads: typing.Optional[int],
         with_stats: bool) -> typing.Tuple[typing.Any, typing.Any, typing.Any]:
    source = _as_arrow_source(values)
    options = _checked_options(options)
    count = _thread_count(threads)
    pa = _pyarrow()
    if hasattr(source, "__arrow_c_array__"):
        schema, array = source.__arrow_c_array__()
        strings, stats, changes = _columns.clean_array(schema, array, options, count, with_stats, 0)
        if pa is not None:
            strings = pa.array(strings)
            changes = None if changes is None else pa.array(changes)
        return strings, stats, changes
    chunks, stats, change_chunks, arrow_format = _columns.clean_stream(
        source.__arrow_c_stream__(), options, count, with_stats)
    if pa is None:
        changes = None if change_chunks is None else ColumnStream(change_chunks, "L")
        return ColumnStream(chunks, arrow_format), stats, changes
    string_type = pa.large_string() if arrow_format == "U" else pa.string()
    strings = pa.chunked_array([pa.array(chunk) for chunk in chunks], type=string_type)
    changes = None if change_chunks is None else \
        pa.chunked_array([pa.array(chunk) for chunk in change_chunks], type=pa.uint64())
    return strings, stats, changes


def clean(values: typing.Any, options: typing.Optional[Options] = None, *,
          threads: typing.Optional[int] = None) -> typing.Any:
    """Clean every string of an Arrow array (or chunked array, or stream); return the cleaned array.

    `options` defaults to `Options()`; `threads` to one per CPU. Row i of the result equals
    `Cleaner(options).clean(row i).text`; null rows stay null. A row that is not valid UTF-8
    raises `ValueError` naming it; an array of another type raises `TypeError`.
    """
    return _run(values, options, threads, False)[0]


def clean_with_stats(values: typing.Any, options: typing.Optional[Options] = None, *,
                     threads: typing.Optional[int] = None) -> typing.Tuple[typing.Any, typing.Dict[str, int], typing.Any]:
    """As `clean`, and also the column's counters and each row's change count.

    Returns `(array, stats, row_changes)`: `stats` is the thirteen counters summed over all
    rows, in the order of `CleaningResult.stats`; `row_changes` a uint64 array holding each
    row's `changes_made` (null for a null row).
    """
    return _run(values, options, threads, True)
