"""Throughput of `scrubix.clean_many` on many short texts, by thread count.

    python bench/batch_bench.py [--texts 10000] [--size 2048] [--corpus llm] [--preset default]

Cuts --texts texts of about --size bytes from a benchmark corpus (bench/corpora.py, generated
in memory with a fixed seed), then times, best of --repeat runs: a plain loop over
`Cleaner.clean` on one thread, and `clean_many` with 1, 2, ... os.cpu_count() threads. Prints
MB/s and the speed-up over the plain loop, after a check of how much parallel work the machine
gives at the moment (threads hashing without the interpreter lock): on a busy machine both fall.
"""

from __future__ import annotations

import argparse
import functools
import hashlib
import itertools
import os
import sys
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path
from typing import Callable, Dict, List

sys.path.insert(0, str(Path(__file__).resolve().parent))

import corpora  # noqa: E402

import scrubix  # noqa: E402
from scrubix import Cleaner, Options  # noqa: E402

PRESETS = {
    "default": Options,
    "balanced": Options.balanced_preset,
    "humanize": Options.humanize_preset,
    "aggressive": Options.aggressive_preset,
    "code-safe": Options.code_safe_preset,
}


def make_texts(corpus: str, count: int, size: int) -> List[str]:
    """`count` texts of at least `size` UTF-8 bytes each, cut at spaces from one corpus."""
    words = itertools.cycle(corpora.build(corpus, count * size + size).split(" "))
    texts: List[str] = []
    while len(texts) < count:
        current: List[str] = []
        length = 0
        while length < size:
            word = next(words)
            current.append(word)
            length += len(word.encode()) + 1
        texts.append(" ".join(current))
    return texts


def best_seconds(runs: Dict[str, Callable[[], object]], repeat: int) -> Dict[str, float]:
    """Best time of each run; the runs take turns, so a busy spell on the machine hits all alike."""
    best = dict.fromkeys(runs, float("inf"))
    for _ in range(repeat):
        for label, run in runs.items():
            t0 = time.perf_counter()
            run()
            best[label] = min(best[label], time.perf_counter() - t0)
    return best


def machine_parallelism(threads: int) -> float:
    """Speed-up of `threads` threads hashing (GIL-free) over one: what the machine gives now."""
    data = bytes(range(256)) * (1 << 16)
    hashes = 8 * threads

    def hash_all(count: int) -> None:
        for _ in range(count):
            hashlib.sha256(data).digest()

    def parallel() -> None:
        with ThreadPoolExecutor(threads) as pool:
            list(pool.map(hash_all, [hashes // threads] * threads))
    best = best_seconds({"one": lambda: hash_all(hashes), "many": parallel}, 5)
    return best["one"] / best["many"]


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--texts", type=int, default=10_000)
    parser.add_argument("--size", type=int, default=2048, help="bytes per text")
    parser.add_argument("--corpus", default="llm", help="a corpus of bench/corpora.py")
    parser.add_argument("--preset", choices=tuple(PRESETS), default="default")
    parser.add_argument("--repeat", type=int, default=15)
    args = parser.parse_args()

    texts = make_texts(args.corpus, args.texts, args.size)
    options = PRESETS[args.preset]()
    megabytes = sum(len(t.encode()) for t in texts) / 1e6
    cpus = os.cpu_count() or 1
    print(f"scrubix {scrubix.__version__}, Python {sys.version.split()[0]}, {cpus} CPUs")
    print(f"{len(texts)} texts of {megabytes * 1e6 / len(texts):.0f} bytes on average "
          f"({megabytes:.1f} MB, corpus {args.corpus}, preset {args.preset}), best of {args.repeat}")

    cleaner = Cleaner(options)
    assert scrubix.clean_many(texts, options) == [cleaner.clean(t) for t in texts]
    runs: Dict[str, Callable[[], object]] = {"loop over Cleaner.clean": lambda: [cleaner.clean(t) for t in texts]}
    for threads in range(1, max(cpus, 2) + 1):
        runs[f"clean_many(threads={threads})"] = functools.partial(scrubix.clean_many, texts, options,
                                                                   threads=threads)
    print(f"machine check: {cpus} threads hashing run {machine_parallelism(cpus):.2f}x as fast as one")
    best = best_seconds(runs, args.repeat)
    serial = best["loop over Cleaner.clean"]
    for label, seconds in best.items():
        print(f"{label:<28} {megabytes / seconds:8.1f} MB/s   {serial / seconds:.2f}x")


if __name__ == "__main__":
    main()
