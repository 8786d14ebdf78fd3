"""Our SMILES against RDKit as an independent oracle, on real molecules.

For the first 2000 SMILES of the shared 100k set that RDKit accepts: what we
write, read by RDKit, is the molecule RDKit reads from the input (compared by
RDKit's canonical SMILES), in every output flavor; and our canonical SMILES is
one string for 20 random atom orderings of each molecule (the orderings are
RDKit's random SMILES). Skipped without RDKit or without the shared data.
"""

from __future__ import annotations

import gzip
from itertools import islice
from pathlib import Path

import pytest

from nimbrel import velk

Chem = pytest.importorskip("rdkit.Chem")
RDLogger = pytest.importorskip("rdkit.RDLogger")

SET_A = "large/patwalters_set_A_100k.smi.gz"
COUNT = 2000
ORDERINGS = 20

# Output flavors (SMI format): default canonical stereo; in input order;
# Kekulé; explicit bond symbols.
FLAVORS = {"canonical": 0x407D, "in-order": 0x403D, "kekule": 0x40FD, "explicit-bonds": 0x483D}
NO_STEREO = 0x4065


SHARED_TESTDATA = Path(__file__).resolve().parents[2].parent / "shared" / "testdata"


@pytest.fixture(scope="module")
def molecules() -> list[tuple[str, str]]:
    """(our input line, RDKit's canonical SMILES) for each line RDKit accepts."""
    if not (SHARED_TESTDATA / SET_A).is_file():
        pytest.skip(f"shared test data not found at {SHARED_TESTDATA}")
    root = SHARED_TESTDATA
    RDLogger.DisableLog("rdApp.*")
    pairs = []
    with gzip.open(root / SET_A, "rt") as f:
        for line in islice(f, COUNT):
            smiles = line.split()[0]
            ref = Chem.MolFromSmiles(smiles)
            if ref is not None:
                pairs.append((line.rstrip("\n"), Chem.MolToSmiles(ref)))
    return pairs


def written(line: str, flavor: int) -> str:
    mol = velk.mol_from_string(line, "smi")
    assert mol is not None, line
    text = velk.mol_to_string(mol, "smi", flavor)
    return text.split(" ", 1)[0].rstrip("\n")


# Three-connected stereo centres (N, S, P with a lone pair) that carry a
# ring-closure digit: RDKit places the lone pair differently from us there
# (we put it right after the first neighbour, as for the same centre without
# a digit). Known and reported; counted, not hidden.
def lone_pair_ring_centre(smiles: str) -> bool:
    mol = Chem.MolFromSmiles(smiles)
    return mol is not None and any(
        a.GetChiralTag() != Chem.ChiralType.CHI_UNSPECIFIED and a.GetDegree() == 3 and a.GetTotalNumHs() == 0
        and a.IsInRing()
        for a in mol.GetAtoms()
    )


@pytest.mark.parametrize("flavor", FLAVORS.values(), ids=FLAVORS.keys())
def test_rdkit_reads_the_same_molecule(molecules, flavor):
    assert len(molecules) >= COUNT * 0.99
    wrong = []
    lone_pair_cases = 0
    for line, expected in molecules:
        ours = written(line, flavor)
        back = Chem.MolFromSmiles(ours)
        if back is None or Chem.MolToSmiles(back) != expected:
            if lone_pair_ring_centre(line):
                lone_pair_cases += 1
            else:
                wrong.append((line, ours))
    print(f"\nlone-pair ring centres read otherwise by RDKit: {lone_pair_cases} of {len(molecules)}")
    assert wrong == []
    assert lone_pair_cases <= 2


def random_orderings(smiles: str, rng_seed: int) -> list[str]:
    mol = Chem.MolFromSmiles(smiles)
    return Chem.MolToRandomSmilesVect(mol, ORDERINGS, randomSeed=rng_seed)


def test_canonical_without_stereo_ignores_atom_order(molecules):
    differing = []
    for i, (line, _) in enumerate(molecules):
        strings = {written(text, NO_STEREO) for text in random_orderings(line.split()[0], i + 1)}
        if len(strings) != 1:
            differing.append((line, sorted(strings)))
    assert differing == []


def test_canonical_stereo_ignores_atom_order(molecules):
    """Every ordering gives the same molecule; the string itself differs only
    where stereo alone tells symmetric atoms apart (cis-1,4-rings, sugars),
    which the canonical ranking does not yet resolve: 14 of 2000 in the C++
    round-trip test when this was written."""
    differing = []
    for i, (line, _) in enumerate(molecules):
        strings = set()
        for ordering in random_orderings(line.split()[0], i + 1):
            ours = written(ordering, FLAVORS["canonical"])
            strings.add(ours)
            # RDKit's own canonical string can differ between its random
            # orderings of highly symmetric stereo (inositols), so each
            # ordering is compared with what RDKit makes of that ordering.
            if not lone_pair_ring_centre(line):
                expected = Chem.MolToSmiles(Chem.MolFromSmiles(ordering))
                assert Chem.MolToSmiles(Chem.MolFromSmiles(ours)) == expected, (line, ordering, ours)
        if len(strings) != 1:
            differing.append(line)
    print(f"\nstereo canonical strings that depend on the atom order: {len(differing)} of {len(molecules)}")
    assert len(differing) <= 0.01 * len(molecules), differing
