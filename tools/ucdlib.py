"""Shared helpers of the table generators: reading Unicode data files and writing C++ tables.

Standard library only. Every generator takes `--data DIR` (the shared data folder, holding
`unicode/16.0.0/...` and `deunicode-1.6.2/...`) and `--out DIR` (where the generated files go;
by default their place in the source tree), and writes its output deterministically.
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
                 per_line: int = 16, hex_values: bool = False, storage: str = "inline constexpr") -> str:
    ctype = ctype or ctype_for(values)
    fmt: Callable[[int], str] = (lambda v: f"0x{v:X}") if hex_values else str
    lines = []
    for i in range(0, len(values), per_line):
        lines.append("    " + ", ".join(fmt(v) for v in values[i:i + per_line]) + ",")
    body = "\n".join(lines)
    return f"{storage} {ctype} {name}[{max(len(values), 1)}] = {{\n{body}\n}};\n"


def two_stage(values: Sequence[int], shifts: Iterable[int] = range(4, 11)) -> tuple[int, list[int], list[int]]:
    """Splits a per-code-point list into (shift, index, blocks), picking the smallest layout.

    Lookup: blocks[(index[cp >> shift] << shift) | (cp & ((1 << shift) - 1))].
    The split is verified against the input before it is returned.
    """
    best = None
    for shift in shifts:
        size = 1 << shift
        block_ids: dict[tuple[int, ...], int] = {}
        index: list[int] = []
        blocks: list[int] = []
        for start in range(0, len(values), size):
            block = tuple(values[start:start + size])
            if len(block) < size:
                block = block + (0,) * (size - len(block))
            bid = block_ids.get(block)
            if bid is None:
                bid = len(block_ids)
                block_ids[block] = bid
                blocks.extend(block)
            index.append(bid)
        cost = len(index) * (1 if len(block_ids) < 256 else 2) + len(blocks) * _width(blocks)
        if best is None or cost < best[0]:
            best = (cost, shift, index, blocks)
    assert best is not None
    _, shift, index, blocks = best
    mask = (1 << shift) - 1
    for cp, v in enumerate(values):
        assert blocks[(index[cp >> shift] << shift) | (cp & mask)] == v
    return shift, index, blocks


def _width(values: Sequence[int]) -> int:
    t = ctype_for(values)
    return {"std::uint8_t": 1, "std::uint16_t": 2, "std::uint32_t": 4}.get(t, 8)


def generated_header(command: str, sources: Iterable[str], notice: str | None = NOTICE,
                     version: str = UNICODE_VERSION) -> str:
    lines = [f"// Generated by `{command}`. Do not edit.",
             "// Sources: " + ", ".join(sources) + "."]
    if notice:
        lines.append(notice.format(version=version))
    return "\n".join(lines) + "\n"


def write_file(path: Path, text: str) -> None:
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


_IDENT = re.compile(r"[^A-Za-z0-9_]")


def c_identifier(text: str) -> str:
    return _IDENT.sub("_", text)
