"""Normalization throughput: the engine's normalize_into against CPython's unicodedata.normalize.

    python bench/normalize_vs_cpython.py [--bench build/normalize_bench] [--size-mb 4]

Builds four corpora (ASCII prose, accented European text in NFC and in NFD, CJK), writes them
to a temporary folder, runs the native benchmark (compiling it with g++ -O2 first when the
binary is missing) on those files, times unicodedata.normalize on the same texts, checks that
both produced the same output (FNV-1a hash of the UTF-8) and prints MB/s side by side.
MB/s counts input megabytes (10^6 bytes of UTF-8) per second, best of several runs.

Note: CPython returns an ASCII string from NFC/NFKC without looking at it, and its quick check
returns the input object itself when it is already normalized, while the engine always appends
a copy to its output buffer.
"""

from __future__ import annotations

import argparse
import random
import subprocess
import sys
import tempfile
import time
import unicodedata
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
FORMS = ("NFC", "NFKC")
RUNS = 5

ENGLISH = ("the quick brown fox jumps over lazy dog, while a cleaner reads every line of plain "
           "text and keeps what it can").split()
EUROPEAN = ("été où déjà très garçon fenêtre naïve Straße Mädchen größer zażółć gęślą jaźń niño "
            "señor příliš žluťoučký and the de la und").split()
CJK = ["中文字符", "的世界", "人民", "大学生", "时间问题", "我们", "日本語", "漢字", "東京都",
       "ひらがな", "カタカナ", "、", "。"]


def corpus(words: list[str], size: int, sep: str, seed: int) -> str:
    rng = random.Random(seed)
    parts: list[str] = []
    total = 0
    n = 0
    while total < size:
        n += 1
        piece = rng.choice(words) + ("\n" if n % 14 == 0 else sep)
        parts.append(piece)
        total += len(piece.encode("utf-8"))
    return "".join(parts)


def corpora(size: int) -> dict[str, str]:
    european = corpus(EUROPEAN, size, " ", 2)
    return {
        "ascii": corpus(ENGLISH, size, " ", 1),
        "european-nfc": european,
        "european-nfd": unicodedata.normalize("NFD", european),
        "cjk": corpus(CJK, size, "", 3),
    }


def fnv1a(data: bytes) -> str:
    h = 0xCBF29CE484222325
    for b in data:
        h = ((h ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return f"{h:016x}"


def build_bench(path: Path) -> None:
    path.parent.mkdir(parents=True, exist_ok=True)
    cmd = ["g++", "-std=c++20", "-O2", f"-I{REPO / 'src'}", str(REPO / "bench" / "normalize_bench.cpp"),
           str(REPO / "src" / "unicode" / "normalize.cpp"), str(REPO / "src" / "unicode" / "utf8.cpp"),
           "-o", str(path)]
    print("building:", " ".join(cmd), file=sys.stderr)
    subprocess.run(cmd, check=True)


def native(bench: Path, files: dict[str, Path]) -> dict[tuple[str, str], tuple[float, str]]:
    args = [str(bench), "--forms", ",".join(FORMS)] + [f"{name}={path}" for name, path in files.items()]
    out = subprocess.run(args, check=True, capture_output=True, text=True).stdout
    results = {}
    for line in out.splitlines():
        name, form, mbs, _size, digest = line.split("\t")
        results[(name, form)] = (float(mbs), digest)
    return results


def cpython(text: str, form: str) -> tuple[float, str]:
    size = len(text.encode("utf-8"))
    best = float("inf")
    result = text
    for _ in range(RUNS):
        t0 = time.perf_counter()
        result = unicodedata.normalize(form, text)
        best = min(best, time.perf_counter() - t0)
    return size / best / 1e6, fnv1a(result.encode("utf-8"))


def main() -> None:
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--bench", type=Path, default=REPO / "build" / "normalize_bench",
                   help="native benchmark binary (default: %(default)s; built when missing)")
    p.add_argument("--size-mb", type=float, default=4.0, help="bytes per corpus, in MB")
    args = p.parse_args()
    if not args.bench.exists():
        build_bench(args.bench)
    texts = corpora(int(args.size_mb * 1e6))
    with tempfile.TemporaryDirectory() as tmp:
        files = {}
        for name, text in texts.items():
            files[name] = Path(tmp) / f"{name}.txt"
            files[name].write_bytes(text.encode("utf-8"))
        ours = native(args.bench, files)
    print(f"CPython {sys.version.split()[0]}, unicodedata {unicodedata.unidata_version}")
    print(f"{'corpus':<14} {'form':<5} {'scrubix MB/s':>13} {'CPython MB/s':>13} {'ratio':>7}  output")
    mismatches = 0
    for name, text in texts.items():
        for form in FORMS:
            mbs, digest = ours[(name, form)]
            py_mbs, py_digest = cpython(text, form)
            same = digest == py_digest
            mismatches += not same
            print(f"{name:<14} {form:<5} {mbs:>13.1f} {py_mbs:>13.1f} {mbs / py_mbs:>6.2f}x  "
                  f"{'same' if same else 'DIFFERENT'}")
    sys.exit(1 if mismatches else 0)


if __name__ == "__main__":
    main()
