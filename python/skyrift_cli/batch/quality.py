"""The quality control of one file in a batch (--qc): its qc.parquet rows, one per
signal with the file's facts and its system's summary, and the whole report as JSON
(schema skyrift-mp/quality/1), from which `skyrift-mp report` draws the day's page.

Every figure is the module's QualityReport's; this file only lays them out as rows.
"""
from __future__ import annotations

from pathlib import PurePosixPath

from .names import site_of, uncompressed_name
from .schema import QC_COLUMNS

REPORTS = "qc"  # folder of the JSON reports in the batch's output
SIGNAL_FIELDS = ("system", "code", "observed", "expected", "expected_tracking", "present",
                 "completeness", "completeness_tracking", "slips", "obs_per_slip", "mp_rms",
                 "mp_wrms", "snr_mean")
SUMMARY_FIELDS = (("system_expected", "expected"), ("system_present", "present"),
                  ("system_completeness", "completeness"), ("mp1", "mp1"), ("mp2", "mp2"),
                  ("system_obs_per_slip", "obs_per_slip"))
FLAGS = ("completeness", "mp1", "mp2", "obs_per_slip")


def report_path(station: str, name: str) -> str:
    """Where a file's JSON report lies in the output, relative to it: qc/STATION/NAME.json
    (the name without a compression suffix)."""
    from .writer import partition_value

    name = uncompressed_name(name)
    folder = partition_value(station or site_of(name) or "unknown")
    return str(PurePosixPath(REPORTS, folder, name + ".json"))


def distinct_report_path(path: str, source: str) -> str:
    """The report path of `source` when another input has taken `path`: the name with a
    short digest of the input's path, the same on every run."""
    import hashlib

    digest = hashlib.sha1(source.encode("utf-8", "surrogatepass")).hexdigest()[:8]
    return f"{path.removesuffix('.json')}-{digest}.json"


def quality_columns(report, common: dict, path: str) -> dict[str, list]:
    """qc.parquet's columns of one file: a row per signal of its report."""
    data = report.to_dict()
    epochs, facts = data["epochs"], data["file"]
    summary = {row["system"]: row for row in data["summary"]}
    jumps = data["clock_jumps"]
    per_file = {**{k: common[k] for k in ("file", "station", "first_epoch", "last_epoch",
                                          "interval", "orbit_source")},
                "receiver": facts["receiver"], "antenna": facts["antenna"],
                "epochs_expected": epochs["expected"], "epochs_present": epochs["present"],
                "epochs_completeness": epochs["completeness"], "gaps": len(epochs["gaps"]),
                "holes": epochs["holes"], "clock_jumps": None if jumps is None else len(jumps),
                "damage": facts["damage"], "report": path}
    rows = []
    for signal in data["signals"]:
        system = summary.get(signal["system"], {})
        row = dict(per_file)
        row.update({k: signal[k] for k in SIGNAL_FIELDS})
        row.update({column: system.get(key) for column, key in SUMMARY_FIELDS})
        row.update({f"flag_{name}": system.get("flags", {}).get(name) for name in FLAGS})
        rows.append(row)
    return {name: [row[name] for row in rows] for name, _, _ in QC_COLUMNS}
