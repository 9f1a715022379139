"""Writes the normalization tables (UAX #15) of the engine: `normalization_data.inc`.

Per code point one 32-bit record, split into two stages:

    bits  0..7   canonical combining class
    bits  8..15  flags (quick-check answers, composition roles)
    bits 16..31  index of the code point's decomposition entry (0: none)

Decomposition entries hold the full (recursively expanded, canonically ordered) canonical and
compatibility decompositions as slices `offset << 5 | length` of one pooled array. Primary
composites are found through an open-addressing hash table of (first, second, composite)
triples packed into one 64-bit word each. Hangul syllables are left to arithmetic: they have
no decomposition entry and no composition pairs here.

Usage: python tools/gen_normalization_tables.py [--data DIR] [--out DIR]
"""

from __future__ import annotations

from pathlib import Path

import ucdlib

OUT_NAME = "normalization_data.inc"
COMMAND = "python tools/gen_normalization_tables.py"

# Flag bits, shifted into bits 8..15 of a record, written out under these C++ names.
NFD_QC_NO = 1 << 0
NFC_QC_NO = 1 << 1
NFC_QC_MAYBE = 1 << 2
NFKD_QC_NO = 1 << 3
NFKC_QC_NO = 1 << 4
NFKC_QC_MAYBE = 1 << 5
COMPOSES_WITH_NEXT = 1 << 6       # first character of some primary composite
COMPOSES_WITH_PREVIOUS = 1 << 7   # second character of some composite (conjoining V, T included)

FLAG_NAMES = [("kNfdQcNo", NFD_QC_NO), ("kNfcQcNo", NFC_QC_NO), ("kNfcQcMaybe", NFC_QC_MAYBE),
              ("kNfkdQcNo", NFKD_QC_NO), ("kNfkcQcNo", NFKC_QC_NO), ("kNfkcQcMaybe", NFKC_QC_MAYBE),
              ("kComposesWithNext", COMPOSES_WITH_NEXT),
              ("kComposesWithPrevious", COMPOSES_WITH_PREVIOUS)]

SLICE_LENGTH_BITS = 5
COMPOSITION_HASH_BITS = 11
COMPOSITION_MULTIPLIER = 0x9E3779B97F4A7C15
CODE_POINT_BITS = 21

def quick_check_flags(data: Path) -> dict[int, int]:
    path = ucdlib.ucd_path(data, "DerivedNormalizationProps.txt")
    bits = {("NFD_QC", "N"): NFD_QC_NO, ("NFC_QC", "N"): NFC_QC_NO, ("NFC_QC", "M"): NFC_QC_MAYBE,
            ("NFKD_QC", "N"): NFKD_QC_NO, ("NFKC_QC", "N"): NFKC_QC_NO,
            ("NFKC_QC", "M"): NFKC_QC_MAYBE}
    flags: dict[int, int] = {}
    for (prop, value), bit in bits.items():
        for lo, hi, v in ucdlib.property_ranges(path, prop):
            if v == value:
                for cp in range(lo, hi + 1):
                    flags[cp] = flags.get(cp, 0) | bit
    return flags


def composition_exclusions(data: Path) -> set[int]:
    path = ucdlib.ucd_path(data, "DerivedNormalizationProps.txt")
    excluded = ucdlib.code_point_set(path, "Full_Composition_Exclusion")
    # CompositionExclusions.txt lists the script-specific and post-version exclusions; every one
    # of them must be part of the derived property.
    listed: set[int] = set()
    for fields in ucdlib.iter_data_lines(ucdlib.ucd_path(data, "CompositionExclusions.txt")):
        lo, hi = ucdlib.parse_range(fields[0])
        listed.update(range(lo, hi + 1))
    assert listed <= excluded, sorted(listed - excluded)
    return excluded


def composition_hash(first: int, second: int) -> int:
    key = (first << CODE_POINT_BITS) | second
    return ((key * COMPOSITION_MULTIPLIER) & 0xFFFFFFFFFFFFFFFF) >> (64 - COMPOSITION_HASH_BITS)


def composition_table(pairs: dict[tuple[int, int], int]) -> tuple[list[int], int]:
    """Open addressing with linear probing; returns the slots and the longest probe sequence."""
    size = 1 << COMPOSITION_HASH_BITS
    assert len(pairs) * 2 <= size, "composition table too full"
    slots = [0] * size
    longest = 0
    for (first, second), composite in sorted(pairs.items()):
        h = composition_hash(first, second)
        probes = 1
        while slots[h]:
            h = (h + 1) & (size - 1)
            probes += 1
        slots[h] = (first << (2 * CODE_POINT_BITS)) | (second << CODE_POINT_BITS) | composite
        longest = max(longest, probes)
    # Every pair is found again by the lookup the engine performs.
    for (first, second), composite in pairs.items():
        h = composition_hash(first, second)
        key = (first << CODE_POINT_BITS) | second
        while slots[h] >> CODE_POINT_BITS != key:
            assert slots[h], (hex(first), hex(second))
            h = (h + 1) & (size - 1)
        assert slots[h] & ((1 << CODE_POINT_BITS) - 1) == composite
    return slots, longest


def build(data: Path) -> str:
    ucd = ucdlib.UnicodeData(ucdlib.ucd_path(data, "UnicodeData.txt"))
    ccc = ucd.combining
    flags = quick_check_flags(data)
    excluded = composition_exclusions(data)

    # Primary composites: canonical pairs that are not excluded.
    pairs: dict[tuple[int, int], int] = {}
    for cp, (compat, mapping) in sorted(ucd.decomposition.items()):
        if compat or len(mapping) != 2 or cp in excluded:
            continue
        assert not ucdlib.is_hangul_syllable(cp)
        pairs[(mapping[0], mapping[1])] = cp
    firsts = {first for first, _ in pairs}
    seconds = {second for _, second in pairs}

    # The quick-check data agrees with the mappings, which the engine relies on: "maybe" means
    # exactly "decomposes to something that starts with the second of a composite", "no" for the
    # decomposed forms means "has a mapping of that kind".
    jamo_vt = (set(range(ucdlib.HANGUL_V_BASE, ucdlib.HANGUL_V_BASE + ucdlib.HANGUL_V_COUNT))
               | set(range(ucdlib.HANGUL_T_BASE + 1, ucdlib.HANGUL_T_BASE + ucdlib.HANGUL_T_COUNT)))
    for cp in range(ucdlib.MAX_CODE_POINT + 1):
        f = flags.get(cp, 0)
        hangul = ucdlib.is_hangul_syllable(cp)
        entry = ucd.decomposition.get(cp)
        assert bool(f & NFD_QC_NO) == (hangul or (entry is not None and not entry[0])), hex(cp)
        assert bool(f & NFKD_QC_NO) == (hangul or entry is not None), hex(cp)
        lead = ucd.full_decomposition(cp, False)[0]
        combines_back = lead in seconds or lead in jamo_vt
        assert bool(f & NFC_QC_MAYBE) == (combines_back and not f & NFC_QC_NO), hex(cp)
        assert bool(f & NFKC_QC_MAYBE) == (combines_back and not f & NFKC_QC_NO), hex(cp)

    # Decomposition entries and their pool.
    pool: list[int] = []
    slices: dict[tuple[int, ...], int] = {}

    def slice_of(cps: list[int]) -> int:
        key = tuple(cps)
        if key not in slices:
            assert len(key) < (1 << SLICE_LENGTH_BITS)
            slices[key] = (len(pool) << SLICE_LENGTH_BITS) | len(key)
            pool.extend(key)
        return slices[key]

    canonical_slices = [0]
    compat_slices = [0]
    entry_of: dict[int, int] = {}
    longest = 0
    for cp in sorted(ucd.decomposition):
        canonical = ucd.full_decomposition(cp, False)
        compat = ucd.full_decomposition(cp, True)
        longest = max(longest, len(compat))
        entry_of[cp] = len(canonical_slices)
        canonical_slices.append(slice_of(canonical))
        compat_slices.append(slice_of(compat))
    assert longest == 18, longest  # U+FDFA; the engine's kMaxDecomposition
    assert len(canonical_slices) < (1 << 16)

    # Per-code-point records, up to the last code point with anything to say.
    records: dict[int, int] = {}
    for cp in set(ccc) | set(flags) | set(entry_of) | firsts | seconds | jamo_vt:
        f = flags.get(cp, 0)
        f |= COMPOSES_WITH_NEXT if cp in firsts else 0
        f |= COMPOSES_WITH_PREVIOUS if cp in seconds or cp in jamo_vt else 0
        records[cp] = ccc.get(cp, 0) | (f << 8) | (entry_of.get(cp, 0) << 16)
    values = [records.get(cp, 0) for cp in range(max(records) + 1)]
    records_table = ucdlib.split_two_stage(values)

    slots, probes = composition_table(pairs)

    # Below these code points every character is a starter that is "yes" in the form, so the
    # engine needs no lookup for it.
    def yes_below(not_yes: int) -> int:
        return min(cp for cp in records if ccc.get(cp, 0) or flags.get(cp, 0) & not_yes)

    thresholds = [("kNfdYesBelow", yes_below(NFD_QC_NO)),
                  ("kNfcYesBelow", yes_below(NFC_QC_NO | NFC_QC_MAYBE)),
                  ("kNfkdYesBelow", yes_below(NFKD_QC_NO)),
                  ("kNfkcYesBelow", yes_below(NFKC_QC_NO | NFKC_QC_MAYBE))]

    header = (ucdlib.generated_header(COMMAND, ["UnicodeData.txt", "CompositionExclusions.txt",
                                                 "DerivedNormalizationProps.txt"]) + "\n"
              "// Included by src/unicode/normalize_data.hpp.\n"
              f"// {len(pairs)} primary composites, longest probe sequence {probes};\n"
              f"// {len(canonical_slices) - 1} decomposition entries, pool of {len(pool)} code points.\n")
    return ucdlib.table_file(header, "scrubix::unicode::normalization", [
        "// Flags: bits 8..15 of a record.\n"
        + "".join(f"inline constexpr std::uint8_t {name} = 0x{bit:02X};\n" for name, bit in FLAG_NAMES),
        "// Every code point below these is a starter that passes the form's quick check.\n"
        + "".join(f"inline constexpr char32_t {name} = 0x{cp:X};\n" for name, cp in thresholds),
        "// Record of a code point (0 beyond the table): ccc | flags << 8 | decomposition entry << 16.\n"
        + ucdlib.format_two_stage("Record", records_table, values_per_line=8),
        "// Decomposition entry e: slices (offset << kSliceLengthBits | length) of the pool.\n"
        f"inline constexpr unsigned kSliceLengthBits = {SLICE_LENGTH_BITS};\n"
        + ucdlib.format_array("kCanonicalSlices", canonical_slices, ctype="std::uint32_t", per_line=10)
        + ucdlib.format_array("kCompatibilitySlices", compat_slices, ctype="std::uint32_t", per_line=10)
        + ucdlib.format_array("kDecompositionPool", pool, ctype="char32_t", per_line=10, hex_values=True),
        "// Slot: first << 42 | second << 21 | composite; 0 is empty. Probe linearly from\n"
        "// ((first << 21 | second) * kCompositionMultiplier) >> (64 - kCompositionHashBits).\n"
        f"inline constexpr unsigned kCompositionHashBits = {COMPOSITION_HASH_BITS};\n"
        f"inline constexpr std::uint64_t kCompositionMultiplier = 0x{COMPOSITION_MULTIPLIER:X};\n"
        + ucdlib.format_array("kCompositionSlots", slots, ctype="std::uint64_t", per_line=6, hex_values=True),
    ], includes=["<cstdint>", '"../two_stage_table.hpp"', '"unicode_version.hpp"'])


def main() -> None:
    args = ucdlib.arg_parser(__doc__.splitlines()[0],
                             ucdlib.REPO / "src" / "unicode" / "generated").parse_args()
    ucdlib.write_file(args.out / OUT_NAME, build(args.data))


if __name__ == "__main__":
    main()
