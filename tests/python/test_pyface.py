"""Molecules as Python objects, DataFrames and RDKit conversion.

Oracles: RDKit's PandasTools.LoadSDF reading the shared SD files (columns,
titles, values), and the round trip nimbrel -> RDKit -> nimbrel over every
molecule of the shared SD files and SMILES sets (canonical isomeric SMILES
and coordinates unchanged).
"""

from __future__ import annotations

import math
import pickle
import subprocess
import sys
from pathlib import Path

import numpy as np
import pandas as pd
import pytest
from rdkit import RDLogger
from rdkit.Chem import PandasTools

from nimbrel import interop, tamrin, velk

RDLogger.DisableLog("rdApp.*")

SD_FILES = ["iodata_molv3000.sdf", "rdkit_BlankPropLines.sdf", "rdkit_NCI_aids_few.sdf.gz", "rdkit_SkipLines.sdf"]


def smiles_mol(text: str):
    mol = velk.mol_from_string(text, "smi")
    assert mol is not None, text
    return mol


def test_coords_round_trip_and_shape_errors():
    mol = smiles_mol("C[C@H](N)C(=O)O alanine")
    n = len(mol)
    assert n == mol.NumAtoms() == 7  # the stereo centre's hydrogen is an atom
    xyz = np.arange(3 * n, dtype=np.float64).reshape(n, 3) / 4
    mol.coords = xyz
    got = mol.coords
    assert got.shape == (n, 3) and got.dtype == np.float64
    np.testing.assert_array_equal(got, xyz)
    got[0] = 99  # a copy: the molecule is unchanged until assigned
    assert mol.coords[0, 0] == 0
    assert list(next(mol.atoms).xyz) == [0, 0.25, 0.5]
    for bad in (np.zeros((n - 1, 3)), np.zeros((n, 2)), np.zeros(3 * n), [["a", "b", "c"]] * n):
        with pytest.raises(ValueError):
            mol.coords = bad
    np.testing.assert_array_equal(mol.coords, xyz)
    # With an atom deleted (and not swept) the array follows the live atoms.
    mol.DeleteAtom(next(mol.GetAtoms(lambda a: a.GetAtomicNum() == 7)))
    assert mol.coords.shape == (n - 1, 3)
    np.testing.assert_array_equal(mol.coords, np.delete(xyz, 3, axis=0))
    mol.coords = np.ones((n - 1, 3))
    assert mol.Sweep() and (mol.coords == 1).all()


# (operation on mol.sd, expected dict(mol.sd) afterwards) from {"b": "2", "a": "1"}
SD_CASES = [
    (lambda sd: None, {"b": "2", "a": "1"}),
    (lambda sd: sd.__setitem__("c", 3.5), {"b": "2", "a": "1", "c": "3.5"}),
    (lambda sd: sd.__setitem__("b", "x"), {"b": "x", "a": "1"}),
    (lambda sd: sd.__delitem__("b"), {"a": "1"}),
    (lambda sd: sd.update(a="9", z="0"), {"b": "2", "a": "9", "z": "0"}),
    (lambda sd: sd.clear(), {}),
    (lambda sd: sd.pop("a"), {"b": "2"}),
]


@pytest.mark.parametrize("operation,expected", SD_CASES)
def test_sd_mapping(operation, expected):
    mol = smiles_mol("CCO ethanol")
    tamrin.QvAddSDData(mol, "b", "2")
    tamrin.QvAddSDData(mol, "a", "1")
    tamrin.QvAddSDData(mol, "b", "second b")  # repeated tag: the first value shows
    operation(mol.sd)
    assert dict(mol.sd) == expected and list(mol.sd) == list(expected) and len(mol.sd) == len(expected)
    assert all(tag in mol.sd for tag in expected) and "missing" not in mol.sd
    with pytest.raises(KeyError):
        mol.sd["missing"]
    with pytest.raises(KeyError):
        del mol.sd["missing"]
    # What the mapping shows is what an SD file gets.
    back = velk.mol_from_string(velk.mol_to_string(mol, "sdf"), "sdf")
    assert dict(back.sd) == expected


def test_generic_data_title_atoms_bonds_repr():
    mol = smiles_mol("[13CH3][NH3+].c1ccccc1 mix")
    mol.data["n"] = 3
    mol.data["label"] = "x"
    assert dict(mol.data) == {"n": 3, "label": "x"}
    with pytest.raises(TypeError):
        mol.data["n"] = "three"
    del mol.data["n"]
    assert dict(mol.data) == {"label": "x"}
    mol.title = "renamed"
    assert mol.title == mol.GetTitle() == "renamed"
    atoms = [(a.idx, a.symbol, a.atomic_num, a.formal_charge, a.isotope, a.implicit_h_count, a.aromatic)
             for a in mol.atoms]
    assert atoms[:3] == [(0, "C", 6, 0, 13, 3, False), (1, "N", 7, 1, 0, 3, False), (2, "C", 6, 0, 0, 1, True)]
    bonds = [(b.begin, b.end, b.aromatic) for b in mol.bonds]
    assert bonds[0] == (0, 1, False) and len(bonds) == 7 and all(aromatic for _, _, aromatic in bonds[1:])
    assert sorted(b.order for b in mol.bonds) == [1, 1, 1, 1, 2, 2, 2]
    assert repr(mol) == "<QvGraphMol 'renamed' 8 atoms 7 bonds>"
    assert tamrin.QvGraphMol() and len(tamrin.QvGraphMol()) == 0  # empty, still true


# Pairs of SMILES naming the same molecule, or not.
EQUALITY = [
    ("OC(=O)[C@@H](N)C", "C[C@H](N)C(=O)O", True),
    ("OC(=O)[C@H](N)C", "C[C@H](N)C(=O)O", False),
    ("C1=CC=CC=C1O", "Oc1ccccc1", True),
    ("F/C=C/Cl", "Cl/C=C/F", True),
    ("F/C=C/Cl", "F/C=C\\Cl", False),
    ("[13CH4]", "C", False),
    ("[NH4+]", "N", False),
]


@pytest.mark.parametrize("a,b,equal", EQUALITY)
def test_equality_by_canonical_isomeric_smiles(a, b, equal):
    mol_a, mol_b = smiles_mol(a), smiles_mol(b)
    assert (mol_a == mol_b) is equal and (mol_a != mol_b) is not equal
    if equal:
        assert hash(mol_a) == hash(mol_b) and len({mol_a, mol_b}) == 1
    copy = pickle.loads(pickle.dumps(mol_a))
    assert copy == mol_a and copy.title == mol_a.title


TITLE = "(title)"  # not an SD tag of any file


def loadsdf_frame(path: Path) -> pd.DataFrame:
    return PandasTools.LoadSDF(str(path), idName=TITLE, removeHs=False, strictParsing=False)


# The other two shared SD files are about damaged records, on which the two
# readers differ by design (test_sdf_read.py covers them).
@pytest.mark.parametrize("name", ["iodata_molv3000.sdf", "rdkit_NCI_aids_few.sdf.gz"])
def test_read_frame_matches_rdkit(shared_testdata, name):
    path = shared_testdata / "sdf" / name
    ours = velk.read_frame(path)
    theirs = loadsdf_frame(path)
    assert len(ours) == len(theirs) > 0
    tags = [c for c in theirs.columns if c not in (TITLE, "ROMol")]
    assert list(ours.columns) == ["mol", "title", *tags]
    assert ours["title"].tolist() == theirs[TITLE].tolist()
    for tag in tags:
        column = ours[tag]
        for mine, text in zip(column.tolist(), theirs[tag].tolist()):
            absent = not isinstance(text, str) or text == ""
            if absent:
                assert isinstance(mine, float) and math.isnan(mine), (tag, mine, text)
            elif pd.api.types.is_numeric_dtype(column):
                assert float(mine) == pytest.approx(float(text), rel=1e-15), (tag, mine, text)
            else:
                assert mine == text, tag
        # Numbers exactly when RDKit's text all parses as numbers.
        present = [t for t in theirs[tag].tolist() if isinstance(t, str) and t]
        assert pd.api.types.is_numeric_dtype(column) == all(is_number(t) for t in present), tag
    for mol, rdmol in zip(ours["mol"], theirs["ROMol"]):
        assert mol.NumAtoms() == rdmol.GetNumAtoms()


def is_number(text: str) -> bool:
    try:
        float(text)
    except ValueError:
        return False
    return True


def test_write_frame_read_frame_round_trip(tmp_path):
    mols = [smiles_mol(s) for s in ("CCO", "c1ccccc1", "C[C@H](N)C(=O)O", "[Na+].[Cl-]")]
    frame = pd.DataFrame({
        "mol": mols,
        "title": ["ethanol", "benzene", "alanine", "salt"],
        "pIC50": [5.5, 6.25, float("nan"), 7.0],
        "count": [1, 2, 3, 4],
        "note": ["a", None, "c d", "1e"],
    })
    path = tmp_path / "frame.sdf"
    assert velk.write_frame(frame, path) == 4
    back = velk.read_frame(path)
    assert list(back.columns) == list(frame.columns)
    assert back["mol"].tolist() == mols
    pd.testing.assert_frame_equal(back.drop(columns="mol"), frame.drop(columns="mol"))
    assert all(not mol.sd for mol in mols)  # the frame's molecules are untouched
    # Any format the writer takes: SMILES keeps the molecules and titles.
    assert velk.write_frame(frame, tmp_path / "frame.smi") == 4
    smi = velk.read_frame(tmp_path / "frame.smi")
    assert smi["mol"].tolist() == mols and smi["title"].tolist() == frame["title"].tolist()
    # A tag repeated within a record gives its first value, like mol.sd.
    twice = smiles_mol("C methane")
    tamrin.QvAddSDData(twice, "count", "1")
    tamrin.QvAddSDData(twice, "count", "2")
    with velk.open_writer(tmp_path / "twice.sdf") as writer:
        writer.append(twice)
    assert velk.read_frame(tmp_path / "twice.sdf")["count"].tolist() == [1]
    with pytest.raises(ValueError, match="row 0"):
        velk.write_frame(pd.DataFrame({"mol": [None]}), tmp_path / "none.sdf")


def shared_molecules(shared_testdata: Path, set_a_lines: list[str]) -> list:
    mols = []
    for name in SD_FILES:
        mols += [m for m in velk.read(shared_testdata / "sdf" / name) if m.NumAtoms()]
    for line in (shared_testdata / "smiles" / "chemfiles_test.smi").read_text().splitlines():
        mol = velk.mol_from_string(line, "smi")
        if mol is not None and mol.NumAtoms():
            mols.append(mol)
    mols += [smiles_mol(line) for line in set_a_lines[::100]]
    return mols


def test_rdkit_round_trip_keeps_molecules(shared_testdata, set_a_lines):
    mols = shared_molecules(shared_testdata, set_a_lines)
    assert len(mols) > 1000
    lost = []
    for mol in mols:
        rdmol = interop.to_rdkit(mol)
        assert rdmol.GetNumAtoms() == mol.NumAtoms()
        assert [a.GetAtomicNum() for a in rdmol.GetAtoms()] == [a.atomic_num for a in mol.atoms]
        assert rdmol.GetProp("_Name") == mol.title and {k: rdmol.GetProp(k) for k in mol.sd} == dict(mol.sd)
        back = interop.from_rdkit(rdmol)
        if back != mol:
            lost.append((mol.title, mol.smiles, back.smiles))
        assert back.title == mol.title and dict(back.sd) == dict(mol.sd)
        if mol.GetDimension():
            np.testing.assert_array_equal(rdmol.GetConformer().GetPositions(), mol.coords)
            np.testing.assert_array_equal(back.coords, mol.coords)
            assert back.GetDimension() == mol.GetDimension()
        else:
            assert rdmol.GetNumConformers() == 0 and back.GetDimension() == 0
    assert not lost, lost[:5]


@pytest.mark.parametrize("missing,call", [
    ("pandas", "velk.read_frame('x.sdf')"),
    ("rdkit", "interop.from_rdkit(None)"),
])
def test_optional_packages_missing_give_install_hint(missing, call):
    code = (f"import sys; sys.modules[{missing!r}] = None\n"
            "from nimbrel import velk, interop, tamrin\n"
            "try:\n"
            f"    {call}\n"
            "except ImportError as error:\n"
            "    print(error)\n")
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert f"pip install {missing}" in result.stdout
