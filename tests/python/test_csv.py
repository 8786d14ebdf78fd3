"""CSV against independent readers, on real files.

- Every table of the shared CSV files with its SMILES in the first column:
  each row's title and SD data are the cells Python's csv module reads, and
  each molecule is the one RDKit reads from the SMILES cell (compared by
  RDKit's canonical SMILES of what we write). Rows RDKit refuses are the rows
  we skip.
- The shared SD files go SDF -> CSV -> SDF (plain and gzip, through the
  command line) with their SD data intact, and RDKit reads the SMILES column
  of our CSV as the molecules of the SD file.
Skipped without the shared data.
"""

from __future__ import annotations

import csv
import subprocess
import sys
from pathlib import Path

import pytest
from rdkit import Chem, RDLogger

from nimbrel import tamrin, velk

RDLogger.DisableLog("rdApp.*")

# Each file: whether it has a header line, and its SMILES column. Where that
# is not the first, the header names it and the columns before it move one
# along (the first becomes the title).
TABLES = {
    "chemprop_bounded.csv": (True, 0),
    "chemprop_classification.csv": (True, 0),
    "chemprop_mol+mol.csv": (True, 0),
    "patwalters_carbonic.csv": (True, 0),
    "rdkit_first_200.tpsa.csv": (True, 0),
    "rdkit_cis_trans_cases.csv": (False, 0),
    "molnet_freesolv.csv": (True, 1),
    "rdkit_chembl24_randomtestSample_100.csv": (True, 1),
}


def canonical(smiles: str) -> str | None:
    mol = Chem.MolFromSmiles(smiles)
    return None if mol is None else Chem.MolToSmiles(mol)


def our_smiles(mol) -> str:
    return velk.mol_to_string(mol, "smi").split(" ", 1)[0].rstrip("\n")


def smiles_first(row: list[str], column: int) -> list[str]:
    return [row[column]] + row[:column] + row[column + 1:] if column < len(row) else row


def expected_rows(path: Path, has_header: bool, column: int) -> list[tuple[str, str, list[tuple[str, str]]]]:
    """(RDKit's canonical SMILES, title, SD pairs) of each row RDKit reads."""
    with path.open(newline="") as f:
        rows = list(csv.reader(f))
    header = rows.pop(0) if has_header else ["SMILES", "TITLE"] + [
        f"QV_CSV_COLUMN_{i}" for i in range(1, len(rows[0]) - 1)]
    header = smiles_first(header, column)
    expected = []
    for row in rows:
        row = smiles_first(row, column)
        ref = canonical(row[0])
        if ref is None:
            continue
        expected.append((ref, row[1] if len(row) > 1 else "", list(zip(header[2:], row[2:]))))
    return expected


@pytest.mark.parametrize("name", TABLES)
def test_rows_read_as_python_csv_and_rdkit_read_them(shared_testdata, name):
    path = shared_testdata / "csv" / name
    expected = expected_rows(path, *TABLES[name])
    ours = list(velk.read(path))
    assert len(expected) > 90
    assert len(ours) == len(expected)
    for mol, (ref, title, pairs) in zip(ours, expected):
        assert mol.GetTitle() == title
        assert tamrin.QvGetSDDataPairs(mol) == pairs, title
        assert canonical(our_smiles(mol)) == ref, title


def convert(src: Path, dst: Path) -> None:
    done = subprocess.run([sys.executable, "-m", "nimbrel.velk", "convert", str(src), str(dst)],
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr


def rdkit_sdf(path: Path) -> list:
    opener = Chem.ForwardSDMolSupplier
    if path.suffix == ".gz":
        import gzip
        return list(opener(gzip.open(path)))
    return list(opener(str(path)))


SD_FILES = ["rdkit_NCI_aids_few.sdf.gz", "rdkit_BlankPropLines.sdf", "iodata_molv3000.sdf"]


@pytest.mark.parametrize("name", SD_FILES)
@pytest.mark.parametrize("suffix", [".csv", ".csv.gz"])
def test_sdf_to_csv_and_back_keeps_sd_data(shared_testdata, tmp_path, name, suffix):
    source = shared_testdata / "sdf" / name
    mols = list(velk.read(source))
    assert mols
    columns = [tag for tag, _ in tamrin.QvGetSDDataPairs(mols[0])]
    table = tmp_path / ("table" + suffix)
    back = tmp_path / "back.sdf"
    convert(source, table)
    convert(table, back)

    again = list(velk.read(back))
    assert len(again) == len(mols)
    for before, after in zip(mols, again):
        assert after.GetTitle() == before.GetTitle()
        # The first molecule's tags are the columns: every molecule keeps its
        # value under each of them, empty where it has none.
        pairs = dict(tamrin.QvGetSDDataPairs(before))
        assert tamrin.QvGetSDDataPairs(after) == [(tag, pairs.get(tag, "")) for tag in columns]

    # RDKit reads our SMILES column as the molecules of the SD file.
    import gzip
    text = (gzip.open(table, "rt", newline="") if suffix == ".csv.gz" else table.open(newline="")).read()
    rows = list(csv.reader(text.splitlines()))
    assert rows[0][:2] == ["SMILES", "TITLE"]
    for row, ref in zip(rows[1:], rdkit_sdf(source)):
        assert ref is not None
        assert canonical(row[0]) == Chem.MolToSmiles(ref), row[1]
