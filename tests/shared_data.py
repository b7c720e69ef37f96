"""The real data in ../shared/data: where it is, what every file in it holds, and
skipping cleanly when the folder is absent. Every suite takes its paths from here.

DATA_FILES names every file of the folder with its kind and what the readers make
of it today; the sweep in test_rinex_data.py fails on a file missing from it, so a
new file is never passed over. Change an entry here when a reader learns its kind.
"""
from dataclasses import dataclass
from pathlib import Path

import pytest

SHARED = Path(__file__).resolve().parents[1].parent / "shared"
DATA_DIR = SHARED / "data"
VALIDATION_DIR = SHARED / "validation"
ABSENT = "../shared/data is absent"  # the reason of every skip for want of the folder


@dataclass(frozen=True)
class Observations:
    """A RINEX observation file (plain or gzip): its version text and record count."""
    version: str
    epochs: int


@dataclass(frozen=True)
class Hatanaka:
    """Compact RINEX of the observation file `expanded` in the same folder; it reads
    like that file."""
    expanded: str


@dataclass(frozen=True)
class Orbit:
    """An SP3 precise orbit, whatever its extension."""


@dataclass(frozen=True)
class Navigation:
    """A RINEX navigation message file: what read_rinex_nav keeps of it."""
    satellites: int
    ephemerides: int


@dataclass(frozen=True)
class Other:
    """Not input of the module: notes, or reference data of another tool."""
    what: str


# Epoch counts as documented for each file (events with flags 2-5 are not epochs,
# unless a RINEX 3 event has lines read as satellites).
DATA_FILES = {
    "ACOR00ESP_R_20213550000_01D_30S_MO.rnx": Observations("3.04", 25),
    "KMS300DNK_R_20221591000_01H_30S_MO.rnx": Observations("4.00", 19),
    "OPEC00NOR_S_20220010000_01D_30S_MO_3.04_croped.rnx": Observations("3.04", 440),
    "CEDA00USA_R_20182100000_23H_15S_MO.rnx.gz": Observations("3.03", 4675),
    "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz": Observations("3.05", 2880),
    "NYA100NOR_S_20241240000_01D_30S_MO.rnx.gz": Observations("3.05", 2880),
    "GRAS00FRA_R_20223151700_15M_01S_MO.rnx.gz": Observations("3.04", 900),
    # 600 records: the first, an event (flag 2) at the time of the first epoch with no
    # satellites, is no epoch.
    "GEOP092I.24o.gz": Observations("3.03", 599),
    "NMBUS_SAMSUNG_S20.20o": Observations("3.03", 293),
    "DUTH0630.22O": Observations("3.02", 3),
    "07590920.05o": Observations("2.10", 120),
    "14601736.18o": Observations("2.11", 3),
    "delf0010.21o": Observations("2.11", 105),
    "zegv0010.21o": Observations("2.11", 19),
    "gwes0010.19o": Observations("2.11", 2),
    "sc021500.22o": Observations("2.11", 7),
    "at013620.18o.test": Observations("2.11", 2),
    "slac1180.21o": Observations("2.11", 241),
    "ACOR00ESP_R_20213550000_01D_30S_MO.crx": Hatanaka("ACOR00ESP_R_20213550000_01D_30S_MO.rnx"),
    "KMS300DNK_R_20221591000_01H_30S_MO.crx": Hatanaka("KMS300DNK_R_20221591000_01H_30S_MO.rnx"),
    "ESBC00DNK_R_20201770000_01D_30S_MO.crx.gz": Hatanaka("ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"),
    "delf0010.21d": Hatanaka("delf0010.21o"),
    "COD0MGXFIN_20211180000_01D_05M_ORB.SP3": Orbit(),
    "GRG0MGXFIN_20201760000_01D_15M_ORB.SP3": Orbit(),
    "GRG0MGXFIN_20201770000_01D_15M_ORB.SP3": Orbit(),
    "Testfile_20220101.eph": Orbit(),
    "gbm20335.sp3": Orbit(),
    "igs20342.sp3": Orbit(),
    "igs22121.sp3": Orbit(),
    "ESBC00DNK_R_20201770000_01D_MN.rnx.gz": Navigation(115, 4871),
    "PROVENANCE.md": Other("where each file comes from"),
    "gnssir/mchl.json": Other("gnssrefl station settings"),
    "gnssir/mchl0100.25.snr66.gz": Other("gnssrefl SNR file"),
    "gnssir/mchl0110.25.snr66.gz": Other("gnssrefl SNR file"),
    "gnssir/mchl0120.25.snr66.gz": Other("gnssrefl SNR file"),
    "gnssir/mchl_phaseRH_L2.txt": Other("gnssrefl a-priori reflector heights"),
}


def folder_files() -> list[str]:
    """Every file under ../shared/data (paths relative to it, sorted); [] when absent."""
    if not DATA_DIR.is_dir():
        return []
    return sorted(p.relative_to(DATA_DIR).as_posix() for p in DATA_DIR.rglob("*") if p.is_file())


def files_of(kind: type) -> list:
    """Parameters for a sweep over the listed files of one kind, or one skipped
    parameter saying why when the folder is absent."""
    if not DATA_DIR.is_dir():
        return [pytest.param("none", marks=pytest.mark.skip(reason=ABSENT))]
    return sorted(name for name, entry in DATA_FILES.items() if isinstance(entry, kind))


def data_folder() -> Path:
    """The folder itself, skipping the test when it is absent."""
    if not DATA_DIR.is_dir():
        pytest.skip(ABSENT)
    return DATA_DIR


def data_file(name: str) -> Path:
    """Path of a real data file, skipping the test when the shared data is absent."""
    path = DATA_DIR / name
    if not path.exists():
        pytest.skip(f"real data file {name} not available ({ABSENT})")
    return path
