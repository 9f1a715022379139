"""Native batch cleaning for scrubix: Arrow string arrays and lists of texts."""

from typing import Any, Dict, List, Optional, Tuple, final

from ._scrubix import CleaningResult, Options

@final
class Column:
    """An array made by scrubix, readable by any Arrow library through `__arrow_c_array__`."""

    @property
    def format(self) -> str: ...
    @property
    def null_count(self) -> int: ...
    def __len__(self) -> int: ...
    def __arrow_c_array__(self, requested_schema: Optional[object] = None) -> Tuple[object, object]: ...

def clean_array(schema: object, array: object, options: Optional[Options], threads: int, with_stats: bool,
                base_row: int) -> Tuple[Column, Optional[Dict[str, int]], Optional[Column]]: ...
def clean_stream(stream: object, options: Optional[Options], threads: int,
                 with_stats: bool) -> Tuple[List[Column], Optional[Dict[str, int]], Optional[List[Column]], str]: ...
def stream_of(columns: List[Column], format: str) -> object: ...

@final
class TextJob:
    """A batch of texts being cleaned on native threads."""

    def finish(self) -> List[CleaningResult]: ...

def start_texts(texts: List[Any], start: int, options: Optional[Options], threads: int, first_index: int,
                previous: Optional[TextJob]) -> Tuple[TextJob, int]: ...
