"""The change report: `scrubix.explain` and the command line's --check/--explain listing."""

from __future__ import annotations

import json
import re
import typing
from pathlib import Path

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import scrubix
from scrubix import Options
from scrubix.cli import main
from scrubix._change_lines import describe

from test_engine_properties import options, texts

PRESETS = [Options(), Options.minimal_preset(), Options.balanced_preset(), Options.humanize_preset(),
           Options.aggressive_preset(), Options.code_safe_preset()]


def assert_report_rebuilds_clean(text: str, opts: Options) -> None:
    report = scrubix.explain(text, opts)
    expected = scrubix.Cleaner(opts).clean(text)
    assert report.text == expected.text and report.stats == expected.stats
    rebuilt, at = [], 0
    counted = dict.fromkeys(report.stats, 0)
    for change in report.changes:
        assert at <= change.start <= change.end, "spans in order and not overlapping"
        assert text[change.start:change.end] == change.original
        line_start = max(text.rfind("\n", 0, change.start), text.rfind("\r", 0, change.start)) + 1
        if text[line_start - 1:line_start + 1] == "\r\n":  # the CR of a CR LF ends no line
            line_start = text.rfind("\n", 0, change.start) + 1
        assert change.column == change.start - line_start + 1
        assert change.line == len(re.findall("\r\n|\r|\n", text[:change.start])) + 1
        rebuilt += [text[at:change.start], change.replacement]
        at = change.end
        counted[change.counter] += change.count
    assert "".join(rebuilt) + text[at:] == report.text
    assert counted == report.stats


@settings(max_examples=700, deadline=None)
@given(texts, st.one_of(options(), st.sampled_from(PRESETS)))
def test_applying_the_changes_gives_the_cleaned_text(text: str, opts: Options) -> None:
    assert_report_rebuilds_clean(text, opts)


K = {"keyboard_only": False}
# (text, options, [(start, end, original, replacement, counter, count, line, column)])
CASES: list[tuple[str, dict[str, typing.Any], list[tuple[typing.Any, ...]]]] = [
    ("a\u200bb", {}, [(1, 2, "\u200b", "", "hidden_chars_removed", 1, 1, 2)]),
    ("a  \r\nb", {}, [(1, 3, "  ", "", "trailing_whitespace_removed", 2, 1, 2)]),
    ("a  \r\nb", {"line_endings": "lf"}, [(1, 3, "  ", "", "trailing_whitespace_removed", 2, 1, 2),
                                         (3, 5, "\r\n", "\n", "line_endings_normalized", 1, 1, 4)]),
    ("a\nb\r\n", {"line_endings": "crlf"}, [(1, 2, "\n", "\r\n", "line_endings_normalized", 1, 1, 2)]),
    ("a\u00a0b", K, [(1, 2, "\u00a0", " ", "spaces_normalized", 1, 1, 2)]),
    ("a \u00a0 b  ", {"collapse_whitespace": True, **K},
     [(1, 4, " \u00a0 ", " ", "whitespace_collapsed", 2, 1, 2), (4, 4, "", "", "spaces_normalized", 1, 1, 5),
      (5, 7, "  ", "", "trailing_whitespace_removed", 2, 1, 6)]),
    ("x\u2014y", {}, [(1, 2, "\u2014", "-", "dashes_normalized", 1, 1, 2)]),
    ("\u201cq\u201d", {}, [(0, 1, "\u201c", '"', "quotes_normalized", 1, 1, 1),
                           (2, 3, "\u201d", '"', "quotes_normalized", 1, 1, 3)]),
    ("wait\u2026 1\u20442", K, [(4, 5, "\u2026", "...", "other_normalized", 1, 1, 5),
                                (7, 8, "\u2044", "/", "other_normalized", 1, 1, 8)]),
    ("a\x07b", {}, [(1, 2, "\x07", "", "control_chars_removed", 1, 1, 2)]),
    ("e\u0301!", {"unicode_normalization": "nfc", **K}, [(0, 2, "e\u0301", "\u00e9", "unicode_normalized", 1, 1, 1)]),
    ("\u00df", {}, [(0, 1, "\u00df", "ss", "non_keyboard_transliterated", 1, 1, 1)]),
    ("a\u00e9b", {"non_ascii_policy": "drop"}, [(1, 2, "\u00e9", "", "non_keyboard_removed", 1, 1, 2)]),
    # An emoji ZWJ sequence is one change (its joiner is not counted apart) and takes the
    # space after it along.
    ("\U0001F469\u200d\U0001F4BB x", {}, [(0, 4, "\U0001F469\u200d\U0001F4BB ", "", "emojis_dropped", 1, 1, 1)]),
    ("a=\u0338b", {}, [(1, 3, "=\u0338", "!=", "non_keyboard_transliterated", 1, 1, 2)]),
    ("a \u2260 b", {}, [(2, 3, "\u2260", "!=", "non_keyboard_transliterated", 1, 1, 3)]),
    # Astral characters before a change: str indices, not bytes or UTF-16 units.
    ("\U0001d49c\U0001d49c\n \u201cq\u201d", K, [(4, 5, "\u201c", '"', "quotes_normalized", 1, 2, 2),
                                                 (6, 7, "\u201d", '"', "quotes_normalized", 1, 2, 4)]),
    ("\U0001F600\u2026", {"keep_emoji": True}, [(1, 2, "\u2026", "...", "other_normalized", 1, 1, 2)]),
    # A piece that normalization rewrote and the pass then changed: one change counting under
    # both; and a piece narrowed to the character normalization changed.
    ("e\u0301", {"unicode_normalization": "nfc"},
     [(0, 2, "e\u0301", "e", "unicode_normalized", 1, 1, 1), (2, 2, "", "", "non_keyboard_transliterated", 1, 1, 3)]),
    # A run with no ASCII is cut where normalization cannot reach across: two changes, not one
    # over the text between them.
    ("\u304b\u3099\u4e2d\u4e2d\u4e2d\u4e2d\u304b\u3099", {"unicode_normalization": "nfc", **K},
     [(0, 2, "\u304b\u3099", "\u304c", "unicode_normalized", 1, 1, 1),
      (6, 8, "\u304b\u3099", "\u304c", "unicode_normalized", 0, 1, 7)]),
    ("\u00e9\ufb01", {"unicode_normalization": "nfkc"},
     [(0, 1, "\u00e9", "e", "non_keyboard_transliterated", 1, 1, 1), (1, 2, "\ufb01", "fi", "unicode_normalized", 1, 1, 2)]),
]


@pytest.mark.parametrize("text, kwargs, expected", CASES)
def test_exact_reports(text: str, kwargs: dict[str, typing.Any], expected: list[tuple[typing.Any, ...]]) -> None:
    assert [tuple(change) for change in scrubix.explain(text, Options(**kwargs)).changes] == expected


def test_describe_never_shows_invisible_characters_raw() -> None:
    assert describe("\u200b\x07\u00a0") == "U+200B ZERO WIDTH SPACE, U+0007, U+00A0 NO-BREAK SPACE"
    assert describe("   \t") == "U+0020 SPACE x3, U+0009"
    with pytest.raises(TypeError):
        scrubix.explain("x", {"keyboard_only": False})  # type: ignore[arg-type]


# --- the command line -----------------------------------------------------------------------------

def run(argv: list[str], capsysbinary: pytest.CaptureFixture[bytes]) -> tuple[int, list[str]]:
    status = main(argv)
    return status, capsysbinary.readouterr().out.decode().splitlines()


def load_schema() -> dict[str, typing.Any]:
    readme = (Path(__file__).parent.parent / "README.md").read_text(encoding="utf-8")
    block = readme.split("<!-- change-json-schema -->", 1)[1].split("```json", 1)[1].split("```", 1)[0]
    return typing.cast("dict[str, typing.Any]", json.loads(block))


def validate(value: typing.Any, schema: dict[str, typing.Any]) -> bool:
    """The keywords the README's schema uses: oneOf, type, enum, minimum, required, properties,
    additionalProperties."""
    if "oneOf" in schema:
        return sum(validate(value, option) for option in schema["oneOf"]) == 1
    types = {"object": dict, "string": str, "integer": int}
    if "type" in schema and (not isinstance(value, types[schema["type"]]) or isinstance(value, bool)):
        return False
    if "enum" in schema and value not in schema["enum"]:
        return False
    if "minimum" in schema and value < schema["minimum"]:
        return False
    if isinstance(value, dict):
        properties = schema.get("properties", {})
        if not set(schema.get("required", ())) <= value.keys():
            return False
        for key, item in value.items():
            sub = properties.get(key, schema.get("additionalProperties", {}))
            if sub is False or (isinstance(sub, dict) and not validate(item, sub)):
                return False
    return True


@pytest.fixture
def sample(tmp_path: Path) -> Path:
    # Long enough to be read in many pieces with --chunk-size 64, with a normalized piece in
    # several of them.
    line = "Caf\u00e9 \u201cq\u201d \U0001F469\u200d\U0001F4BB ok\u2026  \r\n\u212b\U0001d49c x\u00a0y\n"
    path = tmp_path / "a,b:c%.md"
    path.write_bytes((line * 30).encode())
    return path


def test_json_lines_across_pieces_match_one_report(sample: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    text = sample.read_bytes().decode()
    opts = Options(unicode_normalization="nfkc")
    status, lines = run(["--nfkc", "--check", "--format", "json", "--chunk-size", "64", str(sample)], capsysbinary)
    assert status == 1
    schema = load_schema()
    records = [json.loads(line) for line in lines]
    assert all(validate(record, schema) for record in records)
    assert not validate({**records[0], "count": -1}, schema) and not validate({**records[-1], "extra": 1}, schema)
    report = scrubix.explain(text, opts)
    fields = ("start", "end", "original", "replacement", "counter", "count", "line", "column")
    assert [tuple(r[f] for f in fields) for r in records[:-1]] == [tuple(c) for c in report.changes]
    assert records[-1]["stats"] == report.stats and records[-1]["changes_not_listed"] == 0


GITHUB = re.compile(r"::(warning|notice) file=(?P<file>[^,:\r\n]*)(,line=\d+,col=\d+)?,title=scrubix::[^\r\n]*")


def test_github_annotations(sample: Path, capsysbinary: pytest.CaptureFixture[bytes]) -> None:
    status, lines = run(["--check", "--format", "github", "--max-changes", "3", str(sample)], capsysbinary)
    assert status == 1 and len(lines) == 4
    for line in lines:
        found = GITHUB.fullmatch(line)
        assert found, line
        unescaped = re.sub("%(25|0D|0A|3A|2C)", lambda m: {"25": "%", "0D": "\r", "0A": "\n", "3A": ":", "2C": ","}[m[1]],
                           found["file"])
        assert unescaped == str(sample)
    assert lines[0].endswith("::non_keyboard_transliterated: U+00E9 LATIN SMALL LETTER E WITH ACUTE -> 'e'")
    assert lines[-1].endswith("more not listed, see --max-changes)")


def test_explain_writes_the_cleaned_text_and_lists_on_stderr(sample: Path, capfdbinary: pytest.CaptureFixture[bytes],
                                                             monkeypatch: pytest.MonkeyPatch) -> None:
    import io
    import sys
    data = sample.read_bytes()
    monkeypatch.setattr(sys, "stdin", io.TextIOWrapper(io.BytesIO(data)))
    status = main(["--explain", "--max-changes", "1"])
    out, err = capfdbinary.readouterr()
    assert status == 0
    assert out == scrubix.clean(data.decode()).encode()
    assert err.decode().splitlines()[0] == "<stdin>:1:4: non_keyboard_transliterated: U+00E9 LATIN SMALL LETTER E WITH ACUTE -> 'e'"
