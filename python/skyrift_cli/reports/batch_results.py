"""What a batch run with --qc left in its output folder, read back for the report
command: the qc rows grouped by file, each file's stored report (JSON), its multipath
estimates when the batch kept them, and the files that failed."""
from __future__ import annotations

import json
from dataclasses import dataclass, field
from functools import cached_property
from pathlib import Path

from ..errors import CliError
from ..optional import require

PURPOSE = "skyrift-mp report"
ESTIMATE_COLUMNS = ("signal", "elevation", "azimuth", "mp")


@dataclass
class StationDay:
    file: str  # the input, as the batch named it
    station: str
    day: str  # YYYY-MM-DD of the first epoch
    report_path: Path  # the stored JSON report
    rows: list[dict] = field(default_factory=list)  # its qc.parquet rows, one per signal

    @property
    def name(self) -> str:
        return self.report_path.name.removesuffix(".json")

    @property
    def epochs(self) -> int:
        return self.rows[0]["epochs_present"] or 0

    def systems(self) -> dict[str, dict]:
        """Per system letter: its summary figures and flags (every row of a system holds
        them)."""
        out: dict[str, dict] = {}
        for row in self.rows:
            out.setdefault(row["system"], row)
        return out

    def load_report(self) -> dict:
        try:
            return json.loads(self.report_path.read_text(encoding="utf-8"))
        except (OSError, ValueError) as exc:
            raise CliError(f"{self.report_path}: cannot read the stored report ({exc})") from None


@dataclass
class BatchResults:
    out: Path
    days: list[StationDay]
    failures: list[tuple[str, str]]  # file, message
    has_estimates: bool

    def estimates(self, day: StationDay) -> dict | None:
        """The multipath estimates of one file, when the batch kept them (--estimates)."""
        if not self.has_estimates:
            return None
        from ..batch.writer import partition_value

        pc = require("pyarrow.compute", PURPOSE)
        # the station's partition first: the other stations' parts are not opened
        wanted = (pc.field("station") == partition_value(day.station)) & (pc.field("file") == day.file)
        table = self._estimates_dataset.to_table(columns=list(ESTIMATE_COLUMNS), filter=wanted)
        return {name: table[name].to_numpy(zero_copy_only=False) for name in ESTIMATE_COLUMNS}

    @cached_property
    def _estimates_dataset(self):
        """The estimates folder as one dataset, listed once for all the days."""
        ds = require("pyarrow.dataset", PURPOSE)
        pa = require("pyarrow", PURPOSE)
        # folder names as text: a station such as 0759 is no number
        folders = ds.partitioning(pa.schema([("station", pa.string()), ("date", pa.string())]),
                                  flavor="hive")
        return ds.dataset(self.out / "estimates", format="parquet", partitioning=folders)


def _rows(folder: Path) -> list[dict]:
    pq = require("pyarrow.parquet", PURPOSE)
    try:
        return pq.read_table(folder).to_pylist()
    except (OSError, ValueError) as exc:
        raise CliError(f"{folder}: cannot read the table ({exc})") from None


def read_batch(out) -> BatchResults:
    out = Path(out)
    if not out.is_dir():
        raise CliError(f"{out}: no such folder")
    qc_dir = out / "qc.parquet"
    if not qc_dir.is_dir():
        raise CliError(f"{out} holds no quality control: run skyrift-mp batch with --qc")
    by_file: dict[str, StationDay] = {}
    for row in _rows(qc_dir):
        day = by_file.get(row["file"])
        if day is None:
            first = row["first_epoch"]
            day = by_file[row["file"]] = StationDay(
                row["file"], row["station"] or "unknown",
                first.strftime("%Y-%m-%d") if first else "unknown", out / row["report"])
        day.rows.append(row)
    failures = [(r["file"], r["message"]) for r in _rows(out / "files.parquet")
                if r["status"] != "ok"] if (out / "files.parquet").is_dir() else []
    days = sorted(by_file.values(), key=lambda d: (d.station, d.day, d.file))
    return BatchResults(out, days, failures, (out / "estimates").is_dir())
