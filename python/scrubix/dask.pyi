"""Cleaning text columns of a Dask DataFrame, partition by partition."""

from typing import Optional, Sequence, Union

import dask.dataframe as dd

from ._scrubix import Options

__all__ = ["clean_columns"]

def clean_columns(ddf: dd.DataFrame, columns: Union[str, Sequence[str]], options: Optional[Options] = None, *,
                  threads: Optional[int] = 1) -> dd.DataFrame: ...
