"""CDX against Open Babel as the independent reader, on real files and on
what we write; and the clear refusals of what the reader cannot take.

Open Babel is run as its command-line program on the real files: its library
reads a whole CDX document in one call and aborts the process when asked for
a second. Its known slips are left out of the comparison: charges (it reads
the one-byte charge of ChemDraw 18 as +255) and hydrogen counts of labelled
atoms without a count (it leaves them radicals).
"""

from __future__ import annotations

import shutil
import struct
import subprocess
import sys
import warnings
from collections import Counter
from pathlib import Path

import pytest

from nimbrel import velk

ob = pytest.importorskip("openbabel.openbabel")
OBABEL = shutil.which("obabel", path=str(Path(sys.executable).parent)) or shutil.which("obabel")

# file, what our reader refuses (a warning text), or None when it reads all.
REAL_FILES = [
    ("cdxconverter_test.cdx", None),
    ("chemdrawconverter_mol80.cdx", None),
    ("openbabel_molrxnmix.cdx", None),
    ("pycdxml_magnesium_citrate.cdx", None),
    ("rdkit_structure_5.cdx", None),
    ("rdkit_US11149044-C00006.cdx", 'node 150 ("-O", an element list) is not an atom'),
]


def heavy_graph_ours(mol) -> tuple:
    """Element counts and bond count of the non-hydrogen atoms."""
    heavy = {a.GetIdx() for a in mol.GetAtoms() if a.GetAtomicNum() > 1}
    elements = Counter(a.GetAtomicNum() for a in mol.GetAtoms() if a.GetAtomicNum() > 1)
    bonds = sum(1 for b in mol.GetBonds() if b.GetBgn().GetIdx() in heavy and b.GetEnd().GetIdx() in heavy)
    return tuple(sorted(elements.items())), bonds


def heavy_graphs_openbabel(path: Path) -> list[tuple]:
    """The same per molecule, from the SD file Open Babel writes for the CDX file."""
    out = subprocess.run([OBABEL, "-icdx", str(path), "-osdf", "-am"], capture_output=True, text=True, timeout=120)
    graphs = []
    for record in out.stdout.split("$$$$\n")[:-1]:
        lines = record.split("\n")
        natoms, nbonds = int(lines[3][:3]), int(lines[3][3:6])
        symbols = [line[31:34].strip() for line in lines[4 : 4 + natoms]]
        heavy = {i + 1 for i, s in enumerate(symbols) if s not in ("H", "*")}
        elements = Counter(ob.GetAtomicNum(s) for s in symbols if s not in ("H", "*"))
        bonds = sum(
            1
            for line in lines[4 + natoms : 4 + natoms + nbonds]
            if int(line[:3]) in heavy and int(line[3:6]) in heavy
        )
        graphs.append((tuple(sorted(elements.items())), bonds))
    return graphs


def read_with_warnings(path: Path) -> tuple[list, list[str]]:
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        mols = list(velk.read(path))
    return mols, [str(w.message) for w in caught]


@pytest.mark.skipif(OBABEL is None, reason="Open Babel's obabel program is not installed")
@pytest.mark.parametrize(("name", "refusal"), REAL_FILES, ids=[f for f, _ in REAL_FILES])
def test_real_files_match_open_babel(shared_testdata: Path, name: str, refusal: str | None) -> None:
    path = shared_testdata / "cdx" / name
    mols, texts = read_with_warnings(path)
    if refusal:
        assert mols == [] and any(refusal in t for t in texts), texts
        return
    assert texts == []
    ours = sorted(heavy_graph_ours(m) for m in mols)
    theirs = sorted(heavy_graphs_openbabel(path))
    assert ours == theirs


def test_real_files_keep_charges_and_hydrogens(shared_testdata: Path) -> None:
    """What Open Babel gets wrong, against what the drawings show."""
    mols, _ = read_with_warnings(shared_testdata / "cdx" / "pycdxml_magnesium_citrate.cdx")
    smiles = sorted(velk.mol_to_string(m, "smi").split()[0] for m in mols)
    assert smiles == ["OC(CC(=O)[O-])(CC(=O)[O-])C(=O)[O-]"] * 2 + ["[Mg+2]"] * 3
    (pyrrole,) = velk.read(shared_testdata / "cdx" / "rdkit_structure_5.cdx")
    assert velk.mol_to_string(pyrrole, "smi").split()[0] == "c1cc[nH]c1"


def canonical(mol) -> str:
    return velk.mol_to_string(mol, "smi").split()[0]


def open_babel_smiles(path: Path) -> str:
    """Open Babel's reading of a one-molecule CDX file, as SMILES."""
    conv = ob.OBConversion()
    conv.SetInAndOutFormats("cdx", "smi")
    mol = ob.OBMol()
    assert conv.ReadFile(mol, str(path)), path
    return conv.WriteString(mol).split()[0]


def test_round_trip_through_open_babel(set_a_lines: list[str], tmp_path: Path) -> None:
    """Ours -> CDX -> ours, and ours -> CDX -> Open Babel -> SMILES -> ours, are the molecule we started from."""
    ob.obErrorLog.SetOutputLevel(0)
    lost_self, lost_ob = [], []
    lines = set_a_lines[:400]
    for n, line in enumerate(lines):
        mol = velk.mol_from_string(line, "smi")
        assert mol is not None, line
        expected = canonical(mol)
        data = velk.mol_to_bytes(mol, "cdx")
        back = velk.mol_from_bytes(data, "cdx")
        if back is None or canonical(back) != expected:
            lost_self.append(line)
        path = tmp_path / f"{n}.cdx"
        path.write_bytes(data)
        theirs = velk.mol_from_string(open_babel_smiles(path), "smi")
        if theirs is None or canonical(theirs) != expected:
            lost_ob.append(line)
    assert lost_self == []
    assert lost_ob == []


def cdx_object(tag: int, ident: int, *content: bytes) -> bytes:
    return struct.pack("<HI", tag, ident) + b"".join(content) + b"\0\0"


def cdx_prop(tag: int, data: bytes) -> bytes:
    return struct.pack("<HH", tag, len(data)) + data


def node(ident: int, x: int, *props: bytes) -> bytes:
    return cdx_object(0x8004, ident, cdx_prop(0x0200, struct.pack("<ii", 0, x * 1000000)), *props)


def bond(ident: int, a: int, b: int, *props: bytes) -> bytes:
    return cdx_object(0x8005, ident, cdx_prop(0x0604, struct.pack("<i", a)), cdx_prop(0x0605, struct.pack("<i", b)), *props)


def document(*fragments: bytes) -> bytes:
    return b"VjCD0100\x04\x03\x02\x01" + bytes(10) + cdx_object(0x8000, 1, cdx_object(0x8001, 2, *fragments))


ETHANOL = cdx_object(0x8003, 10, node(11, 0), node(12, 1), node(13, 2, cdx_prop(0x0402, b"\x08\x00")),
                     bond(14, 11, 12), bond(15, 12, 13))
LABEL = cdx_object(0x8006, 0, cdx_prop(0x0700, b"\0\0Ph"))
INNER_OET = cdx_object(0x8003, 30, node(31, 0, cdx_prop(0x0402, b"\x08\x00")), node(32, 1), node(33, 2),
                       node(34, 3, cdx_prop(0x0400, b"\x0c\x00")), bond(35, 34, 31), bond(36, 31, 32), bond(37, 32, 33))

# name, fragment between two ethanols, and the molecule it gives (SMILES) or
# the warning that refuses it.
FRAGMENTS = [
    ("abbreviation expanded", cdx_object(0x8003, 20, node(21, 0),
                                         node(22, 1, cdx_prop(0x0400, b"\x05\x00"), INNER_OET), bond(23, 21, 22)),
     "CCOC", None),
    ("wedge, charge, isotope, name", cdx_object(
        0x8003, 20, cdx_prop(0x0008, b"skipped"), node(21, 0), node(22, 1, cdx_prop(0x0421, b"\xff"), cdx_prop(0x0402, b"\x08\x00")),
        node(23, 0, cdx_prop(0x0420, b"\x0d\x00")), node(24, 2), node(25, 3, cdx_prop(0x0402, b"\x09\x00")),
        bond(26, 21, 22), bond(27, 21, 23), bond(28, 21, 24, cdx_prop(0x0601, b"\x06\x00")), bond(29, 21, 25)),
     "[13CH3][C@@H]([O-])(C)F", None),
    ("abbreviation without structure", cdx_object(0x8003, 20, node(21, 0),
                                                  node(22, 1, cdx_prop(0x0400, b"\x04\x00"), LABEL), bond(23, 21, 22)),
     None, 'node 22 is the abbreviation "Ph", which comes without its structure'),
    ("generic label", cdx_object(0x8003, 20, node(21, 0, cdx_prop(0x0400, b"\x07\x00"), LABEL)),
     None, 'node 21 ("Ph", a generic label) is not an atom'),
    ("half bond order", cdx_object(0x8003, 20, node(21, 0), node(22, 1), bond(23, 21, 22, cdx_prop(0x0600, b"\x40\x00"))),
     None, "bond 23 has the order 0x40, which is no single, double, triple or aromatic bond"),
    ("bond to a missing node", cdx_object(0x8003, 20, node(21, 0), bond(23, 21, 99)),
     None, "bond 23 joins node 99, which is not in its fragment"),
]


@pytest.mark.parametrize(("name", "fragment", "smiles", "refusal"), FRAGMENTS, ids=[f[0] for f in FRAGMENTS])
def test_fragments_read_or_refused_between_good_ones(
    tmp_path: Path, name: str, fragment: bytes, smiles: str | None, refusal: str | None
) -> None:
    path = tmp_path / "three.cdx"
    path.write_bytes(document(ETHANOL, fragment, ETHANOL))
    mols, texts = read_with_warnings(path)
    got = [canonical(m) for m in mols]
    if smiles:
        assert got == ["CCO", canonical(velk.mol_from_string(smiles, "smi")), "CCO"] and texts == []
    else:
        assert got == ["CCO", "CCO"]
        assert any(f"CDX fragment refused: {refusal}" in t for t in texts), texts


def test_cut_or_damaged_files_warn_and_never_crash(tmp_path: Path) -> None:
    whole = document(ETHANOL, ETHANOL)
    first = whole.index(ETHANOL)
    spans = [(first, first + len(ETHANOL)), (first + len(ETHANOL), first + 2 * len(ETHANOL))]
    path = tmp_path / "cut.cdx"
    for end in range(len(whole)):
        path.write_bytes(whole[:end])
        mols, texts = read_with_warnings(path)
        assert [canonical(m) for m in mols] == ["CCO"] * sum(stop <= end for _, stop in spans), end
        if any(start < end < stop for start, stop in spans):
            assert any("CDX data end inside an object" in t for t in texts), end
    path.write_bytes(b"<?xml version='1.0'?><CDXML/>")
    mols, texts = read_with_warnings(path)
    assert mols == [] and any('Not a CDX document: it does not begin with "VjCD0100"' in t for t in texts)
    # A length far beyond the data is data cut short, not an allocation.
    path.write_bytes(document(ETHANOL)[:-4] + struct.pack("<HHI", 0x0700, 0xFFFF, 0xFFFFFFF0))
    mols, texts = read_with_warnings(path)
    assert [canonical(m) for m in mols] == ["CCO"] and any("CDX data end inside an object" in t for t in texts)


def test_several_molecules_written_read_back_in_order(tmp_path: Path) -> None:
    path = tmp_path / "many.cdx"
    smiles = ["CCO", "c1ccccc1", "C[C@H](N)C(=O)O"]
    with velk.open_writer(path) as w:
        for s in smiles:
            w.append(velk.mol_from_string(s, "smi"))
    assert [canonical(m) for m in velk.read(path)] == [canonical(velk.mol_from_string(s, "smi")) for s in smiles]
