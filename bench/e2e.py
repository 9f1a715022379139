"""End-to-end throughput through Python, beside the binding floor and peer libraries.

    python bench/e2e.py [--size-mb 2] [--out bench/results]

Measures, on the same texts in the same run: scrubix `clean`, `humanize` and `Cleaner.clean`
for each preset; the binding floor (`s.encode('utf-8').decode('utf-8')`); a pure-Python pipeline
(bench/python_pipeline.py); and, when installed (pip install '.[bench]'), ftfy.fix_text,
unidecode, anyascii and unicodedata.normalize. Also the per-call cost on short texts. Writes
results.md (a Markdown table) and results.png (a log-scale bar chart) into --out.
"""

from __future__ import annotations

import argparse
import datetime
import importlib
import platform
import sys
import time
import unicodedata
from pathlib import Path
from typing import Callable

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import corpora  # noqa: E402
import python_pipeline  # noqa: E402
import scrubix  # noqa: E402


def _optional(name: str, attr: str) -> Callable[[str], str] | None:
    try:
        return getattr(importlib.import_module(name), attr)
    except ImportError:
        return None


def best_seconds(fn: Callable[[str], object], text: str, min_time: float) -> float:
    best = float("inf")
    start = time.perf_counter()
    runs = 0
    while runs < 3 or time.perf_counter() - start < min_time:
        t0 = time.perf_counter()
        fn(text)
        best = min(best, time.perf_counter() - t0)
        runs += 1
    return best


def contenders() -> dict[str, Callable[[str], object]]:
    presets = {
        "minimal": scrubix.Options.minimal_preset(),
        "balanced": scrubix.Options.balanced_preset(),
        "aggressive": scrubix.Options.aggressive_preset(),
        "code_safe": scrubix.Options.code_safe_preset(),
    }
    c: dict[str, Callable[[str], object]] = {
        "binding floor": lambda s: s.encode("utf-8").decode("utf-8"),
        "scrubix.clean": scrubix.clean,
        "scrubix.humanize": scrubix.humanize,
    }
    for name, opts in presets.items():
        c[f"Cleaner({name})"] = scrubix.Cleaner(opts).clean
    c["pure-Python pipeline"] = python_pipeline.clean
    c["unicodedata NFC"] = lambda s: unicodedata.normalize("NFC", s)
    c["unicodedata NFKC"] = lambda s: unicodedata.normalize("NFKC", s)
    c["scrubix NFC"] = scrubix.Cleaner(scrubix.Options.minimal_preset().replace(
        remove_hidden=False, unicode_normalization="nfc")).clean
    c["scrubix NFKC"] = scrubix.Cleaner(scrubix.Options.minimal_preset().replace(
        remove_hidden=False, unicode_normalization="nfkc")).clean
    for label, mod, attr in (("ftfy.fix_text", "ftfy", "fix_text"),
                             ("unidecode", "unidecode", "unidecode"),
                             ("anyascii", "anyascii", "anyascii")):
        fn = _optional(mod, attr)
        if fn is not None:
            c[label] = fn
    return c


def main() -> None:
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--size-mb", type=float, default=2.0)
    p.add_argument("--min-time", type=float, default=0.3)
    p.add_argument("--out", type=Path, default=HERE / "results")
    p.add_argument("--no-chart", action="store_true")
    args = p.parse_args()
    size = int(args.size_mb * 1_000_000)
    names = ["ascii", "llm", "european", "cjk_cyrillic"]
    texts = {n: corpora.build(n, size) for n in names}
    cs = contenders()
    results: dict[str, dict[str, float]] = {}
    for label, fn in cs.items():
        row = {}
        for n, text in texts.items():
            mb = len(text.encode("utf-8")) / 1e6
            slow = label in ("ftfy.fix_text", "pure-Python pipeline", "unidecode", "anyascii")
            sample = text[: len(text) // 4] if slow else text
            smb = len(sample.encode("utf-8")) / 1e6 if slow else mb
            row[n] = smb / best_seconds(fn, sample, args.min_time)
        results[label] = row
        print(f"{label:24s} " + "  ".join(f"{n}={v:8.1f}" for n, v in row.items()), flush=True)

    short = {"~120 B": corpora.build("llm", 120), "~2 KB": corpora.build("llm", 2000)}
    per_call: dict[str, dict[str, float]] = {}
    for label in ("binding floor", "scrubix.clean", "scrubix.humanize", "Cleaner(code_safe)"):
        fn = cs[label]
        per_call[label] = {}
        for k, s in short.items():
            reps = 20000
            best = float("inf")
            for _ in range(5):
                t0 = time.perf_counter()
                for _ in range(reps):
                    fn(s)
                best = min(best, (time.perf_counter() - t0) / reps)
            per_call[label][k] = best * 1e6

    marks = mark_runs(cs)

    args.out.mkdir(parents=True, exist_ok=True)
    stamp = datetime.date.today().isoformat()
    machine = f"{platform.machine()}, {platform.processor() or platform.system()}, Python {platform.python_version()}"
    lines = [f"Throughput in MB/s (higher is better); {machine}; {stamp}.", "",
             "| contender | " + " | ".join(names) + " |", "|---" * (len(names) + 1) + "|"]
    for label, row in results.items():
        lines.append(f"| {label} | " + " | ".join(f"{row[n]:.1f}" for n in names) + " |")
    lines += ["", "Per-call cost in microseconds (lower is better):", "",
              "| call | " + " | ".join(short) + " |", "|---" * (len(short) + 1) + "|"]
    for label, row in per_call.items():
        lines.append(f"| {label} | " + " | ".join(f"{row[k]:.2f}" for k in short) + " |")
    lines += ["", "Long runs of combining marks (a letter and n marks of alternating classes), seconds "
              "per call; CPython sorts such a run in quadratic time:", "",
              "| call | " + " | ".join(f"n={n}" for n in MARK_RUNS) + " |", "|---" * (len(MARK_RUNS) + 1) + "|"]
    for label, row in marks.items():
        lines.append(f"| {label} | " + " | ".join(f"{row[n]:.5f}" for n in MARK_RUNS) + " |")
    (args.out / "results.md").write_text("\n".join(lines) + "\n", encoding="utf-8")
    print("\n".join(lines))
    if not args.no_chart:
        _chart(results, names, args.out / "results.png", f"{machine}; {stamp}")


MARK_RUNS = (10_000, 20_000, 40_000)


def mark_runs(cs: dict[str, Callable[[str], object]]) -> dict[str, dict[int, float]]:
    """Seconds per call on a letter followed by n marks whose classes alternate (230, 220)."""
    texts = {n: "a" + "\u0301\u0316" * (n // 2) for n in MARK_RUNS}
    rows: dict[str, dict[int, float]] = {}
    for label in ("unicodedata NFC", "scrubix NFC", "unicodedata NFKC", "scrubix NFKC"):
        rows[label] = {n: best_seconds(cs[label], t, 0.0) for n, t in texts.items()}
        print(f"{label:24s} " + "  ".join(f"n={n}: {v:.5f}s" for n, v in rows[label].items()), flush=True)
    return rows


def _chart(results: dict[str, dict[str, float]], names: list[str], path: Path, subtitle: str) -> None:
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib not installed; no chart written")
        return
    labels = list(results)
    fig, ax = plt.subplots(figsize=(12, 6))
    width = 0.8 / len(labels)
    colors = plt.get_cmap("tab20").colors  # one distinct colour per contender
    for i, label in enumerate(labels):
        xs = [j + i * width for j in range(len(names))]
        ax.bar(xs, [results[label][n] for n in names], width, label=label, color=colors[i % len(colors)])
    ax.set_yscale("log")
    ax.set_ylabel("MB/s (log scale)")
    ax.set_xticks([j + 0.4 - width / 2 for j in range(len(names))])
    ax.set_xticklabels(names)
    ax.set_title(f"scrubix end-to-end throughput\n{subtitle}", fontsize=10)
    ax.legend(fontsize=7, ncol=3)
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    print(f"chart written to {path}")


if __name__ == "__main__":
    main()
