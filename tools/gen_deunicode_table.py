#!/usr/bin/env python3
"""Writes src/translit/generated/deunicode_data.inc from deunicode 1.6.2's table.

Input (in `--data`/deunicode-1.6.2/): `pointers.bin`, one 3-byte record `b0 b1 len` per code
point U+0000..U+222DD, and `mapping.txt`, the pool its longer strings point into. A record with
`len <= 2` holds its string in `b0 b1`; otherwise the string is `mapping.txt[off:off+len]` with
`off = b0 | b1 << 8`, and a range running past the end of the pool means "no entry". The few
entries the release gets wrong are replaced (CORRECTIONS).

Output: one lookup per code point through a two-stage index. Each slot holds a 16-bit offset into
a deduplicated string pool and an 8-bit length; the length kAbsent marks a code point without an
entry, which stays distinct from an empty string (length 0).
"""

from __future__ import annotations

import sys
from pathlib import Path

from ucdlib import (REPO, arg_parser, format_array, generated_header, split_two_stage, table_file,
                    two_stage_reader, write_file)

DEUNICODE_DIR = "deunicode-1.6.2"
RECORD_COUNT = 0x222DE
ABSENT = 0xFF
# Figures the deunicode README gives for this release; a different input is refused.
EXPECTED = {"records": 139_998, "absent": 60_168, "empty": 2_814, "longest": 41}
# Entries of this release that are wrong, with what replaces them (release value, ours).
# Eng has its case swapped: capital U+014A reads "ng" and small U+014B "NG", so "Yol\u014bu"
# came out "YolNGu". A long-standing fault that other transliteration tables have fixed.
CORRECTIONS = {0x014A: (b"ng", b"NG"), 0x014B: (b"NG", b"ng")}


def read_entries(data: Path) -> list[bytes | None]:
    folder = data / DEUNICODE_DIR
    pointers = (folder / "pointers.bin").read_bytes()
    pool = (folder / "mapping.txt").read_bytes()
    if len(pointers) % 3:
        raise SystemExit(f"pointers.bin: {len(pointers)} bytes is not a whole number of records")
    entries: list[bytes | None] = []
    for i in range(0, len(pointers), 3):
        b0, b1, length = pointers[i], pointers[i + 1], pointers[i + 2]
        if length <= 2:
            entries.append(bytes((b0, b1))[:length])
            continue
        off = b0 | b1 << 8
        entries.append(pool[off:off + length] if off + length <= len(pool) else None)
    return entries


def check_figures(entries: list[bytes | None]) -> None:
    present = [e for e in entries if e is not None]
    found = {"records": len(entries), "absent": len(entries) - len(present),
             "empty": sum(1 for e in present if not e), "longest": max(map(len, present))}
    if found != EXPECTED:
        raise SystemExit(f"deunicode data does not match release 1.6.2: {found} != {EXPECTED}")
    for cp, e in enumerate(entries):
        if e is not None and any(b != 0x0A and not 0x20 <= b < 0x7F for b in e):
            raise SystemExit(f"U+{cp:04X}: entry {e!r} holds a byte outside printable ASCII and LF")


def correct(entries: list[bytes | None]) -> None:
    for cp, (release, ours) in CORRECTIONS.items():
        if entries[cp] != release:
            raise SystemExit(f"U+{cp:04X}: expected the release's {release!r}, found {entries[cp]!r}")
        entries[cp] = ours


def build_pool(entries: list[bytes | None]) -> tuple[bytes, dict[bytes, int]]:
    """Concatenates the distinct strings, longest first, skipping any already inside the pool."""
    distinct = sorted({e for e in entries if e}, key=lambda s: (-len(s), s))
    pool = bytearray()
    offsets: dict[bytes, int] = {b"": 0}
    for s in distinct:
        at = pool.find(s)
        if at < 0:
            at = len(pool)
            pool += s
        offsets[s] = at
    if len(pool) > 0xFFFF:
        raise SystemExit(f"string pool of {len(pool)} bytes does not fit 16-bit offsets")
    return bytes(pool), offsets


def c_string_literal(data: bytes, width: int = 96) -> str:
    escapes = {0x0A: "\\n", 0x22: '\\"', 0x5C: "\\\\", 0x3F: "\\?"}
    lines = []
    for i in range(0, len(data), width):
        chunk = "".join(escapes.get(b, chr(b)) for b in data[i:i + width])
        lines.append(f'    "{chunk}"')
    return "\n".join(lines)


def licence_comment(data: Path) -> str:
    text = (data / DEUNICODE_DIR / "LICENSE").read_text(encoding="utf-8")
    body = "\n".join(("// " + line).rstrip() for line in text.strip().splitlines())
    return ("// Transliteration data of deunicode 1.6.2 (https://github.com/kornelski/deunicode),\n"
            "// redistributed under its BSD-3-Clause licence (LICENSES/deunicode-BSD-3-Clause.txt):\n"
            "//\n" + body + "\n")


def render(data: Path, entries: list[bytes | None]) -> str:
    pool, offsets = build_pool(entries)
    slots = [(0, ABSENT) if e is None else (offsets[e], len(e)) for e in entries]
    table = split_two_stage(slots, value_bytes=3, fill=(0, ABSENT))
    # Decode the split once more, as the C++ lookup will.
    for cp, e in enumerate(entries):
        off, length = table[cp]
        assert (None if length == ABSENT else pool[off:off + length]) == e, hex(cp)

    header = generated_header("python tools/gen_deunicode_table.py",
                              [f"{DEUNICODE_DIR}/pointers.bin", f"{DEUNICODE_DIR}/mapping.txt"],
                              notice=None)
    header += licence_comment(data) + (
        "\n// Included by src/translit/deunicode.cpp. Code point c < kDeunicodeRecords has no entry when\n"
        "// kDeunicodeLengths[DeunicodeTable::slot(c)] is kDeunicodeAbsent; otherwise its entry is\n"
        "// the string of that length at kDeunicodePool + kDeunicodeOffsets[slot].\n")
    return table_file(header, "scrubix::translit::deunicode_data", [
        f"inline constexpr char32_t kDeunicodeRecords = 0x{len(entries):X};\n"
        f"inline constexpr unsigned kDeunicodeShift = {table.shift};\n"
        f"inline constexpr std::uint8_t kDeunicodeAbsent = 0x{ABSENT:X};\n",
        format_array("kDeunicodeIndex", table.index, per_line=20),
        format_array("kDeunicodeOffsets", [o for o, _ in table.blocks], ctype="std::uint16_t", per_line=12),
        format_array("kDeunicodeLengths", [n for _, n in table.blocks], ctype="std::uint8_t", per_line=20),
        two_stage_reader("Deunicode", "kDeunicodeLengths"),
        f"inline constexpr char kDeunicodePool[{len(pool) + 1}] =\n" + c_string_literal(pool) + ";\n",
    ], includes=["<cstdint>", '"../../unicode/two_stage_table.hpp"'], unicode_data=False)


def main(argv: list[str] | None = None) -> int:
    args = arg_parser(__doc__.splitlines()[0], REPO / "src" / "translit" / "generated").parse_args(argv)
    entries = read_entries(args.data)
    if len(entries) != RECORD_COUNT:
        raise SystemExit(f"pointers.bin holds {len(entries)} records, expected {RECORD_COUNT}")
    check_figures(entries)
    correct(entries)
    write_file(args.out / "deunicode_data.inc", render(args.data, entries))
    return 0


if __name__ == "__main__":
    sys.exit(main())
