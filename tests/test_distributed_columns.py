"""The Spark and Dask helpers on real engines: Spark in local mode (its own session, stopped at
the end), Dask on a local cluster of two worker processes. Every row is compared with
`Cleaner.clean`, nulls and empty strings included."""

from __future__ import annotations

import os
import shutil
from pathlib import Path
from typing import Any, Iterator

import pytest

from column_cases import expected, require, sample_texts

from scrubix import Options

ROWS = sample_texts(4000, seed=16)
TITLES = sample_texts(4000, seed=17)

pytestmark = pytest.mark.slow


@pytest.fixture(scope="module")
def spark() -> Iterator[Any]:
    require("pyspark")
    require("pyarrow")
    if shutil.which("java") is None and not os.environ.get("JAVA_HOME"):
        if os.environ.get("CI"):
            pytest.fail("Spark needs a Java runtime in CI")
        pytest.skip("no Java runtime")
    from pyspark.sql import SparkSession
    session = (SparkSession.builder.master("local[2]").appName("scrubix-test")
               .config("spark.ui.enabled", "false").config("spark.sql.shuffle.partitions", "2")
               .config("spark.sql.execution.arrow.maxRecordsPerBatch", "500")  # batches in flight
               .getOrCreate())
    yield session
    session.stop()


@pytest.fixture(scope="module")
def dask_client() -> Iterator[Any]:
    require("dask.dataframe")
    distributed = require("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            yield client


def test_spark_map_in_arrow_over_parquet(spark: Any, tmp_path: Path) -> None:
    import pyarrow as pa
    import pyarrow.parquet as pq

    import scrubix.spark
    path = tmp_path / "docs.parquet"
    pq.write_table(pa.table({"id": list(range(len(ROWS))), "body": ROWS, "title": TITLES}), path, row_group_size=700)
    frame = spark.read.parquet(str(path))
    options = Options.humanize_preset()
    cleaned = scrubix.spark.clean_columns(frame, ["body", "title"], options)
    assert cleaned.schema == frame.schema
    rows = cleaned.collect()
    assert [row.id for row in rows] == [row.id for row in frame.select("id").collect()]  # order kept
    got = sorted(rows, key=lambda row: row.id)
    assert [row.body for row in got] == expected(ROWS, options)
    assert [row.title for row in got] == expected(TITLES, options)
    only_title = {row.id: row for row in scrubix.spark.clean_columns(frame, "title").collect()}
    assert [only_title[i].body for i in range(len(ROWS))] == ROWS
    assert [only_title[i].title for i in range(len(ROWS))] == expected(TITLES, None)
    with pytest.raises(TypeError, match="'id' is bigint, not string"):
        scrubix.spark.clean_columns(frame, "id")
    with pytest.raises(ValueError, match="no column named 'missing'"):
        scrubix.spark.clean_columns(frame, ["body", "missing"])


def test_dask_partitions_on_worker_processes(dask_client: Any) -> None:
    import dask.dataframe as dd
    import pandas as pd

    import scrubix.dask
    frame = pd.DataFrame({"body": ROWS, "title": TITLES, "n": range(len(ROWS))})
    ddf = dd.from_pandas(frame, npartitions=5)
    options = Options.code_safe_preset()
    cleaned = scrubix.dask.clean_columns(ddf, ["body", "title"], options)
    assert dict(cleaned.dtypes) == dict(ddf.dtypes)
    result = cleaned.compute().sort_values("n")
    assert [None if pd.isna(v) else v for v in result["body"]] == expected(ROWS, options)
    assert [None if pd.isna(v) else v for v in result["title"]] == expected(TITLES, options)
    assert list(result["n"]) == list(range(len(ROWS)))
    workers = dask_client.run(lambda: os.getpid())
    assert len(set(workers.values())) == 2 and os.getpid() not in workers.values()
    with pytest.raises(ValueError, match="no column named 'nope'"):
        scrubix.dask.clean_columns(ddf, "nope")
