"""mmCIF: reading a large one-model entry, and writing it.

The entry is the PDB workload's tiled 1HVR (7,560 atoms, ligands and waters;
made from ../shared/testdata/pdb/), written as mmCIF once by gemmi into the
data folder, so that every reader sees a file as the archive's tools write
it. Without the shared file these workloads are left out with a note.

- mmcif/read-entry-raw: ours with perception off (mmCIF, format code 26,
  input flavor 0x8000: no perception step, and an aromaticity model over a
  molecule whose only bonds are the connection records: the atom sites as
  the file gives them) against gemmi's
  ``read_structure`` on the same file. Both run gemmi's CIF grammar; ours
  records where the values lie instead of copying each, and reads the atom
  site columns by index.
- mmcif/read-entry: ours ``velk.read`` with the default flavor (bonds from
  coordinates, rings, bond orders, hydrogens, residue hierarchy) against
  RDKit's ``MolFromPDBFile`` on the same structure as PDB, and gemmi.
- mmcif/write: ours and gemmi's mmCIF writer on the entry read above.

Each run checks its atom count. Targets: read-entry-raw within 1.5x of gemmi;
read-entry faster than RDKit on the PDB file.
"""

from __future__ import annotations

import sys
import tempfile
from pathlib import Path

from common import Workload
from workloads.pdb import ENTRY_SOURCE, atom_lines, checked, make_entry

MMCIF = 26  # no suffix selects it
RAW = 0x8000


def prepared(data_dir: Path) -> tuple[Path, Path] | None:
    if not ENTRY_SOURCE.is_file():
        print(f"mmcif: skipped, {ENTRY_SOURCE} not found", file=sys.stderr)
        return None
    try:
        import gemmi
    except ImportError:
        print("mmcif: skipped, gemmi (which writes the input) is not installed", file=sys.stderr)
        return None
    pdb, cif = data_dir / "pdb-entry-tiled.pdb", data_dir / "mmcif-entry-tiled.cif"
    if not pdb.is_file():
        make_entry(pdb)
    if not cif.is_file():
        st = gemmi.read_structure(str(pdb))
        st.setup_entities()
        st.make_mmcif_document().write_file(str(cif))
    return pdb, cif


def workloads(data_dir: Path) -> list[Workload]:
    paths = prepared(data_dir)
    if paths is None:
        return []
    import gemmi
    from nimbrel import velk

    pdb, cif = paths
    atoms = len(atom_lines(pdb.read_text()))
    cif_bytes = cif.stat().st_size

    def ours_raw() -> int:
        return checked(velk.mol_from_bytes(cif.read_bytes(), MMCIF, RAW).NumAtoms(), atoms, "nimbrel")

    def ours_read() -> int:
        return checked(sum(m.NumAtoms() for m in velk.read(cif)), atoms, "nimbrel")

    def gemmi_read() -> int:
        return checked(gemmi.read_structure(str(cif))[0].count_atom_sites(), atoms, "gemmi")

    read_peers = {"gemmi read_structure": gemmi_read}
    try:
        from rdkit import Chem, RDLogger

        RDLogger.DisableLog("rdApp.*")
        read_peers["rdkit MolFromPDBFile"] = lambda: checked(
            Chem.MolFromPDBFile(str(pdb), removeHs=False).GetNumAtoms(), atoms, "rdkit (PDB)"
        )
    except ImportError:
        print("mmcif: RDKit not installed, no peer", file=sys.stderr)

    (mol,) = list(velk.read(cif))
    st = gemmi.read_structure(str(cif))
    out_dir = Path(tempfile.mkdtemp(prefix="nimbrel-bench-mmcif-"))

    def ours_write() -> None:
        with velk.open_writer(out_dir / "ours.cif") as writer:
            writer.append(mol)

    write_peers = {"gemmi make_mmcif_document": lambda: st.make_mmcif_document().write_file(str(out_dir / "gemmi.cif"))}
    return [
        Workload("mmcif/read-entry-raw", ours_raw, {"gemmi read_structure": gemmi_read}, input_bytes=cif_bytes,
                 records=1, target="within 1.5x of gemmi (ratio at least 0.67)"),
        Workload("mmcif/read-entry", ours_read, read_peers, input_bytes=cif_bytes, records=1,
                 target="faster than RDKit on the same structure as PDB"),
        Workload("mmcif/write", ours_write, write_peers, input_bytes=cif_bytes, records=1,
                 target="no slower than gemmi"),
    ]
