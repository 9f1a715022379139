"""The committed generated tables are exactly what the generators write from the shared data."""

from __future__ import annotations

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
