"""Cleaning from many threads gives exactly the serial results; the engine keeps no state.

Run: python -m pytest tests/test_threads.py
The engine's own eight-thread stress test runs under ThreadSanitizer with fuzz/tsan.sh.
"""

from __future__ import annotations

import os
import shutil
import subprocess
import sys
import threading
from pathlib import Path
from typing import Callable

import pytest

import scrubix
from scrubix import Cleaner, CleaningResult, Options

THREADS = 8
CALLS_PER_THREAD = 10_000

# Short texts that touch every rule, and a few long ones that keep the engine busy without
# the interpreter lock long enough for the threads to really overlap.
_PIECES = [
    "plain words", "Caf\u00e9 \u2014 \u201cquoted\u201d\u00a0", "\ufb01 \u00bd\u2044\u2026\r\n\u2028x\t \n",
    "e\u0301 \U0001F469\u200d\U0001F4BB \u200b\x07 ", "\u2260 =\u0338 \u2264\u0338 \u219b", "\ufdfa\u3000\u4e2d\u6587",
    "\U0001F1FA\U0001F1F8\U0001F3F4\U000E0067\U000E0062\U000E007F", "\u1100\u1161\u11a8 \u0915\u094d\u0937",
    "  trailing \t\r\n", "\x01\x7f\x85\u00ad\ufeff",
]
TEXTS = [f"{i} " + "".join(_PIECES[(i * k) % len(_PIECES)] for k in range(1, 2 + i % 5)) for i in range(40)]
TEXTS += ["".join(_PIECES) * 300, ("Stra\u00dfe \u201cx\u201d " * 2000), "\u0301\u0316" * 5000]

OPTION_SETS = {
    "default": Options(),
    "aggressive": Options.aggressive_preset(),
    "code_safe": Options.code_safe_preset(),
    "nfd_fold": Options(non_ascii_policy="fold", unicode_normalization="nfd", line_endings="crlf"),
    "keep_extended": Options(keep_emoji=True, extended_keyboard=True, collapse_whitespace=True,
                             unicode_normalization="nfkd", line_endings="cr"),
}


def _key(result: CleaningResult) -> tuple[str, int, tuple[tuple[str, int], ...]]:
    return result.text, result.changes_made, tuple(result.stats.items())


def _run_threads(work: Callable[[int], None]) -> None:
    errors: list[BaseException] = []
    barrier = threading.Barrier(THREADS)

    def body(k: int) -> None:
        try:
            barrier.wait()
            work(k)
        except BaseException as exc:  # reported in the main thread
            errors.append(exc)

    threads = [threading.Thread(target=body, args=(k,)) for k in range(THREADS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors, errors


@pytest.mark.parametrize("name", sorted(OPTION_SETS))
def test_one_shared_cleaner_matches_serial_results(name: str) -> None:
    cleaner = Cleaner(OPTION_SETS[name])
    expected = [_key(cleaner.clean(t)) for t in TEXTS]
    mismatches: list[tuple[int, int]] = []
    calls = [0] * THREADS
    # Most calls take the short texts; every thread also cleans each long text a few times.
    order = [i for i in range(len(TEXTS)) if len(TEXTS[i]) < 1000]
    long_texts = [i for i in range(len(TEXTS)) if len(TEXTS[i]) >= 1000]
    per_thread = CALLS_PER_THREAD

    def work(k: int) -> None:
        for n in range(per_thread):
            i = long_texts[n % len(long_texts)] if n % 250 == 0 else order[(n * 7 + k) % len(order)]
            if _key(cleaner.clean(TEXTS[i])) != expected[i]:
                mismatches.append((k, i))
            calls[k] += 1

    _run_threads(work)
    assert calls == [per_thread] * THREADS
    assert not mismatches


def test_module_functions_and_cleaners_in_parallel() -> None:
    """Threads mix `clean`, `humanize` and cleaners of different options on the same texts."""
    cleaners = [Cleaner(o) for o in OPTION_SETS.values()]
    expected_clean = [scrubix.clean(t) for t in TEXTS]
    expected_humanize = [scrubix.humanize(t) for t in TEXTS]
    expected = [[_key(c.clean(t)) for t in TEXTS] for c in cleaners]
    failures: list[str] = []
    per_thread = CALLS_PER_THREAD // 5

    def work(k: int) -> None:
        for n in range(per_thread):
            i = (n * 13 + k) % len(TEXTS)
            if len(TEXTS[i]) >= 1000 and n % 50:
                continue
            kind = (n + k) % (2 + len(cleaners))
            if kind == 0:
                ok = scrubix.clean(TEXTS[i]) == expected_clean[i]
            elif kind == 1:
                ok = scrubix.humanize(text=TEXTS[i]) == expected_humanize[i]
            else:
                ok = _key(cleaners[kind - 2].clean(TEXTS[i])) == expected[kind - 2][i]
            if not ok:
                failures.append(f"thread {k} call {n} text {i} kind {kind}")

    _run_threads(work)
    assert not failures, failures[:5]


# Daemon threads still cleaning (the lock released) when the main thread ends: the interpreter
# ends each one with pthread_exit as it asks for the lock back.
_EXIT_SCRIPT = """
import threading, time
import scrubix
text = "\\u201cquoted\\u201d \\u2014 text\\u00a0with  spaces\\n" * 20000
def clean_one():
    while True:
        scrubix.humanize(text)
def clean_many():
    while True:
        scrubix.clean_many([text[:300]] * 2000, scrubix.Options.humanize_preset(), threads=2)
for work in (clean_one, clean_many, clean_many):
    threading.Thread(target=work, daemon=True).start()
time.sleep(0.3)
"""


def test_threads_cleaning_at_interpreter_exit_end_quietly() -> None:
    proc = subprocess.run([sys.executable, "-c", _EXIT_SCRIPT], capture_output=True, text=True, timeout=120)
    assert (proc.returncode, proc.stderr) == (0, "")


# Writable sections a C++ object file may have without holding state of its own: data made
# read-only after relocation, constructor tables, and the personality-routine reference of
# the exception-handling runtime.
_RUNTIME_WRITABLE = (".data.rel.ro", ".init_array", ".fini_array", ".data.rel.local.DW.ref.__gxx_personality_v0",
                     ".tm_clone_table")


def _writable_sections(obj: Path) -> list[str]:
    """Names of the allocated, writable, non-empty sections of an ELF object."""
    out = subprocess.run(["readelf", "-SW", str(obj)], capture_output=True, text=True, check=True).stdout
    found = []
    for line in out.splitlines():
        line = line.strip()
        if not line.startswith("[") or not line[1:].split("]", 1)[0].strip().isdigit():
            continue
        fields = line.split("]", 1)[1].split()
        # Name Type Address Off Size ES Flg Lk Inf Al (Flg may be absent).
        if len(fields) < 10:
            continue
        name, size, flags = fields[0], int(fields[4], 16), fields[6]
        if "W" in flags and "A" in flags and size > 0 and not name.startswith(_RUNTIME_WRITABLE):
            found.append(name)
    return found


@pytest.mark.skipif(sys.platform != "linux" or not shutil.which("readelf") or not shutil.which("ar"),
                    reason="needs ELF objects and binutils")
def test_engine_objects_have_no_writable_state(native_runner: Path, tmp_path: Path) -> None:
    """No object of the engine library has a .data, .bss or thread-local section: no global
    or static variable, no lazily initialised table, no guard variable."""
    archive = native_runner.parent / "libscrubix_engine.a"
    assert archive.exists(), archive
    subprocess.run(["ar", "x", str(archive)], cwd=tmp_path, check=True)
    objects = sorted(tmp_path.glob("*.o"))
    assert len(objects) >= 10, [o.name for o in objects]
    offenders = {o.name: s for o in objects if (s := _writable_sections(o))}
    assert not offenders, offenders
    symbols = subprocess.run(["nm", "-C", *map(str, objects)], capture_output=True, text=True, check=True).stdout
    assert "guard variable" not in symbols


# ThreadSanitizer builds bring their own runtime: a preloaded ASan (tools/sanitized_tests.sh)
# must not reach them.
_NO_PRELOAD = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")}


def _thread_sanitizer_missing(tmp: Path) -> str | None:
    cxx = shutil.which("clang++") or shutil.which("g++")
    if sys.platform != "linux" or cxx is None:
        return "needs Linux and clang++ or g++"
    probe = tmp / "probe.cpp"
    probe.write_text("#include <thread>\nint main() { std::thread t([] {}); t.join(); }\n")
    proc = subprocess.run([cxx, "-fsanitize=thread", str(probe), "-o", str(tmp / "probe")], capture_output=True,
                          text=True, env=_NO_PRELOAD)
    if proc.returncode != 0:
        return "the compiler cannot build with -fsanitize=thread: " + proc.stderr[-300:]
    run = subprocess.run([str(tmp / "probe")], capture_output=True, text=True, env=_NO_PRELOAD)
    return None if run.returncode == 0 else "ThreadSanitizer programs do not run here: " + run.stderr[-300:]


@pytest.mark.slow
def test_engine_stress_suite_under_thread_sanitizer(tmp_path: Path) -> None:
    """fuzz/tsan.sh: the native thread_stress suite (eight threads cleaning, normalizing and
    segmenting at once) built with -fsanitize=thread reports no data race."""
    from conftest import REPO

    why = _thread_sanitizer_missing(tmp_path)
    if why:
        pytest.skip(why)
    proc = subprocess.run(["bash", str(REPO / "fuzz" / "tsan.sh"), str(tmp_path)], capture_output=True,
                          text=True, timeout=900, env=_NO_PRELOAD)
    log = proc.stdout + proc.stderr
    assert proc.returncode == 0, log[-6000:]
    assert "WARNING: ThreadSanitizer" not in log
    assert "2 passed, 0 failed" in log, log[-2000:]
