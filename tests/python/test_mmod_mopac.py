"""Macromodel and MOPAC files against Open Babel, over the shared SD and MOL2 files.

- Theirs read by us: Open Babel writes every record as Macromodel; our reading
  of that file and Open Babel's must give the same elements, bonds with their
  orders, and coordinates.
- Ours read by them: we write each record we read as Macromodel (without added
  hydrogens, so the atoms correspond one to one) and as MOPAC; Open Babel's
  reading gives the source's elements (those Macromodel has a type for) and
  coordinates, and for Macromodel its bonds. With hydrogens added, the MOPAC
  deck holds each implicit hydrogen as an atom placed where Open Babel's
  distance rule bonds it to its parent alone.

Skipped without the shared data.
"""

from __future__ import annotations

import gzip
from pathlib import Path

import pytest
from openbabel import openbabel as ob, pybel

from nimbrel import velk

from conftest import SHARED_TESTDATA

SOURCES = [
    "sdf/iodata_molv3000.sdf",
    "sdf/rdkit_BlankPropLines.sdf",
    "sdf/rdkit_NCI_aids_few.sdf.gz",
    "sdf/rdkit_SkipLines.sdf",
    "mol2/chemfiles_Molecules_200.mol2",
    "mol2/silico_clozapine.mol2",
]
# Elements with a Macromodel atom type; the rest are written as "any atom".
TYPED = {1, 5, 6, 7, 8, 9, 14, 15, 16, 17, 35, 53}
# The flavors without the aromaticity bit: Macromodel and MOPAC as they stand.
MMOD_PLAIN = 0x4000
MOPAC_OPTIMISE = 0x4002
MOPAC_WITH_HYDROGENS = 0x4003

ob.obErrorLog.SetOutputLevel(0)


def source_path(name: str) -> Path:
    path = SHARED_TESTDATA / name
    if not path.is_file():
        pytest.skip(f"shared test data not found at {path}")
    return path


def ob_records(path: Path, tmp_path: Path) -> list[pybel.Molecule]:
    fmt = path.name.split(".")[1]
    if path.suffix == ".gz":
        plain = tmp_path / path.stem
        plain.write_bytes(gzip.decompress(path.read_bytes()))
        path = plain
    return list(pybel.readfile(fmt, str(path)))


def ob_atoms(mol: ob.OBMol) -> list[tuple[int, tuple[float, float, float]]]:
    return [(a.GetAtomicNum(), (a.GetX(), a.GetY(), a.GetZ())) for a in ob.OBMolAtomIter(mol)]


def ob_bonds(mol: ob.OBMol) -> set[tuple[int, int, int]]:
    ends = ((b.GetBeginAtomIdx() - 1, b.GetEndAtomIdx() - 1, b.GetBondOrder()) for b in ob.OBMolBondIter(mol))
    return {(*sorted((i, j)), order) for i, j, order in ends}


def our_atoms(mol) -> list[tuple[int, tuple[float, float, float]]]:
    return [(a.GetAtomicNum(), tuple(mol.GetCoords(a))) for a in mol.GetAtoms()]


def our_bonds(mol) -> set[tuple[int, int, int]]:
    return {(*sorted((b.GetBgn().GetIdx(), b.GetEnd().GetIdx())), b.GetOrder()) for b in mol.GetBonds()}


def same_coords(a, b, tol: float) -> bool:
    return len(a) == len(b) and all(abs(p - q) <= tol for u, v in zip(a, b) for p, q in zip(u, v))


def ob_read(fmt: str, text: str) -> ob.OBMol:
    conv, mol = ob.OBConversion(), ob.OBMol()
    assert conv.SetInFormat(fmt) and conv.ReadString(mol, text)
    return mol


def mmod_types(text: str) -> list[int]:
    """The atom type column of every atom line, records in order."""
    lines = text.splitlines()
    types, at = [], 0
    while at < len(lines):
        count = int(lines[at].split()[0])
        types += [int(line[:4]) for line in lines[at + 1 : at + 1 + count]]
        at += 1 + count
    return types


@pytest.mark.parametrize("name", SOURCES)
def test_their_macromodel_read_as_they_read_it(name: str, tmp_path: Path) -> None:
    records = ob_records(source_path(name), tmp_path)
    text = "".join(m.write("mmod") for m in records)
    path = tmp_path / "theirs.mmod"
    path.write_text(text)

    ours = list(velk.read(path, format="mmod", errors="raise"))
    theirs = [m.OBMol for m in pybel.readfile("mmod", str(path))]
    assert len(ours) == len(theirs) == len(records)
    types = iter(mmod_types(text))
    for k, (mine, other) in enumerate(zip(ours, theirs)):
        their_atoms = ob_atoms(other)
        # Open Babel reads the type 0 it writes for elements without a type
        # of their own as helium; that type names no element.
        expected = [0 if next(types) == 0 else z for z, _ in their_atoms]
        assert [z for z, _ in our_atoms(mine)] == expected, (name, k)
        assert same_coords([c for _, c in our_atoms(mine)], [c for _, c in their_atoms], 1e-6), (name, k)
        assert our_bonds(mine) == ob_bonds(other), (name, k)


@pytest.mark.parametrize("name", SOURCES)
def test_ours_read_by_them(name: str) -> None:
    sources = list(velk.read(source_path(name), errors="raise"))
    assert sources
    for k, mol in enumerate(sources):
        atoms, bonds = our_atoms(mol), our_bonds(mol)
        coords = [c for _, c in atoms]
        has_coords = mol.GetDimension() != 0 and any(any(c) for c in coords)

        mmod = ob_read("mmod", velk.mol_to_string(mol, "mmod", MMOD_PLAIN))
        assert [z for z, _ in ob_atoms(mmod)] == [z if z in TYPED else 0 for z, _ in atoms], (name, k)
        assert not has_coords or same_coords([c for _, c in ob_atoms(mmod)], coords, 1e-6), (name, k)
        if all(order <= 3 for *_, order in bonds):
            assert ob_bonds(mmod) == bonds, (name, k)
        else:  # aromatic orders, written in a Kekulé form
            assert {b[:2] for b in ob_bonds(mmod)} == {b[:2] for b in bonds}, (name, k)

        deck = ob_read("mop", velk.mol_to_string(mol, "mopac", MOPAC_OPTIMISE))
        assert [z for z, _ in ob_atoms(deck)] == [z for z, _ in atoms], (name, k)
        assert not has_coords or same_coords([c for _, c in ob_atoms(deck)], coords, 1e-7), (name, k)


def fold_hydrogens(mol) -> None:
    """Hydrogen atoms made implicit counts of their one heavy neighbour."""
    for h in [a for a in mol.GetAtoms() if a.GetAtomicNum() == 1]:
        nbrs = list(h.GetAtoms())
        if len(nbrs) == 1 and nbrs[0].GetAtomicNum() != 1:
            nbrs[0].SetImplicitHCount(nbrs[0].GetImplicitHCount() + 1)
            mol.DeleteAtom(h)
    mol.Sweep()


# The hydrogens of real 3D molecules, taken off and added back by the writer,
# land where Open Babel's distance rule bonds each to its parent and nothing
# else.
def test_added_hydrogens_bond_to_their_parents() -> None:
    checked = 0
    for mol in velk.read(source_path("mol2/chemfiles_Molecules_200.mol2"), errors="raise"):
        fold_hydrogens(mol)
        parents = [p for p, a in enumerate(mol.GetAtoms()) for _ in range(a.GetImplicitHCount())]
        if not parents:
            continue
        deck = ob_read("mop", velk.mol_to_string(mol, "mopac", MOPAC_WITH_HYDROGENS))
        n = mol.NumAtoms()
        assert deck.NumAtoms() == n + len(parents)
        for offset, parent in enumerate(parents):
            h = deck.GetAtom(n + offset + 1)
            assert h.GetAtomicNum() == 1
            assert [nbr.GetIdx() - 1 for nbr in ob.OBAtomAtomIter(h)] == [parent], (mol.GetTitle(), offset)
        checked += 1
    assert checked > 100
