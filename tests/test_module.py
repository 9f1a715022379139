"""The extension module: its contents, the one-shot functions and the argument-binding rules."""

from __future__ import annotations

import shutil
import subprocess
import threading
import time

import pytest

import scrubix
from scrubix import _scrubix

ALL = ["__version__", "HAS_STATS", "HAS_SECURITY", "clean", "humanize", "Cleaner", "Options",
       "CleaningResult"]


def test_module_contents_in_order() -> None:
    assert _scrubix.__all__ == ALL
    assert _scrubix.__version__ == "0.2.0"
    assert _scrubix.HAS_STATS is True and _scrubix.HAS_SECURITY is False
    assert _scrubix.__doc__ == "Native extension module backing the public `scrubix` Python package."
    assert not hasattr(_scrubix, "PanicException")
    # The package re-exports the very same objects under the same names, then adds its own.
    assert scrubix.__all__[:len(ALL)] == ALL
    for name in ALL:
        assert getattr(scrubix, name) is getattr(_scrubix, name)


def test_classes_report_the_native_module() -> None:
    for cls in (scrubix.Cleaner, scrubix.Options, scrubix.CleaningResult):
        assert cls.__module__ == "scrubix._scrubix"
        with pytest.raises(TypeError, match="not an acceptable base type"):
            type("Sub", (cls,), {})


def test_functions_are_bound_to_the_module() -> None:
    for fn in (scrubix.clean, scrubix.humanize):
        assert fn.__self__ is _scrubix
        assert fn.__module__ == "scrubix._scrubix"
        assert fn.__text_signature__ == "(text)"
        assert "GIL" in fn.__doc__.split("\n\n")[-1]
    assert scrubix.clean.__doc__.startswith(
        "Clean text with the default `scrubix` policy and return cleaned text only.\n\n"
        "Keyboard-only mode normalizes and transliterates non-ASCII text to ASCII\n"
        "where feasible (`\"Café\"` -> `\"Cafe\"`, `\"Straße\"` -> `\"Strasse\"`), then\n"
        "drops remaining non-keyboard glyphs.\n\n"
        "Use `Cleaner` when you need `changes_made` and per-operation stats.\n\n")
    assert scrubix.humanize.__doc__.startswith(
        "Clean text with the \"humanize\" preset and return cleaned text only.\n\n"
        "This preset applies typographic normalization and whitespace collapsing.\n\n")


@pytest.mark.skipif(shutil.which("nm") is None, reason="nm not available")
def test_only_the_init_function_is_exported() -> None:
    out = subprocess.run(["nm", "-D", "--defined-only", _scrubix.__file__], capture_output=True,
                         text=True, check=True).stdout
    assert [line.split()[-1] for line in out.splitlines() if line.strip()] == ["PyInit__scrubix"]


@pytest.mark.parametrize("call, message", [
    (lambda: scrubix.clean(), "clean() missing 1 required positional argument: 'text'"),
    (lambda: scrubix.clean("a", "b"), "clean() takes 1 positional arguments but 2 were given"),
    (lambda: scrubix.humanize("a", mode="x"), "humanize() got an unexpected keyword argument 'mode'"),
    (lambda: scrubix.clean("a", text="b"), "clean() got multiple values for argument 'text'"),
    (lambda: scrubix.clean(5), "argument 'text': 'int' object is not an instance of 'str'"),
    (lambda: scrubix.clean(None), "argument 'text': 'None' is not an instance of 'str'"),
    (lambda: scrubix.humanize(b"x"), "argument 'text': 'bytes' object is not an instance of 'str'"),
    (lambda: scrubix.humanize(text=[]), "argument 'text': 'list' object is not an instance of 'str'"),
])
def test_binding_errors(call, message: str) -> None:
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_type_message_uses_the_qualified_name() -> None:
    class Outer:
        class Inner:
            pass

    with pytest.raises(TypeError, match=r"^argument 'text': 'test_type_message_uses_the_qualified_name"
                                        r"\.<locals>\.Outer\.Inner' object is not an instance of 'str'$"):
        scrubix.clean(Outer.Inner())


def test_lone_surrogate_raises_the_encoding_error_unchanged() -> None:
    for fn in (scrubix.clean, scrubix.humanize):
        with pytest.raises(UnicodeEncodeError) as info:
            fn("ok \ud800")
        assert not str(info.value).startswith("argument")


def test_cleaning_results() -> None:
    assert scrubix.clean("") == "" and scrubix.humanize("") == ""
    assert scrubix.clean("Café") == "Cafe"
    assert scrubix.clean(text="Straße") == "Strasse"
    assert scrubix.humanize("a  \u201cb\u201d") == 'a "b"'
    # The functions clean exactly like a Cleaner with the matching options.
    sample = "Caf\u00e9 \u2014 \u201chi\u201d  \u2026\r\n\ufb01 \U0001F600\u200b x\t \n"
    assert scrubix.clean(sample) == scrubix.Cleaner().clean(sample).text
    assert scrubix.humanize(sample) == scrubix.Cleaner(scrubix.Options.humanize_preset()).clean(sample).text


def test_str_subclass_is_read_without_its_methods() -> None:
    class Sneaky(str):
        def __str__(self) -> str:
            raise AssertionError("called __str__")

        def encode(self, *args: object, **kwargs: object) -> bytes:
            raise AssertionError("called encode")

        def __iter__(self):  # type: ignore[no-untyped-def]
            raise AssertionError("called __iter__")

    result = scrubix.clean(Sneaky("Café"))
    assert type(result) is str and result == "Cafe"


def test_unchanged_text_comes_back_as_the_same_object() -> None:
    class Sub(str):
        pass
    cleaner = scrubix.Cleaner(scrubix.Options.humanize_preset())
    for text in ("".join(["plain", " ascii ", "text"]), "".join(["d\u00e9j\u00e0 ", "vu"])):
        assert scrubix.humanize(text) is text and cleaner.clean(text).text is text
        assert str(cleaner.clean(text)) is text and cleaner.clean(text) == cleaner.clean(text + "")
        subclassed = scrubix.humanize(Sub(text))
        assert type(subclassed) is str and subclassed == text
        assert type(cleaner.clean(Sub(text)).text) is str
    changed = "\u201cq\u201d  "
    assert scrubix.humanize(changed) is not changed and cleaner.clean(changed).text == '"q"'


@pytest.mark.slow
def test_other_threads_run_while_a_long_text_is_cleaned() -> None:
    text = "Caf\u00e9 \u2014 \u201cquoted\u201d text\u00a0 here\u2026 na\u00efve.\n" * 1_000_000  # ~50 MB
    ticks: list[float] = []
    stop = threading.Event()

    def spin() -> None:
        n = 0
        while not stop.is_set():
            n += 1
            if n % 1000 == 0:
                ticks.append(time.perf_counter())

    worker = threading.Thread(target=spin)
    worker.start()
    try:
        time.sleep(0.05)
        start = time.perf_counter()
        result = scrubix.clean(text)
        end = time.perf_counter()
    finally:
        stop.set()
        worker.join()
    assert result.startswith("Cafe - \"quoted\" text  here... naive.\n")
    # With the lock held for the whole call the worker could not run in its middle half.
    lo, hi = start + (end - start) / 4, end - (end - start) / 4
    assert sum(lo < t < hi for t in ticks) > 10, f"call took {end - start:.3f}s"
