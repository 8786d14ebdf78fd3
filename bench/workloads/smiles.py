"""SMILES: reading with ring and aromaticity perception, and canonical writing.

Input: the shared set of 100k drug-like SMILES (../shared/testdata/large/
patwalters_set_A_100k.smi.gz), decompressed once into the data folder so that
neither side pays for gzip. Without it these workloads are left out with a
note on standard error.

- smiles/read: ours reads the file through ``velk.read`` (the SMI reader:
  parse, kekulize, ring membership, aromaticity model 2, one Python molecule
  object per record); RDKit runs ``Chem.MolFromSmiles`` on each line (parse
  and sanitize: rings, aromaticity, valences).
- smiles/write-canonical: both start from molecules already read; ours calls
  ``velk.mol_to_string(mol, "smi")`` (canonical stereo SMILES, the default
  flavor) per molecule, RDKit ``Chem.MolToSmiles`` (canonical isomeric).

Each run checks its record count against the input, so a fast but partial
run cannot pass for a result. Targets: 2x RDKit on both.
"""

from __future__ import annotations

import gzip
import sys
from pathlib import Path

from common import Workload

ROOT = Path(__file__).resolve().parents[2]
SOURCE = ROOT.parent / "shared" / "testdata" / "large" / "patwalters_set_A_100k.smi.gz"


def prepared(data_dir: Path) -> tuple[Path, int, int]:
    """The decompressed input, its size in bytes and its number of lines."""
    target = data_dir / "smiles-set-A.smi"
    if not target.is_file() or target.stat().st_mtime < SOURCE.stat().st_mtime:
        target.write_bytes(gzip.decompress(SOURCE.read_bytes()))
    data = target.read_bytes()
    return target, len(data), data.count(b"\n")


def checked(count: int, expected: int, what: str) -> int:
    if count != expected:
        raise RuntimeError(f"{what}: {count} records, expected {expected}")
    return count


def workloads(data_dir: Path) -> list[Workload]:
    if not SOURCE.is_file():
        print(f"smiles: skipped, {SOURCE} not found", file=sys.stderr)
        return []
    from nimbrel import velk

    path, size, lines = prepared(data_dir)
    texts = [line.split(None, 1)[0] for line in path.read_text().splitlines()]

    def ours_read() -> int:
        return checked(sum(1 for _ in velk.read(path)), lines, "nimbrel read")

    our_mols = list(velk.read(path))
    checked(len(our_mols), lines, "nimbrel read")

    def ours_write() -> int:
        return checked(sum(1 for mol in our_mols if velk.mol_to_string(mol, "smi")), lines, "nimbrel write")

    read_peers: dict = {}
    write_peers: dict = {}
    try:
        from rdkit import Chem, RDLogger

        RDLogger.DisableLog("rdApp.*")
        rd_mols = [m for m in (Chem.MolFromSmiles(t) for t in texts) if m is not None]

        def rdkit_read() -> int:
            return sum(1 for t in texts if Chem.MolFromSmiles(t) is not None)

        def rdkit_write() -> int:
            return sum(1 for m in rd_mols if Chem.MolToSmiles(m))

        read_peers["rdkit MolFromSmiles"] = rdkit_read
        write_peers["rdkit MolToSmiles"] = rdkit_write
    except ImportError:
        print("smiles: RDKit not installed, no peer", file=sys.stderr)

    return [
        Workload(name="smiles/read", ours=ours_read, peers=read_peers, input_bytes=size, records=lines,
                 repeats=2, target="2x RDKit (rdkit / nimbrel >= 2.0x)"),
        Workload(name="smiles/write-canonical", ours=ours_write, peers=write_peers, records=lines,
                 repeats=2, target="2x RDKit (rdkit / nimbrel >= 2.0x)"),
    ]
