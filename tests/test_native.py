"""Runs the engine's native test suites (tests/cpp), one pytest test per suite."""

from __future__ import annotations

import re
import subprocess
from pathlib import Path

import pytest

from conftest import REPO, SHARED

_SUITE = re.compile(r'TEST_CASE\(\s*"([^"]+)"')


def _suites() -> list[str]:
    names: set[str] = set()
    for src in (REPO / "tests" / "cpp").glob("*.cpp"):
        names.update(_SUITE.findall(src.read_text(encoding="utf-8")))
    return sorted(names)


@pytest.mark.parametrize("suite", _suites())
def test_native_suite(native_runner: Path, suite: str) -> None:
    proc = subprocess.run([str(native_runner), "--data", str(SHARED), suite],
                          capture_output=True, text=True, timeout=900)
    if proc.returncode == 77:
        pytest.skip(proc.stdout.strip().splitlines()[0] if proc.stdout.strip() else "skipped")
    assert proc.returncode == 0, proc.stdout + proc.stderr
