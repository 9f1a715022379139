"""Cleaning an input of any size in pieces, with the result of one call on the whole.

A piece is cleaned on its own by `Cleaner.clean`, so a cut is only made where cleaning the two
sides apart gives exactly the text and the counters that one call on the whole would give. Cuts
are made only right after a line feed (byte 0x0A, which never occurs inside a multi-byte UTF-8
sequence). Why that place, and when it is safe:

* Grapheme clusters. A cluster always ends after LF (UAX #29 rules GB4/GB5), and every rule that
  looks back across a boundary (GB9c, GB11, GB12/13) is stopped by LF, so the piece after the cut
  segments exactly as that part of the whole text does. A cut after LF can never fall between CR
  and LF: the LF is on the left.
* Unicode normalization. LF is a starter that decomposes to itself and composes with nothing, so
  marks after it are reordered and composed the same way in the piece as in the whole; the
  keyboard-only protection of single characters does not depend on context. The normalized pieces
  concatenate to the normalized whole, and LFs are neither made nor removed by normalization, so
  the whole text changes under normalization exactly when some piece does: `unicode_normalized`
  (0 or 1 per call) combines as "any", and `changes_made` is corrected by the difference.
* Line endings. The pre-pass counts CR LF pairs, lone CRs and separators: all of them lie wholly
  on one side. The final conversion counts, per style, the LFs of the output minus the breaks that
  already had that form; that difference is never negative for any piece, so the sums agree.
* Whitespace runs. A line break ends the pending run, so the left piece ends with the run empty,
  as the whole does at that point. The state after the LF in the whole text is "something
  emitted, nothing pending, no drop pending"; a piece starts with "nothing emitted" instead. The
  emitted flag is read in two places only: the flush gate, which is open anyway until a cluster is
  dropped, and the bookkeeping of a dropped cluster that meets no pending whitespace, which closes
  the gate at the start of a text (so `LF + emoji + SP + b` keeps its space in the whole text but
  would lose it in a piece starting at the emoji). Clusters are dropped only by the keyboard-only
  filter, so:
  - with `keyboard_only` off, every cut after LF is safe;
  - with `keyboard_only` on, a cut is safe when the next piece cannot drop a cluster before it
    emits something or holds whitespace (once a run is pending, a drop shrinks it to one space in
    both cases alike). That holds when the piece starts with a tab, LF, CR, or a character from
    space to "~", followed by an ASCII byte (or nothing): such a character is its own cluster,
    passes every rule unchanged and is a keyboard character, so it is emitted or held at once.
    The following byte must be ASCII because a combining mark would join the cluster, and
    "=" + U+0338 is one negated relation, which the drop policy removes whole. A line break followed
    by a dropped emoji is therefore not a safe cut.

Pieces are cut at the last safe break once at least `piece_size` bytes are buffered, so memory
stays near two pieces; an input with no safe break is read whole. Counters are summed over the
pieces (`Tally`). Decoding follows Python's codec error handlers; with "surrogateescape" the
undecodable bytes ride through the engine as private-use placeholders and come back as the same
bytes.
"""

from __future__ import annotations

import re
import typing

from ._scrubix import Cleaner, CleaningResult, Options

__all__ = ["PIECE_SIZE", "InvalidUTF8", "Piece", "Tally", "clean_pieces", "read_chunks", "split_pieces"]

PIECE_SIZE = 1 << 16

_LF = 0x0A
# First bytes of a piece that keyboard-only cleaning emits or holds at once: TAB, LF, CR, SP..~.
_SAFE_FIRST = frozenset((0x09, 0x0A, 0x0D, *range(0x20, 0x7F)))
# Counter names in their declaration order.
_STAT_NAMES: tuple[str, ...] = tuple(Cleaner().clean("").stats)


class InvalidUTF8(ValueError):
    """The input is not UTF-8 at byte `offset` (counted from the start of the input)."""

    def __init__(self, offset: int, reason: str) -> None:
        super().__init__(f"not valid UTF-8 at byte {offset}: {reason}")
        self.offset = offset
        self.reason = reason


class Piece(typing.NamedTuple):
    """One piece of the input: where it starts, its text before and after cleaning, the result."""

    offset: int
    text: str
    cleaned: str
    result: CleaningResult


class Tally:
    """Counters of pieces cleaned one by one, combined into those of one call on the whole."""

    def __init__(self) -> None:
        self._stats: dict[str, int] = dict.fromkeys(_STAT_NAMES, 0)
        self._changes = 0  # changes_made of the pieces, without their unicode_normalized

    def add(self, result: CleaningResult) -> None:
        normalized = 0
        for name, count in result.stats.items():
            if name == "unicode_normalized":
                normalized = count
                self._stats[name] = max(self._stats[name], count)
            else:
                self._stats[name] += count
        self._changes += result.changes_made - normalized

    @property
    def changes_made(self) -> int:
        return self._changes + self._stats["unicode_normalized"]

    @property
    def stats(self) -> dict[str, int]:
        """The thirteen counters in their usual order (a new dictionary)."""
        return dict(self._stats)


def read_chunks(stream: typing.BinaryIO, size: int = PIECE_SIZE) -> typing.Iterator[bytes]:
    """Yield the bytes of a binary stream in reads of at most `size` bytes."""
    while True:
        data = stream.read(size)
        if not data:
            return
        yield data


def _is_safe_cut(buf: bytearray, pos: int) -> bool:
    # Keyboard-only: buf[pos - 1] is LF and buf[pos], buf[pos + 1] exist.
    return buf[pos] in _SAFE_FIRST and buf[pos + 1] < 0x80


def _last_cut(buf: bytearray, lo: int, hi: int, keyboard_only: bool) -> int:
    """The largest safe cut position in [lo, hi] (0 when there is none)."""
    end = hi
    start = max(lo, 1) - 1
    while True:
        lf = buf.rfind(_LF, start, end)
        if lf < 0:
            return 0
        if not keyboard_only or _is_safe_cut(buf, lf + 1):
            return lf + 1
        end = lf


def split_pieces(chunks: typing.Iterable[bytes], keyboard_only: bool,
                 piece_size: int = PIECE_SIZE) -> typing.Iterator[bytes]:
    """Regroup byte chunks into pieces that may be cleaned apart (see the module docstring).

    `keyboard_only` is the option of the cleaning to come. The pieces concatenate to the input.
    Once `piece_size` bytes are buffered, everything up to the last safe break among them is
    handed out as one piece; the rest waits for more input.
    """
    if piece_size < 1:
        raise ValueError("piece_size must be at least 1")
    buf = bytearray()
    scanned = 0  # cut positions below this one are known not to be safe
    for chunk in chunks:
        buf += chunk
        if len(buf) < piece_size:
            continue
        # A keyboard-only cut needs the two bytes after it.
        hi = len(buf) - 2 if keyboard_only else len(buf)
        if hi < scanned:
            continue
        cut = _last_cut(buf, scanned, hi, keyboard_only)
        scanned = hi + 1
        if cut:
            yield bytes(buf[:cut])
            del buf[:cut]
            scanned -= cut
    if buf:
        yield bytes(buf)


def clean_pieces(chunks: typing.Iterable[bytes], options: Options, *, errors: str = "strict",
                 piece_size: int = PIECE_SIZE) -> typing.Iterator[Piece]:
    """Decode and clean UTF-8 input piece by piece.

    The cleaned texts of the pieces concatenate to what one call of `Cleaner(options).clean` on
    the whole decoded input returns, and a `Tally` of the results holds its counters. `errors`
    is a codec error handler for decoding; with "strict" a decoding error raises `InvalidUTF8`
    naming the byte offset. With "surrogateescape" the cleaned text keeps undecodable bytes as
    lone surrogates, to be encoded back with the same handler.
    """
    cleaner = Cleaner(options)
    offset = 0
    for data in split_pieces(chunks, options.keyboard_only, piece_size):
        try:
            text = data.decode("utf-8", errors)
        except UnicodeDecodeError as exc:
            raise InvalidUTF8(offset + exc.start, exc.reason) from None
        engine_text, base = _protect(text)
        result = cleaner.clean(engine_text)
        cleaned = result.text if not base else _restore(result.text, base)
        yield Piece(offset, text, cleaned, result)
        offset += len(data)


# Undecodable bytes under "surrogateescape" are the lone surrogates U+DC80..U+DCFF, which the
# engine cannot take. Each is swapped for a private-use character base + 0x80..0xFF (a visible
# character every rule leaves alone; keyboard-only output removes it, as any non-keyboard
# character), the base chosen so that the text holds none of its 128 characters.
_ESCAPED = re.compile("[\udc80-\udcff]")
_BASES = (*range(0xF0000, 0xFFF00, 0x100), *range(0x100000, 0x10FF00, 0x100))


def _protect(text: str) -> tuple[str, int]:
    if not _ESCAPED.search(text):
        return text, 0
    for base in _BASES:
        if not re.search(f"[{chr(base + 0x80)}-{chr(base + 0xFF)}]", text):
            table = {0xDC00 + b: base + b for b in range(0x80, 0x100)}
            return text.translate(table), base
    raise ValueError("the text uses every private-use block that could stand for undecodable bytes")


def _restore(text: str, base: int) -> str:
    return text.translate({base + b: 0xDC00 + b for b in range(0x80, 0x100)})
