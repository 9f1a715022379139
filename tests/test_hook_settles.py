"""The fix hook, and the command line under every preset, settle real multilingual text in one
run: a second run over what the first wrote finds nothing to change."""

from __future__ import annotations

import os
import shlex
import shutil
import subprocess
from pathlib import Path
from typing import List

import pytest

from multilingual_text import build
from test_hook import console_script, load_hooks

PRESETS = ["default", "minimal", "balanced", "humanize", "aggressive", "code-safe"]


@pytest.fixture(scope="module")
def corpus(tmp_path_factory: pytest.TempPathFactory) -> Path:
    folder = tmp_path_factory.mktemp("multilingual")
    if build(folder) == 0:
        # Where the packages are known to be installed, a missing source is a failure.
        if os.environ.get("SCRUBIX_REQUIRE_TEXT_FIXTURE"):
            pytest.fail("no multilingual text found on this machine")
        pytest.skip("no locale data, iso-codes, gettext catalogues or docutils installed")
    return folder


def run(command: List[str], folder: Path) -> subprocess.CompletedProcess[str]:
    return subprocess.run([*console_script(), *command, "--no-progress", "--", str(folder)],
                          capture_output=True, text=True, env={**os.environ, "PRE_COMMIT": "1"})


def settles(command: List[str], corpus: Path, tmp_path: Path) -> None:
    folder = tmp_path / "text"
    shutil.copytree(corpus, folder)
    first = run([*command, "--in-place"], folder)
    assert first.returncode == 0, first.stderr
    check = [part for part in command if part not in ("--in-place", "-i")]
    second = run([*check, "--check"], folder)
    assert (second.returncode, second.stdout) == (0, ""), second.stdout[:2000]


def test_fix_hook_settles_in_one_run(corpus: Path, tmp_path: Path) -> None:
    entry = shlex.split(load_hooks()["scrubix-fix"]["entry"])[1:]
    settles(entry, corpus, tmp_path)


@pytest.mark.parametrize("preset", PRESETS)
def test_every_preset_settles_in_one_run(preset: str, corpus: Path, tmp_path: Path) -> None:
    settles(["--preset", preset, "--collapse-indentation"], corpus, tmp_path)
