"""A short run of every fuzz target (fuzz/), when clang with libFuzzer is installed.

Run: python -m pytest tests/test_fuzz_smoke.py
Each target runs SCRUBIX_FUZZ_SECONDS seconds (default 20) through fuzz/run.sh, which builds
the targets with ASan and UBSan and seeds the corpus when needed. Longer sessions by hand:
fuzz/run.sh TARGET SECONDS (see fuzz/README.md).
"""

from __future__ import annotations

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from conftest import REPO

TARGETS = ["fuzz_normalize", "fuzz_clusters", "fuzz_clean"]
SECONDS = int(os.environ.get("SCRUBIX_FUZZ_SECONDS", "20"))
# The targets bring their own sanitizer runtime: a preloaded one (tools/sanitized_tests.sh)
# must not reach them.
ENV = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")}


def _libfuzzer_missing(tmp: Path) -> str | None:
    """Why libFuzzer cannot be used here, or None when it can."""
    if sys.platform != "linux":
        return "the fuzz scripts are written for Linux"
    if shutil.which("clang++") is None:
        return "clang++ is not installed (apt-get install -y clang)"
    probe = tmp / "probe.cpp"
    probe.write_text('#include <cstddef>\n#include <cstdint>\nextern "C" int LLVMFuzzerTestOneInput('
                     "const std::uint8_t*, std::size_t) { return 0; }\n")
    proc = subprocess.run(["clang++", "-fsanitize=fuzzer,address,undefined", str(probe), "-o", str(tmp / "probe")],
                          capture_output=True, text=True, env=ENV)
    return None if proc.returncode == 0 else "clang++ cannot link libFuzzer with ASan/UBSan: " + proc.stderr[-300:]


@pytest.fixture(scope="module")
def fuzz_build(tmp_path_factory: pytest.TempPathFactory) -> Path:
    why = _libfuzzer_missing(tmp_path_factory.mktemp("libfuzzer-probe"))
    if why:
        pytest.skip(why)
    out = REPO / "build" / "fuzz"
    proc = subprocess.run(["bash", str(REPO / "fuzz" / "build.sh"), str(out)], capture_output=True, text=True,
                          timeout=900, env=ENV)
    assert proc.returncode == 0, proc.stdout[-3000:] + proc.stderr[-3000:]
    return out


@pytest.mark.slow
@pytest.mark.parametrize("target", TARGETS)
def test_fuzz_target_finds_nothing(fuzz_build: Path, target: str) -> None:
    env = dict(ENV, FUZZ_BUILD_DIR=str(fuzz_build))
    proc = subprocess.run(["bash", str(REPO / "fuzz" / "run.sh"), target, str(SECONDS)], capture_output=True,
                          text=True, env=env, timeout=SECONDS + 600)
    log = proc.stdout + proc.stderr
    assert proc.returncode == 0, log[-6000:]
    assert "Done" in log and "stat::number_of_executed_units" in log, log[-3000:]
