#!/usr/bin/env python3
"""Writes the libFuzzer dictionary of the fuzz targets: fuzz/make_dict.py [--data DIR] [--out FILE].

Random bytes almost never spell a dash that is also an emoji, a space before a mark or a
negated relation, so the dictionary names every character a table or map of the engine acts
on: the space, dash and quote maps, the other symbols and line separators (from the table
generator's own lists), the keys of the symbol table, the controls, the hidden characters of
the Basic Multilingual Plane, the emoji components (joiners, selectors, skin tones, tags,
keycap, regional indicators), every negated relation and spacing accent (from the character
database), and a few marks and Hangul jamo that join clusters. FILE defaults to
fuzz/scrubix.dict (ignored by git); DIR is the shared data folder the generators read.
"""

from __future__ import annotations

import argparse
import re
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tools"))

import gen_char_tables as tables  # noqa: E402
import ucdlib  # noqa: E402

OVERLAY = 0x0338
EMOJI_PARTS = [0x200D, 0x200C, 0xFE0E, 0xFE0F, 0x20E3, *range(0x1F3FB, 0x1F400), 0xE0027, 0xE0067, 0xE007F,
               0x1F1E6, 0x1F1FA, 0x1F3F4, 0x2764, 0x1F600]
JOINING = [0x0300, 0x0301, 0x0308, 0x0327, 0x0316, 0x05B0, 0x093C, 0x094D, 0x0915, 0x0E33,
           0x1100, 0x1161, 0x11A8, 0xAC00]


def symbol_keys() -> set[int]:
    """The code points the symbol table spells directly (its switch cases)."""
    source = (REPO / "src" / "translit" / "symbol_table.cpp").read_text(encoding="utf-8")
    return {int(h, 16) for h in re.findall(r"case 0x([0-9A-Fa-f]+):", source)}


def characters(data: Path) -> set[int]:
    ucd = ucdlib.UnicodeData(ucdlib.ucd_path(data, "UnicodeData.txt"))
    hidden = ucdlib.code_point_set(ucdlib.ucd_path(data, "DerivedCoreProperties.txt"), "Default_Ignorable_Code_Point")
    chars = set(tables.SPACE_MAP) | set(tables.DASH_MAP) | set(tables.QUOTE_MAP)
    chars |= set(tables.OTHER_SYMBOLS) | set(tables.LINE_SEPARATORS) | symbol_keys()
    chars |= {c for c in range(0x100) if ucd.general_category(c) == "Cc"}
    chars |= {c for c in hidden if c < 0x10000}
    chars |= set(EMOJI_PARTS) | set(JOINING) | {OVERLAY}
    for cp, (compat, mapping) in ucd.decomposition.items():
        if not compat and len(mapping) == 2 and mapping[1] == OVERLAY:
            chars |= {cp, mapping[0]}  # a negated relation and the character it negates
        if compat and len(mapping) == 2 and mapping[0] == 0x20:
            chars.add(cp)  # a spacing accent: NFKC splits it into a space and a mark
    return chars


def entry(text: str) -> str:
    return '"' + "".join(f"\\x{b:02X}" for b in text.encode("utf-8")) + '"'


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", type=Path, default=REPO.parent / "shared")
    parser.add_argument("--out", type=Path, default=REPO / "fuzz" / "scrubix.dict")
    args = parser.parse_args(argv)
    lines = [entry(chr(c)) for c in sorted(characters(args.data))]
    # Pairs whose meaning lives in the neighbour: CR LF, a space before a mark, an emoji
    # dash with its selector, a relation and its overlay.
    lines += [entry(s) for s in ("\r\n", " \u0301", "\u3030\ufe0f", "=\u0338", "\u2764\ufe0f", "\xa0\xa0")]
    args.out.write_text("\n".join(lines) + "\n", encoding="ascii")
    print(f"{len(lines)} entries -> {args.out}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
