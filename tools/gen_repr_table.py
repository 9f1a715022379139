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


def render(flags: list[int], command: str) -> str:
    words = [sum(flags[start + b] << b for b in range(WORD_BITS)) for start in range(0, len(flags), WORD_BITS)]
    table = ucdlib.split_two_stage(words)
    for cp, flag in enumerate(flags):
        assert (table[cp // WORD_BITS] >> (cp % WORD_BITS)) & 1 == flag, hex(cp)
    header = (ucdlib.generated_header(command, SOURCES, NOTICE, VERSION) + "\n"
              "// Included by python/src/repr_preview.cpp. Which characters the repr writes as\n"
              "// \\u{...}: Grapheme_Extend, or General_Category Cc Cf Cs Co Cn Zl Zp Zs other than\n"
              f"// U+0020. One bit per code point, in 64-bit words; {table.size} bytes.\n")
    return ucdlib.table_file(header, "scrubix::py", [
        "namespace repr_escape_data {\n\n" + ucdlib.format_two_stage("EscapeWord", table, values_per_line=4)
        + "\n}  // namespace repr_escape_data\n",
        "// Whether the repr escapes c (TAB, CR, LF, NUL, backslash and quote aside, which it\n"
        "// writes its own way). Values beyond U+10FFFF, which no str holds, are escaped.\n"
        "inline bool repr_must_escape(char32_t c) noexcept {\n"
        "    using Words = repr_escape_data::EscapeWordTable;\n"
        f"    static_assert(Words::kLimit == 0x110000 / {WORD_BITS});\n"
        f"    if (c > 0x10FFFF) return true;\n"
        f"    return ((Words::at(c / {WORD_BITS}) >> (c % {WORD_BITS})) & 1) != 0;\n"
        "}\n",
    ], includes=["<cstdint>", '"unicode/two_stage_table.hpp"'], unicode_data=False)


def main(argv: list[str] | None = None) -> int:
    parser = ucdlib.arg_parser(__doc__.splitlines()[0], ucdlib.REPO / "python" / "src" / "generated")
    args = parser.parse_args(argv)
    text = render(escape_flags(args.data), "python tools/gen_repr_table.py")
    ucdlib.write_file(args.out / OUT_NAME, text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
