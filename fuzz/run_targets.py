"""Runs the built fuzz targets one after the other and fails on any finding.

    python fuzz/run_targets.py BUILD_DIR SECONDS [--targets NAME ...]

Each target runs for SECONDS on BUILD_DIR/corpus/<target> (made by make_corpus.py),
with its dictionary and input-size limit from make_corpus.TARGETS. One at a time:
the machines this runs on have two cores shared with other work. Findings (crash,
leak, timeout, out-of-memory) land in BUILD_DIR/findings/<target>/; minimise one into
a regression input with

    python fuzz/run_targets.py BUILD_DIR --minimize TARGET FINDING
"""
import argparse
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

from make_corpus import FUZZ_DIR, TARGETS

# Per-input limits: a slower input counts as a hang, a bigger one as a memory fault.
TIMEOUT_SECONDS = 10
RSS_LIMIT_MB = 2048


def binary(build_dir: Path, target: str) -> Path:
    path = build_dir / f"fuzz_{target}"
    if not path.exists():
        raise SystemExit(f"{path} is not built (run `make fuzz`)")
    return path


def summary_of(log: str) -> dict[str, str]:
    """Executions, coverage and corpus from libFuzzer's last status line and final stats."""
    out = {}
    status = re.findall(r"^#(\d+)\s+\w+\s+cov: (\d+) ft: (\d+) corp: (\d+)/(\S+)", log, re.M)
    if status:
        out.update(zip(("execs", "cov", "ft", "corpus", "corpus_size"), status[-1]))
    executed = re.search(r"stat::number_of_executed_units:\s+(\d+)", log)
    if executed:
        out["execs"] = executed.group(1)
    rate = re.search(r"stat::average_exec_per_sec:\s+(\d+)", log)
    if rate:
        out["exec_per_s"] = rate.group(1)
    return out


def run_target(build_dir: Path, target: str, seconds: int) -> tuple[bool, dict[str, str]]:
    settings = TARGETS[target]
    corpus = build_dir / "corpus" / target
    findings = build_dir / "findings" / target
    corpus.mkdir(parents=True, exist_ok=True)
    findings.mkdir(parents=True, exist_ok=True)
    before = set(findings.iterdir())
    command = ["nice", "-n", "10", str(binary(build_dir, target)), str(corpus),
               f"-max_total_time={seconds}", f"-max_len={settings.max_len}", f"-timeout={TIMEOUT_SECONDS}",
               f"-rss_limit_mb={RSS_LIMIT_MB}", f"-artifact_prefix={findings}/", "-print_final_stats=1"]
    if settings.dictionary:
        command.append(f"-dict={FUZZ_DIR / settings.dictionary}")
    log_path = build_dir / "logs" / f"{target}.log"
    log_path.parent.mkdir(parents=True, exist_ok=True)
    started = time.monotonic()
    with open(log_path, "w") as log:
        code = subprocess.run(command, stdout=log, stderr=subprocess.STDOUT).returncode
    stats = summary_of(log_path.read_text(errors="replace"))
    stats["seconds"] = f"{time.monotonic() - started:.0f}"
    new = sorted(set(findings.iterdir()) - before)
    stats["findings"] = str(len(new))
    ok = code == 0 and not new
    if not ok:
        print(f"{target}: exit {code}, findings {[str(p) for p in new]}; log {log_path}", file=sys.stderr)
    return ok, stats


def minimize(build_dir: Path, target: str, finding: Path) -> Path:
    """Minimises a finding and keeps it as a regression input of the target."""
    small = build_dir / "findings" / target / f"minimized-{finding.name}"
    subprocess.run([str(binary(build_dir, target)), "-minimize_crash=1", "-runs=20000",
                    f"-max_len={TARGETS[target].max_len}", f"-exact_artifact_path={small}", str(finding)],
                   check=False)
    kept = FUZZ_DIR / "regressions" / target / finding.name
    kept.parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(small if small.exists() else finding, kept)
    return kept


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir", type=Path)
    parser.add_argument("seconds", type=int, nargs="?", default=60)
    parser.add_argument("--targets", nargs="*", default=list(TARGETS), choices=list(TARGETS))
    parser.add_argument("--minimize", nargs=2, metavar=("TARGET", "FINDING"))
    args = parser.parse_args(argv)
    if args.minimize:
        print("kept", minimize(args.build_dir, args.minimize[0], Path(args.minimize[1])))
        return 0

    failed = []
    print(f"{'target':<10} {'seconds':>7} {'execs':>10} {'exec/s':>7} {'cov':>6} {'ft':>6} {'corpus':>7} findings")
    for target in args.targets:
        ok, s = run_target(args.build_dir, target, args.seconds)
        print(f"{target:<10} {s['seconds']:>7} {s.get('execs', '?'):>10} {s.get('exec_per_s', '?'):>7} "
              f"{s.get('cov', '?'):>6} {s.get('ft', '?'):>6} {s.get('corpus', '?'):>7} {s['findings']}", flush=True)
        if not ok:
            failed.append(target)
    if failed:
        print(f"findings in: {', '.join(failed)} (see {args.build_dir}/findings)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
