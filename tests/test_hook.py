"""The pre-commit hooks: their entries, run on the staged files of a git repository as pre-commit
runs them (entry, then args, then the file names), and once through pre-commit itself."""

from __future__ import annotations

import importlib.util
import os
import re
import shlex
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path
from typing import Dict, List, Optional, Sequence

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


def default_args(hook: Dict[str, str]) -> List[str]:
    return [item.strip() for item in hook.get("args", "[]").strip("[]").split(",") if item.strip()]


def run_hook(hook: Dict[str, str], repo: Path, args: Optional[Sequence[str]] = None) -> subprocess.CompletedProcess[str]:
    """Runs a hook as pre-commit does: entry, args (the hook's default unless given), file names."""
    staged = git(repo, "diff", "--cached", "--name-only", "-z").split("\0")
    entry = shlex.split(hook["entry"])
    assert entry[0] == "scrubix"
    command = [*console_script(), *entry[1:], *(default_args(hook) if args is None else args), *filter(None, staged)]
    env = {**os.environ, "PRE_COMMIT": "1"}
    return subprocess.run(command, cwd=repo, capture_output=True, text=True, env=env)


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
        assert default_args(hook) == ["--"]  # file names are never options
    assert "--check" in shlex.split(hooks["scrubix"]["entry"])
    assert "--in-place" in shlex.split(hooks["scrubix-fix"]["entry"])
    pyproject = (REPO / "pyproject.toml").read_text(encoding="utf-8")
    assert re.search(r'^\[project\.scripts\]\nscrubix = "scrubix\.cli:main"$', pyproject, re.M)


def summaries(stdout: str) -> list[str]:
    """The per-file summary lines of --check (the lines before them list each change)."""
    return [line for line in stdout.splitlines() if not re.match(r".*:\d+:\d+: ", line)]


def test_check_hook_fails_on_files_to_clean_and_changes_nothing(repo: Path) -> None:
    proc = run_hook(load_hooks()["scrubix"], repo)
    assert proc.returncode == 1, proc.stderr
    assert summaries(proc.stdout) == [
        "README.md: 3 changes (dashes_normalized: 1, quotes_normalized: 2)",
        "src/main.py: 1 change (hidden_chars_removed: 1)",
    ]
    assert "README.md:1:5: quotes_normalized: U+201C LEFT DOUBLE QUOTATION MARK -> '\"'" in proc.stdout
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
    proc = run_hook(load_hooks()["scrubix"], repo, ["--preset", "aggressive", "--"])
    assert proc.returncode == 1
    assert [line.split(":")[0] for line in summaries(proc.stdout)] == ["README.md", "src/main.py", "src/ok.py"]
    # Without the closing '--', file names could be read as options: refused.
    proc = run_hook(load_hooks()["scrubix"], repo, ["--preset", "aggressive"])
    assert proc.returncode == 2 and "end the hook's args with '--'" in proc.stderr


def test_files_named_like_options_are_files(repo: Path) -> None:
    for name in ("--preset=aggressive", "--nfkd", "-", "-i"):
        (repo / name).write_text("", encoding="utf-8")
    (repo / "--nfkd").write_text("\ufb01 \u201cq\u201d\n", encoding="utf-8")
    git(repo, "add", "--", ".")
    hooks = load_hooks()
    proc = run_hook(hooks["scrubix"], repo)
    assert proc.returncode == 1, proc.stderr
    assert [line.split(": ")[0] for line in summaries(proc.stdout)] == ["--nfkd", "README.md", "src/main.py"]
    assert run_hook(hooks["scrubix-fix"], repo).returncode == 0
    # The other files were cleaned with the hook's own options: no NFKD, no aggressive preset.
    assert (repo / "--nfkd").read_text(encoding="utf-8") == '\ufb01 "q"\n'
    assert (repo / "README.md").read_text(encoding="utf-8") == 'Use "quotes" - and emoji \U0001F600\u2026\n'
    assert (repo / "src" / "ok.py").read_text(encoding="utf-8") == "x = 'caf\u00e9'  # fine\n"


@pytest.mark.slow
@pytest.mark.skipif(importlib.util.find_spec("pre_commit") is None, reason="pre-commit is not installed")
def test_both_hooks_through_pre_commit(tmp_path: Path) -> None:
    # The hook repository: this working tree as one commit of a scratch repository.
    source = tmp_path / "scrubix"
    listed = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"], cwd=REPO,
                            check=True, capture_output=True).stdout.split(b"\0")
    for name in filter(None, listed):
        origin = REPO / os.fsdecode(name)
        if origin.is_file() and not origin.is_symlink():
            (source / os.fsdecode(name)).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(origin, source / os.fsdecode(name))
    git(source, "init", "-q")
    git(source, "add", ".")
    git(source, "commit", "-qm", "snapshot")
    rev = git(source, "rev-parse", "HEAD").strip()

    work = tmp_path / "work"
    work.mkdir()
    git(work, "init", "-q")
    files = {
        ".pre-commit-config.yaml": (f"repos:\n  - repo: {source}\n    rev: {rev}\n    hooks:\n"
                                    "      - id: scrubix\n      - id: scrubix-fix\n").encode(),
        "app.py": b"def f(x):\n    if x:\n        return 1  # \xe2\x80\x9cone\xe2\x80\x9d\n\tpass\n",
        "Makefile": b"all:\n\tcc  -o  app  app.c\n",
        "config.yaml": b"a:\n  b:\n    - c   # x\n",
        "image.png": b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xe2\x80\x9c",
        "data.bin": bytes(range(256)),
        "latin1.txt": "caf\u00e9 \u00bb r\u00e9sum\u00e9 \n".encode("latin-1"),
        "--preset=aggressive": b"",
        "--nfkd": b"\xef\xac\x81\n",
    }
    for name, data in files.items():
        (work / name).write_bytes(data)
    git(work, "add", "--", ".")
    env = {**os.environ, "PRE_COMMIT_HOME": str(tmp_path / "cache"), "CMAKE_BUILD_PARALLEL_LEVEL": "2"}

    def pre_commit(hook: str) -> subprocess.CompletedProcess[str]:
        return subprocess.run([sys.executable, "-m", "pre_commit", "run", hook, "--all-files"], cwd=work,
                              capture_output=True, text=True, env=env, timeout=1800)

    check = pre_commit("scrubix")
    assert check.returncode == 1, check.stdout + check.stderr
    assert "app.py: 2 changes (quotes_normalized: 2)" in check.stdout
    assert "latin1.txt: 1 change (trailing_whitespace_removed: 1)" in check.stdout
    assert all((work / name).read_bytes() == data for name, data in files.items())
    fix = pre_commit("scrubix-fix")
    assert fix.returncode == 1, fix.stdout + fix.stderr  # files were modified
    expected = {**files, "app.py": files["app.py"].replace(b"\xe2\x80\x9c", b'"').replace(b"\xe2\x80\x9d", b'"'),
                "latin1.txt": files["latin1.txt"].replace(b" \n", b"\n")}
    assert {name: (work / name).read_bytes() for name in files} == expected
    git(work, "add", "--", ".")
    assert pre_commit("scrubix").returncode == 0
    # The installed package carries the licence texts.
    licences = {p.name for p in (tmp_path / "cache").glob("**/scrubix-*.dist-info/licenses/**/*") if p.is_file()}
    assert {"LICENSE", "Unicode-3.0.txt", "deunicode-BSD-3-Clause.txt"} <= licences
