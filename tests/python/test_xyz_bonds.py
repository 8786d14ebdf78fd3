"""Bonds, bond orders and charges read from XYZ files, against RDKit.

Drug-like molecules from the shared 100k set are embedded in 3D by RDKit with
all hydrogens (fixed seed) and written as XYZ. We read each file with the
default flavor; RDKit's rdDetermineBonds reads the same coordinates, told the
molecule's net charge (which an XYZ file does not carry and we do without).
The two are compared as molecules: RDKit's canonical SMILES without stereo,
or, where those differ, our structure being one of the resonance forms of
RDKit's (a guanidinium's charge may sit on any of its nitrogens). Skipped
without the shared data.
"""

from __future__ import annotations

from collections import Counter

import pytest

from rdkit import Chem, RDLogger
from rdkit.Chem import AllChem, rdDetermineBonds

from nimbrel import velk


# Every 200th molecule of the set, for a spread of sizes and chemistry.
STRIDE = 200
COUNT = 500
SEED = 0xC0FFEE
REQUIRED = 0.95
# Heavy atoms only (no hydrogen lines) on force-field geometries: bond
# lengths and angles decide, and tautomers (which nitrogen of a triazole
# carries the hydrogen) cannot be told apart, so the bar is lower.
REQUIRED_HEAVY = 0.93



def to_rdkit(mol) -> Chem.Mol:
    """Our molecule, atom for atom, as an RDKit molecule (no perception of its own)."""
    rw = Chem.RWMol()
    index = {}
    for atom in mol.GetAtoms():
        a = Chem.Atom(atom.GetAtomicNum())
        a.SetFormalCharge(atom.GetFormalCharge())
        a.SetNoImplicit(True)
        a.SetNumExplicitHs(atom.GetImplicitHCount())
        index[atom.GetIdx()] = rw.AddAtom(a)
    kinds = {1: Chem.BondType.SINGLE, 2: Chem.BondType.DOUBLE, 3: Chem.BondType.TRIPLE}
    for bond in mol.GetBonds():
        rw.AddBond(index[bond.GetBgn().GetIdx()], index[bond.GetEnd().GetIdx()], kinds[bond.GetOrder()])
    return rw.GetMol()


def canonical(mol: Chem.Mol) -> str | None:
    try:
        Chem.SanitizeMol(mol)
        return Chem.MolToSmiles(Chem.RemoveAllHs(mol), isomericSmiles=False)
    except Exception:  # RDKit refuses a valence or a ring it cannot kekulize
        return None


def resonance_forms(mol: Chem.Mol, limit: int = 64) -> set[str]:
    supplier = Chem.ResonanceMolSupplier(mol, Chem.ALLOW_CHARGE_SEPARATION, limit)
    return {s for form in supplier if form is not None and (s := canonical(Chem.Mol(form))) is not None}


def bond_set(mol) -> set[tuple[int, int]]:
    """Bonds as atom-index pairs; XYZ keeps the atom order, so these compare directly."""
    pairs = ((b.GetBeginAtomIdx(), b.GetEndAtomIdx()) for b in mol.GetBonds())
    return {(min(p), max(p)) for p in pairs}


def verdict(ours: str | None, theirs: str, theirs_mol: Chem.Mol) -> str:
    if ours == theirs:
        return "same"
    if ours is not None and ours in resonance_forms(theirs_mol):
        return "resonance"
    return "differ"


def compare_one(smiles: str) -> tuple[str, str, str, bool, str] | None:
    """(verdict against rdDetermineBonds, ours, RDKit's, same bonds as the
    embedded molecule, verdict against the embedded molecule itself), or None
    when RDKit cannot take part."""
    source = Chem.MolFromSmiles(smiles)
    if source is None:
        return None
    source = Chem.AddHs(source)
    if AllChem.EmbedMolecule(source, randomSeed=SEED) != 0:
        return None
    xyz = Chem.MolToXYZBlock(source)
    reference = Chem.MolFromXYZBlock(xyz)
    try:
        rdDetermineBonds.DetermineBonds(reference, charge=Chem.GetFormalCharge(source))
    except Exception:  # RDKit's own assignment gives up on some molecules
        return None
    theirs = canonical(Chem.Mol(reference))
    if theirs is None:
        return None
    ours_mol = velk.mol_from_string(xyz, "xyz")
    assert ours_mol is not None, smiles
    ours_rd = to_rdkit(ours_mol)
    same_graph = bond_set(ours_rd) == bond_set(source)
    ours = canonical(ours_rd)
    truth = canonical(Chem.Mol(source))
    return verdict(ours, theirs, reference), str(ours), theirs, same_graph, verdict(ours, truth, source)


@pytest.fixture(scope="module")
def outcomes(set_a_lines) -> list[tuple[str, str, str, str, bool, str]]:
    RDLogger.DisableLog("rdApp.*")
    results = []
    for line in set_a_lines[7 : STRIDE * COUNT : STRIDE]:
        smiles = line.split()[0]
        outcome = compare_one(smiles)
        if outcome is not None:
            results.append((smiles, *outcome))
    return results


def agreement(label: str, verdicts: list[str]) -> float:
    kinds = Counter(verdicts)
    agree = (kinds["same"] + kinds["resonance"]) / len(verdicts)
    print(f"\n{label}: {dict(kinds)}; agreement {agree:.4f}")
    return agree


def test_agrees_with_rdkit_on_drug_like_molecules(outcomes):
    agree = agreement(f"{len(outcomes)} molecules compared with rdDetermineBonds", [o[1] for o in outcomes])
    for smiles, kind, ours, theirs, *_ in outcomes:
        if kind == "differ":
            print(f"  {smiles}\n    ours   {ours}\n    RDKit  {theirs}")
    assert len(outcomes) >= COUNT * 0.9, "too few molecules could be compared"
    assert agree >= REQUIRED


def test_agrees_with_the_molecule_that_was_embedded(outcomes):
    agree = agreement("against the embedded molecules themselves", [o[-1] for o in outcomes])
    for smiles, *_, truth in outcomes:
        if truth == "differ":
            print(f"  {smiles}")
    assert agree >= REQUIRED


def test_connectivity_matches_the_embedded_molecule(outcomes):
    # Bond orders aside, every molecule comes back with exactly the bonds RDKit
    # embedded, atom for atom.
    wrong = [smiles for smiles, _, _, _, same_graph, _ in outcomes if not same_graph]
    assert wrong == []


def heavy_atom_verdict(smiles: str) -> str | None:
    source = Chem.MolFromSmiles(smiles)
    if source is None:
        return None
    source = Chem.AddHs(source)
    if AllChem.EmbedMolecule(source, randomSeed=SEED) != 0 or AllChem.MMFFOptimizeMolecule(source) == -1:
        return None
    ours_mol = velk.mol_from_string(Chem.MolToXYZBlock(Chem.RemoveHs(source)), "xyz")
    assert ours_mol is not None, smiles
    return verdict(canonical(to_rdkit(ours_mol)), canonical(Chem.Mol(source)), source)


def test_heavy_atoms_only(outcomes):
    # The same molecules (the fixture's skip covers the data), force-field
    # minimised, written without their hydrogens.
    verdicts = [v for smiles, *_ in outcomes if (v := heavy_atom_verdict(smiles)) is not None]
    assert agreement("heavy atoms only, against the embedded molecules", verdicts) >= REQUIRED_HEAVY


@pytest.mark.parametrize(
    "name, expected",
    [
        # (atoms, bonds, RDKit SMILES) for each readable record
        ("xyz/chemfiles_methane.xyz", [(5, 4, "C")]),
        ("xyz/iodata_dataset_blanklines.xyz", [(3, 2, "O"), (1, 0, "N"), (5, 4, "C")]),
    ],
)
def test_files_written_by_other_programs(shared_testdata, name, expected):
    path = shared_testdata / name
    got = [(m.NumAtoms(), m.NumBonds(), canonical(to_rdkit(m))) for m in velk.read(path)]
    assert got == expected
