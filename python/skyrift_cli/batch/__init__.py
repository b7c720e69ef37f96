"""Many station-days at once: one Dask task per observation file, results as Parquet.

run_batch is the entry point; the command `skyrift-mp batch` calls it. Dask,
pyarrow and (for URLs) fsspec are optional: pip install 'skyrift_mp[batch]'.
"""
from .runner import BatchSummary, run_batch

__all__ = ["BatchSummary", "run_batch"]
