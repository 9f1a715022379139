"""Native extension module backing the public `scrubix` Python package."""

from typing import Any, ClassVar, Dict, Literal, Optional, Tuple, Type, final

__version__: str
HAS_STATS: bool
HAS_SECURITY: bool
__all__ = [
    "__version__",
    "HAS_STATS",
    "HAS_SECURITY",
    "clean",
    "humanize",
    "Cleaner",
    "Options",
    "CleaningResult",
]

_NonAsciiPolicy = Literal["drop", "fold", "transliterate"]
_LineEndingStyle = Literal["lf", "crlf", "cr"]
_NormalizationMode = Literal["none", "nfd", "nfc", "nfkd", "nfkc"]

def clean(text: str) -> str:
    """Clean text with the default `scrubix` policy and return cleaned text only."""

def humanize(text: str) -> str:
    """Clean text with the "humanize" preset and return cleaned text only."""

@final
class Options:
    """Cleaning options used by `Cleaner`."""

    __hash__: ClassVar[None]  # type: ignore[assignment]

    def __new__(
        cls,
        remove_hidden: bool = True,
        remove_trailing_whitespace: bool = True,
        normalize_spaces: bool = True,
        normalize_dashes: bool = True,
        normalize_quotes: bool = True,
        normalize_other: bool = True,
        keyboard_only: bool = True,
        extended_keyboard: bool = False,
        keep_emoji: bool = False,
        non_ascii_policy: str = "transliterate",
        preserve_joiners: bool = False,
        remove_control_chars: bool = True,
        collapse_whitespace: bool = False,
        line_endings: Optional[str] = None,
        unicode_normalization: str = "none",
    ) -> Options: ...
    @property
    def remove_hidden(self) -> bool: ...
    @property
    def remove_trailing_whitespace(self) -> bool: ...
    @property
    def normalize_spaces(self) -> bool: ...
    @property
    def normalize_dashes(self) -> bool: ...
    @property
    def normalize_quotes(self) -> bool: ...
    @property
    def normalize_other(self) -> bool: ...
    @property
    def keyboard_only(self) -> bool: ...
    @property
    def extended_keyboard(self) -> bool: ...
    @property
    def keep_emoji(self) -> bool: ...
    @property
    def non_ascii_policy(self) -> _NonAsciiPolicy: ...
    @property
    def preserve_joiners(self) -> bool: ...
    @property
    def remove_control_chars(self) -> bool: ...
    @property
    def collapse_whitespace(self) -> bool: ...
    @property
    def line_endings(self) -> Optional[_LineEndingStyle]: ...
    @property
    def unicode_normalization(self) -> _NormalizationMode: ...
    def replace(
        self,
        *,
        remove_hidden: bool = ...,
        remove_trailing_whitespace: bool = ...,
        normalize_spaces: bool = ...,
        normalize_dashes: bool = ...,
        normalize_quotes: bool = ...,
        normalize_other: bool = ...,
        keyboard_only: bool = ...,
        extended_keyboard: bool = ...,
        keep_emoji: bool = ...,
        non_ascii_policy: str = ...,
        preserve_joiners: bool = ...,
        remove_control_chars: bool = ...,
        collapse_whitespace: bool = ...,
        line_endings: Optional[str] = ...,
        unicode_normalization: str = ...,
    ) -> Options:
        """Return a copy of these options with the named fields replaced."""
    @staticmethod
    def minimal_preset() -> Options:
        """Minimal preset: removes hidden characters only."""
    @staticmethod
    def balanced_preset() -> Options:
        """Balanced preset for typical human-authored text."""
    @staticmethod
    def humanize_preset() -> Options:
        """Humanize preset for AI-generated text normalization."""
    @staticmethod
    def aggressive_preset() -> Options:
        """Aggressive preset: maximum cleanup, keyboard-only output."""
    @staticmethod
    def code_safe_preset() -> Options:
        """Code-safe preset for docs/source text."""
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...
    def __reduce__(self) -> Tuple[Type[Options], Tuple[()], Dict[str, Any]]: ...
    def __setstate__(self, state: Dict[str, Any]) -> None: ...

@final
class Cleaner:
    """Reusable text cleaner."""

    def __new__(cls, options: Optional[Options] = None) -> Cleaner: ...
    def clean(self, text: str) -> CleaningResult:
        """Clean input text and return a `CleaningResult`."""
    def __reduce__(self) -> Tuple[Type[Cleaner], Tuple[Options]]: ...

@final
class CleaningResult:
    """Result returned by `Cleaner.clean`."""

    __hash__: ClassVar[None]  # type: ignore[assignment]

    @property
    def text(self) -> str: ...
    @property
    def changes_made(self) -> int: ...
    @property
    def stats(self) -> Dict[str, int]:
        """Per-operation counters as `dict[str, int]`."""
    def __bool__(self) -> bool: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...
