"""The `scrubix` command: clean text files or standard input.

`main` is the console entry point (also run by `python -m scrubix`). Each input is read once
and cleaned in pieces (`scrubix._stream`), so files of any size are cleaned in bounded memory
with exactly the result of one call on the whole text; rewriting is `scrubix._files.Rewrite`,
diffs `scrubix._diff.DiffWriter`.
"""

from __future__ import annotations

import argparse
import contextlib
import itertools
import json
import os
import signal
import sys
import time
import typing

from . import _files
from ._change_lines import FORMATS, ChangeLines
from ._diff import DiffWriter
from ._scrubix import Options
from ._stream import PIECE_SIZE, InvalidUTF8, Piece, Tally, TextPosition, clean_pieces, read_chunks

__all__ = ["EXIT_CHANGES", "EXIT_ERROR", "EXIT_INTERRUPTED", "EXIT_OK", "PRESETS", "build_options", "main"]

EXIT_OK = 0
EXIT_CHANGES = 1
EXIT_ERROR = 2
EXIT_INTERRUPTED = 130

PRESETS: dict[str, typing.Callable[[], Options]] = {
    "default": Options,
    "minimal": Options.minimal_preset,
    "balanced": Options.balanced_preset,
    "humanize": Options.humanize_preset,
    "aggressive": Options.aggressive_preset,
    "code-safe": Options.code_safe_preset,
}

# On/off options: each gets --NAME and --no-NAME.
_SWITCHES: tuple[tuple[str, str], ...] = (
    ("remove_hidden", "remove invisible characters such as U+200B and U+FEFF"),
    ("remove_trailing_whitespace", "remove spaces and tabs at the end of lines and of the text"),
    ("normalize_spaces", "turn typographic spaces into ASCII spaces"),
    ("normalize_dashes", "turn dashes into ASCII hyphen-minus"),
    ("normalize_quotes", "turn typographic quotes and apostrophes into ASCII quotes"),
    ("normalize_other", "spell ellipses as '...' and the fraction slash as '/'"),
    ("keyboard_only", "keep only characters of a plain keyboard; see --non-ascii and --keep-emoji"),
    ("extended_keyboard", "in keyboard-only mode, also keep 14 common symbols such as the euro "
                          "sign, the degree sign and the en and em dashes"),
    ("preserve_joiners", "keep zero-width joiners and non-joiners when removing invisible characters"),
    ("remove_control_chars", "remove control characters other than tab, LF and CR"),
    ("collapse_whitespace", "collapse runs of spaces and tabs into one space, leading indentation "
                            "included (--in-place needs --collapse-indentation for it)"),
)
_OPTION_NAMES = (*(name for name, _ in _SWITCHES), "keep_emoji", "non_ascii_policy", "line_endings",
                 "unicode_normalization")

_ERROR_HANDLERS = ("strict", "replace", "ignore", "backslashreplace", "surrogateescape")
# What each lossy handler does to the bytes it counts.
_LOSSY = {"replace": "replaced", "ignore": "dropped", "backslashreplace": "escaped"}
_STDIN_NAME = "<stdin>"
MAX_CHUNK_SIZE = 1 << 26
_DESCRIPTION = """\
Clean text: remove invisible and control characters, turn typographic spaces, dashes,
quotes and ellipses into ASCII, unify line endings, trim trailing whitespace and, in
keyboard-only mode, transliterate or drop everything a plain keyboard cannot type.

Reads the named files, or standard input when there are none or for '-', and writes the
cleaned text to standard output. With --check, --diff or --in-place, folders are walked
(skipping .git and similar folders, symbolic links, binary files and scrubix's own temporary
files). Options start from the chosen preset; each option flag overrides it. Names after '--'
are always files, even '-' or names that start with '-'; run by pre-commit (PRE_COMMIT=1),
scrubix requires the '--', so that no file name is taken for an option.

--in-place replaces each file that needs cleaning the way 'sed -i' does: also read-only
files (the folder must be writable), keeping the owner, group, permission bits (setuid and
setgid too), extended attributes and ACLs, or refusing the file if one of them cannot be kept.
A file with several hard links is refused (replacing it would separate the names); named
pipes and devices are refused; a file that changes while it is cleaned is left alone with an
error. Files are read once and compared byte for byte: a file is rewritten only if its bytes
change.

--collapse-whitespace turns every run of spaces and tabs into one space, leading indentation
included: Python blocks, Makefile recipes and YAML lose their structure. --in-place therefore
refuses it unless --collapse-indentation says that is meant.

Undecodable bytes (see --errors): 'surrogateescape' passes them through byte for byte under
every option (the text between them is cleaned; whitespace before them is not trailing);
'replace', 'ignore' and 'backslashreplace' change them, and every changed byte is counted and
reported. --diff describes the real bytes, so 'git apply' takes it.

A progress line (files, bytes, rate) is shown on standard error when it is a terminal and the
work takes more than a second.

'scrubix table' cleans chosen text columns of a Parquet, CSV or JSON Lines file into a new file,
one record batch at a time (needs pyarrow); see 'scrubix table --help'. A file to clean that is
named 'table' is given as './table' or after '--'."""

_EPILOG = """\
exit status:
  0    success; with --check or --diff: nothing would change
  1    --check or --diff: some input would change
  2    usage error, an input or output error (missing file, invalid UTF-8, a file that cannot
       be rewritten safely, ...) or an internal error
  130  interrupted (128 + the signal number for other signals, e.g. 143 for SIGTERM)

examples:
  printf 'Caf\\u00e9 \\u2014 \\u201chi\\u201d\\n' | scrubix
  scrubix --preset code-safe --check docs/
  scrubix --check --format github --max-changes 20 docs/   # annotations on a pull request
  scrubix --explain < draft.md > clean.md                    # the changes on standard error
  scrubix --preset balanced -i notes.txt
  scrubix --preset code-safe --check -- "$@"   # file names that may start with '-'
  scrubix table corpus.parquet --column text -o clean.parquet --preset humanize"""

# The second form of the command, shown under the first in the usage line.
_TABLE_USAGE = "scrubix table IN --column NAME [--column NAME ...] (-o OUT | --check) [options]"


def _positive_int(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not an integer: {text!r}") from None
    if not 1 <= value <= MAX_CHUNK_SIZE:
        raise argparse.ArgumentTypeError(f"must be between 1 and {MAX_CHUNK_SIZE}: {value}")
    return value


def _count(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not an integer: {text!r}") from None
    if value < 0:
        raise argparse.ArgumentTypeError(f"must not be negative: {value}")
    return value


def build_parser() -> argparse.ArgumentParser:
    """The argument parser of the `scrubix` command."""
    parser = argparse.ArgumentParser(
        prog="scrubix", description=_DESCRIPTION, epilog=_EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("paths", nargs="*", metavar="PATH",
                        help="files or folders to clean; '-' is standard input (the default)")
    parser.add_argument("--version", action="version", version=f"scrubix {package_version()}")

    mode = parser.add_argument_group("mode (default: write the cleaned text to standard output)")
    exclusive = mode.add_mutually_exclusive_group()
    exclusive.add_argument("--check", action="store_const", dest="mode", const="check",
                           help="change nothing; list every change where it would happen "
                                "(path:line:col), then each input's changes by kind, and exit 1 if "
                                "there are any")
    exclusive.add_argument("--explain", action="store_const", dest="mode", const="explain",
                           help="write the cleaned text to standard output like the default, and "
                                "list every change made on standard error as --check does")
    exclusive.add_argument("--diff", action="store_const", dest="mode", const="diff",
                           help="change nothing; print a unified diff of what would change and "
                                "exit 1 if anything would")
    exclusive.add_argument("-i", "--in-place", action="store_const", dest="mode", const="in-place",
                           help="rewrite files that need cleaning (atomically, keeping their "
                                "metadata; files that need no change are not touched)")
    mode.add_argument("--format", choices=FORMATS, default="text",
                      help="how --check and --explain list changes: 'text' lines, 'json' lines "
                           "(one object per change, then one per input), or 'github' (GitHub "
                           "Actions annotations on the changed lines) (default: %(default)s)")
    mode.add_argument("--max-changes", type=_count, default=None, metavar="N",
                      help="list at most N changes per input (the summary still counts all)")
    mode.add_argument("--stats", action="store_true",
                      help="print the counters of each input as a JSON line on standard error")
    mode.add_argument("--no-progress", dest="progress", action="store_false",
                      help="never show the progress line on standard error")
    mode.add_argument("--collapse-indentation", action="store_true",
                      help="let --in-place collapse leading indentation too (with "
                           "--collapse-whitespace, also from a preset)")

    options = parser.add_argument_group("cleaning options")
    options.add_argument("--preset", choices=tuple(PRESETS), default="default",
                         help="starting point for the options below (default: %(default)s)")
    for name, text in _SWITCHES:
        options.add_argument("--" + name.replace("_", "-"), dest=name, default=None,
                             action=argparse.BooleanOptionalAction, help=text)
    emoji = options.add_mutually_exclusive_group()
    emoji.add_argument("--keep-emoji", dest="keep_emoji", action="store_const", const=True, default=None,
                       help="in keyboard-only mode, keep emoji (whole grapheme clusters)")
    emoji.add_argument("--drop-emoji", dest="keep_emoji", action="store_const", const=False,
                       help="in keyboard-only mode, drop emoji")
    options.add_argument("--non-ascii", dest="non_ascii_policy", choices=("drop", "fold", "transliterate"),
                         help="in keyboard-only mode, what becomes of other characters: removed, "
                              "folded by compatibility decomposition, or spelled in ASCII")
    options.add_argument("--line-endings", choices=("auto", "lf", "crlf", "cr"),
                         help="write every line break as LF, CR LF or CR ('auto' leaves them)")
    forms = options.add_mutually_exclusive_group()
    forms.add_argument("--normalize", dest="unicode_normalization", metavar="FORM",
                       choices=("none", "nfc", "nfd", "nfkc", "nfkd"),
                       help="Unicode normalization form: none, nfc, nfd, nfkc or nfkd")
    for form in ("nfc", "nfd", "nfkc", "nfkd"):
        forms.add_argument("--" + form, dest="unicode_normalization", action="store_const", const=form,
                           help=f"same as --normalize {form}")

    reading = parser.add_argument_group("reading")
    reading.add_argument("--errors", choices=_ERROR_HANDLERS, default="strict",
                         help="what to do with bytes that are not UTF-8, as in Python's codecs: "
                              "'strict' stops with the file and byte offset (default), "
                              "'surrogateescape' passes them through unchanged under every option, "
                              "the others replace, drop or escape them, and count and report every "
                              "byte they change")
    reading.add_argument("--chunk-size", type=_positive_int, default=PIECE_SIZE, metavar="BYTES",
                         help="size of the pieces read and cleaned at a time (default: %(default)s, "
                              f"at most {MAX_CHUNK_SIZE})")
    # The usage line argparse builds for the options above, then the table subcommand under it.
    generated = parser.format_usage().split(" ", 1)[1].rstrip("\n")
    parser.usage = f"{generated}\n       {_TABLE_USAGE}"
    return parser


def package_version() -> str:
    """The installed package's version (the one in pyproject.toml)."""
    from importlib import metadata
    try:
        return metadata.version("scrubix")
    except metadata.PackageNotFoundError:  # pragma: no cover - run from a source tree
        from ._scrubix import __version__
        return __version__


def build_options(args: argparse.Namespace) -> Options:
    """The preset named by `args.preset` with the options given on the command line applied."""
    given = {name: getattr(args, name) for name in _OPTION_NAMES if getattr(args, name) is not None}
    return PRESETS[args.preset]().replace(**given)


def _describe(tally: Tally, errors: str) -> str:
    count = tally.changes_made
    kinds = ", ".join(f"{name}: {value}" for name, value in tally.stats.items() if value)
    text = f"{count} change" + ("" if count == 1 else "s")
    text = f"{text} ({kinds})" if kinds else text
    if tally.undecodable:
        n = tally.undecodable
        text += f"; {n} undecodable byte{'' if n == 1 else 's'} {_LOSSY[errors]}"
    return text


class Terminated(BaseException):
    """A terminating signal arrived; raised in the main thread so that cleanup runs."""

    def __init__(self, signum: int) -> None:
        super().__init__(signum)
        self.signum = signum


@contextlib.contextmanager
def _signals_end_the_run() -> typing.Iterator[None]:
    def handler(signum: int, frame: object) -> None:
        raise Terminated(signum)

    previous = {}
    with contextlib.suppress(ValueError):  # not the main thread: leave signals alone
        for signum in _files.TERMINATING_SIGNALS:
            if signal.getsignal(signum) is not signal.SIG_IGN:  # nohup and the like stay in force
                previous[signum] = signal.signal(signum, handler)
    try:
        yield
    finally:
        for signum, old in previous.items():
            signal.signal(signum, old)


class _Progress:
    """A one-line progress display on a terminal, shown once the work takes more than a moment."""

    DELAY = 1.0
    INTERVAL = 0.2

    def __init__(self, stream: typing.IO[str], total: int, enabled: bool) -> None:
        self._stream = stream
        self._total = total
        self._enabled = enabled and _isatty(stream)
        self._start = time.monotonic()
        self._shown = 0.0
        self._files = 0
        self._bytes = 0
        self._visible = False

    def add_bytes(self, count: int) -> None:
        self._bytes += count
        self._update()

    def file_done(self) -> None:
        self._files += 1
        self._update()

    def _update(self) -> None:
        if not self._enabled:
            return
        now = time.monotonic()
        elapsed = now - self._start
        if elapsed < self.DELAY or now - self._shown < self.INTERVAL:
            return
        self._shown = now
        rate = self._bytes / elapsed / 1e6
        self._stream.write(f"\r\x1b[Kscrubix: {self._files}/{self._total} files, "
                           f"{self._bytes / 1e6:.1f} MB, {rate:.1f} MB/s")
        self._stream.flush()
        self._visible = True

    def clear(self) -> None:
        if self._visible:
            self._stream.write("\r\x1b[K")
            self._stream.flush()
            self._visible = False


def _isatty(stream: typing.IO[str]) -> bool:
    try:
        return stream.isatty()
    except (AttributeError, ValueError):
        return False


class _Run:
    """One invocation: the inputs, what to do with them and the exit status so far."""

    def __init__(self, args: argparse.Namespace, options: Options, stdin: typing.BinaryIO, stdout: typing.BinaryIO,
                 stderr: typing.IO[str]) -> None:
        self.args = args
        self.options = options
        self.stdin = stdin
        self.stdout = stdout
        self.stderr = stderr
        self.status = EXIT_OK
        self.progress = _Progress(stderr, 0, False)

    # --- reporting -------------------------------------------------------------------------

    def error(self, message: str) -> None:
        self.progress.clear()
        print(f"scrubix: error: {message}", file=self.stderr)
        self.status = EXIT_ERROR

    def note(self, message: str) -> None:
        self.progress.clear()
        print(f"scrubix: {message}", file=self.stderr)

    def found_changes(self) -> None:
        if self.status == EXIT_OK:
            self.status = EXIT_CHANGES

    def say(self, path: str, text: str) -> None:
        # File names are written as the bytes the system gave, whatever their encoding.
        name = _STDIN_NAME.encode() if path == "-" else os.fsencode(path)
        self.progress.clear()
        self.stdout.write(name + b": " + text.encode("utf-8") + b"\n")

    def report_stats(self, path: str, tally: Tally) -> None:
        if self.args.stats:
            record: dict[str, typing.Any] = {"path": self.display(path), "changes_made": tally.changes_made,
                                             "stats": tally.stats}
            if self.args.errors in _LOSSY:
                record["undecodable_bytes"] = tally.undecodable
            self.progress.clear()
            print(json.dumps(record), file=self.stderr)

    @staticmethod
    def display(path: str) -> str:
        return _STDIN_NAME if path == "-" else path

    # --- inputs ----------------------------------------------------------------------------

    def run(self) -> int:
        inputs = list(self.inputs())
        self.progress = _Progress(self.stderr, len(inputs), self.args.progress)
        for path, named in inputs:
            try:
                self.process(path, named)
            except InvalidUTF8 as exc:
                self.error(f"{self.display(path)}: {exc} (see --errors)")
            except BrokenPipeError:
                raise  # standard output is gone: not a fault of this input
            except OSError as exc:
                self.error(f"{self.display(path)}: {exc.strerror or exc}")
            except Exception as exc:  # a fault of scrubix: say so, go on with the next input
                self.error(f"{self.display(path)}: internal error: {type(exc).__name__}: {exc}")
            self.progress.file_done()
        self.progress.clear()
        return self.status

    def inputs(self) -> typing.Iterator[tuple[str, bool]]:
        """(path, named on the command line) of every input, '-' for standard input."""
        literal_from = self.args.literal_from
        if not self.args.paths:
            yield "-", True
        for n, name in enumerate(self.args.paths):
            if name == "-" and n < literal_from:
                yield name, True
                continue
            if name == "-":
                name = os.path.join(os.curdir, name)  # a file called '-' after '--'
            if os.path.isdir(name):
                if self.args.mode is None:
                    self.error(f"{name}: is a directory (use --check, --diff or --in-place to process a folder)")
                    continue
                for path in _files.walk(name):
                    yield path, False
                continue
            yield name, True

    def open(self, path: str) -> typing.BinaryIO:
        if path == "-":
            return self.stdin
        return _files.open_input(path, regular_only=self.args.mode == "in-place")

    def pieces(self, stream: typing.BinaryIO, path: str, named: bool) -> typing.Optional[typing.Iterator[Piece]]:
        """The cleaned pieces of an input read once, or None for a binary file (skipped)."""
        size = self.args.chunk_size
        first = stream.read(size)
        if self.args.mode is not None and path != "-" and _files.is_binary(first):
            if named:
                self.note(f"skipping binary file: {path}")
            return None
        chunks = (chunk for chunk in itertools.chain([first], read_chunks(stream, size)) if chunk)
        return clean_pieces(self.counted(chunks), self.options, errors=self.args.errors, piece_size=size,
                            explain=self.args.mode in ("check", "explain"))

    def counted(self, chunks: typing.Iterable[bytes]) -> typing.Iterator[bytes]:
        for chunk in chunks:
            self.progress.add_bytes(len(chunk))
            yield chunk

    # --- modes -----------------------------------------------------------------------------

    def process(self, path: str, named: bool) -> None:
        with contextlib.ExitStack() as stack:
            stream = self.open(path)
            if stream is not self.stdin:
                stack.enter_context(stream)
            pieces = self.pieces(stream, path, named)
            if pieces is None:
                return
            mode = self.args.mode
            if mode is None:
                self.write_cleaned(path, pieces)
            elif mode == "check":
                self.check(path, pieces, self.write_line)
            elif mode == "explain":
                self.check(path, pieces, self.write_note, write_cleaned=True)
            elif mode == "diff":
                self.diff(path, pieces)
            else:
                self.rewrite(path, stream, pieces)

    def write_cleaned(self, path: str, pieces: typing.Iterator[Piece]) -> None:
        tally = Tally()
        for piece in pieces:
            self.stdout.write(piece.cleaned)
            tally.add(piece)
        self.report_stats(path, tally)

    def write_line(self, line: str) -> None:
        self.progress.clear()
        self.stdout.write(line.encode("utf-8", "surrogateescape") + b"\n")

    def write_note(self, line: str) -> None:
        self.progress.clear()
        print(line, file=self.stderr)

    def check(self, path: str, pieces: typing.Iterator[Piece], write: typing.Callable[[str], None],
              write_cleaned: bool = False) -> None:
        """Lists every change (--check, or --explain with the cleaned text written too)."""
        tally = Tally()
        changed = False
        lines = ChangeLines(write, self.display(path), self.args.format, self.args.max_changes)
        at = TextPosition()
        normalized = False
        for piece in pieces:
            if write_cleaned:
                self.stdout.write(piece.cleaned)
            tally.add(piece)
            changed = changed or piece.cleaned != piece.data
            for change in piece.changes or ():
                if change.counter == "unicode_normalized":
                    # Counted once per input, as the summary counts it; each piece counted its own.
                    change = change._replace(count=0 if normalized else change.count)
                    normalized = True
                lines.add(at.place(change))
            if piece.end is not None:
                at = at.then(piece.end)
        self.report_stats(path, tally)
        if changed or tally.changes_made:
            lines.summary(tally.changes_made, tally.stats, _describe(tally, self.args.errors))
            if not write_cleaned:
                self.found_changes()

    def diff(self, path: str, pieces: typing.Iterator[Piece]) -> None:
        tally = Tally()
        writer = DiffWriter(self.stdout, path)
        for piece in pieces:
            tally.add(piece)
            writer.add(piece.data, piece.cleaned)
        self.progress.clear()
        writer.finish()
        self.report_stats(path, tally)
        if writer.changed:
            self.found_changes()

    def rewrite(self, path: str, stream: typing.BinaryIO, pieces: typing.Iterator[Piece]) -> None:
        # One pass: the temporary file is only made at the first piece that changes, so a file
        # that needs no change is never opened for writing (nor its folder touched).
        tally = Tally()
        with _files.Rewrite(path, stream) as rewrite:
            for piece in pieces:
                tally.add(piece)
                if rewrite.started or piece.cleaned != piece.data:
                    rewrite.write(piece.cleaned, copy_before=piece.offset)
            self.report_stats(path, tally)
            if rewrite.started:
                rewrite.commit()
                self.say(path, "fixed " + _describe(tally, self.args.errors))


def _split_argv(argv: typing.Sequence[str]) -> tuple[list[str], list[str]]:
    """Options and names before '--', and the names after it (always file names)."""
    argv = list(argv)
    if "--" in argv:
        at = argv.index("--")
        return argv[:at], argv[at + 1:]
    return argv, []


def main(argv: typing.Optional[typing.Sequence[str]] = None) -> int:
    """Run the `scrubix` command with `argv` (default: the process arguments); return the exit status."""
    given = sys.argv[1:] if argv is None else list(argv)
    if given[:1] == ["table"]:  # `scrubix table IN --column NAME -o OUT`: text columns of data files
        from ._table_cli import main as table_main
        return table_main(given[1:])
    parser = build_parser()
    argv = sys.argv[1:] if argv is None else list(argv)
    before, names = _split_argv(argv)
    args = parser.parse_args(before)
    args.literal_from = len(args.paths)
    args.paths = [*args.paths, *names]
    if os.environ.get("PRE_COMMIT") == "1" and "--" not in argv:
        # pre-commit appends file names to the hook's arguments; a file named like an option
        # would otherwise change what is done to every other file.
        parser.error("run by pre-commit, the file names must come after '--': end the hook's args with '--'")
    if args.mode == "in-place" and (not args.paths or "-" in args.paths[:args.literal_from]):
        parser.error("--in-place needs file or folder paths, not standard input")
    try:
        options = build_options(args)
    except (TypeError, ValueError) as exc:
        parser.error(str(exc))
    if args.mode == "in-place" and options.collapse_whitespace and not args.collapse_indentation:
        parser.error("--collapse-whitespace (also from --preset humanize) would flatten leading indentation "
                     "(Python blocks, Makefile recipes, YAML) when rewriting files; add --collapse-indentation "
                     "if that is meant, or --no-collapse-whitespace")
    stdout: typing.Any = sys.stdout
    try:
        with _signals_end_the_run():
            status = _Run(args, options, sys.stdin.buffer, stdout.buffer, sys.stderr).run()
            stdout.buffer.flush()
        return status
    except KeyboardInterrupt:
        print("scrubix: interrupted", file=sys.stderr)
        return EXIT_INTERRUPTED
    except Terminated as exc:
        print(f"scrubix: stopped by {signal.Signals(exc.signum).name}", file=sys.stderr)
        return 128 + exc.signum
    except BrokenPipeError:
        # The reader went away (`scrubix big.txt | head`): stop quietly, and keep the
        # interpreter from failing again when it flushes standard output at exit.
        with contextlib.suppress(OSError, ValueError):
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return EXIT_ERROR
    except Exception as exc:  # a fault of scrubix itself is never "changes found"
        print(f"scrubix: internal error: {type(exc).__name__}: {exc}", file=sys.stderr)
        return EXIT_ERROR
