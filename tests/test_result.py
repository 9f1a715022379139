"""The CleaningResult class: attributes, statistics, repr preview, truth and equality."""

from __future__ import annotations

import copy
import pickle

import pytest

from scrubix import Cleaner, CleaningResult, Options

STATS_KEYS = ["hidden_chars_removed", "trailing_whitespace_removed", "spaces_normalized",
              "whitespace_collapsed", "dashes_normalized", "quotes_normalized", "other_normalized",
              "control_chars_removed", "line_endings_normalized", "unicode_normalized",
              "non_keyboard_removed", "non_keyboard_transliterated", "emojis_dropped"]
# Keeps every character, so the repr sees the text as given.
KEEP_ALL = Options.minimal_preset().replace(remove_hidden=False)


def kept(text: str) -> CleaningResult:
    result = Cleaner(KEEP_ALL).clean(text)
    assert result.text == text and result.changes_made == 0
    return result


def test_empty_result() -> None:
    result = Cleaner().clean("")
    assert list(result.stats) == STATS_KEYS
    assert set(result.stats.values()) == {0}
    assert result.changes_made == 0 and not result


def test_counts_and_truth() -> None:
    result = Cleaner().clean("\u201ca\u201d\u2014b")
    assert result.text == '"a"-b' and result.changes_made == 3 and result
    assert sum(result.stats.values()) == 3
    assert all(type(v) is int for v in result.stats.values())
    assert result.stats["quotes_normalized"] == 2 and result.stats["dashes_normalized"] == 1


def test_attributes_are_fresh_and_read_only() -> None:
    result = Cleaner().clean("x\u200b y")
    first = result.stats
    del first["hidden_chars_removed"]
    first["extra"] = 1
    assert result.stats is not first and list(result.stats) == STATS_KEYS
    assert result.text is not result.text and str(result) == result.text
    for name in ("text", "changes_made", "stats"):
        with pytest.raises(AttributeError):
            setattr(result, name, None)
        with pytest.raises(AttributeError):
            delattr(result, name)
    with pytest.raises(AttributeError):
        result.other = 1  # type: ignore[attr-defined]


def test_class_facts_and_docs() -> None:
    assert CleaningResult.__doc__ == (
        "Result returned by `Cleaner.clean`.\n\nAttributes:\n- `text`: cleaned text output\n"
        "- `changes_made`: total number of transformations\n- `stats`: dict of per-operation counters")
    assert CleaningResult.__text_signature__ is None
    assert CleaningResult.stats.__doc__ == "Per-operation counters as `dict[str, int]`."
    assert CleaningResult.text.__doc__ == "" and CleaningResult.changes_made.__doc__ == ""
    for call in (lambda: CleaningResult(), lambda: CleaningResult("x", changes_made=1),
                 lambda: CleaningResult.__new__(CleaningResult)):
        with pytest.raises(TypeError) as info:
            call()
        assert str(info.value) == "cannot create 'scrubix._scrubix.CleaningResult' instances"


def test_repr_examples() -> None:
    result = Cleaner().clean("a\u200bb\u200bc")
    assert result.text == "abc" and result.changes_made == 2
    assert repr(result) == 'CleaningResult(changes_made=2, text="abc")'
    assert repr(kept("line one\nline two")) == 'CleaningResult(changes_made=0, text="line one\\nline two")'


def test_repr_preview_length_in_characters() -> None:
    assert repr(kept("\u00e9" * 60)) == f'CleaningResult(changes_made=0, text="{"é" * 60}")'
    assert repr(kept("\u00e9" * 61)) == f'CleaningResult(changes_made=0, text="{"é" * 60}...")'
    # Scalar values, not clusters: each e + U+0301 counts twice.
    assert repr(kept("e\u0301" * 31)) == \
        'CleaningResult(changes_made=0, text="' + "e\\u{301}" * 30 + '...")'
    assert repr(kept("\\" * 61)).endswith('"' + "\\\\" * 60 + '...")')


@pytest.mark.parametrize("text, shown", [
    ("\u0301", "\\u{301}"), ("\u00a0", "\\u{a0}"), ("\u200d", "\\u{200d}"), ("\\", "\\\\"),
    ("\u00e9", "\u00e9"), ("'", "'"), ('"', '\\"'), ("\t\r\0", "\\t\\r\\0"), ("\x7f\x1b", "\\u{7f}\\u{1b}"),
    ("\u2028\u2029\u3000", "\\u{2028}\\u{2029}\\u{3000}"), ("\ue000\U000E0001\u0378", "\\u{e000}\\u{e0001}\\u{378}"),
    (" \u4e2d\U0001F600", " \u4e2d\U0001F600"),
])
def test_repr_escaping(text: str, shown: str) -> None:
    assert repr(kept(text)) == f'CleaningResult(changes_made=0, text="{shown}")'


def test_equality() -> None:
    text = "Caf\u00e9 \u2014 \u201chi\u201d"
    a, b = Cleaner().clean(text), Cleaner().clean(text)
    assert a == b and not (a != b)
    assert a != a.text and not (a == a.text)
    assert a != Cleaner().clean(text + " ")  # same text, other counts
    assert Cleaner(KEEP_ALL).clean("x") != Cleaner(KEEP_ALL).clean("y")
    assert CleaningResult.__hash__ is None
    with pytest.raises(TypeError):
        hash(a)
    with pytest.raises(TypeError):
        a < b  # type: ignore[operator]


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_not_picklable(protocol: int) -> None:
    with pytest.raises(TypeError):
        pickle.dumps(Cleaner().clean("x"), protocol=protocol)


def test_not_copyable() -> None:
    with pytest.raises(TypeError):
        copy.copy(Cleaner().clean("x"))
