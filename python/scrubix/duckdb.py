"""A vectorized DuckDB SQL function that cleans text: `SELECT scrubix_clean(body) FROM docs`.

The function receives whole Arrow vectors from DuckDB and cleans them natively, see
`scrubix.arrow`; NULL stays NULL.
"""

from __future__ import annotations

import typing

import duckdb as _duckdb
try:
    from duckdb.sqltypes import VARCHAR
except ImportError:  # DuckDB before 1.4
    from duckdb.typing import VARCHAR

from . import arrow
from ._scrubix import Options
from .batch import _checked_options

__all__ = ["register"]


def register(connection: _duckdb.DuckDBPyConnection, name: str = "scrubix_clean",
             options: typing.Optional[Options] = None, *, threads: typing.Optional[int] = None) -> None:
    """Register `name(text VARCHAR) -> VARCHAR` on `connection`, cleaning with `options`.

    Register once per option set, under different names, to use several.
    """
    options = _checked_options(options)

    def clean_vector(values: typing.Any) -> typing.Any:
        return arrow.clean(values, options, threads=threads)

    connection.create_function(name, clean_vector, [VARCHAR], VARCHAR, type="arrow",
                               null_handling="special", side_effects=False)
