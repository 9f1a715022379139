"""The pre-commit hooks: their entries, run on the staged files of a git repository as pre-commit
runs them (entry, then args, then the file names), without installing pre-commit itself."""

from __future__ import annotations

import os
import re
import shlex
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path
from typing import Dict, List, Sequence

import pytest

from conftest import REPO

pytestmark = pytest.mark.skipif(shutil.which("git") is None, reason="git is not installed")


def load_hooks() -> Dict[str, Dict[str, str]]:
    """The hooks of .pre-commit-hooks.yaml by id. The file keeps to a small subset of YAML: a
    list of flat mappings whose values are plain scalars or [a, b] lists."""
    hooks: List[Dict[str, str]] = []
    for line in (REPO / ".pre-commit-hooks.yaml").read_text(encoding="utf-8").splitlines():
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        match = re.fullmatch(r"(- |  )([a-z_]+): (\S.*)", line)
        assert match, f"unexpected line in .pre-commit-hooks.yaml: {line!r}"
        if match[1] == "- ":
            hooks.append({})
        hooks[-1][match[2]] = match[3]
    return {hook["id"]: hook for hook in hooks}


def console_script() -> List[str]:
    script = Path(sysconfig.get_path("scripts")) / "scrubix"
    return [str(script)] if script.exists() else [sys.executable, "-m", "scrubix"]


def run_hook(hook: Dict[str, str], repo: Path, args: Sequence[str] = ()) -> subprocess.CompletedProcess[str]:
    staged = git(repo, "diff", "--cached", "--name-only", "-z").split("\0")
    entry = shlex.split(hook["entry"])
    assert entry[0] == "scrubix"
    command = [*console_script(), *entry[1:], *args, *filter(None, staged)]
    return subprocess.run(command, cwd=repo, capture_output=True, text=True)


def git(repo: Path, *args: str) -> str:
    env = {**os.environ, "GIT_AUTHOR_NAME": "t", "GIT_AUTHOR_EMAIL": "t@example.org",
           "GIT_COMMITTER_NAME": "t", "GIT_COMMITTER_EMAIL": "t@example.org"}
    return subprocess.run(["git", *args], cwd=repo, check=True, capture_output=True, text=True, env=env).stdout


@pytest.fixture
def repo(tmp_path: Path) -> Path:
    git(tmp_path, "init", "-q")
    (tmp_path / "README.md").write_text("Use \u201cquotes\u201d \u2014 and emoji \U0001F600\u2026\n", encoding="utf-8")
    (tmp_path / "src").mkdir()
    (tmp_path / "src" / "main.py").write_text("print('hi')\u200b\n", encoding="utf-8")
    (tmp_path / "src" / "ok.py").write_text("x = 'caf\u00e9'  # fine\n", encoding="utf-8")
    git(tmp_path, "add", ".")
    return tmp_path


def test_hooks_are_declared_for_the_console_script() -> None:
    hooks = load_hooks()
    assert set(hooks) == {"scrubix", "scrubix-fix"}
    for hook in hooks.values():
        assert hook["language"] == "python"
        assert hook["types"] == "[text]"
    assert "--check" in shlex.split(hooks["scrubix"]["entry"])
    assert "--in-place" in shlex.split(hooks["scrubix-fix"]["entry"])
    pyproject = (REPO / "pyproject.toml").read_text(encoding="utf-8")
    assert re.search(r'^\[project\.scripts\]\nscrubix = "scrubix\.cli:main"$', pyproject, re.M)


def test_check_hook_fails_on_files_to_clean_and_changes_nothing(repo: Path) -> None:
    proc = run_hook(load_hooks()["scrubix"], repo)
    assert proc.returncode == 1, proc.stderr
    assert proc.stdout.splitlines() == [
        "README.md: 3 changes (dashes_normalized: 1, quotes_normalized: 2)",
        "src/main.py: 1 change (hidden_chars_removed: 1)",
    ]
    assert git(repo, "status", "--porcelain") == "A  README.md\nA  src/main.py\nA  src/ok.py\n"


def test_fix_hook_rewrites_files_then_check_passes(repo: Path) -> None:
    hooks = load_hooks()
    proc = run_hook(hooks["scrubix-fix"], repo)
    assert proc.returncode == 0, proc.stderr
    # pre-commit fails the commit because files changed; the working tree holds the fixes.
    assert git(repo, "diff", "--name-only").split() == ["README.md", "src/main.py"]
    assert (repo / "README.md").read_text(encoding="utf-8") == 'Use "quotes" - and emoji \U0001F600\u2026\n'
    git(repo, "add", ".")
    assert run_hook(hooks["scrubix"], repo).returncode == 0
    assert run_hook(hooks["scrubix-fix"], repo).stdout == ""


def test_hook_args_override_the_preset(repo: Path) -> None:
    # `args` come after the entry, so a later --preset wins.
    proc = run_hook(load_hooks()["scrubix"], repo, ["--preset", "aggressive"])
    assert proc.returncode == 1
    assert [line.split(":")[0] for line in proc.stdout.splitlines()] == ["README.md", "src/main.py", "src/ok.py"]
