"""Shared helpers of the table generators: reading Unicode data files and writing C++ tables.

Standard library only. Every generator takes `--data DIR` (the shared data folder, holding
`unicode/<UNICODE_VERSION>/...` and `deunicode-1.6.2/...`) and `--out DIR` (where the generated files go;
by default their place in the source tree), and writes its output deterministically.

`UNICODE_VERSION` is the one place the engine's Unicode version is set: gen_unicode_version.py
writes it for the engine and the tests, and every table derived from the data asserts it.
Every per-code-point table is split by `split_two_stage` and read in C++ through
`TwoStageTable` (src/unicode/two_stage_table.hpp).
"""

from __future__ import annotations

import argparse
import re
from pathlib import Path
from typing import Callable, Iterable, Iterator, Sequence

REPO = Path(__file__).resolve().parents[1]
DEFAULT_DATA = REPO.parent / "shared"
UNICODE_VERSION = "16.0.0"
MAX_CODE_POINT = 0x10FFFF

NOTICE = """\
// Derived from the Unicode Character Database, Unicode {version}.
// Copyright (c) 2001-2024 Unicode, Inc. Distributed under the Unicode License v3;
// see LICENSES/Unicode-3.0.txt in the repository."""


def arg_parser(description: str, default_out: Path) -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(description=description)
    p.add_argument("--data", type=Path, default=DEFAULT_DATA,
                   help="shared data folder (default: %(default)s)")
    p.add_argument("--out", type=Path, default=default_out,
                   help="output folder (default: %(default)s)")
    return p


def ucd_path(data: Path, name: str, version: str = UNICODE_VERSION) -> Path:
    return data / "unicode" / version / name


def iter_data_lines(path: Path) -> Iterator[list[str]]:
    """Yields the ';'-separated, stripped fields of each non-comment line."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                yield [field.strip() for field in line.split(";")]


def parse_range(field: str) -> tuple[int, int]:
    if ".." in field:
        lo, hi = field.split("..")
        return int(lo, 16), int(hi, 16)
    cp = int(field, 16)
    return cp, cp


def property_ranges(path: Path, prop: str | None = None) -> list[tuple[int, int, str]]:
    """(first, last, value) for every line; with `prop`, only lines whose second field is it.

    For binary-property files the value is the property name; for enumerated ones
    (`Scripts.txt`, `GraphemeBreakProperty.txt`) it is the value, and for
    `prop; value` lines (InCB in DerivedCoreProperties) the third field.
    """
    out = []
    for fields in iter_data_lines(path):
        lo, hi = parse_range(fields[0])
        if prop is not None:
            if fields[1] != prop:
                continue
            value = fields[2] if len(fields) > 2 else prop
        else:
            value = fields[1]
        out.append((lo, hi, value))
    return out


def code_point_set(path: Path, prop: str) -> set[int]:
    members: set[int] = set()
    for lo, hi, _ in property_ranges(path, prop):
        members.update(range(lo, hi + 1))
    return members


def inversion_list(members: Iterable[int]) -> list[int]:
    """The strictly increasing boundaries of a set: start of each range, then one past its end."""
    bounds: list[int] = []
    for cp in sorted(set(members)):
        if bounds and bounds[-1] == cp:
            bounds[-1] = cp + 1
        else:
            bounds += [cp, cp + 1]
    return bounds


class UnicodeData:
    """The fields of UnicodeData.txt the generators need, with ranges expanded."""

    def __init__(self, path: Path):
        self.category: dict[int, str] = {}
        self.combining: dict[int, int] = {}
        self.decomposition: dict[int, tuple[bool, list[int]]] = {}  # cp -> (compat, mapping)
        self.name: dict[int, str] = {}
        first = None
        for fields in iter_data_lines(path):
            cp = int(fields[0], 16)
            name, gc = fields[1], fields[2]
            if name.endswith(", First>"):
                first = cp
                continue
            lo = first if name.endswith(", Last>") else cp
            first = None
            for c in range(lo, cp + 1):
                self.category[c] = gc
                self.name[c] = name
            if fields[3] != "0":
                self.combining[cp] = int(fields[3])
            if fields[5]:
                parts = fields[5].split()
                compat = parts[0].startswith("<")
                if compat:
                    parts = parts[1:]
                self.decomposition[cp] = (compat, [int(x, 16) for x in parts])

    def general_category(self, cp: int) -> str:
        return self.category.get(cp, "Cn")

    def full_decomposition(self, cp: int, compat: bool) -> list[int]:
        """The recursive decomposition of `cp` (canonical only unless `compat`) in canonical
        order; Hangul syllables decompose by arithmetic, a code point without one is itself."""
        if is_hangul_syllable(cp):
            return hangul_decomposition(cp)
        entry = self.decomposition.get(cp)
        if entry is None or (entry[0] and not compat):
            return [cp]
        out = [d for part in entry[1] for d in self.full_decomposition(part, compat)]
        return canonical_order(out, self.combining)


def canonical_order(cps: list[int], ccc: dict[int, int]) -> list[int]:
    """Stable sort of each run of non-starters by combining class."""
    out: list[int] = []
    run: list[int] = []
    for cp in cps:
        if ccc.get(cp, 0) != 0:
            run.append(cp)
            continue
        out.extend(sorted(run, key=lambda c: ccc[c]))
        run = []
        out.append(cp)
    return out + sorted(run, key=lambda c: ccc[c])


# Hangul syllables: S = S_BASE + (L * V_COUNT + V) * T_COUNT + T, with T = 0 for an LV syllable.
HANGUL_S_BASE, HANGUL_L_BASE, HANGUL_V_BASE, HANGUL_T_BASE = 0xAC00, 0x1100, 0x1161, 0x11A7
HANGUL_L_COUNT, HANGUL_V_COUNT, HANGUL_T_COUNT = 19, 21, 28
HANGUL_S_COUNT = HANGUL_L_COUNT * HANGUL_V_COUNT * HANGUL_T_COUNT


def is_hangul_syllable(cp: int) -> bool:
    return HANGUL_S_BASE <= cp < HANGUL_S_BASE + HANGUL_S_COUNT


def hangul_decomposition(cp: int) -> list[int]:
    """The two or three conjoining jamo of a Hangul syllable."""
    s = cp - HANGUL_S_BASE
    out = [HANGUL_L_BASE + s // (HANGUL_V_COUNT * HANGUL_T_COUNT),
           HANGUL_V_BASE + (s % (HANGUL_V_COUNT * HANGUL_T_COUNT)) // HANGUL_T_COUNT]
    if s % HANGUL_T_COUNT:
        out.append(HANGUL_T_BASE + s % HANGUL_T_COUNT)
    return out


# ---- writing C++ ----------------------------------------------------------------------------

def ctype_for(values: Sequence[int]) -> str:
    lo, hi = min(values, default=0), max(values, default=0)
    if lo < 0:
        for bits in (8, 16, 32):
            if -(1 << (bits - 1)) <= lo and hi < (1 << (bits - 1)):
                return f"std::int{bits}_t"
        return "std::int64_t"
    for bits in (8, 16, 32):
        if hi < (1 << bits):
            return f"std::uint{bits}_t"
    return "std::uint64_t"


def format_array(name: str, values: Sequence[int], ctype: str | None = None,
                 per_line: int = 16, hex_values: bool = False) -> str:
    ctype = ctype or ctype_for(values)
    fmt: Callable[[int], str] = (lambda v: f"0x{v:X}") if hex_values else str
    lines = []
    for i in range(0, len(values), per_line):
        lines.append("    " + ", ".join(fmt(v) for v in values[i:i + per_line]) + ",")
    body = "\n".join(lines)
    return f"inline constexpr {ctype} {name}[{max(len(values), 1)}] = {{\n{body}\n}};\n"


def ctype_width(ctype: str) -> int:
    return {"std::uint8_t": 1, "std::uint16_t": 2, "std::uint32_t": 4, "char32_t": 4}.get(ctype, 8)


class TwoStageTable:
    """A per-key list split into an index of block numbers and a pool of distinct blocks.

    Value of key k: blocks[(index[k >> shift] << shift) | (k & ((1 << shift) - 1))], the lookup
    of `TwoStageTable` in src/unicode/two_stage_table.hpp.
    """

    def __init__(self, shift: int, index: list[int], blocks: list, value_bytes: int):
        self.shift, self.index, self.blocks, self.value_bytes = shift, index, blocks, value_bytes

    def __getitem__(self, key: int):
        return self.blocks[(self.index[key >> self.shift] << self.shift) | (key & ((1 << self.shift) - 1))]

    @property
    def index_type(self) -> str:
        return ctype_for(self.index)

    @property
    def size(self) -> int:
        """Bytes of both stages."""
        return len(self.index) * ctype_width(self.index_type) + len(self.blocks) * self.value_bytes


def split_two_stage(values: Sequence, value_bytes: int | None = None, fill=0) -> TwoStageTable:
    """The smallest two-stage split of `values` over every block size, verified key by key.

    Integer values are stored in the narrowest unsigned type that holds them; other values
    (tuples stored in parallel arrays) give their size in `value_bytes`. A last, partial block
    is padded with `fill`.
    """
    if value_bytes is None:
        value_bytes = ctype_width(ctype_for(values))
    best: TwoStageTable | None = None
    for shift in range(max(len(values) - 1, 1).bit_length(), -1, -1):
        size = 1 << shift
        if best is not None and -(-len(values) // size) >= best.size:
            break  # the index alone is already larger, and grows with every smaller shift
        block_ids: dict[tuple, int] = {}
        index: list[int] = []
        blocks: list = []
        for start in range(0, len(values), size):
            block = tuple(values[start:start + size])
            block += (fill,) * (size - len(block))
            bid = block_ids.setdefault(block, len(block_ids))
            if bid * size == len(blocks):
                blocks.extend(block)
            index.append(bid)
        table = TwoStageTable(shift, index, blocks, value_bytes)
        if best is None or table.size < best.size:
            best = table
    assert best is not None
    for key, value in enumerate(values):
        assert best[key] == value, f"two-stage split loses the value of {key:#x}"
    return best


def format_two_stage(name: str, table: TwoStageTable, *, values_per_line: int = 16,
                     hex_values: bool = True) -> str:
    """The C++ form of a table of integers: `k{name}Shift`, `k{name}Index`, `k{name}Blocks`
    and the reader `{name}Table`."""
    return (f"inline constexpr unsigned k{name}Shift = {table.shift};\n"
            + format_array(f"k{name}Index", table.index, per_line=20) + "\n"
            + format_array(f"k{name}Blocks", table.blocks, per_line=values_per_line,
                           hex_values=hex_values) + "\n"
            + two_stage_reader(name, f"k{name}Blocks"))


def two_stage_reader(name: str, blocks: str) -> str:
    return (f"using {name}Table = ::scrubix::unicode::TwoStageTable<k{name}Index, {blocks}, "
            f"k{name}Shift>;\n")


def generated_header(command: str, sources: Iterable[str], notice: str | None = NOTICE,
                     version: str = UNICODE_VERSION) -> str:
    lines = [f"// Generated by `{command}`. Do not edit.",
             "// Sources: " + ", ".join(sources) + "."]
    if notice:
        lines.append(notice.format(version=version))
    return "\n".join(lines) + "\n"


def table_file(header: str, namespace: str, parts: Iterable[str], *, includes: Sequence[str],
               unicode_data: bool = True) -> str:
    """A generated table file: the header comment, the includes, then `parts` in `namespace`,
    opened by the assertion of the Unicode version when the data is Unicode's."""
    system = [f"#include {name}\n" for name in includes if name.startswith("<")]
    local = [f"#include {name}\n" for name in includes if not name.startswith("<")]
    include_lines = "".join(system) + ("\n" if system and local else "") + "".join(local)
    body = ([version_check()] if unicode_data else []) + list(parts)
    return "\n".join([header, "#pragma once\n", include_lines, f"namespace {namespace} {{\n", *body,
                      f"}}  // namespace {namespace}\n"])


def version_check() -> str:
    """The assertion, in a table derived from the engine's Unicode data, that the data is of
    the version every other such table and the tests use (src/unicode/generated/unicode_version.hpp)."""
    return (f'static_assert(::scrubix::unicode::kUnicodeVersion == "{UNICODE_VERSION}",\n'
            f'              "generated from other Unicode data than unicode_version.hpp: regenerate");\n')


def write_file(path: Path, text: str) -> None:
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


_IDENT = re.compile(r"[^A-Za-z0-9_]")


def c_identifier(text: str) -> str:
    return _IDENT.sub("_", text)


def constant_name(*words: str) -> str:
    """The C++ name of a generated constant: `constant_name("gcb", "regional_indicator")` is
    `kGcbRegionalIndicator`."""
    parts = [w for word in words for w in c_identifier(word).split("_") if w]
    return "k" + "".join(w[0].upper() + w[1:] for w in parts)
