#!/usr/bin/env python3
"""Writes src/translit/generated/symbol_table_data.inc: the Greek-name layer of the symbol table.

A code point gets the English name of a Greek letter when its full compatibility decomposition
(NFKD, computed here from UnicodeData.txt) begins with one of the basic letters U+0391..U+03A9 or
U+03B1..U+03C9: capitals give "Alpha".."Omega", small letters "alpha".."omega" (final sigma gives
"sigma"). The squared unit symbols whose decomposition merely starts with mu or omega are left
out. The lookup is a two-stage table of name numbers, 0 meaning "no entry".
"""

from __future__ import annotations

import sys
from pathlib import Path

from ucdlib import (REPO, UnicodeData, arg_parser, format_array, generated_header, two_stage,
                    ucd_path, write_file)

NAMES = ["Alpha", "Beta", "Gamma", "Delta", "Epsilon", "Zeta", "Eta", "Theta", "Iota", "Kappa",
         "Lambda", "Mu", "Nu", "Xi", "Omicron", "Pi", "Rho", "Sigma", "Tau", "Upsilon", "Phi",
         "Chi", "Psi", "Omega"]

# Squared unit symbols (pA, mu-g, mu-m, ...) are units, not letters: no Greek name for them.
EXCLUDED = {0x3382, 0x338C, 0x338D, 0x3395, 0x339B, 0x33B2, 0x33B6, 0x33BC}

# The key set this rule must produce from Unicode 16.0, as inclusive ranges.
EXPECTED_KEYS = [
    (0x00B5, 0x00B5), (0x0386, 0x0386), (0x0388, 0x038A), (0x038C, 0x038C), (0x038E, 0x03A1),
    (0x03A3, 0x03CE), (0x03D0, 0x03D6), (0x03F0, 0x03F2), (0x03F4, 0x03F5), (0x03F9, 0x03F9),
    (0x1D5D, 0x1D61), (0x1D66, 0x1D6A), (0x1DBF, 0x1DBF), (0x1F00, 0x1F15), (0x1F18, 0x1F1D),
    (0x1F20, 0x1F45), (0x1F48, 0x1F4D), (0x1F50, 0x1F57), (0x1F59, 0x1F59), (0x1F5B, 0x1F5B),
    (0x1F5D, 0x1F5D), (0x1F5F, 0x1F7D), (0x1F80, 0x1FB4), (0x1FB6, 0x1FBC), (0x1FBE, 0x1FBE),
    (0x1FC2, 0x1FC4), (0x1FC6, 0x1FCC), (0x1FD0, 0x1FD3), (0x1FD6, 0x1FDB), (0x1FE0, 0x1FEC),
    (0x1FF2, 0x1FF4), (0x1FF6, 0x1FFC), (0x2126, 0x2126), (0x213C, 0x213F), (0x1D6A8, 0x1D6C0),
    (0x1D6C2, 0x1D6DA), (0x1D6DC, 0x1D6FA), (0x1D6FC, 0x1D714), (0x1D716, 0x1D734),
    (0x1D736, 0x1D74E), (0x1D750, 0x1D76E), (0x1D770, 0x1D788), (0x1D78A, 0x1D7A8),
    (0x1D7AA, 0x1D7C2), (0x1D7C4, 0x1D7C9),
]
EXPECTED_KEY_COUNT = 597

HANGUL_S_BASE, HANGUL_L_BASE, HANGUL_V_BASE, HANGUL_T_BASE = 0xAC00, 0x1100, 0x1161, 0x11A7
HANGUL_V_COUNT, HANGUL_T_COUNT, HANGUL_S_COUNT = 21, 28, 11172


def letter_names() -> dict[int, str]:
    """Basic Greek letter -> English name (U+03A2 is unassigned; final sigma is "sigma")."""
    capitals = [cp for cp in range(0x0391, 0x03AA) if cp != 0x03A2]
    smalls = [cp for cp in range(0x03B1, 0x03CA) if cp != 0x03C2]
    names = {cp: n for cp, n in zip(capitals, NAMES, strict=True)}
    names.update({cp: n.lower() for cp, n in zip(smalls, NAMES, strict=True)})
    names[0x03C2] = "sigma"
    return names


def nfkd(cp: int, ucd: UnicodeData, memo: dict[int, list[int]]) -> list[int]:
    """Full compatibility decomposition of one code point, in canonical order."""
    if cp in memo:
        return memo[cp]
    s = cp - HANGUL_S_BASE
    if 0 <= s < HANGUL_S_COUNT:
        out = [HANGUL_L_BASE + s // (HANGUL_V_COUNT * HANGUL_T_COUNT),
               HANGUL_V_BASE + (s % (HANGUL_V_COUNT * HANGUL_T_COUNT)) // HANGUL_T_COUNT]
        if s % HANGUL_T_COUNT:
            out.append(HANGUL_T_BASE + s % HANGUL_T_COUNT)
    elif cp in ucd.decomposition:
        out = [d for part in ucd.decomposition[cp][1] for d in nfkd(part, ucd, memo)]
    else:
        out = [cp]
    memo[cp] = out = canonical_order(out, ucd)
    return out


def canonical_order(seq: list[int], ucd: UnicodeData) -> list[int]:
    """Stable sort of each run of non-starters by combining class."""
    out = list(seq)
    i = 0
    while i < len(out):
        if ucd.combining.get(out[i], 0) == 0:
            i += 1
            continue
        j = i
        while j < len(out) and ucd.combining.get(out[j], 0) != 0:
            j += 1
        out[i:j] = sorted(out[i:j], key=lambda c: ucd.combining[c])
        i = j
    return out


def greek_layer(ucd: UnicodeData) -> dict[int, str]:
    names = letter_names()
    memo: dict[int, list[int]] = {}
    layer = {}
    for cp in sorted(ucd.category):
        if cp in EXCLUDED or ucd.category[cp] == "Cs":
            continue
        first = nfkd(cp, ucd, memo)[0]
        if first in names:
            layer[cp] = names[first]
    return layer


def check_keys(layer: dict[int, str]) -> None:
    expected = {cp for lo, hi in EXPECTED_KEYS for cp in range(lo, hi + 1)}
    if len(layer) != EXPECTED_KEY_COUNT or set(layer) != expected:
        extra = sorted(set(layer) - expected)
        missing = sorted(expected - set(layer))
        raise SystemExit(f"Greek-name layer has {len(layer)} keys, expected {EXPECTED_KEY_COUNT}; "
                         f"unexpected {[f'U+{c:04X}' for c in extra]}, "
                         f"missing {[f'U+{c:04X}' for c in missing]}")


def render(layer: dict[int, str]) -> str:
    name_list = [""] + NAMES + [n.lower() for n in NAMES]
    number = {n: i for i, n in enumerate(name_list)}
    last = max(layer)
    values = [number[layer[cp]] if cp in layer else 0 for cp in range(last + 1)]
    shift, index, blocks = two_stage(values)
    mask = (1 << shift) - 1
    for cp in range(last + 1):
        got = name_list[blocks[(index[cp >> shift] << shift) | (cp & mask)]]
        assert got == layer.get(cp, ""), hex(cp)

    header = generated_header("python tools/gen_symbol_table.py", ["UnicodeData.txt"])
    names = "\n".join(f'    "{n}",' for n in name_list)
    return "\n".join([
        header,
        "// Greek-name layer: kGreekNameNumber[slot] numbers a string of kGreekNames (0: no entry),",
        "//   slot = (kGreekIndex[c >> kGreekShift] << kGreekShift) | (c & mask), c <= kGreekLast.",
        f"// {len(layer)} code points.",
        "",
        f"constexpr char32_t kGreekLast = 0x{last:X};",
        f"constexpr unsigned kGreekShift = {shift};",
        f"constexpr std::size_t kGreekKeyCount = {len(layer)};",
        "",
        f"constexpr std::string_view kGreekNames[{len(name_list)}] = {{\n{names}\n}};",
        "",
        format_array("kGreekIndex", index, storage="constexpr"),
        format_array("kGreekNameNumber", blocks, storage="constexpr", per_line=32),
    ])


def main(argv: list[str] | None = None) -> int:
    args = arg_parser(__doc__.splitlines()[0], REPO / "src" / "translit" / "generated").parse_args(argv)
    ucd = UnicodeData(ucd_path(args.data, "UnicodeData.txt"))
    layer = greek_layer(ucd)
    check_keys(layer)
    write_file(args.out / "symbol_table_data.inc", render(layer))
    return 0


if __name__ == "__main__":
    sys.exit(main())
