"""A vectorized DuckDB SQL function that cleans text."""

from typing import Optional

import duckdb

from ._scrubix import Options

__all__ = ["register"]

def register(connection: duckdb.DuckDBPyConnection, name: str = "scrubix_clean",
             options: Optional[Options] = None, *, threads: Optional[int] = None) -> None: ...
