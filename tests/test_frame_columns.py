"""The column helpers inside the real libraries: pandas, Polars and DuckDB, every row compared
with `Cleaner.clean`, nulls and empty strings included."""

from __future__ import annotations

from typing import Any, List

import pytest

from column_cases import OPTION_SETS, expected, require, sample_texts

from scrubix import Options

ROWS = sample_texts(2500, seed=15)


def test_pandas_accessor_keeps_index_name_dtype_and_missing_values() -> None:
    pd = require("pandas")
    pa = require("pyarrow")
    import scrubix.pandas  # noqa: F401
    index = pd.Index(range(1000, 1000 + len(ROWS)), name="id")
    for options in OPTION_SETS:
        want = expected(ROWS, options)
        for dtype in (object, "string[python]", "string[pyarrow]", pd.ArrowDtype(pa.large_string())):
            series = pd.Series(ROWS, index=index, name="text", dtype=dtype)
            out = series.scrubix.clean(options)
            assert out.dtype == series.dtype and out.name == "text" and out.index.equals(index)
            assert [None if pd.isna(v) else v for v in out] == want
    frame = pd.DataFrame({"text": ["\u201cq\u201d", float("nan"), None, ""]})
    cleaned = frame["text"].scrubix.clean()
    assert cleaned[0] == '"q"' and cleaned[1] != cleaned[1] and cleaned[2] is None and cleaned[3] == ""
    with pytest.raises(TypeError, match="not str"):
        pd.Series(["a", 3]).scrubix.clean()


def test_polars_namespace_in_eager_and_lazy_queries() -> None:
    pl = require("polars")
    import scrubix.polars  # noqa: F401
    frame = pl.DataFrame({"text": ROWS, "n": range(len(ROWS))})
    for options in OPTION_SETS:
        want = expected(ROWS, options)
        eager = frame.with_columns(pl.col("text").scrubix.clean(options).alias("clean"))
        assert eager["clean"].to_list() == want and eager["text"].to_list() == ROWS
        lazy = frame.lazy().filter(pl.col("n") % 3 != 0).select(pl.col("text").scrubix.clean(options)).collect()
        assert lazy["text"].to_list() == [w for k, w in enumerate(want) if k % 3 != 0]
        assert frame["text"].scrubix.clean(options, threads=1).to_list() == want
    with pytest.raises(Exception, match="not String"):
        frame.select(pl.col("n").scrubix.clean())


def test_duckdb_sql_function() -> None:
    duckdb = require("duckdb")
    pa = require("pyarrow")
    import scrubix.duckdb
    connection = duckdb.connect()
    scrubix.duckdb.register(connection)
    scrubix.duckdb.register(connection, "humanize_text", Options.humanize_preset())
    docs = pa.table({"id": list(range(len(ROWS))), "body": ROWS})  # noqa: F841 (read by the SQL below)
    got: List[Any] = connection.execute(
        "SELECT scrubix_clean(body), humanize_text(body) FROM docs ORDER BY id").fetchall()
    assert [row[0] for row in got] == expected(ROWS, None)
    assert [row[1] for row in got] == expected(ROWS, Options.humanize_preset())
    with pytest.raises(TypeError, match="argument 'options'"):
        scrubix.duckdb.register(connection, "bad", "aggressive")  # type: ignore[arg-type]
