"""A straightforward pure-Python cleaner doing the same job, as a baseline for the benchmarks.

Regex removal of default-ignorable and control characters, `str.translate` for typographic
spaces, dashes and quotes, ellipses spelled out, whitespace runs collapsed, lines right-stripped.
"""

from __future__ import annotations

import re

_HIDDEN = re.compile(
    "[\u00ad\u034f\u061c\u115f\u1160\u17b4\u17b5\u180b-\u180f\u200b-\u200f\u202a-\u202e"
    "\u2060-\u206f\u3164\ufe00-\ufe0f\ufeff\uffa0\ufff0-\ufff8\U0001bca0-\U0001bca3"
    "\U0001d173-\U0001d17a\U000e0000-\U000e0fff]"
)
_CONTROLS = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\x7f-\x9f]")
_SPACES = "\u00a0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009\u200a\u202f\u205f\u3000"
_DASHES = ("\u058a\u05be\u1400\u1806\u2010\u2011\u2012\u2013\u2014\u2015\u2053\u207b\u208b\u2212"
           "\u2e17\u2e1a\u2e3a\u2e3b\u2e40\u2e5d\u301c\u3030\u30a0\ufe31\ufe32\ufe58\ufe63\uff0d")
_DOUBLE = "\u00ab\u00bb\u201c\u201d\u201e\u201f\u2033\u2036\u275d\u275e\u2760\u276e\u276f\u301d\u301e\u301f"
_SINGLE = "\u2018\u2019\u201a\u201b\u2032\u2035\u2039\u203a\u275b\u275c\u275f\u300c\u300d\uff07"
_TABLE = str.maketrans(
    {**{c: " " for c in _SPACES}, **{c: "-" for c in _DASHES}, **{c: '"' for c in _DOUBLE},
     **{c: "'" for c in _SINGLE}, "\u2026": "...", "\u22ef": "...", "\u2044": "/",
     "\u2028": "\n", "\u2029": "\n"})
_RUNS = re.compile(r"[ \t]{2,}|\t")
_TRAILING = re.compile(r"[ \t]+$", re.MULTILINE)


def clean(text: str, collapse: bool = False) -> str:
    text = _HIDDEN.sub("", text)
    text = _CONTROLS.sub("", text)
    text = text.translate(_TABLE)
    if collapse:
        text = _RUNS.sub(" ", text)
    return _TRAILING.sub("", text)
