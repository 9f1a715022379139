"""Cleaning an input of any size in pieces, with the result of one call on the whole.

A piece is cleaned on its own by `Cleaner.clean`, so the input is only cut where the pass over the
whole text would carry nothing across the cut that the next piece cannot be given back. What the
pass carries from one grapheme cluster to the next is small: the pending whitespace run and three
flags (something emitted, a drop at the very start, a drop since the last whitespace or line
break). Every cut here is a place where that state is known exactly, and each piece after the
first is cleaned behind a short *lead-in* that puts the pass into that state: an LF, which leaves
"emitted, nothing pending, no drop" whatever came before it, followed where needed by a character
the options drop and a space. The lead-in's own output (its LF, as the line-ending style writes
it) and counters (that LF and the drops) are taken off again. Three kinds of cut:

* After an LF (any options, any following text). A cluster always ends after LF (UAX #29
  GB4/GB5); the rules that look back across a boundary (GB9c, GB11, GB12/13) are stopped by it; LF
  is a starter that composes with nothing, so normalization of the rest is the same alone as in
  the whole; a CR before it stays on the left. The lead-in "LF" reproduces the state exactly.
* Between two *simple* characters (below) when the state after the first is known to be
  "emitted, no run": after a character the options keep, or an LF. The lead-in is "LF", or "LF"
  and a dropped character when a drop since the last whitespace is known.
* Between two simple characters when the run is known to be exactly one space (the run after a
  drop, or a single space after a kept character): the lead-in ends with that space, so the run
  moves whole into the next piece, and the left piece's handling of it as trailing whitespace at
  its end is undone (one trailing space counted, or one space written).

Simple characters are TAB, LF, space, the printable ASCII characters and letters and digits of
the Latin, Greek, Cyrillic and CJK blocks that have no decomposition and are never the second
part of a composition (a test checks this against the character database). Between two of them
a cluster boundary is certain (none is Prepend, Extend, SpacingMark, ZWJ, a regional indicator,
Hangul, pictographic or an Indic consonant), normalization leaves them alone and never combines
across them, and no option changes one of them in a way that depends on its neighbours: each is
either kept (something is written) or dropped whole by the keyboard-only filter, which is asked
once per character with a call on that character alone. The state is followed from character
to character over the last few thousand characters of the buffer; anything else makes it
unknown until the next LF.

`unicode_normalized` (0 or 1 per call) combines as "any" over the pieces and `changes_made` is
corrected by the difference (`Tally`).

Pieces are cut at the last LF in the second half of the buffered text once `piece_size` bytes
are buffered, otherwise at the last other safe place near its end; an input with no safe place
at all (no line break and nothing but characters outside the simple set) is read whole.

Change reports (`explain=True`). Each piece is explained (`scrubix.explain`) instead of only
cleaned, and the input is then cut only after LF: behind the lead-in "LF" every change of the
piece lies after the lead-in, so the piece's changes are those of the whole input moved by the
piece's start. Positions are `str` indices, lines and columns of the decoded text.

Undecodable bytes. The input is decoded with Python's "surrogateescape" handler, so every byte
is kept and the pieces concatenate to the input byte for byte. With the handler "strict" a lone
surrogate is an error naming its byte offset. With "replace", "ignore" and "backslashreplace"
each run of undecodable bytes is decoded as Python's handler would, the result is cleaned as
part of the text, and the bytes are counted. With "surrogateescape" the bytes pass through
unchanged: the text between them is cleaned as if each run were a character that is kept (the
text before it is cleaned with a trailing "x" that is taken off again, so whitespace before the
bytes is not trailing; the text after it gets the "LF" lead-in).
"""

from __future__ import annotations

import codecs
import functools
import re
import typing
import unicodedata

from ._report import Change, explain
from ._scrubix import Cleaner, Options

__all__ = ["PIECE_SIZE", "InvalidUTF8", "Piece", "Tally", "TextPosition", "clean_pieces", "read_chunks",
           "split_pieces", "simple_characters"]

PIECE_SIZE = 1 << 16
# Characters at the end of the buffer over which the state is followed to find a cut without LF.
_SCAN_SPAN = 4096

# Counter names in their declaration order.
_STAT_NAMES: tuple[str, ...] = tuple(Cleaner().clean("").stats)
_ESCAPED = re.compile("[\udc80-\udcff]+")


class InvalidUTF8(ValueError):
    """The input is not UTF-8 at byte `offset` (counted from the start of the input)."""

    def __init__(self, offset: int, reason: str) -> None:
        super().__init__(f"not valid UTF-8 at byte {offset}: {reason}")
        self.offset = offset
        self.reason = reason


class Piece(typing.NamedTuple):
    """One piece of the input: where it starts, its bytes before and after, and its counters.

    `undecodable` counts the bytes that were not UTF-8 and were replaced, dropped or escaped by
    the error handler (with "surrogateescape" they are kept, and not counted). `changes` (only
    when explained) lists the piece's changes, placed in the piece's decoded text.
    """

    offset: int
    data: bytes
    cleaned: bytes
    stats: dict[str, int]
    changes_made: int
    undecodable: int
    changes: typing.Optional[list[Change]] = None
    end: typing.Optional[TextPosition] = None  # where the piece's decoded text ends, from its start


_LINE_BREAKS = re.compile("\r\n|\r|\n")


class TextPosition(typing.NamedTuple):
    """A place in decoded text: `chars` (the `str` index) and 1-based line and column (LF, CR LF and a lone CR
    end a line)."""

    chars: int = 0
    line: int = 1
    column: int = 1

    def after(self, text: str) -> TextPosition:
        """The place after `text`, which starts here."""
        lines = 0
        last_end = -1
        for found in _LINE_BREAKS.finditer(text):
            lines += 1
            last_end = found.end()
        if not lines:
            return TextPosition(self.chars + len(text), self.line, self.column + len(text))
        return TextPosition(self.chars + len(text), self.line + lines, len(text) - last_end + 1)

    def then(self, span: TextPosition) -> TextPosition:
        """The place `span` (measured from here, as a piece's `end`) leads to."""
        column = span.column + self.column - 1 if span.line == 1 else span.column
        return TextPosition(self.chars + span.chars, self.line + span.line - 1, column)

    def place(self, change: Change) -> Change:
        """A change found in a text that starts here, placed in the whole."""
        column = change.column + self.column - 1 if change.line == 1 else change.column
        return change._replace(start=change.start + self.chars, end=change.end + self.chars,
                                   line=change.line + self.line - 1, column=column)


class Tally:
    """Counters of pieces cleaned one by one, combined into those of one call on the whole."""

    def __init__(self) -> None:
        self._stats: dict[str, int] = dict.fromkeys(_STAT_NAMES, 0)
        self._changes = 0  # changes_made of the pieces, without their unicode_normalized
        self.undecodable = 0

    def add(self, result: typing.Any) -> None:
        """Add a `Piece` or a `CleaningResult`."""
        normalized = 0
        for name, count in result.stats.items():
            if name == "unicode_normalized":
                normalized = count
                self._stats[name] = max(self._stats[name], count)
            else:
                self._stats[name] += count
        self._changes += result.changes_made - normalized
        self.undecodable += getattr(result, "undecodable", 0)

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


# --- simple characters ------------------------------------------------------------------------

_SIMPLE_BLOCKS = ((0x00C0, 0x0250), (0x0370, 0x0400), (0x0400, 0x0530), (0x4E00, 0xA000))


@functools.lru_cache(maxsize=1)
def simple_characters() -> frozenset[str]:
    """The characters a cut may fall between (see the module docstring)."""
    chars = {"\t", "\n", *map(chr, range(0x20, 0x7F))}
    for lo, hi in _SIMPLE_BLOCKS:
        for code in range(lo, hi):
            c = chr(code)
            if unicodedata.category(c)[0] in "LN" and not unicodedata.decomposition(c) \
                    and not unicodedata.combining(c):
                chars.add(c)
    return frozenset(chars)


_KEPT, _DROPPED, _SPACE = 1, 2, 3


class _Cutter:
    """Finds safe cuts in decoded text for one set of options."""

    def __init__(self, cleaner: Cleaner, options: Options) -> None:
        self._cleaner = cleaner
        self._simple = simple_characters()
        self._kinds: dict[str, int] = {" ": _SPACE, "\t": _SPACE}
        self._keyboard_only = options.keyboard_only
        self._dropped = ""  # a simple character these options drop, once one was seen

    def kind(self, c: str) -> int:
        """_KEPT, _DROPPED or _SPACE for a simple character other than LF, else 0."""
        kind = self._kinds.get(c)
        if kind is None:
            kind = 0
            if c in self._simple and c != "\n":
                out = self._cleaner.clean(c).text
                kind = _DROPPED if not out else _KEPT if out.strip(" \t") else 0
            self._kinds[c] = kind
        if kind == _DROPPED and not self._dropped:
            self._dropped = c
        return kind

    def last_cut(self, buf: str, lo: int) -> tuple[int, str, bool]:
        """The last cut in buf[lo:] away from LF: (position, lead-in, undo a trailing space), or (0, "", False)."""
        found = (0, "", False)
        hi = len(buf) - 1  # the character after a cut must be known
        if hi <= lo:
            return found
        # State after the character before k: emitted, dropped at start, just dropped, run
        # ("" empty, " " one space, "+" something else); None is unknown.
        emitted = None
        at_start = None if self._keyboard_only else False
        just = None if self._keyboard_only else False
        run: typing.Optional[str] = None
        kind = self.kind
        prev_simple = False
        for k in range(lo, hi):
            c = buf[k]
            nxt = buf[k + 1]
            if c == "\n":
                emitted, at_start, just, run = True, False, False, ""
                prev_simple = True
                continue
            this = kind(c)
            single = prev_simple and (nxt == "\n" or kind(nxt) != 0)
            prev_simple = this != 0
            if not this or not single:
                emitted = run = None
                if self._keyboard_only:
                    at_start = just = None
                continue
            if this == _KEPT:
                emitted, at_start, run = True, False, ""
            elif this == _DROPPED:
                just = True
                if run == "":
                    at_start = None if emitted is None else not emitted
                elif run is not None:
                    # A drop after a run leaves the start-drop state as it was.
                    run = " "
                else:
                    at_start = None
            else:  # a whitespace cluster is held
                if just:
                    run = " "
                elif just is False and run == "" and c == " ":
                    run = " "
                else:
                    run = "+"
                just = False
            if nxt != "\n" and kind(nxt) == 0:
                continue
            if at_start is False and run == "" and emitted and just is not None:
                if just is False:
                    found = (k + 1, "\n", False)
                elif self._dropped:
                    found = (k + 1, "\n" + self._dropped, False)
            elif at_start is False and run == " " and just is not None:
                if just is False:
                    found = (k + 1, "\n ", True)
                elif self._dropped:
                    found = (k + 1, "\n " + self._dropped, True)
        return found


def split_pieces(texts: typing.Iterable[str], cutter: typing.Any,
                 piece_size: int = PIECE_SIZE) -> typing.Iterator[tuple[str, str, bool]]:
    """Regroup decoded text into pieces that may be cleaned apart (see the module docstring).

    Yields (text, lead-in, undo): the piece, the lead-in to clean it behind ("" for the first)
    and whether the piece ends with a pending space that the next piece takes over. The texts
    of the pieces concatenate to the input. `cutter` finds cuts away from line breaks (None:
    only after LF).
    """
    if piece_size < 1:
        raise ValueError("piece_size must be at least 1")
    parts: list[str] = []
    size = 0
    last_lf = -1  # position of the last LF buffered
    lead = ""
    for text in texts:
        lf = text.rfind("\n")
        if lf >= 0:
            last_lf = size + lf
        parts.append(text)
        size += len(text)
        while size >= piece_size:
            cut, next_lead, undo = last_lf + 1, "\n", False
            if cut < piece_size // 2 and cutter is not None:
                tail = _tail(parts, _SCAN_SPAN + 1)
                found, found_lead, found_undo = cutter.last_cut(tail, max(0, piece_size // 2 - (size - len(tail))))
                if found:
                    cut, next_lead, undo = size - len(tail) + found, found_lead, found_undo
            if not cut:
                break  # no safe place yet: keep reading
            buf = "".join(parts)
            yield buf[:cut], lead, undo
            rest = buf[cut:]
            parts = [rest] if rest else []
            size = len(rest)
            last_lf = rest.rfind("\n")
            lead = next_lead
    if parts:
        yield "".join(parts), lead, False


def _tail(parts: list[str], length: int) -> str:
    taken: list[str] = []
    have = 0
    for part in reversed(parts):
        taken.append(part)
        have += len(part)
        if have >= length:
            break
    tail = "".join(reversed(taken))
    return tail[-length:]


def _decoded(chunks: typing.Iterable[bytes]) -> typing.Iterator[str]:
    decoder = codecs.getincrementaldecoder("utf-8")("surrogateescape")
    for chunk in chunks:
        text = decoder.decode(chunk)
        if text:
            yield text
    text = decoder.decode(b"", True)
    if text:
        yield text


def _escaped_bytes(run: str) -> bytes:
    return run.encode("utf-8", "surrogateescape")


class _PieceCleaner:
    """Cleans one piece behind its lead-in and takes the lead-in's output and counters off.

    Explaining, it keeps the changes of the last text cleaned in `changes`, placed in that text.
    """

    def __init__(self, cleaner: Cleaner, options: Options, explaining: bool = False) -> None:
        self._cleaner = cleaner
        self._options = options
        self._explaining = explaining
        self._trim_trailing = options.remove_trailing_whitespace
        self._leads: dict[str, tuple[str, dict[str, int], int]] = {}
        self.changes: list[Change] = []

    def _lead(self, lead: str) -> tuple[str, dict[str, int], int]:
        known = self._leads.get(lead)
        if known is None:
            # The lead-in's space stays pending and belongs to the text after it; alone, its LF
            # and drops give exactly the output and counters it adds.
            result = self._cleaner.clean(lead.replace(" ", ""))
            known = self._leads[lead] = (result.text, result.stats, result.changes_made)
        return known

    def clean(self, text: str, lead: str, undo: bool, keep_open: bool) -> tuple[str, dict[str, int], int]:
        """Clean `text`: its output, counters and changes.

        `keep_open`: the text is followed by undecodable bytes that stay, cleaned as "x".
        """
        whole = lead + text + ("x" if keep_open else "")
        if self._explaining:
            report = explain(whole, self._options)
            self.changes = _changes_within(report.changes, lead, len(lead) + len(text))
            result: typing.Any = report
        else:
            result = self._cleaner.clean(whole)
        out = result.text
        changes = result.changes_made
        stats = result.stats
        if lead:
            lead_out, lead_stats, lead_changes = self._lead(lead)
            if not out.startswith(lead_out):
                raise AssertionError(f"lead-in {lead!r} was not kept at the start of the output")
            out = out[len(lead_out):]
            changes -= lead_changes
            for name, count in lead_stats.items():
                stats[name] -= count
        if keep_open:
            if not out.endswith("x"):
                raise AssertionError("the stand-in for undecodable bytes was not kept")
            out = out[:-1]
        if undo:
            # The left side ended with one pending space, which the next piece now holds.
            if self._trim_trailing:
                stats["trailing_whitespace_removed"] -= 1
                changes -= 1
            elif out.endswith(" "):
                out = out[:-1]
            else:
                raise AssertionError("the pending space was not written at the end of the piece")
        return out, stats, changes


def _changes_within(changes: list[Change], lead: str, end: int) -> list[Change]:
    """The changes of `lead + text (+ "x")` that belong to the text (the lead-in being "" or an
    LF, its changes, with the empty changes that count along, end where the text starts),
    placed in the text. A change that reaches into the stand-in "x" is cut before it."""
    start = len(lead)
    lines = lead.count("\n")
    kept = []
    for change in changes:
        if change.start < start or (change.start == start and change.end == start) or change.start >= end:
            continue
        if change.end > end:
            replacement = change.replacement
            change = change._replace(end=end, original=change.original[:end - change.start],
                                         replacement=replacement[:-1] if replacement.endswith("x") else replacement)
        kept.append(change._replace(start=change.start - start, end=change.end - start,
                                        line=change.line - lines))
    return kept


def _merge(total: dict[str, int], stats: dict[str, int], changes: int) -> int:
    """Add the counters of one call to `total`; returns its changes as they count in the total."""
    for name, count in stats.items():
        if name == "unicode_normalized":
            # Whether normalization changed anything: counted once per input.
            if count and total[name]:
                changes -= count
            total[name] = max(total[name], count)
        else:
            total[name] += count
    return changes


def _joins(escaped: str) -> bool:
    """Whether the bytes of two runs of undecodable bytes, once adjacent, decode to something."""
    return _escaped_bytes(escaped).decode("utf-8", "surrogateescape") != escaped


def _reason(text: str, start: int, end: int) -> str:
    data = _escaped_bytes(text[start:end]) + text[end:end + 3].encode("utf-8", "surrogateescape")
    try:
        data.decode("utf-8")
    except UnicodeDecodeError as exc:
        return exc.reason
    return "invalid byte"  # pragma: no cover - an escaped run never decodes


def clean_pieces(chunks: typing.Iterable[bytes], options: Options, *, errors: str = "strict",
                 piece_size: int = PIECE_SIZE, explain: bool = False) -> typing.Iterator[Piece]:
    """Decode and clean UTF-8 input piece by piece.

    The cleaned bytes of the pieces concatenate to what one call of `Cleaner(options).clean` on
    the whole decoded input returns, encoded, and a `Tally` of the pieces holds its counters.
    `errors` is a codec error handler for decoding; with "strict" a decoding error raises
    `InvalidUTF8` naming the byte offset; with "surrogateescape" undecodable bytes pass through
    unchanged (see the module docstring). With `explain` each piece also lists its changes.
    """
    if errors not in ("strict", "surrogateescape", "replace", "ignore", "backslashreplace"):
        raise ValueError(f"unknown error handler: {errors!r}")
    cleaner = Cleaner(options)
    cutter = None if explain else _Cutter(cleaner, options)
    pieces = _PieceCleaner(cleaner, options, explain)
    offset = 0
    for text, lead, undo in split_pieces(_decoded(chunks), cutter, piece_size):
        changes_list: list[Change] = []
        end = TextPosition()
        stats = dict.fromkeys(_STAT_NAMES, 0)
        undecodable = 0
        try:
            data = text.encode("utf-8")  # fails exactly when there are undecodable bytes
            runs = []
        except UnicodeEncodeError:
            data = text.encode("utf-8", "surrogateescape")
            runs = list(_ESCAPED.finditer(text))
        if not runs:
            out, part_stats, part_changes = pieces.clean(text, lead, undo, False)
            changes = _merge(stats, part_stats, part_changes)
            if explain:
                changes_list, end = pieces.changes, end.after(text)
        elif errors == "strict":
            first = runs[0]
            raise InvalidUTF8(offset + len(text[:first.start()].encode("utf-8", "surrogateescape")),
                              _reason(text, first.start(), first.end()))
        elif errors == "surrogateescape":
            parts = []
            changes = 0
            changes_list = []
            start = 0
            for n, run in enumerate(runs):
                if run.start() > start:
                    between = text[start:run.start()]
                    part, part_stats, part_changes = pieces.clean(between, lead if n == 0 else "\n", False, True)
                    found = pieces.changes
                    if not part and n and _joins(runs[n - 1].group() + run.group()):
                        # Removing all that stood between two runs of undecodable bytes would
                        # make them a character: that text stays as it was.
                        part, part_stats, part_changes, found = between, {}, 0, []
                    parts.append(part)
                    changes += _merge(stats, part_stats, part_changes)
                    if explain:
                        changes_list += [end.place(change) for change in found]
                        end = end.after(between)
                parts.append(run.group())
                end = end.after(run.group())
                start = run.end()
            if start < len(text):
                part, part_stats, part_changes = pieces.clean(text[start:], "\n", undo, False)
                parts.append(part)
                changes += _merge(stats, part_stats, part_changes)
                if explain:
                    changes_list += [end.place(change) for change in pieces.changes]
                    end = end.after(text[start:])
            out = "".join(parts)
        else:
            undecodable = sum(run.end() - run.start() for run in runs)
            decoded = _ESCAPED.sub(lambda run: _escaped_bytes(run.group()).decode("utf-8", errors), text)
            out, part_stats, part_changes = pieces.clean(decoded, lead, undo, False)
            changes = _merge(stats, part_stats, part_changes)
            if explain:
                changes_list, end = pieces.changes, end.after(decoded)
        yield Piece(offset, data, out.encode("utf-8", "surrogateescape"), stats, changes, undecodable,
                    changes_list if explain else None, end if explain else None)
        offset += len(data)
