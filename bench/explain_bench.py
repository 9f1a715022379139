"""Speed of `scrubix.explain` beside `Cleaner.clean` on the benchmark corpora, in one run.

    python bench/explain_bench.py [--size-mb 2] [--min-time 0.5] [--preset default] [--clock cpu]

Prints MB/s of each and explain's share of clean's speed, per corpus. `--clock cpu` times with
the process's CPU time: on a loaded shared machine the best wall time of the longer call is
the more likely to include time waiting for a CPU.
"""

from __future__ import annotations

import argparse
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))

import corpora  # noqa: E402

import scrubix  # noqa: E402

PRESETS = {"default": scrubix.Options, "humanize": scrubix.Options.humanize_preset,
           "code-safe": scrubix.Options.code_safe_preset}


def best_seconds(fn, text: str, min_time: float, clock=time.perf_counter) -> float:
    best = float("inf")
    spent = 0.0
    runs = 0
    while spent < min_time or runs < 3:
        start = clock()
        fn(text)
        took = clock() - start
        best = min(best, took)
        spent += took
        runs += 1
    return best


def main() -> None:
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--size-mb", type=float, default=2.0)
    p.add_argument("--min-time", type=float, default=0.5)
    p.add_argument("--preset", choices=tuple(PRESETS), default="default")
    p.add_argument("--clock", choices=("wall", "cpu"), default="wall")
    args = p.parse_args()
    options = PRESETS[args.preset]()
    cleaner = scrubix.Cleaner(options)
    print(f"| corpus | clean MB/s | explain MB/s | explain / clean | changes |")
    print("|---|---:|---:|---:|---:|")
    for name in corpora.CORPORA:
        text = corpora.build(name, int(args.size_mb * 1e6))
        mb = len(text.encode()) / 1e6
        clock = time.process_time if args.clock == "cpu" else time.perf_counter
        clean = best_seconds(cleaner.clean, text, args.min_time, clock)
        explain = best_seconds(lambda t: scrubix.explain(t, options), text, args.min_time, clock)
        changes = len(scrubix.explain(text, options).changes)
        print(f"| {name} | {mb / clean:.1f} | {mb / explain:.1f} | {clean / explain:.2f} | {changes} |")


if __name__ == "__main__":
    main()
