"""The Options class: construction, parsing, replace, comparison, pickling and borrow conflicts."""

from __future__ import annotations

import copy
import pickle
import sys
from typing import Any, Callable

import pytest

from scrubix import Cleaner, Options

FLAGS = ["remove_hidden", "remove_trailing_whitespace", "normalize_spaces", "normalize_dashes",
         "normalize_quotes", "normalize_other", "keyboard_only", "extended_keyboard", "keep_emoji",
         "preserve_joiners", "remove_control_chars", "collapse_whitespace"]
SETTINGS = ["remove_hidden", "remove_trailing_whitespace", "normalize_spaces", "normalize_dashes",
            "normalize_quotes", "normalize_other", "keyboard_only", "extended_keyboard", "keep_emoji",
            "non_ascii_policy", "preserve_joiners", "remove_control_chars", "collapse_whitespace",
            "line_endings", "unicode_normalization"]
DEFAULTS: dict[str, Any] = dict(
    remove_hidden=True, remove_trailing_whitespace=True, normalize_spaces=True, normalize_dashes=True,
    normalize_quotes=True, normalize_other=True, keyboard_only=True, extended_keyboard=False,
    keep_emoji=False, non_ascii_policy="transliterate", preserve_joiners=False,
    remove_control_chars=True, collapse_whitespace=False, line_endings=None, unicode_normalization="none")
DEFAULT_REPR = (
    "Options(remove_hidden=true, remove_trailing_whitespace=true, normalize_spaces=true, "
    "normalize_dashes=true, normalize_quotes=true, normalize_other=true, keyboard_only=true, "
    "extended_keyboard=false, emoji_policy='drop', non_ascii_policy='transliterate', "
    "preserve_joiners=false, remove_control_chars=true, collapse_whitespace=false, "
    "line_endings='auto', unicode_normalization='none')")
PRESETS: dict[str, dict[str, Any]] = {
    "minimal_preset": dict(remove_trailing_whitespace=False, normalize_spaces=False, normalize_dashes=False,
                           normalize_quotes=False, normalize_other=False, keyboard_only=False,
                           remove_control_chars=False),
    "balanced_preset": dict(keyboard_only=False, unicode_normalization="nfc"),
    "humanize_preset": dict(keyboard_only=False, collapse_whitespace=True, unicode_normalization="nfkc"),
    "aggressive_preset": dict(collapse_whitespace=True, line_endings="lf", unicode_normalization="nfkc"),
    "code_safe_preset": dict(normalize_other=False, keyboard_only=False, keep_emoji=True,
                             preserve_joiners=True),
}


def settings(opts: Options) -> dict[str, Any]:
    return {name: getattr(opts, name) for name in SETTINGS}


def numpy_bool(on_bool: Callable[[], Any], result: Any = True, name: str = "bool_") -> Any:
    """A stand-in for a NumPy boolean scalar whose __bool__ runs `on_bool` first."""
    def __bool__(self: Any) -> Any:
        on_bool()
        return result
    return type(name, (), {"__module__": "numpy", "__bool__": __bool__})()


def raises(exc: type[BaseException], call: Callable[[], Any]) -> str:
    with pytest.raises(exc) as info:
        call()
    return str(info.value)


def test_defaults_and_repr() -> None:
    opts = Options()
    assert settings(opts) == DEFAULTS
    assert opts == Options(**DEFAULTS) == Options(*DEFAULTS.values())
    assert repr(opts) == DEFAULT_REPR


@pytest.mark.parametrize("preset", PRESETS)
def test_presets(preset: str) -> None:
    make = getattr(Options, preset)
    assert settings(make()) == {**DEFAULTS, **PRESETS[preset]}
    assert make() is not make() and make() == make()
    assert getattr(Options(), preset)() == make()  # callable on an instance too
    # Equal settings, yet only the aggressive preset differs from its keyword twin (reserved_flag).
    assert (Options(**settings(make())) == make()) == (preset != "aggressive_preset")


def test_class_facts_and_docs() -> None:
    opts = Options()
    assert Options.__qualname__ == "Options" and Options.__hash__ is None
    assert not hasattr(opts, "__dict__")
    with pytest.raises(TypeError):
        hash(opts)
    for name in SETTINGS:
        assert getattr(Options, name).__doc__ == ""
        with pytest.raises(AttributeError):
            setattr(opts, name, getattr(opts, name))
    with pytest.raises(AttributeError):
        opts.emoji_policy = "keep"  # type: ignore[attr-defined]
    # Python 3.9 drops the signature line when it copies a class docstring from a PyType_Spec.
    assert sys.version_info < (3, 10) or Options.__text_signature__ == (
        '(remove_hidden=True, remove_trailing_whitespace=True, normalize_spaces=True, '
        'normalize_dashes=True, normalize_quotes=True, normalize_other=True, keyboard_only=True, '
        'extended_keyboard=False, keep_emoji=False, non_ascii_policy="transliterate", '
        'preserve_joiners=False, remove_control_chars=True, collapse_whitespace=False, '
        'line_endings=None, unicode_normalization="none")')
    assert Options.__doc__ == (
        "Cleaning options used by `Cleaner`.\n\nMost callers should start with a preset and derive from it with\n"
        "`replace`, for example `Options.code_safe_preset().replace(keep_emoji=True)`.")
    assert Options.replace.__text_signature__ == "($self, **kwargs)"
    assert Options.replace.__doc__ == (
        "Return a copy of these options with the named fields replaced.\n\n"
        "Accepts the same keyword arguments as the constructor; unnamed fields\n"
        "keep their current values. Use this to derive from a preset, for\n"
        "example `Options.code_safe_preset().replace(normalize_other=True)`.")
    assert Options.code_safe_preset.__doc__ == (
        "Code-safe preset for docs/source text.\n\nKeeps emoji, non-ASCII characters, and ellipsis-like "
        "punctuation,\nwhile normalizing typographic quotes and dashes to ASCII.")
    assert Options.minimal_preset.__text_signature__ == "()"
    assert Options.aggressive_preset.__doc__ == "Aggressive preset: maximum cleanup, keyboard-only output."
    assert Options.__reduce__.__text_signature__ == "($self)"
    assert Options.__reduce__.__doc__ == "Pickle support: reconstruct via `Options()` + `__setstate__`."
    assert Options.__setstate__.__text_signature__ == "($self, state)"


@pytest.mark.parametrize("name, texts, value", [
    ("line_endings", ["LF", "Lf", "lf"], "lf"),
    ("line_endings", ["CRLF", "crlf"], "crlf"),
    ("line_endings", ["auto", "AUTO", "none", "None", None], None),
    ("unicode_normalization", ["NFKC", "nfkc"], "nfkc"),
    ("non_ascii_policy", ["Fold", "FOLD"], "fold"),
])
def test_text_settings_parse_case_insensitively(name: str, texts: list[Any], value: Any) -> None:
    class Word(str):
        pass

    for text in texts:
        for opts in (Options(**{name: text}), Options().replace(**{name: text}),
                     Options(**{name: Word(text)}) if text is not None else Options()):
            assert getattr(opts, name) == value
    if value is None:
        assert "line_endings='auto'" in repr(Options(line_endings="AUTO"))


@pytest.mark.parametrize("kwargs, message", [
    (dict(line_endings=" lf"), "invalid line ending style:  lf (expected auto/none/lf/crlf/cr)"),
    (dict(line_endings=""), "invalid line ending style:  (expected auto/none/lf/crlf/cr)"),
    (dict(line_endings="CRLFX"), "invalid line ending style: crlfx (expected auto/none/lf/crlf/cr)"),
    # Only ASCII letters are lowercased.
    (dict(non_ascii_policy="DRÖP"), "invalid non-ASCII policy: drÖp (expected drop/fold/transliterate)"),
    (dict(unicode_normalization="nfc\0"), "invalid normalization mode: nfc\0 (expected none/nfd/nfc/nfkd/nfkc)"),
    # The texts are parsed in the order line_endings, unicode_normalization, non_ascii_policy.
    (dict(non_ascii_policy="x", unicode_normalization="y", line_endings="z"),
     "invalid line ending style: z (expected auto/none/lf/crlf/cr)"),
    (dict(non_ascii_policy="x", unicode_normalization="y"),
     "invalid normalization mode: y (expected none/nfd/nfc/nfkd/nfkc)"),
])
def test_invalid_words(kwargs: dict[str, str], message: str) -> None:
    assert raises(ValueError, lambda: Options(**kwargs)) == message
    assert raises(ValueError, lambda: Options().replace(**kwargs)).startswith("invalid ")
    assert raises(ValueError, lambda: Options().__setstate__(kwargs)).startswith("invalid ")


@pytest.mark.parametrize("call, message", [
    (lambda: Options(remove_hidden=1), "argument 'remove_hidden': 'int' object is not an instance of 'bool'"),
    (lambda: Options(keep_emoji=None), "argument 'keep_emoji': 'None' is not an instance of 'bool'"),
    (lambda: Options(unicode_normalization=None), "argument 'unicode_normalization': 'None' is not an instance of 'str'"),
    (lambda: Options(non_ascii_policy=None), "argument 'non_ascii_policy': 'None' is not an instance of 'str'"),
    (lambda: Options(line_endings=b"lf"), "argument 'line_endings': 'bytes' object is not an instance of 'str'"),
    # Types are checked before any text is parsed.
    (lambda: Options(line_endings="bad", collapse_whitespace="yes"),
     "argument 'collapse_whitespace': 'str' object is not an instance of 'bool'"),
    (lambda: Options(*[True] * 16), "Options.__new__() takes from 0 to 15 positional arguments but 16 were given"),
    (lambda: Options(emoji_policy="keep"), "Options.__new__() got an unexpected keyword argument 'emoji_policy'"),
    (lambda: Options(True, remove_hidden=True), "Options.__new__() got multiple values for argument 'remove_hidden'"),
    (lambda: Options().replace(True), "Options.replace() takes 0 positional arguments but 1 was given"),
    (lambda: Options().replace(1, 2), "Options.replace() takes 0 positional arguments but 2 were given"),
    (lambda: Options().replace(emoji_policy="keep"), "unexpected keyword argument emoji_policy"),
    (lambda: Options().replace(remove_hidden=1), "'int' object is not an instance of 'bool'"),
    (lambda: Options().replace(line_endings=1.5), "'float' object is not an instance of 'str'"),
    (lambda: Options().__setstate__(), "Options.__setstate__() missing 1 required positional argument: 'state'"),
    (lambda: Options().__setstate__({}, {}), "Options.__setstate__() takes 1 positional arguments but 2 were given"),
    (lambda: Options().__setstate__({}, state={}), "Options.__setstate__() got multiple values for argument 'state'"),
    (lambda: Options().__setstate__(stat={}), "Options.__setstate__() got an unexpected keyword argument 'stat'"),
    (lambda: Options().__setstate__([]), "argument 'state': 'list' object is not an instance of 'dict'"),
    (lambda: Options().__setstate__(None), "argument 'state': 'None' is not an instance of 'dict'"),
    (lambda: Options().__setstate__({1: True}), "'int' object is not an instance of 'str'"),
    (lambda: Options().__setstate__({"Keyboard_only": True}), "unexpected keyword argument Keyboard_only"),
])
def test_type_errors(call: Callable[[], Any], message: str) -> None:
    assert raises(TypeError, call) == message


def test_lone_surrogate_in_a_text_setting() -> None:
    assert not raises(UnicodeEncodeError, lambda: Options(line_endings="\ud800")).startswith("argument")
    with pytest.raises(UnicodeEncodeError):
        Options().replace(unicode_normalization="\udfff")


def test_positional_arguments_fill_in_order() -> None:
    opts = Options(True, False)
    assert opts.remove_hidden is True and opts.remove_trailing_whitespace is False
    assert Options(*[False] * 8, True, "fold").keep_emoji is True
    assert Options(*[False] * 8, True, "fold").non_ascii_policy == "fold"


def test_replace_copies_and_applies_keywords_in_order() -> None:
    base = Options.code_safe_preset()
    derived = base.replace(keep_emoji=False, line_endings="CR", normalize_other=True)
    assert settings(base) == {**DEFAULTS, **PRESETS["code_safe_preset"]}
    assert settings(derived) == {**settings(base), "keep_emoji": False, "line_endings": "cr", "normalize_other": True}
    assert base.replace() == base and base.replace() is not base
    assert Options.aggressive_preset().replace() == Options.aggressive_preset()  # reserved_flag carried
    assert raises(ValueError, lambda: base.replace(line_endings="x", bogus=1)).startswith("invalid line ending")
    assert raises(TypeError, lambda: base.replace(bogus=1, line_endings="x")) == "unexpected keyword argument bogus"


def test_aggressive_preset_twins() -> None:
    aggressive = Options.aggressive_preset()
    twins = [aggressive.replace(), pickle.loads(pickle.dumps(aggressive)),
             Options(collapse_whitespace=True, line_endings="lf", unicode_normalization="nfkc")]
    assert {repr(t) for t in twins} == {repr(aggressive)}
    assert [t == aggressive for t in twins] == [True, False, False]


def test_comparison() -> None:
    opts = Options()
    assert (opts == 1) is False and (opts != 1) is True
    assert Options(line_endings=None) != Options(line_endings="lf")
    for op in ("__lt__", "__le__", "__gt__", "__ge__"):
        assert getattr(opts, op)(Options()) is NotImplemented
    with pytest.raises(TypeError):
        opts < Options()  # type: ignore[operator]

    class EqualToAll:
        def __eq__(self, other: object) -> bool:
            return True

    # `!=` goes through the full protocol, so the reflected __eq__ answers.
    assert (opts != EqualToAll()) is False

    class BadTruth:
        def __eq__(self, other: object) -> Any:
            return self

        def __bool__(self) -> bool:
            raise ZeroDivisionError

    with pytest.raises(ZeroDivisionError):
        opts != BadTruth()


def test_reduce_state() -> None:
    opts = Options(keep_emoji=True, line_endings="crlf", non_ascii_policy="drop")
    cls, args, state = opts.__reduce__()
    assert cls is Options and args == ()
    assert list(state) == SETTINGS
    assert state == settings(opts)
    assert state is not opts.__reduce__()[2]


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_pickle_round_trip(protocol: int) -> None:
    for preset in PRESETS:
        original = getattr(Options, preset)()
        restored = pickle.loads(pickle.dumps(original, protocol=protocol))
        assert type(restored) is Options and repr(restored) == repr(original)
        assert (restored == original) == (preset != "aggressive_preset")
    custom = Options(extended_keyboard=True, line_endings="cr", unicode_normalization="nfd")
    assert pickle.loads(pickle.dumps(custom, protocol=protocol)) == custom


def test_copy_follows_the_pickled_state() -> None:
    for preset in PRESETS:
        original = getattr(Options, preset)()
        for duplicate in (copy.copy(original), copy.deepcopy(original)):
            assert duplicate is not original and repr(duplicate) == repr(original)
            # The pickled state has no reserved_flag, so only the aggressive preset loses it.
            assert (duplicate == original) == (preset != "aggressive_preset")


def test_setstate_starts_from_the_default() -> None:
    opts = Options.aggressive_preset()
    opts.__setstate__({})
    assert opts == Options()
    opts.__setstate__({"keyboard_only": False, "keep_emoji": True})
    assert opts == Options(keyboard_only=False, keep_emoji=True)

    class State(dict):  # type: ignore[type-arg]
        def items(self):  # type: ignore[no-untyped-def]
            raise AssertionError("mapping methods are not used")

    opts.__setstate__(State(line_endings="LF"))
    assert opts == Options(line_endings="lf")
    before = repr(opts)
    assert raises(TypeError, lambda: opts.__setstate__({"remove_hidden": False, "keyboard_only": 1})) == \
        "'int' object is not an instance of 'bool'"
    assert repr(opts) == before


def test_numpy_booleans_are_flags() -> None:
    assert Options(remove_hidden=numpy_bool(lambda: None, False)).remove_hidden is False
    assert Options(keep_emoji=numpy_bool(lambda: None, True, name="bool")).keep_emoji is True
    assert Options().replace(keyboard_only=numpy_bool(lambda: None, False)).keyboard_only is False
    # __bool__ must itself return a bool; plain objects are never truth-tested.
    assert raises(TypeError, lambda: Options(remove_hidden=numpy_bool(lambda: None, 1))) == \
        "argument 'remove_hidden': 'int' object is not an instance of 'bool'"
    other = type("bool_", (), {"__module__": "numpy.core", "__bool__": lambda self: True})()
    assert raises(TypeError, lambda: Options(remove_hidden=other)) == \
        "argument 'remove_hidden': 'bool_' object is not an instance of 'bool'"


def test_borrow_conflicts() -> None:
    opts = Options()
    # replace holds a read borrow while a flag's __bool__ runs: __setstate__ cannot write.
    assert raises(RuntimeError, lambda: opts.replace(
        remove_hidden=numpy_bool(lambda: opts.__setstate__({})))) == "Already borrowed"
    # __setstate__ holds the write borrow: reads, and Cleaner's copy, fail.
    for read, message in [(lambda: opts.keyboard_only, "Already mutably borrowed"),
                          (lambda: repr(opts), "Already mutably borrowed"),
                          (lambda: opts.replace(), "Already mutably borrowed"),
                          (lambda: opts.__reduce__(), "Already mutably borrowed"),
                          (lambda: Cleaner(opts), "Already mutably borrowed"),
                          (lambda: opts.__setstate__({}), "Already borrowed")]:
        assert raises(RuntimeError, lambda: opts.__setstate__({"remove_hidden": numpy_bool(read)})) == message
        assert opts == Options()
    # In a comparison an unborrowable operand yields NotImplemented: identity decides.
    seen: list[tuple[bool, bool, bool]] = []
    opts.__setstate__({"remove_hidden": numpy_bool(
        lambda: seen.append((opts == opts, opts != opts, opts == Options())), False)})
    assert seen == [(True, False, False)]
    assert opts == Options(remove_hidden=False)
