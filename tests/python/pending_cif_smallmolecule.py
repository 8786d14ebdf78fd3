"""Small-molecule CIF files written by other programs, read through velk with
the default flavor, against two independent readers of the same files.

gemmi: every atom we return is one of the unit-cell sites gemmi finds (same
element, same place modulo the cell, all disorder alternatives), and every
asymmetric-unit site of the first disorder alternative is among our atoms at
the very coordinates the file gives it (the molecules are grown from the
file's atoms, which these files give as whole molecules).

Open Babel: the bonds it perceives among the asymmetric-unit atoms are the
bonds we perceive among the same atoms, in the blocks without disorder
(Open Babel keeps every alternative, and bonds them to one another: the
indium substituting for tin in one file takes the chlorine that tin should
have).

Skipped without the shared data.
"""

from __future__ import annotations

import math
from collections.abc import Iterator
from pathlib import Path

import gemmi
import pytest
from openbabel import pybel

from nimbrel import velk

# Coordinates are given to four or five decimals of the cell.
SAME_PLACE = 0.01


def cif_files(shared: Path) -> list[Path]:
    files = sorted((shared / "cif").glob("*.cif"))
    if not files:
        pytest.skip(f"no CIF files in {shared / 'cif'}")
    return files


def read_ours(path: Path) -> dict[str, tuple[list[int], list[tuple[float, float, float]], set[tuple[int, int]]]]:
    """Per block name: atomic numbers, Cartesian coordinates, bonds as index pairs."""
    out = {}
    for mol in velk.read(path):
        atoms = list(mol.GetAtoms())
        index = {atom.GetIdx(): i for i, atom in enumerate(atoms)}
        bonds = {tuple(sorted((index[b.GetBgn().GetIdx()], index[b.GetEnd().GetIdx()]))) for b in mol.GetBonds()}
        out[mol.GetTitle()] = ([a.GetAtomicNum() for a in atoms], [tuple(mol.GetCoords(a)) for a in atoms], bonds)
    return out


def structures(path: Path) -> Iterator[tuple[str, gemmi.SmallStructure, str]]:
    """The blocks with atom sites: name, gemmi's structure, the block's text."""
    for block in gemmi.cif.read(str(path)):
        st = gemmi.make_small_structure_from_block(block)
        if st.sites:
            yield block.name, st, block.as_string()


def distance_modulo_cell(cell: gemmi.UnitCell, a: gemmi.Fractional, b: gemmi.Fractional) -> float:
    d = [a.x - b.x, a.y - b.y, a.z - b.z]
    d = gemmi.Fractional(*(v - round(v) for v in d))
    return cell.orthogonalize(d).length()  # the orthogonalisation has no shift


def first_alternative(site: gemmi.SmallStructure.Site) -> bool:
    return site.disorder_group in (0, 1, -1)


def test_atoms_are_the_sites_gemmi_reports(shared_testdata: Path) -> None:
    compared = 0
    for path in cif_files(shared_testdata):
        ours = read_ours(path)
        for name, st, _ in structures(path):
            assert name in ours, f"{path.name}: block {name} not read"
            elements, coords, _ = ours[name]
            cell_sites = st.get_all_unit_cell_sites()
            for z, xyz in zip(elements, coords):
                f = st.cell.fractionalize(gemmi.Position(*xyz))
                assert any(
                    s.element.atomic_number == z and distance_modulo_cell(st.cell, f, s.fract) < SAME_PLACE
                    for s in cell_sites
                ), f"{path.name} {name}: atom {z} at {xyz} is no site of the cell"
            for site in filter(first_alternative, st.sites):
                p = st.cell.orthogonalize(site.fract)
                assert any(
                    z == site.element.atomic_number and math.dist(xyz, (p.x, p.y, p.z)) < SAME_PLACE
                    for z, xyz in zip(elements, coords)
                ), f"{path.name} {name}: site {site.label} is not where the file puts it"
            compared += 1
    assert compared == 24


def test_bonds_are_those_open_babel_perceives(shared_testdata: Path) -> None:
    compared = 0
    for path in cif_files(shared_testdata):
        ours = read_ours(path)
        for name, st, text in structures(path):
            if any(site.disorder_group for site in st.sites):
                continue
            # One block at a time: Open Babel reads only the first of a file.
            ob = pybel.readstring("cif", text)
            elements, coords, bonds = ours[name]
            assert ob.OBMol.NumAtoms() == len(st.sites), f"{path.name} {name}"
            # Open Babel keeps the file's atom order: atom i is site i.
            where = {}
            for i, site in enumerate(st.sites):
                p = st.cell.orthogonalize(site.fract)
                for k, xyz in enumerate(coords):
                    if math.dist(xyz, (p.x, p.y, p.z)) < SAME_PLACE and elements[k] == site.element.atomic_number:
                        where[i] = k
            ob_bonds = set()
            for bond in pybel.ob.OBMolBondIter(ob.OBMol):
                i, j = bond.GetBeginAtomIdx() - 1, bond.GetEndAtomIdx() - 1
                if i in where and j in where:
                    ob_bonds.add(tuple(sorted((where[i], where[j]))))
            kept = set(where.values())
            our_bonds = {b for b in bonds if b[0] in kept and b[1] in kept}
            assert our_bonds == ob_bonds, f"{path.name} {name}"
            compared += 1
    # 24 blocks less the five with disorder.
    assert compared == 19
