"""Writes the character class tables: src/unicode/generated/char_tables_data.inc.

Two two-stage tables over the whole code space:

  char_props  16 bits per code point
      bits 0-6   the pass classes of the main pass (the `PassClass` bits of char_tables.hpp):
                 hidden, removable control, space map, dash map, quote map, other symbol,
                 line/paragraph separator
      bit  7     the quote map's value is U+0022 (clear: U+0027)
      bits 8-12  Default_Ignorable_Code_Point, Emoji, Emoji_Presentation,
                 Extended_Pictographic, White_Space
  char_class  8 bits per code point
      bits 0-4   General_Category, ICU numbering (Cn 0 ... Pf 29)
      bits 5-7   script class: Common, Inherited, Latin, Unknown, any other script

The space, dash and quote maps are ours, not Unicode's: they live here, and their values
are encoded in the property bits (every space becomes U+0020, every dash U+002D, a quote
U+0027 or U+0022), so a map lookup is one table read. The inversion-list figures (ranges
and members) of the four sets are written too, for the tests.
"""

from __future__ import annotations

import sys
from pathlib import Path

import ucdlib

OUT_NAME = "char_tables_data.inc"
SOURCES = ["UnicodeData.txt", "DerivedCoreProperties.txt", "PropList.txt", "emoji-data.txt",
           "Scripts.txt"]

# ICU's numbering of General_Category.
GENERAL_CATEGORIES = ["Cn", "Lu", "Ll", "Lt", "Lm", "Lo", "Mn", "Me", "Mc", "Nd", "Nl", "No",
                      "Zs", "Zl", "Zp", "Cc", "Cf", "Co", "Cs", "Pd", "Ps", "Pe", "Pc", "Po",
                      "Sm", "Sc", "Sk", "So", "Pi", "Pf"]
GC_BITS = 5
# Script classes; the engine tells apart only these four scripts, every other one is "Other".
SCRIPT_CLASSES = ["Common", "Inherited", "Latin", "Unknown", "Other"]
SCRIPT_UNLISTED = "Unknown"  # Scripts.txt: @missing 0000..10FFFF; Unknown

# Pass-class bits, in the order of `PassClass` in char_tables.hpp.
PASS_HIDDEN = 1 << 0
PASS_CONTROL = 1 << 1
PASS_SPACE = 1 << 2
PASS_DASH = 1 << 3
PASS_QUOTE = 1 << 4
PASS_OTHER = 1 << 5
PASS_LINE_SEP = 1 << 6
QUOTE_DOUBLE = 1 << 7
# Unicode binary properties: (bit name, file, property).
PROPERTIES = [
    ("hidden", "DerivedCoreProperties.txt", "Default_Ignorable_Code_Point"),
    ("emoji", "emoji-data.txt", "Emoji"),
    ("emoji_presentation", "emoji-data.txt", "Emoji_Presentation"),
    ("extended_pictographic", "emoji-data.txt", "Extended_Pictographic"),
    ("white_space", "PropList.txt", "White_Space"),
]
PROPERTY_SHIFT = 8

# Expected figures of the sets (ranges, members); a change of data that moves them fails here.
EXPECTED_FIGURES = {
    "Default_Ignorable_Code_Point": (17, 4174),
    "Emoji": (150, 1431),
    "Emoji_Presentation": (80, 1212),
    "Extended_Pictographic": (78, 3537),
}

# Typographic spaces, all becoming U+0020.
SPACE_MAP = [
    0x00A0,  # no-break space
    0x1680,  # Ogham space mark
    0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006,  # en quad .. six-per-em space
    0x2007,  # figure space
    0x2008,  # punctuation space
    0x2009,  # thin space
    0x200A,  # hair space
    0x202F,  # narrow no-break space
    0x205F,  # medium mathematical space
    0x3000,  # ideographic space
]

# Dashes and hyphens, all becoming U+002D.
DASH_MAP = [
    0x058A,  # Armenian hyphen
    0x05BE,  # Hebrew maqaf
    0x1400,  # Canadian syllabics hyphen
    0x1806,  # Mongolian soft hyphen
    0x2010, 0x2011, 0x2012, 0x2013, 0x2014, 0x2015,  # hyphen .. horizontal bar
    0x2053,  # swung dash
    0x207B,  # superscript minus
    0x208B,  # subscript minus
    0x2212,  # minus sign
    0x2E17,  # double oblique hyphen
    0x2E1A,  # hyphen with diaeresis
    0x2E3A, 0x2E3B,  # two-em dash, three-em dash
    0x2E40,  # double hyphen
    0x2E5D,  # oblique hyphen
    0x301C,  # wave dash
    0x3030,  # wavy dash
    0x30A0,  # katakana-hiragana double hyphen
    0xFE31, 0xFE32,  # vertical em dash, vertical en dash
    0xFE58,  # small em dash
    0xFE63,  # small hyphen-minus
    0xFF0D,  # fullwidth hyphen-minus
    0x10D6E,  # Garay hyphen
    0x10EAD,  # Yezidi hyphenation mark
]

APOS, QUOTE = 0x27, 0x22
# Quotation marks, primes and their kin, becoming U+0027 or U+0022.
QUOTE_MAP = {
    0x00AB: QUOTE, 0x00BB: QUOTE,  # double angle quotation marks
    0x0149: APOS,  # n preceded by apostrophe: its apostrophe (the pass keeps the n after it)
    0x02B9: APOS, 0x02BA: QUOTE,  # modifier letter prime, double prime
    0x02BC: APOS, 0x02EE: QUOTE,  # modifier letter apostrophe, double apostrophe
    0x055A: APOS,  # Armenian apostrophe
    0x07F4: APOS, 0x07F5: APOS,  # NKo high and low tone apostrophes
    0x2018: APOS, 0x2019: APOS, 0x201A: APOS, 0x201B: APOS,  # single quotation marks
    0x201C: QUOTE, 0x201D: QUOTE, 0x201E: QUOTE, 0x201F: QUOTE,  # double quotation marks
    0x2032: APOS, 0x2033: QUOTE, 0x2034: APOS,  # prime, double prime, triple prime
    0x2035: APOS, 0x2036: QUOTE, 0x2037: APOS,  # reversed prime, double, triple
    0x2039: APOS, 0x203A: APOS,  # single angle quotation marks
    0x2057: APOS,  # quadruple prime
    0x275B: APOS, 0x275C: APOS,  # heavy single comma quotation mark ornaments
    0x275D: QUOTE, 0x275E: QUOTE,  # heavy double comma quotation mark ornaments
    0x275F: APOS, 0x2760: QUOTE,  # heavy low single, low double
    0x276E: QUOTE, 0x276F: QUOTE,  # heavy angle quotation mark ornaments
    0x2E42: QUOTE,  # double low-reversed-9 quotation mark
    0x300C: APOS, 0x300D: APOS, 0x300E: APOS, 0x300F: APOS,  # corner brackets
    0x301D: QUOTE, 0x301E: QUOTE, 0x301F: QUOTE,  # double prime quotation marks
    0xFE41: APOS, 0xFE42: APOS, 0xFE43: APOS, 0xFE44: APOS,  # vertical corner brackets
    0xFF02: APOS,  # fullwidth quotation mark: an apostrophe, not a quotation mark
    0xFF07: APOS,  # fullwidth apostrophe
    0xFF62: APOS, 0xFF63: APOS,  # halfwidth corner brackets
    0x1F676: QUOTE, 0x1F677: QUOTE, 0x1F678: QUOTE,  # sans-serif heavy double comma ornaments
    0xE0027: APOS,  # tag apostrophe
}

OTHER_SYMBOLS = [0x2026, 0x2044, 0x22EF]  # horizontal ellipsis, fraction slash, midline ellipsis
LINE_SEPARATORS = [0x2028, 0x2029]


def is_removable_control(cp: int, category: str) -> bool:
    return category == "Cc" and cp not in (0x09, 0x0A, 0x0D)


def figures(members: set[int]) -> tuple[int, int]:
    return len(ucdlib.inversion_list(members)) // 2, len(members)


def build(data: Path) -> tuple[list[int], list[int], dict[str, tuple[int, int]]]:
    size = ucdlib.MAX_CODE_POINT + 1
    unicode_data = ucdlib.UnicodeData(ucdlib.ucd_path(data, "UnicodeData.txt"))
    categories = [unicode_data.general_category(cp) for cp in range(size)]

    assert (len(SPACE_MAP), len(DASH_MAP), len(QUOTE_MAP)) == (16, 30, 55)
    maps = [set(SPACE_MAP), set(DASH_MAP), set(QUOTE_MAP)]
    assert sum(map(len, maps)) == len(set().union(*maps)), "a code point in two maps"

    props = [0] * size
    found: dict[str, tuple[int, int]] = {}
    for bit, (_, file, prop) in enumerate(PROPERTIES):
        members = ucdlib.code_point_set(ucdlib.ucd_path(data, file), prop)
        found[prop] = figures(members)
        for cp in members:
            props[cp] |= 1 << (PROPERTY_SHIFT + bit)
            if prop == "Default_Ignorable_Code_Point":
                props[cp] |= PASS_HIDDEN
    for prop, expected in EXPECTED_FIGURES.items():
        assert found[prop] == expected, f"{prop}: {found[prop]} (ranges, members), expected {expected}"

    for cp, category in enumerate(categories):
        if is_removable_control(cp, category):
            props[cp] |= PASS_CONTROL
    for cp in SPACE_MAP:
        props[cp] |= PASS_SPACE
    for cp in DASH_MAP:
        props[cp] |= PASS_DASH
    for cp, value in QUOTE_MAP.items():
        props[cp] |= PASS_QUOTE | (QUOTE_DOUBLE if value == QUOTE else 0)
    for cp in OTHER_SYMBOLS:
        props[cp] |= PASS_OTHER
    for cp in LINE_SEPARATORS:
        props[cp] |= PASS_LINE_SEP

    scripts = [SCRIPT_CLASSES.index(SCRIPT_UNLISTED)] * size
    for lo, hi, name in ucdlib.property_ranges(ucdlib.ucd_path(data, "Scripts.txt")):
        script = SCRIPT_CLASSES.index(name) if name in SCRIPT_CLASSES else SCRIPT_CLASSES.index("Other")
        for cp in range(lo, hi + 1):
            scripts[cp] = script
    assert len(GENERAL_CATEGORIES) <= 1 << GC_BITS and len(SCRIPT_CLASSES) <= 1 << (8 - GC_BITS)
    classes = [GENERAL_CATEGORIES.index(gc) | (sc << GC_BITS) for gc, sc in zip(categories, scripts)]

    assert max(props) < 1 << 16
    return props, classes, found


def render(props: list[int], classes: list[int], found: dict[str, tuple[int, int]], command: str) -> str:
    props_table = ucdlib.split_two_stage(props)
    class_table = ucdlib.split_two_stage(classes)
    bits = [("pass_hidden", PASS_HIDDEN), ("pass_control", PASS_CONTROL), ("pass_space", PASS_SPACE),
            ("pass_dash", PASS_DASH), ("pass_quote", PASS_QUOTE), ("pass_other", PASS_OTHER),
            ("pass_line_sep", PASS_LINE_SEP), ("quote_double", QUOTE_DOUBLE)]
    bits += [(name, 1 << (PROPERTY_SHIFT + i)) for i, (name, _, _) in enumerate(PROPERTIES)]
    bit_lines = "".join(f"inline constexpr std::uint16_t {ucdlib.constant_name('bit', name)} = 0x{value:X};\n"
                        for name, value in bits)
    script_lines = "".join(f"inline constexpr std::uint8_t {ucdlib.constant_name('script_class', name)} = {i};\n"
                           for i, name in enumerate(SCRIPT_CLASSES))
    figure_lines = "".join(
        f"inline constexpr SetFigures {ucdlib.constant_name('figures', name)} = "
        f"{{{found[prop][0]}, {found[prop][1]}}};  // {prop}\n"
        for name, _, prop in PROPERTIES)
    header = (ucdlib.generated_header(command, SOURCES) + "\n"
              "// Included by src/unicode/char_props.hpp. Two tables over the whole code space;\n"
              f"// sizes: CharProps {props_table.size} bytes, CharClass {class_table.size} bytes.\n")
    return ucdlib.table_file(header, "scrubix::unicode::char_data", [
        "// CharProps bits.\n" + bit_lines + "inline constexpr std::uint16_t kPassClassMask = 0x7F;\n",
        "// CharClass: general category in the low bits, script class above.\n"
        f"inline constexpr unsigned kGcBits = {GC_BITS};\n"
        f"inline constexpr std::uint8_t kGcMask = 0x{(1 << GC_BITS) - 1:X};\n" + script_lines,
        "// Inversion-list figures of the property sets: ranges and member code points.\n"
        "struct SetFigures {\n    std::uint32_t ranges;\n    std::uint32_t members;\n};\n" + figure_lines,
        ucdlib.format_two_stage("CharProps", props_table),
        ucdlib.format_two_stage("CharClass", class_table),
    ], includes=["<cstdint>", '"../two_stage_table.hpp"', '"unicode_version.hpp"'])


def main(argv: list[str] | None = None) -> int:
    parser = ucdlib.arg_parser(__doc__.splitlines()[0], ucdlib.REPO / "src" / "unicode" / "generated")
    args = parser.parse_args(argv)
    props, classes, found = build(args.data)
    ucdlib.write_file(args.out / OUT_NAME, render(props, classes, found, "python tools/gen_char_tables.py"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
