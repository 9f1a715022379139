"""`scrubix table`: text columns of Parquet, CSV and JSON Lines files cleaned batch by batch,
each row as `Cleaner.clean` gives it, the other columns copied."""

from __future__ import annotations

import json
from pathlib import Path
from typing import Any, List, Optional

import pytest

from column_cases import expected, require, sample_texts

from scrubix import Options
from scrubix.cli import main

pa = require("pyarrow")
import pyarrow.csv  # noqa: E402
import pyarrow.parquet as pq  # noqa: E402

import scrubix._table_cli  # noqa: E402

ROWS = sample_texts(1000, seed=18)
TITLES = sample_texts(1000, seed=19)


@pytest.fixture(autouse=True)
def small_batches(monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.setattr(scrubix._table_cli, "_BATCH_ROWS", 128)  # many batches from a small file


def _table(body: List[Optional[str]] = ROWS) -> Any:
    return pa.table({"id": list(range(len(body))), "body": body, "title": TITLES[:len(body)]})


def _read(path: Path) -> Any:
    if path.suffix == ".parquet":
        return pq.read_table(path)
    if path.suffix == ".csv":
        return pyarrow.csv.read_csv(path)  # nulls come back as empty strings, as the command reads them
    return pa.Table.from_pylist([json.loads(line) for line in path.read_text(encoding="utf-8").splitlines()])


def _write(table: Any, path: Path) -> None:
    if path.suffix == ".parquet":
        pq.write_table(table, path, row_group_size=300)
    elif path.suffix == ".csv":
        pyarrow.csv.write_csv(table, path)
    else:
        path.write_text("".join(json.dumps(row) + "\n" for row in table.to_pylist()), encoding="utf-8")


@pytest.mark.parametrize("source,target", [("parquet", "parquet"), ("csv", "jsonl"), ("jsonl", "csv"),
                                           ("parquet", "jsonl")])
def test_columns_are_cleaned_and_the_rest_copied(tmp_path: Path, source: str, target: str,
                                                 capsys: pytest.CaptureFixture[str]) -> None:
    src, out = tmp_path / f"in.{source}", tmp_path / f"out.{target}"
    _write(_table(), src)
    original = _read(src)
    assert main(["table", str(src), "--column", "body", "-o", str(out), "--preset", "humanize", "--stats"]) == 0
    cleaned = _read(out)

    def text(column: Any) -> List[Optional[str]]:  # CSV has no null string: it reads back empty
        return [value or "" for value in column.to_pylist()] if "csv" in (source, target) else column.to_pylist()
    assert text(cleaned.column("body")) == expected(text(original.column("body")), Options.humanize_preset())
    assert text(cleaned.column("title")) == text(original.column("title"))
    assert cleaned.column("id").to_pylist() == list(range(len(ROWS)))
    record = json.loads(capsys.readouterr().err)
    assert record["column"] == "body" and record["rows"] == len(ROWS)
    assert record["changes_made"] == sum(record["stats"].values()) > 0


def test_check_counts_rows_and_writes_nothing(tmp_path: Path, capsys: pytest.CaptureFixture[str]) -> None:
    src = tmp_path / "in.parquet"
    _write(_table(), src)
    assert main(["table", str(src), "-c", "body", "-c", "title", "--check"]) == 1
    report = capsys.readouterr().out.splitlines()
    changed = sum(1 for before, after in zip(ROWS, expected(ROWS, None)) if before != after)
    assert report[0].startswith(f"{src}: column body: {changed:,} of {len(ROWS):,} rows would change (")
    assert report[1].startswith(f"{src}: column title: ") and list(tmp_path.iterdir()) == [src]
    _write(_table(["plain", None, ""] * 10), src)
    assert main(["table", str(src), "-c", "body", "--check"]) == 0


def test_bad_input_is_refused_and_leaves_no_output(tmp_path: Path, capsys: pytest.CaptureFixture[str]) -> None:
    src, out = tmp_path / "in.parquet", tmp_path / "out.parquet"
    _write(_table(), src)
    for argv, message in (([str(src), "-c", "nope", "-o", str(out)], "no column 'nope'"),
                          ([str(src), "-c", "id", "-o", str(out)], "'id' is int64, not a string column"),
                          ([str(src), "-c", "body"], "give -o OUT, or --check"),
                          ([str(src), "-c", "body", "-o", str(tmp_path / "out.txt")], "give --output-format"),
                          ([str(src), "-c", "body", "-o", str(src)], "OUT must not be IN")):
        with pytest.raises(SystemExit) as stopped:
            main(["table", *argv])
        assert stopped.value.code == 2 and message in capsys.readouterr().err
    bad = pa.Array.from_buffers(pa.string(), 2, [None, pa.py_buffer(b"\0\0\0\0\1\0\0\0\2\0\0\0"), pa.py_buffer(b"a\xff")])
    rows = pa.concat_arrays([pa.array(["ok"] * 700), bad])
    pq.write_table(pa.table({"body": rows}), src, row_group_size=300)
    assert main(["table", str(src), "-c", "body", "-o", str(out)]) == 2
    assert "row 701 of column 'body' is not valid UTF-8" in capsys.readouterr().err
    assert not out.exists()
