"""SD files as pandas DataFrames.

Input: the SD file of sdf.py (about 100k drug-like records with two SD data
items each, written once by RDKit from the shared SMILES set).

- frame/read_frame: ours ``velk.read_frame`` (one row per record: the
  molecule, its title, one column per SD tag typed as numbers or text);
  RDKit ``PandasTools.LoadSDF`` (the molecule, its name, the tags as text).
  Both parse and perceive every molecule and keep all of them in the frame.

Each run checks its row count. Target: 3x RDKit.
"""

from __future__ import annotations

import sys
from pathlib import Path

from common import Workload, checked
from workloads.sdf import SOURCE, prepared


def workloads(data_dir: Path) -> list[Workload]:
    if not SOURCE.is_file():
        print(f"frames: skipped, {SOURCE} not found", file=sys.stderr)
        return []
    found = prepared(data_dir)
    if found is None:
        return []
    from nimbrel import velk

    path, size, records = found

    def ours() -> int:
        return checked(len(velk.read_frame(path)), records, "nimbrel read_frame")

    peers = {}
    try:
        from rdkit import RDLogger
        from rdkit.Chem import PandasTools

        RDLogger.DisableLog("rdApp.*")

        def rdkit_loadsdf() -> int:
            return checked(len(PandasTools.LoadSDF(str(path))), records, "rdkit LoadSDF")

        peers["rdkit PandasTools"] = rdkit_loadsdf
    except ImportError:
        print("frames: RDKit not installed, no peer", file=sys.stderr)
    return [Workload(name="frame/read_frame", ours=ours, peers=peers, input_bytes=size, records=records,
                     repeats=3, target="3x RDKit PandasTools.LoadSDF")]
