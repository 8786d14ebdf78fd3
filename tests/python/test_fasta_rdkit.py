"""FASTA against RDKit's MolFromFASTA as the oracle.

A table of sequences in every alphabet (peptides with each standard residue,
RNA, DNA, DNA with a 5'-phosphate) read by us is RDKit's molecule (by
canonical isomeric SMILES); writing gives the sequence back, from the
residues the reader set and from residues perceived on a molecule without
them. The shared FASTA files read record by record write their sequences
back. Skipped only without the shared data (the table needs none).
"""

from __future__ import annotations

import re
from pathlib import Path

import pytest
from rdkit import Chem, RDLogger

from nimbrel import tamrin, velk

# Our flavor value -> RDKit's MolFromFASTA flavor.
RDKIT_FLAVOR = {0: 0, 1: 2, 2: 6, 3: 7}
ALL_AMINO_ACIDS = "ACDEFGHIKLMNPQRSTVWY"
SEQUENCES = [
    (0, ALL_AMINO_ACIDS),
    (0, ALL_AMINO_ACIDS[::-1]),
    (0, "G"),
    (0, "PIT"),
    (0, "WHY"),
    (1, "ACGU"),
    (1, "UUGCA"),
    (2, "ACGT"),
    (2, "TTGACA"),
    (3, "GATC"),
]


def read_ours(seq: str, flavor: int):
    return velk.mol_from_string(f">t\n{seq}\n", "fasta", 0x4000 | flavor)


@pytest.mark.parametrize("flavor,seq", SEQUENCES, ids=[f"{f}-{s}" for f, s in SEQUENCES])
def test_same_molecule_as_rdkit_and_sequence_back(flavor, seq):
    RDLogger.DisableLog("rdApp.*")
    ref = Chem.MolFromFASTA(f">t\n{seq}\n", flavor=RDKIT_FLAVOR[flavor])
    mol = read_ours(seq, flavor)
    assert mol is not None
    ours = Chem.MolFromSmiles(velk.mol_to_string(mol, "smi").split()[0])
    assert Chem.MolToSmiles(ours) == Chem.MolToSmiles(ref)
    assert velk.mol_to_string(mol, "fasta") == f">t\n{seq}\n"
    # Without residue data the writer perceives them.
    bare = velk.mol_from_string(velk.mol_to_string(mol, "smi"), "smi")
    bare.SetTitle("t")
    assert velk.mol_to_string(bare, "fasta") == f">t\n{seq}\n"


def test_pdb_output_names_the_residues():
    mol = read_ours("GA", 0)
    atoms = [line for line in velk.mol_to_string(mol, "pdb").splitlines() if line.startswith("ATOM")]
    assert [(line[12:16], line[17:20], line[21], int(line[22:26])) for line in atoms] == [
        (" N  ", "GLY", "A", 1), (" CA ", "GLY", "A", 1), (" C  ", "GLY", "A", 1), (" O  ", "GLY", "A", 1),
        (" N  ", "ALA", "A", 2), (" CA ", "ALA", "A", 2), (" C  ", "ALA", "A", 2), (" O  ", "ALA", "A", 2),
        (" CB ", "ALA", "A", 2), (" OXT", "ALA", "A", 2),
    ]


def test_bad_letter_is_reported_and_the_next_record_read(tmp_path, capfd):
    path = tmp_path / "two.fasta"
    path.write_text(">bad one\nACXD\n>good\nAC\n")
    with pytest.warns(velk.ReadWarning, match="record 1 could not be read") as caught:
        mols = list(velk.read(path))
    assert [m.GetTitle() for m in mols] == ["good"]
    assert "FASTA record \"bad one\": 'X' at sequence position 3 is no protein residue" in str(caught[0].message)
    assert capfd.readouterr().err == ""


# Shared files: (name, our flavor, records).
SHARED = [
    ("biopython_NC_005816_protein.fasta", 0, 10),
    ("biopython_NC_005816_cds.fasta", 2, 10),
    ("biopython_elderberry.fasta", 2, 1),
    ("biopython_fa01.fasta", 0, 2),
    ("biotite_selenocysteine.fasta", 0, 1),
    ("skbio_rna_msa.fasta", 1, 3),
]


def file_records(text: str) -> list[tuple[str, str, str]]:
    """(record text, title, sequence without gaps in upper case) of each record."""
    records = []
    for chunk in re.split(r"^>", text, flags=re.M)[1:]:
        head, _, body = chunk.replace("\r", "").partition("\n")
        lines = [line for line in body.splitlines() if not line.startswith(";")]
        records.append((">" + chunk, head.strip(), re.sub(r"[\s\-.*]", "", "".join(lines)).upper()))
    return records


@pytest.mark.parametrize("name,flavor,count", SHARED, ids=[s[0] for s in SHARED])
def test_shared_files_write_their_sequences_back(shared_testdata: Path, name, flavor, count):
    path = shared_testdata / "fasta" / name
    records = file_records(path.read_bytes().decode())
    assert len(records) == count
    for text, title, seq in records:
        mol = velk.mol_from_string(text, "fasta", 0x4000 | flavor)
        assert mol is not None, title
        assert velk.mol_to_string(mol, "fasta") == f">{title}\n{seq}\n"
        assert dict(tamrin.QvGetSDDataPairs(mol)) == ({"Id": title.split()[0]} if title else {})
