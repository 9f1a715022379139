"""The Cleaner class: construction, cleaning, pickling and use from many threads."""

from __future__ import annotations

import copy
import gc
import os
import pickle
import sys
import threading
import time
from typing import Any

import pytest

import scrubix
from scrubix import Cleaner, CleaningResult, Options

PRESETS = ["minimal_preset", "balanced_preset", "humanize_preset", "aggressive_preset", "code_safe_preset"]
SAMPLES = ["", "plain ascii", "Caf\u00e9 \u2014 \u201chi\u201d  ", "\ufb01 \u00bd\u2044\u2026\r\n\u2028x\t \n",
           "e\u0301 \U0001F469\u200d\U0001F4BB \u200b\x07 end", "Stra\u00dfe  \u00a0\tline\r\n" * 50]


def test_default_cleaner_cleans_like_the_module_function() -> None:
    for cleaner in (Cleaner(), Cleaner(None), Cleaner(options=None), Cleaner(Options())):
        assert repr(cleaner) == "Cleaner(keyboard_only=true, emoji_policy='drop')"
        for text in SAMPLES:
            assert cleaner.clean(text).text == scrubix.clean(text)
    assert Cleaner().clean(text="Café").text == "Cafe"


def test_repr_shows_two_members() -> None:
    assert repr(Cleaner(Options.code_safe_preset())) == "Cleaner(keyboard_only=false, emoji_policy='keep')"
    assert repr(Cleaner(Options(keep_emoji=True, collapse_whitespace=True))) == \
        "Cleaner(keyboard_only=true, emoji_policy='keep')"


def test_class_facts_and_docs() -> None:
    # Python 3.9 drops the signature line when it copies a class docstring from a PyType_Spec.
    assert sys.version_info < (3, 10) or Cleaner.__text_signature__ == "(options=None)"
    assert Cleaner.__doc__ == "Reusable text cleaner.\n\nConstruct once and call `clean` repeatedly."
    assert Cleaner.clean.__text_signature__ == "($self, text)"
    doc = Cleaner.clean.__doc__
    assert doc.startswith("Clean input text and return a `CleaningResult`.\n\n") and "GIL" in doc
    assert " ".join(doc.split()).endswith(
        "Raises `ValueError` if requested normalization is unavailable in the current build configuration.")
    assert Cleaner.__reduce__.__doc__ == "Pickle support: reconstruct as `Cleaner(options)`."
    cleaner = Cleaner()
    with pytest.raises(AttributeError):
        cleaner.options = Options()  # type: ignore[attr-defined]
    # Identity equality and hashing.
    assert Cleaner() != Cleaner() and cleaner == cleaner
    assert hash(cleaner) == hash(cleaner) and len({Cleaner(), Cleaner()}) == 2


@pytest.mark.parametrize("call, message", [
    (lambda: Cleaner("x"), "argument 'options': 'str' object is not an instance of 'Options'"),
    (lambda: Cleaner(options=0), "argument 'options': 'int' object is not an instance of 'Options'"),
    (lambda: Cleaner(None, None), "Cleaner.__new__() takes from 0 to 1 positional arguments but 2 were given"),
    (lambda: Cleaner(opts=None), "Cleaner.__new__() got an unexpected keyword argument 'opts'"),
    (lambda: Cleaner().clean(), "Cleaner.clean() missing 1 required positional argument: 'text'"),
    (lambda: Cleaner().clean("a", "b"), "Cleaner.clean() takes 1 positional arguments but 2 were given"),
    (lambda: Cleaner().clean(None), "argument 'text': 'None' is not an instance of 'str'"),
    (lambda: Cleaner().clean(b"x"), "argument 'text': 'bytes' object is not an instance of 'str'"),
])
def test_binding_errors(call: Any, message: str) -> None:
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_lone_surrogate() -> None:
    with pytest.raises(UnicodeEncodeError):
        Cleaner().clean("a\ud800b")


def test_options_are_copied_at_construction() -> None:
    opts = Options(keyboard_only=False)
    cleaner = Cleaner(opts)
    opts.__setstate__({"keep_emoji": True})
    assert repr(cleaner) == "Cleaner(keyboard_only=false, emoji_policy='drop')"
    assert cleaner.__reduce__()[1][0] == Options(keyboard_only=False)


def test_empty_text_counts_nothing() -> None:
    for preset in PRESETS:
        result = Cleaner(getattr(Options, preset)()).clean("")
        assert result.text == "" and result.changes_made == 0
        assert set(result.stats.values()) == {0}


def test_unchanged_text_is_returned_whole() -> None:
    text = "fast path: plain ASCII\twith tabs  \r\n" * 1000
    result = Cleaner(Options.minimal_preset()).clean(text)
    assert result.text == text and result.changes_made == 0


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_pickle_round_trip(protocol: int) -> None:
    for preset in PRESETS:
        original = getattr(Options, preset)()
        cleaner = Cleaner(original)
        cls, (carried,) = cleaner.__reduce__()
        assert cls is Cleaner and carried == original  # the full record, reserved_flag included
        restored = pickle.loads(pickle.dumps(cleaner, protocol=protocol))
        assert type(restored) is Cleaner and repr(restored) == repr(cleaner)
        back = restored.__reduce__()[1][0]
        assert repr(back) == repr(original)
        # The pickled Options state has no reserved_flag: only the aggressive preset loses it.
        assert (back == original) == (preset != "aggressive_preset")
        for text in SAMPLES:
            assert restored.clean(text) == cleaner.clean(text)


def test_copy_and_deepcopy() -> None:
    cleaner = Cleaner(Options.humanize_preset())
    for duplicate in (copy.copy(cleaner), copy.deepcopy(cleaner)):
        assert duplicate is not cleaner
        assert duplicate.__reduce__()[1][0] == Options.humanize_preset()


def test_threads_share_one_cleaner() -> None:
    cleaner = Cleaner(Options.aggressive_preset())
    texts = [f"{i}: " + SAMPLES[i % len(SAMPLES)] * (1 + i % 7) for i in range(64)]
    expected = [cleaner.clean(t) for t in texts]
    results: dict[int, list[CleaningResult]] = {}
    barrier = threading.Barrier(8)

    def work(k: int) -> None:
        barrier.wait()
        results[k] = [cleaner.clean(t) for _ in range(20) for t in texts][-len(texts):]

    threads = [threading.Thread(target=work, args=(k,)) for k in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert len(results) == 8
    for k in range(8):
        assert results[k] == expected


def _rss_bytes() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.slow
@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc/self/statm")
def test_repeated_cleaning_leaves_memory_flat() -> None:
    cleaner = Cleaner(Options.aggressive_preset())
    texts = ["Caf\u00e9 \u2014 \u201cquoted\u201d\u00a0\u2026 " * 200, "plain " * 500, "\U0001F600\u200d x " * 100]

    def run(seconds: float) -> int:
        calls = 0
        deadline = time.perf_counter() + seconds
        while time.perf_counter() < deadline:
            for text in texts:
                result = cleaner.clean(text)
                assert sum(result.stats.values()) == result.changes_made
                repr(result), str(result), bool(result), repr(cleaner)
                calls += 1
        return calls

    run(0.5)
    gc.collect()
    before = _rss_bytes()
    calls = run(3.0)
    gc.collect()
    grown = _rss_bytes() - before
    # A leak of even one small object per call would add several megabytes here.
    assert calls > 3000
    assert grown < 2 * 1024 * 1024, f"RSS grew by {grown} bytes over {calls} calls"
