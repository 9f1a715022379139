"""`scrubix table`: clean text columns of a Parquet, CSV or JSON Lines file into a new file.

Record batches are read, cleaned (`scrubix.arrow`, native threads) and written one at a time,
so memory stays bounded by a few batches whatever the size of the file. Needs pyarrow.
"""

from __future__ import annotations

import argparse
import contextlib
import dataclasses
import json
import os
import re
import sys
import time
import typing

from .cli import EXIT_CHANGES, EXIT_ERROR, EXIT_INTERRUPTED, EXIT_OK, PRESETS

__all__ = ["main"]

_FORMATS = {".parquet": "parquet", ".pq": "parquet", ".csv": "csv", ".jsonl": "json", ".ndjson": "json",
            ".json": "json"}

# Rows per record batch: large enough that each batch keeps the native threads busy, small
# enough that a few batches in flight stay far below the memory of a machine.
_BATCH_ROWS = 64 * 1024

_EPILOG = """\
formats (by file extension, or --format / --output-format):
  parquet (.parquet, .pq), csv (.csv), json (JSON Lines: .jsonl, .ndjson, .json)

exit status:
  0    success; with --check: nothing would change
  1    --check: some column would change
  2    usage error, or an input or output error
  130  interrupted

examples:
  scrubix table corpus.parquet --column text -o clean.parquet
  scrubix table posts.jsonl --column title --column body --preset humanize -o clean.jsonl
  scrubix table corpus.parquet --column text --check --stats"""


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="scrubix table", epilog=_EPILOG, formatter_class=argparse.RawDescriptionHelpFormatter,
        description="Clean chosen text columns of a Parquet, CSV or JSON Lines file into a new file; "
                    "the other columns are copied unchanged.")
    parser.add_argument("input", metavar="IN", help="the file to read")
    parser.add_argument("--column", "-c", dest="columns", action="append", required=True, metavar="NAME",
                        help="a string column to clean (repeat for several)")
    parser.add_argument("-o", "--output", metavar="OUT", help="the file to write (not with --check)")
    parser.add_argument("--check", action="store_true",
                        help="write nothing; print how many rows of each column would change, exit 1 if any")
    parser.add_argument("--stats", action="store_true",
                        help="print each column's counters to standard error as one JSON object per line")
    parser.add_argument("--preset", choices=sorted(PRESETS), default="default", help="the options to clean with")
    parser.add_argument("--format", choices=("parquet", "csv", "json"), help="the input format")
    parser.add_argument("--output-format", choices=("parquet", "csv", "json"), help="the output format")
    parser.add_argument("--threads", type=int, default=None, help="native threads (default: one per CPU)")
    parser.add_argument("--no-progress", action="store_true", help="no progress display on a terminal")
    return parser


def _format_of(path: str, given: typing.Optional[str]) -> typing.Optional[str]:
    return given or _FORMATS.get(os.path.splitext(path)[1].lower())


@dataclasses.dataclass
class _ColumnTally:
    """What cleaning one column did, over all batches."""

    rows: int = 0
    rows_changed: int = 0
    changes_made: int = 0
    stats: dict[str, int] = dataclasses.field(default_factory=dict)


class _Writer:
    """Writes record batches to one file in the chosen format."""

    def __init__(self, path: str, file_format: str, schema: typing.Any) -> None:
        import pyarrow.csv
        import pyarrow.parquet
        self.format = file_format
        if file_format == "parquet":
            self.sink: typing.Any = pyarrow.parquet.ParquetWriter(path, schema)
        elif file_format == "csv":
            self.sink = pyarrow.csv.CSVWriter(path, schema)
        else:
            self.sink = open(path, "w", encoding="utf-8", newline="\n")

    def write(self, batch: typing.Any) -> None:
        if self.format == "json":
            self.sink.writelines(json.dumps(row, ensure_ascii=False, default=str) + "\n" for row in batch.to_pylist())
        else:
            self.sink.write_batch(batch) if self.format == "parquet" else self.sink.write(batch)

    def close(self) -> None:
        self.sink.close()


class _Progress:
    """Rows and text megabytes done, on standard error when it is a terminal, after a moment."""

    def __init__(self, total_rows: typing.Optional[int], enabled: bool) -> None:
        self.total = total_rows
        self.enabled = enabled and sys.stderr.isatty()
        self.start = time.monotonic()
        self.rows = 0
        self.bytes = 0
        self.shown = False

    def advance(self, rows: int, text_bytes: int) -> None:
        self.rows += rows
        self.bytes += text_bytes
        elapsed = time.monotonic() - self.start
        if not self.enabled or elapsed < 1.0:
            return
        of = f" / {self.total:,}" if self.total is not None else ""
        rate = self.bytes / elapsed / 1e6
        sys.stderr.write(f"\rscrubix table: {self.rows:,}{of} rows, {self.bytes / 1e6:,.0f} MB of text, "
                         f"{rate:,.1f} MB/s ")
        sys.stderr.flush()
        self.shown = True

    def finish(self) -> None:
        if self.shown:
            sys.stderr.write("\n")


def _open_batches(path: str, file_format: str) -> typing.Tuple[typing.Any, typing.Optional[int]]:
    """A reader of the file's record batches (an iterable with `.schema`), and the row count
    when the file's metadata tells it.

    Each reader decodes a batch only when asked for it. (The dataset scanner reads ahead of a
    slow consumer without bound: a 2 GB Parquet file took 3 GB while being cleaned.)
    """
    import pyarrow.csv
    import pyarrow.json
    import pyarrow.parquet
    if file_format == "parquet":
        parquet = pyarrow.parquet.ParquetFile(path, pre_buffer=False, buffer_size=1 << 20)

        class _Batches:
            schema = parquet.schema_arrow

            def __iter__(self) -> typing.Iterator[typing.Any]:
                return parquet.iter_batches(batch_size=_BATCH_ROWS)
        return _Batches(), parquet.metadata.num_rows
    if file_format == "csv":
        return pyarrow.csv.open_csv(path), None
    return pyarrow.json.open_json(path), None


def _run(args: argparse.Namespace, parser: argparse.ArgumentParser) -> int:
    try:
        import pyarrow as pa
        import pyarrow.compute as pc
    except ImportError:
        print("scrubix table: needs pyarrow (pip install 'scrubix[arrow]')", file=sys.stderr)
        return EXIT_ERROR
    from . import arrow

    in_format = _format_of(args.input, args.format)
    if in_format is None:
        parser.error(f"cannot tell the format of {args.input!r}; give --format")
    if args.check == bool(args.output):
        parser.error("give -o OUT, or --check" if not args.check else "--check writes nothing: drop -o")
    out_format = _format_of(args.output, args.output_format) if args.output else None
    if args.output and out_format is None:
        parser.error(f"cannot tell the format of {args.output!r}; give --output-format")
    if args.output and os.path.exists(args.output) and os.path.samefile(args.input, args.output):
        parser.error("OUT must not be IN: the input is read while the output is written")
    if args.threads is not None and args.threads < 1:
        parser.error("--threads must be at least 1")
    options = PRESETS[args.preset]()

    try:
        reader, total_rows = _open_batches(args.input, in_format)
    except (OSError, pa.ArrowInvalid) as error:
        print(f"scrubix table: {args.input}: {error}", file=sys.stderr)
        return EXIT_ERROR
    schema = reader.schema
    for name in args.columns:
        if name not in schema.names:
            parser.error(f"{args.input} has no column {name!r} (columns: {', '.join(schema.names)})")
        field_type = schema.field(name).type
        if not (pa.types.is_string(field_type) or pa.types.is_large_string(field_type)
                or field_type == pa.string_view()):
            parser.error(f"column {name!r} is {field_type}, not a string column")

    totals = {name: _ColumnTally() for name in args.columns}
    progress = _Progress(total_rows, not args.no_progress)
    writer = _Writer(args.output, out_format, schema) if args.output else None
    completed = False
    try:
        for batch in reader:
            columns = list(batch.columns)
            text_bytes = 0
            for name in args.columns:
                at = batch.schema.get_field_index(name)
                text_bytes += columns[at].nbytes
                try:
                    cleaned, stats, row_changes = arrow.clean_with_stats(columns[at], options, threads=args.threads)
                except ValueError as error:  # invalid UTF-8: name the row in the whole file
                    found = re.match(r"row (\d+) of the array (.*)", str(error))
                    if found is None:
                        raise
                    row = progress.rows + int(found.group(1))
                    raise ValueError(f"row {row} of column {name!r} {found.group(2)}") from None
                columns[at] = cleaned.cast(schema.field(name).type)
                tally = totals[name]
                tally.rows += len(batch)
                tally.rows_changed += pc.sum(pc.not_equal(row_changes, 0)).as_py() or 0
                for key, value in stats.items():
                    tally.stats[key] = tally.stats.get(key, 0) + value
                tally.changes_made += pc.sum(row_changes).as_py() or 0
            if writer is not None:
                writer.write(pa.RecordBatch.from_arrays(columns, schema=schema))
            progress.advance(len(batch), text_bytes)
        completed = True
    except (OSError, ValueError, pa.ArrowException) as error:
        progress.finish()
        print(f"scrubix table: {args.input}: {error}", file=sys.stderr)
        return EXIT_ERROR
    finally:
        if writer is not None:
            writer.close()
            if not completed:
                with contextlib.suppress(OSError):
                    os.unlink(args.output)  # never leave a half-written output behind
    progress.finish()

    for name, tally in totals.items():
        if args.stats:
            print(json.dumps({"path": args.input, "column": name, **dataclasses.asdict(tally)}), file=sys.stderr)
        if args.check:
            kinds = ", ".join(f"{k}: {v}" for k, v in tally.stats.items() if v)
            detail = f" ({kinds})" if kinds else ""
            print(f"{args.input}: column {name}: {tally.rows_changed:,} of {tally.rows:,} rows would change"
                  f"{detail}")
    changed = any(tally.changes_made for tally in totals.values())
    return EXIT_CHANGES if args.check and changed else EXIT_OK


def main(argv: typing.Sequence[str]) -> int:
    """Run `scrubix table` with `argv` (the arguments after "table"); return the exit status."""
    parser = _parser()
    args = parser.parse_args(argv)
    try:
        return _run(args, parser)
    except KeyboardInterrupt:
        print("scrubix table: interrupted", file=sys.stderr)
        return EXIT_INTERRUPTED
