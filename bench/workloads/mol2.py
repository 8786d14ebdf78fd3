"""MOL2: reading a multi-record file, and writing it.

Input: 1,000 drug-like molecules from the shared set of 100k SMILES
(../shared/testdata/large/patwalters_set_A_100k.smi.gz), embedded in 3D with
all hydrogens by RDKit (fixed seed) and written as one MOL2 file by Open
Babel, once, into the data folder. Without the SMILES set, RDKit or Open
Babel these workloads are left out with a note on standard error.

- mol2/read: ours iterates ``velk.read`` (atoms, bonds, orders and charges
  from the Tripos types, rings, aromaticity); RDKit has no multi-record MOL2
  reader, so its time includes cutting the text at each "@<TRIPOS>MOLECULE"
  before ``MolFromMol2Block``; Open Babel iterates ``pybel.readfile``;
  chemfiles reads every frame of a ``Trajectory``.
- mol2/write: each writes the molecules it read from that file: ours with
  ``velk.open_writer`` (Tripos typing, naming, bond types: the default
  flavor), Open Babel with ``pybel.Outputfile``, chemfiles with a
  ``Trajectory`` in write mode. RDKit writes no MOL2.

Each run checks its record count. Targets: read 3x RDKit and 5x Open Babel,
within 1.5x of chemfiles; write faster than every peer.
"""

from __future__ import annotations

import gzip
import sys
import tempfile
from pathlib import Path

from common import Workload, checked

ROOT = Path(__file__).resolve().parents[2]
SOURCE = ROOT.parent / "shared" / "testdata" / "large" / "patwalters_set_A_100k.smi.gz"
MOLECULES = 1000
SEED = 0xC0FFEE
MARKER = "@<TRIPOS>MOLECULE"


def write_input(target: Path) -> None:
    from openbabel import pybel
    from rdkit import Chem, RDLogger
    from rdkit.Chem import AllChem

    RDLogger.DisableLog("rdApp.*")
    pybel.ob.obErrorLog.SetOutputLevel(0)
    partial = target.with_suffix(".partial")
    written = 0
    out = pybel.Outputfile("mol2", str(partial), overwrite=True)
    with gzip.open(SOURCE, "rt") as lines:
        for number, line in enumerate(lines):
            if written == MOLECULES:
                break
            fields = line.split()
            mol = Chem.MolFromSmiles(fields[0]) if fields else None
            if mol is None:
                continue
            mol = Chem.AddHs(mol)
            if AllChem.EmbedMolecule(mol, randomSeed=SEED) != 0:
                continue
            mol.SetProp("_Name", fields[1] if len(fields) > 1 else f"mol{number}")
            out.write(pybel.readstring("mol", Chem.MolToMolBlock(mol)))
            written += 1
    out.close()
    partial.rename(target)


def prepared(data_dir: Path) -> tuple[Path, int, int] | None:
    target = data_dir / "mol2-set-A-3d.mol2"
    if not target.is_file():
        try:
            print("mol2: writing the input with RDKit and Open Babel (once, a minute)", file=sys.stderr)
            write_input(target)
        except ImportError as exc:
            print(f"mol2: skipped, {exc.name} is needed to write the input", file=sys.stderr)
            return None
    data = target.read_bytes()
    return target, len(data), data.count(MARKER.encode())


def read_peers(path: Path, records: int) -> dict:
    peers: dict = {}
    try:
        from rdkit import Chem, RDLogger

        RDLogger.DisableLog("rdApp.*")

        # RDKit refuses some records that Open Babel writes (about one in
        # seven here); every record is still parsed, which is what is timed.
        def rdkit_read() -> int:
            text = path.read_text()
            blocks = [MARKER + part for part in text.split(MARKER)[1:]]
            for block in blocks:
                Chem.MolFromMol2Block(block)
            return checked(len(blocks), records, "rdkit")

        peers["rdkit MolFromMol2Block"] = rdkit_read
    except ImportError:
        print("mol2: RDKit not installed, no peer", file=sys.stderr)
    try:
        from openbabel import pybel

        pybel.ob.obErrorLog.SetOutputLevel(0)

        def openbabel_read() -> int:
            return checked(sum(1 for _ in pybel.readfile("mol2", str(path))), records, "openbabel")

        peers["openbabel pybel"] = openbabel_read
    except ImportError:
        print("mol2: Open Babel not installed, no peer", file=sys.stderr)
    try:
        import chemfiles

        chemfiles.set_warnings_callback(lambda message: None)

        def chemfiles_read() -> int:
            with chemfiles.Trajectory(str(path)) as trajectory:
                return checked(sum(1 for _ in trajectory), records, "chemfiles")

        peers["chemfiles Trajectory"] = chemfiles_read
    except ImportError:
        print("mol2: chemfiles not installed, no peer", file=sys.stderr)
    return peers


def write_peers(path: Path, records: int, out_dir: Path) -> dict:
    peers: dict = {}
    try:
        from openbabel import pybel

        ob_mols = list(pybel.readfile("mol2", str(path)))
        checked(len(ob_mols), records, "openbabel")

        def openbabel_write() -> int:
            out = pybel.Outputfile("mol2", str(out_dir / "openbabel.mol2"), overwrite=True)
            for m in ob_mols:
                out.write(m)
            out.close()
            return len(ob_mols)

        peers["openbabel pybel"] = openbabel_write
    except ImportError:
        pass
    try:
        import chemfiles

        with chemfiles.Trajectory(str(path)) as trajectory:
            frames = list(trajectory)
        checked(len(frames), records, "chemfiles")

        def chemfiles_write() -> int:
            with chemfiles.Trajectory(str(out_dir / "chemfiles.mol2"), "w") as trajectory:
                for frame in frames:
                    trajectory.write(frame)
            return len(frames)

        peers["chemfiles Trajectory"] = chemfiles_write
    except ImportError:
        pass
    return peers


def workloads(data_dir: Path) -> list[Workload]:
    if not SOURCE.is_file():
        print(f"mol2: skipped, {SOURCE} not found", file=sys.stderr)
        return []
    found = prepared(data_dir)
    if found is None:
        return []
    from nimbrel import velk

    path, size, records = found
    out_dir = Path(tempfile.mkdtemp(prefix="nimbrel-bench-mol2-"))

    def ours_read() -> int:
        return checked(sum(1 for _ in velk.read(path)), records, "nimbrel read")

    our_mols = list(velk.read(path))
    checked(len(our_mols), records, "nimbrel read")

    def ours_write() -> int:
        with velk.open_writer(out_dir / "ours.mol2") as writer:
            for mol in our_mols:
                writer.append(mol)
        return len(our_mols)

    return [
        Workload(name="mol2/read", ours=ours_read, peers=read_peers(path, records), input_bytes=size,
                 records=records, repeats=3, target="3x RDKit, 5x Open Babel, within 1.5x of chemfiles"),
        Workload(name="mol2/write", ours=ours_write, peers=write_peers(path, records, out_dir),
                 input_bytes=size, records=records, repeats=3, target="faster than every peer"),
    ]
