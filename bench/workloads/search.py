"""Search: one SMARTS query against every molecule of the shared 100k set.

Input: the shared 100k SMILES (../shared/testdata/large/
patwalters_set_A_100k.smi.gz), read once before timing by each side (ours
through ``velk.read``, RDKit through ``Chem.MolFromSmiles``); only the
matching is timed. Without the shared set this workload is left out with a
note on standard error.

- search/filter: ``Query.filter`` over the list of molecules (the loop in
  C++) against a Python loop of RDKit's ``HasSubstructMatch`` with the query
  from ``Chem.MolFromSmarts``.
- search/matches: a Python loop of ``Query.matches``, the same peer.
- search/db-query: the same query through a molecule database of the set
  (``MoleculeDB.search``: screens, then the matcher on each candidate)
  against RDKit's ``SubstructLibrary`` with pattern fingerprints (one
  thread); both built once into memory or the data folder before timing.
- search/db-similar: every record's Tanimoto score to the set's first
  molecule (``MoleculeDB.scores``, circular fingerprints) against RDKit's
  ``BulkTanimotoSimilarity`` over Morgan radius-2 fingerprints of 2048 bits.

The query is an amide with a recursive test, typical of alert sets. Each run
checks that both sides count the same number of hits within 0.1%. Targets: 3x
the peer for matching; the database queries at least as fast as the peer.
"""

from __future__ import annotations

import functools
import gzip
import sys
from pathlib import Path

from common import Workload

ROOT = Path(__file__).resolve().parents[2]
SOURCE = ROOT.parent / "shared" / "testdata" / "large" / "patwalters_set_A_100k.smi.gz"
SMARTS = "[CX3](=O)[NX3;H1,H2;!$(N[a])]"


def workloads(data_dir: Path) -> list[Workload]:
    if not SOURCE.is_file():
        print(f"search: skipped, {SOURCE} not found", file=sys.stderr)
        return []
    from nimbrel import search, velk

    query = search.compile_smarts(SMARTS)
    counts: dict[str, int] = {}

    # Molecules are read on first use, so that listing or filtering the
    # workloads does not read the set twice.
    @functools.cache
    def ours_mols() -> list:
        return list(velk.read(SOURCE))

    def agree(side: str, hits: int) -> int:
        counts[side] = hits
        if len(counts) == 2 and abs(counts["ours"] - counts["peer"]) > 0.001 * len(ours_mols()):
            raise AssertionError(f"search: hit counts differ {counts}")
        return hits

    def ours_filter() -> int:
        return agree("ours", len(query.filter(ours_mols())))

    def ours_loop() -> int:
        return agree("ours", sum(1 for mol in ours_mols() if query.matches(mol)))

    @functools.cache
    def database() -> search.MoleculeDB:
        path = data_dir / "search-set-A.mdb"
        if not path.is_file():
            search.MoleculeDB.build(SOURCE, path)
        return search.MoleculeDB(path)

    def ours_db_query() -> int:
        return agree("ours", sum(1 for _ in database().search(query)))

    def ours_db_similar() -> int:
        db = database()
        return len(db.scores(db.fingerprint(0)))

    peers: dict = {}
    try:
        from rdkit import Chem, RDLogger

        RDLogger.DisableLog("rdApp.*")
        rd_query = Chem.MolFromSmarts(SMARTS)

        @functools.cache
        def rd_mols() -> list:
            lines = gzip.decompress(SOURCE.read_bytes()).decode().splitlines()
            return [m for m in (Chem.MolFromSmiles(line.split()[0]) for line in lines) if m is not None]

        def rdkit_loop() -> int:
            return agree("peer", sum(1 for mol in rd_mols() if mol.HasSubstructMatch(rd_query)))

        peers["rdkit HasSubstructMatch loop"] = rdkit_loop

        from rdkit import DataStructs
        from rdkit.Chem import rdFingerprintGenerator, rdSubstructLibrary

        @functools.cache
        def library() -> rdSubstructLibrary.SubstructLibrary:
            lib = rdSubstructLibrary.SubstructLibrary(rdSubstructLibrary.CachedTrustedSmilesMolHolder(),
                                                      rdSubstructLibrary.PatternHolder())
            for mol in rd_mols():
                lib.AddMol(mol)
            return lib

        def rdkit_library() -> int:
            return agree("peer", len(library().GetMatches(rd_query, maxResults=10**9, numThreads=1)))

        db_peers = {"rdkit SubstructLibrary": rdkit_library}

        @functools.cache
        def morgan() -> list:
            generator = rdFingerprintGenerator.GetMorganGenerator(radius=2, fpSize=2048)
            return [generator.GetFingerprint(mol) for mol in rd_mols()]

        def rdkit_bulk() -> int:
            fps = morgan()
            return len(DataStructs.BulkTanimotoSimilarity(fps[0], fps))

        similar_peers = {"rdkit BulkTanimotoSimilarity": rdkit_bulk}
    except ImportError as exc:
        print(f"search: no peer ({exc})", file=sys.stderr)
        db_peers, similar_peers = {}, {}

    return [
        Workload(name="search/filter", ours=ours_filter, peers=peers, records=100_000, repeats=3,
                 target="3x RDKit (peer / nimbrel >= 3.0x)"),
        Workload(name="search/matches", ours=ours_loop, peers=peers, records=100_000, repeats=3,
                 target="3x RDKit (peer / nimbrel >= 3.0x)"),
        Workload(name="search/db-query", ours=ours_db_query, peers=db_peers, records=100_000, repeats=3,
                 target="at least as fast as RDKit's SubstructLibrary"),
        Workload(name="search/db-similar", ours=ours_db_similar, peers=similar_peers, records=100_000,
                 repeats=3, target="at least as fast as RDKit's BulkTanimotoSimilarity"),
    ]
