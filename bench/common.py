"""Shared pieces of the benchmark runner."""

from __future__ import annotations

import time
from dataclasses import dataclass, field
from typing import Callable


@dataclass
class Workload:
    name: str
    ours: Callable[[], object]
    peers: dict[str, Callable[[], object]] = field(default_factory=dict)
    input_bytes: int = 0       # size of the input, for MB/s
    records: int = 0           # records per run, for records/s
    repeats: int = 3
    target: str = ""           # the goal this workload checks, printed beside the table
    footnote: Callable[[], str] | None = None  # more figures, printed under the table (not timed)

    def describe_input(self) -> str:
        parts = []
        if self.input_bytes:
            parts.append(f"{self.input_bytes / 1e6:.1f} MB")
        if self.records:
            parts.append(f"{self.records} records")
        return ", ".join(parts) or "no size"


def checked(count: int, expected: int, what: str) -> int:
    """The record count of a run, which must be the whole input."""
    if count != expected:
        raise RuntimeError(f"{what}: {count} records, expected {expected}")
    return count


def measure(run: Callable[[], object], repeats: int) -> float:
    """Best wall time of `repeats` runs, in seconds."""
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        run()
        best = min(best, time.perf_counter() - start)
    return best


def format_row(label: str, seconds: float, workload: Workload, ours: float | None) -> str:
    rate = []
    if workload.input_bytes:
        rate.append(f"{workload.input_bytes / seconds / 1e6:9.1f} MB/s")
    if workload.records:
        rate.append(f"{workload.records / seconds:12.0f} rec/s")
    ratio = "" if ours is None else f"  nimbrel is {seconds / ours:6.2f}x faster"
    return f"  {label:<22} {seconds * 1e3:10.2f} ms  {'  '.join(rate)}{ratio}"
