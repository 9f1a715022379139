"""Cleaning in pieces: the pieces must give exactly the text and counters of one call on the whole."""

from __future__ import annotations

import random
from typing import List, Tuple

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from scrubix import Cleaner, CleaningResult, Options
from scrubix._stream import InvalidUTF8, Piece, Tally, clean_pieces, split_pieces

# Characters around which cutting could go wrong: line breaks and separators, whitespace,
# combining marks (also the U+0338 overlay and what it composes with), emoji parts, regional
# indicators, Hangul jamo and an Indic conjunct (which compose or join across characters),
# hidden and control characters, and symbols every option touches.
ALPHABET = [
    "a", "Z", "1", "=", "<", "-", " ", "  ", "\t", "\n", "\n", "\r", "\r\n", "\u0085", "\u2028", "\u2029",
    "\u0301", "\u0308", "\u0338", "e\u0301", "\u00e9", "\U0001F600", "\u2764", "\ufe0f", "\u200d", "\u200c",
    "\u20e3", "\U0001F1EB", "\U0001F1F7", "\u1100", "\u1161", "\u11a8", "\u0915\u094d", "\u0937",
    "\u200b", "\x01", "\x7f", "\u00a0", "\u3000", "\u2014", "\u201c", "\u2019", "\u2026", "\u2044",
    "\ufb01", "\u00b7", "\u20ac", "\u2260", "\u4e2d", "\u00df",
]

FLAGS = ["remove_hidden", "remove_trailing_whitespace", "normalize_spaces", "normalize_dashes",
         "normalize_quotes", "normalize_other", "keyboard_only", "extended_keyboard", "keep_emoji",
         "preserve_joiners", "remove_control_chars", "collapse_whitespace"]

NAMED_OPTIONS = [
    Options(), Options.minimal_preset(), Options.balanced_preset(), Options.humanize_preset(),
    Options.aggressive_preset(), Options.code_safe_preset(),
    Options(non_ascii_policy="drop", unicode_normalization="nfc"),
    Options(non_ascii_policy="fold", unicode_normalization="nfkd", collapse_whitespace=True),
    Options(line_endings="crlf", collapse_whitespace=True, remove_trailing_whitespace=False),
    Options(line_endings="cr", keep_emoji=True, unicode_normalization="nfd"),
    Options(remove_control_chars=False, remove_hidden=False),
]

texts = st.lists(st.sampled_from(ALPHABET), max_size=40).map("".join)
options = st.builds(
    Options,
    **{name: st.booleans() for name in FLAGS},
    non_ascii_policy=st.sampled_from(["drop", "fold", "transliterate"]),
    line_endings=st.sampled_from([None, "lf", "crlf", "cr"]),
    unicode_normalization=st.sampled_from(["none", "nfc", "nfd", "nfkc", "nfkd"]),
)


def chunked(data: bytes, size: int) -> List[bytes]:
    return [data[i:i + size] for i in range(0, len(data), size)]


def clean_in_pieces(text: str, opts: Options, chunk: int = 1, piece: int = 1,
                    errors: str = "strict") -> Tuple[str, Tally, List[Piece]]:
    pieces = list(clean_pieces(chunked(text.encode("utf-8", "surrogateescape"), chunk), opts,
                               errors=errors, piece_size=piece))
    tally = Tally()
    for p in pieces:
        tally.add(p.result)
    return "".join(p.cleaned for p in pieces), tally, pieces


def assert_same_as_one_call(text: str, opts: Options, chunk: int = 1, piece: int = 1) -> List[Piece]:
    cleaned, tally, pieces = clean_in_pieces(text, opts, chunk, piece)
    whole: CleaningResult = Cleaner(opts).clean(text)
    assert cleaned == whole.text, (text, opts)
    assert tally.stats == whole.stats, (text, opts)
    assert tally.changes_made == whole.changes_made, (text, opts)
    assert "".join(p.text for p in pieces) == text
    return pieces


@settings(max_examples=600, deadline=None)
@given(texts, options, st.integers(1, 6), st.integers(1, 12))
def test_pieces_equal_one_call_for_any_options(text: str, opts: Options, chunk: int, piece: int) -> None:
    assert_same_as_one_call(text, opts, chunk, piece)


@settings(max_examples=300, deadline=None)
@given(st.lists(texts, min_size=2, max_size=8), st.sampled_from(NAMED_OPTIONS))
def test_many_lines_cut_apart_equal_one_call(lines: List[str], opts: Options) -> None:
    # Longer texts with a line break between every part: many cuts happen.
    assert_same_as_one_call("\n".join(lines), opts, chunk=3, piece=1)


HAZARDS = [
    # A dropped emoji right after a line break: cutting there would lose the space.
    "a\n\U0001F600 b", "a\n\u2764\ufe0f\tb\n", "a\n\U0001F600\n b",
    # An ASCII letter whose combining mark composes (NFC) into a dropped character.
    "x\ne\u0301 z", "x\n=\u0338 y", "x\n<\u0338\n", "x\na\u0308\u0301b",
    # CR LF pairs and lone CRs at every position; separators turned into line breaks.
    "a \r\nb\r\n\r\nc\r", "\r\n\r\r\n \r\n", "a\u2028 b\u2029\u0085c \n",
    # Whitespace and drops at the start of a piece, runs across line breaks.
    "a\n  \U0001F600 b", "a\n\t\tb  \n  c", "\n\n\U0001F600\n\U0001F600 \n x",
    # Control and hidden characters are ASCII or invisible but are dropped or removed.
    "a\n\x01 b", "a\n\x7f\tb", "a\n\x01\x01\U0001F600 b", "a\n\u200b\U0001F600 b",
    # Normalization changing only some pieces; Hangul jamo composing.
    "\u00e9\ne\u0301\n\u1100\u1161\u11a8\nab\n", "\ufb01\nplain\n\u00bd\n",
]


@pytest.mark.parametrize("opts", NAMED_OPTIONS, ids=repr)
def test_known_hazards_at_piece_edges(opts: Options) -> None:
    for text in HAZARDS:
        for chunk in (1, 2, 5):
            assert_same_as_one_call(text, opts, chunk, piece=1)
            assert_same_as_one_call(text * 3, opts, chunk, piece=4)


def test_random_long_texts_with_varied_reads() -> None:
    rng = random.Random(20260101)
    for _ in range(60):
        text = "".join(rng.choice(ALPHABET) for _ in range(rng.randint(200, 2000)))
        opts = rng.choice(NAMED_OPTIONS)
        assert_same_as_one_call(text, opts, chunk=rng.randint(1, 64), piece=rng.randint(1, 256))


def test_normalized_counter_is_any_over_the_pieces() -> None:
    # Three pieces change under NFC, one call counts the change once.
    text = "e\u0301\nx\ne\u0301\ne\u0301\n"
    opts = Options.minimal_preset().replace(remove_hidden=False, unicode_normalization="nfc")
    cleaned, tally, pieces = clean_in_pieces(text, opts)
    assert sum(p.result.stats["unicode_normalized"] for p in pieces) == 3
    assert tally.stats["unicode_normalized"] == 1
    assert tally.changes_made == 1 == sum(tally.stats.values())
    assert cleaned == "\u00e9\nx\n\u00e9\n\u00e9\n"


def test_cuts_only_after_line_feeds_that_are_safe() -> None:
    data = b"a\r\nb\n\xf0\x9f\x98\x80 c\nd\xcc\x81\n e\n\n\r\nf"
    for keyboard_only in (False, True):
        pieces = list(split_pieces(chunked(data, 1), keyboard_only, piece_size=1))
        assert b"".join(pieces) == data
        assert all(p.endswith(b"\n") for p in pieces[:-1])
    # Keyboard-only: no cut before the emoji or before "d" + combining mark; others are fine.
    assert list(split_pieces(chunked(data, 1), True, 1)) == \
        [b"a\r\n", b"b\n\xf0\x9f\x98\x80 c\nd\xcc\x81\n", b" e\n", b"\n", b"\r\nf"]
    assert len(list(split_pieces(chunked(data, 1), False, 1))) == data.count(b"\n") + 1
    # One read makes one piece at most: the longest that ends at a safe break.
    assert list(split_pieces([data], True, 1)) == [data[:-3], b"\r\nf"]


def test_input_without_safe_break_is_read_whole() -> None:
    data = ("\U0001F600 line\n" * 500).encode()
    assert list(split_pieces(chunked(data, 7), True, piece_size=16)) == [data]
    assert len(list(split_pieces(chunked(data, 7), False, piece_size=16))) > 100


def test_memory_stays_near_the_piece_size() -> None:
    lines = [("word " * (n % 13)).strip() + "\n" for n in range(4000)]
    data = "".join(lines).encode()
    for piece_size, chunk in ((256, 256), (1000, 64), (64, 1000)):
        pieces = list(split_pieces(chunked(data, chunk), True, piece_size))
        assert b"".join(pieces) == data
        assert max(len(p) for p in pieces) <= piece_size + chunk
        # Each piece runs to the last safe break of what was buffered: short of the piece
        # size by less than a line and the break after it.
        assert all(len(p) > piece_size - 2 * max(map(len, lines)) for p in pieces[:-1])


def test_piece_size_must_be_positive() -> None:
    with pytest.raises(ValueError):
        list(split_pieces([b"a\nb"], True, 0))


@pytest.mark.parametrize("data, offset, reason", [
    (b"line\n" * 300 + b"caf\xe9\n", 1503, "invalid continuation byte"),
    (b"ok\n" * 50 + b"\xff", 150, "invalid start byte"),
    (b"abc\n" * 9 + b"\xe2\x80", 36, "unexpected end of data"),
])
def test_decoding_error_names_the_byte_offset(data: bytes, offset: int, reason: str) -> None:
    assert data[offset] >= 0x80 and (offset == 0 or data[offset - 1] < 0x80)
    with pytest.raises(InvalidUTF8) as info:
        list(clean_pieces(chunked(data, 16), Options(), piece_size=8))
    assert info.value.offset == offset
    assert info.value.reason == reason
    assert f"byte {offset}" in str(info.value)


def test_surrogateescape_keeps_undecodable_bytes() -> None:
    data = b"x \xff \xe2\x80\x9chi\xe2\x80\x9d\xfe\xe2\x80\x8b \n\xc3\n\xc3\xa9\xed\xa0\x80"
    pieces = list(clean_pieces(chunked(data, 3), Options.code_safe_preset(), errors="surrogateescape",
                               piece_size=1))
    out = "".join(p.cleaned for p in pieces).encode("utf-8", "surrogateescape")
    assert out == b"x \xff \"hi\"\xfe\n\xc3\n\xc3\xa9\xed\xa0\x80"
    # Keyboard-only output has no room for them: they go like any non-keyboard character.
    pieces = list(clean_pieces([data], Options(), errors="surrogateescape"))
    assert "".join(p.cleaned for p in pieces) == 'x "hi"\n\ne'
    assert pieces[0].result.stats["non_keyboard_removed"] == 6


def test_surrogateescape_placeholders_never_collide_with_private_use_text() -> None:
    # The text already holds the characters the first placeholder blocks would use.
    taken = "".join(chr(base + b) for base in (0xF0000, 0xF0100) for b in (0x80, 0xFF))
    data = taken.encode() + b" \xff\xfe \xe2\x80\x9c"
    out = "".join(p.cleaned for p in clean_pieces([data], Options.balanced_preset(), errors="surrogateescape"))
    assert out.encode("utf-8", "surrogateescape") == taken.encode() + b" \xff\xfe \""


def test_other_error_handlers_decode_like_python() -> None:
    data = b"a\xffb\n\xe2\x80\x9cq\xe2\x80\x9d\xc3"
    for errors in ("replace", "ignore", "backslashreplace"):
        opts = Options.code_safe_preset()
        text = data.decode("utf-8", errors)
        cleaned, tally, _ = clean_in_pieces(text, opts)
        out = "".join(p.cleaned for p in clean_pieces(chunked(data, 2), opts, errors=errors, piece_size=1))
        assert out == cleaned == Cleaner(opts).clean(text).text


def test_tally_of_nothing_is_zero() -> None:
    tally = Tally()
    assert tally.changes_made == 0
    assert list(tally.stats) == list(Cleaner().clean("").stats)
    assert not any(tally.stats.values())
    assert list(clean_pieces([], Options())) == []
