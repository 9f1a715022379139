"""The type stubs: they match the native module, and `mypy --strict` accepts typical use and
rejects misuse (tests/typing_usage.py)."""

from __future__ import annotations

import importlib.util
import os
import subprocess
import sys
from pathlib import Path

import pytest

import scrubix

USAGE = Path(__file__).with_name("typing_usage.py")

pytestmark = pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="mypy is not installed")


def _mypy(tmp_path: Path, *args: str) -> subprocess.CompletedProcess[str]:
    env = dict(os.environ)
    package_root = Path(scrubix.__file__).resolve().parent.parent
    if package_root.name != "site-packages":
        env["MYPYPATH"] = str(package_root)
    return subprocess.run([sys.executable, "-m", *args], capture_output=True, text=True, env=env,
                          cwd=tmp_path, timeout=600)


def test_usage_passes_mypy_strict(tmp_path: Path) -> None:
    proc = _mypy(tmp_path, "mypy", "--strict", "--no-incremental", "--cache-dir", str(tmp_path / "cache"),
                 str(USAGE))
    assert proc.returncode == 0, proc.stdout + proc.stderr


def test_stubs_match_the_runtime(tmp_path: Path) -> None:
    proc = _mypy(tmp_path, "mypy.stubtest", "scrubix", "--mypy-config-file", os.devnull)
    assert proc.returncode == 0, proc.stdout + proc.stderr
