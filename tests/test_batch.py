"""`clean_many`: the results of `Cleaner.clean` text by text, in order, computed on worker threads."""

from __future__ import annotations

import os
import threading
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


def test_work_runs_on_worker_threads(monkeypatch: pytest.MonkeyPatch) -> None:
    seen: List[str] = []
    real = scrubix.batch._clean_batch

    def recording(cleaner: Cleaner, texts: Sequence[str]) -> List[CleaningResult]:
        seen.append(threading.current_thread().name)
        return real(cleaner, texts)
    monkeypatch.setattr(scrubix.batch, "_clean_batch", recording)
    clean_many(TEXTS, threads=2)
    assert len(seen) > 2 and all(name.startswith("scrubix") for name in seen)
    assert len(set(seen)) <= 2
    seen.clear()
    clean_many(TEXTS, threads=1)
    assert seen == [threading.current_thread().name]
    # threads=None means one per CPU.
    monkeypatch.setattr(os, "cpu_count", lambda: 1)
    seen.clear()
    clean_many(TEXTS)
    assert seen == [threading.current_thread().name]


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


def test_the_first_failure_ends_the_call() -> None:
    texts: List[Any] = ["ok"] * 50 + [b"bytes"] + ["ok"] * 50
    for threads in (1, 2):
        with pytest.raises(TypeError, match="argument 'text'"):
            clean_many(texts, threads=threads)
    with pytest.raises(UnicodeEncodeError):
        clean_many(["ok", "\ud800"], threads=2)
