"""SD files: reading with perception, and writing.

Input: an SD file that RDKit writes once into the data folder from the shared
set of 100k drug-like SMILES (../shared/testdata/large/
patwalters_set_A_100k.smi.gz): 2D coordinates, wedge bonds for stereo
centres, charges and isotopes as the SMILES give them, and two SD data items
per record. Without the SMILES set (or without RDKit to write the file) these
workloads are left out with a note on standard error.

- sdf/read: ours iterates ``velk.read`` over the file (connection table, SD
  data, implicit hydrogens, rings, stereo from wedges, aromaticity; one
  Python molecule per record, dropped at once); RDKit iterates
  ``ForwardSDMolSupplier`` (parse and sanitize), Open Babel ``pybel.readfile``.
  Ours also reports how much its resident memory grows from the first tenth
  of the records to the end: streaming must not grow it.
- sdf/write: both start from molecules already read from that file; ours
  writes them with ``velk.open_writer`` to an .sdf file, RDKit with
  ``SDWriter``.

Each run checks its record count, so a fast but partial run cannot pass for a
result. Targets: read 2x RDKit and 5x Open Babel; write 2x RDKit.
"""

from __future__ import annotations

import gzip
import os
import sys
import tempfile
from pathlib import Path

from common import Workload, checked

ROOT = Path(__file__).resolve().parents[2]
SOURCE = ROOT.parent / "shared" / "testdata" / "large" / "patwalters_set_A_100k.smi.gz"


def resident_mb() -> float:
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") / 1e6


def write_input(target: Path) -> None:
    """The SD file RDKit writes from the SMILES set (records it cannot read are left out)."""
    from rdkit import Chem, RDLogger
    from rdkit.Chem import rdDepictor

    RDLogger.DisableLog("rdApp.*")
    partial = target.with_suffix(".partial")
    with gzip.open(SOURCE, "rt") as lines, Chem.SDWriter(str(partial)) as writer:
        for number, line in enumerate(lines):
            fields = line.split()
            mol = Chem.MolFromSmiles(fields[0]) if fields else None
            if mol is None:
                continue
            rdDepictor.Compute2DCoords(mol)
            mol.SetProp("_Name", fields[1] if len(fields) > 1 else f"mol{number}")
            mol.SetProp("record", str(number))
            mol.SetProp("heavy atoms", str(mol.GetNumHeavyAtoms()))
            writer.write(mol)
    partial.rename(target)


def prepared(data_dir: Path) -> tuple[Path, int, int] | None:
    target = data_dir / "sdf-set-A.sdf"
    if not target.is_file():
        try:
            print("sdf: writing the input with RDKit (once, a few minutes)", file=sys.stderr)
            write_input(target)
        except ImportError:
            print("sdf: skipped, RDKit is needed to write the input", file=sys.stderr)
            return None
    data = target.read_bytes()
    return target, len(data), data.count(b"$$$$\n")


def read_peers(path: Path, records: int) -> dict:
    peers: dict = {}
    try:
        from rdkit import Chem, RDLogger

        RDLogger.DisableLog("rdApp.*")

        def rdkit_read() -> int:
            with open(path, "rb") as f:
                return checked(sum(1 for m in Chem.ForwardSDMolSupplier(f) if m is not None), records, "rdkit")

        peers["rdkit ForwardSDMol"] = rdkit_read
    except ImportError:
        print("sdf: RDKit not installed, no peer", file=sys.stderr)
    try:
        from openbabel import pybel

        pybel.ob.obErrorLog.SetOutputLevel(0)

        def openbabel_read() -> int:
            return checked(sum(1 for _ in pybel.readfile("sdf", str(path))), records, "openbabel")

        peers["openbabel pybel"] = openbabel_read
    except ImportError:
        print("sdf: Open Babel not installed, no peer", file=sys.stderr)
    return peers


def write_peers(path: Path, records: int, out: Path) -> dict:
    try:
        from rdkit import Chem
    except ImportError:
        return {}
    with open(path, "rb") as f:
        mols = [m for m in Chem.ForwardSDMolSupplier(f) if m is not None]
    checked(len(mols), records, "rdkit")

    def rdkit_write() -> int:
        with Chem.SDWriter(str(out)) as writer:
            for m in mols:
                writer.write(m)
        return len(mols)

    return {"rdkit SDWriter": rdkit_write}


def workloads(data_dir: Path) -> list[Workload]:
    if not SOURCE.is_file():
        print(f"sdf: skipped, {SOURCE} not found", file=sys.stderr)
        return []
    found = prepared(data_dir)
    if found is None:
        return []
    from nimbrel import velk

    path, size, records = found
    out_dir = Path(tempfile.mkdtemp(prefix="nimbrel-bench-sdf-"))

    def ours_read() -> int:
        count = 0
        for count, _ in enumerate(velk.read(path), 1):
            if count == records // 10:
                early = resident_mb()
        print(f"  (nimbrel resident memory grew {resident_mb() - early:+.1f} MB from record {records // 10} "
              f"to record {count})")
        return checked(count, records, "nimbrel read")

    our_mols = list(velk.read(path))
    checked(len(our_mols), records, "nimbrel read")

    def ours_write() -> int:
        with velk.open_writer(out_dir / "ours.sdf") as writer:
            for mol in our_mols:
                writer.append(mol)
        return len(our_mols)

    return [
        Workload(name="sdf/read", ours=ours_read, peers=read_peers(path, records), input_bytes=size,
                 records=records, repeats=2, target="2x RDKit, 5x Open Babel; flat memory"),
        Workload(name="sdf/write", ours=ours_write, peers=write_peers(path, records, out_dir / "rdkit.sdf"),
                 input_bytes=size, records=records, repeats=2, target="2x RDKit"),
    ]
