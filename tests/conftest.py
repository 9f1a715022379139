"""Shared fixtures: paths to the repository and to the shared data, and the native test runner."""

from __future__ import annotations

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[1]
# Unicode and transliteration data live beside the repository; tests that need them skip
# when the folder is absent.
SHARED = Path(os.environ.get("SCRUBIX_SHARED", REPO.parent / "shared"))
# The Unicode version the engine's tables are generated from, as the engine itself states it.
UNICODE_VERSION = re.search(r'kUnicodeVersion = "([\d.]+)"',
                            (REPO / "src" / "unicode" / "generated" / "unicode_version.hpp").read_text()).group(1)
UCD = SHARED / "unicode" / UNICODE_VERSION


def require_shared(*parts: str) -> Path:
    path = SHARED.joinpath(*parts)
    if not path.exists():
        pytest.skip(f"shared data not found: {path}")
    return path


def _cmake() -> str:
    exe = shutil.which("cmake")
    if exe is None:
        pytest.fail("cmake is not installed; install the test extras: pip install '.[test]'")
    return exe


@pytest.fixture(scope="session")
def native_runner() -> Path:
    """Builds (once, incrementally) and returns the native test runner."""
    build = REPO / "build" / "native-tests"
    cmd = [_cmake(), "-S", str(REPO), "-B", str(build), "-DSCRUBIX_BUILD_TESTS=ON",
           "-DSCRUBIX_BUILD_PYTHON=OFF", "-DCMAKE_BUILD_TYPE=Release"]
    if shutil.which("ninja") and not (build / "CMakeCache.txt").exists():
        cmd += ["-G", "Ninja"]
    for step in (cmd, [_cmake(), "--build", str(build), "--parallel", str(os.cpu_count() or 2)]):
        proc = subprocess.run(step, capture_output=True, text=True)
        if proc.returncode != 0:
            pytest.fail(f"native build failed: {' '.join(step)}\n{proc.stdout}\n{proc.stderr}")
    exe = build / ("scrubix_native_tests.exe" if sys.platform == "win32" else "scrubix_native_tests")
    return exe
