"""Cleaning text columns of a Spark DataFrame with `mapInArrow`."""

from typing import Optional, Sequence, Union

from pyspark.sql import DataFrame

from ._scrubix import Options

__all__ = ["clean_columns"]

def clean_columns(df: DataFrame, columns: Union[str, Sequence[str]], options: Optional[Options] = None, *,
                  threads: Optional[int] = 1) -> DataFrame: ...
