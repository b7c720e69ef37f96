"""The results folder: Parquet datasets written in numbered parts.

Each flush writes a part of stats.parquet and then the part of files.parquet with the
same number; a files part is the commit of its number, so that estimates and stats
parts without one (a run killed in between) are removed on --resume. A file analysed
again on --resume replaces its earlier row in files.parquet, keeping one row per input;
the rows of an input whose file is gone are removed from every table (drop_files).
"""
from __future__ import annotations

import json
import os
import re
from pathlib import Path

from ..errors import CliError
from .quality import distinct_report_path
from .schema import FILES_COLUMNS, QC_COLUMNS, STATS_COLUMNS, arrow_schema

PART = re.compile(r"^part-(\d{6})(?:-\d+)?\.parquet$")
SETTINGS = "batch.json"


def _part_number(path: Path) -> int | None:
    m = PART.match(path.name)
    return int(m[1]) if m else None


def _parts(folder: Path) -> list[Path]:
    if not folder.is_dir():
        return []
    return sorted((p for p in folder.rglob("part-*.parquet") if _part_number(p) is not None),
                  key=lambda p: (_part_number(p), p.name))


def partition_value(text: str) -> str:
    """A station name safe as a folder name of a hive partition."""
    return re.sub(r"[^A-Za-z0-9_.-]", "_", text) or "unknown"


class ResultStore:
    def __init__(self, out, settings: dict, resume: bool):
        from ..optional import require

        self.pa = require("pyarrow", "skyrift-mp batch")
        self.pq = require("pyarrow.parquet", "skyrift-mp batch")
        self.pc = require("pyarrow.compute", "skyrift-mp batch")
        self.out = Path(out)
        self.stats_dir = self.out / "stats.parquet"
        self.files_dir = self.out / "files.parquet"
        self.estimates_dir = self.out / "estimates"
        self.qc_dir = self.out / "qc.parquet"  # with --qc, and its JSON reports in qc/
        self.qc_schema = arrow_schema(QC_COLUMNS)
        self._qc: list[dict] = []
        self.files_schema = arrow_schema(FILES_COLUMNS)
        self.stats_schema = arrow_schema(STATS_COLUMNS)
        self.done: set[str] = set()  # inputs already ok (and read whole)
        self.recorded: set[str] = set()  # inputs with a row in files.parquet
        self._earlier: dict[str, Path] = {}  # files part holding an input's failed row
        self._report_owner: dict[str, str] = {}  # JSON report path -> the input it is of
        self._files: list[dict] = []
        self._stats: list[dict] = []
        self._estimate_parts = 0
        self.settings = settings
        self._open(settings, resume)

    # ---- opening: a fresh folder, or the committed state of an earlier run

    def _open(self, settings: dict, resume: bool) -> None:
        try:
            self.out.mkdir(parents=True, exist_ok=True)
        except OSError as exc:
            raise CliError(f"{self.out}: cannot create the folder ({exc.strerror})") from None
        settings_path = self.out / SETTINGS
        earlier = bool(_parts(self.files_dir) or _parts(self.stats_dir))
        if earlier and not resume:
            raise CliError(f"{self.out} holds the results of an earlier batch: add --resume "
                           "to continue it, or choose another --out")
        if earlier:
            self._check_settings(settings_path, settings)
            self._tidy()
        for d in (self.stats_dir, self.files_dir):
            d.mkdir(exist_ok=True)
        self._write_atomic(settings_path,
                           lambda p: p.write_text(json.dumps(settings, indent=2) + "\n"))
        committed = [_part_number(p) for p in _parts(self.files_dir)]
        self.number = max(committed, default=-1) + 1

    def _check_settings(self, path: Path, settings: dict) -> None:
        try:
            before = json.loads(path.read_text(encoding="utf-8"))
        except (OSError, ValueError):
            before = None
        if before != settings:
            raise CliError(f"{self.out} was made with other options ({before}); --resume "
                           "needs the same --orbits, --cutoff and --estimates (and --qc)")

    def _tidy(self) -> None:
        """Keep one row per input (its ok row, else its latest) and drop the parts that
        no files part committed."""
        tables = {p: self.pq.read_table(p, schema=self.files_schema)
                  for p in _parts(self.files_dir)}
        keeper: dict[str, tuple[Path, int]] = {}
        for part, table in tables.items():
            for i, (file, status, damage) in enumerate(zip(table["file"].to_pylist(),
                                                           table["status"].to_pylist(),
                                                           table["damage"].to_pylist())):
                if file not in self.done:
                    keeper[file] = (part, i)
                if status == "ok" and damage is None:  # a damaged file may be whole now
                    self.done.add(file)
        for part, table in tables.items():
            keep = [keeper.get(f) == (part, i) for i, f in enumerate(table["file"].to_pylist())]
            if not all(keep):
                self._write_table(table.filter(self.pa.array(keep)), part)
        self._earlier = {f: part for f, (part, _) in keeper.items() if f not in self.done}
        self.recorded = set(keeper)
        committed = {_part_number(p) for p in tables}
        for folder in (self.stats_dir, self.estimates_dir, self.qc_dir):
            for part in _parts(folder):
                if _part_number(part) not in committed:
                    part.unlink()
        for part in _parts(self.qc_dir):
            table = self.pq.read_table(part, columns=["file", "report"], partitioning=None)
            self._report_owner.update(zip(table["report"].to_pylist(), table["file"].to_pylist()))

    def drop_files(self, gone: set[str]) -> int:
        """Remove every row of these inputs (their files no longer exist) from the
        committed parts of all tables, and their JSON reports; the number of
        files.parquet rows removed."""
        gone = gone & self.recorded
        if not gone:
            return 0
        self._remove_rows(gone)
        for path, owner in list(self._report_owner.items()):
            if owner in gone:
                (self.out / path).unlink(missing_ok=True)
                del self._report_owner[path]
        for file in gone:
            self._earlier.pop(file, None)
        self.recorded -= gone
        self.done -= gone
        return len(gone)

    def _remove_rows(self, files: set[str], before: int | None = None) -> None:
        """Rows of these inputs out of every table's committed parts (those numbered below
        `before` only, when given)."""
        names = self.pa.array(sorted(files))
        for folder, schema in ((self.files_dir, self.files_schema), (self.stats_dir, self.stats_schema),
                               (self.estimates_dir, None), (self.qc_dir, self.qc_schema)):
            for part in _parts(folder):
                if before is not None and _part_number(part) >= before:
                    continue
                # the part alone, without the station and date of its folder names
                table_files = self.pq.read_table(part, columns=["file"], partitioning=None)["file"]
                if not self.pc.any(self.pc.is_in(table_files, names)).as_py():
                    continue
                table = self.pq.read_table(part, schema=schema, partitioning=None)
                self._write_table(table.filter(self.pc.invert(self.pc.is_in(table["file"], names))),
                                  part)

    # ---- writing

    def _write_atomic(self, path: Path, write) -> None:
        """Write beside the target under a hidden name, then rename: readers of the
        dataset never see half a file, and hidden names are not part of it."""
        tmp = path.with_name("." + path.name + ".tmp")
        write(tmp)
        os.replace(tmp, path)

    def _write_table(self, table, path: Path) -> None:
        self._write_atomic(path, lambda p: self.pq.write_table(table, p))

    def add(self, result) -> None:
        """Take one task's result; its estimates go to disk at once."""
        self._files.append(result.file)
        if result.stats:
            self._stats.append(result.stats)
        if result.estimates:
            self._write_estimates(result)
        if result.qc is not None:
            self._add_quality(result)

    def _add_quality(self, result) -> None:
        """Keep the qc rows for the next part; write the JSON report at once (a file
        analysed again replaces it; only committed rows point to one)."""
        path, text = result.qc_report
        source = result.file["file"]
        if self._report_owner.setdefault(path, source) != source:
            # another input of the same station and name (another folder, or the same
            # file packed otherwise) keeps its report
            path = distinct_report_path(path, source)
            result.qc["report"] = [path] * len(result.qc["report"])
            self._report_owner[path] = source
        self._qc.append(result.qc)
        target = self.out / path
        target.parent.mkdir(parents=True, exist_ok=True)
        self._write_atomic(target, lambda p: p.write_text(text, encoding="utf-8"))

    def _write_estimates(self, result) -> None:
        import numpy as np

        columns = dict(result.estimates)
        size = len(next(iter(columns.values())))
        columns["file"] = np.full(size, result.file["file"], dtype=object)
        table = self.pa.table(columns)
        days = np.asarray(columns["time"]).astype("datetime64[D]")
        station = partition_value(result.file["station"] or "")
        for day in np.unique(days):
            folder = self.estimates_dir / f"station={station}" / f"date={day}"
            folder.mkdir(parents=True, exist_ok=True)
            self._estimate_parts += 1
            name = f"part-{self.number:06d}-{self._estimate_parts}.parquet"
            self._write_table(table.filter(self.pa.array(days == day)), folder / name)

    @property
    def pending(self) -> int:
        return len(self._files)

    def flush(self) -> None:
        """Commit the rows taken since the last flush as one numbered part."""
        if not self._files:
            return
        name = f"part-{self.number:06d}.parquet"
        stats = {col: [v for part in self._stats for v in part[col]]
                 for col, _, _ in STATS_COLUMNS}
        if stats["file"] or not _parts(self.stats_dir):  # an empty part keeps it readable
            self._write_table(self.pa.table(stats, schema=self.stats_schema),
                              self.stats_dir / name)
        if self._qc or (self.settings.get("qc") and not _parts(self.qc_dir)):
            self.qc_dir.mkdir(exist_ok=True)
            qc = {col: [v for part in self._qc for v in part[col]] for col, _, _ in QC_COLUMNS}
            self._write_table(self.pa.table(qc, schema=self.qc_schema), self.qc_dir / name)
        files = {col: [row[col] for row in self._files] for col, _, _ in FILES_COLUMNS}
        self._write_table(self.pa.table(files, schema=self.files_schema), self.files_dir / name)
        self._drop_earlier_rows({row["file"] for row in self._files})
        self._files, self._stats, self._qc = [], [], []
        self.number += 1
        self._estimate_parts = 0

    def _drop_earlier_rows(self, files: set[str]) -> None:
        """Rows of earlier runs, in every table, of inputs that have new rows now (a
        failed or damaged file analysed again)."""
        again = files & self._earlier.keys()
        for file in again:
            del self._earlier[file]
        if again:
            self._remove_rows(again, before=self.number)
