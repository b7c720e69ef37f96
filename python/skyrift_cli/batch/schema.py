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

# With --qc: the module's quality control, one row per file and signal (the columns of
# QualityReport.signals_to_pandas()), with the file's facts and its system's summary.
QC_COLUMNS = (
    ("file", "string", "the input, as in files.parquet"),
    ("station", "string", "station ID, as in files.parquet"),
    ("first_epoch", "timestamp", "first epoch record"),
    ("last_epoch", "timestamp", "last epoch record"),
    ("interval", "float64", "observation interval in seconds (null when unknown)"),
    ("orbit_source", "string", "sp3, nav, sp3+nav or none"),
    ("receiver", "string", "receiver type of the header"),
    ("antenna", "string", "antenna type of the header"),
    ("epochs_expected", "int64", "epochs expected over the span (null without an interval)"),
    ("epochs_present", "int64", "observation epochs"),
    ("epochs_completeness", "float64", "present / expected epochs in %"),
    ("gaps", "int64", "breaks longer than 600 s"),
    ("holes", "int64", "shorter breaks that miss an epoch"),
    ("clock_jumps", "int64", "receiver clock jumps (null without carrier phases)"),
    ("damage", "string", "what ended a damaged file's reading (null when whole)"),
    ("report", "string", "the whole report as JSON (schema skyrift-mp/quality/1), a path "
     "relative to the output folder"),
    ("system", "string", "system letter"),
    ("code", "string", "pseudorange code, e.g. C1C"),
    ("observed", "int64", "observations of the code at any elevation"),
    ("expected", "int64", "observations expected above the cutoff (null without elevations)"),
    ("expected_tracking", "int64", "the same over the satellites that track the code"),
    ("present", "int64", "observations within the passes above the cutoff"),
    ("completeness", "float64", "present / expected in %"),
    ("completeness_tracking", "float64", "present / expected_tracking in %"),
    ("slips", "int64", "slip epochs of the signal's phase above the cutoff"),
    ("obs_per_slip", "float64", "observations per slip"),
    ("mp_rms", "float64", "multipath RMS in metres"),
    ("mp_wrms", "float64", "elevation-weighted multipath RMS in metres"),
    ("snr_mean", "float64", "mean SNR above the cutoff in dB-Hz"),
    ("system_expected", "int64", "the system's #expt (teqc's summary line)"),
    ("system_present", "int64", "the system's #have"),
    ("system_completeness", "float64", "the system's %"),
    ("mp1", "float64", "the system's mp1 in metres"),
    ("mp2", "float64", "the system's mp2 in metres"),
    ("system_obs_per_slip", "float64", "the system's o/slps"),
    ("flag_completeness", "string", "pass, warn, fail, or null when not judged"),
    ("flag_mp1", "string", "pass, warn, fail, or null"),
    ("flag_mp2", "string", "pass, warn, fail, or null"),
    ("flag_obs_per_slip", "string", "pass, warn, fail, or null"),
)


def arrow_schema(columns):
    import pyarrow as pa

    types = {"string": pa.string(), "int64": pa.int64(), "float64": pa.float64(),
             "timestamp": pa.timestamp("ms")}
    return pa.schema([(name, types[kind]) for name, kind, _ in columns])
