"""Writes the repr escape table: python/src/generated/repr_escape_data.inc.

`CleaningResult.__repr__` writes a character as a `\\u{...}` escape when it has
Grapheme_Extend or is not printable: General_Category Cc, Cf, Cs, Co, Cn, Zl, Zp or Zs,
except U+0020. This data is Unicode 17.0 (not the engine's 16.0). One bit per code point,
in a two-stage table: an index of block numbers and a pool of distinct blocks, each a run
of 64-bit words; the block size is the one giving the smallest table.
"""

from __future__ import annotations

import sys
from pathlib import Path

import ucdlib

OUT_NAME = "repr_escape_data.inc"
VERSION = "17.0.0"
SOURCES = ["UnicodeData.txt", "DerivedCoreProperties.txt"]
NOTICE = ucdlib.NOTICE.replace("2001-2024", "2001-2025")

UNPRINTABLE = {"Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp", "Zs"}
WORD_BITS = 64


def escape_flags(data: Path) -> list[int]:
    unicode_data = ucdlib.UnicodeData(ucdlib.ucd_path(data, "UnicodeData.txt", VERSION))
    extend = ucdlib.code_point_set(ucdlib.ucd_path(data, "DerivedCoreProperties.txt", VERSION),
                                   "Grapheme_Extend")
    assert extend, "no Grapheme_Extend in DerivedCoreProperties.txt"
    flags = [int(unicode_data.general_category(cp) in UNPRINTABLE or cp in extend)
             for cp in range(ucdlib.MAX_CODE_POINT + 1)]
    flags[0x20] = 0
    return flags


def bit_table(flags: list[int]) -> tuple[int, list[int], list[int]]:
    """(shift, index, words): bit c is set in words[(index[c >> shift] << (shift - 6)) + ((c >> 6) & m)]."""
    all_words = [sum(flags[start + b] << b for b in range(WORD_BITS))
                 for start in range(0, len(flags), WORD_BITS)]
    best = None
    for shift in range(6, 13):
        words_per_block = 1 << (shift - 6)
        ids: dict[tuple[int, ...], int] = {}
        index: list[int] = []
        words: list[int] = []
        for start in range(0, len(all_words), words_per_block):
            block = tuple(all_words[start:start + words_per_block])
            if block not in ids:
                ids[block] = len(ids)
                words.extend(block)
            index.append(ids[block])
        cost = len(index) * (1 if len(ids) <= 256 else 2) + len(words) * 8
        if best is None or cost < best[0]:
            best = (cost, shift, index, words)
        assert len(words) == len(ids) * words_per_block
    assert best is not None
    _, shift, index, words = best
    for cp, flag in enumerate(flags):
        word = words[(index[cp >> shift] << (shift - 6)) + ((cp >> 6) & ((1 << (shift - 6)) - 1))]
        assert (word >> (cp & 63)) & 1 == flag
    return shift, index, words


def render(flags: list[int], command: str) -> str:
    shift, index, words = bit_table(flags)
    size = len(index) * (1 if max(index) < 256 else 2) + len(words) * 8
    index_type = ucdlib.ctype_for(index)
    return "\n".join([
        ucdlib.generated_header(command, SOURCES, NOTICE, VERSION),
        "// Included by the CleaningResult repr code. Which characters the repr writes as\n"
        "// \\u{...}: Grapheme_Extend, or General_Category Cc Cf Cs Co Cn Zl Zp Zs other than\n"
        f"// U+0020. One bit per code point; {size} bytes.\n",
        "#pragma once\n\n#include <cstddef>\n#include <cstdint>\n\nnamespace scrubix::py {\n",
        "namespace repr_escape_data {\n",
        f'inline constexpr char unicode_version[] = "{VERSION}";\n'
        f"inline constexpr unsigned shift = {shift};\n",
        ucdlib.format_array("index", index, per_line=20),
        ucdlib.format_array("words", words, ctype="std::uint64_t", per_line=4, hex_values=True),
        "}  // namespace repr_escape_data\n",
        "// Whether the repr escapes c (TAB, CR, LF, NUL, backslash and quote aside, which it\n"
        "// writes its own way). Values beyond U+10FFFF, which no str holds, are escaped.\n"
        "inline bool repr_must_escape(char32_t c) noexcept {\n"
        "    namespace d = repr_escape_data;\n"
        "    if (c > 0x10FFFF) return true;\n"
        f"    static_assert(sizeof d::index / sizeof d::index[0] == (0x110000u >> d::shift));\n"
        f"    const {index_type} block = d::index[c >> d::shift];\n"
        "    const std::uint64_t word =\n"
        "        d::words[(std::size_t(block) << (d::shift - 6)) + ((c >> 6) & ((1u << (d::shift - 6)) - 1))];\n"
        "    return ((word >> (c & 63)) & 1) != 0;\n"
        "}\n",
        "}  // namespace scrubix::py\n",
    ])


def main(argv: list[str] | None = None) -> int:
    parser = ucdlib.arg_parser(__doc__.splitlines()[0], ucdlib.REPO / "python" / "src" / "generated")
    args = parser.parse_args(argv)
    text = render(escape_flags(args.data), "python tools/gen_repr_table.py")
    ucdlib.write_file(args.out / OUT_NAME, text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
