"""Molecule pictures: the SVG of 50 varied molecules, read back as XML.

Each label's box is measured from its text (the widths of the widest common
sans-serif face, the cap height and descent tall), so the boxes hold the
rendered glyphs. No two labels may overlap, no bond may run through a label, and
every heavy atom must be in the picture: as a label, or as a line end.
"""

from __future__ import annotations

import math
import xml.etree.ElementTree as ET

import pytest

from nimbrel import tamrin, velk
from nimbrel.velk import draw, draw_grid

SVG = "{http://www.w3.org/2000/svg}"

MOLECULES = [
    ("benzene", "c1ccccc1"),
    ("methane", "C"),
    ("water", "O"),
    ("ammonia", "N"),
    ("ethanol", "CCO"),
    ("acetic acid", "CC(=O)O"),
    ("glycine", "NCC(=O)O"),
    ("L-alanine", "C[C@H](N)C(=O)O"),
    ("caffeine", "Cn1cnc2c1c(=O)n(C)c(=O)n2C"),
    ("aspirin", "CC(=O)Oc1ccccc1C(=O)O"),
    ("ibuprofen", "CC(C)Cc1ccc(cc1)[C@@H](C)C(=O)O"),
    ("naphthalene", "c1ccc2ccccc2c1"),
    ("pyrene", "c1cc2ccc3cccc4ccc(c1)c2c34"),
    ("indole", "c1ccc2[nH]ccc2c1"),
    ("pyridinium", "c1cc[nH+]cc1"),
    ("sodium acetate", "CC(=O)[O-].[Na+]"),
    ("ammonium sulfate", "[NH4+].[NH4+].[O-]S(=O)(=O)[O-]"),
    ("calcium chloride", "[Ca+2].[Cl-].[Cl-]"),
    ("nitrobenzene", "c1ccc(cc1)[N+](=O)[O-]"),
    ("trans-2-butene", "C/C=C/C"),
    ("cis-stilbene", "c1ccc(cc1)/C=C\\c1ccccc1"),
    ("acetonitrile", "CC#N"),
    ("phenylacetylene", "C#Cc1ccccc1"),
    ("deuterochloroform", "[2H]C(Cl)(Cl)Cl"),
    ("13C methanol", "[13CH3]O"),
    ("heavy water", "[2H]O[2H]"),
    ("cisplatin", "N.N.Cl[Pt]Cl"),
    ("iron(II) cyclopentadienide", "[Fe+2].c1cc[cH-]c1.c1cc[cH-]c1"),
    ("18-crown-6", "C1COCCOCCOCCOCCOCCO1"),
    ("cyclododecane", "C1CCCCCCCCCCC1"),
    ("porphine", "c1cc2cc3ccc(cc4ccc(cc5ccc(cc1n2)[nH]5)n4)[nH]3"),
    ("glucose", "OC[C@H]1OC(O)[C@H](O)[C@@H](O)[C@@H]1O"),
    ("cholesterol", "C[C@H](CCCC(C)C)[C@H]1CC[C@@H]2[C@@]1(CC[C@H]3[C@H]2CC=C4[C@@]3(CC[C@@H](C4)O)C)C"),
    ("morphine", "CN1CC[C@]23[C@@H]4[C@H]1CC5=C2C(=C(C=C5)O)O[C@H]3[C@H](C=C4)O"),
    ("penicillin G", "CC1([C@@H](N2[C@H](S1)[C@@H](C2=O)NC(=O)Cc3ccccc3)C(=O)O)C"),
    ("trifluoroacetic acid", "OC(=O)C(F)(F)F"),
    ("bromoiodomethane", "BrCI"),
    ("phosphoric acid", "OP(=O)(O)O"),
    ("triphenylphosphine", "c1ccc(cc1)P(c1ccccc1)c1ccccc1"),
    ("DMSO", "CS(C)=O"),
    ("thiophene", "c1ccsc1"),
    ("phenylboronic acid", "OB(O)c1ccccc1"),
    ("tetramethylsilane", "C[Si](C)(C)C"),
    ("selenophene", "c1cc[se]c1"),
    ("alanine zwitterion", "C[C@@H](C(=O)[O-])[NH3+]"),
    ("anthracene", "c1ccc2cc3ccccc3cc2c1"),
    ("ATP", "Nc1ncnc2c1ncn2[C@@H]1O[C@H](COP(=O)(O)OP(=O)(O)OP(=O)(O)O)[C@@H](O)[C@H]1O"),
    ("cyclohexene", "C1CCC=CC1"),
    ("hexaamminecobalt(III)", "[NH3][Co+3]([NH3])([NH3])([NH3])([NH3])[NH3]"),
    ("cyclopropenyl cation", "C1=C[CH+]1"),
]


def em_width(text: str) -> float:
    """Advance widths of DejaVu Sans, the widest common sans-serif face, rounded up."""
    return sum(0.3 if c in "Iijl" else 0.84 if c in "+\u2212" else 1.0 if c in "MW" else 0.8 if c.isupper() else 0.65
               for c in text)


def text_box(text: ET.Element) -> tuple[float, float, float, float]:
    """The box of a text element of tspans that each shift the baseline by their dy."""
    x, y, size = float(text.get("x")), float(text.get("y")), float(text.get("font-size"))
    width, top, bottom = 0.0, math.inf, -math.inf
    for span in text.iter(f"{SVG}tspan"):
        y += float(span.get("dy", 0))
        span_size = float(span.get("font-size", size))
        width += em_width(span.text) * span_size
        top, bottom = min(top, y - 0.75 * span_size), max(bottom, y + 0.2 * span_size)
    return x, top, x + width, bottom


def label_boxes(root: ET.Element) -> dict[int, tuple[float, float, float, float]]:
    boxes = {}
    for group in root.iter(f"{SVG}g"):
        if group.get("class") == "atom":
            parts = [text_box(t) for t in group.iter(f"{SVG}text")]
            boxes[int(group.get("data-atom"))] = (
                min(p[0] for p in parts), min(p[1] for p in parts), max(p[2] for p in parts), max(p[3] for p in parts))
    return boxes


def overlap(a, b) -> bool:
    return a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]


def crosses(p, q, box, slack: float) -> bool:
    """Whether the segment pq passes through the box shrunk by `slack` on every side."""
    x0, y0, x1, y1 = box[0] + slack, box[1] + slack, box[2] - slack, box[3] - slack
    t0, t1 = 0.0, 1.0
    for start, delta, lo, hi in ((p[0], q[0] - p[0], x0, x1), (p[1], q[1] - p[1], y0, y1)):
        if abs(delta) < 1e-12:
            if not lo < start < hi:
                return False
            continue
        a, b = sorted(((lo - start) / delta, (hi - start) / delta))
        t0, t1 = max(t0, a), min(t1, b)
    return t0 < t1


def bond_segments(root: ET.Element):
    for group in root.iter(f"{SVG}g"):
        if group.get("class") == "bond":
            ends = tuple(int(n) for n in group.get("data-atoms").split())
            for line in group.iter(f"{SVG}line"):
                yield ends, (float(line.get("x1")), float(line.get("y1"))), (float(line.get("x2")), float(line.get("y2")))


def symbol_of(label: ET.Element) -> str:
    """The element symbol of a label: its full-size piece that is not a hydrogen count."""
    pieces = [span.text for span in label.iter(f"{SVG}tspan") if span.get("font-size") is None]
    return next((p for p in pieces if p != "H"), "H")


def heavy_atoms(mol) -> int:
    return sum(atom.GetAtomicNum() != 1 for atom in mol.GetAtoms())


@pytest.mark.parametrize("name, smiles", MOLECULES, ids=[name for name, _ in MOLECULES])
def test_labels_apart_and_every_atom_drawn(name, smiles):
    mol = velk.mol_from_string(smiles, "smi")
    root = ET.fromstring(draw(mol, size=(300, 240)))
    boxes = label_boxes(root)
    items = sorted(boxes.items())
    clashes = [(i, j) for n, (i, a) in enumerate(items) for j, b in items[n + 1:] if overlap(a, b)]
    assert not clashes, f"{name}: overlapping labels of atoms {clashes}"

    # A bond stops short of every label, its own included.
    through = [(ends, atom) for ends, p, q in bond_segments(root) for atom, box in boxes.items()
               if crosses(p, q, box, slack=1.0)]
    assert not through, f"{name}: bonds through labels {through[:5]}"

    labelled_heavy = {int(g.get("data-atom")) for g in root.iter(f"{SVG}g")
                      if g.get("class") == "atom" and symbol_of(g) != "H"}
    bond_ends = {int(n) for g in root.iter(f"{SVG}g") if g.get("class") == "bond" for n in g.get("data-atoms").split()}
    unlabelled = bond_ends - set(boxes)
    assert len(labelled_heavy) + len(unlabelled) == heavy_atoms(mol), name
    assert mol.GetDimension() == 0, "drawing must not lay out the caller's molecule"


def label_texts(svg: str) -> list[str]:
    root = ET.fromstring(svg)
    return sorted("".join(t.itertext()) for g in root.iter(f"{SVG}g") if g.get("class") == "atom"
                  for t in g.iter(f"{SVG}text"))


@pytest.mark.parametrize("smiles, labels", [
    ("c1ccccc1", []),
    ("C", ["CH4"]),
    ("O", ["H2O"]),
    ("N", ["NH3"]),
    ("[NH4+]", ["NH4+"]),
    ("[Ca+2].[Cl-].[Cl-]", ["Ca2+", "Cl\u2212", "Cl\u2212"]),
    ("[13CH4]", ["13CH4"]),
    ("[2H]O[2H]", ["2H", "2H", "O"]),
    ("CC(=O)[O-]", ["O", "O\u2212"]),
    ("C[N+](C)(C)C", ["N+"]),
    ("[Fe+3]", ["Fe3+"]),
])
def test_labels_as_chemists_write_them(smiles, labels):
    assert label_texts(draw(velk.mol_from_string(smiles, "smi"))) == labels


def test_hydrogens_sit_on_the_side_away_from_the_bonds():
    # The terminal oxygen of each: its one bond leaves to one side; the H goes to the other.
    for smiles in ("CCO", "OCC", "CC(=O)O", "OC(=O)C(F)(F)F", "NCC(=O)O"):
        root = ET.fromstring(draw(velk.mol_from_string(smiles, "smi")))
        for group in root.iter(f"{SVG}g"):
            if group.get("class") != "atom":
                continue
            text = "".join(next(group.iter(f"{SVG}text")).itertext())
            if len(text) < 2 or "H" not in text or text.startswith("H") == text.endswith("H"):
                continue
            atom, x = group.get("data-atom"), float(group.get("data-x"))
            far = [max((float(l.get("x1")), float(l.get("x2"))), key=lambda v: abs(v - x))
                   for g in root.iter(f"{SVG}g") if g.get("class") == "bond" and atom in g.get("data-atoms").split()
                   for l in g.iter(f"{SVG}line")]
            leaves_right = sum(v - x for v in far) > 0
            assert text.startswith("H") == leaves_right, (smiles, text)


@pytest.mark.parametrize("smiles, doubles", [("c1ccccc1", 3), ("C1CCC=CC1", 1), ("C1=CC=CCCCC1", 2)])
def test_second_line_of_a_ring_double_bond_is_the_inner_one(smiles, doubles):
    root = ET.fromstring(draw(velk.mol_from_string(smiles, "smi")))
    lines = [[(float(l.get("x1")), float(l.get("y1"))), (float(l.get("x2")), float(l.get("y2")))]
             for l in root.iter(f"{SVG}line")]
    centre = tuple(sum(p[k] for line in lines for p in line) / (2 * len(lines)) for k in (0, 1))
    seen = 0
    for group in root.iter(f"{SVG}g"):
        pair = [[(float(l.get("x1")), float(l.get("y1"))), (float(l.get("x2")), float(l.get("y2")))]
                for l in group.iter(f"{SVG}line")] if group.get("class") == "bond" else []
        if len(pair) == 2:
            seen += 1
            inner, outer = sorted(pair, key=lambda line: math.dist(*line))
            middle = [((a[0] + b[0]) / 2, (a[1] + b[1]) / 2) for a, b in (inner, outer)]
            assert math.dist(centre, middle[0]) < math.dist(centre, middle[1]) - 2, smiles
    assert seen == doubles


def test_draw_writes_the_file_it_returns_and_jupyter_shows_the_same(tmp_path):
    mol = velk.mol_from_string("CC(=O)Nc1ccc(O)cc1 paracetamol", "smi")
    svg = velk.draw(mol, tmp_path / "out.svg", size=(320, 200))
    assert (tmp_path / "out.svg").read_text(encoding="utf-8") == svg
    root = ET.fromstring(svg)
    assert (root.get("width"), root.get("height")) == ("320", "200")
    assert mol._repr_svg_() == velk.draw(mol)


def test_a_3d_molecule_is_drawn_flat_without_its_hydrogens():
    xyz = ("6\nmethanol\nC 0.0 0.0 0.0\nO 1.42 0.0 0.0\nH -0.36 1.03 0.0\nH -0.36 -0.51 0.89\n"
           "H -0.36 -0.51 -0.89\nH 1.74 -0.9 0.0\n")
    mol = velk.mol_from_string(xyz, "xyz")
    assert mol.GetDimension() == 3
    assert label_texts(draw(mol)) in (["OH"], ["HO"])
    assert mol.GetDimension() == 3 and mol.NumAtoms() == 6


def test_grid_places_a_cell_per_molecule_with_its_legend():
    mols = [velk.mol_from_string(s, "smi") for s in ("C", "CC", "CCC", "CCCC", "CCCCC")]
    root = ET.fromstring(draw_grid(mols, cols=2, legends=["a", "b", "c", "d", "e"], size=(100, 80)))
    cells = [g for g in root.iter(f"{SVG}g") if g.get("class") == "cell"]
    legends = [t.text for t in root.iter(f"{SVG}text") if t.get("class") == "legend"]
    assert (root.get("width"), root.get("height"), len(cells), legends) == ("200", "288", 5, list("abcde"))
    assert ET.fromstring(draw(tamrin.QvGraphMol())).find(f"{SVG}g") is None


@pytest.mark.parametrize("call, error, message", [
    (lambda m: draw(m, size=0), ValueError, "size must be positive"),
    (lambda m: draw(m, size="big"), TypeError, "size is a number of pixels"),
    (lambda m: draw_grid([m], cols=0), ValueError, "cols must be at least 1"),
    (lambda m: draw_grid([m, m], legends=["one"]), ValueError, "1 legends for 2 molecules"),
    (lambda m: draw(None), TypeError, "draw takes a molecule, not NoneType"),
])
def test_bad_arguments_are_refused_clearly(call, error, message):
    with pytest.raises(error, match=message):
        call(velk.mol_from_string("CCO", "smi"))
