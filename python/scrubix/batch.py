"""Cleaning many texts at once on several threads.

`Cleaner.clean` releases the interpreter lock while the engine runs, so threads clean texts
truly in parallel; only the conversions at either end of each call hold the lock. Those are
the limit for short texts: every call hands the lock over twice, and the UTF-8 encoding of a
non-ASCII text (close to half of a 2 KB call) runs under the lock. Long texts gain the most.
"""

from __future__ import annotations

import os
from concurrent.futures import ThreadPoolExecutor
import typing

from ._scrubix import Cleaner, CleaningResult, Options

__all__ = ["clean_many"]

# Work is handed out in contiguous batches, a few per thread so that a thread that draws short
# texts is not left idle while another finishes long ones; each batch costs one task.
_BATCHES_PER_THREAD = 4


def _clean_batch(clean: Cleaner, texts: typing.Sequence[str]) -> list[CleaningResult]:
    run = clean.clean
    return [run(text) for text in texts]


def clean_many(texts: typing.Iterable[str], options: typing.Optional[Options] = None, *,
               threads: typing.Optional[int] = None) -> list[CleaningResult]:
    """Clean every text with the same options; return the `CleaningResult`s in input order.

    `options` defaults to `Options()`, as for `Cleaner`. `threads` is the number of worker
    threads (default `os.cpu_count()`); with 1, or a single text, everything runs on the
    calling thread. Results equal those of `Cleaner(options).clean` text by text. A text that
    is not a `str` raises `TypeError`, as `Cleaner.clean` does; the first error raised ends the
    call.

    Threads pay off once a text takes clearly longer to clean than the interpreter needs to hand
    its lock between threads: on a two-CPU virtual machine, 16 KB texts ran 1.3x and 64 KB texts
    1.5x as fast on two threads, while 2 KB texts ran slower than on one (bench/batch_bench.py
    measures a given machine). Pass `threads=1` for many short texts where that is so.
    """
    if isinstance(texts, (str, bytes)):
        raise TypeError("texts must be an iterable of str, not a single " + type(texts).__name__)
    if threads is None:
        threads = os.cpu_count() or 1
    elif isinstance(threads, bool) or not isinstance(threads, int):
        raise TypeError(f"threads must be an int or None, not {type(threads).__name__}")
    elif threads < 1:
        raise ValueError(f"threads must be at least 1, got {threads}")
    cleaner = Cleaner(options)
    items = texts if isinstance(texts, (list, tuple)) else list(texts)
    workers = min(threads, len(items))
    if workers <= 1:
        return _clean_batch(cleaner, items)
    count = min(len(items), workers * _BATCHES_PER_THREAD)
    bounds = [len(items) * k // count for k in range(count + 1)]
    batches = [items[bounds[k]:bounds[k + 1]] for k in range(count)]
    results: list[CleaningResult] = []
    with ThreadPoolExecutor(max_workers=workers, thread_name_prefix="scrubix") as pool:
        for part in pool.map(_clean_batch, [cleaner] * count, batches):
            results.extend(part)
    return results
