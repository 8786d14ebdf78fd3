"""Component definitions (component dictionary and monomer library blocks)
against gemmi's reading of them: atom names, elements, charges, coordinates
(ideal, else model, per atom), bonds with orders and aromatic flags.

The files are not ours to ship: NIMBREL_CHEMCOMP_DIR names a folder of them
(gemmi's source distribution has some in tests/); without it the test is
skipped with that reason. The hand-made cases are in cif_test.cpp.
"""

from __future__ import annotations

import math
import os
import re
from pathlib import Path

import gemmi
import pytest

from nimbrel import velk

ORDERS = {"Single": {1}, "Double": {2}, "Triple": {3}, "Metal": {1}, "Unspec": {1}, "Aromatic": {1, 2}, "Deloc": {1, 2}}


def component_blocks() -> list[tuple[str, str]]:
    folder = os.environ.get("NIMBREL_CHEMCOMP_DIR")
    if not folder:
        pytest.skip("NIMBREL_CHEMCOMP_DIR (a folder of component CIF files) is not set")
    blocks = []
    for path in sorted(Path(folder).glob("*.cif")):
        text = path.read_text()
        if "_chem_comp_bond." not in text or "_atom_site." in text:
            continue
        # Component files put no "data_" line inside text fields.
        blocks += [(f"{path.name} {i}", part) for i, part in enumerate(re.split(r"(?m)^(?=data_)", text))]
    return [(name, text) for name, text in blocks if "_chem_comp_atom." in text]


def expected_positions(block) -> dict[str, tuple[float, float, float]]:
    """gemmi's ideal coordinates, its model ones where those are missing."""
    found: dict[str, tuple[float, float, float]] = {}
    for which in (gemmi.ChemCompModel.Ideal, gemmi.ChemCompModel.Example, gemmi.ChemCompModel.Xyz):
        for model in gemmi.make_structure_from_chemcomp_block(block, int(which)):
            for atom in model[0][0]:
                p = atom.pos
                if atom.name not in found and all(math.isfinite(v) for v in (p.x, p.y, p.z)):
                    found[atom.name] = (p.x, p.y, p.z)
    return found


def test_components_agree_with_gemmi():
    blocks = component_blocks()
    assert blocks, "no component blocks in NIMBREL_CHEMCOMP_DIR"
    for name, text in blocks:
        block = gemmi.cif.read_string(text)[0]
        cc = gemmi.make_chemcomp_from_block(block)
        mol = velk.mol_from_bytes(text.encode(), "cif", 0)
        assert mol is not None, name
        assert mol.GetTitle() == cc.name, name
        atoms = list(mol.GetAtoms())
        assert [(a.GetName(), a.GetAtomicNum(), a.GetFormalCharge()) for a in atoms] == [
            (a.id, a.el.atomic_number, round(a.charge)) for a in cc.atoms
        ], name
        positions = expected_positions(block)
        if len(positions) == len(atoms):
            for a in atoms:
                assert mol.GetCoords(a) == pytest.approx(positions[a.GetName()], abs=1e-4), (name, a.GetName())
        ours = {frozenset((b.GetBgn().GetName(), b.GetEnd().GetName())): b for b in mol.GetBonds()}
        assert len(ours) == len(cc.rt.bonds), name
        for bond in cc.rt.bonds:
            b = ours[frozenset((bond.id1.atom, bond.id2.atom))]
            assert b.GetOrder() in ORDERS[bond.type.name], (name, bond.id1.atom, bond.id2.atom)
            assert b.IsAromatic() == (bond.aromatic or bond.type.name in ("Aromatic", "Deloc")), (name, bond.id1.atom)
