"""`scrubix table`: clean text columns of a Parquet, CSV or JSON Lines file into a new file."""

from typing import Sequence

__all__ = ["main"]

def main(argv: Sequence[str]) -> int: ...
