"""SMILES through the Python face: single molecules from and to text, files
read and written by extension, titles, skipped lines and the flavors."""

from __future__ import annotations

import gzip

import pytest

from nimbrel import tamrin, velk


def atoms(mol) -> list[tuple[int, int, bool]]:
    return [(a.GetAtomicNum(), a.GetImplicitHCount(), a.IsAromatic()) for a in mol.GetAtoms()]


def smiles_of(text: str, fmt: str = "smi") -> str:
    mol = velk.mol_from_string(text, "smi")
    assert mol is not None, text
    return velk.mol_to_string(mol, fmt)


def test_molecule_from_smiles_has_atoms_hydrogens_and_title():
    mol = velk.mol_from_string("c1ccncc1 pyridine\n", "smi")
    assert mol is not None
    assert mol.GetTitle() == "pyridine"
    assert atoms(mol) == [(6, 1, True)] * 3 + [(7, 0, True)] + [(6, 1, True)] * 2
    assert sorted(b.GetOrder() for b in mol.GetBonds()) == [1, 1, 1, 2, 2, 2]


@pytest.mark.parametrize("text", ["C(C", "C1CC", "[C@H9]", "c1cccc1", "C>N", "", "# comment only"])
def test_unparsable_text_gives_none(text):
    assert velk.mol_from_string(text, "smi") is None


@pytest.mark.parametrize(
    ("fmt", "text", "expected"),
    [
        ("usm", "OCC ethanol", "OCC ethanol\n"),
        ("usm", "F/C=C/F", "FC=CF\n"),
        ("usm", "[13CH3:2]O", "[CH3:2]O\n"),
        ("smi", "c1ccccc1", "c1ccccc1\n"),
        ("ism", "[13CH4]", "[13CH4]\n"),
        ("can", "[13CH4]", "C\n"),
    ],
)
def test_writing_by_format(fmt, text, expected):
    assert smiles_of(text, fmt) == expected


def test_file_reading_skips_comments_and_reports_bad_lines(tmp_path, capfd):
    path = tmp_path / "set.smi.gz"
    with gzip.open(path, "wt") as f:
        f.write("CCO ethanol\n# comment\n\nC(C broken\nc1ccccc1 benzene\n")
    titles = [(m.GetTitle(), m.NumAtoms()) for m in velk.read(path)]
    assert titles == [("ethanol", 3), ("benzene", 6)]
    err = capfd.readouterr().err
    assert "Warning: Unclosed branch." in err
    assert 'Warning: Error reading molecule "broken" in Canonical stereo SMILES format.' in err


def test_file_round_trip_through_writer(tmp_path):
    inputs = ["CC(=O)Nc1ccc(O)cc1 paracetamol", "C[C@@H](N)C(=O)O alanine", "F/C=C/F", "[Na+].[Cl-] salt"]
    source = velk.mol_from_string
    path = tmp_path / "out.ism"
    with velk.open_writer(path) as writer:
        for text in inputs:
            writer.append(source(text, "smi"))
    lines = path.read_text().splitlines()
    assert len(lines) == 4
    back = list(velk.read(path))
    assert [m.GetTitle() for m in back] == ["paracetamol", "alanine", "", "salt"]
    # Flavors by number reach the writer and the reader.
    kekule = velk.mol_to_string(back[0], "smi", 0x40FD).split()[0]
    assert "c" not in kekule and kekule.count("=") == 4
    assert velk.mol_from_string("HC", "smi", 0x4001) is None
    for text, mol in zip(inputs, back):
        assert velk.mol_to_string(mol, "ism") == smiles_of(text, "ism")


def test_molecule_built_in_python_is_written():
    mol = tamrin.QvGraphMol()
    c = mol.NewAtom(6)
    o = mol.NewAtom(8)
    mol.NewBond(c, o, 1)
    c.SetImplicitHCount(3)
    o.SetImplicitHCount(1)
    mol.SetTitle("methanol")
    assert velk.mol_to_string(mol, "usm") == "CO methanol\n"
    o.SetImplicitHCount(0)
    assert velk.mol_to_string(mol, "usm") == "C[O] methanol\n"
