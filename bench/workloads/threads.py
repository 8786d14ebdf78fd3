"""Reading with worker threads: the same file read with 2 threads against 1.

Inputs: the SD file of sdf.py and the decompressed SMILES set of smiles.py
(both built from ../shared/testdata/large/patwalters_set_A_100k.smi.gz).

- threads/sdf-read: ``velk.read(path, num_threads=2)`` (connection table,
  SD data, perception on the workers; one Python molecule per record),
  against the same call with one thread as the peer row.
- threads/smiles-read: the same for the SMILES set.

The ratio printed is the speed-up of 2 threads over 1, measured in the same
run; on a machine shared with other work it is noisy. Each run checks its
record count. Target: 1.8x on both.
"""

from __future__ import annotations

import sys
from pathlib import Path

from common import Workload, checked

from workloads import sdf, smiles


def _reading(path: Path, records: int, threads: int):
    def run() -> int:
        from nimbrel import velk

        return checked(sum(1 for _ in velk.read(path, num_threads=threads)), records, f"{threads} threads")

    return run


def workloads(data_dir: Path) -> list[Workload]:
    if not sdf.SOURCE.is_file():
        print(f"threads: skipped, {sdf.SOURCE} not found", file=sys.stderr)
        return []
    found = []
    sd = sdf.prepared(data_dir)
    if sd is not None:
        path, size, records = sd
        found.append(Workload(name="threads/sdf-read", ours=_reading(path, records, 2),
                              peers={"nimbrel 1 thread": _reading(path, records, 1)}, input_bytes=size,
                              records=records, repeats=2, target="2 threads 1.8x faster than 1"))
    path, size, lines = smiles.prepared(data_dir)
    found.append(Workload(name="threads/smiles-read", ours=_reading(path, lines, 2),
                          peers={"nimbrel 1 thread": _reading(path, lines, 1)}, input_bytes=size,
                          records=lines, repeats=3, target="2 threads 1.8x faster than 1"))
    return found
