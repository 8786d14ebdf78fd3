"""PDB files: reading a large one-model entry and a multi-model NMR file, and writing.

Inputs are made once into the data folder from two shared files
(../shared/testdata/pdb/): the 1,890-atom entry 1HVR tiled four times side
by side (chains renamed, serials renumbered: a 7,560-atom one-model entry
with ligands and waters), and the 3-model NMR entry 1LCD repeated to 60
models. Without the shared files these workloads are left out with a note.

- pdb/read-entry: ours ``velk.read`` with the default flavor (bonds from
  coordinates and CONECT, rings, bond orders, hydrogens, residue hierarchy);
  RDKit ``MolFromPDBFile`` (its default: templates for residues, proximity
  bonds, sanitize); Open Babel ``pybel.readfile`` (bonds and perception);
  gemmi ``read_structure`` and chemfiles ``Trajectory.read`` (no chemistry).
- pdb/read-entry-raw: ours with perception off (input flavor 0x16: what the
  file says, as gemmi reads it) against gemmi's ``read_structure``.
- pdb/read-nmr: every model, each perceived on its own (RDKit perceives the
  first and reads the others as conformers); ours also reports how much its
  resident memory grows from the first tenth of the models to the end
  (streaming must not grow it).
- pdb/write: each writes the entry read above to a .pdb file.

Each run checks its atom count. Targets: read-entry 2x RDKit and 10x Open
Babel; read-entry-raw within 1.5x of gemmi; writing faster than every peer.
"""

from __future__ import annotations

import os
import sys
import tempfile
from pathlib import Path

from common import Workload

ROOT = Path(__file__).resolve().parents[2]
SHARED = ROOT.parent / "shared" / "testdata" / "pdb"
ENTRY_SOURCE = SHARED / "mdanalysis_1hvr.pdb"
NMR_SOURCE = SHARED / "biopython_1LCD_nmr.pdb"
TILES = 4
NMR_MODELS = 60
RAW = 0x16
# Best of more runs than the default: the reads take tens of milliseconds and
# a busy machine stretches single runs of either side.
REPEATS = 7


def resident_mb() -> float:
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") / 1e6


def atom_lines(text: str) -> list[str]:
    return [line for line in text.splitlines() if line.startswith(("ATOM  ", "HETATM"))]


def make_entry(target: Path) -> None:
    """The entry tiled along x, 60 Å apart, one chain letter per tile and chain."""
    lines = atom_lines(ENTRY_SOURCE.read_text())
    out, serial = [], 0
    chains = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
    for tile in range(TILES):
        for line in lines:
            serial += 1
            x = float(line[30:38]) + 60.0 * tile
            chain = line[21]
            new_chain = chains[(tile * 3 + (chains.index(chain) if chain in chains else 0)) % 26]
            out.append(f"{line[:6]}{serial:5d}{line[11:21]}{new_chain}{line[22:30]}{x:8.3f}{line[38:]}")
    target.write_text("HEADER    TILED BENCHMARK ENTRY\n" + "\n".join(out) + "\nEND\n")


def make_nmr(target: Path) -> None:
    text = NMR_SOURCE.read_text().splitlines()
    models, current = [], None
    for line in text:
        if line.startswith("MODEL"):
            current = []
        elif line.startswith("ENDMDL"):
            models.append(current)
            current = None
        elif current is not None:
            current.append(line)
    out = []
    for n in range(NMR_MODELS):
        out.append(f"MODEL     {n + 1:4d}")
        out.extend(models[n % len(models)])
        out.append("ENDMDL")
    target.write_text("\n".join(out) + "\nEND\n")


def prepared(data_dir: Path) -> tuple[Path, Path] | None:
    if not ENTRY_SOURCE.is_file() or not NMR_SOURCE.is_file():
        print(f"pdb: skipped, {SHARED} not found", file=sys.stderr)
        return None
    entry, nmr = data_dir / "pdb-entry-tiled.pdb", data_dir / "pdb-nmr-60.pdb"
    if not entry.is_file():
        make_entry(entry)
    if not nmr.is_file():
        make_nmr(nmr)
    return entry, nmr


def checked(count: int, expected: int, what: str) -> int:
    if count != expected:
        raise RuntimeError(f"{what}: {count} atoms, expected {expected}")
    return count


def workloads(data_dir: Path) -> list[Workload]:
    paths = prepared(data_dir)
    if paths is None:
        return []
    from nimbrel import velk

    entry, nmr = paths
    entry_atoms = len(atom_lines(entry.read_text()))
    nmr_text = nmr.read_text()
    nmr_atoms = len(atom_lines(nmr_text))
    entry_bytes, nmr_bytes = entry.stat().st_size, nmr.stat().st_size

    def ours_read() -> int:
        return checked(sum(m.NumAtoms() for m in velk.read(entry)), entry_atoms, "nimbrel")

    def ours_raw() -> int:
        mol = velk.mol_from_bytes(entry.read_bytes(), "pdb", RAW)
        return checked(mol.NumAtoms(), entry_atoms, "nimbrel")

    growth: list[float] = []

    def ours_nmr() -> int:
        total, start = 0, None
        for i, mol in enumerate(velk.read(nmr)):
            total += mol.NumAtoms()
            if i == NMR_MODELS // 10:
                start = resident_mb()
        growth.append(resident_mb() - (start or 0.0))
        return checked(total, nmr_atoms, "nimbrel")

    (entry_mol,) = list(velk.read(entry))
    out_dir = Path(tempfile.mkdtemp(prefix="nimbrel-bench-pdb-"))

    def ours_write() -> None:
        with velk.open_writer(out_dir / "ours.pdb") as writer:
            writer.append(entry_mol)

    read_peers, raw_peers, nmr_peers, write_peers = {}, {}, {}, {}
    try:
        import gemmi

        def gemmi_read(path: Path, expected: int) -> int:
            st = gemmi.read_structure(str(path))
            return checked(sum(m.count_atom_sites() for m in st), expected, "gemmi")

        raw_peers["gemmi read_structure"] = lambda: gemmi_read(entry, entry_atoms)
        read_peers["gemmi read_structure"] = raw_peers["gemmi read_structure"]
        nmr_peers["gemmi read_structure"] = lambda: gemmi_read(nmr, nmr_atoms)
        gemmi_st = gemmi.read_structure(str(entry))
        write_peers["gemmi write_pdb"] = lambda: gemmi_st.write_pdb(str(out_dir / "gemmi.pdb"))
    except ImportError:
        print("pdb: gemmi not installed, no peer", file=sys.stderr)
    try:
        from rdkit import Chem, RDLogger

        RDLogger.DisableLog("rdApp.*")
        read_peers["rdkit MolFromPDBFile"] = lambda: checked(
            Chem.MolFromPDBFile(str(entry), removeHs=False).GetNumAtoms(), entry_atoms, "rdkit"
        )
        # RDKit perceives the first model and takes the others' coordinates
        # as conformers; its count is of models.
        nmr_peers["rdkit MolFromPDBFile"] = lambda: checked(
            Chem.MolFromPDBFile(str(nmr), removeHs=False).GetNumConformers(), NMR_MODELS, "rdkit (models)"
        )
        rd_mol = Chem.MolFromPDBFile(str(entry), removeHs=False)
        write_peers["rdkit MolToPDBFile"] = lambda: Chem.MolToPDBFile(rd_mol, str(out_dir / "rdkit.pdb"))
    except ImportError:
        print("pdb: RDKit not installed, no peer", file=sys.stderr)
    try:
        from openbabel import pybel

        pybel.ob.obErrorLog.SetOutputLevel(0)
        read_peers["openbabel pybel"] = lambda: checked(
            sum(len(m.atoms) for m in pybel.readfile("pdb", str(entry))), entry_atoms, "openbabel"
        )
        ob_mol = next(pybel.readfile("pdb", str(entry)))
        write_peers["openbabel pybel"] = lambda: ob_mol.write("pdb", str(out_dir / "ob.pdb"), overwrite=True)
    except ImportError:
        print("pdb: Open Babel not installed, no peer", file=sys.stderr)
    try:
        import chemfiles

        def chemfiles_read(path: Path, expected: int) -> int:
            with chemfiles.Trajectory(str(path)) as trajectory:
                return checked(sum(len(frame.atoms) for frame in trajectory), expected, "chemfiles")

        read_peers["chemfiles Trajectory"] = lambda: chemfiles_read(entry, entry_atoms)
        nmr_peers["chemfiles Trajectory"] = lambda: chemfiles_read(nmr, nmr_atoms)
        with chemfiles.Trajectory(str(entry)) as trajectory:
            cf_frame = trajectory.read()

        def chemfiles_write() -> None:
            with chemfiles.Trajectory(str(out_dir / "chemfiles.pdb"), "w") as out:
                out.write(cf_frame)

        write_peers["chemfiles Trajectory"] = chemfiles_write
    except ImportError:
        print("pdb: chemfiles not installed, no peer", file=sys.stderr)

    nmr_workload = Workload(
        "pdb/read-nmr", ours_nmr, nmr_peers, input_bytes=nmr_bytes, records=NMR_MODELS, repeats=REPEATS,
        target="no slower than RDKit; memory flat while streaming (growth printed below)",
    )
    return [
        Workload("pdb/read-entry", ours_read, read_peers, input_bytes=entry_bytes, records=1, repeats=REPEATS,
                 target="2x RDKit, 10x Open Babel"),
        Workload("pdb/read-entry-raw", ours_raw, raw_peers, input_bytes=entry_bytes, records=1, repeats=REPEATS,
                 target="within 1.5x of gemmi (ratio at least 0.67)"),
        nmr_workload,
        _Growth(growth),
        Workload("pdb/write", ours_write, write_peers, input_bytes=entry_bytes, records=1,
                 target="faster than every peer"),
    ]


class _Growth(Workload):
    """Prints the resident-memory growth that the NMR read measured."""

    def __init__(self, growth: list[float]) -> None:
        super().__init__("pdb/read-nmr-memory", lambda: None, {}, repeats=1)
        self._growth = growth

    def describe_input(self) -> str:
        if not self._growth:
            return "not measured"
        return f"resident memory grew {max(self._growth):.1f} MB from model {NMR_MODELS // 10} to the end"
