#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: fuzz/make_seeds.py [--out DIR].

DIR (default fuzz/corpus) receives one folder per target. Texts cover every cleaning rule
and the awkward corners of segmentation and normalization; the clean target's seeds are
each text under several option records (sixteen leading bytes, one per options member).
Standard library only; the output is the same on every run.
"""

from __future__ import annotations

import argparse
import hashlib
from pathlib import Path

TEXTS = [
    "",
    "plain ascii words joined by single spaces",
    "trailing  \t \nline two\r\nline three\rend  ",
    "Caf\u00e9 Stra\u00dfe na\u00efve na\u0131\u0308ve \u00c5ngstr\u00f6m",
    "\u201cquoted\u201d \u2018single\u2019 \u2014 dash \u2013 en \u2212 minus \u2026 \u22ef 1\u20442",
    "a\u00a0b\u2003c\u3000d\u2028e\u2029f\u0085g\u000bh\u000ci\u007fj\u0001k",
    "zero\u200bwidth\u200cnon\u200djoiner\u00adsoft\ufeffbom\u2060wj",
    "\U0001f600 \u2764\ufe0f \U0001f468\u200d\U0001f469\u200d\U0001f467 1\ufe0f\u20e3 \U0001f44d\U0001f3fd",
    "\U0001f1fa\U0001f1f8\U0001f1e6\U0001f1fa\U0001f1eb \U0001f3f4\U000e0067\U000e0062\U000e0065\U000e006e\U000e0067\U000e007f",
    "=\u0338 <\u0338 \u2264\u0338 \u2260 \u226e \u226f \u219b \u2192\u0338 -=\u0338 ===\u0338",
    "\u2122 \u00a9 \u20ac \u00a3 \u00d7 \u00f7 \u00b1 \u00b0 \u2022 \u00b7 \u00a7 \u00a5 \u00a2",
    "\ufdfa \ufb01 \u01c4 \u1e9b\u0323 \u0f73 \u2126 \u212b \u1e69 \u0344",
    "a\u0301\u0316\u0301\u0316\u0334\u0327\u0345\u0301 q\u0307\u0323",
    "\u1100\u1161\u11a8 \uac00\u11a8 \u1100\u1100\u1161\u1161\u11a8\u11a8 \ud55c\uad6d\uc5b4",
    "\u0915\u094d\u0937 \u0915\u094d\u200d\u0937 \u0915\u094d\u094d\u0937\u094d\u0915 \u0600\u0661 \u0903",
    "\u4e2d\u6587 \u65e5\u672c\u8a9e \u0420\u0443\u0441\u0441\u043a\u0438\u0439 \u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac",
    "\u05e9\u05c1\u05b8\u05dc\u05d5\u05b9\u05dd \u0627\u0644\u0639\u0631\u0628\u064a\u0629 \u0e20\u0e32\u0e29\u0e32\u0e44\u0e17\u0e22",
    "\U0010ffff\U000e0001\ue000\ufffd\ufeff",
]

# Option records for the clean target: default, the five presets and a few mixtures, in the
# member order of the options record.
OPTION_RECORDS = [
    bytes([1, 1, 1, 1, 1, 1, 1, 0, 0, 2, 0, 1, 0, 3, 0, 0]),  # default
    bytes([1, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0]),  # minimal
    bytes([1, 1, 1, 1, 1, 1, 0, 0, 0, 2, 0, 1, 0, 3, 2, 0]),  # balanced
    bytes([1, 1, 1, 1, 1, 1, 0, 0, 0, 2, 0, 1, 1, 3, 4, 0]),  # humanize
    bytes([1, 1, 1, 1, 1, 1, 1, 0, 0, 2, 0, 1, 1, 0, 4, 1]),  # aggressive
    bytes([1, 1, 1, 1, 1, 0, 0, 0, 1, 2, 1, 1, 0, 3, 0, 0]),  # code_safe
    bytes([1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 0]),  # keyboard, keep emoji, fold, crlf, NFD
    bytes([0, 0, 1, 1, 1, 1, 1, 0, 1, 0, 1, 0, 1, 2, 3, 0]),  # keyboard, drop policy, cr, NFKD
]


def write(folder: Path, data: bytes) -> None:
    name = hashlib.sha1(data).hexdigest()
    (folder / name).write_bytes(data)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=Path(__file__).resolve().parent / "corpus")
    args = parser.parse_args()
    texts = [t.encode("utf-8") for t in TEXTS]
    texts.append("\n".join(TEXTS).encode("utf-8"))
    for target in ("fuzz_normalize", "fuzz_clusters", "fuzz_clean"):
        folder = args.out / target
        folder.mkdir(parents=True, exist_ok=True)
        for text in texts:
            if target == "fuzz_clean":
                for record in OPTION_RECORDS:
                    write(folder, record + text)
            else:
                write(folder, text)
    print(f"seed corpora written to {args.out}")


if __name__ == "__main__":
    main()
