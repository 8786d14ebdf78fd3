"""Side-by-side benchmarks: our throughput and the ratio to each peer, per workload.

Every module in bench/workloads/ offers ``workloads(data_dir)``, a list of
:class:`common.Workload`. Each one runs our implementation and every peer that
is installed, on the same input in this same run, and prints one table row per
implementation. Timings are the best of several repeats; nothing here asserts.

    bench/.venv/bin/python bench/run.py [name-filter ...]
    bench/.venv/bin/python bench/run.py --ours-json [name-filter ...]

With ``--ours-json`` only our implementation runs and the result is one JSON
object (workload name -> best seconds) on standard output: bench/compare.py
uses it to time two builds of ours against each other.
"""

from __future__ import annotations

import importlib
import json
import pkgutil
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

from common import Workload, format_row, measure  # noqa: E402


def discover() -> list[Workload]:
    data_dir = HERE / "data"
    data_dir.mkdir(exist_ok=True)
    found: list[Workload] = []
    for module in pkgutil.iter_modules([str(HERE / "workloads")]):
        try:
            found.extend(importlib.import_module(f"workloads.{module.name}").workloads(data_dir))
        except Exception as exc:  # one workload that cannot set up must not hide the others
            print(f"workloads/{module.name}: skipped ({type(exc).__name__}: {exc})", file=sys.stderr)
    return found


def main(args: list[str]) -> int:
    ours_json = "--ours-json" in args
    filters = [a for a in args if a != "--ours-json"]
    workloads = [w for w in discover() if not filters or any(f in w.name for f in filters)]
    if not workloads:
        print("no workloads selected", file=sys.stderr)
        return 1
    if ours_json:
        print(json.dumps({w.name: measure(w.ours, w.repeats) for w in workloads}))
        return 0
    for workload in workloads:
        print(f"\n== {workload.name}  ({workload.describe_input()})")
        ours = measure(workload.ours, workload.repeats)
        print(format_row("nimbrel", ours, workload, None))
        for peer, run in workload.peers.items():
            try:
                seconds = measure(run, workload.repeats)
            except Exception as exc:  # a peer that cannot run this input is reported, not fatal
                print(f"  {peer:<22} failed: {type(exc).__name__}: {exc}")
                continue
            print(format_row(peer, seconds, workload, ours))
        if workload.target:
            print(f"  target: {workload.target}")
        if workload.footnote:
            print(workload.footnote())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
