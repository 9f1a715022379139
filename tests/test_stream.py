"""Cleaning in pieces: the pieces must give exactly the text and counters of one call on the whole."""

from __future__ import annotations

import random
import unicodedata
from typing import List, Tuple

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from scrubix import Cleaner, CleaningResult, Options
from scrubix._stream import InvalidUTF8, Piece, Tally, clean_pieces, simple_characters, split_pieces

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
    # Letters between which pieces are cut away from line breaks, kept or dropped by the options.
    "\u0436", "x", "\u0441\u043b\u043e\u0432\u043e ", " \u0436\u0436 ", "ab ", "\u4e2d\u6587",
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


def clean_in_pieces(data: bytes, opts: Options, chunk: int = 1, piece: int = 1,
                    errors: str = "strict") -> Tuple[bytes, Tally, List[Piece]]:
    pieces = list(clean_pieces(chunked(data, chunk), opts, errors=errors, piece_size=piece))
    tally = Tally()
    for p in pieces:
        tally.add(p)
    assert b"".join(p.data for p in pieces) == data
    return b"".join(p.cleaned for p in pieces), tally, pieces


def assert_same_as_one_call(text: str, opts: Options, chunk: int = 1, piece: int = 1) -> List[Piece]:
    cleaned, tally, pieces = clean_in_pieces(text.encode(), opts, chunk, piece)
    whole: CleaningResult = Cleaner(opts).clean(text)
    assert cleaned.decode() == whole.text, (text, opts)
    assert tally.stats == whole.stats, (text, opts)
    assert tally.changes_made == whole.changes_made, (text, opts)
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
    cleaned, tally, pieces = clean_in_pieces(text.encode(), opts)
    assert sum(p.stats["unicode_normalized"] for p in pieces) == 3
    assert tally.stats["unicode_normalized"] == 1
    assert tally.changes_made == 1 == sum(tally.stats.values())
    assert cleaned.decode() == "\u00e9\nx\n\u00e9\n\u00e9\n"


@pytest.mark.parametrize("opts", [Options(), Options.code_safe_preset(), Options(non_ascii_policy="drop")], ids=repr)
def test_long_lines_are_cut_at_safe_places(opts: Options) -> None:
    # No line break at all: words of Cyrillic (dropped by keyboard-only options, kept by
    # code-safe), ASCII punctuation and runs of spaces still give cuts, each exact.
    rng = random.Random(7)
    text = "".join(rng.choice(["\u0441\u043b\u043e\u0432\u043e ", "word ", ", ", "  ", "1999. "]) for _ in range(3000))
    pieces = assert_same_as_one_call(text, opts, chunk=97, piece=256)
    assert max(len(p.data.decode()) for p in pieces) <= 256 + 97


def test_text_with_no_safe_place_is_read_whole() -> None:
    # Emoji and marks only, no line break: nothing tells the state of the pass.
    text = "\U0001F600\u0301" * 500
    assert len(assert_same_as_one_call(text, Options(), chunk=7, piece=16)) == 1
    lines = "\U0001F600 line\n" * 500  # every line feed is a safe place
    assert len(assert_same_as_one_call(lines, Options(), chunk=7, piece=16)) > 100


def test_memory_stays_near_the_piece_size() -> None:
    lines = [("word " * (n % 13)).strip() + "\n" for n in range(4000)]
    text = "".join(lines)
    for piece_size, chunk in ((256, 256), (1000, 64), (64, 1000)):
        pieces = list(split_pieces(chunked(text, chunk), None, piece_size))  # type: ignore[arg-type]
        assert "".join(p for p, _, _ in pieces) == text
        assert max(len(p) for p, _, _ in pieces) <= piece_size + chunk
        assert all(p.endswith("\n") for p, _, _ in pieces[:-1])


def test_piece_size_must_be_positive() -> None:
    with pytest.raises(ValueError):
        list(split_pieces(["a\nb"], None, 0))


def test_simple_characters_never_combine_with_their_neighbours() -> None:
    # A cut between two of them must fall on a cluster boundary that normalization respects:
    # none decomposes, none is a combining mark, none is the second part of a composition.
    seconds = set()
    for code in range(0x110000):
        fields = unicodedata.decomposition(chr(code)).split()
        if len(fields) == 2 and not fields[0].startswith("<"):
            seconds.add(chr(int(fields[1], 16)))
    simple = simple_characters()
    assert not simple & seconds
    assert all(unicodedata.category(c) not in ("Mn", "Mc", "Me", "Cf", "Co", "Cs", "Zl", "Zp") for c in simple)
    assert {"\u0436", "\u4e2d", "a", " ", "\n"} <= simple and not {"\r", "\u00e9", "\u00a9"} & simple


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
    out, _, _ = clean_in_pieces(data, Options.code_safe_preset(), 3, 1, "surrogateescape")
    assert out == b"x \xff \"hi\"\xfe\n\xc3\n\xc3\xa9\xed\xa0\x80"
    # Under keyboard-only options too: the bytes stay, the text around them is cleaned, and
    # spaces before them are not trailing.
    out, tally, _ = clean_in_pieces(b"caf\xe9 r\xe9sum\xe9  \xff\n\xe2\x80\x94 \x80", Options(), 4, 2, "surrogateescape")
    assert out == b"caf\xe9 r\xe9sum\xe9  \xff\n- \x80"
    assert tally.changes_made == 1 and tally.undecodable == 0


undecodable = st.lists(st.one_of(st.sampled_from(ALPHABET).map(str.encode),
                                 st.sampled_from([b"\xff", b"\xe9", b"\xe2\x80", b"\xc3", b"\xed\xa0\x80", b"\x80\x80"])),
                       max_size=30).map(b"".join)


@settings(max_examples=300, deadline=None)
@given(undecodable, options, st.integers(1, 6), st.integers(1, 12))
def test_undecodable_bytes_under_every_handler(data: bytes, opts: Options, chunk: int, piece: int) -> None:
    # surrogateescape: every undecodable byte comes out as it was, in order, and where the
    # pieces fall does not matter. The other handlers: exactly Python's decoding, then one call,
    # with every undecodable byte counted.
    bad = [c for c in data.decode("utf-8", "surrogateescape") if "\udc80" <= c <= "\udcff"]
    out, tally, _ = clean_in_pieces(data, opts, chunk, piece, "surrogateescape")
    kept = [c for c in out.decode("utf-8", "surrogateescape") if "\udc80" <= c <= "\udcff"]
    assert kept == bad
    whole_out, whole_tally, _ = clean_in_pieces(data, opts, len(data) + 1, 1 << 20, "surrogateescape")
    assert (out, tally.stats) == (whole_out, whole_tally.stats)
    for errors in ("replace", "ignore", "backslashreplace"):
        out, tally, _ = clean_in_pieces(data, opts, chunk, piece, errors)
        whole = Cleaner(opts).clean(data.decode("utf-8", errors))
        assert (out.decode(), tally.stats, tally.undecodable) == (whole.text, whole.stats, len(bad))


def test_tally_of_nothing_is_zero() -> None:
    tally = Tally()
    assert tally.changes_made == 0
    assert list(tally.stats) == list(Cleaner().clean("").stats)
    assert not any(tally.stats.values())
    assert list(clean_pieces([], Options())) == []
