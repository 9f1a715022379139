"""Cleaning many texts at once on native threads.

Texts are taken from the iterable in bounded batches. For each batch the texts are encoded to
UTF-8 with the interpreter lock held, then cleaned all together on native threads with the
lock released, and the results built with it held again: a text costs no lock hand-over of its
own, so even short texts gain from threads.

Encoding and building results need the lock and take a good part of the time, so the batches
overlap: while the worker threads clean batch k, the calling thread encodes batch k+1, and
then cleans beside them until batch k is done and builds its results. At most two batches are
in flight, and no more threads run than were asked for, the calling thread counted.
"""

from __future__ import annotations

import functools
import itertools
import os
import typing

from . import _columns
from ._scrubix import Cleaner, CleaningResult, Options

__all__ = ["clean_many"]

# Texts are read from any iterable but a list in lists of this many texts or this many
# characters, whichever comes first: its UTF-8 copies are all that is held besides the
# results. The native side cuts each list into batches of at most as many texts and about a MiB
# of UTF-8; batches that small also keep short the first encoding and the last building of
# results, the two steps nothing overlaps.
_BATCH_TEXTS = 8192
_BATCH_CHARS = 1 << 20


def _lists(texts: typing.Iterable[str]) -> typing.Iterator[typing.Tuple[list[str], int]]:
    """The texts in lists, each with the index of its first text in the input. A list is read in
    place; a subclass of list goes through its own iteration, as any other iterable."""
    if type(texts) is list:
        yield texts, 0
        return
    items = iter(texts)
    start = 0
    while True:
        batch: list[str] = []
        chars = 0
        for text in itertools.islice(items, _BATCH_TEXTS):
            batch.append(text)
            chars += len(text) if isinstance(text, str) else 0
            if chars >= _BATCH_CHARS:
                break
        if not batch:
            return
        yield batch, start
        start += len(batch)


@functools.lru_cache(maxsize=None)
def _cpu_count() -> int:
    """`os.cpu_count()` once per process: it reads the system's CPU list anew on every call,
    slower than cleaning a few rows."""
    return os.cpu_count() or 1


def _thread_count(threads: typing.Optional[int]) -> int:
    """`threads` checked, None meaning one per CPU."""
    if threads is None:
        return _cpu_count()
    if isinstance(threads, bool) or not isinstance(threads, int):
        raise TypeError(f"threads must be an int or None, not {type(threads).__name__}")
    if threads < 1:
        raise ValueError(f"threads must be at least 1, got {threads}")
    return threads


def _checked_options(options: typing.Optional[Options]) -> typing.Optional[Options]:
    """`options` as given, after the TypeError `Cleaner` raises for anything but an `Options`."""
    if options is not None and not isinstance(options, Options):
        Cleaner(options)
    return options


def clean_many(texts: typing.Iterable[str], options: typing.Optional[Options] = None, *,
               threads: typing.Optional[int] = None) -> list[CleaningResult]:
    """Clean every text with the same options; return the `CleaningResult`s in input order.

    `options` defaults to `Options()`, as for `Cleaner`. `threads` is the number of threads
    that work, the calling thread counted (default `os.cpu_count()`): `threads - 1` native
    threads clean without the interpreter lock while the calling thread reads and encodes the
    next batch and builds the results of the last one, and cleans beside them the rest of the
    time; with 1 everything runs on the calling thread. Results equal those of `Cleaner(options).clean` text by text,
    and a text left unchanged is the result's `text` object itself. The iterable is read in
    bounded batches, at most one batch ahead of the cleaning. A text that is not a `str` raises
    `TypeError`, a lone surrogate `UnicodeEncodeError`, both naming the item's index; the first
    error ends the call.
    """
    if isinstance(texts, (str, bytes)):
        raise TypeError("texts must be an iterable of str, not a single " + type(texts).__name__)
    count = _thread_count(threads)
    options = _checked_options(options)
    results: list[CleaningResult] = []
    pending: typing.Optional[_columns.TextJob] = None
    try:
        for batch, first in _lists(texts):
            position = 0
            while position < len(batch):
                job, position = _columns.start_texts(batch, position, options, count, first, pending)
                if pending is not None:
                    results.extend(pending.finish())
                pending = job
    except BaseException:
        # Reading or encoding the next batch failed: the batch in flight comes first, as in a
        # run one batch after the other, so its own error wins.
        if pending is not None:
            job, pending = pending, None
            job.finish()
        raise
    if pending is not None:
        results.extend(pending.finish())
    return results
