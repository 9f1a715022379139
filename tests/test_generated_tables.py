"""The committed generated tables are exactly what the generators write from the shared data."""

from __future__ import annotations

import random
import subprocess
import sys
from pathlib import Path

import pytest

from conftest import REPO, SHARED

GENERATORS = sorted((REPO / "tools").glob("gen_*.py"))


def _committed(name: str) -> list[Path]:
    return [p for p in REPO.glob(f"**/generated/{name}") if "build" not in p.relative_to(REPO).parts]


@pytest.mark.parametrize("generator", GENERATORS, ids=lambda p: p.stem)
def test_generator_reproduces_committed_tables(generator: Path, tmp_path: Path) -> None:
    if not SHARED.exists():
        pytest.skip(f"shared data not found at {SHARED}; cannot regenerate tables")
    proc = subprocess.run([sys.executable, str(generator), "--data", str(SHARED), "--out", str(tmp_path)],
                          capture_output=True, text=True, timeout=600)
    assert proc.returncode == 0, proc.stderr
    produced = sorted(p for p in tmp_path.rglob("*") if p.is_file())
    assert produced, f"{generator.name} wrote nothing"
    for fresh in produced:
        matches = _committed(fresh.name)
        assert len(matches) == 1, f"{fresh.name}: expected one committed copy, found {matches}"
        assert fresh.read_bytes() == matches[0].read_bytes(), (
            f"{matches[0].relative_to(REPO)} differs from a fresh run of {generator.name}; "
            f"regenerate it with `python {generator.relative_to(REPO)}`")


def _split_size(values: list, shift: int, value_bytes: int) -> int:
    """Bytes of the two-stage split of `values` with blocks of 2**shift, the naive way."""
    size = 1 << shift
    blocks = {tuple(values[i:i + size]) for i in range(0, len(values), size)}
    index_bytes = 1 if len(blocks) <= 0x100 else 2 if len(blocks) <= 0x10000 else 4
    return -(-len(values) // size) * index_bytes + len(blocks) * size * value_bytes


def test_splitter_is_exact_and_smallest() -> None:
    sys.path.insert(0, str(REPO / "tools"))
    import ucdlib

    rng = random.Random(11)
    for n in (1, 2, 5, 64, 1000, 5000):
        # Runs of repeated values, as in the code space, with a value needing 32 bits now and then.
        values: list[int] = []
        while len(values) < n:
            values += [rng.choice([0, 0, 7, 300, 70000])] * rng.randint(1, 40)
        values = values[:n]
        table = ucdlib.split_two_stage(values)
        assert [table[k] for k in range(n)] == values
        # No block size gives a smaller table (the last block padded with zeros, as the splitter does).
        width = 1 if max(values) < 0x100 else 2 if max(values) < 0x10000 else 4
        best = min(_split_size(values + [0] * ((1 << s) - 1 - (n - 1) % (1 << s)), s, width)
                   for s in range(n.bit_length() + 1))
        assert table.size == best, (n, table.shift)
    pairs = [(rng.randint(0, 3), 0xFF) for _ in range(300)]
    table = ucdlib.split_two_stage(pairs, value_bytes=3, fill=(0, 0xFF))
    assert [table[k] for k in range(300)] == pairs
