"""QVB and QVZ: reading binary records against reading the same molecules as text.

Input: the SD file of the sdf workloads (RDKit writes it once from the shared
set of 100k drug-like SMILES), converted once by us to .qvb and .qvz, and the
same molecules pickled by RDKit (``Mol.ToBinary``), all in the data folder.

- qvb/read: ours iterates ``velk.read`` over the .qvb file (every field the SD
  reader gave: connection table, coordinates, SD data, stereo, perception);
  the peers are our own SD reader on the .sdf file and RDKit unpickling each
  molecule (``Chem.Mol(bytes)``).
- qvz/read: the same over the zstd-compressed .qvz file.

Sizes (.qvb, .qvz, .sdf, .sdf.gz) are printed when the workloads are set up.
Targets: .qvb read 10x our SD read and faster than RDKit unpickling; .qvz no
larger than .sdf.gz (its read speed is reported, with no target).
"""

from __future__ import annotations

import gzip
import pickle
import sys
from pathlib import Path

from common import Workload, checked

from workloads.sdf import SOURCE, prepared


def converted(sdf: Path, suffix: str) -> Path:
    from nimbrel import velk

    target = sdf.with_suffix(suffix)
    if not target.is_file():
        partial = target.with_name("partial" + suffix)
        with velk.open_writer(partial) as writer:
            for mol in velk.read(sdf):
                writer.append(mol)
        partial.rename(target)
    return target


def rdkit_pickles(sdf: Path, records: int) -> list[bytes] | None:
    target = sdf.with_suffix(".rdkit.pickle")
    try:
        from rdkit import Chem, RDLogger
    except ImportError:
        print("qvb: RDKit not installed, no peer", file=sys.stderr)
        return None
    RDLogger.DisableLog("rdApp.*")
    if not target.is_file():
        with open(sdf, "rb") as f:
            blobs = [m.ToBinary() for m in Chem.ForwardSDMolSupplier(f) if m is not None]
        target.write_bytes(pickle.dumps(blobs))
    blobs = pickle.loads(target.read_bytes())
    checked(len(blobs), records, "rdkit pickles")
    return blobs


def workloads(data_dir: Path) -> list[Workload]:
    if not SOURCE.is_file():
        print(f"qvb: skipped, {SOURCE} not found", file=sys.stderr)
        return []
    found = prepared(data_dir)
    if found is None:
        return []
    from nimbrel import velk

    sdf, sdf_size, records = found
    qvb = converted(sdf, ".qvb")
    qvz = converted(sdf, ".qvz")
    sdf_gz = sdf.with_suffix(".sdf.gz")
    if not sdf_gz.is_file():
        sdf_gz.write_bytes(gzip.compress(sdf.read_bytes(), 6))
    sizes = {p.name: p.stat().st_size for p in (sdf, sdf_gz, qvb, qvz)}
    print("qvb: sizes " + ", ".join(f"{name} {size / 1e6:.1f} MB" for name, size in sizes.items())
          + f"; .qvz / .sdf.gz = {sizes[qvz.name] / sizes[sdf_gz.name]:.2f}")

    def read(path: Path, what: str):
        def run() -> int:
            return checked(sum(1 for _ in velk.read(path)), records, what)

        return run

    peers = {"nimbrel SD read": read(sdf, "nimbrel sdf")}
    blobs = rdkit_pickles(sdf, records)
    if blobs is not None:
        from rdkit import Chem

        def rdkit_unpickle() -> int:
            return checked(sum(1 for b in blobs if Chem.Mol(b) is not None), records, "rdkit unpickle")

        peers["rdkit Chem.Mol(bytes)"] = rdkit_unpickle
    return [
        # A read of the .qvb file takes about a tenth of a second, where the
        # machine's drift between rounds is a few per cent: five rounds.
        Workload(name="qvb/read", ours=read(qvb, "nimbrel qvb"), peers=peers, input_bytes=sizes[qvb.name],
                 records=records, repeats=5, target="10x our SD read; faster than RDKit unpickling"),
        Workload(name="qvz/read", ours=read(qvz, "nimbrel qvz"), peers=peers, input_bytes=sizes[qvz.name],
                 records=records, repeats=2, target=".qvz no larger than .sdf.gz (size, printed above)"),
    ]
