"""Small-molecule CIF files written by other programs, read through velk with
the default flavor, against two independent readers of the same files.

gemmi: every atom we return is one of the unit-cell sites gemmi finds (same
element, same place modulo the cell), and every asymmetric-unit site of the
first disorder alternative is among our atoms at the coordinates the file
gives it (molecules are grown from the file's atoms, which these files give
whole).

Open Babel: the bonds it perceives among the asymmetric-unit atoms are ours
among the same atoms, in the blocks without disorder (Open Babel keeps every
alternative and bonds them to one another: the indium substituting for tin
in one file takes the chlorine that tin should have).
"""

from __future__ import annotations

import math
from pathlib import Path

import gemmi
from openbabel import pybel

from nimbrel import velk

# Coordinates are given to four or five decimals of the cell.
SAME_PLACE = 0.01


def read_ours(path: Path) -> dict[str, tuple[list[int], list[tuple[float, float, float]], set[tuple[int, int]]]]:
    """Per block name: atomic numbers, Cartesian coordinates, bonds as index pairs."""
    out = {}
    for mol in velk.read(path):
        atoms = list(mol.GetAtoms())
        index = {atom.GetIdx(): i for i, atom in enumerate(atoms)}
        bonds = {tuple(sorted((index[b.GetBgn().GetIdx()], index[b.GetEnd().GetIdx()]))) for b in mol.GetBonds()}
        out[mol.GetTitle()] = ([a.GetAtomicNum() for a in atoms], [tuple(mol.GetCoords(a)) for a in atoms], bonds)
    return out


def modulo_cell(cell: gemmi.UnitCell, a: gemmi.Fractional, b: gemmi.Fractional) -> float:
    d = gemmi.Fractional(*(v - round(v) for v in (a.x - b.x, a.y - b.y, a.z - b.z)))
    return cell.orthogonalize(d).length()  # the orthogonalisation has no shift


def test_cif_files_against_gemmi_and_open_babel(shared_testdata: Path) -> None:
    sites_compared = bonds_compared = 0
    for path in sorted((shared_testdata / "cif").glob("*.cif")):
        ours = read_ours(path)
        for block in gemmi.cif.read(str(path)):
            st = gemmi.make_small_structure_from_block(block)
            if not st.sites:
                continue
            where = f"{path.name} {block.name}"
            assert block.name in ours, f"{where}: not read"
            elements, coords, bonds = ours[block.name]
            cell_sites = st.get_all_unit_cell_sites()
            for z, xyz in zip(elements, coords):
                f = st.cell.fractionalize(gemmi.Position(*xyz))
                assert any(
                    s.element.atomic_number == z and modulo_cell(st.cell, f, s.fract) < SAME_PLACE for s in cell_sites
                ), f"{where}: atom {z} at {xyz} is no site of the cell"
            # Asymmetric-unit site i (Open Babel's atom i) is our atom placed[i].
            placed = {}
            for i, site in enumerate(st.sites):
                p = st.cell.orthogonalize(site.fract)
                for k, xyz in enumerate(coords):
                    if elements[k] == site.element.atomic_number and math.dist(xyz, (p.x, p.y, p.z)) < SAME_PLACE:
                        placed[i] = k
                if site.disorder_group in (0, 1, -1):
                    assert i in placed, f"{where}: site {site.label} is not where the file puts it"
            sites_compared += 1
            if any(site.disorder_group for site in st.sites):
                continue
            # One block at a time: Open Babel reads only the first of a file.
            ob = pybel.readstring("cif", block.as_string())
            assert ob.OBMol.NumAtoms() == len(st.sites), where
            theirs = set()
            for bond in pybel.ob.OBMolBondIter(ob.OBMol):
                i, j = bond.GetBeginAtomIdx() - 1, bond.GetEndAtomIdx() - 1
                theirs.add(tuple(sorted((placed[i], placed[j]))))
            kept = set(placed.values())
            assert {b for b in bonds if b[0] in kept and b[1] in kept} == theirs, where
            bonds_compared += 1
    # 24 blocks in five files, five of them with disorder.
    assert (sites_compared, bonds_compared) == (24, 19)
