"""2D layout from Python: tamrin.generate_2d_coordinates.

The shapes, cis/trans, conformer and empty molecules are the C++ layout
tests'; here the wrapper, with and without its option, lays out 1,000
molecules spread over the shared 100k SMILES set (every 100th line): every
layout must succeed, and at most 1% of the molecules may have two atoms
closer than 0.3 bond lengths.
"""

from __future__ import annotations

import math

import pytest

from nimbrel import tamrin, velk

BOND = 1.5
QUICK = 0x200
COUNT = 1000
STRIDE = 100


def coords(mol):
    return [mol.GetCoords(atom) for atom in mol.GetAtoms()]


def closest_pair(xyz) -> float:
    best = math.inf
    for i, p in enumerate(xyz):
        for q in xyz[i + 1:]:
            best = min(best, math.hypot(p[0] - q[0], p[1] - q[1]))
    return best


@pytest.mark.parametrize("options", [0, QUICK])
def test_thousand_molecules_of_the_shared_set(set_a_lines, options):
    spread_smiles = [line.strip() for line in set_a_lines[: COUNT * STRIDE : STRIDE] if line.strip()]
    mols = [velk.mol_from_string(line, "smi") for line in spread_smiles]
    results = [tamrin.generate_2d_coordinates(mol, options) for mol in mols]
    failed = [line for line, ok in zip(spread_smiles, results) if not ok]
    assert not failed, failed[:5]
    assert all(mol.GetDimension() == 2 for mol in mols)
    clashing = [line for line, mol in zip(spread_smiles, mols) if closest_pair(coords(mol)) < 0.3 * BOND]
    assert len(clashing) / len(mols) <= 0.01, clashing[:5]
