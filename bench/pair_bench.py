"""Alternating-pair timing of two commands, shared by the benchmarks that race one of the project's
programs against a reference tool (bench/cabinet_bench.sh, bench/stub_bench).

Protocol: one warm-up pair (not counted), then PAIRS pairs; within a pair the two commands run
back to back, the order swapped from one pair to the next (A B, B A, ...), so that a slow spell of
this shared machine lands on both sides. Each run is timed here (wall) and by GNU time (processor
time and peak memory, which for a Wine program is that of the program's own process). The result is the median of the
per-pair ratios A/B with their minimum and maximum, the median wall times, and the largest peak
memory of each side.
"""

from __future__ import annotations

import statistics
import subprocess
import tempfile
import time
from dataclasses import dataclass
from typing import Callable

# The peak memory comes from GNU time, a small C program: a child forked from Python would count
# Python's own memory (about 14 MiB) in its peak.
TIME = "/usr/bin/time"


@dataclass
class Run:
    seconds: float
    peak_kib: int
    cpu: float


def run_once(command: list[str], env: dict[str, str] | None = None,
             prepare: Callable[[], None] | None = None) -> Run:
    if prepare:
        prepare()
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        start = time.perf_counter()
        code = subprocess.run([TIME, "-f", "%M %U %S", "-o", report.name, *command],
                              env=env).returncode
        seconds = time.perf_counter() - start
        if code != 0:
            raise SystemExit(f"failed ({code}): {' '.join(command)}")
        peak, user, system = report.read().split()[-3:]
    return Run(seconds, int(peak), float(user) + float(system))


@dataclass
class Side:
    command: list[str]
    env: dict[str, str] | None = None
    prepare: Callable[[], None] | None = None


def race(a: Side, b: Side, pairs: int = 5,
         check: Callable[[], None] | None = None) -> dict[str, float]:
    """Warm-up pair, then `pairs` alternating pairs. `check` runs once after the warm-up pair
    (both outputs present), to compare them."""
    run_once(a.command, a.env, a.prepare)
    run_once(b.command, b.env, b.prepare)
    if check:
        check()
    runs_a: list[Run] = []
    runs_b: list[Run] = []
    for n in range(pairs):
        order = [(a, runs_a), (b, runs_b)] if n % 2 == 0 else [(b, runs_b), (a, runs_a)]
        for side, runs in order:
            runs.append(run_once(side.command, side.env, side.prepare))
    ratios = [x.seconds / y.seconds for x, y in zip(runs_a, runs_b)]
    return {
        "a_seconds": statistics.median(r.seconds for r in runs_a),
        "b_seconds": statistics.median(r.seconds for r in runs_b),
        "a_cpu": statistics.median(r.cpu for r in runs_a),
        "b_cpu": statistics.median(r.cpu for r in runs_b),
        "a_peak_mib": max(r.peak_kib for r in runs_a) / 1024,
        "b_peak_mib": max(r.peak_kib for r in runs_b) / 1024,
        "ratio_median": statistics.median(ratios),
        "ratio_min": min(ratios),
        "ratio_max": max(ratios),
        "pairs": pairs,
    }


def result_line(figure: str, reference_tool: str, r: dict[str, float], goal: str) -> str:
    """The machine-readable line (after the human-readable ones) that scripts/bench collects:
    RESULT|figure|ours|reference|ratio median|min|max|peak ours|peak reference|goal"""
    return (f"RESULT|{figure}|{r['a_seconds']:.2f} s|{r['b_seconds']:.2f} s ({reference_tool})|"
            f"{r['ratio_median']:.2f}|{r['ratio_min']:.2f}|{r['ratio_max']:.2f}|"
            f"{r['a_peak_mib']:.0f} MiB|{r['b_peak_mib']:.0f} MiB|{goal}")


def summary(name: str, reference_tool: str, r: dict[str, float]) -> str:
    """The human-readable figures of one race."""
    return (f"{name}: {r['a_seconds']:.2f} s wall, {r['a_cpu']:.2f} s cpu, peak "
            f"{r['a_peak_mib']:.0f} MiB; {reference_tool}: {r['b_seconds']:.2f} s wall, "
            f"{r['b_cpu']:.2f} s cpu, peak {r['b_peak_mib']:.0f} MiB; ratio median "
            f"{r['ratio_median']:.2f} (min {r['ratio_min']:.2f}, max {r['ratio_max']:.2f}) "
            f"over {r['pairs']} pairs")


def same_trees(left, right) -> None:
    """Raises unless the two folders hold the same files with the same bytes."""
    import filecmp
    from pathlib import Path
    left, right = Path(left), Path(right)
    names_l = sorted(str(p.relative_to(left)) for p in left.rglob("*") if p.is_file())
    names_r = sorted(str(p.relative_to(right)) for p in right.rglob("*") if p.is_file())
    if names_l != names_r:
        raise SystemExit(f"different files: {names_l} / {names_r}")
    for name in names_l:
        if not filecmp.cmp(left / name, right / name, shallow=False):
            raise SystemExit(f"different bytes: {name}")
