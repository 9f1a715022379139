"""The `scrubix` command: clean text files or standard input.

`main` is the console entry point (also run by `python -m scrubix`). Inputs are read and
cleaned in pieces (`scrubix._stream`), so files of any size are cleaned in bounded memory with
exactly the result of one call on the whole text.
"""

from __future__ import annotations

import argparse
import contextlib
import json
import os
import sys
import typing

from . import _files
from ._diff import unified_diff
from ._scrubix import Options, __version__
from ._stream import PIECE_SIZE, InvalidUTF8, Piece, Tally, clean_pieces, read_chunks

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
    ("collapse_whitespace", "collapse runs of spaces and tabs into one space"),
)
_OPTION_NAMES = (*(name for name, _ in _SWITCHES), "keep_emoji", "non_ascii_policy", "line_endings",
                 "unicode_normalization")

_ERROR_HANDLERS = ("strict", "replace", "ignore", "backslashreplace", "surrogateescape")
_STDIN_NAME = "<stdin>"

_DESCRIPTION = """\
Clean text: remove invisible and control characters, turn typographic spaces, dashes,
quotes and ellipses into ASCII, unify line endings, trim trailing whitespace and, in
keyboard-only mode, transliterate or drop everything a plain keyboard cannot type.

Reads the named files, or standard input when there are none or for '-', and writes the
cleaned text to standard output. With --check, --diff or --in-place, folders are walked
(skipping .git and similar folders, symbolic links and binary files). Options start from
the chosen preset; each option flag overrides it."""

_EPILOG = """\
exit status:
  0    success; with --check or --diff: nothing would change
  1    --check or --diff: some input would change
  2    usage error, or an input or output error (missing file, invalid UTF-8, ...)
  130  interrupted

examples:
  printf 'Caf\\u00e9 \\u2014 \\u201chi\\u201d\\n' | scrubix
  scrubix --preset code-safe --check docs/
  scrubix --preset humanize --collapse-whitespace -i notes.txt"""


def _positive_int(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not an integer: {text!r}") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1: {value}")
    return value


def build_parser() -> argparse.ArgumentParser:
    """The argument parser of the `scrubix` command."""
    parser = argparse.ArgumentParser(
        prog="scrubix", description=_DESCRIPTION, epilog=_EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("paths", nargs="*", metavar="PATH",
                        help="files or folders to clean; '-' is standard input (the default)")
    parser.add_argument("--version", action="version", version=f"scrubix {__version__}")

    mode = parser.add_argument_group("mode (default: write the cleaned text to standard output)")
    exclusive = mode.add_mutually_exclusive_group()
    exclusive.add_argument("--check", action="store_const", dest="mode", const="check",
                           help="change nothing; list the inputs that would change, with their "
                                "changes by kind, and exit 1 if there are any")
    exclusive.add_argument("--diff", action="store_const", dest="mode", const="diff",
                           help="change nothing; print a unified diff of what would change and "
                                "exit 1 if anything would")
    exclusive.add_argument("-i", "--in-place", action="store_const", dest="mode", const="in-place",
                           help="rewrite files that need cleaning (atomically; files that need "
                                "no change are not touched)")
    mode.add_argument("--stats", action="store_true",
                      help="print the counters of each input as a JSON line on standard error")

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
                              "'surrogateescape' passes them through unchanged, the others "
                              "replace, drop or escape them")
    reading.add_argument("--chunk-size", type=_positive_int, default=PIECE_SIZE, metavar="BYTES",
                         help="size of the pieces read and cleaned at a time (default: %(default)s)")
    return parser


def build_options(args: argparse.Namespace) -> Options:
    """The preset named by `args.preset` with the options given on the command line applied."""
    given = {name: getattr(args, name) for name in _OPTION_NAMES if getattr(args, name) is not None}
    return PRESETS[args.preset]().replace(**given)


def _describe(count: int, stats: dict[str, int]) -> str:
    kinds = ", ".join(f"{name}: {value}" for name, value in stats.items() if value)
    text = f"{count} change" + ("" if count == 1 else "s")
    return f"{text} ({kinds})" if kinds else text


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
        self.output_errors = "surrogateescape" if args.errors == "surrogateescape" else "strict"

    # --- reporting -------------------------------------------------------------------------

    def error(self, message: str) -> None:
        print(f"scrubix: error: {message}", file=self.stderr)
        self.status = EXIT_ERROR

    def found_changes(self) -> None:
        if self.status == EXIT_OK:
            self.status = EXIT_CHANGES

    def say(self, line: str) -> None:
        self.stdout.write(self.encode(line + "\n"))

    def report_stats(self, name: str, tally: Tally) -> None:
        if self.args.stats:
            record = {"path": name, "changes_made": tally.changes_made, "stats": tally.stats}
            print(json.dumps(record), file=self.stderr)

    def encode(self, text: str) -> bytes:
        return text.encode("utf-8", self.output_errors)

    # --- inputs ----------------------------------------------------------------------------

    def run(self) -> int:
        for name in self.args.paths or ["-"]:
            for path in self.expand(name):
                try:
                    self.process(path)
                except InvalidUTF8 as exc:
                    self.error(f"{self.display(path)}: {exc} (see --errors)")
                except BrokenPipeError:
                    raise  # standard output is gone: not a fault of this input
                except OSError as exc:
                    self.error(f"{self.display(path)}: {exc.strerror or exc}")
        return self.status

    def expand(self, name: str) -> typing.Iterator[str]:
        if name == "-":
            yield name
            return
        if os.path.isdir(name):
            if self.args.mode is None:
                self.error(f"{name}: is a directory (use --check, --diff or --in-place to process a folder)")
                return
            yield from (path for path in _files.walk(name) if not self.is_binary(path))
            return
        if self.args.mode is not None and os.path.isfile(name) and self.is_binary(name):
            print(f"scrubix: skipping binary file: {name}", file=self.stderr)
            return
        yield name

    def is_binary(self, path: str) -> bool:
        # Binary files are left alone when checking or rewriting; an unreadable one is an error
        # reported when it is opened for cleaning.
        try:
            return _files.is_binary(path)
        except OSError:
            return False

    @staticmethod
    def display(path: str) -> str:
        return _STDIN_NAME if path == "-" else path

    def pieces(self, path: str) -> typing.Iterator[Piece]:
        size = self.args.chunk_size
        with contextlib.ExitStack() as stack:
            stream = self.stdin if path == "-" else stack.enter_context(open(path, "rb"))
            yield from clean_pieces(read_chunks(stream, size), self.options, errors=self.args.errors,
                                    piece_size=size)

    # --- modes -----------------------------------------------------------------------------

    def process(self, path: str) -> None:
        mode = self.args.mode
        if mode is None:
            self.write_cleaned(path)
        elif mode == "check":
            self.check(path)
        elif mode == "diff":
            self.diff(path)
        else:
            self.rewrite(path)

    def write_cleaned(self, path: str) -> None:
        tally = Tally()
        for piece in self.pieces(path):
            self.stdout.write(self.encode(piece.cleaned))
            tally.add(piece.result)
        self.report_stats(self.display(path), tally)

    def scan(self, path: str) -> tuple[Tally, bool]:
        tally = Tally()
        changed = False
        for piece in self.pieces(path):
            tally.add(piece.result)
            changed = changed or piece.cleaned != piece.text
        return tally, changed

    def check(self, path: str) -> None:
        tally, changed = self.scan(path)
        self.report_stats(self.display(path), tally)
        if changed:
            self.say(f"{self.display(path)}: {_describe(tally.changes_made, tally.stats)}")
            self.found_changes()

    def diff(self, path: str) -> None:
        tally = Tally()
        before: list[str] = []
        after: list[str] = []
        for piece in self.pieces(path):
            tally.add(piece.result)
            before.append(piece.text)
            after.append(piece.cleaned)
        self.report_stats(self.display(path), tally)
        if before != after:
            for line in unified_diff("".join(before), "".join(after), self.display(path)):
                self.stdout.write(self.encode(line))
            self.found_changes()

    def rewrite(self, path: str) -> None:
        # A first pass decides: a file that needs no change is never opened for writing.
        tally, changed = self.scan(path)
        self.report_stats(path, tally)
        if changed:
            _files.replace_contents(path, (self.encode(piece.cleaned) for piece in self.pieces(path)))
            self.say(f"{path}: fixed {_describe(tally.changes_made, tally.stats)}")


def main(argv: typing.Optional[typing.Sequence[str]] = None) -> int:
    """Run the `scrubix` command with `argv` (default: the process arguments); return the exit status."""
    given = sys.argv[1:] if argv is None else list(argv)
    if given[:1] == ["table"]:  # `scrubix table IN --column NAME -o OUT`: text columns of data files
        from ._table_cli import main as table_main
        return table_main(given[1:])
    parser = build_parser()
    args = parser.parse_args(argv)
    if args.mode == "in-place" and (not args.paths or "-" in args.paths):
        parser.error("--in-place needs file or folder paths, not standard input")
    try:
        options = build_options(args)
    except (TypeError, ValueError) as exc:
        parser.error(str(exc))
    stdout: typing.Any = sys.stdout
    try:
        status = _Run(args, options, sys.stdin.buffer, stdout.buffer, sys.stderr).run()
        stdout.buffer.flush()
        return status
    except KeyboardInterrupt:
        print("scrubix: interrupted", file=sys.stderr)
        return EXIT_INTERRUPTED
    except BrokenPipeError:
        # The reader went away (`scrubix big.txt | head`): stop quietly, and keep the
        # interpreter from failing again when it flushes standard output at exit.
        with contextlib.suppress(OSError, ValueError):
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return EXIT_ERROR
