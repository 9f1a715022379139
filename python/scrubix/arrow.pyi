"""Cleaning Arrow string columns in the style of `pyarrow.compute`."""

from typing import Any, Dict, List, Optional, Tuple

from ._columns import Column
from ._scrubix import Options

__all__ = ["clean", "clean_with_stats", "ColumnStream"]

class ColumnStream:
    chunks: List[Column]
    format: str
    def __init__(self, chunks: List[Column], arrow_format: str) -> None: ...
    def __len__(self) -> int: ...
    def __arrow_c_stream__(self, requested_schema: Any = None) -> object: ...

# Values: anything exporting an Arrow string array or stream (pyarrow, Polars, nanoarrow,
# arro3, ...), or a list of str when pyarrow is installed. The result is a pyarrow Array or
# ChunkedArray when pyarrow is installed, else a Column or ColumnStream.
def clean(values: Any, options: Optional[Options] = None, *, threads: Optional[int] = None) -> Any: ...
def clean_with_stats(values: Any, options: Optional[Options] = None, *,
                     threads: Optional[int] = None) -> Tuple[Any, Dict[str, int], Any]: ...
