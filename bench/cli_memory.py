"""Peak memory of the `scrubix` command on large inputs.

Generates, in a temporary folder, Cyrillic text with line breaks (default 1 GiB) and Cyrillic
text with no line break at all (default 200 MiB), then runs `scrubix --check`, `scrubix --diff`
(output to /dev/null) and `scrubix -i` on each, one process per run, and reports each run's peak
resident memory (from the kernel's accounting of that child, `wait4`) and its time.

    python bench/cli_memory.py                      # 1024 MiB and 200 MiB, default options
    python bench/cli_memory.py --lines-mb 256 --preset code-safe

Needs free disk space of about three times the larger input (the input, the rewrite's
temporary file, the diff's spool).
"""

from __future__ import annotations

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

WORDS = ("\u0441\u043b\u043e\u0432\u043e \u0442\u0435\u043a\u0441\u0442 \u043f\u0440\u0438\u0432\u0435\u0442 "
         "\u043c\u0438\u0440 \u0434\u043e\u043c \u0432\u0440\u0435\u043c\u044f \u0447\u0435\u043b\u043e\u0432\u0435\u043a "
         "\u0433\u043e\u0434 \u0434\u0435\u043b\u043e \u0436\u0438\u0437\u043d\u044c \u0434\u0435\u043d\u044c "
         "\u0440\u0443\u043a\u0430 \u0440\u0430\u0437 \u0440\u0430\u0431\u043e\u0442\u0430 \u0441\u043b\u043e\u0432\u043e").split()
PUNCTUATION = (",", ".", " \u2014", ":", "")


def make_block(rng: random.Random, line_breaks: bool, size: int = 1 << 20) -> bytes:
    """About `size` bytes of Cyrillic sentences; lines of about 80 characters, or none."""
    parts: list[str] = []
    total = 0
    line = 0
    while total < size:
        word = rng.choice(WORDS) + rng.choice(PUNCTUATION)
        if line_breaks and line + len(word) > 78:
            parts.append("\n")
            total += 1
            line = 0
        elif parts:
            parts.append(" ")
            total += 1
            line += 1
        parts.append(word)
        total += len(word.encode())
        line += len(word)
    return "".join(parts).encode()


def generate(path: str, megabytes: int, line_breaks: bool) -> None:
    rng = random.Random(megabytes)
    blocks = [make_block(rng, line_breaks) for _ in range(8)]
    with open(path, "wb") as f:
        for n in range(megabytes):
            block = blocks[n % len(blocks)]
            f.write(block if line_breaks else block.replace(b"\n", b" "))
            if line_breaks:
                f.write(b"\n")
            else:
                f.write(b" ")


def peak_of(command: list[str], stdout: int) -> tuple[float, float, int]:
    """(peak resident MiB, seconds, exit status) of one child process."""
    start = time.monotonic()
    proc = subprocess.Popen(command, stdout=stdout)
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    return usage.ru_maxrss / 1024, time.monotonic() - start, proc.returncode


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--lines-mb", type=int, default=1024, help="MiB of Cyrillic text with line breaks")
    parser.add_argument("--one-line-mb", type=int, default=200, help="MiB of Cyrillic text with no line break")
    parser.add_argument("--preset", default="default")
    parser.add_argument("--dir", default=None, help="where to put the files (default: a temporary folder)")
    args = parser.parse_args()
    scrubix = [sys.executable, "-m", "scrubix", "--preset", args.preset, "--no-progress"]
    folder = tempfile.mkdtemp(prefix="scrubix-memory-", dir=args.dir)
    print(f"# scrubix peak memory, preset {args.preset}, Python {sys.version.split()[0]}")
    print("| input | mode | peak RSS (MiB) | seconds | exit |")
    print("|---|---|---|---|---|")
    try:
        for name, megabytes, line_breaks in (("cyrillic-lines", args.lines_mb, True),
                                             ("cyrillic-one-line", args.one_line_mb, False)):
            if megabytes <= 0:
                continue
            path = os.path.join(folder, name + ".txt")
            generate(path, megabytes, line_breaks)
            label = f"{name} {megabytes} MiB"
            with open(os.devnull, "wb") as null:
                for mode in ("--check", "--diff", "-i"):
                    peak, seconds, status = peak_of([*scrubix, mode, path], null.fileno())
                    print(f"| {label} | {mode} | {peak:.1f} | {seconds:.1f} | {status} |", flush=True)
            os.unlink(path)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
