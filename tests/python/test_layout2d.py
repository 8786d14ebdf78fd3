"""2D layout from Python: tamrin.generate_2d_coordinates.

The shapes, cis/trans, conformer and empty molecules are the C++ layout
tests'; here the wrapper, with and without its option, lays out 1,000
molecules spread over the shared 100k SMILES set (every 100th line): every
layout must succeed, and the share of molecules with two atoms
closer than 0.3 bond lengths is printed with the time (and RDKit's time for
the same molecules, when RDKit is installed); neither time is asserted.
"""

from __future__ import annotations

import math
import time

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


def bond_lengths(mol):
    return [math.dist(mol.GetCoords(b.GetBgn())[:2], mol.GetCoords(b.GetEnd())[:2]) for b in mol.GetBonds()]


def rdkit_seconds(lines: list[str]) -> float | None:
    try:
        from rdkit import Chem, RDLogger
        from rdkit.Chem import rdDepictor
    except ImportError:
        return None
    RDLogger.DisableLog("rdApp.*")
    mols = [m for m in (Chem.MolFromSmiles(line.split()[0]) for line in lines) if m is not None]
    start = time.perf_counter()
    for m in mols:
        rdDepictor.Compute2DCoords(m)
    return time.perf_counter() - start


@pytest.mark.parametrize("options", [0, QUICK])
def test_thousand_molecules_of_the_shared_set(set_a_lines, options):
    spread_smiles = [line.strip() for line in set_a_lines[: COUNT * STRIDE : STRIDE] if line.strip()]
    mols = [velk.mol_from_string(line, "smi") for line in spread_smiles]
    start = time.perf_counter()
    results = [tamrin.generate_2d_coordinates(mol, options) for mol in mols]
    seconds = time.perf_counter() - start
    failed = [line for line, ok in zip(spread_smiles, results) if not ok]
    assert not failed, failed[:5]

    clashing = [line for line, mol in zip(spread_smiles, mols) if closest_pair(coords(mol)) < 0.3 * BOND]
    lengths = [d for mol in mols for d in bond_lengths(mol)]
    off = sum(1 for d in lengths if not 0.75 * BOND <= d <= 1.3 * BOND)
    theirs = rdkit_seconds(spread_smiles)
    print(f"\nlayout of {len(mols)} molecules, options {options:#x}: {seconds:.2f} s "
          f"({1000 * seconds / len(mols):.2f} ms each); RDKit Compute2DCoords: "
          f"{'n/a' if theirs is None else f'{theirs:.2f} s'}; "
          f"molecules with a pair closer than 0.3 bond: {len(clashing)} ({len(clashing) / len(mols):.2%}); "
          f"bonds outside 0.75-1.3 bond lengths: {off} of {len(lengths)}")
    for line in clashing[:5]:
        print("  clashing:", line)
    assert all(mol.GetDimension() == 2 for mol in mols)
    assert len(clashing) / len(mols) <= 0.01
