"""PDB files written by other programs, against gemmi and RDKit.

Each shared file is read by us and by gemmi. Our reader drops alternate
locations other than blank, "A" and "1" (and " Q" atoms and "DUM"
residues), so gemmi's side gets the same filter. Our molecules are compared
atom by atom (element, coordinates), and then written back as PDB and read
by gemmi again, which must see the same residues (name, number, chain,
insertion code) and coordinates to 3 decimals: that covers the reader's
residue columns and the writer's layout in one comparison. Skipped without
the shared data. The same comparison runs over every PDB file of the
MDAnalysisTests package (installed without its dependencies by `make venv`).
"""

from __future__ import annotations

import bz2
import gzip
import importlib.util
import io
import tarfile
from pathlib import Path

import gemmi
import pytest
from rdkit import Chem, RDLogger

from nimbrel import velk

# Default perception off (the low byte only): what the file says, as gemmi reads it.
RAW = 0x16


def gemmi_atoms(model: gemmi.Model, names: bool = False) -> list[tuple]:
    """The atoms our reader keeps, as (element, x, y, z, residue name and
    number, chain, insertion code[, atom name]), in coordinate order."""
    atoms = []
    for chain in model:
        for res in chain:
            if res.name == "DUM":
                continue
            for atom in res:
                if atom.altloc not in ("\0", "A", "1") or atom.name.startswith("Q"):
                    continue
                atoms.append(
                    (
                        atom.element.name.upper(),
                        round(atom.pos.x, 3),
                        round(atom.pos.y, 3),
                        round(atom.pos.z, 3),
                        res.name,
                        res.seqid.num,
                        chain.name,
                        res.seqid.icode.strip(),
                    )
                    + ((atom.name,) if names else ())
                )
    # gemmi groups atoms by chain and residue; files list them in file order.
    return sorted(atoms, key=lambda a: a[1:4])


def gemmi_models(text: str) -> list[list[tuple]]:
    return [gemmi_atoms(model) for model in gemmi.read_pdb_string(text)]


def elements_and_coords(mol) -> list[tuple]:
    out = []
    for atom in mol.GetAtoms():
        x, y, z = mol.GetCoords(atom)
        symbol = gemmi.Element(atom.GetAtomicNum()).name.upper() if atom.GetAtomicNum() else "X"
        out.append((symbol, round(x, 3), round(y, 3), round(z, 3)))
    return sorted(out, key=lambda a: a[1:])


def pdb_files(shared: Path) -> list[Path]:
    files = sorted((shared / "pdb").glob("*.pdb"))
    assert files, "no PDB files in the shared data"
    return files


def agrees_with_gemmi(text: str, name: str, elements: bool = True, write: bool = True) -> None:
    expected = gemmi_models(text)
    mols = [velk.mol_from_string(section, "pdb", RAW) for section in split_models(text)]
    assert len(mols) == len(expected), name
    first = 0 if elements else 1
    for mol, model in zip(mols, expected):
        ours = [a[first:] for a in elements_and_coords(mol)]
        theirs = [a[first:4] for a in model]
        assert ours == theirs, name
        if not write:
            continue
        # Our reader's residues, through our writer, as gemmi reads them.
        written = velk.mol_to_string(mol, "pdb")
        (back,) = gemmi_models(written)
        assert [a[first:] for a in back] == [a[first:] for a in model], name


def test_atoms_and_residues_agree_with_gemmi(shared_testdata: Path):
    for path in pdb_files(shared_testdata):
        agrees_with_gemmi(path.read_text(), path.name)


def mdanalysis_pdb_files() -> list[Path]:
    """The PDB files of the MDAnalysisTests package (a hundred-odd real files);
    found without importing it, since it imports MDAnalysis."""
    spec = importlib.util.find_spec("MDAnalysisTests")
    if spec is None or spec.origin is None:
        return []
    data = Path(spec.origin).parent / "data"
    return sorted(p for p in data.rglob("*") if p.name.lower().endswith(MDA_SUFFIXES))


MDA_SUFFIXES = (".pdb", ".ent", ".pdb.gz", ".ent.gz", ".pdb.bz2")


def decompressed_text(path: Path) -> str:
    raw = path.read_bytes()
    # Some of the package's ".gz" and ".bz2" files are plain text or a tar archive.
    if raw.startswith(b"\x1f\x8b"):
        raw = gzip.decompress(raw)
    elif raw.startswith(b"BZh"):
        raw = bz2.decompress(raw)
    if raw[257:262] == b"ustar":
        with tarfile.open(fileobj=io.BytesIO(raw)) as archive:
            member = next(m for m in archive.getmembers() if m.isfile())
            raw = archive.extractfile(member).read()
    return raw.decode("latin-1")


def without_column_21(text: str) -> str:
    """Column 21 of atom records belongs to no field; gemmi reads it into the
    chain (four-letter residue names such as "TIP3", two-letter chains), we
    ignore it as the format says. Blanked, both read the same chain."""
    lines = text.splitlines(keepends=True)
    for i, line in enumerate(lines):
        if line.startswith(("ATOM", "HETATM")) and len(line) > 21:
            lines[i] = line[:20] + " " + line[21:]
    return "".join(lines)


def five_digit_serials(text: str) -> bool:
    """Serials past 99999 ("*****" in the file) are written renumbered and
    wider than their five columns, which shifts the rest of the line: such
    files are only read."""
    atoms = [line for line in text.splitlines() if line.startswith(("ATOM", "HETATM"))]
    return len(atoms) <= 99999 and all(line[6:11].strip().isdigit() for line in atoms)


def states_elements(text: str) -> bool:
    """Every atom record names its element in columns 77-78. Otherwise each
    reader guesses from the atom name by its own rules (gemmi takes "HG1" of
    a serine for mercury), and only coordinates and residues are compared."""
    atoms = [line for line in text.splitlines() if line.startswith(("ATOM", "HETATM"))]
    return all(line[76:78].strip() for line in atoms)


@pytest.mark.parametrize(
    "path",
    mdanalysis_pdb_files() or [None],
    ids=lambda p: p.name if p else "absent",
)
def test_mdanalysis_corpus_agrees_with_gemmi(path: Path | None):
    assert path is not None, "MDAnalysisTests is not installed (make venv installs it)"
    text = without_column_21(decompressed_text(path))
    sections = split_models(text)
    assert sections, f"{path.name}: no atom records"
    # Ours reads every file, whatever gemmi makes of it.
    assert all(velk.mol_from_string(section, "pdb", RAW).NumAtoms() > 0 for section in sections)
    try:
        gemmi.read_pdb_string(text)
    except RuntimeError as e:
        pytest.skip(f"gemmi refuses {path.name}: {e}")
    agrees_with_gemmi(text, path.name, elements=states_elements(text), write=five_digit_serials(text))


def split_models(text: str) -> list[str]:
    """The sections our reader reads one molecule from by default (ENDMDL and
    END end one); the header goes with the first, and its LINK records,
    which hold for every model, with the others too."""
    sections, current, atoms = [], [], False
    links = [line for line in text.splitlines(keepends=True) if line.startswith("LINK")]
    for line in text.splitlines(keepends=True):
        current.append(line)
        if line.startswith("MODEL") and sections:
            current += links
        elif line.startswith(("ATOM", "HETATM")):
            atoms = True
        elif atoms and line.split()[:1] in (["ENDMDL"], ["END"]):
            sections.append("".join(current))
            current, atoms = [], False
    if atoms:
        sections.append("".join(current))
    return sections


# Lost records and damage only: the toolkit's remarks on records it read
# (a LINK to atoms it cannot find) are warnings too.
@pytest.mark.filterwarnings("error:.*(could not be read|input damaged):nimbrel.velk.ReadWarning")
def test_stream_reads_every_model(shared_testdata: Path):
    """velk.read over the whole file gives one molecule per model, and the
    lines after the last model (CONECT, MASTER, END) are no damaged record."""
    for path in pdb_files(shared_testdata):
        expected = gemmi_models(path.read_text())
        counts = [mol.NumAtoms() for mol in velk.read(path)]
        assert counts == [len(m) for m in expected], path.name


@pytest.mark.filterwarnings("error::nimbrel.velk.ReadWarning")
def test_lines_after_the_last_model_end_the_file(tmp_path: Path):
    atom = "ATOM      1  N   GLY A   1       0.000   0.000   0.000  1.00  0.00           N\n"
    path = tmp_path / "models.pdb"
    path.write_text(f"MODEL        1\n{atom}ENDMDL\nMODEL        2\n{atom}ENDMDL\nCONECT    1\nMASTER\nEND\n")
    assert [mol.NumAtoms() for mol in velk.read(path)] == [1, 1]


def test_ligand_bonds_agree_with_rdkit(shared_testdata: Path):
    """Bonds of a small molecule whose CONECT records list every bond.

    RDKit's MolFromPDBFile reads CONECT too and adds bonds from templates for
    standard residues only; for a ligand in CONECT records both take the file's
    bonds. Orders differ by design (RDKit gives CONECT bonds order 1 and does
    not perceive orders; our default reading assigns them), so only the bond
    graph is compared.
    """
    RDLogger.DisableLog("rdApp.*")
    path = shared_testdata / "pdb" / "openbabel_00T_ideal.pdb"
    rd = Chem.MolFromPDBFile(str(path), removeHs=False, sanitize=False)
    (ours,) = list(velk.read(path))
    rd_bonds = sorted(sorted((b.GetBeginAtomIdx(), b.GetEndAtomIdx())) for b in rd.GetBonds())
    our_bonds = sorted(sorted((b.GetBgn().GetIdx(), b.GetEnd().GetIdx())) for b in ours.GetBonds())
    assert our_bonds == rd_bonds


# Pairs of atoms that chemistry cannot tell apart: which gets the 1 and which
# the 2 depends on the order atoms are met in.
SYMMETRIC = {
    ("VAL", "CG"), ("LEU", "CD"), ("PHE", "CD"), ("PHE", "CE"), ("TYR", "CD"), ("TYR", "CE"),
    ("ASP", "OD"), ("GLU", "OE"), ("ARG", "NH"), ("DA", "OP"), ("DC", "OP"), ("DG", "OP"), ("DT", "OP"),
    ("A", "OP"), ("C", "OP"), ("G", "OP"), ("U", "OP"),
    # Not symmetric, but RDKit's sequence builder names isoleucine's ethyl
    # carbon CG2, where the PDB chemical component (and every entry) has CG1
    # bonded to CD1, as we do.
    ("ILE", "CG"),
}


def normalised(resname: str, name: str) -> str:
    return name[:-1] if (resname, name[:-1]) in SYMMETRIC else name


@pytest.mark.parametrize(
    "sequence, flavor",
    [("ACDEFGHIKLMNPQRSTVWY", 0), ("GCPWYV", 0), ("ACGT", 6), ("ACGU", 2)],
    ids=["twenty-amino-acids", "peptide", "dna", "rna"],
)
def test_residue_perception_matches_rdkit_sequences(sequence: str, flavor: int):
    """A polymer from SMILES, written as PDB, names its residues and atoms as
    RDKit's MolFromSequence does (atoms matched through RDKit's SMILES order)."""
    rd = Chem.MolFromSequence(sequence, flavor=flavor)
    smiles = Chem.MolToSmiles(rd)
    order = [int(i) for i in rd.GetProp("_smilesAtomOutputOrder").strip("[],").split(",") if i]
    mol = velk.mol_from_string(smiles, "smi")
    # Bracket hydrogens ([C@@H]) are atoms of ours; RDKit's SMILES order has heavy atoms only.
    lines = [
        l for l in velk.mol_to_string(mol, "pdb").splitlines() if l.startswith(("ATOM", "HETATM")) and l[76:78] != " H"
    ]
    assert len(lines) == len(order)
    by_residue: dict[int, tuple[set, set]] = {}
    for line, rd_index in zip(lines, order):
        info = rd.GetAtomWithIdx(rd_index).GetPDBResidueInfo()
        ours = (line[17:20].strip(), int(line[22:26]), line[21])
        theirs = (info.GetResidueName().strip(), info.GetResidueNumber(), "A")
        assert ours == theirs, line
        name, rd_name = line[12:16].strip(), info.GetName().strip()
        assert normalised(ours[0], name) == normalised(ours[0], rd_name), line
        sets = by_residue.setdefault(ours[1], (set(), set()))
        sets[0].add(name)
        sets[1].add(rd_name)
    for ours_names, rd_names in by_residue.values():
        assert ours_names == rd_names


def models_of(text: str) -> list[list[str]]:
    """The lines of each MODEL ... ENDMDL block."""
    models, current = [], None
    for line in text.splitlines():
        if line.startswith("MODEL"):
            current = []
        elif line.startswith("ENDMDL") and current is not None:
            models.append(current)
            current = None
        elif current is not None:
            current.append(line)
    return models


def moved(lines: list[str], scale: float, shift: float) -> list[str]:
    """Atom records with x, y and z scaled about the origin and shifted."""
    out = []
    for line in lines:
        if line.startswith(("ATOM", "HETATM")):
            xyz = [float(line[30 + 8 * k : 38 + 8 * k]) * scale + shift for k in range(3)]
            line = line[:30] + "".join(f"{v:8.3f}" for v in xyz) + line[54:]
        out.append(line)
    return out


def carboxylates(lines: list[str], first: float, second: float) -> list[str]:
    """ASP and GLU records with the two C-O bonds of each carboxylate set to
    the given lengths (first OD1/OE1, then OD2/OE2) along their directions,
    which tells the bond-order pass which oxygen takes the double bond."""
    centre = {"ASP": " CG ", "GLU": " CD "}
    oxygens = {" OD1": first, " OD2": second, " OE1": first, " OE2": second}
    carbons = {}
    for line in lines:
        if line[17:20] in centre and line[12:16] == centre[line[17:20]]:
            carbons[line[17:27]] = [float(line[30 + 8 * k : 38 + 8 * k]) for k in range(3)]
    out = []
    for line in lines:
        c = carbons.get(line[17:27])
        if c is not None and line[12:16] in oxygens:
            o = [float(line[30 + 8 * k : 38 + 8 * k]) for k in range(3)]
            length = sum((o[k] - c[k]) ** 2 for k in range(3)) ** 0.5
            o = [c[k] + (o[k] - c[k]) * oxygens[line[12:16]] / length for k in range(3)]
            line = line[:30] + "".join(f"{v:8.3f}" for v in o) + line[54:]
        out.append(line)
    return out


def as_models(models: list[list[str]]) -> str:
    out = []
    for n, lines in enumerate(models, 1):
        out += [f"MODEL     {n:4d}", *lines, "ENDMDL"]
    return "\n".join(out) + "\nEND\n"


def nmr_variants(shared: Path) -> dict[str, str]:
    """An NMR entry whose three models differ in their waters, repeated:
    as it stands, moved rigidly (the same bonds and bond lengths), and
    stretched by 3% and 30% (other bond lengths; bonds lost), and with the
    carboxylates' double bonds moved by their lengths alone."""
    models = models_of((shared / "pdb" / "biopython_1LCD_nmr.pdb").read_text())
    return {
        "1LCD": as_models(models),
        "1LCD-repeated": as_models(models * 3),
        "1LCD-moved": as_models(models + [moved(m, 1.0, 7.5) for m in models]),
        "1LCD-stretched": as_models(models + [moved(m, 1.03, 0.0) for m in models] + models),
        "1LCD-torn": as_models(models + [moved(m, 1.3, 0.0) for m in models] + models),
        "1LCD-carboxylates": as_models(
            [carboxylates(m, 1.21, 1.36) for m in models] + [carboxylates(m, 1.36, 1.21) for m in models]
        ),
    }


def multi_model_inputs(shared: Path) -> dict[str, str]:
    inputs = nmr_variants(shared)
    for path in pdb_files(shared) + mdanalysis_pdb_files():
        text = decompressed_text(path)
        if sum(line.startswith("MODEL") for line in text.splitlines()) > 1:
            inputs[path.name] = text
    return inputs


PERCEIVED_BITS = (0x1, 0x2, 0x4, 0x8, 0x10, 0x200)


def perceived(mol) -> tuple:
    atoms = [
        (a.GetAtomicNum(), a.GetFormalCharge(), a.GetImplicitHCount(), a.IsAromatic(), a.IsInRing())
        for a in mol.GetAtoms()
    ]
    bonds = [
        (b.GetBgn().GetIdx(), b.GetEnd().GetIdx(), b.GetOrder(), b.IsAromatic(), b.IsInRing()) for b in mol.GetBonds()
    ]
    bits = [mol.HasPerceived(bit) for bit in PERCEIVED_BITS]
    return atoms, bonds, bits, velk.mol_to_string(mol, "pdb")


@pytest.mark.filterwarnings("ignore::nimbrel.velk.ReadWarning")
def test_models_read_in_one_stream_equal_models_read_alone(shared_testdata: Path, tmp_path: Path):
    """Consecutive models share what their topology decides; every model
    must come out as it does when it is the only one read."""
    inputs = multi_model_inputs(shared_testdata)
    assert "nmr_neopetrosiamide.pdb" in inputs and "iodata_water_trajectory.pdb" in inputs
    for name, text in inputs.items():
        path = tmp_path / "models.pdb"
        path.write_text(text)
        streamed = [perceived(mol) for mol in velk.read(path)]
        alone = [velk.mol_from_bytes(section.encode("latin-1"), "pdb") for section in split_models(text)]
        assert len(streamed) == len(alone), name
        for k, (ours, single) in enumerate(zip(streamed, alone)):
            assert ours == perceived(single), f"{name}, model {k + 1}"
