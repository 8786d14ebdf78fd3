"""Screens, similarity and the molecule database, with RDKit as the oracle.

The screen must never reject a true match: for substructures cut from real
molecules of the shared 100k set, every (query, molecule) pair that RDKit's
matcher accepts must have screen(query) inside screen(molecule). Similarity
scores of a database are checked against RDKit's bulk Tanimoto over the
stored fingerprints. Skipped without the shared data.
"""

from __future__ import annotations

import gzip
import random
import subprocess
import sys

import pytest

from rdkit import Chem, DataStructs, RDLogger

from nimbrel import search, searchdb, velk
from nimbrel.searchdb import DatabaseError, MoleculeDB

RDLogger.DisableLog("rdApp.*")


def as_int(fp: bytes) -> int:
    return int.from_bytes(fp, "little")


def bit_vector(fp: bytes) -> DataStructs.ExplicitBitVect:
    bits = as_int(fp)
    vector = DataStructs.ExplicitBitVect(8 * len(fp))
    vector.SetBitsFromList([i for i in range(8 * len(fp)) if bits >> i & 1])
    return vector


def ours(smiles: str):
    return velk.mol_from_string(smiles, "smi")


def cut(mol: Chem.Mol, rng: random.Random) -> list[str]:
    """SMILES of a connected piece of `mol` (aromatic and Kekulé forms)."""
    start = rng.randrange(mol.GetNumAtoms())
    size = rng.randint(2, 12)
    chosen, frontier = {start}, [start]
    while frontier and len(chosen) < size:
        atom = mol.GetAtomWithIdx(frontier.pop(rng.randrange(len(frontier))))
        for nbr in atom.GetNeighbors():
            if nbr.GetIdx() not in chosen and len(chosen) < size:
                chosen.add(nbr.GetIdx())
                frontier.append(nbr.GetIdx())
    kekule = Chem.Mol(mol)
    Chem.Kekulize(kekule, clearAromaticFlags=True)
    return [Chem.MolFragmentToSmiles(m, sorted(chosen), canonical=False, isomericSmiles=False)
            for m in (mol, kekule)]


def test_screen_never_rejects_a_true_match(set_a_lines):
    rng = random.Random(11)
    targets = []
    for line in set_a_lines[:1500]:
        smiles = line.split()[0]
        rd, mol = Chem.MolFromSmiles(smiles), ours(smiles)
        if rd is not None and mol is not None and rd.GetNumAtoms() > 1:
            targets.append((smiles, rd, as_int(searchdb.screen(mol))))
    checked = rejected = unmatched = 0
    misses = []
    for smiles, rd, _ in targets[:600]:
        for fragment in cut(rd, rng):
            query_rd, query = Chem.MolFromSmiles(fragment), ours(fragment)
            if query_rd is None or query is None:
                continue
            query_screen = as_int(searchdb.screen(query))
            others = rng.sample(targets, 6)
            for target_smiles, target_rd, target_screen in [(smiles, rd, None)] + others:
                if target_screen is None:
                    target_screen = as_int(searchdb.screen(ours(target_smiles)))
                inside = query_screen & ~target_screen == 0
                if target_rd.HasSubstructMatch(query_rd):
                    checked += 1
                    if not inside:
                        misses.append((fragment, target_smiles))
                else:
                    unmatched += 1
                    rejected += not inside
    print(f"{checked} true matches kept; {rejected} of {unmatched} non-matches screened out")
    assert not misses, f"{len(misses)} true matches screened out, e.g. {misses[:5]}"
    assert checked >= 1000, checked
    # A screen that lets everything through would pass the test above.
    assert rejected >= 0.8 * unmatched, (rejected, unmatched)


@pytest.fixture(scope="module")
def library(set_a_lines, tmp_path_factory) -> tuple[str, list[str]]:
    """A gzipped SMILES file of 400 real molecules and their lines."""
    lines = [line for line in set_a_lines[:400]]
    path = tmp_path_factory.mktemp("library") / "library.smi.gz"
    with gzip.open(path, "wt") as out:
        out.write("\n".join(lines) + "\n")
    return str(path), lines


def test_database_records_and_similarity(library, tmp_path):
    source, lines = library
    read = list(velk.read(source))
    db = MoleculeDB.build(source, tmp_path / "all.mdb")
    assert len(db) == len(read) > 350
    for number, mol in enumerate(read):
        assert db[number].smiles == mol.smiles, number
        assert db.fingerprint(number) == searchdb.fingerprint(db[number])
    assert db[-1].GetTitle() == read[-1].GetTitle()

    stored = [bit_vector(db.fingerprint(i)) for i in range(len(db))]
    for query in (read[0], read[123], ours("c1ccccc1C(=O)N")):
        fp = searchdb.fingerprint(query)
        expected = DataStructs.BulkTanimotoSimilarity(bit_vector(fp), stored)
        assert list(db.scores(fp)) == pytest.approx(expected, abs=1e-12)
        hits = list(db.similar(query, 0.3))
        assert [i for i, _ in hits] == [i for i, s in enumerate(expected) if s >= 0.3 - 1e-12]
        for i, score in hits:
            assert score == pytest.approx(expected[i], abs=1e-12)
            assert searchdb.tanimoto(fp, db.fingerprint(i)) == pytest.approx(score, abs=1e-12)
        best = sorted(range(len(db)), key=lambda i: (-expected[i], i))[:5]
        assert [i for i, _ in db.nearest(fp, 5)] == best

    # Screening: exactly the records whose screen holds the query's, and
    # among them every record RDKit matches.
    query = ours("CC(=O)N")
    query_screen = searchdb.screen(query)
    candidates = list(db.candidates(query_screen))
    assert candidates == [i for i in range(len(db))
                          if as_int(query_screen) & ~as_int(db.screen(i)) == 0]
    pattern = Chem.MolFromSmiles("CC(=O)N")
    matched = [i for i, line in enumerate(lines) if Chem.MolFromSmiles(line.split()[0]).HasSubstructMatch(pattern)]
    assert matched and set(matched) <= set(candidates)

    # Substructure search: the matcher over every record, screens or not.
    records, hit = list(db), 0
    for smarts in ("CC(=O)N", "c:[c,n]", "[#7;R]@[#6;R]", "[CX4][OH]", "S(=O)(=O)N", "[N;H2]C(=O)",
                   "[C@H](N)C", "[C@@H](N)C"):
        query = search.compile_smarts(smarts)
        found = list(db.search(query))
        assert found == query.filter(records), smarts
        assert list(db.search(query, stereo=True)) == query.filter(records, stereo=True), smarts
        hit += bool(found)
    assert hit >= 5
    assert list(db.search("[Xe]")) == []

    # Adding the second half to a database of the first gives the same file contents.
    half = len(read) // 2
    MoleculeDB.build(read[:half], tmp_path / "halves.mdb")
    halves = MoleculeDB.build(read[half:], tmp_path / "halves.mdb", append=True)
    assert len(halves) == len(db)
    assert all(halves.screen(i) == db.screen(i) and halves[i].smiles == db[i].smiles for i in range(len(db)))


def test_errors(tmp_path):
    foreign = tmp_path / "foreign.mdb"
    foreign.write_bytes(b"not a database at all, but long enough to hold a header" * 2)
    with pytest.raises(DatabaseError, match="not a molecule database"):
        MoleculeDB(foreign)
    with pytest.raises(DatabaseError, match="cannot open molecule database"):
        MoleculeDB(tmp_path / "missing.mdb")
    mols = [ours("CCO"), ours("CCN")]
    db = MoleculeDB.build(mols, tmp_path / "two.mdb")
    assert [db[i].smiles for i in (-2, -1)] == [m.smiles for m in mols]
    with pytest.raises(IndexError):
        db[2]
    with pytest.raises(ValueError, match="256 bytes"):
        searchdb.tanimoto(b"\x01", searchdb.fingerprint(db[0]))


def run(*args: str) -> subprocess.CompletedProcess[str]:
    return subprocess.run([sys.executable, "-m", "nimbrel.velk", *args], capture_output=True, text=True)


def test_command_line(tmp_path):
    source = tmp_path / "in.smi"
    source.write_text("CCO ethanol\nc1ccccc1O phenol\nc1ccccc1N aniline\n")
    database = tmp_path / "db.mdb"
    done = run("index", str(source), str(database))
    assert done.returncode == 0, done.stderr
    assert "3 records" in done.stderr
    done = run("index", "--append", str(source), str(database))
    assert "6 records" in done.stderr
    done = run("similar", "--threshold", "0.99", str(database), "Oc1ccccc1")
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines() == ["1\t1.0000\tphenol", "4\t1.0000\tphenol"]
    done = run("similar", "--top", "1", str(database), "Nc1ccccc1")
    assert done.stdout.splitlines() == ["2\t1.0000\taniline"]
    done = run("search", str(database), "c1ccccc1[OH]")
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines() == ["1\tphenol", "4\tphenol"]
    assert run("search", "--stereo", str(database), "c1ccccc1[OH]").stdout == done.stdout
    done = run("search", str(database), "C(")
    assert done.returncode == 2 and "bad SMARTS" in done.stderr
    done = run("similar", str(source), "CCO")
    assert done.returncode == 1 and "not a molecule database" in done.stderr
