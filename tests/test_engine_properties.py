"""Invariants of every cleaning run, over generated texts and options, through the Python API."""

from __future__ import annotations

from hypothesis import given, settings
from hypothesis import strategies as st

import scrubix

FLAGS = ("remove_hidden", "remove_trailing_whitespace", "normalize_spaces", "normalize_dashes",
         "normalize_quotes", "normalize_other", "keyboard_only", "extended_keyboard", "keep_emoji",
         "preserve_joiners", "remove_control_chars", "collapse_whitespace")

# Text biased towards the characters the rules look at, plus anything from any plane.
interesting = st.sampled_from(list(
    " \t\n\r\x01\x7f\x85\xa0\xad\xe9\u0301\u0338\u200b\u200d\u2014\u2019\u201c\u2026\u2028"
    "\u2044\u2260\u3000\ufe0f\ufeff\u2764\U0001F600\U0001F1E6\U0001F3FB\u4e2d\u0416\ufdfa"))
texts = st.lists(st.one_of(interesting, st.characters(exclude_categories=("Cs",))), max_size=60).map("".join)


@st.composite
def options(draw: st.DrawFn) -> scrubix.Options:
    kwargs: dict[str, object] = {name: draw(st.booleans()) for name in FLAGS}
    kwargs["non_ascii_policy"] = draw(st.sampled_from(["drop", "fold", "transliterate"]))
    kwargs["line_endings"] = draw(st.sampled_from([None, "lf", "crlf", "cr"]))
    kwargs["unicode_normalization"] = draw(st.sampled_from(["none", "nfd", "nfc", "nfkd", "nfkc"]))
    return scrubix.Options(**kwargs)  # type: ignore[arg-type]


@settings(max_examples=600, deadline=None)
@given(texts, options())
def test_total_is_the_sum_of_the_counters(text: str, opts: scrubix.Options) -> None:
    result = scrubix.Cleaner(opts).clean(text)
    stats = result.stats
    assert result.changes_made == sum(stats.values())
    assert stats["unicode_normalized"] in (0, 1)
    assert bool(result) == (result.changes_made != 0)
    if result.changes_made == 0 and opts.unicode_normalization == "none" and opts.line_endings is None:
        assert result.text == text


@settings(max_examples=300, deadline=None)
@given(texts)
def test_module_functions_match_their_cleaners(text: str) -> None:
    assert scrubix.clean(text) == scrubix.Cleaner().clean(text).text
    assert scrubix.humanize(text) == scrubix.Cleaner(scrubix.Options.humanize_preset()).clean(text).text


def test_the_road_of_one_call() -> None:
    result = scrubix.Cleaner().clean("Caf\u00e9 \u2014 \u201chi\u201d  ")
    assert result.text == 'Cafe - "hi"'
    assert result.changes_made == 6
    assert {k: v for k, v in result.stats.items() if v} == {
        "trailing_whitespace_removed": 2, "dashes_normalized": 1, "quotes_normalized": 2,
        "non_keyboard_transliterated": 1}
