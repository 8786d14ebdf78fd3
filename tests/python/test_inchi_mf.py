"""Molecular formulas, InChI and InChIKey against RDKit as the oracle.

The corpus: every record of the shared SD files and every line of the shared
SMILES files, plus the first molecules of the shared 100k SMILES set, each
read by us and by RDKit from the same text. Our formula, InChI and InChIKey
of each must be RDKit's; our reading of our InChI must give the molecule
RDKit's InChI reader gives (same canonical isomeric SMILES) and the same
InChI again. The shared InChI files check the reader on other programs'
InChIs and the writer's isotopes against the InChI program's own output.
Skipped without the shared data; the flavor and bad-input cases make their
own inputs.
"""

from __future__ import annotations

import gzip
import re
from pathlib import Path

import pytest

from rdkit import Chem, RDLogger
from rdkit.Chem import rdMolDescriptors

from nimbrel import velk

from conftest import SHARED_TESTDATA


SET_A_COUNT = 1500


def canonical(smiles: str | None) -> str | None:
    mol = Chem.MolFromSmiles(smiles) if smiles else None
    return Chem.MolToSmiles(mol) if mol is not None else None


def our_smiles(mol) -> str | None:
    """Our canonical isomeric SMILES, put in RDKit's canonical form."""
    fields = velk.mol_to_string(mol, "smi").split()
    return canonical(fields[0]) if fields else None


def first_field(text: str) -> str:
    return text.split()[0] if text.strip() else ""


def our_inchi(mol) -> str:
    return first_field(velk.mol_to_string(mol, "inchi"))


def corpus_texts(root: Path, set_a_lines: list[str], set_a_count: int = SET_A_COUNT):
    """(label, text, format, RDKit's molecule) for every molecule of the corpus."""
    for path in sorted((root / "sdf").iterdir()):
        data = path.read_bytes()
        text = (gzip.decompress(data) if path.suffix == ".gz" else data).decode()
        for number, record in enumerate(r for r in text.split("$$$$\n") if r.strip()):
            yield f"{path.name}#{number}", record + "$$$$\n", "sdf", Chem.MolFromMolBlock(record, removeHs=False)
    lines = [(f"{p.name}:{n}", line) for p in sorted((root / "smiles").iterdir())
             for n, line in enumerate(p.read_text().splitlines(), 1)]
    lines += [(f"set A:{n}", line) for n, line in enumerate(set_a_lines[:set_a_count], 1)]
    for label, line in lines:
        if line.strip():
            yield label, line, "smi", Chem.MolFromSmiles(line.split()[0])


@pytest.fixture(scope="module")
def corpus(set_a_lines) -> list[tuple[str, object, object]]:
    """(label, our molecule, RDKit's) where both read the text; the texts one of
    us refuses (reactions, bad SMILES) are left out and counted."""
    RDLogger.DisableLog("rdApp.*")
    pairs, refused = [], []
    for label, text, fmt, ref in corpus_texts(SHARED_TESTDATA, set_a_lines):
        mine = velk.mol_from_string(text, fmt)
        if ref is None or mine is None or mine.NumAtoms() == 0:
            refused.append(label)
        else:
            pairs.append((label, mine, ref))
    print(f"\ncorpus: {len(pairs)} molecules, left out (refused by RDKit or us): {refused}")
    assert len(pairs) >= SET_A_COUNT
    return pairs


def test_formula_inchi_and_key_equal_rdkit(corpus):
    outputs = {
        "formula": (lambda m: first_field(velk.mol_to_string(m, "mf")), rdMolDescriptors.CalcMolFormula),
        "inchi": (our_inchi, Chem.MolToInchi),
        "inchikey": (lambda m: first_field(velk.mol_to_string(m, "inchikey")), Chem.MolToInchiKey),
    }
    for what, (ours, theirs) in outputs.items():
        differ = [(label, ours(mine), theirs(ref)) for label, mine, ref in corpus if ours(mine) != theirs(ref)]
        print(f"{what}: {len(corpus) - len(differ)}/{len(corpus)} equal")
        assert differ == [], what


def without_isotopes(smiles: str | None) -> str | None:
    mol = Chem.MolFromSmiles(smiles) if smiles else None
    if mol is None:
        return None
    for atom in mol.GetAtoms():
        atom.SetIsotope(0)
    return Chem.MolToSmiles(mol)


def check_read_back(items: list[tuple[str, str]]) -> list[tuple]:
    """For (label, InChI) pairs, what our reader gives against RDKit: its
    reading of the InChI must be our molecule (same canonical isomeric
    SMILES). RDKit drops isotope labels at the element's nominal mass
    ("/i1+0"), which we keep: such a molecule must agree once the labels are
    removed, and RDKit's InChI of ours must then be the InChI read. Returns
    the failures; prints the figures, with how often RDKit's InChI of our
    molecule is the InChI read (not always: a SMILES cannot hold every
    layer, and the library does not always reproduce its own InChI)."""
    failures, same_inchi, same_smiles, refused = [], 0, 0, []
    for label, inchi in items:
        mol = velk.mol_from_string(inchi, "inchi")
        assert mol is not None, (label, inchi)
        ours = our_smiles(mol)
        theirs = Chem.MolFromInchi(inchi)
        if ours is None or theirs is None:
            refused.append(label)
            continue
        again = Chem.MolToInchi(Chem.MolFromSmiles(ours))
        theirs = Chem.MolToSmiles(theirs)
        same_inchi += again == inchi
        same_smiles += ours == theirs
        nominal_only = "+0" in inchi and without_isotopes(ours) == without_isotopes(theirs)
        if ours != theirs and not (nominal_only and again == inchi):
            failures.append((label, inchi, ours, theirs, again))
    print(f"\n{len(items)} InChIs read; RDKit cannot take {refused}; of the rest, "
          f"RDKit writes the same InChI for {same_inchi}, reads the same molecule for {same_smiles}")
    return failures


def test_our_inchi_reads_back(corpus):
    """The library's structure output places mobile hydrogens where it likes,
    so an amide may come back as its iminol: the InChI does not say which
    tautomer was written. The count of molecules that come back exactly as
    written is printed."""
    items = [(label, our_inchi(mine)) for label, mine, _ in corpus]
    assert check_read_back([item for item in items if item[1]]) == []
    back = [our_smiles(velk.mol_from_string(inchi, "inchi")) if inchi else None for _, inchi in items]
    identical = sum(b == our_smiles(mine) for b, (_, mine, _) in zip(back, corpus))
    print(f"same canonical SMILES as the molecule written: {identical}/{len(corpus)}")


def inchi_lines(root: Path) -> list[str]:
    """The InChIs of the shared files: one per line, or after 'Structure: N'."""
    steffen = (root / "inchi" / "openbabel_Steffen_PubChem.smi.txt").read_text().split()
    samples = (root / "inchi" / "openbabel_Samples.sdf.txt").read_text().splitlines()
    return steffen + [line for line in samples if line.startswith("InChI=1")]


def test_other_programs_inchis_read_back(shared_testdata, tmp_path):
    RDLogger.DisableLog("rdApp.*")
    lines = inchi_lines(shared_testdata)
    path = tmp_path / "mixed.inchi"
    path.write_text("".join(f"{line} record{n}\n" for n, line in enumerate(lines)))
    assert [m.GetTitle() for m in velk.read(path, format="inchi")] == [f"record{n}" for n in range(len(lines))]
    assert check_read_back([(f"record{n}", line) for n, line in enumerate(lines)]) == []


def test_isotopes_as_the_inchi_program_writes_them(shared_testdata):
    rows = [line.split("\t") for line in (shared_testdata / "inchi" / "openbabel_inchi_isotopes.txt")
            .read_text().splitlines() if line and not line.startswith("#")]
    wrong = []
    for smiles, expected in rows:
        written = our_inchi(velk.mol_from_string(smiles, "smi"))
        back = velk.mol_from_string(expected, "inchi")
        mass = next(iter(back.GetAtoms())).GetIsotope()
        if written != expected or mass != int(re.match(r"\[(\d+)", smiles).group(1)):
            wrong.append((smiles, expected, written, mass))
    assert len(rows) == 103
    assert wrong == []


@pytest.mark.parametrize("fmt, flavor, smiles, expected", [
    # Formula: the title after a blank with bit 0x1 (the default), none without.
    ("mf", 0x1, "OCC[O-] glycolate", "C2H5O2- glycolate"),
    ("mf", 0x4000, "OCC[O-] glycolate", "C2H5O2-"),
    ("mf", 0x1, "[Fe+3].[Cl-].[Cl-]", "Cl2Fe+"),
    ("mf", 0x1, "*CO", "CH3*O"),
    # Standard InChI with stereo by default; no stereo layers without 0x2.
    ("inchi", 0x82, "C[C@H](N)C(=O)O", "InChI=1S/C3H7NO2/c1-2(4)3(5)6/h2H,4H2,1H3,(H,5,6)/t2-/m0/s1"),
    ("inchi", 0x80, "C[C@H](N)C(=O)O", "InChI=1S/C3H7NO2/c1-2(4)3(5)6/h2H,4H2,1H3,(H,5,6)"),
    ("inchi", 0x82, "F/C=C\\F", "InChI=1S/C2H2F2/c3-1-2-4/h1-2H/b2-1-"),
    # Fixed hydrogens make it non-standard, and its key says so.
    ("inchi", 0x83, "O=C1C=CC=CN1", "InChI=1/C5H5NO/c7-5-3-1-2-4-6-5/h1-4H,(H,6,7)/f/h6H"),
    ("inchikey", 0x83, "O=C1C=CC=CN1", "UBQKCCHYAOITMY-BRMMOCHJNA-N"),
    ("inchikey", 0x82, "O=C1C=CC=CN1", "UBQKCCHYAOITMY-UHFFFAOYSA-N"),
])
def test_flavors(fmt, flavor, smiles, expected):
    mol = velk.mol_from_string(smiles, "smi")
    assert velk.mol_to_string(mol, fmt, flavor) == expected + "\n"


@pytest.mark.parametrize("line, reason", [
    ("InChI=1S/C2/zz", "not the layout of an InChI"),
    ("inChI=1/2CH4/h2*1H4", "not the layout of an InChI"),
    # Shapes on which the InChI library's parser crashes or corrupts its
    # memory: a lone atom as a component's connections, a layer given
    # twice, layers whose parts do not match the formula's components.
    ("InChI=1S/C5H5NO/c7", "not the layout of an InChI"),
    ("InChI=1S/4C5H5.2Fe/c6/c1-2-4-6-5-3-1/h1-6H", "not the layout of an InChI"),
    ("InChI=1S/Lr5H5.2Fe/c4*1-2-4-5-3-1;;/h4*1-5H;;/q;;2*-9;;+2", "not the layout of an InChI"),
    # Well formed, but no structure fits it: the library says so.
    ("InChI=1S/C2H6O/c1-2-3/h3H,2H2,1H3/b3-2+", "*Conversion failed on component(s) 1(C2H6O)"),
])
def test_bad_inchi_is_reported_and_the_next_line_read(line, reason, tmp_path, capfd):
    path = tmp_path / "three.inchi"
    path.write_text(f"InChI=1S/CH4/h1H4 methane\n{line} broken\n\nInChI=1S/H2O/h1H2 water\n")
    with pytest.warns(velk.ReadWarning, match=f"velk: '{path}': record 2") as caught:
        mols = list(velk.read(path, format="inchi"))
    assert [(m.GetTitle(), m.NumAtoms()) for m in mols] == [("methane", 1), ("water", 1)]
    assert f'\nInvalid InChI "{line}" for molecule "broken": {reason}' in str(caught[0].message)
    assert capfd.readouterr().err == ""


def test_library_warnings_on_reading_name_the_molecule():
    with pytest.warns(velk.ReadWarning, match='InChI warning for molecule "odd": Problems/mismatches: '):
        mol = velk.mol_from_string("InChI=1S/C2H6O/c1-2-3/h3H,2H2,1H3/q+9 odd", "inchi")
    assert mol is not None and mol.GetTitle() == "odd"


@pytest.mark.parametrize("fmt", ["inchi", "inchikey"])
def test_a_molecule_without_an_inchi_is_reported_and_left_out(fmt):
    wildcard = velk.mol_from_string("*C title", "smi")
    with pytest.warns(velk.WriteWarning) as caught:
        assert velk.mol_to_string(wildcard, fmt) == ""
    assert [str(w.message) for w in caught] == ['InChI error for molecule "title": Unknown element(s): *']


@pytest.mark.parametrize("smiles", ["C[C@H](O)CC", "N[C@@H](Cc1ccccc1)C(=O)O", "F/C=C/Cl", "C/C=C\\C[C@@H](C)Br"])
def test_stereo_from_3d_coordinates(smiles):
    """A molecule read from XYZ has no stereo of its own: the writer takes it
    from the coordinates, as RDKit's InChI of the embedded molecule does."""
    from rdkit.Chem import AllChem

    ref = Chem.AddHs(Chem.MolFromSmiles(smiles))
    assert AllChem.EmbedMolecule(ref, randomSeed=7) == 0
    mol = velk.mol_from_string(Chem.MolToXYZBlock(ref), "xyz")
    assert our_inchi(mol) == Chem.MolToInchi(ref)
    assert "/t" in our_inchi(mol) or "/b" in our_inchi(mol)
