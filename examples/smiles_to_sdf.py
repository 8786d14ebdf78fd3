"""Write SMILES strings to an SD file, each molecule with 2D coordinates and a few SD data items.

    python examples/smiles_to_sdf.py out.sdf                   # a handful of built-in molecules
    python examples/smiles_to_sdf.py out.sdf.gz "CCO ethanol" "c1ccccc1O phenol"

The text after the SMILES becomes the title. The output format comes from the
suffix, so ``out.sdf.gz`` is written gzip-compressed, ``out.mol2`` as MOL2.
"""

from __future__ import annotations

import sys

from nimbrel import tamrin, velk

DEFAULT_SMILES = [
    "CN1C=NC2=C1C(=O)N(C(=O)N2C)C caffeine",
    "CC(=O)Oc1ccccc1C(=O)O aspirin",
    "C[C@H](N)C(=O)O L-alanine",
]


def main(argv: list[str]) -> int:
    if not argv:
        print(__doc__, file=sys.stderr)
        return 2
    out, smiles = argv[0], argv[1:] or DEFAULT_SMILES
    written = 0
    with velk.open_writer(out) as writer:
        for line in smiles:
            mol = velk.mol_from_string(line, "smi")
            if mol is None:
                print(f"skipped, not SMILES: {line!r}", file=sys.stderr)
                continue
            tamrin.generate_2d_coordinates(mol)
            mol.sd["smiles"] = mol.smiles
            mol.sd["heavy_atoms"] = sum(1 for atom in mol.atoms if atom.atomic_num > 1)
            writer.append(mol)
            written += 1
    print(f"{out}: {written} molecules")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
