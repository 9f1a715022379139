"""Writes the grapheme-cluster property table: src/unicode/generated/grapheme_data.inc.

One byte per code point, looked up through a two-stage table:
  bits 0-3  Grapheme_Cluster_Break (GraphemeBreakProperty.txt)
  bit  4    Extended_Pictographic (emoji-data.txt)
  bits 5-6  Indic_Conjunct_Break (DerivedCoreProperties.txt)
The enumerations are written into the file too, so the segmenter cannot drift from the table.
"""

from __future__ import annotations

import sys
from pathlib import Path

import ucdlib

OUT_NAME = "grapheme_data.inc"
SOURCES = ["GraphemeBreakProperty.txt", "emoji-data.txt", "DerivedCoreProperties.txt"]

# Order fixes the numeric values; Other must be 0 (the value of every unlisted code point).
GCB_VALUES = ["Other", "CR", "LF", "Control", "Extend", "ZWJ", "Regional_Indicator", "Prepend",
              "SpacingMark", "L", "V", "T", "LV", "LVT"]
INCB_VALUES = ["None", "Linker", "Consonant", "Extend"]

GCB_BITS = 4
EXT_PICT_BIT = 1 << GCB_BITS
INCB_SHIFT = GCB_BITS + 1


def property_values(data: Path) -> list[int]:
    values = [0] * (ucdlib.MAX_CODE_POINT + 1)
    gcb_seen = [False] * len(values)
    for lo, hi, name in ucdlib.property_ranges(ucdlib.ucd_path(data, "GraphemeBreakProperty.txt")):
        gcb = GCB_VALUES.index(name)
        for cp in range(lo, hi + 1):
            assert not gcb_seen[cp], f"U+{cp:04X} listed twice"
            gcb_seen[cp] = True
            values[cp] = gcb
    for cp in ucdlib.code_point_set(ucdlib.ucd_path(data, "emoji-data.txt"), "Extended_Pictographic"):
        values[cp] |= EXT_PICT_BIT
    for lo, hi, name in ucdlib.property_ranges(ucdlib.ucd_path(data, "DerivedCoreProperties.txt"), "InCB"):
        incb = INCB_VALUES.index(name)
        for cp in range(lo, hi + 1):
            assert values[cp] >> INCB_SHIFT == 0, f"U+{cp:04X} has two InCB values"
            values[cp] |= incb << INCB_SHIFT
    assert max(values) < 256
    return values


def enum_lines(name: str, prefix: str, members: list[str]) -> str:
    body = "".join(f"    {ucdlib.constant_name(prefix, m)} = {i},\n" for i, m in enumerate(members))
    return f"enum {name} : std::uint8_t {{\n{body}}};\n"


def render(values: list[int], command: str) -> str:
    table = ucdlib.split_two_stage(values)
    header = (ucdlib.generated_header(command, SOURCES) + "\n"
              "// Included by src/unicode/grapheme_rules.hpp. One byte per code point:\n"
              "// (Indic_Conjunct_Break << 5) | (Extended_Pictographic << 4) | Grapheme_Cluster_Break;\n"
              f"// {table.size} bytes.\n")
    return ucdlib.table_file(header, "scrubix::unicode::grapheme_data", [
        enum_lines("GraphemeBreak", "gcb", GCB_VALUES),
        enum_lines("IndicConjunctBreak", "incb", INCB_VALUES),
        f"inline constexpr std::uint8_t kGcbMask = 0x{(1 << GCB_BITS) - 1:X};\n"
        f"inline constexpr std::uint8_t kExtPictBit = 0x{EXT_PICT_BIT:X};\n"
        f"inline constexpr unsigned kIncbShift = {INCB_SHIFT};\n",
        ucdlib.format_two_stage("Grapheme", table, values_per_line=20),
    ], includes=["<cstdint>", '"../two_stage_table.hpp"', '"unicode_version.hpp"'])


def main(argv: list[str] | None = None) -> int:
    parser = ucdlib.arg_parser(__doc__.splitlines()[0], ucdlib.REPO / "src" / "unicode" / "generated")
    args = parser.parse_args(argv)
    values = property_values(args.data)
    text = render(values, "python tools/gen_grapheme_tables.py")
    ucdlib.write_file(args.out / OUT_NAME, text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
