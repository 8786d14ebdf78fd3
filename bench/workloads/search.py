"""Search: SMARTS queries against the shared 100k set, and a molecule database
of a million records.

Input: the shared 100k SMILES (../shared/testdata/large/
patwalters_set_A_100k.smi.gz), read once before timing by each side (ours
through ``velk.read``, RDKit through ``Chem.MolFromSmiles``); only the
matching is timed. Without the shared set this workload is left out with a
note on standard error.

- search/filter: ``Query.filter`` over the list of molecules (the loop in
  C++) against a Python loop of RDKit's ``HasSubstructMatch`` with the query
  from ``Chem.MolFromSmarts``.
- search/matches: a Python loop of ``Query.matches``, the same peer; it
  shows what a call per molecule costs (the target is filter's).
- search/shape-*: ``Query.filter`` against the same peer for one query of
  each common shape: a plain aromatic ring, a halogen atom list, a recursive
  alert (the amide of search/filter), a fused ring system and a charged group.
- search/db-query: the same query through a molecule database of the set
  (``MoleculeDB.search``: screens, then the matcher on each candidate)
  against RDKit's ``SubstructLibrary`` with pattern fingerprints (one
  thread); both built once into memory or the data folder before timing.
- search/db-similar: every record's Tanimoto score to the set's first
  molecule (``MoleculeDB.scores``, circular fingerprints) against RDKit's
  ``BulkTanimotoSimilarity`` over Morgan radius-2 fingerprints of 2048 bits.
- search/db-query-1m, search/db-similar-1m: the same at a million records.
  No real million-molecule set is at hand, so the input is the 100k set
  written out ten times, each copy's titles suffixed ``#0`` to ``#9``
  (data/set-A-1m.smi); both sides get that file. Our database is built from
  it once into the data folder, RDKit's library once too (serialised there;
  each distinct SMILES is parsed once and its canonical SMILES and pattern
  fingerprint added for every copy, which gives the same library as parsing
  every line). The peer's Morgan fingerprints are one object per record.
  Under each table: the memory of each side (VmRSS, split into anonymous
  and file-backed pages, and VmHWM from /proc/self/status) measured alike in
  a fresh process that loads the database or library and runs the query
  once, and of a process that only imports the same modules. Our file-backed
  pages are the mapped database file: the page cache holds them whether or
  not a process maps them, but they count here.

Each run checks that both sides count the same number of hits within 0.1%.
Targets: 3x the peer for matching; the database queries at least as fast as
the peer, the substructure database in less memory.
"""

from __future__ import annotations

import functools
import gzip
import json
import subprocess
import sys
from pathlib import Path

if __package__ in (None, ""):  # run as a script for a footprint measurement
    sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from common import Workload  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
SOURCE = ROOT.parent / "shared" / "testdata" / "large" / "patwalters_set_A_100k.smi.gz"
SMARTS = "[CX3](=O)[NX3;H1,H2;!$(N[a])]"
SHAPES = {
    "ring": "c1ccccc1",
    "halogen": "[Cl,Br,I]",
    "recursive": SMARTS,
    "fused": "c1ccc2ncccc2c1",
    "charged": "[N+](=O)[O-]",
}
COPIES = 10


def million_source(data_dir: Path) -> Path:
    """The 100k set written COPIES times, titles suffixed with the copy."""
    path = data_dir / "set-A-1m.smi"
    if not path.is_file():
        lines = gzip.decompress(SOURCE.read_bytes()).decode().splitlines()
        partial = path.with_suffix(".partial")
        with open(partial, "w") as out:
            for copy in range(COPIES):
                out.writelines(f"{line}#{copy}\n" for line in lines)
        partial.rename(path)
    return path


def fresh_db(path: Path, source: Path) -> Path:
    """The database at `path`, built from `source` when it is missing or was
    written by a version whose layout or screens this one refuses."""
    from nimbrel import search

    try:
        search.MoleculeDB(path).close()
    except search.DatabaseError:
        search.MoleculeDB.build(source, path).close()
    return path


def million_db(data_dir: Path) -> Path:
    return fresh_db(data_dir / "search-set-A-1m.mdb", million_source(data_dir))


def million_library(data_dir: Path) -> Path:
    path = data_dir / "rdkit-set-A-1m.sslib"
    if not path.is_file():
        from rdkit import Chem, RDLogger
        from rdkit.Chem import rdSubstructLibrary

        RDLogger.DisableLog("rdApp.*")
        mols = rdSubstructLibrary.CachedTrustedSmilesMolHolder()
        fps = rdSubstructLibrary.PatternHolder()
        seen: dict[str, tuple] = {}
        with open(million_source(data_dir)) as lines:
            for line in lines:
                smiles = line.split()[0]
                if smiles not in seen:
                    mol = Chem.MolFromSmiles(smiles)
                    seen[smiles] = (Chem.MolToSmiles(mol), fps.MakeFingerprint(mol)) if mol else None
                if seen[smiles]:
                    mols.AddSmiles(seen[smiles][0])
                    fps.AddFingerprint(seen[smiles][1])
        partial = path.with_suffix(".partial")
        partial.write_bytes(rdSubstructLibrary.SubstructLibrary(mols, fps).Serialize())
        partial.rename(path)
    return path


def load_library(path: Path):
    from rdkit.Chem import rdSubstructLibrary

    return rdSubstructLibrary.SubstructLibrary(path.read_bytes())


def morgan_million(data_dir: Path) -> list:
    """One Morgan fingerprint object per record of the million file."""
    from rdkit import Chem, DataStructs, RDLogger
    from rdkit.Chem import rdFingerprintGenerator

    RDLogger.DisableLog("rdApp.*")
    generator = rdFingerprintGenerator.GetMorganGenerator(radius=2, fpSize=2048)
    seen: dict[str, object] = {}
    out = []
    with open(million_source(data_dir)) as lines:
        for line in lines:
            smiles = line.split()[0]
            if smiles not in seen:
                mol = Chem.MolFromSmiles(smiles)
                seen[smiles] = generator.GetFingerprint(mol) if mol else None
            if seen[smiles] is not None:
                out.append(DataStructs.ExplicitBitVect(seen[smiles].ToBinary()))
    return out


def _status() -> dict[str, int]:
    fields = {}
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(("VmRSS:", "VmHWM:", "RssAnon:", "RssFile:")):
                name, value = line.split(":")
                fields[name] = int(value.split()[0])
    return fields


def footprint_main(kind: str, data_dir: Path) -> None:
    """In a fresh process: load one side, run its query once, print memory."""
    from nimbrel import search  # noqa: F401  (both sides import both, so the base is alike)
    from rdkit import Chem, DataStructs

    result = None
    if kind == "ours-query":
        db = search.MoleculeDB(million_db(data_dir))
        result = sum(1 for _ in db.search(search.compile_smarts(SMARTS)))
    elif kind == "rdkit-query":
        library = load_library(million_library(data_dir))
        result = len(library.GetMatches(Chem.MolFromSmarts(SMARTS), maxResults=10**9, numThreads=1))
    elif kind == "ours-similar":
        db = search.MoleculeDB(million_db(data_dir))
        result = len(db.scores(db.fingerprint(0)))
    elif kind == "rdkit-similar":
        fps = morgan_million(data_dir)
        result = len(DataStructs.BulkTanimotoSimilarity(fps[0], fps))
    print(json.dumps({"result": result, **_status()}))


def footprint(kinds: dict[str, str], data_dir: Path) -> str:
    """Memory figures of each side, each measured in its own process."""
    rows = []
    for label, kind in {**kinds, "imports only": "base"}.items():
        done = subprocess.run([sys.executable, __file__, "footprint", kind, str(data_dir)], check=True,
                              capture_output=True, text=True)
        figures = json.loads(done.stdout.splitlines()[-1])
        rows.append(f"  memory {label:<28} VmRSS {figures['VmRSS'] / 1024:5.0f} MB (anonymous "
                    f"{figures['RssAnon'] / 1024:4.0f}, file-backed {figures['RssFile'] / 1024:4.0f})  "
                    f"VmHWM {figures['VmHWM'] / 1024:5.0f} MB  (result {figures['result']})")
    return "\n".join(rows)


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

    def agree(side: str, hits: int, key: str = "", records: int = 0) -> int:
        counts[key + side] = hits
        other = counts.get(key + ("peer" if side == "ours" else "ours"))
        if other is not None and abs(hits - other) > 0.001 * (records or len(ours_mols())):
            raise AssertionError(f"search{key}: hit counts differ: ours/peer {hits}, {other} ({side} first)")
        return hits

    def ours_filter() -> int:
        return agree("ours", len(query.filter(ours_mols())))

    def ours_loop() -> int:
        return agree("ours", sum(1 for mol in ours_mols() if query.matches(mol)))

    @functools.cache
    def database() -> search.MoleculeDB:
        # Not the name earlier versions used: their benchmarks share the data folder.
        return search.MoleculeDB(fresh_db(data_dir / "search-set-A-v2.mdb", SOURCE))

    def ours_db_query() -> int:
        return agree("ours", sum(1 for _ in database().search(query)))

    def ours_db_similar() -> int:
        db = database()
        return len(db.scores(db.fingerprint(0)))

    @functools.cache
    def million() -> search.MoleculeDB:
        return search.MoleculeDB(million_db(data_dir))

    def ours_million_query() -> int:
        return agree("ours", sum(1 for _ in million().search(query)), "-1m", COPIES * 100_000)

    def ours_million_similar() -> int:
        db = million()
        return len(db.scores(db.fingerprint(0)))

    def shape_filter(smarts: str):
        compiled = search.compile_smarts(smarts)
        return lambda: agree("ours", len(compiled.filter(ours_mols())), smarts)

    shape_peers: dict[str, dict] = {name: {} for name in SHAPES}
    peers: dict = {}
    db_peers: dict = {}
    similar_peers: dict = {}
    million_peers: dict = {}
    million_similar_peers: dict = {}
    try:
        from rdkit import Chem, DataStructs, RDLogger
        from rdkit.Chem import rdFingerprintGenerator, rdSubstructLibrary

        RDLogger.DisableLog("rdApp.*")
        rd_query = Chem.MolFromSmarts(SMARTS)

        @functools.cache
        def rd_mols() -> list:
            lines = gzip.decompress(SOURCE.read_bytes()).decode().splitlines()
            return [m for m in (Chem.MolFromSmiles(line.split()[0]) for line in lines) if m is not None]

        def rdkit_loop() -> int:
            return agree("peer", sum(1 for mol in rd_mols() if mol.HasSubstructMatch(rd_query)))

        peers["rdkit HasSubstructMatch loop"] = rdkit_loop

        def shape_peer(smarts: str):
            pattern = Chem.MolFromSmarts(smarts)
            return lambda: agree("peer", sum(1 for mol in rd_mols() if mol.HasSubstructMatch(pattern)), smarts)

        for name, smarts in SHAPES.items():
            shape_peers[name]["rdkit HasSubstructMatch loop"] = shape_peer(smarts)

        @functools.cache
        def library() -> rdSubstructLibrary.SubstructLibrary:
            lib = rdSubstructLibrary.SubstructLibrary(rdSubstructLibrary.CachedTrustedSmilesMolHolder(),
                                                      rdSubstructLibrary.PatternHolder())
            for mol in rd_mols():
                lib.AddMol(mol)
            return lib

        def rdkit_library() -> int:
            return agree("peer", len(library().GetMatches(rd_query, maxResults=10**9, numThreads=1)))

        db_peers["rdkit SubstructLibrary"] = rdkit_library

        @functools.cache
        def morgan() -> list:
            generator = rdFingerprintGenerator.GetMorganGenerator(radius=2, fpSize=2048)
            return [generator.GetFingerprint(mol) for mol in rd_mols()]

        def rdkit_bulk() -> int:
            fps = morgan()
            return len(DataStructs.BulkTanimotoSimilarity(fps[0], fps))

        similar_peers["rdkit BulkTanimotoSimilarity"] = rdkit_bulk

        million_library_loaded = functools.cache(lambda: load_library(million_library(data_dir)))

        def rdkit_million_query() -> int:
            hits = million_library_loaded().GetMatches(rd_query, maxResults=10**9, numThreads=1)
            return agree("peer", len(hits), "-1m", COPIES * 100_000)

        million_peers["rdkit SubstructLibrary"] = rdkit_million_query
        million_morgan = functools.cache(lambda: morgan_million(data_dir))

        def rdkit_million_bulk() -> int:
            fps = million_morgan()
            return len(DataStructs.BulkTanimotoSimilarity(fps[0], fps))

        million_similar_peers["rdkit BulkTanimotoSimilarity"] = rdkit_million_bulk
    except ImportError as exc:
        print(f"search: no peer ({exc})", file=sys.stderr)

    def notes(kinds: dict[str, str]):
        return lambda: footprint(kinds if million_peers else {"nimbrel": kinds["nimbrel"]}, data_dir)

    return [
        Workload(name="search/filter", ours=ours_filter, peers=peers, records=100_000, repeats=3,
                 target="3x RDKit (peer / nimbrel >= 3.0x)"),
        Workload(name="search/matches", ours=ours_loop, peers=peers, records=100_000, repeats=3,
                 target="none, reported: a Python call per molecule (the 3x target is search/filter's)"),
        *(Workload(name=f"search/shape-{name}", ours=shape_filter(smarts), peers=shape_peers[name],
                   records=100_000, repeats=3, target=f"3x RDKit for {smarts} (peer / nimbrel >= 3.0x)")
          for name, smarts in SHAPES.items()),
        Workload(name="search/db-query", ours=ours_db_query, peers=db_peers, records=100_000, repeats=3,
                 target="at least as fast as RDKit's SubstructLibrary"),
        Workload(name="search/db-similar", ours=ours_db_similar, peers=similar_peers, records=100_000,
                 repeats=3, target="at least as fast as RDKit's BulkTanimotoSimilarity"),
        Workload(name="search/db-query-1m", ours=ours_million_query, peers=million_peers,
                 records=COPIES * 100_000, repeats=3,
                 target="at least as fast as RDKit's SubstructLibrary, in less memory",
                 footnote=notes({"nimbrel": "ours-query", "rdkit SubstructLibrary": "rdkit-query"})),
        Workload(name="search/db-similar-1m", ours=ours_million_similar, peers=million_similar_peers,
                 records=COPIES * 100_000, repeats=3,
                 target="at least as fast as RDKit's BulkTanimotoSimilarity",
                 footnote=notes({"nimbrel": "ours-similar", "rdkit BulkTanimotoSimilarity": "rdkit-similar"})),
    ]


if __name__ == "__main__" and len(sys.argv) == 4 and sys.argv[1] == "footprint":
    footprint_main(sys.argv[2], Path(sys.argv[3]))
