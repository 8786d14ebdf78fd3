"""Our SD file writer against RDKit as an independent reader, on real molecules.

The first SMILES of the shared 100k set that RDKit accepts are written by us
as SD files along two paths, and RDKit reads what we wrote:

- from SMILES: we read each line, add SD data and write an .sdf file (the
  writer draws 2D coordinates with wedges and marks unspecified double bonds);
- from an SD file that RDKit writes in tmp_path (2D coordinates for most,
  3D coordinates for some, none for a few): we read it and write it again.

Each molecule RDKit reads back must be the one RDKit reads from the input
(compared by RDKit's canonical isomeric SMILES), with its title and SD data.
The agreement is printed; molecules that differ are listed. Skipped without
the shared data.
"""

from __future__ import annotations

from pathlib import Path

import pytest

from rdkit import Chem, RDLogger
from rdkit.Chem import AllChem, rdDepictor

from nimbrel import tamrin, velk


COUNT = 1200
EVERY_3D = 12  # every twelfth molecule of the RDKit file is embedded in 3D
EVERY_0D = 25  # and every 25th has no coordinates at all



@pytest.fixture(scope="module")
def lines(set_a_lines) -> list[str]:
    """The SMILES lines (with their titles) that RDKit accepts."""
    RDLogger.DisableLog("rdApp.*")
    return [line for line in set_a_lines[:COUNT] if Chem.MolFromSmiles(line.split()[0]) is not None]


def canonical(mol) -> str:
    return Chem.MolToSmiles(mol)


def rdkit_records(path: Path) -> list:
    with open(path, "rb") as f:
        return list(Chem.ForwardSDMolSupplier(f))


def report(label: str, total: int, wrong: list) -> None:
    print(f"\n{label}: {total - len(wrong)} of {total} molecules as RDKit reads the input")
    for item in wrong[:20]:
        print("  ", *item)


def compare(ours_back: list, expected: list[tuple[str, str, dict]], label: str) -> list:
    """Each record RDKit read from our file against (title, canonical SMILES, data) of the input."""
    assert len(ours_back) == len(expected)
    wrong = []
    for back, (title, smiles, data) in zip(ours_back, expected):
        assert back is not None, f"RDKit could not read our record {title!r}"
        assert back.GetProp("_Name") == title
        assert {k: back.GetProp(k) for k in data} == data, title
        if canonical(back) != smiles:
            wrong.append((title, smiles, canonical(back)))
    report(label, len(expected), wrong)
    return wrong


@pytest.mark.parametrize("flavor", [0, 0x411F], ids=["v2000-file", "v3000"])
def test_from_smiles(lines, tmp_path, flavor):
    """Through a writer on a file (default flavor), or record by record as V3000 (flavor bit 0x8)."""
    mols, expected = [], []
    for number, line in enumerate(lines):
        mol = velk.mol_from_string(line, "smi")
        assert mol is not None, line
        data = {"record": str(number), "two lines": f"{number}\nsecond"}
        for tag, value in data.items():
            tamrin.QvAddSDData(mol, tag, value)
        mols.append(mol)
        expected.append((mol.GetTitle(), canonical(Chem.MolFromSmiles(line.split()[0])), data))
    out = tmp_path / "ours.sdf"
    if flavor:
        out.write_text("".join(velk.mol_to_string(mol, "sdf", flavor) for mol in mols))
        assert out.read_text().count(" V3000\n") == len(lines)
    else:
        with velk.open_writer(out) as writer:
            for mol in mols:
                writer.append(mol)
    assert out.read_text().count("$$$$\n") == len(lines)
    wrong = compare(rdkit_records(out), expected, f"SMILES -> our SDF ({flavor:#x}) -> RDKit")
    assert not wrong  # 1200 of 1200 agree, in both layouts


def rdkit_input(lines: list[str], path: Path) -> None:
    with Chem.SDWriter(str(path)) as writer:
        for number, line in enumerate(lines):
            fields = line.split()
            mol = Chem.MolFromSmiles(fields[0])
            if number % EVERY_3D == 0:
                mol = Chem.AddHs(mol)
                if AllChem.EmbedMolecule(mol, randomSeed=number) != 0:
                    rdDepictor.Compute2DCoords(mol)
            elif number % EVERY_0D != 0:
                rdDepictor.Compute2DCoords(mol)
            mol.SetProp("_Name", fields[1] if len(fields) > 1 else f"mol{number}")
            mol.SetProp("record", str(number))
            mol.SetProp("smiles", fields[0])
            writer.write(mol)


def test_from_rdkit_sdf(lines, tmp_path):
    source = tmp_path / "rdkit.sdf"
    rdkit_input(lines, source)
    expected = []
    for mol in rdkit_records(source):
        assert mol is not None
        expected.append((mol.GetProp("_Name"), canonical(mol),
                         {"record": mol.GetProp("record"), "smiles": mol.GetProp("smiles")}))
    out = tmp_path / "ours.sdf"
    count = 0
    with velk.open_writer(out) as writer:
        for mol in velk.read(source):
            writer.append(mol)
            count += 1
    assert count == len(expected)
    wrong = compare(rdkit_records(out), expected, "RDKit SDF -> ours -> our SDF -> RDKit")
    assert not wrong  # 1200 of 1200 agree


# Atoms whose hydrogens, radicals, charges or masses need the valence column,
# the charge code 4, RAD/VAL keywords or forced property lines.
SPECIAL_ATOMS = ["[CH2]C", "[C]", "[SH3]C", "[NH4+]", "[CH+]C", "[CH2+]", "[Fe+4]", "[Mn-4]", "[12CH4]", "[O]",
                 "[N]", "[13C@@H](F)(Cl)Br", "[BH4-]", "[H][H]", "[NaH]", "[OH3+]", "[SH]", "[PH4+]", "[2H]C([2H])[2H]",
                 "C[S@@](=O)CC", "C/C=N/O", "CC=CC"]


@pytest.mark.parametrize("flavor", [0x4117, 0x411F], ids=["v2000", "v3000"])
@pytest.mark.parametrize("smiles", SPECIAL_ATOMS)
def test_special_atoms_read_by_rdkit(smiles, flavor):
    RDLogger.DisableLog("rdApp.*")
    back = Chem.MolFromMolBlock(velk.mol_to_string(velk.mol_from_string(smiles, "smi"), "sdf", flavor))
    assert back is not None
    assert Chem.MolToSmiles(back) == Chem.MolToSmiles(Chem.MolFromSmiles(smiles))
