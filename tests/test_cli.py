"""The `scrubix` command: modes, options, exit codes, errors and safe rewriting."""

from __future__ import annotations

import importlib.metadata
import io
import json
import os
import re
import signal
import stat
import subprocess
import sys
import sysconfig
import tempfile
import time
from pathlib import Path
from typing import Any, Dict, Iterator, List, Optional, Tuple

import pytest

import scrubix._diff
import scrubix.cli
from conftest import REPO
from scrubix import Cleaner, Options
from scrubix._stream import clean_pieces
from scrubix.cli import EXIT_CHANGES, EXIT_ERROR, EXIT_INTERRUPTED, EXIT_OK, build_options, build_parser, main

SMART = "He said \u201chello\u201d \u2014 twice.\n"
HIDDEN = "zero\u200bwidth\n"
PLAIN = "plain text\n"
CODE_SAFE = ["--preset", "code-safe"]


def run(argv: List[str], capsysbinary: pytest.CaptureFixture[bytes], stdin: bytes = b"",
        monkeypatch: Optional[pytest.MonkeyPatch] = None) -> Tuple[int, bytes, str]:
    """Runs main() in this process; returns exit status, standard output and standard error."""
    if monkeypatch is not None:
        monkeypatch.setattr(sys, "stdin", io.TextIOWrapper(io.BytesIO(stdin)))
    try:
        status = main(argv)
    except SystemExit as exc:  # argparse usage errors
        status = int(exc.code or 0)
    out, err = capsysbinary.readouterr()
    return status, out, err.decode()


@pytest.fixture
def tree(tmp_path: Path) -> Path:
    """A folder with two files to clean, a clean one, and files that must never be touched."""
    (tmp_path / "smart.txt").write_text(SMART, encoding="utf-8")
    sub = tmp_path / "sub"
    sub.mkdir()
    (sub / "hidden.md").write_text(HIDDEN, encoding="utf-8")
    (sub / "plain.txt").write_text(PLAIN, encoding="utf-8")
    for skipped in (".git", "node_modules"):
        (tmp_path / skipped).mkdir()
        (tmp_path / skipped / "x.txt").write_text(SMART, encoding="utf-8")
    (tmp_path / "image.bin").write_bytes(b"\x89PNG\0\0\xe2\x80\x9c")
    return tmp_path


def snapshot(folder: Path) -> Dict[str, Tuple[bytes, int, int, int]]:
    return {str(p.relative_to(folder)): (p.read_bytes(), p.stat().st_ino, p.stat().st_mtime_ns, p.stat().st_mode)
            for p in sorted(folder.rglob("*")) if p.is_file()}


# --- standard input and output ------------------------------------------------------------------

def test_filters_stdin_to_stdout(capsysbinary: pytest.CaptureFixture[bytes], monkeypatch: pytest.MonkeyPatch) -> None:
    text = "Caf\u00e9 \u2014 \u201chi\u201d  \r\n\U0001F600 ok\u2026"
    for argv, opts in (([], Options()), (["-"], Options()), (CODE_SAFE, Options.code_safe_preset()),
                       (["--preset", "humanize"], Options.humanize_preset())):
        status, out, err = run(argv, capsysbinary, text.encode(), monkeypatch)
        assert (status, err) == (EXIT_OK, "")
        assert out.decode() == Cleaner(opts).clean(text).text


def test_module_and_console_script_run_the_command(tmp_path: Path) -> None:
    commands = [[sys.executable, "-m", "scrubix"]]
    script = Path(sysconfig.get_path("scripts")) / ("scrubix.exe" if os.name == "nt" else "scrubix")
    if script.exists():
        commands.append([str(script)])
    for command in commands:
        proc = subprocess.run(command, input="Caf\u00e9 \u2014 \u201chi\u201d\n".encode(), capture_output=True)
        assert proc.returncode == 0, proc.stderr
        assert proc.stdout == b'Cafe - "hi"\n'
        usage = subprocess.run([*command, "--check", "--no-such-flag"], capture_output=True, text=True)
        assert usage.returncode == EXIT_ERROR and "unrecognized arguments" in usage.stderr


def test_several_files_are_cleaned_one_by_one(tmp_path: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    # Each file is its own text: the trailing space of the first is trailing, not joined to the next.
    (tmp_path / "a.txt").write_text("one  ", encoding="utf-8")
    (tmp_path / "b.txt").write_text("\U0001F600 two", encoding="utf-8")
    status, out, _ = run([str(tmp_path / "a.txt"), str(tmp_path / "b.txt")], capsysbinary)
    assert (status, out) == (EXIT_OK, b"onetwo")


def test_large_input_streams_to_the_one_call_result(tmp_path: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    parts = ["w\u00f6rd  \r\n", "\U0001F600 x\n", "e\u0301\n", "\u201cq\u201d\t\n", "\n", "  \u2026\n", "=\u0338\n"]
    text = "".join(parts[(i * 7) % len(parts)] * (i % 3 + 1) for i in range(3000))
    path = tmp_path / "big.txt"
    path.write_bytes(text.encode())
    for preset in ("default", "humanize", "aggressive"):
        status, out, err = run(["--preset", preset, "--chunk-size", "97", "--stats", str(path)], capsysbinary)
        whole = Cleaner(scrubix.cli.PRESETS[preset]()).clean(text)
        assert status == EXIT_OK
        assert out.decode() == whole.text
        record = json.loads(err)
        assert record == {"path": str(path), "changes_made": whole.changes_made, "stats": whole.stats}


# --- options ------------------------------------------------------------------------------------

def test_flags_apply_on_top_of_the_preset() -> None:
    parse = build_parser().parse_args
    assert build_options(parse([])) == Options()
    for name, preset in scrubix.cli.PRESETS.items():
        assert build_options(parse(["--preset", name])) == preset()
    args = parse(["--preset", "code-safe", "--drop-emoji", "--no-remove-hidden", "--keyboard-only", "--nfkc",
                  "--line-endings", "crlf", "--non-ascii", "fold", "--collapse-whitespace", "--extended-keyboard"])
    assert build_options(args) == Options.code_safe_preset().replace(
        keep_emoji=False, remove_hidden=False, keyboard_only=True, unicode_normalization="nfkc",
        line_endings="crlf", non_ascii_policy="fold", collapse_whitespace=True, extended_keyboard=True)
    assert build_options(parse(["--normalize", "nfd"])).unicode_normalization == "nfd"
    assert build_options(parse(["--preset", "aggressive", "--line-endings", "auto"])).line_endings is None
    assert build_options(parse(["--keyboard-only", "--no-keyboard-only"])).keyboard_only is False  # last wins


@pytest.mark.parametrize("argv", [
    ["--keep-emoji", "--drop-emoji"], ["--nfc", "--nfd"], ["--check", "--diff"], ["--check", "-i", "x"],
    ["--preset", "loose"], ["--non-ascii", "keep"], ["--line-endings", "lfcr"], ["--chunk-size", "0"],
    ["--chunk-size", "99999999999"], ["--chunk-size", "x"],
    ["--errors", "xmlcharrefreplace"], ["-i"], ["-i", "-"],
])
def test_usage_errors_exit_2(argv: List[str], capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    status, out, err = run(argv, capsysbinary)
    assert status == EXIT_ERROR and out == b""
    assert "usage: scrubix" in err


def test_help_documents_the_exit_codes(capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    status, out, _ = run(["--help"], capsysbinary)
    assert status == EXIT_OK
    lines = [line.split(None, 1) for line in out.decode().splitlines()]
    codes = {parts[0] for parts in lines if parts and parts[0].isdigit()}
    assert codes == {"0", "1", "2", "130"}


def test_help_shows_the_table_command_and_a_file_named_table_stays_a_file(
        tmp_path: Path, capsysbinary: pytest.CaptureFixture[bytes], monkeypatch: pytest.MonkeyPatch) -> None:
    _, out, _ = run(["--help"], capsysbinary)
    usage = out.decode().split("\n\n", 1)[0]
    assert usage.splitlines()[-1].split()[:3] == ["scrubix", "table", "IN"]
    monkeypatch.chdir(tmp_path)
    Path("table").write_bytes("\u201chi\u201d\n".encode())
    for argv in (["./table"], ["--", "table"]):
        assert run(argv, capsysbinary)[:2] == (EXIT_OK, b'"hi"\n')


# --- check and diff -----------------------------------------------------------------------------

def test_check_lists_files_that_would_change(tree: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    before = snapshot(tree)
    status, out, err = run([*CODE_SAFE, "--check", str(tree)], capsysbinary)
    assert status == EXIT_CHANGES and err == ""
    smart, hidden = tree / "smart.txt", tree / "sub" / "hidden.md"
    assert out.decode().splitlines() == [
        f"{smart}:1:9: quotes_normalized: U+201C LEFT DOUBLE QUOTATION MARK -> '\"'",
        f"{smart}:1:15: quotes_normalized: U+201D RIGHT DOUBLE QUOTATION MARK -> '\"'",
        f"{smart}:1:17: dashes_normalized: U+2014 EM DASH -> '-'",
        f"{smart}: 3 changes (dashes_normalized: 1, quotes_normalized: 2)",
        f"{hidden}:1:5: hidden_chars_removed: U+200B ZERO WIDTH SPACE -> ''",
        f"{hidden}: 1 change (hidden_chars_removed: 1)",
    ]
    assert snapshot(tree) == before
    status, out, _ = run([*CODE_SAFE, "--check", str(tree / "sub" / "plain.txt")], capsysbinary)
    assert (status, out) == (EXIT_OK, b"")


def test_diff_shows_what_would_change(tree: Path, capsysbinary: pytest.CaptureFixture[bytes],
                                      monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.chdir(tree)
    before = snapshot(tree)
    status, out, _ = run([*CODE_SAFE, "--diff", "smart.txt", "sub"], capsysbinary)
    assert status == EXIT_CHANGES
    assert out.decode() == (
        "diff --git a/smart.txt b/smart.txt\n--- a/smart.txt\n+++ b/smart.txt\n@@ -1 +1 @@\n"
        f"-{SMART}+He said \"hello\" - twice.\n"
        "diff --git a/sub/hidden.md b/sub/hidden.md\n--- a/sub/hidden.md\n+++ b/sub/hidden.md\n@@ -1 +1 @@\n"
        f"-{HIDDEN}+zerowidth\n")
    assert snapshot(tree) == before
    # A last line without a line break is marked as such; clean input gives no diff at all.
    (tree / "end.txt").write_text("a\nb \u2019", encoding="utf-8")
    status, out, _ = run([*CODE_SAFE, "--diff", "end.txt", "sub/plain.txt"], capsysbinary)
    assert status == EXIT_CHANGES
    assert out.decode() == ("diff --git a/end.txt b/end.txt\n--- a/end.txt\n+++ b/end.txt\n@@ -1,2 +1,2 @@\n a\n-b \u2019\n"
                            "\\ No newline at end of file\n+b '\n\\ No newline at end of file\n")
    status, out, _ = run([*CODE_SAFE, "--diff", "sub/plain.txt"], capsysbinary)
    assert (status, out) == (EXIT_OK, b"")


def test_diff_applies_with_patch(tree: Path, capsysbinary: pytest.CaptureFixture[bytes],
                                 monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.chdir(tree)
    (tree / "crlf.txt").write_bytes("x\u00a0\r\n\u201cy\u201d \r\nlast\u2026".encode())
    _, diff, _ = run(["--preset", "balanced", "--diff", "crlf.txt", "smart.txt"], capsysbinary)
    try:
        proc = subprocess.run(["git", "apply", "-"], input=diff, cwd=tree, capture_output=True)
    except FileNotFoundError:
        pytest.skip("git is not installed")
    assert proc.returncode == 0, proc.stderr
    status, out, _ = run(["--preset", "balanced", "--check", "crlf.txt", "smart.txt"], capsysbinary)
    assert (status, out) == (EXIT_OK, b"")
    assert (tree / "crlf.txt").read_bytes() == b'x\r\n"y"\r\nlast...'


def test_stats_are_json_lines_on_stderr(tree: Path, capsysbinary: pytest.CaptureFixture[bytes],
                                        monkeypatch: pytest.MonkeyPatch) -> None:
    status, out, err = run([*CODE_SAFE, "--check", "--stats", str(tree / "smart.txt"), "-"], capsysbinary,
                           HIDDEN.encode(), monkeypatch)
    assert status == EXIT_CHANGES
    records = [json.loads(line) for line in err.splitlines()]
    expected = [Cleaner(Options.code_safe_preset()).clean(t) for t in (SMART, HIDDEN)]
    assert records == [{"path": name, "changes_made": r.changes_made, "stats": r.stats}
                       for name, r in zip([str(tree / "smart.txt"), "<stdin>"], expected)]
    assert out.decode().splitlines()[-1] == "<stdin>: 1 change (hidden_chars_removed: 1)"


# --- in place -----------------------------------------------------------------------------------

def test_in_place_fixes_files_and_leaves_the_rest_alone(tree: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    (tree / "smart.txt").chmod(0o640)
    before = snapshot(tree)
    status, out, err = run([*CODE_SAFE, "-i", str(tree)], capsysbinary)
    assert status == EXIT_OK and err == ""
    assert out.decode().splitlines() == [
        f"{tree / 'smart.txt'}: fixed 3 changes (dashes_normalized: 1, quotes_normalized: 2)",
        f"{tree / 'sub' / 'hidden.md'}: fixed 1 change (hidden_chars_removed: 1)",
    ]
    after = snapshot(tree)
    assert after["smart.txt"][0] == b'He said "hello" - twice.\n'
    assert after["sub/hidden.md"][0] == b"zerowidth\n"
    assert stat.S_IMODE(after["smart.txt"][3]) == 0o640
    changed = {name for name in before if before[name] != after[name]}
    assert changed == {"smart.txt", "sub/hidden.md"}  # inode and mtime of the rest unchanged
    assert sorted(after) == sorted(before)  # no temporary file left behind
    status, out, _ = run([*CODE_SAFE, "--check", str(tree)], capsysbinary)
    assert (status, out) == (EXIT_OK, b"")


def test_in_place_with_nothing_to_do_touches_nothing(tree: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    sub = tree / "sub"
    (sub / "hidden.md").unlink()
    before = snapshot(tree), sub.stat().st_mtime_ns
    status, out, _ = run([*CODE_SAFE, "-i", str(sub)], capsysbinary)
    assert (status, out) == (EXIT_OK, b"")
    assert (snapshot(tree), sub.stat().st_mtime_ns) == before


def test_in_place_follows_a_symbolic_link(tree: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    link = tree / "link.txt"
    link.symlink_to(tree / "smart.txt")
    status, _, _ = run([*CODE_SAFE, "-i", str(link)], capsysbinary)
    assert status == EXIT_OK
    assert link.is_symlink()
    assert (tree / "smart.txt").read_text(encoding="utf-8") == 'He said "hello" - twice.\n'


class Boom(OSError):
    pass


def _failing_after(count: int, error: BaseException) -> Any:
    """A stand-in for clean_pieces that fails after `count` pieces."""
    real = clean_pieces

    def pieces(*args: Any, **kwargs: Any) -> Iterator[Any]:
        for n, piece in enumerate(real(*args, **kwargs)):
            if n == count:
                raise error
            yield piece
    return pieces


@pytest.mark.parametrize("where", ["while writing", "at fsync", "at rename", "interrupted while writing"])
def test_a_failed_rewrite_keeps_the_original(where: str, tmp_path: Path, capsysbinary: pytest.CaptureFixture[bytes],
                                             monkeypatch: pytest.MonkeyPatch) -> None:
    path = tmp_path / "doc.txt"
    original = ("a \u201cline\u201d\n" * 200).encode()  # many pieces: every line starts in ASCII
    path.write_bytes(original)
    if where == "while writing":
        monkeypatch.setattr(scrubix.cli, "clean_pieces", _failing_after(5, Boom(28, "No space left on device")))
    elif where == "interrupted while writing":
        monkeypatch.setattr(scrubix.cli, "clean_pieces", _failing_after(5, KeyboardInterrupt()))
    else:
        def fail(*args: Any) -> None:
            raise Boom(5, "Input/output error")
        monkeypatch.setattr(os, "fsync" if where == "at fsync" else "replace", fail)
    status, out, err = run(["-i", "--chunk-size", "16", str(path)], capsysbinary)
    if where.startswith("interrupted"):
        assert status == EXIT_INTERRUPTED and "interrupted" in err
    else:
        assert status == EXIT_ERROR
        assert err.startswith(f"scrubix: error: {path}: ")
    assert out == b""
    assert path.read_bytes() == original
    assert os.listdir(tmp_path) == ["doc.txt"]


# --- input errors -------------------------------------------------------------------------------

def test_missing_files_and_folders_are_errors(tree: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    missing = tree / "missing.txt"
    status, out, err = run([str(missing), str(tree / "sub" / "plain.txt")], capsysbinary)
    assert status == EXIT_ERROR
    assert out == PLAIN.encode()  # the other inputs are still processed
    assert err == f"scrubix: error: {missing}: No such file or directory\n"
    status, out, err = run([str(tree / "sub")], capsysbinary)
    assert status == EXIT_ERROR and out == b""
    assert err.startswith(f"scrubix: error: {tree / 'sub'}: is a directory")
    # An error outranks found changes.
    status, out, _ = run(["--check", str(tree / "smart.txt"), str(missing)], capsysbinary)
    assert status == EXIT_ERROR and out.startswith(str(tree / "smart.txt").encode())


def test_invalid_utf8_names_file_and_byte_offset(tmp_path: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    path = tmp_path / "latin1.txt"
    data = "\u201cok\u201d\n".encode() * 1000 + "caf\u00e9 \u2014\n".encode("latin-1", "replace")
    path.write_bytes(data)
    offset = data.index(b"\xe9")
    for mode in ([], ["--check"], ["-i"], ["--diff"]):
        status, _, err = run([*mode, "--chunk-size", "64", str(path)], capsysbinary)
        assert status == EXIT_ERROR
        assert err == f"scrubix: error: {path}: not valid UTF-8 at byte {offset}: invalid continuation byte " \
                      "(see --errors)\n"
    assert path.read_bytes() == data


def test_error_handlers_for_undecodable_bytes(tmp_path: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    path = tmp_path / "mixed.txt"
    path.write_bytes(b"caf\xe9 \xe2\x80\x9cq\xe2\x80\x9d  \n")
    expected = {"replace": "caf\ufffd \"q\"\n".encode(), "ignore": b'caf "q"\n',
                "backslashreplace": b'caf\\xe9 "q"\n', "surrogateescape": b'caf\xe9 "q"\n'}
    for errors, output in expected.items():
        status, out, _ = run([*CODE_SAFE, "--errors", errors, str(path)], capsysbinary)
        assert (status, out) == (EXIT_OK, output)
    # Rewriting in place with surrogateescape keeps the undecodable byte as it was.
    status, _, _ = run([*CODE_SAFE, "--errors", "surrogateescape", "-i", str(path)], capsysbinary)
    assert status == EXIT_OK and path.read_bytes() == expected["surrogateescape"]


def test_binary_files_are_skipped_when_checking(tree: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    image = tree / "image.bin"
    status, out, err = run(["--check", str(image)], capsysbinary)
    assert (status, out) == (EXIT_OK, b"")
    assert err == f"scrubix: skipping binary file: {image}\n"


def test_closed_output_stops_quietly(tmp_path: Path) -> None:
    path = tmp_path / "big.txt"
    path.write_text("line \u201cx\u201d\n" * 200_000, encoding="utf-8")
    proc = subprocess.Popen([sys.executable, "-m", "scrubix", "--chunk-size", "4096", str(path)],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    assert proc.stdout is not None and proc.stderr is not None
    assert proc.stdout.readline() == b'line "x"\n'
    proc.stdout.close()  # as `scrubix big.txt | head -1` does
    assert proc.wait(timeout=60) == EXIT_ERROR
    assert proc.stderr.read() == b""
    proc.stderr.close()


def test_interrupt_exits_130(tree: Path, capsysbinary: pytest.CaptureFixture[bytes],
                             monkeypatch: pytest.MonkeyPatch) -> None:
    def interrupted(*args: Any, **kwargs: Any) -> Iterator[Any]:
        raise KeyboardInterrupt
        yield
    monkeypatch.setattr(scrubix.cli, "clean_pieces", interrupted)
    status, out, err = run([str(tree / "smart.txt")], capsysbinary)
    assert (status, out, err) == (EXIT_INTERRUPTED, b"", "scrubix: interrupted\n")


# --- never losing data, metadata or meaning ------------------------------------------------------

def test_in_place_refuses_to_flatten_indentation(tmp_path: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    path = tmp_path / "f.py"
    code = b"def f(x):\n    if x:\n        return  1\n"
    path.write_bytes(code)
    for argv in (["--collapse-whitespace"], ["--preset", "humanize"]):
        status, _, err = run([*argv, "-i", str(path)], capsysbinary)
        assert status == EXIT_ERROR and "--collapse-indentation" in err
        assert path.read_bytes() == code
    status, out, _ = run(["--collapse-whitespace", "--check", str(path)], capsysbinary)
    assert status == EXIT_CHANGES  # checking and printing are still allowed
    status, _, _ = run(["--collapse-whitespace", "--collapse-indentation", "-i", str(path)], capsysbinary)
    assert status == EXIT_OK and path.read_bytes() == b"def f(x):\n if x:\n return 1\n"
    _, help_text, _ = run(["--help"], capsysbinary)
    assert b"leading indentation" in help_text


def test_undecodable_bytes_are_kept_or_reported(tmp_path: Path, capsysbinary: pytest.CaptureFixture[bytes],
                                                monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.chdir(tmp_path)
    latin = b"caf\xe9 r\xe9sum\xe9\n"
    Path("latin.txt").write_bytes(latin)
    for preset in scrubix.cli.PRESETS:
        status, out, _ = run(["--preset", preset, "--collapse-indentation", "--errors", "surrogateescape", "-i",
                              "latin.txt"], capsysbinary)
        assert (status, out, Path("latin.txt").read_bytes()) == (EXIT_OK, b"", latin)
    # A lossy handler changes the bytes: that alone is a change, counted, and --diff shows the bytes.
    for errors, word, fixed in (("ignore", "dropped", b"caf rsum\n"), ("replace", "replaced", "caf\ufffd".encode()),
                                ("backslashreplace", "escaped", b"caf\\xe9 r\\xe9sum\\xe9\n")):
        argv = ["--preset", "minimal", "--errors", errors]
        status, out, err = run([*argv, "--check", "--stats", "latin.txt"], capsysbinary)
        assert status == EXIT_CHANGES
        assert out == f"latin.txt: 0 changes; 3 undecodable bytes {word}\n".encode()
        assert json.loads(err)["undecodable_bytes"] == 3
        status, diff, _ = run([*argv, "--diff", "latin.txt"], capsysbinary)
        assert status == EXIT_CHANGES and b"-caf\xe9 r\xe9sum\xe9\n" in diff
        proc = subprocess.run(["git", "apply", "-"], input=diff, capture_output=True)
        assert proc.returncode == 0, proc.stderr
        assert Path("latin.txt").read_bytes().startswith(fixed)
        Path("latin.txt").write_bytes(latin)
        status, out, _ = run([*argv, "-i", "latin.txt"], capsysbinary)
        assert status == EXIT_OK and out.startswith(b"latin.txt: fixed 0 changes; 3 undecodable bytes")
        assert Path("latin.txt").read_bytes().startswith(fixed)
        Path("latin.txt").write_bytes(latin)


def test_only_regular_files_are_rewritten_each_read_once(tmp_path: Path) -> None:
    fifo = tmp_path / "pipe.txt"
    os.mkfifo(fifo)
    for target in (str(fifo), "/dev/null"):
        # No writer: refused at once instead of waiting; nothing is left behind.
        proc = subprocess.run([sys.executable, "-m", "scrubix", "-i", target], capture_output=True, text=True, timeout=60)
        assert proc.returncode == EXIT_ERROR and "not a regular file" in proc.stderr
    assert sorted(os.listdir(tmp_path)) == ["pipe.txt"] and stat.S_ISFIFO(fifo.stat().st_mode)
    # --check reads a pipe once, as any reader would (the binary test does not read it apart).
    proc = subprocess.Popen([sys.executable, "-m", "scrubix", "--check", str(fifo)], stdout=subprocess.PIPE)
    with open(fifo, "wb") as writer:
        writer.write("\u201cx\u201d\n".encode())
    assert proc.communicate(timeout=60)[0].splitlines()[-1] == f"{fifo}: 2 changes (quotes_normalized: 2)".encode()


def _acl(*entries: Tuple[int, int, int]) -> bytes:
    # The kernel's POSIX ACL extended attribute: version 2, then (tag, permissions, id) entries.
    return (2).to_bytes(4, "little") + b"".join(
        tag.to_bytes(2, "little") + perm.to_bytes(2, "little") + ident.to_bytes(4, "little") for tag, perm, ident in entries)


def test_in_place_keeps_owner_modes_acls_and_xattrs(tmp_path: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    if not hasattr(os, "setxattr") or os.geteuid() != 0:
        pytest.skip("needs extended attributes and root (to give files other owners and setuid bits)")
    path = tmp_path / "doc.txt"
    path.write_text(SMART, encoding="utf-8")
    anyone = 0xFFFFFFFF
    acl = _acl((1, 6, anyone), (2, 4, 12345), (4, 4, anyone), (0x10, 4, anyone), (0x20, 0, anyone))
    try:
        os.setxattr(path, "user.origin", b"kept")
        os.setxattr(path, "system.posix_acl_access", acl)
    except OSError as exc:
        pytest.skip(f"the file system of {tmp_path} has no extended attributes or ACLs: {exc}")
    os.chown(path, 4242, 4343)
    os.chmod(path, 0o6640)  # setuid and setgid, which a change of owner would clear
    before = os.stat(path)
    status, _, err = run([*CODE_SAFE, "-i", str(path)], capsysbinary)
    assert status == EXIT_OK, err
    after = os.stat(path)
    assert after.st_ino != before.st_ino and path.read_text(encoding="utf-8") == 'He said "hello" - twice.\n'
    assert (after.st_uid, after.st_gid, after.st_mode) == (4242, 4343, before.st_mode)
    assert os.getxattr(path, "user.origin") == b"kept"
    assert os.getxattr(path, "system.posix_acl_access") == acl
    assert os.listdir(tmp_path) == ["doc.txt"]


def _as_nobody(argv: List[str]) -> Tuple[int, str]:
    """Runs main() in a child process as user and group 65534; returns its status and standard error."""
    read, write = os.pipe()
    pid = os.fork()
    if pid == 0:  # pragma: no cover - the child
        status = 99
        try:
            os.close(read)
            os.setgroups([])
            os.setgid(65534)
            os.setuid(65534)
            sys.stderr = os.fdopen(write, "w")
            status = main(argv)
            sys.stderr.flush()
        finally:
            os._exit(status)
    os.close(write)
    with os.fdopen(read) as pipe:
        err = pipe.read()
    return os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]), err


def test_in_place_refuses_what_it_cannot_keep(tmp_path: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    # Hard links: replacing one name would leave the other with the old text.
    first, second = tmp_path / "a.txt", tmp_path / "b.txt"
    first.write_text(SMART, encoding="utf-8")
    os.link(first, second)
    status, out, err = run(["-i", str(first)], capsysbinary)
    assert (status, out) == (EXIT_ERROR, b"") and "2 hard links" in err
    assert first.read_text(encoding="utf-8") == second.read_text(encoding="utf-8") == SMART
    second.unlink()
    # Another user's file in a folder anyone may write to: its owner cannot be kept.
    assert os.listdir(tmp_path) == ["a.txt"]
    if os.geteuid() == 0 and hasattr(os, "fork"):
        with tempfile.TemporaryDirectory() as shared:  # reachable by every user, unlike tmp_path
            os.chmod(shared, 0o777)
            path = Path(shared, "a.txt")
            path.write_text(SMART, encoding="utf-8")
            status, err = _as_nobody(["-i", str(path)])
            assert status == EXIT_ERROR and "cannot keep its owner" in err
            assert (path.stat().st_uid, path.read_text(encoding="utf-8")) == (0, SMART)
            assert os.listdir(shared) == ["a.txt"]


def test_a_file_changing_meanwhile_is_left_alone(tmp_path: Path, capsysbinary: pytest.CaptureFixture[bytes],
                                                 monkeypatch: pytest.MonkeyPatch) -> None:
    path = tmp_path / "log.txt"
    path.write_bytes("\u201cline\u201d\n".encode() * 100)
    real = clean_pieces

    def appending(*args: Any, **kwargs: Any) -> Iterator[Any]:
        for n, piece in enumerate(real(*args, **kwargs)):
            if n == 1:
                with open(path, "ab") as log:
                    log.write(b"appended\n")
            yield piece
    monkeypatch.setattr(scrubix.cli, "clean_pieces", appending)
    status, out, err = run(["-i", "--chunk-size", "64", str(path)], capsysbinary)
    assert (status, out) == (EXIT_ERROR, b"") and "changed while it was being cleaned" in err
    assert path.read_bytes().endswith(b"\xe2\x80\x9d\nappended\n")
    assert os.listdir(tmp_path) == ["log.txt"]
    # Read-only files are rewritten (as sed -i does) and stay read-only.
    monkeypatch.setattr(scrubix.cli, "clean_pieces", real)
    path.chmod(0o444)
    status, _, _ = run(["-i", str(path)], capsysbinary)
    assert status == EXIT_OK and path.read_bytes().startswith(b'"line"\n')
    assert stat.S_IMODE(path.stat().st_mode) == 0o444


@pytest.mark.parametrize("signum", [signal.SIGTERM, signal.SIGHUP])
def test_signals_during_a_rewrite_leave_no_temporary_file(signum: int, tmp_path: Path) -> None:
    path = tmp_path / "big.txt"
    original = "w\u00f6rd \u201cq\u201d\n".encode() * 200_000
    path.write_bytes(original)
    # The command, with a pause after each piece it writes, so that the signal always comes
    # while the temporary file is there (the engine alone may finish first).
    slowed = ("import sys, time, scrubix.cli as cli\n"
              "real = cli.clean_pieces\n"
              "def slow(*args, **kwargs):\n"
              "    for piece in real(*args, **kwargs):\n"
              "        yield piece\n"
              "        time.sleep(0.05)\n"
              "cli.clean_pieces = slow\n"
              "sys.exit(cli.main())\n")
    # (The signal starts at its default: under nohup the command rightly keeps SIGHUP ignored.)
    proc = subprocess.Popen([sys.executable, "-c", slowed, "-i", "--chunk-size", "65536", str(path)],
                            stderr=subprocess.PIPE, preexec_fn=lambda: signal.signal(signum, signal.SIG_DFL))
    deadline = time.monotonic() + 60
    while not any(name.startswith(".scrubix-") for name in os.listdir(tmp_path)):
        assert proc.poll() is None and time.monotonic() < deadline, "no temporary file appeared"
        time.sleep(0.005)
    proc.send_signal(signum)
    _, err = proc.communicate(timeout=60)
    assert proc.returncode == 128 + signum, err
    assert os.listdir(tmp_path) == ["big.txt"] and path.read_bytes() == original


def test_walks_skip_temporary_files_and_handle_any_name(tmp_path: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    (tmp_path / ".scrubix-abcd1234.tmp").write_text(SMART, encoding="utf-8")
    (tmp_path / ".old.txt.x1y2z3.scrubix-tmp").write_text(SMART, encoding="utf-8")
    odd = os.fsencode(tmp_path) + b"/caf\xe9 \x01.txt"
    with open(odd, "wb") as f:
        f.write(SMART.encode())
    (tmp_path / "z.txt").write_text(SMART, encoding="utf-8")
    long_name = tmp_path / ("\u00e9" * 127 + "x")  # 255 bytes, as long as a name may be
    long_name.write_text(SMART, encoding="utf-8")
    status, out, err = run([*CODE_SAFE, "--check", str(tmp_path)], capsysbinary)
    assert status == EXIT_CHANGES, err
    listed = sorted(line.rsplit(b": 3 changes", 1)[0] for line in out.splitlines() if b": 3 changes" in line)
    assert listed == sorted([odd, os.fsencode(long_name), os.fsencode(tmp_path / "z.txt")])
    status, out, err = run([*CODE_SAFE, "-i", os.fsdecode(odd), str(long_name), str(tmp_path / "z.txt")], capsysbinary)
    assert (status, err) == (EXIT_OK, "")
    assert out.count(b"fixed") == 3
    assert open(odd, "rb").read() == long_name.read_bytes() == b'He said "hello" - twice.\n'


def test_internal_errors_never_look_like_changes(tree: Path, capsysbinary: pytest.CaptureFixture[bytes],
                                                monkeypatch: pytest.MonkeyPatch) -> None:
    real = clean_pieces
    calls = []

    def fails_once(*args: Any, **kwargs: Any) -> Iterator[Any]:
        calls.append(1)
        if len(calls) == 1:
            raise RuntimeError("boom")
        return real(*args, **kwargs)
    monkeypatch.setattr(scrubix.cli, "clean_pieces", fails_once)
    status, out, err = run([*CODE_SAFE, "-i", str(tree / "smart.txt"), str(tree / "sub")], capsysbinary)
    assert status == EXIT_ERROR
    assert err == f"scrubix: error: {tree / 'smart.txt'}: internal error: RuntimeError: boom\n"
    assert out.decode() == f"{tree / 'sub' / 'hidden.md'}: fixed 1 change (hidden_chars_removed: 1)\n"


@pytest.mark.parametrize("name", ["a.txt", "with space.txt", "tab\there.txt", "quote\"d.txt", "\u00e9t\u00e9.txt"])
def test_diff_labels_apply_with_git_from_any_spelling(name: str, tmp_path: Path, capsysbinary: pytest.CaptureFixture[bytes],
                                                      monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.chdir(tmp_path)
    subprocess.run(["git", "init", "-q"], check=True)
    Path("d").mkdir()
    for spelling in (".", f"./d/{name}", str(tmp_path / "d" / name), f"d/../d/{name}"):
        Path("d", name).write_text(SMART * 3, encoding="utf-8")
        status, diff, _ = run([*CODE_SAFE, "--diff", spelling], capsysbinary)
        assert status == EXIT_CHANGES
        proc = subprocess.run(["git", "apply", "-"], input=diff, capture_output=True)
        assert proc.returncode == 0, (spelling, diff, proc.stderr)
        assert Path("d", name).read_text(encoding="utf-8") == 'He said "hello" - twice.\n' * 3


def test_long_diffs_stream_and_apply(tmp_path: Path, capsysbinary: pytest.CaptureFixture[bytes],
                                     monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.chdir(tmp_path)
    monkeypatch.setattr(scrubix._diff, "BLOCK_LIMIT", 300)  # also write blocks as whole replacements
    quoted = "\u201cq\u201d"
    text = "".join(f"{n} {quoted if n % 7 == 0 else 'plain'}\n" for n in range(400)) + "no \u2014 end"
    one_line = "word \u201cq\u201d " * 300  # no line break at all
    for name, content in (("lines.txt", text), ("one.txt", one_line)):
        Path(name).write_text(content, encoding="utf-8")
        status, diff, _ = run([*CODE_SAFE, "--chunk-size", "64", "--diff", name], capsysbinary)
        assert status == EXIT_CHANGES
        proc = subprocess.run(["git", "apply", "-"], input=diff, capture_output=True)
        assert proc.returncode == 0, proc.stderr
        assert Path(name).read_text(encoding="utf-8") == Cleaner(Options.code_safe_preset()).clean(content).text


def test_version_is_the_package_version(capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    status, out, _ = run(["--version"], capsysbinary)
    assert status == EXIT_OK
    assert out.decode().split() == ["scrubix", importlib.metadata.version("scrubix")]
    assert importlib.metadata.version("scrubix") == scrubix.__version__
    readme = (REPO / "README.md").read_text(encoding="utf-8")
    assert not re.search(r"rev: v\d", readme)  # no tag is published: the README must not name one


def test_progress_shows_on_a_terminal_only(tree: Path, capsysbinary: pytest.CaptureFixture[bytes],
                                           monkeypatch: pytest.MonkeyPatch) -> None:
    pty = pytest.importorskip("pty")
    monkeypatch.setattr(scrubix.cli._Progress, "DELAY", 0.0)
    monkeypatch.setattr(scrubix.cli._Progress, "INTERVAL", 0.0)
    master, slave = pty.openpty()
    terminal = io.TextIOWrapper(os.fdopen(slave, "wb"), encoding="utf-8", write_through=True)
    monkeypatch.setattr(sys, "stderr", terminal)
    status, out, _ = run([*CODE_SAFE, "--check", str(tree)], capsysbinary)
    terminal.close()
    received = []
    while True:
        try:
            block = os.read(master, 65536)
        except OSError:  # the other side is closed and everything was read
            break
        if not block:
            break
        received.append(block)
    os.close(master)
    shown = b"".join(received).decode()
    assert status == EXIT_CHANGES and out.count(b"\n") == 6  # the report itself is unchanged
    assert "scrubix: 4/4 files" in shown and "MB/s" in shown and shown.endswith("\r\x1b[K")
    # Not a terminal (standard error captured): nothing but the report.
    monkeypatch.undo()
    monkeypatch.setattr(scrubix.cli._Progress, "DELAY", 0.0)
    status, _, err = run([*CODE_SAFE, "--check", str(tree)], capsysbinary)
    assert (status, err) == (EXIT_CHANGES, "")
