"""`scrubix.arrow`: every row as `Cleaner.clean` gives it, through every Arrow string layout,
chunked arrays and streams, with and without pyarrow to wrap the result."""

from __future__ import annotations

import os
import subprocess
import sys
from typing import Any, List, Optional

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from column_cases import OPTION_SETS, expected, require, sample_texts

from scrubix import Cleaner, Options

pa = require("pyarrow")
import pyarrow.compute as pc  # noqa: E402
import scrubix.arrow  # noqa: E402

ROWS = sample_texts(3000)
TYPES = [pa.string(), pa.large_string(), pa.string_view()]


@pytest.mark.parametrize("threads", [1, 2, 7])
def test_every_layout_matches_clean_row_by_row(threads: int) -> None:
    for options in OPTION_SETS:
        want = expected(ROWS, options)
        for arrow_type in TYPES:
            source = pa.array(ROWS, type=arrow_type)
            out = scrubix.arrow.clean(source, options, threads=threads)
            assert out.to_pylist() == want
            assert out.type == (pa.large_string() if arrow_type == pa.large_string() else pa.string())
            # A slice starts at an offset into the parent's buffers, bitmap included.
            assert scrubix.arrow.clean(source.slice(37, 1001), options, threads=threads).to_pylist() == want[37:1038]


@settings(max_examples=60, deadline=None)
@given(st.lists(st.none() | st.text(st.characters(exclude_categories=["Cs"]), max_size=40), max_size=90),
       st.sampled_from(OPTION_SETS), st.sampled_from(TYPES), st.integers(1, 3))
def test_any_text_matches_clean(rows: List[Optional[str]], options: Options, arrow_type: Any, threads: int) -> None:
    assert scrubix.arrow.clean(pa.array(rows, type=arrow_type), options, threads=threads).to_pylist() == \
        expected(rows, options)


def test_stats_and_row_changes_are_those_of_each_row() -> None:
    for options in OPTION_SETS:
        cleaner = Cleaner(options)
        results = [None if row is None else cleaner.clean(row) for row in ROWS]
        out, stats, changes = scrubix.arrow.clean_with_stats(pa.array(ROWS), options, threads=2)
        assert changes.type == pa.uint64()
        assert changes.to_pylist() == [None if r is None else r.changes_made for r in results]
        totals = {name: sum(r.stats[name] for r in results if r is not None) for name in results[1].stats}
        assert stats == totals and list(stats) == list(results[1].stats)


def test_chunked_arrays_and_streams_keep_their_chunks() -> None:
    options = Options.humanize_preset()
    parts = [ROWS[:1000], [], ROWS[1000:1001], ROWS[1001:]]
    chunked = pa.chunked_array([pa.array(p, type=pa.string()) for p in parts], type=pa.string())
    out, stats, changes = scrubix.arrow.clean_with_stats(chunked, options)
    assert isinstance(out, pa.ChunkedArray) and [len(c) for c in out.chunks] == [len(p) for p in parts]
    assert out.to_pylist() == expected(ROWS, options) and len(changes) == len(ROWS)
    assert stats == scrubix.arrow.clean_with_stats(pa.array(ROWS), options)[1]
    reader = pa.RecordBatchReader.from_batches(
        pa.schema([("t", pa.large_string())]),
        [pa.record_batch([pa.array(p, type=pa.large_string())], names=["t"]) for p in parts])

    class OneColumnStream:  # a stream of plain string arrays, as nanoarrow or arro3 export one
        def __arrow_c_stream__(self, requested_schema: Any = None) -> Any:
            return pa.chunked_array([b.column(0) for b in reader], type=pa.large_string()).__arrow_c_stream__()
    streamed = scrubix.arrow.clean(OneColumnStream(), options)
    assert streamed.type == pa.large_string() and streamed.to_pylist() == expected(ROWS, options)


def test_without_pyarrow_the_result_exports_itself(monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.setattr(scrubix.arrow, "_pyarrow", lambda: None)
    column = scrubix.arrow.clean(pa.array(ROWS, type=pa.string_view()))
    assert type(column).__name__ == "Column" and len(column) == len(ROWS) and column.format == "u"
    first, again = pa.array(column), pa.array(column)  # exported twice, each export owns a reference
    del column
    assert first.to_pylist() == again.to_pylist() == expected(ROWS, None)
    stream, _, counts = scrubix.arrow.clean_with_stats(pa.chunked_array([pa.array(ROWS[:5]), pa.array(ROWS[5:])]))
    assert len(stream) == len(ROWS) and len(counts.chunks) == 2
    assert pa.chunked_array(stream).to_pylist() == expected(ROWS, None)


def _raw_string_array(values: List[bytes], arrow_type: Any) -> Any:
    offsets: List[int] = [0]
    for value in values:
        offsets.append(offsets[-1] + len(value))
    width = "q" if arrow_type == pa.large_string() else "i"
    import array
    return pa.Array.from_buffers(arrow_type, len(values), [None, pa.py_buffer(array.array(width, offsets).tobytes()),
                                                           pa.py_buffer(b"".join(values))])


def test_invalid_utf8_names_the_row_and_bad_input_is_refused() -> None:
    good = [row.encode() for row in ROWS if row is not None][:2000]
    for bad in (b"\xff", b"caf\xe9", b"\xed\xa0\x80", b"\xc0\xaf", b"ok\xf4\x90\x80\x80", b"\xe2\x80"):
        for arrow_type in (pa.string(), pa.large_string()):
            values = good[:1500] + [bad] + good[1500:] + [bad]
            with pytest.raises(ValueError, match="^row 1500 of the array is not valid UTF-8$"):
                scrubix.arrow.clean(_raw_string_array(values, arrow_type), threads=2)
    chunked = pa.chunked_array([pa.array(["a", "b"]), _raw_string_array([b"x", b"\xff"], pa.string())])
    with pytest.raises(ValueError, match="^row 3 of"):
        scrubix.arrow.clean(chunked)
    with pytest.raises(TypeError, match="Arrow format 'l'"):
        scrubix.arrow.clean(pa.array([1, 2]))
    with pytest.raises(TypeError, match="dictionary-encoded"):
        scrubix.arrow.clean(pa.array(["a", "b"]).dictionary_encode())
    with pytest.raises(TypeError, match="must export an Arrow string array"):
        scrubix.arrow.clean(object())
    with pytest.raises(TypeError, match="argument 'options'"):
        scrubix.arrow.clean(pa.array(["a"]), "humanize")  # type: ignore[arg-type]
    with pytest.raises(ValueError, match="threads"):
        scrubix.arrow.clean(pa.array(["a"]), threads=0)
    schema, array = pa.array(["a"]).__arrow_c_array__()
    scrubix._columns.clean_array(schema, array, None, 1, False, 0)
    with pytest.raises(ValueError, match="already consumed"):  # the first call moved the array out
        scrubix._columns.clean_array(schema, array, None, 1, False, 0)
    assert scrubix.arrow.clean([None, "\u201cx\u201d"]).to_pylist() == [None, '"x"']
    assert scrubix.arrow.clean(pa.array([], type=pa.string())).to_pylist() == []


def test_an_array_of_only_nulls_or_empty_strings() -> None:
    for rows in ([None] * 70, [""] * 70, [None, ""] * 35):
        for arrow_type in TYPES:
            out, stats, changes = scrubix.arrow.clean_with_stats(pa.array(rows, type=arrow_type))
            assert out.to_pylist() == rows and not any(stats.values())
            assert changes.to_pylist() == [None if r is None else 0 for r in rows]


def test_long_strings_live_outside_the_views() -> None:
    long_rows: List[Optional[str]] = ["\u201c" + "y" * 5000 + "\u201d", None, "short", "z" * 13]
    for arrow_type in TYPES:
        assert scrubix.arrow.clean(pa.array(long_rows * 50, type=arrow_type)).to_pylist() == \
            expected(long_rows * 50, None)


_LARGE_COLUMNS = """
import pyarrow as pa, scrubix.arrow
from column_cases import expected, sample_texts
from scrubix import Options
ROWS = sample_texts(3000)
repeats = (24 << 20) // sum(len(r.encode()) for r in ROWS if r)
humanize, default = Options.humanize_preset(), None
big = pa.array(ROWS * repeats, type=pa.string())
other = pa.array(ROWS[::-1] * repeats, type=pa.string())
shrunk = pa.array([r and r[: len(r) // 3] for r in ROWS] * repeats, type=pa.string())
kept = scrubix.arrow.clean(big, humanize, threads=1)
for values, options, threads in ((big, humanize, 2), (big, default, 1), (shrunk, humanize, 1), (big, humanize, 1),
                                 (other, humanize, 2), (big, humanize, 1)):
    out = scrubix.arrow.clean(values, options, threads=threads)
    rows = values.slice(0, len(ROWS)).to_pylist()
    assert out.equals(pa.array(expected(rows, options) * repeats, type=pa.string())), (options, threads)
    del out
assert kept.equals(pa.array(expected(ROWS, humanize) * repeats, type=pa.string()))
"""


def test_large_columns_one_after_another_keep_their_own_text() -> None:
    # Over 16 MiB of text: the room of a column whose array is gone serves the next one, of the
    # same size or not, and a column still alive is never written over. In a process of its
    # own: freeing blocks this large changes how the allocator keeps memory for the process's
    # later memory checks.
    folder = os.path.dirname(os.path.abspath(__file__))
    run = subprocess.run([sys.executable, "-c", _LARGE_COLUMNS], cwd=folder, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr


@pytest.mark.slow
@pytest.mark.skipif(os.environ.get("SCRUBIX_TEST_HUGE") != "1",
                    reason="cleans 200 MB into 2.2 GB, twice (3 GB of memory); set SCRUBIX_TEST_HUGE=1 to run it")
def test_text_past_2_gib_switches_to_64_bit_offsets() -> None:
    # NFKC spells U+FDFA (3 bytes) in 33: a 200 MB string array cleans to more than 2 GiB.
    options = Options(keyboard_only=False, unicode_normalization="nfkc")
    row = "\ufdfa" * 1000 + "\u2014"
    count = (1 << 31) // (33 * 1000) + 2
    array = pa.array([row] * count + [None], type=pa.string())
    want = Cleaner(options).clean(row).text
    for values in (array, pa.chunked_array([pa.array(["\u201cok\u201d"]), array])):
        out = scrubix.arrow.clean(values, options, threads=2)
        assert out.type == pa.large_string() and out.null_count == 1
        rows = out if isinstance(out, pa.Array) else out.chunks[1]
        assert pc.all(pc.equal(rows[:count], want)).as_py()
        del out, rows
