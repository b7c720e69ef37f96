"""The columns of the Parquet results, in one place (the README documents them).

Instants are timestamps in milliseconds without a time zone, in the time scale of
the observation file (GPS time for most receivers).
"""
from __future__ import annotations

# name, Arrow type name, meaning
FILES_COLUMNS = (
    ("file", "string", "the input: an absolute path or a URL"),
    ("status", "string", "ok, or error when the file could not be analysed"),
    ("message", "string", "for errors what went wrong; for ok files notes, or empty"),
    ("station", "string", "station ID: the nine characters of a long file name (ESBC00DNK), "
     "the four of a short one in upper case (CEDA), else the header's marker name in upper "
     "case; null when none of these names one"),
    ("first_epoch", "timestamp", "first epoch record"),
    ("last_epoch", "timestamp", "last epoch record"),
    ("epochs", "int64", "epoch records"),
    ("satellites", "int64", "distinct satellites"),
    ("estimates", "int64", "multipath estimates kept (after the cutoff)"),
    ("empty_reasons", "string", "why the file or a signal gave no estimates, as 'file: ...; "
     "GPSM2C: ...' (null when every analysed signal gave some)"),
    ("orbit_source", "string", "sp3, nav, sp3+nav or none"),
    ("orbit_files", "string", "names of the orbit files used, space-separated"),
    ("damage", "string", "for a damaged file read up to the damage: where the read stopped "
     "and why (the rows describe the epochs before it); null for a whole file"),
    ("seconds", "float64", "time the task took"),
)

STATS_COLUMNS = (
    ("file", "string", "the input, as in files.parquet"),
    ("station", "string", "station ID, as in files.parquet"),
    ("first_epoch", "timestamp", "first epoch record"),
    ("last_epoch", "timestamp", "last epoch record"),
    ("interval", "float64", "observation interval in seconds (null when unknown)"),
    ("system", "string", "system letter: G, R, E, C, J, S, I"),
    ("signal", "string", "series key, e.g. GPSM1C"),
    ("code", "string", "pseudorange code, e.g. C1C"),
    ("count", "int64", "estimates"),
    ("rms", "float64", "RMS of the multipath in metres"),
    ("weighted_rms", "float64", "elevation-weighted RMS in metres"),
    ("mean", "float64", "mean in metres"),
    ("std_dev", "float64", "population standard deviation in metres"),
    ("min", "float64", "smallest value in metres"),
    ("max", "float64", "largest value in metres"),
    ("cycle_slips", "int64", "arcs broken by a detected cycle slip"),
    ("orbit_source", "string", "sp3, nav, sp3+nav or none"),
    ("orbit_files", "string", "names of the orbit files used"),
    ("damage", "string", "as in files.parquet: null unless the file was read up to damage"),
)


def arrow_schema(columns):
    import pyarrow as pa

    types = {"string": pa.string(), "int64": pa.int64(), "float64": pa.float64(),
             "timestamp": pa.timestamp("ms")}
    return pa.schema([(name, types[kind]) for name, kind, _ in columns])
