"""Reading on Dask worker processes: 2 workers against one process.

Input: the SD file of sdf.py (built from
../shared/testdata/large/patwalters_set_A_100k.smi.gz), and the same records
cut into 4 shards.

- dask/sdf-shards: ``nimbrel.dask.read("shard-*.sdf")`` on a LocalCluster of
  2 single-threaded worker processes, counting heavy atoms of every molecule
  on the workers (only the sums travel back); the peer row reads the shards
  one after another in this process with ``velk.read``.
- dask/sdf-ranges: the one large file, split into 4 byte ranges.

The cluster is started once, outside the timing. The ratio printed is the
speed-up over one process, measured in the same run; noisy on a shared
machine. Target: 1.6x.
"""

from __future__ import annotations

import os
import sys
from pathlib import Path

from common import Workload, checked

from workloads import sdf

SHARDS = 4
_client = None


def _cluster():
    global _client
    if _client is None:
        from distributed import Client, LocalCluster

        # The workers unpickle this module's functions by name.
        bench = str(Path(__file__).resolve().parents[1])
        os.environ["PYTHONPATH"] = os.pathsep.join(filter(None, [bench, os.environ.get("PYTHONPATH")]))
        cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None)
        _client = Client(cluster)
    return _client


def _heavy_atoms(mols) -> list[tuple[int, int]]:
    return [(1, sum(1 for atom in mol.GetAtoms() if atom.GetAtomicNum() > 1)) for mol in mols]


def _on_dask(paths: list[Path] | Path, blocksize: int | None, records: int):
    def run() -> int:
        from nimbrel import dask as nd

        _cluster()
        bag = nd.read(paths, blocksize=blocksize)
        counts = bag.map_partitions(_heavy_atoms).fold(lambda a, b: (a[0] + b[0], a[1] + b[1])).compute()
        return checked(counts[0], records, "dask")

    return run


def _one_process(paths: list[Path], records: int):
    def run() -> int:
        from nimbrel import velk

        counts = [c for path in paths for c in _heavy_atoms(velk.read(path))]
        return checked(len(counts), records, "one process")

    return run


def _shards(path: Path) -> list[Path]:
    data = path.read_bytes()
    records = data.split(b"$$$$\n")[:-1]
    step = -(-len(records) // SHARDS)
    shards = []
    for i in range(SHARDS):
        shard = path.parent / f"dask-shard-{i}.sdf"
        if not shard.is_file():
            shard.write_bytes(b"".join(r + b"$$$$\n" for r in records[i * step:(i + 1) * step]))
        shards.append(shard)
    return shards


def workloads(data_dir: Path) -> list[Workload]:
    try:
        import distributed  # noqa: F401
    except ImportError:
        print("dask_scaleout: skipped, distributed is not installed", file=sys.stderr)
        return []
    if not sdf.SOURCE.is_file():
        print(f"dask_scaleout: skipped, {sdf.SOURCE} not found", file=sys.stderr)
        return []
    sd = sdf.prepared(data_dir)
    if sd is None:
        return []
    path, size, records = sd
    shards = _shards(path)
    one = {"nimbrel 1 process": _one_process(shards, records)}
    return [
        Workload(name="dask/sdf-shards", ours=_on_dask(shards, None, records), peers=one, input_bytes=size,
                 records=records, repeats=3, target="2 workers 1.6x faster than 1 process"),
        Workload(name="dask/sdf-ranges", ours=_on_dask(path, -(-size // SHARDS), records), peers=one,
                 input_bytes=size, records=records, repeats=3, target="2 workers 1.6x faster than 1 process"),
    ]
