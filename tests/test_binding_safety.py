"""Reference and memory safety of the binding: no leaks, sound failure under memory
exhaustion, strings taken only through their UTF-8 encoding.

Run: python -m pytest tests/test_binding_safety.py
Reference-count deltas need a debug interpreter: tools/debug_refcounts.sh builds the extension
for python3-dbg and runs this file there (test_reference_counts_are_balanced). A long run by
hand: SCRUBIX_SAFETY_CALLS=1000000 python -m pytest tests/test_binding_safety.py -k grow
"""

from __future__ import annotations

import copy
import gc
import os
import pickle
import subprocess
import sys
from typing import Any, Callable

import pytest

import scrubix
from scrubix import Cleaner, CleaningResult, Options

TEXT = "Caf\u00e9 \u2014 \u201cquoted\u201d\u00a0\u2026 \ufb01 \U0001F600\u200d\U0001F469 e\u0301 \u2260  \r\n" * 20
LONE = "ab\ud800cd"

_cleaner = Cleaner(Options.aggressive_preset())
_result = _cleaner.clean(TEXT)
_options = Options.code_safe_preset()
_nfkc = Options(unicode_normalization="nfkc", collapse_whitespace=True)
_pickled_options = pickle.dumps(_options)
_pickled_cleaner = pickle.dumps(_cleaner)


def _raises(exc: type[BaseException], call: Callable[[], Any]) -> Callable[[], Any]:
    def run() -> Any:
        try:
            call()
        except exc as e:
            return type(e).__name__, str(e)
        raise AssertionError(f"expected {exc.__name__}")
    return run


# Every entry point of the module, on its success and its error paths: name -> call. Each call
# returns a value that can be compared between runs.
ENTRY_POINTS: dict[str, Callable[[], Any]] = {
    "clean": lambda: scrubix.clean(TEXT),
    "clean_keyword": lambda: scrubix.clean(text="plain ascii text"),
    "humanize": lambda: scrubix.humanize(TEXT),
    "clean_no_args": _raises(TypeError, lambda: scrubix.clean()),  # type: ignore[call-arg]
    "clean_two_args": _raises(TypeError, lambda: scrubix.clean("a", "b")),  # type: ignore[call-arg]
    "clean_bad_keyword": _raises(TypeError, lambda: scrubix.humanize("a", mode=1)),  # type: ignore[call-arg]
    "clean_twice": _raises(TypeError, lambda: scrubix.clean("a", text="b")),  # type: ignore[call-arg]
    "clean_int": _raises(TypeError, lambda: scrubix.clean(5)),  # type: ignore[arg-type]
    "clean_surrogate": _raises(UnicodeEncodeError, lambda: scrubix.clean(LONE)),
    "cleaner_new": lambda: repr(Cleaner(_options)),
    "cleaner_new_default": lambda: repr(Cleaner(options=None)),
    "cleaner_new_bad": _raises(TypeError, lambda: Cleaner("x")),  # type: ignore[arg-type]
    "cleaner_new_two": _raises(TypeError, lambda: Cleaner(None, None)),  # type: ignore[call-arg]
    "cleaner_clean": lambda: (lambda r: (r.text, r.changes_made, r.stats))(_cleaner.clean(TEXT)),
    "cleaner_clean_ascii": lambda: _cleaner.clean("plain").text,
    "explain": lambda: (lambda r: (r.text, r.stats, r.changes))(scrubix.explain(TEXT, _nfkc)),
    "cleaner_clean_none": _raises(TypeError, lambda: _cleaner.clean(None)),  # type: ignore[arg-type]
    "cleaner_clean_surrogate": _raises(UnicodeEncodeError, lambda: _cleaner.clean(LONE)),
    "cleaner_repr": lambda: repr(_cleaner),
    "cleaner_pickle": lambda: repr(pickle.loads(pickle.dumps(_cleaner))),
    "cleaner_unpickle": lambda: repr(pickle.loads(_pickled_cleaner)),
    "cleaner_deepcopy": lambda: repr(copy.deepcopy(_cleaner)),
    "result_text": lambda: _result.text,
    "result_stats": lambda: _result.stats,
    "result_changes": lambda: _result.changes_made,
    "result_repr_str_bool": lambda: (repr(_result), str(_result), bool(_result)),
    "result_compare": lambda: (_result == _result, _result != _result, _result == 1, _result != "x"),
    "result_order": _raises(TypeError, lambda: _result < _result),  # type: ignore[operator]
    "result_hash": _raises(TypeError, lambda: hash(_result)),
    "result_pickle": _raises(TypeError, lambda: pickle.dumps(_result)),
    "result_new": _raises(TypeError, lambda: CleaningResult()),
    "result_setattr": _raises(AttributeError, lambda: setattr(_result, "text", "x")),
    "options_new": lambda: repr(Options(True, False, keep_emoji=True, line_endings="CRLF",
                                        unicode_normalization="nfkc", non_ascii_policy="Fold")),
    "options_new_bad_type": _raises(TypeError, lambda: Options(remove_hidden=1)),  # type: ignore[arg-type]
    "options_new_bad_word": _raises(ValueError, lambda: Options(line_endings="crlfx")),
    "options_new_bad_keyword": _raises(TypeError, lambda: Options(emoji_policy="keep")),  # type: ignore[call-arg]
    "options_new_surrogate": _raises(UnicodeEncodeError, lambda: Options(non_ascii_policy=LONE)),
    "options_getters": lambda: [getattr(_options, name) for name in (
        "remove_hidden", "keep_emoji", "non_ascii_policy", "line_endings", "unicode_normalization")],
    "options_repr": lambda: repr(_options),
    "options_compare": lambda: (_options == Options(), _options != Options(), _options == 1),
    "options_hash": _raises(TypeError, lambda: hash(_options)),
    "options_replace": lambda: repr(_options.replace(collapse_whitespace=True, line_endings=None)),
    "options_replace_positional": _raises(TypeError, lambda: _options.replace(1)),  # type: ignore[call-arg]
    "options_replace_unknown": _raises(TypeError, lambda: _options.replace(emoji_policy="keep")),
    "options_replace_bad_word": _raises(ValueError, lambda: _options.replace(unicode_normalization="nfx")),
    "options_reduce": lambda: _options.__reduce__(),
    "options_setstate": lambda: Options().__setstate__({"keyboard_only": False, "line_endings": "lf"}),
    "options_setstate_bad": _raises(TypeError, lambda: Options().__setstate__({"keyboard_only": 1})),
    "options_setstate_not_dict": _raises(TypeError, lambda: Options().__setstate__([])),  # type: ignore[arg-type]
    "options_pickle": lambda: repr(pickle.loads(pickle.dumps(_options))),
    "options_unpickle": lambda: repr(pickle.loads(_pickled_options)),
    "options_presets": lambda: [repr(p()) for p in (Options.minimal_preset, Options.balanced_preset,
                                                    Options.humanize_preset, Options.aggressive_preset,
                                                    Options.code_safe_preset)],
}


def _rss_bytes() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def _under_asan() -> bool:
    try:
        with open("/proc/self/maps") as maps:
            return "libasan" in maps.read()
    except OSError:
        return False


CALLS = int(os.environ.get("SCRUBIX_SAFETY_CALLS", "3000"))


@pytest.mark.parametrize("name", sorted(ENTRY_POINTS))
def test_repeated_calls_do_not_grow_memory(name: str) -> None:
    """Python objects left alive (a missed decref keeps its object's block) and process memory
    (a C++ buffer never freed) stay flat over many calls of each entry point."""
    call = ENTRY_POINTS[name]
    expected = call()
    for _ in range(200):
        call()
    rss = _rss_bytes() if os.path.exists("/proc/self/statm") else 0
    # Two rounds: caches of the interpreter fill in the first, a leak grows in both.
    growth = []
    for _ in range(2):
        gc.collect()
        blocks = sys.getallocatedblocks()
        for _ in range(CALLS // 2):
            assert call() == expected
        gc.collect()
        growth.append(sys.getallocatedblocks() - blocks)
    # A leak of one object per call would leave CALLS / 2 blocks in each round.
    assert min(growth) < 20 + CALLS // 50, growth
    if rss and not _under_asan():
        # TEXT is about 2 KiB in UTF-8: one lost copy per call would add megabytes.
        grown = _rss_bytes() - rss
        assert grown < max(1 << 20, CALLS * 64), f"RSS grew by {grown} bytes over {CALLS} calls"


@pytest.mark.skipif(not hasattr(sys, "gettotalrefcount"), reason="needs a debug interpreter (tools/debug_refcounts.sh)")
@pytest.mark.parametrize("name", sorted(ENTRY_POINTS))
def test_reference_counts_are_balanced(name: str) -> None:
    call = ENTRY_POINTS[name]
    for _ in range(50):
        call()
    deltas = []
    for _ in range(3):
        gc.collect()
        before = sys.gettotalrefcount()  # type: ignore[attr-defined]
        for _ in range(200):
            call()
        gc.collect()
        deltas.append(sys.gettotalrefcount() - before)  # type: ignore[attr-defined]
    print(f"refcount deltas over 3 x 200 calls of {name}: {deltas}")
    # A leaked reference per call shows as 200 every round; interpreter caches warm up once.
    assert min(deltas) < 10, deltas


@pytest.mark.skipif(not hasattr(sys, "gettotalrefcount"), reason="needs a debug interpreter (tools/debug_refcounts.sh)")
def test_reference_count_measure_sees_a_leak() -> None:
    kept: list[object] = []
    gc.collect()
    before = sys.gettotalrefcount()  # type: ignore[attr-defined]
    for _ in range(200):
        kept.append(object())
    assert sys.gettotalrefcount() - before >= 200  # type: ignore[attr-defined]


# Runs every entry point with the n-th Python allocation and all after it failing, for n
# from 0 until the call gets through; prints one line per outcome that is neither the normal
# result nor MemoryError.
_NOMEMORY_SCRIPT = r"""
import sys
sys.path.insert(0, sys.argv[1])
import _testcapi
import test_binding_safety as t

def describe(value, error):
    if error is not None:
        return ("raised", type(error).__name__, str(error))
    return ("ok", value)

def attempt(call, start):
    # Nothing may allocate between setting and removing the hooks but the call itself.
    box = [None, None]
    _testcapi.set_nomemory(start, 0)
    try:
        box[0] = call()
    except BaseException as e:
        box[1] = e
    finally:
        _testcapi.remove_mem_hooks()
    return describe(box[0], box[1])

def control_lambda_call():
    return (lambda r: (r, len(r)))(t.TEXT.encode())

def control_raises():
    return t._raises(TypeError, lambda: int(t.TEXT, base=[]))()

entry_points = t.ENTRY_POINTS
if sys.argv[2] == "control":  # the interpreter alone, in calls shaped like the entry points
    entry_points = {"lambda_call": control_lambda_call, "raises": control_raises,
                    "hash_list": t._raises(TypeError, lambda: hash([])),
                    "encode": t._raises(UnicodeEncodeError, lambda: t.LONE.encode())}
bad = 0
for name in sorted(entry_points):
    call = entry_points[name]
    try:
        expected = describe(call(), None)
    except BaseException as e:
        expected = describe(None, e)
    for start in range(0, 400):
        got = attempt(call, start)
        if got == expected:
            break
        if got[0] == "raised" and got[1] == "MemoryError":
            continue
        bad += 1
        print(f"{name} with allocation {start} failing: {got!r} instead of {expected!r}", flush=True)
print(f"checked {len(entry_points)} entry points, {bad} unsound outcomes")
sys.exit(1 if bad else 0)
"""


def test_allocation_failures_raise_memory_error() -> None:
    """Under `_testcapi.set_nomemory` every entry point either fails with MemoryError or gives
    its normal outcome: never a crash, a SystemError or another exception."""
    pytest.importorskip("_testcapi")
    import _testcapi

    if not hasattr(_testcapi, "set_nomemory"):
        pytest.skip("_testcapi has no set_nomemory")
    def run(mode: str) -> subprocess.CompletedProcess[str]:
        return subprocess.run([sys.executable, "-c", _NOMEMORY_SCRIPT, os.path.dirname(__file__), mode],
                              capture_output=True, text=True, timeout=300)

    control = run("control")
    if control.returncode != 0:
        # Some interpreters fail under set_nomemory on their own: CPython 3.12 and 3.13 crash
        # freeing a function whose creation failed earlier, 3.9 and 3.10 stop when they cannot make
        # the object of a raised exception, 3.11's debug build trips its own assertions. Then
        # nothing can be learnt about the module there.
        pytest.skip("the interpreter itself fails under set_nomemory: " + control.stderr.strip()[-200:])
    proc = run("module")
    assert proc.returncode == 0, proc.stdout[-4000:] + proc.stderr[-4000:]


# Every place the module takes a str whose text it reads, with a lone surrogate in it.
_SURROGATE_TAKERS: dict[str, Callable[[str], Any]] = {
    "clean": lambda s: scrubix.clean(s),
    "clean_keyword": lambda s: scrubix.clean(text=s),
    "humanize": lambda s: scrubix.humanize(s),
    "cleaner_clean": lambda s: Cleaner().clean(s),
    "cleaner_clean_keyword": lambda s: Cleaner(Options.code_safe_preset()).clean(text=s),
    "options_non_ascii_policy": lambda s: Options(non_ascii_policy=s),
    "options_line_endings": lambda s: Options(line_endings=s),
    "options_unicode_normalization": lambda s: Options(unicode_normalization=s),
    "replace_non_ascii_policy": lambda s: Options().replace(non_ascii_policy=s),
    "replace_line_endings": lambda s: Options().replace(line_endings=s),
    "replace_unicode_normalization": lambda s: Options().replace(unicode_normalization=s),
    "setstate_line_endings": lambda s: Options().__setstate__({"line_endings": s}),
    "setstate_non_ascii_policy": lambda s: Options().__setstate__({"non_ascii_policy": s}),
}


@pytest.mark.parametrize("text", ["\ud800", "\udfff", LONE, "x" * 10_000 + "\udc80", "\U0001F600\ud83d"])
@pytest.mark.parametrize("place", sorted(_SURROGATE_TAKERS))
def test_lone_surrogates_raise_unicode_encode_error(place: str, text: str) -> None:
    with pytest.raises(UnicodeEncodeError):
        _SURROGATE_TAKERS[place](text)


@pytest.mark.parametrize("make", [
    lambda s: Options(**{s: True}),
    lambda s: Options().replace(**{s: True}),
    lambda s: Options().__setstate__({s: True}),
])
def test_lone_surrogate_in_a_keyword_name_is_an_unknown_keyword(make: Callable[[str], Any]) -> None:
    """Names are compared, not encoded: an unknown name with a lone surrogate is reported as
    such, with the name in the message."""
    with pytest.raises(TypeError, match="unexpected keyword argument") as info:
        make("keep\ud800emoji")
    assert "keep\ud800emoji" in str(info.value)


class _Hostile(str):
    """A str subclass whose Python-level methods record that they were called."""

    calls: list[str] = []

    def _record(name: str) -> Callable[..., Any]:  # type: ignore[misc]
        def method(self: Any, *args: Any, **kwargs: Any) -> Any:
            _Hostile.calls.append(name)
            raise AssertionError(f"str subclass method {name} was called")
        return method

    encode = _record("encode")
    __str__ = _record("__str__")
    __len__ = _record("__len__")
    __iter__ = _record("__iter__")
    __getitem__ = _record("__getitem__")
    __eq__ = _record("__eq__")
    __hash__ = str.__hash__  # dictionaries of keyword arguments need it
    lower = _record("lower")
    __format__ = _record("__format__")
    __repr__ = _record("__repr__")
    del _record


def test_str_subclass_methods_are_never_called() -> None:
    _Hostile.calls.clear()
    h = _Hostile
    assert type(scrubix.clean(h("Caf\u00e9"))) is str and scrubix.clean(h("Caf\u00e9")) == "Cafe"
    assert scrubix.humanize(text=h("a  b")) == "a b"
    assert Cleaner().clean(h("Stra\u00dfe")).text == "Strasse"
    assert Cleaner().clean(h("plain")).text == "plain"  # the fast path copies the input
    options = Options(non_ascii_policy=h("FOLD"), line_endings=h("crlf"), unicode_normalization=h("nfc"))
    assert (options.non_ascii_policy, options.line_endings, options.unicode_normalization) == ("fold", "crlf", "nfc")
    assert options.replace(line_endings=h("auto")).line_endings is None
    state = {h("keyboard_only"): False, h("line_endings"): h("cr")}
    restored = Options()
    restored.__setstate__(state)
    assert restored.keyboard_only is False and restored.line_endings == "cr"
    assert Options(**{h("keep_emoji"): True}).keep_emoji is True
    with pytest.raises(ValueError, match="invalid normalization mode: nfx"):
        Options(unicode_normalization=h("NFX"))
    with pytest.raises(TypeError, match="unexpected keyword argument nope"):
        Options().replace(**{h("nope"): True})
    with pytest.raises(TypeError, match=r"^Options.__new__\(\) got an unexpected keyword argument 'nope'$"):
        Options(**{h("nope"): True})
    with pytest.raises(TypeError, match=r"^clean\(\) got an unexpected keyword argument 'nope'$"):
        scrubix.clean("x", **{h("nope"): 1})
    with pytest.raises(TypeError, match=r"^unexpected keyword argument nope$"):
        Options().__setstate__({h("nope"): True})
    assert _Hostile.calls == []


def _numpy_bool(on_bool: Callable[[], Any], result: Any = True) -> Any:
    """A stand-in for a NumPy boolean scalar: its __bool__ runs Python code in the middle of
    the binding's work."""
    def __bool__(self: Any) -> Any:
        on_bool()
        return result
    return type("bool_", (), {"__module__": "numpy", "__bool__": __bool__})()


def test_state_changed_while_it_is_applied() -> None:
    """A flag's __bool__ that empties, grows or replaces the state dict under __setstate__:
    the entry being applied stays alive and nothing crashes; the outcome is a valid object or
    an ordinary exception."""
    for change in ("clear", "grow", "rebind"):
        target = Options()
        state: dict[str, Any] = {}

        def mutate(change: str = change, state: dict[str, Any] = state) -> None:
            if change == "clear":
                state.clear()
            elif change == "grow":
                state.update({f"extra{i}": True for i in range(64)})
            else:
                for key in list(state):
                    state[key] = "lf" if key == "line_endings" else False

        state.update({"keyboard_only": _numpy_bool(mutate, False), "line_endings": "crlf",
                      "unicode_normalization": "nfc"})
        try:
            target.__setstate__(state)
        except TypeError:
            pass  # an entry added or rewritten by __bool__ that is not a valid setting
        assert repr(target).startswith("Options(") and Cleaner(target).clean("\u00e9").text in ("\u00e9", "e")


def test_exceptions_from_a_flag_pass_through() -> None:
    for exc in (KeyboardInterrupt, ZeroDivisionError):
        def boom(exc: type[BaseException] = exc) -> None:
            raise exc()
        with pytest.raises(exc):
            Options(remove_hidden=_numpy_bool(boom))
        with pytest.raises(exc):
            Options().replace(keyboard_only=_numpy_bool(boom))
        with pytest.raises(exc):
            Options().__setstate__({"keep_emoji": _numpy_bool(boom)})
