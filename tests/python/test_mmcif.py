"""mmCIF entries written by other programs, against gemmi, and the same
entry read as PDB.

Our reader keeps the first alternate location ("A" or "1") and drops "DUM"
residues and "Q" pseudo-atoms, as the PDB reader does, so gemmi's side gets
the same filter. Every model we read is compared with gemmi's model (element,
coordinates), then written back as mmCIF by us and read by gemmi, which must
see the residues (name, number, chain, insertion code) and coordinates it
reads from the original: that covers the reader's residue fields and the
writer in one comparison. Skipped without the shared data.
"""

from __future__ import annotations

import gzip
from pathlib import Path

import gemmi
from test_pdb import elements_and_coords, gemmi_atoms

from nimbrel import velk


def mmcif_files(shared: Path, tmp_path: Path) -> list[Path]:
    """The shared entries, the compressed one unpacked (the CIF reader takes
    a ".cif" file; gzip is the stream's business, tested apart)."""
    files = sorted((shared / "mmcif").glob("*.cif"))
    for packed in sorted((shared / "mmcif").glob("*.cif.gz")):
        plain = tmp_path / packed.name[: -len(".gz")]
        plain.write_bytes(gzip.decompress(packed.read_bytes()))
        files.append(plain)
    assert len(files) >= 4, "mmCIF entries missing from the shared data"
    return files


def test_entries_agree_with_gemmi(shared_testdata: Path, tmp_path: Path):
    for path in mmcif_files(shared_testdata, tmp_path):
        expected = [gemmi_atoms(model, names=True) for model in gemmi.read_structure(str(path))]
        mols = list(velk.read(path, errors="raise"))
        assert len(mols) == len(expected), path.name
        for mol, model in zip(mols, expected):
            assert elements_and_coords(mol) == [a[:4] for a in model], path.name
            # Our residues and names, through our writer, as gemmi reads them.
            written = velk.mol_to_string(mol, "cif")
            (back,) = gemmi.make_structure_from_block(gemmi.cif.read_string(written)[0])
            assert gemmi_atoms(back, names=True) == model, path.name


def by_site(mol) -> tuple[dict, set]:
    """Atoms keyed by where they stand (chain, residue number, insertion
    code, residue name, atom name, alternate location), as our mmCIF writer
    gives them, with everything else the atom carries, and the bonds between
    those keys. The serial column is left out: PDB files count TER records
    among the serials, mmCIF does not."""
    lines = [line.split() for line in velk.mol_to_string(mol, "cif").splitlines()]
    sites = [line for line in lines if line[:1] in (["ATOM"], ["HETATM"])]
    atoms = list(mol.GetAtoms())
    assert len(sites) == len(atoms)
    keys = [(s[16], s[15], s[8], s[5], s[3], s[4]) for s in sites]
    assert len(set(keys)) == len(keys)
    table = {
        key: (s[0], s[2], *s[9:15], s[17], a.GetName(), a.GetImplicitHCount(), a.IsAromatic())
        for key, s, a in zip(keys, sites, atoms)
    }
    key_of = {a.GetIdx(): key for a, key in zip(atoms, keys)}
    bonds = {(frozenset((key_of[b.GetBgn().GetIdx()], key_of[b.GetEnd().GetIdx()])), b.GetOrder()) for b in mol.GetBonds()}
    return table, bonds


def test_pdb_and_mmcif_give_the_same_molecule(shared_testdata: Path):
    """1LCD (three NMR models) as PDB and as mmCIF, default perception, model
    by model: the PDB header's LINK records hold for every model, as the
    mmCIF connection records do. The PDB file lists the waters in another
    order, so atoms are matched by site rather than by place."""
    pdb = list(velk.read(shared_testdata / "pdb" / "biopython_1LCD_nmr.pdb", errors="raise"))
    cif = list(velk.read(shared_testdata / "mmcif" / "biopython_1LCD.cif", errors="raise"))
    assert len(pdb) == len(cif) == 3
    for k, (p, c) in enumerate(zip(pdb, cif)):
        p_atoms, p_bonds = by_site(p)
        c_atoms, c_bonds = by_site(c)
        assert len(p_atoms) > 1000 and len(p_bonds) > 1000
        assert p_atoms == c_atoms, f"model {k + 1}"
        assert p_bonds == c_bonds, f"model {k + 1}"
    assert pdb[0].GetTitle().upper() == cif[0].GetTitle().upper()
