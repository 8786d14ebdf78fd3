"""CSV: reading a table of molecules with a few numeric columns.

Input: a table built from the first 20,000 SMILES of the shared 100k set
(../shared/testdata/large/patwalters_set_A_100k.smi.gz) with a header line
SMILES,Name,MW,logP,count: the SMILES, its identifier and three number
columns made up from the row index. Written once into the data folder.
Without the shared set this workload is left out with a note on standard
error.

- csv/read: ours reads the file through ``velk.read`` (the CSV reader: row
  split, SMILES parse, kekulization, ring membership, aromaticity model 2,
  the title and three SD data items, one Python molecule object per row);
  the peer is ``pandas.read_csv`` followed by RDKit's ``Chem.MolFromSmiles``
  on each SMILES cell (parse and sanitize), the table's other cells left in
  the data frame.

Each run checks its record count against the input. Target: 2x the peer.
"""

from __future__ import annotations

import gzip
import sys
from pathlib import Path

from common import Workload, checked

ROOT = Path(__file__).resolve().parents[2]
SOURCE = ROOT.parent / "shared" / "testdata" / "large" / "patwalters_set_A_100k.smi.gz"
ROWS = 20_000


def prepared(data_dir: Path) -> tuple[Path, int]:
    """The table and its size in bytes."""
    target = data_dir / "csv-set-A.csv"
    if not target.is_file() or target.stat().st_mtime < SOURCE.stat().st_mtime:
        lines = gzip.decompress(SOURCE.read_bytes()).decode().splitlines()[:ROWS]
        out = ["SMILES,Name,MW,logP,count"]
        for i, line in enumerate(lines):
            smiles, _, name = line.partition(" ")
            out.append(f"{smiles},{name.strip() or i},{150 + i % 400 * 0.731:.3f},{(i % 97) / 13 - 3:.2f},{i % 11}")
        target.write_text("\n".join(out) + "\n")
    return target, target.stat().st_size


def workloads(data_dir: Path) -> list[Workload]:
    if not SOURCE.is_file():
        print(f"csv: skipped, {SOURCE} not found", file=sys.stderr)
        return []
    from nimbrel import velk

    path, size = prepared(data_dir)

    def ours_read() -> int:
        return checked(sum(1 for _ in velk.read(path)), ROWS, "nimbrel read")

    peers: dict = {}
    try:
        import pandas
        from rdkit import Chem, RDLogger

        RDLogger.DisableLog("rdApp.*")

        def pandas_rdkit() -> int:
            frame = pandas.read_csv(path)
            mols = [Chem.MolFromSmiles(s) for s in frame["SMILES"]]
            return checked(len(mols), ROWS, "pandas + rdkit")

        peers["pandas.read_csv + rdkit MolFromSmiles"] = pandas_rdkit
    except ImportError as exc:
        print(f"csv: no peer ({exc})", file=sys.stderr)

    return [Workload(name="csv/read", ours=ours_read, peers=peers, input_bytes=size, records=ROWS,
                     repeats=3, target="2x pandas + RDKit (peer / nimbrel >= 2.0x)")]
