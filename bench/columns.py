"""Columns of short texts: every way to clean one, side by side in one run.

    python bench/columns.py [--rows 1000000] [--repeat 3] [--spark-rows 1000000] [--no-spark]

Cuts --rows rows of about 114 UTF-8 bytes of LLM-style typography (bench/corpora.py, fixed
seed) and cleans them with the humanize options every way a user might: row by row from Python,
`clean_many`, the native Arrow path and its pandas, Polars and DuckDB helpers, one call on all
rows joined with LF, and the pyarrow.compute, Polars and DuckDB expression chains that do a
subset of humanize (NFKC, five regular-expression replacements, trimming the end). The ways
take turns in each repeat, so a busy spell on the shared machine hits all alike; the best time
of each counts. Then `clean_many` against a loop over `Cleaner.clean` on 10,000 texts of 2 KB
and on the rows, and Spark in local mode over a Parquet file of --spark-rows rows: the
`mapInArrow` helper, a Python UDF calling `ftfy.fix_text`, and a row-wise Python UDF calling
`scrubix.humanize` (nulls kept). The UDFs replace the text column as the helper does, so every
way writes the same rows; the row-wise UDF selecting the text column alone (the other column
left behind) is listed beside them. Writes bench/results/columns.md and
columns.png.
"""

from __future__ import annotations

import argparse
import os
import platform
import sys
import tempfile
import time
from pathlib import Path
from typing import Any, Callable, Dict, List

sys.path.insert(0, str(Path(__file__).resolve().parent))

import corpora  # noqa: E402
from batch_bench import best_seconds, machine_parallelism  # noqa: E402

import scrubix  # noqa: E402
import scrubix.arrow  # noqa: E402
from scrubix import Cleaner, Options  # noqa: E402

RESULTS = Path(__file__).resolve().parent / "results"
HUMANIZE = Options.humanize_preset()

# The subset of humanize the expression chains do: NFKC first, then these, then trim the end.
REPLACEMENTS = [
    ("[\u2018\u2019\u201a\u201b]", "'"),
    ("[\u201c\u201d\u201e\u201f]", '"'),
    ("[\u2010-\u2015]", "-"),
    ("[\u200b\u200c\u200d\u2060\ufeff]", ""),
    ("[ \t]+", " "),
]


def make_rows(count: int, size: int) -> List[str]:
    """`count` texts of about `size` UTF-8 bytes, cut at spaces from the LLM-style corpus."""
    words = corpora.build("llm", min(count * size, 64 << 20) + size).split(" ")
    rows: List[str] = []
    current: List[str] = []
    length = 0
    k = 0
    while len(rows) < count:
        word = words[k % len(words)]
        k += 1
        current.append(word)
        length += len(word.encode()) + 1
        if length >= size:
            rows.append(" ".join(current))
            current, length = [], 0
    return rows


def column_ways(rows: List[str]) -> Dict[str, Callable[[], object]]:
    import duckdb
    import pandas as pd
    import polars as pl
    import pyarrow as pa
    import pyarrow.compute as pc

    import scrubix.duckdb
    import scrubix.pandas  # noqa: F401
    import scrubix.polars  # noqa: F401

    array = pa.array(rows, type=pa.string())
    series = pd.Series(rows, dtype=object)
    arrow_series = pd.Series(rows, dtype="string[pyarrow]")
    frame = pl.DataFrame({"text": rows})
    joined = "\n".join(rows)
    cleaner = Cleaner(HUMANIZE)
    connection = duckdb.connect()
    connection.execute("SET threads TO 2")
    docs = pa.table({"text": array})  # noqa: F841 (read by the SQL below)
    connection.execute("CREATE TABLE docs AS SELECT * FROM docs")
    scrubix.duckdb.register(connection, "scrubix_clean", HUMANIZE, threads=1)
    scrubix.duckdb.register(connection, "scrubix_clean2", HUMANIZE, threads=2)

    def loop_via_list() -> object:
        return pa.array([None if t is None else cleaner.clean(t).text for t in array.to_pylist()], type=pa.string())

    def pyarrow_chain() -> object:
        out = pc.utf8_normalize(array, "NFKC")
        for pattern, replacement in REPLACEMENTS:
            out = pc.replace_substring_regex(out, pattern, replacement)
        return pc.utf8_rtrim_whitespace(out)

    def polars_chain() -> object:
        expr = pl.col("text").str.normalize("NFKC")
        for pattern, replacement in REPLACEMENTS:
            expr = expr.str.replace_all(pattern, replacement)
        return frame.select(expr.str.strip_chars_end())

    # DuckDB has no NFKC: NFC is the nearest it offers.
    sql_chain = "nfc_normalize(text)"
    for pattern, replacement in REPLACEMENTS:
        sql_chain = f"regexp_replace({sql_chain}, '{pattern}', '{replacement.replace(chr(39), chr(39) * 2)}', 'g')"
    sql_chain = f"SELECT rtrim({sql_chain}) FROM docs"

    return {
        "arrow -> list -> Cleaner.clean loop -> arrow": loop_via_list,
        "pandas Series.map(scrubix.humanize)": lambda: series.map(scrubix.humanize),
        "clean_many(list, threads=1)": lambda: scrubix.clean_many(rows, HUMANIZE, threads=1),
        "clean_many(list, threads=2)": lambda: scrubix.clean_many(rows, HUMANIZE, threads=2),
        "pyarrow.compute chain (subset)": pyarrow_chain,
        "Polars chain (subset)": polars_chain,
        "DuckDB SQL chain (subset, NFC)": lambda: connection.execute(sql_chain).fetch_arrow_table(),
        "one humanize() call on rows joined with LF": lambda: scrubix.humanize(joined),
        "scrubix.arrow.clean, threads=1": lambda: scrubix.arrow.clean(array, HUMANIZE, threads=1),
        "scrubix.arrow.clean, threads=2": lambda: scrubix.arrow.clean(array, HUMANIZE, threads=2),
        "pandas accessor (object dtype), threads=2": lambda: series.scrubix.clean(HUMANIZE, threads=2),
        "pandas accessor (string[pyarrow]), threads=2": lambda: arrow_series.scrubix.clean(HUMANIZE, threads=2),
        "Polars namespace, threads=2": lambda: frame.select(pl.col("text").scrubix.clean(HUMANIZE, threads=2)),
        "DuckDB scrubix_clean UDF, threads=1": lambda: connection.execute(
            "SELECT scrubix_clean(text) FROM docs").fetch_arrow_table(),
        "DuckDB scrubix_clean UDF, threads=2": lambda: connection.execute(
            "SELECT scrubix_clean2(text) FROM docs").fetch_arrow_table(),
    }


def many_vs_loop(count: int, size: int, repeat: int) -> Dict[str, float]:
    texts = make_rows(count, size)
    megabytes = sum(len(t.encode()) for t in texts) / 1e6
    cleaner = Cleaner(HUMANIZE)
    print(f"clean_many vs loop: {count:,} texts of ~{size} B ({megabytes:.1f} MB)", flush=True)
    best = best_seconds({
        "loop over Cleaner.clean": lambda: [cleaner.clean(t) for t in texts],
        "clean_many(threads=1)": lambda: scrubix.clean_many(texts, HUMANIZE, threads=1),
        "clean_many(threads=2)": lambda: scrubix.clean_many(texts, HUMANIZE, threads=2),
    }, repeat)
    return {label: megabytes / seconds for label, seconds in best.items()}


def spark_ways(rows: int) -> Dict[str, float]:
    import ftfy
    import pyarrow as pa
    import pyarrow.parquet as pq
    from pyspark.sql import SparkSession
    from pyspark.sql.functions import col, udf
    from pyspark.sql.types import StringType

    import scrubix.spark
    session = (SparkSession.builder.master("local[2]").appName("scrubix-bench")
               .config("spark.ui.enabled", "false").config("spark.ui.showConsoleProgress", "false")
               .config("spark.driver.memory", "2g").getOrCreate())
    session.sparkContext.setLogLevel("ERROR")
    texts = make_rows(rows, 114)
    megabytes = sum(len(t.encode()) for t in texts) / 1e6
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "rows.parquet")
        pq.write_table(pa.table({"id": list(range(rows)), "text": texts}), path)
        del texts
        frame = session.read.parquet(path)
        ftfy_udf = udf(ftfy.fix_text, StringType())
        humanize_udf = udf(scrubix.humanize, StringType())
        # What a user writes to do the helper's job row by row: the same options, nulls kept.
        row_udf = udf(lambda text: None if text is None else scrubix.humanize(text), StringType())

        def unchanged(batches: Any) -> Any:
            yield from batches

        def run(frame_out: Any) -> Callable[[], None]:
            return lambda: frame_out.write.format("noop").mode("overwrite").save()
        quick: Dict[str, Callable[[], Any]] = {
            "Spark mapInArrow helper (scrubix.spark)": run(scrubix.spark.clean_columns(frame, "text", HUMANIZE)),
            "Spark mapInArrow passing batches through (floor)": run(frame.mapInArrow(unchanged, frame.schema)),
            "Spark Python UDF, scrubix.humanize row by row (same job)": run(frame.withColumn("text", row_udf(col("text")))),
            "Spark Python UDF, scrubix.humanize row by row (text column only)": run(frame.select(humanize_udf(col("text")))),
        }
        print(f"Spark local[2]: {rows:,} rows ({megabytes:.1f} MB) from Parquet", flush=True)
        quick["Spark mapInArrow helper (scrubix.spark)"]()  # start the Python workers
        best = best_seconds(quick, 3)
        best.update(best_seconds({"Spark Python UDF, ftfy.fix_text": run(frame.withColumn("text", ftfy_udf(col("text"))))}, 1))
    session.stop()
    return {label: megabytes / seconds for label, seconds in best.items()}


def ratios(sections: Dict[str, Dict[str, float]]) -> List[str]:
    """The speed ratios the column work set out to reach, each with its goal."""
    col = sections["Columns"]
    arrow1, arrow2 = col["scrubix.arrow.clean, threads=1"], col["scrubix.arrow.clean, threads=2"]
    goals = [
        ("Arrow, 1 thread / one humanize() call on all rows", arrow1 / col["one humanize() call on rows joined with LF"], 0.9),
        ("Arrow, 1 thread / pandas Series.map", arrow1 / col["pandas Series.map(scrubix.humanize)"], 3.0),
        ("Arrow, 2 threads / Arrow, 1 thread", arrow2 / arrow1, 1.7),
        ("Arrow, 1 thread / pyarrow.compute chain", arrow1 / col["pyarrow.compute chain (subset)"], 4.0),
        ("Arrow, 1 thread / Polars chain", arrow1 / col["Polars chain (subset)"], 4.0),
        ("Arrow, 1 thread / DuckDB SQL chain", arrow1 / col["DuckDB SQL chain (subset, NFC)"], 4.0),
    ]
    for title, figures in sections.items():
        if title.startswith("clean_many"):
            goal = 1.7 if "2 KB" in title else 1.5
            goals.append((f"{title}: threads=2 / loop", figures["clean_many(threads=2)"] /
                          figures["loop over Cleaner.clean"], goal))
    if "Spark" in sections:
        spark = sections["Spark"]
        helper = spark["Spark mapInArrow helper (scrubix.spark)"]
        goals.append(("Spark helper / UDF with ftfy.fix_text", helper / spark["Spark Python UDF, ftfy.fix_text"], 30.0))
        goals.append(("Spark helper / row-wise UDF with scrubix.humanize",
                      helper / spark["Spark Python UDF, scrubix.humanize row by row (same job)"], 3.0))
    return [f"| {name} | {value:.2f}x | {goal:g}x | {'met' if value >= goal else 'not met'} |"
            for name, value, goal in goals]


def write_results(sections: Dict[str, Dict[str, float]], subtitle: str) -> None:
    RESULTS.mkdir(exist_ok=True)
    lines = [f"# Columns of short texts\n\n{subtitle}\n", "\n## Ratios\n", "| ratio | measured | goal | |",
             "|---|---|---|---|", *ratios(sections)]
    for title, figures in sections.items():
        lines += [f"\n## {title}\n", "| way | MB/s |", "|---|---|"]
        lines += [f"| {label} | {value:.1f} |" for label, value in figures.items()]
    (RESULTS / "columns.md").write_text("\n".join(lines) + "\n", encoding="utf-8")
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib not installed; no chart written")
        return
    figures = sections["Columns"]
    labels = list(figures)[::-1]
    fig, ax = plt.subplots(figsize=(11, 0.42 * len(labels) + 1.5))
    native = ("scrubix.arrow", "pandas accessor", "Polars namespace", "DuckDB scrubix_clean", "clean_many")
    colors = ["tab:blue" if label.startswith(native) else "tab:gray" for label in labels]
    ax.barh(labels, [figures[label] for label in labels], color=colors)
    for y, label in enumerate(labels):
        ax.text(figures[label], y, f" {figures[label]:.0f}", va="center", fontsize=8)
    ax.set_xlabel("MB/s (higher is better); blue: the native batch paths")
    ax.set_title("Cleaning a column of short texts with the humanize options\n" + subtitle.replace("; ", "\n"),
                 fontsize=9)
    ax.tick_params(axis="y", labelsize=8)
    fig.tight_layout()
    fig.savefig(RESULTS / "columns.png", dpi=110)
    print(f"written: {RESULTS / 'columns.md'}, {RESULTS / 'columns.png'}")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=1_000_000)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--spark-rows", type=int, default=1_000_000)
    parser.add_argument("--no-spark", action="store_true")
    args = parser.parse_args()
    rows = make_rows(args.rows, 114)
    megabytes = sum(len(t.encode()) for t in rows) / 1e6
    subtitle = (f"{args.rows:,} rows of ~{megabytes * 1e6 / args.rows:.0f} B ({megabytes:.0f} MB), "
                f"{platform.machine()}, {os.cpu_count()} CPUs, Python {platform.python_version()}, "
                f"{time.strftime('%Y-%m-%d')}")
    print(subtitle, flush=True)
    parallel = machine_parallelism(2)
    print(f"machine check: 2 threads hashing run {parallel:.2f}x as fast as one", flush=True)
    best = best_seconds(column_ways(rows), args.repeat)
    sections = {"Columns": {label: megabytes / seconds for label, seconds in best.items()}}
    del rows
    sections["clean_many, 10,000 texts of 2 KB"] = many_vs_loop(10_000, 2048, args.repeat)
    sections[f"clean_many, {args.rows:,} texts of 100 B"] = many_vs_loop(args.rows, 100, args.repeat)
    if not args.no_spark:
        sections["Spark"] = spark_ways(args.spark_rows)
    parallel_after = machine_parallelism(2)
    subtitle += f"; 2 threads hashing: {parallel:.2f}x one before, {parallel_after:.2f}x after"
    for title, figures in sections.items():
        print(f"\n{title}")
        for label, value in figures.items():
            print(f"  {label:48s} {value:8.1f} MB/s")
    print("\n" + "\n".join(ratios(sections)))
    write_results(sections, subtitle)


if __name__ == "__main__":
    main()
