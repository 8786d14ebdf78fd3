"""SD files read by nimbrel, checked against RDKit reading the same bytes.

Two kinds of input:
- the SD files of the shared test data (written by other programs);
- an SD file that RDKit writes here from the first molecules of the shared
  100k SMILES set: 2D coordinates with wedge bonds, charges and isotopes as
  the SMILES give them (plus a 13C on every tenth record), every fourth record
  as V3000, and two SD data items per record.

Compared per record: atoms, bonds, elements, formal charges, isotopes,
implicit hydrogen counts, the Kekulé bond orders of the file, SD data, and
stereo (tetrahedral and cis/trans) through canonical isomeric SMILES: ours
written as SMILES by nimbrel and read by RDKit, against RDKit's reading of
the record. Skipped without the shared data.
"""

from __future__ import annotations

import gzip
import io
from pathlib import Path

import pytest

from rdkit import Chem, RDLogger
from rdkit.Chem import rdDepictor

from nimbrel import tamrin, velk


COUNT = 1200
ISOMERIC_SMILES = 0x407D  # canonical, stereo, the default SMI output flavor


def rdkit_records(data: bytes, sanitize: bool = True) -> list:
    RDLogger.DisableLog("rdApp.*")
    return list(Chem.ForwardSDMolSupplier(io.BytesIO(data), sanitize=sanitize, removeHs=False))


def kekule_orders(mol) -> dict[tuple[int, int], int]:
    return {tuple(sorted((b.GetBgn().GetIdx(), b.GetEnd().GetIdx()))): b.GetOrder() for b in mol.GetBonds()}


def rdkit_orders(mol) -> dict[tuple[int, int], int]:
    return {tuple(sorted((b.GetBeginAtomIdx(), b.GetEndAtomIdx()))): int(b.GetBondTypeAsDouble())
            for b in mol.GetBonds()}


def atom_table(mol) -> list[tuple]:
    return [(a.GetAtomicNum(), a.GetFormalCharge(), a.GetIsotope()) for a in mol.GetAtoms()]


def canonical(smiles: str) -> str | None:
    mol = Chem.MolFromSmiles(smiles)
    return None if mol is None else Chem.MolToSmiles(mol)


def our_smiles(mol) -> str:
    return velk.mol_to_string(mol, "smi", ISOMERIC_SMILES).split(" ", 1)[0].rstrip("\n")


class Tally:
    """Counts agreements per property and keeps the first few disagreements."""

    def __init__(self) -> None:
        self.agree: dict[str, int] = {}
        self.disagree: dict[str, list] = {}

    def check(self, what: str, ours, theirs, record) -> None:
        if ours == theirs:
            self.agree[what] = self.agree.get(what, 0) + 1
        else:
            self.disagree.setdefault(what, []).append((record, ours, theirs))

    def report(self, total: int) -> str:
        names = sorted(set(self.agree) | set(self.disagree))
        return ", ".join(f"{n} {self.agree.get(n, 0)}/{total}" for n in names)

    def failures(self, what: str) -> list:
        return self.disagree.get(what, [])


@pytest.fixture(scope="module")
def written_sdf(tmp_path_factory, set_a_lines) -> Path:
    """The SD file RDKit writes from the first molecules of the shared set."""
    RDLogger.DisableLog("rdApp.*")
    parts = []
    for number, line in enumerate(set_a_lines[:COUNT]):
        fields = line.split()
        mol = Chem.MolFromSmiles(fields[0]) if fields else None
        if mol is None:
            continue
        if number % 10 == 0:
            first = mol.GetAtomWithIdx(0)
            first.SetIsotope(Chem.GetPeriodicTable().GetMostCommonIsotope(first.GetAtomicNum()) + 1)
        rdDepictor.Compute2DCoords(mol)
        mol.SetProp("_Name", fields[1] if len(fields) > 1 else f"mol{number}")
        block = Chem.MolToV3KMolBlock(mol) if number % 4 == 3 else Chem.MolToMolBlock(mol)
        parts.append(f"{block}>  <record>  ({number})\n{number}\n\n>  <smiles>\n{fields[0]}\nline two\n\n$$$$\n")
    path = tmp_path_factory.mktemp("sdf") / "written_by_rdkit.sdf"
    path.write_text("".join(parts))
    return path


def read_both(path: Path):
    data = path.read_bytes() if not path.name.endswith(".gz") else gzip.decompress(path.read_bytes())
    ours = list(velk.read(path))
    theirs = rdkit_records(data)
    raw = rdkit_records(data, sanitize=False)
    return ours, theirs, raw


def tally_records(ours, theirs, raw) -> Tally:
    tally = Tally()
    for i, (mine, ref, file_form) in enumerate(zip(ours, theirs, raw)):
        if ref is None or file_form is None:
            continue
        tally.check("atoms", mine.NumAtoms(), ref.GetNumAtoms(), i)
        tally.check("bonds", mine.NumBonds(), ref.GetNumBonds(), i)
        tally.check("elements/charges/isotopes", atom_table(mine), atom_table(ref), i)
        tally.check("hydrogens", [a.GetImplicitHCount() for a in mine.GetAtoms()],
                    [a.GetTotalNumHs() for a in ref.GetAtoms()], i)
        tally.check("kekule orders", kekule_orders(mine), rdkit_orders(file_form), i)
        tally.check("sd data", dict(tamrin.QvGetSDDataPairs(mine)), {k: ref.GetProp(k) for k in ref.GetPropNames()}, i)
        tally.check("stereo smiles", canonical(our_smiles(mine)), Chem.MolToSmiles(ref), i)
    return tally


def check_file(label: str, path: Path) -> int:
    ours, theirs, raw = read_both(path)
    assert len(ours) == len(theirs)
    tally = tally_records(ours, theirs, raw)
    print(f"\n{label}, {len(ours)} records: {tally.report(len(ours))}")
    for what in ("atoms", "bonds", "elements/charges/isotopes", "hydrogens", "kekule orders", "sd data",
                 "stereo smiles"):
        assert tally.failures(what) == [], what
    return len(ours)


def test_written_file_agrees_with_rdkit(written_sdf):
    assert check_file("RDKit-written SD file", written_sdf) >= COUNT * 0.99


@pytest.mark.parametrize("name", ["iodata_molv3000.sdf", "rdkit_NCI_aids_few.sdf.gz"])
def test_shared_files_agree_with_rdkit(shared_testdata, name):
    check_file(name, shared_testdata / "sdf" / name)


def test_skip_lines_are_not_honoured(shared_testdata):
    """An "S  SKP" line is one more property line that is ignored, so both
    records of the file are read (RDKit skips the lines it names and sees one
    molecule with the second record's data)."""
    mols = list(velk.read(shared_testdata / "sdf" / "rdkit_SkipLines.sdf"))
    assert [m.NumAtoms() for m in mols] == [1, 1]
    assert [tamrin.QvGetSDDataPairs(m) for m in mols] == [[], [("prop1", "value")]]
    assert [[a.GetImplicitHCount() for a in m.GetAtoms()] for m in mols] == [[4], [4]]

