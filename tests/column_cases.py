"""Texts and helpers shared by the column tests: rows of every kind the engine treats, nulls and
empty strings among them, and the oracle every column path is held to."""

from __future__ import annotations

import importlib
import os
import random
from types import ModuleType
from typing import List, Optional, Sequence

import pytest

from scrubix import Cleaner, Options

# Pieces that exercise each stage: typography, invisible and control characters, emoji
# clusters, combining marks, non-Latin scripts, whitespace runs and line breaks.
PIECES = ["plain", " ", "  ", "\t", "\n", "\r\n", "Caf\u00e9", "e\u0301", "\u2014", "\u201chi\u201d", "\u2026",
          "\u00a0", "\u200b", "\u0007", "\ufb01", "\U0001F469\u200d\U0001F4BB", "\U0001F44D\U0001F3FD",
          "\u4e2d\u6587", "\u043f\u0440\u0438\u0432\u0435\u0442", "Stra\u00dfe", "\u00bd", "x" * 40]

OPTION_SETS = [Options(), Options.humanize_preset(), Options.code_safe_preset(), Options.aggressive_preset()]


def sample_texts(count: int, seed: int = 14) -> List[Optional[str]]:
    """`count` rows: mostly random joins of the pieces, some None and some empty."""
    rng = random.Random(seed)
    rows: List[Optional[str]] = [None, "", "unchanged text"]
    while len(rows) < count:
        kind = rng.random()
        if kind < 0.08:
            rows.append(None)
        elif kind < 0.12:
            rows.append("")
        else:
            rows.append("".join(rng.choice(PIECES) for _ in range(rng.randint(1, 12))))
    return rows[:count]


def expected(rows: Sequence[Optional[str]], options: Optional[Options]) -> List[Optional[str]]:
    cleaner = Cleaner(options)
    return [None if row is None else cleaner.clean(row).text for row in rows]


def require(module: str) -> ModuleType:
    """The module, or a skip when it is not installed; in CI (CI set) a missing module fails."""
    try:
        return importlib.import_module(module)
    except ImportError as error:
        if os.environ.get("CI"):
            pytest.fail(f"{module} is required in CI: {error}")
        pytest.skip(f"{module} is not installed")
