"""`clean_many`: the results of `Cleaner.clean` text by text, in order, computed on worker threads."""

from __future__ import annotations

import os
from typing import Any, Iterator, List, Sequence, Tuple, Type

import pytest

import scrubix
import scrubix.batch
from scrubix import Cleaner, CleaningResult, Options, clean_many

TEXTS = ["", "plain", "Caf\u00e9 \u2014 \u201chi\u201d  ", "\U0001F469\u200d\U0001F4BB x\u200b\r\n",
         "e\u0301\u2026 \ufb01\t\t\n" * 40, "\u4e2d\u6587 \u00bd"] * 37


def expected(texts: Sequence[str], options: Options) -> List[CleaningResult]:
    cleaner = Cleaner(options)
    return [cleaner.clean(text) for text in texts]


@pytest.mark.parametrize("threads", [None, 1, 2, 3, 16, 1000])
def test_results_in_input_order(threads: int) -> None:
    texts = [f"{n}: {text}" for n, text in enumerate(TEXTS)]
    for options in (None, Options.humanize_preset(), Options.code_safe_preset()):
        results = clean_many(texts, options, threads=threads)
        assert results == expected(texts, options or Options())
        assert all(type(r) is CleaningResult for r in results)
        assert all(r.text is text for r, text in zip(results, texts) if r.text == text)


def test_accepts_any_iterable_and_few_texts() -> None:
    assert clean_many([]) == []
    assert clean_many(iter(["\u201cx\u201d"]), threads=4) == expected(["\u201cx\u201d"], Options())
    reads: List[str] = []

    def generated() -> Iterator[str]:
        for text in TEXTS[:20]:
            reads.append(text)
            yield text
    assert clean_many(generated(), threads=2) == expected(TEXTS[:20], Options())
    assert reads == TEXTS[:20]  # read once, in order
    assert clean_many(tuple(TEXTS[:7]), Options.aggressive_preset(), threads=3) == \
        expected(TEXTS[:7], Options.aggressive_preset())
    assert scrubix.clean_many is clean_many and "clean_many" in scrubix.__all__


def test_input_is_read_in_bounded_batches(monkeypatch: pytest.MonkeyPatch) -> None:
    reads = 0
    read_at_calls: List[int] = []
    thread_counts: List[int] = []
    real = scrubix._columns.start_texts

    def recording(texts: List[str], position: int, options: Any, threads: int, first: int, previous: Any) -> Any:
        read_at_calls.append(reads)
        thread_counts.append(threads)
        return real(texts, position, options, threads, first, previous)
    monkeypatch.setattr(scrubix._columns, "start_texts", recording)

    def generated() -> Iterator[str]:
        nonlocal reads
        for n in range(3 * scrubix.batch._BATCH_TEXTS + 5):
            reads += 1
            yield "\u201c%d\u201d" % n
    results = clean_many(generated(), threads=2)
    assert [r.text for r in results[-2:]] == ['"%d"' % n for n in range(3 * scrubix.batch._BATCH_TEXTS + 3,
                                                                         3 * scrubix.batch._BATCH_TEXTS + 5)]
    assert read_at_calls == [scrubix.batch._BATCH_TEXTS * k for k in (1, 2, 3)] + [len(results)]
    # Long texts end a batch early: its copies stay bounded in bytes too.
    read_at_calls.clear()
    reads = 0
    big = "x" * (scrubix.batch._BATCH_CHARS // 2 + 1)
    clean_many((big for _ in range(4)), threads=1)
    assert len(read_at_calls) == 2
    # So do they in a list, which is cut in place: the results still come in order.
    bigs = [big, big + "\u201c", big + "\u201d", big]
    assert clean_many(bigs, threads=2) == expected(bigs, Options())
    assert len(read_at_calls) == 4
    monkeypatch.setattr(os, "cpu_count", lambda: 3)
    scrubix.batch._cpu_count.cache_clear()  # read once per process
    clean_many(["x"])
    scrubix.batch._cpu_count.cache_clear()
    assert thread_counts[-1] == 3 and thread_counts[:-1] == [2] * 4 + [1, 1] + [2, 2]


def test_bad_arguments() -> None:
    bad: List[Tuple[Any, Type[Exception]]] = [(0, ValueError), (-2, ValueError), ("2", TypeError),
                                              (True, TypeError), (2.0, TypeError)]
    for threads, error in bad:
        with pytest.raises(error, match="threads"):
            clean_many(["x"], threads=threads)
    with pytest.raises(TypeError, match="single str"):
        clean_many("text")  # a str is an iterable of one-letter texts: surely a mistake
    with pytest.raises(TypeError, match="argument 'options'"):
        clean_many(["x"], "code-safe")  # type: ignore[arg-type]


def test_the_first_failure_ends_the_call_and_names_the_item() -> None:
    size = scrubix.batch._BATCH_TEXTS
    for at in (50, size + 7):
        texts: List[Any] = ["ok"] * at + [b"bytes"] + ["ok"] * 50 + [3]
        for threads in (1, 2):
            with pytest.raises(TypeError, match=f"^item {at} of texts: 'bytes' object is not an instance of 'str'$"):
                clean_many(iter(texts), threads=threads)
        with pytest.raises(UnicodeEncodeError, match=f"item {at} of texts") as caught:
            clean_many(["ok"] * at + ["ab\ud800"], threads=2)
        assert (caught.value.start, caught.value.object) == (2, "ab\ud800")
    # A failure in a later batch of a list cut by size, and after a list read from an iterator.
    long = "x" * (scrubix.batch._BATCH_CHARS // 2)
    for texts in ([long] * 5 + [7], iter(["ok"] * size + [long] * 5 + [7])):
        count = 5 if isinstance(texts, list) else size + 5
        with pytest.raises(TypeError, match=f"^item {count} of texts: 'int'"):
            clean_many(texts, threads=2)


def test_a_batch_in_flight_is_finished_or_joined_on_every_way_out(monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.setattr(scrubix.batch, "_BATCH_TEXTS", 4)

    def failing() -> Iterator[str]:
        yield from ["\u201cx\u201d"] * 6
        raise KeyError("source")
    for threads in (1, 2):
        with pytest.raises(KeyError, match="source"):
            clean_many(failing(), threads=threads)
    # A job dropped unfinished waits for its cleaning before freeing the texts it reads.
    job, end = scrubix._columns.start_texts(["\u201cx\u201d " * 1000] * 200, 0, None, 2, 0, None)
    assert 0 < end < 200  # cut at about a MiB of UTF-8
    del job
    # Jobs of one call share their threads: one dropped leaves the next to be cleaned whole.
    texts = ["\u201cx\u201d " * 1000] * 200
    first, end = scrubix._columns.start_texts(texts, 0, None, 2, 0, None)
    second, stop = scrubix._columns.start_texts(texts, end, None, 2, 0, first)
    del first
    assert second.finish() == expected(texts[end:stop], Options())
    job, end = scrubix._columns.start_texts(["z", "a"], 1, None, 1, 0, None)
    assert [r.text for r in job.finish()] == ["a"] and end == 2
    with pytest.raises(RuntimeError, match="already finished"):
        job.finish()
