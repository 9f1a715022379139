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

from ucdlib import (REPO, UnicodeData, arg_parser, format_array, format_two_stage, generated_header,
                    split_two_stage, table_file, ucd_path, write_file)

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

def letter_names() -> dict[int, str]:
    """Basic Greek letter -> English name (U+03A2 is unassigned; final sigma is "sigma")."""
    capitals = [cp for cp in range(0x0391, 0x03AA) if cp != 0x03A2]
    smalls = [cp for cp in range(0x03B1, 0x03CA) if cp != 0x03C2]
    names = {cp: n for cp, n in zip(capitals, NAMES, strict=True)}
    names.update({cp: n.lower() for cp, n in zip(smalls, NAMES, strict=True)})
    names[0x03C2] = "sigma"
    return names


def greek_layer(ucd: UnicodeData) -> dict[int, str]:
    names = letter_names()
    layer = {}
    for cp in sorted(ucd.category):
        if cp in EXCLUDED or ucd.category[cp] == "Cs":
            continue
        first = ucd.full_decomposition(cp, True)[0]
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
    table = split_two_stage(values)
    for cp in range(last + 1):
        assert name_list[table[cp]] == layer.get(cp, ""), hex(cp)

    header = (generated_header("python tools/gen_symbol_table.py", ["UnicodeData.txt"]) + "\n"
              "// Included by src/translit/symbol_table.cpp. The Greek-name layer, "
              f"{len(layer)} code points:\n"
              "// kGreekNames[GreekTable::at(c)] for c < GreekTable::kLimit (empty: no entry).\n")
    names = "\n".join(f'    "{n}",' for n in name_list)
    return table_file(header, "scrubix::translit::greek_data", [
        f"inline constexpr std::string_view kGreekNames[{len(name_list)}] = {{\n{names}\n}};\n",
        format_two_stage("Greek", table, values_per_line=32, hex_values=False),
    ], includes=["<cstdint>", "<string_view>", '"../../unicode/two_stage_table.hpp"',
                 '"../../unicode/generated/unicode_version.hpp"'])


def main(argv: list[str] | None = None) -> int:
    args = arg_parser(__doc__.splitlines()[0], REPO / "src" / "translit" / "generated").parse_args(argv)
    ucd = UnicodeData(ucd_path(args.data, "UnicodeData.txt"))
    layer = greek_layer(ucd)
    check_keys(layer)
    write_file(args.out / "symbol_table_data.inc", render(layer))
    return 0


if __name__ == "__main__":
    sys.exit(main())
