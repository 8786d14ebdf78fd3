"""InChI writing and JSON reading, on the first molecules of the drug-like set.

Input: the first 10,000 SMILES of the shared set of 100k drug-like SMILES
(see smiles.py, which decompresses it into the data folder). Without it these
workloads are left out with a note on standard error.

- inchi/write: both start from molecules already read; ours calls
  ``velk.mol_to_string(mol, "inchi")`` per molecule, RDKit
  ``Chem.MolToInchi``. Both sides drive the same IUPAC library, so the ratio
  measures what each adds around it (the model walk, stereo, the call).
- json/read: the molecules written once by us as JSON (one CommonChem
  document per line) into the data folder; ours reads the file with
  ``velk.read(path, format="json")``, RDKit runs ``Chem.JSONToMols`` on each
  line of the same text (held in memory, so it pays no file reading).

Each run checks its record count, so a fast but partial run cannot pass for a
result.
"""

from __future__ import annotations

import sys
from pathlib import Path

from common import Workload, checked
from workloads.smiles import SOURCE, prepared

COUNT = 10_000


def workloads(data_dir: Path) -> list[Workload]:
    if not SOURCE.is_file():
        print(f"inchi_json: skipped, {SOURCE} not found", file=sys.stderr)
        return []
    from nimbrel import velk

    path, _, _ = prepared(data_dir)
    lines = path.read_text().splitlines()[:COUNT]
    subset = data_dir / f"smiles-set-A-{COUNT}.smi"
    subset.write_text("\n".join(lines) + "\n")
    mols = list(velk.read(subset))
    checked(len(mols), COUNT, "nimbrel read")

    json_path = data_dir / f"smiles-set-A-{COUNT}.json"
    json_path.write_text("".join(velk.mol_to_string(mol, "json") for mol in mols))
    json_text = json_path.read_text()
    json_lines = json_text.splitlines()
    checked(len(json_lines), COUNT, "nimbrel JSON write")

    def ours_inchi() -> int:
        return checked(sum(1 for mol in mols if velk.mol_to_string(mol, "inchi")), COUNT, "nimbrel InChI")

    def ours_json() -> int:
        return checked(sum(1 for _ in velk.read(json_path, format="json")), COUNT, "nimbrel JSON read")

    inchi_peers: dict = {}
    json_peers: dict = {}
    try:
        from rdkit import Chem, RDLogger

        RDLogger.DisableLog("rdApp.*")
        rd_mols = [m for m in (Chem.MolFromSmiles(line.split(None, 1)[0]) for line in lines) if m is not None]

        def rdkit_inchi() -> int:
            return sum(1 for m in rd_mols if Chem.MolToInchi(m))

        def rdkit_json() -> int:
            return checked(sum(len(Chem.JSONToMols(line)) for line in json_lines), COUNT, "rdkit JSONToMols")

        inchi_peers["rdkit MolToInchi"] = rdkit_inchi
        json_peers["rdkit JSONToMols"] = rdkit_json
    except ImportError:
        print("inchi_json: RDKit not installed, no peer", file=sys.stderr)

    return [
        Workload(name="inchi/write", ours=ours_inchi, peers=inchi_peers, records=COUNT, repeats=2),
        Workload(name="json/read", ours=ours_json, peers=json_peers, input_bytes=len(json_text.encode()),
                 records=COUNT, repeats=3),
    ]
