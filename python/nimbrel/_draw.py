"""Molecule pictures as SVG text: ``draw(mol)``, ``draw_grid(mols)`` and ``mol._repr_svg_()``.

The picture is drawn from the molecule's 2D layout; a molecule without one
(no coordinates, or 3D ones) is laid out afresh, on a copy. It is drawn the
way chemists draw: carbons as line ends, heteroatoms and terminal atoms as
labels with their hydrogens on the free side, charges and isotopes as
superscripts, aromatic rings in a Kekulé form with the inner lines inside
the ring, and stereocentres as wedge and hash bonds.

Everything is measured in bond lengths until the last step, so a smaller
canvas scales the whole picture, text included, and never crowds it.
"""

from __future__ import annotations

import math
import os
from dataclasses import dataclass, field
from typing import Any, Iterable, Sequence, Union

PathLike = Union[str, "os.PathLike[str]"]
Size = Union[int, tuple[int, int], None]

# Pixels per bond when the canvas does not force a smaller picture.
BOND_PX = 40.0
FONT = 0.5  # label height, in bond lengths
MIN_FONT = 0.25  # the smallest it shrinks to in crowded pictures
MARGIN = 0.5  # around the picture, in bond lengths
LINE = 0.045  # stroke width, in bond lengths
GAP = 0.18  # distance between the lines of a double bond
WEDGE = 0.16  # half width of the wide end of a wedge
FONT_FAMILY = "DejaVu Sans, Arial, Helvetica, sans-serif"
MAX_NATURAL_PX = 600  # a natural-size picture wider or taller than this is shrunk to fit

# CPK-like colours, darkened where the textbook colour is unreadable on white.
_COLOURS = {
    1: "#606060", 5: "#D08060", 6: "#202020", 7: "#2050F0", 8: "#E00D0D", 9: "#1FA01F",
    11: "#8040C0", 12: "#2C8C2C", 14: "#B08040", 15: "#F07800", 16: "#C0A000", 17: "#1FA01F",
    19: "#8040C0", 20: "#2C8C2C", 26: "#C06020", 29: "#C07830", 30: "#6070A0", 34: "#D08000",
    35: "#A62929", 53: "#940094",
}
_METAL_COLOUR = "#7A5A8A"
_OTHER_COLOUR = "#B040B0"
_NONMETALS = {0, 1, 2, 5, 6, 7, 8, 9, 10, 14, 15, 16, 17, 18, 33, 34, 35, 36, 52, 53, 54, 85, 86}

# Advance widths in em, as wide as those of the wider usual sans-serif faces
# (DejaVu Sans is wider than Arial), so that boxes computed from them hold
# the rendered glyphs.
_WIDE = set("MW")
_NARROW = set("Iijl")  # digits are all as wide as "0" in most faces
_SIGNS = set("+\u2212")


def _text_width(text: str, size: float) -> float:
    width = 0.0
    for ch in text:
        if ch in _WIDE:
            width += 1.0
        elif ch in _NARROW:
            width += 0.32
        elif ch in _SIGNS:
            width += 0.84
        elif ch.isupper():
            width += 0.8
        else:
            width += 0.65
    return width * size


def _colour(atomic_num: int) -> str:
    if atomic_num in _COLOURS:
        return _COLOURS[atomic_num]
    return _OTHER_COLOUR if atomic_num in _NONMETALS else _METAL_COLOUR


@dataclass
class _Atom:
    symbol: str
    atomic_num: int
    x: float
    y: float
    charge: int
    isotope: int
    hydrogens: int
    nbrs: list[int] = field(default_factory=list)
    box: tuple[float, float, float, float] | None = None  # label box (x0, y0, x1, y1), y up


@dataclass
class _Bond:
    a: int
    b: int
    order: int
    wedge: str  # "", "up", "hash" or "either"; the narrow end is `a`


# --- from a molecule to atoms and bonds in bond lengths -------------------------------------------

_V2000_WEDGES = {"1": "up", "6": "hash", "4": "either"}
_V3000_WEDGES = {"1": "up", "3": "hash", "2": "either"}


def _wedges_of_molfile(text: str) -> dict[tuple[int, int], str]:
    """The wedge marks of the first molfile in `text`, by (begin, end) atom numbers from 0."""
    lines = text.splitlines()
    marks: dict[tuple[int, int], str] = {}
    if len(lines) < 4:
        return marks
    if "V3000" in lines[3]:
        joined, held = [], ""
        for line in lines:
            if line.startswith("M  V30 "):
                body = held + line[7:]
                held = body[:-1] if body.endswith("-") else ""
                if not held:
                    joined.append(body)
        in_bonds = False
        for body in joined:
            words = body.split()
            if words[:2] == ["BEGIN", "BOND"] or words[:2] == ["END", "BOND"]:
                in_bonds = words[0] == "BEGIN"
                continue
            if in_bonds and len(words) >= 4:
                cfg = next((w[4:] for w in words[4:] if w.startswith("CFG=")), "")
                if cfg in _V3000_WEDGES:
                    marks[(int(words[2]) - 1, int(words[3]) - 1)] = _V3000_WEDGES[cfg]
        return marks
    try:
        atoms, bonds = int(lines[3][0:3]), int(lines[3][3:6])
    except ValueError:
        return marks
    for line in lines[4 + atoms: 4 + atoms + bonds]:
        stereo = line[9:12].strip()
        if stereo in _V2000_WEDGES:
            marks[(int(line[0:3]) - 1, int(line[3:6]) - 1)] = _V2000_WEDGES[stereo]
    return marks


def _depiction(mol: Any) -> tuple[list[_Atom], list[_Bond]]:
    """The atoms and bonds of `mol` as drawn, bond length 1, y up.

    The molfile writer lays out a molecule without 2D coordinates and marks
    its stereocentres with wedges (adding a hydrogen where a centre needs
    one), so its output, read back, is the picture. A 3D molecule goes
    through its isomeric SMILES first, which keeps the stereo that its
    coordinates show and drops the hydrogens no chemist would draw.
    """
    from . import velk
    from .tamrin import QvMolBase

    if not isinstance(mol, QvMolBase):
        raise TypeError(f"draw takes a molecule, not {type(mol).__name__}")
    if mol.NumAtoms() == 0:
        return [], []
    source = mol
    if mol.GetDimension() == 3:
        smiles = velk.mol_to_string(mol, "ism").split(None, 1)
        source = velk.mol_from_string(smiles[0], "smi") if smiles else None
        if source is None:
            raise ValueError(f"cannot draw {mol!r}: it has no SMILES to lay out")
    text = velk.mol_to_string(source, "sdf")
    drawn = velk.mol_from_string(text, "sdf") if text else None
    if drawn is None:
        raise ValueError(f"cannot draw {mol!r}: the molecule could not be laid out")
    number = {atom.GetIdx(): n for n, atom in enumerate(drawn.GetAtoms())}
    atoms = []
    for atom in drawn.GetAtoms():
        z = atom.GetAtomicNum()
        x, y, _ = drawn.GetCoords(atom)
        symbol = _symbol(z) if z else (atom.GetName() or "*")
        atoms.append(_Atom(symbol, z, x, y, atom.GetFormalCharge(), atom.GetIsotope(), atom.GetImplicitHCount()))
    marks = _wedges_of_molfile(text)
    bonds = []
    for bond in drawn.GetBonds():
        a, b = number[bond.GetBgn().GetIdx()], number[bond.GetEnd().GetIdx()]
        wedge = marks.get((a, b), "")
        if not wedge and (b, a) in marks:
            a, b, wedge = b, a, marks[(b, a)]
        bonds.append(_Bond(a, b, bond.GetOrder(), wedge))
        atoms[a].nbrs.append(b)
        atoms[b].nbrs.append(a)
    _normalise(atoms, bonds)
    return atoms, bonds


def _symbol(atomic_num: int) -> str:
    from ._molface import element_symbol

    return element_symbol(atomic_num)


def _normalise(atoms: list[_Atom], bonds: list[_Bond]) -> None:
    """Scales the layout to bond length 1 (the median bond), keeping its shape."""
    lengths = sorted(math.dist((atoms[b.a].x, atoms[b.a].y), (atoms[b.b].x, atoms[b.b].y)) for b in bonds)
    lengths = [d for d in lengths if d > 1e-6]
    unit = lengths[len(lengths) // 2] if lengths else 1.5
    for atom in atoms:
        atom.x /= unit
        atom.y /= unit


# --- primitives in bond lengths, emitted at the end -------------------------------------------------


@dataclass
class _Picture:
    # per bond: (atom, atom, parts), a part being ("line", points, colour, dashed),
    # ("polyline", points, colour, False) or ("polygon", points, colour, False)
    bonds: list[tuple[int, int, list[tuple[str, list[tuple[float, float]], str, bool]]]] = field(default_factory=list)
    # per labelled atom: (atom number, its text elements, colour)
    labels: list[tuple[int, list[_Text], str]] = field(default_factory=list)

    def extent(self, atoms: Sequence[_Atom]) -> tuple[float, float, float, float]:
        xs = [a.x for a in atoms]
        ys = [a.y for a in atoms]
        for atom in atoms:
            if atom.box:
                xs += [atom.box[0], atom.box[2]]
                ys += [atom.box[1], atom.box[3]]
        for _, _, parts in self.bonds:
            for _, points, _, _ in parts:
                xs += [p[0] for p in points]
                ys += [p[1] for p in points]
        if not xs:
            return 0.0, 0.0, 0.0, 0.0
        return min(xs), min(ys), max(xs), max(ys)


def _needs_label(atom: _Atom) -> bool:
    if atom.atomic_num != 6:
        return True
    return not atom.nbrs or atom.charge != 0 or atom.isotope != 0


def _hydrogen_sides(atoms: Sequence[_Atom], atom: _Atom) -> list[str]:
    """Where the hydrogens of a label may go, best first: right, left, above or below, the freest first."""
    sides = {"right": (1.0, 0.0), "left": (-1.0, 0.0), "down": (0.0, -1.0), "up": (0.0, 1.0)}
    if not atom.nbrs:
        # Water, hydrogen chloride and hydrogen sulfide are written with the hydrogens first.
        first = "left" if atom.atomic_num in (8, 9, 16, 17, 34, 35, 52, 53) else "right"
        return [first] + [side for side in sides if side != first]
    directions = []
    for n in atom.nbrs:
        dx, dy = atoms[n].x - atom.x, atoms[n].y - atom.y
        norm = math.hypot(dx, dy) or 1.0
        directions.append((dx / norm, dy / norm))
    free = {name: min(1.0 - (ux * dx + uy * dy) for dx, dy in directions) for name, (ux, uy) in sides.items()}
    # Right when nothing points there, as text reads; left when only that is free.
    for side in ("right", "left"):
        if free[side] > 0.5 + 1e-9 and (len(atom.nbrs) == 1 or free[side] >= 1.0 - 1e-9):
            free[side] = 3.0
    return sorted(sides, key=lambda name: -(free[name] - (0.1 if name in ("up", "down") else 0)))


def _charge_text(charge: int) -> str:
    if charge == 0:
        return ""
    sign = "+" if charge > 0 else "\u2212"
    return sign if abs(charge) == 1 else f"{abs(charge)}{sign}"


@dataclass
class _Text:
    """One text element: pieces (text, relative size, rise in font sizes) from its start on a baseline."""

    x: float
    base: float
    size: float
    pieces: list[tuple[str, float, float]]

    def width(self) -> float:
        return sum(_text_width(text, rel * self.size) for text, rel, _ in self.pieces)

    def box(self) -> tuple[float, float, float, float]:
        width = self.width()
        x0 = self.x
        low = min(self.base + rise * self.size - 0.22 * rel * self.size for _, rel, rise in self.pieces)
        high = max(self.base + rise * self.size + 0.76 * rel * self.size for _, rel, rise in self.pieces)
        return x0, low, x0 + width, high


_SUB, _SUPER, _SMALL = -0.2, 0.42, 0.7


def _label(atoms: Sequence[_Atom], i: int, font: float, choice: int) -> list[_Text]:
    """The text of atom `i`'s label, its element symbol centred on the atom.

    The hydrogens, isotope and charge are pieces of one text element with
    the symbol, so that the font, not an estimate, spaces them. `choice`
    picks the side of the hydrogens: 0 for the best, up to 3.
    """
    atom = atoms[i]
    base = atom.y - 0.36 * font  # the baseline that centres capitals on the atom
    half = _text_width(atom.symbol, font) / 2
    iso = [(str(atom.isotope), _SMALL, _SUPER)] if atom.isotope else []
    charge = [(_charge_text(atom.charge), _SMALL, _SUPER)] if atom.charge else []
    hydrogens = [("H", 1.0, 0.0)] if atom.hydrogens else []
    if atom.hydrogens > 1:
        hydrogens.append((str(atom.hydrogens), _SMALL, _SUB))
    side = _hydrogen_sides(atoms, atom)[choice] if hydrogens else ""
    symbol = [(atom.symbol, 1.0, 0.0)]
    # Start-anchored always: renderers differ in how they anchor text of several spans.
    before = _Text(0, 0, font, iso + (hydrogens if side == "left" else [])).width()
    if side == "left":
        return [_Text(atom.x - half - before, base, font, hydrogens + iso + symbol + charge)]
    texts = [_Text(atom.x - half - before, base, font,
                   iso + symbol + (hydrogens if side == "right" else []) + charge)]
    if side in ("up", "down"):
        rise = 1.05 * font if side == "up" else -1.05 * font
        texts.append(_Text(atom.x - _text_width("H", font) / 2, base + rise, font, hydrogens))
    return texts


def _texts_box(texts: Iterable[_Text]) -> tuple[float, float, float, float]:
    boxes = [text.box() for text in texts]
    return (min(b[0] for b in boxes), min(b[1] for b in boxes), max(b[2] for b in boxes), max(b[3] for b in boxes))


def _clip(atom: _Atom, other: tuple[float, float], pad: float) -> tuple[float, float]:
    """Where the segment from `atom` towards `other` leaves the atom's label box (or the atom when unlabelled)."""
    if atom.box is None:
        return atom.x, atom.y
    x0, y0, x1, y1 = atom.box[0] - pad, atom.box[1] - pad, atom.box[2] + pad, atom.box[3] + pad
    dx, dy = other[0] - atom.x, other[1] - atom.y
    t = 1.0
    for edge, start, delta in ((x0, atom.x, dx), (x1, atom.x, dx), (y0, atom.y, dy), (y1, atom.y, dy)):
        if delta != 0:
            s = (edge - start) / delta
            if 0 < s < t:
                u, v = atom.x + s * dx, atom.y + s * dy
                if x0 - 1e-9 <= u <= x1 + 1e-9 and y0 - 1e-9 <= v <= y1 + 1e-9:
                    t = s
    return atom.x + t * dx, atom.y + t * dy


def _ring_centres(atoms: Sequence[_Atom], bonds: Sequence[_Bond]) -> dict[int, tuple[float, float]]:
    """The centre of the smallest ring (up to 8 atoms) through each double bond in one, by bond number."""
    centres = {}
    for k, bond in enumerate(bonds):
        if bond.order != 2:
            continue
        # Breadth-first from a to b without the bond itself gives the smallest ring.
        prev = {bond.a: -1}
        frontier = [bond.a]
        for _ in range(7):
            nxt = []
            for u in frontier:
                for w in atoms[u].nbrs:
                    if w in prev or (u == bond.a and w == bond.b):
                        continue
                    prev[w] = u
                    nxt.append(w)
            frontier = nxt
            if bond.b in prev:
                break
        if bond.b in prev:
            ring, u = [], bond.b
            while u != -1:
                ring.append(u)
                u = prev[u]
            centres[k] = (sum(atoms[r].x for r in ring) / len(ring), sum(atoms[r].y for r in ring) / len(ring))
    return centres


def _side_of(atoms: Sequence[_Atom], bond: _Bond, point: tuple[float, float]) -> float:
    a, b = atoms[bond.a], atoms[bond.b]
    return (b.x - a.x) * (point[1] - a.y) - (b.y - a.y) * (point[0] - a.x)


def _compose(atoms: list[_Atom], bonds: list[_Bond]) -> _Picture:
    """The picture with no label on another or on a bond it does not end.

    Labels in the way get their hydrogens on another side; when no side
    helps, all labels shrink and the search starts again.
    """
    font, choices = FONT, {}
    while True:
        pic = _compose_at(atoms, bonds, font, choices)
        crowded = _crowded(atoms, pic)
        if not crowded or font <= MIN_FONT:
            return pic
        movable = [i for i in crowded if atoms[i].hydrogens and choices.get(i, 0) < 3]
        for i in movable:
            choices[i] = choices.get(i, 0) + 1
        if not movable:
            font, choices = max(MIN_FONT, font * 0.85), {}


def _crowded(atoms: Sequence[_Atom], pic: _Picture) -> set[int]:
    """The labelled atoms whose labels overlap another or a bond they do not end."""
    # Boxes by the unit squares they touch, so that large molecules cost no
    # more than a few comparisons per bond.
    cells: dict[tuple[int, int], list[int]] = {}

    def squares(x0: float, y0: float, x1: float, y1: float):
        return ((u, v) for u in range(math.floor(x0), math.floor(x1) + 1) for v in range(math.floor(y0), math.floor(y1) + 1))

    found = set()
    for i, _, _ in pic.labels:
        box = atoms[i].box
        near = {j for square in squares(*box) for j in cells.get(square, ())}
        for j in near:
            other = atoms[j].box
            if box[0] < other[2] and other[0] < box[2] and box[1] < other[3] and other[1] < box[3]:
                found.update((i, j))
        for square in squares(*box):
            cells.setdefault(square, []).append(i)
    for u, v, parts in pic.bonds:
        for _, points, _, _ in parts:
            p, q = points[0], points[-1]
            near = {j for square in squares(min(p[0], q[0]), min(p[1], q[1]), max(p[0], q[0]), max(p[1], q[1]))
                    for j in cells.get(square, ())}
            found.update(j for j in near if j != u and j != v and _segment_meets_box(p, q, atoms[j].box))
    return found


def _segment_meets_box(p, q, box) -> bool:
    t0, t1 = 0.0, 1.0
    for start, delta, lo, hi in ((p[0], q[0] - p[0], box[0], box[2]), (p[1], q[1] - p[1], box[1], box[3])):
        if abs(delta) < 1e-12:
            if not lo <= start <= hi:
                return False
            continue
        a, b = sorted(((lo - start) / delta, (hi - start) / delta))
        t0, t1 = max(t0, a), min(t1, b)
    return t0 <= t1


def _compose_at(atoms: list[_Atom], bonds: list[_Bond], font: float, choices: dict[int, int]) -> _Picture:
    pic = _Picture()
    labelled = [_needs_label(atom) for atom in atoms]
    for i, atom in enumerate(atoms):
        atom.box = None
        if labelled[i]:
            texts = _label(atoms, i, font, choices.get(i, 0))
            atom.box = _texts_box(texts)
            pic.labels.append((i, texts, _colour(atom.atomic_num)))
    centres = _ring_centres(atoms, bonds)
    pad = 0.06
    for k, bond in enumerate(bonds):
        a, b = atoms[bond.a], atoms[bond.b]
        p = _clip(a, (b.x, b.y), pad)
        q = _clip(b, (a.x, a.y), pad)
        length = math.dist(p, q)
        if length < 1e-6:
            continue
        ca, cb = _colour(a.atomic_num), _colour(b.atomic_num)
        parts: list = []
        pic.bonds.append((bond.a, bond.b, parts))
        if bond.wedge:
            _wedge(parts, p, q, bond.wedge, ca)
            continue
        ux, uy = (q[0] - p[0]) / length, (q[1] - p[1]) / length
        nx, ny = -uy, ux
        if bond.order == 2:
            if k in centres:
                side = 1.0 if _side_of(atoms, bond, centres[k]) > 0 else -1.0
            else:
                side = _chain_side(atoms, bond)
            if side == 0.0:
                for s in (-GAP / 2, GAP / 2):
                    _split_line(parts, _shift(p, nx, ny, s), _shift(q, nx, ny, s), ca, cb)
            else:
                _split_line(parts, p, q, ca, cb)
                trim_a = 0.0 if a.box else 0.15
                trim_b = 0.0 if b.box else 0.15
                p2 = _shift((p[0] + ux * trim_a, p[1] + uy * trim_a), nx, ny, side * GAP)
                q2 = _shift((q[0] - ux * trim_b, q[1] - uy * trim_b), nx, ny, side * GAP)
                _split_line(parts, p2, q2, ca, cb)
        elif bond.order == 3:
            for s in (-GAP, 0.0, GAP):
                _split_line(parts, _shift(p, nx, ny, s), _shift(q, nx, ny, s), ca, cb)
        else:
            _split_line(parts, p, q, ca, cb, dashed=bond.order == 0)
    return pic


def _chain_side(atoms: Sequence[_Atom], bond: _Bond) -> float:
    """The side of a double bond outside rings where its second line goes; 0 to centre it.

    A terminal double bond (C=O, C=CH2 drawn with a label) and one whose ends
    have substituents on both sides are centred; otherwise the second line
    goes where the substituents are, as inside a ring.
    """
    a, b = atoms[bond.a], atoms[bond.b]
    others = [n for n in a.nbrs if n != bond.b] + [n for n in b.nbrs if n != bond.a]
    if not others or len(a.nbrs) == 1 and a.box is not None or len(b.nbrs) == 1 and b.box is not None:
        return 0.0
    sides = [_side_of(atoms, bond, (atoms[n].x, atoms[n].y)) for n in others]
    total = sum(1 if s > 1e-6 else -1 if s < -1e-6 else 0 for s in sides)
    return 0.0 if total == 0 else 1.0 if total > 0 else -1.0


def _shift(p: tuple[float, float], nx: float, ny: float, s: float) -> tuple[float, float]:
    return p[0] + nx * s, p[1] + ny * s


def _split_line(parts: list, p, q, ca: str, cb: str, dashed: bool = False) -> None:
    """A line coloured half and half by its two atoms."""
    if ca == cb:
        parts.append(("line", [p, q], ca, dashed))
        return
    m = ((p[0] + q[0]) / 2, (p[1] + q[1]) / 2)
    parts.append(("line", [p, m], ca, dashed))
    parts.append(("line", [m, q], cb, dashed))


def _wedge(parts: list, p, q, kind: str, colour: str) -> None:
    length = math.dist(p, q)
    ux, uy = (q[0] - p[0]) / length, (q[1] - p[1]) / length
    nx, ny = -uy, ux
    if kind == "up":
        parts.append(("polygon", [p, _shift(q, nx, ny, WEDGE), _shift(q, nx, ny, -WEDGE)], colour, False))
    elif kind == "hash":
        count = max(3, int(length / 0.12))
        for step in range(1, count + 1):
            t = step / count
            c = (p[0] + t * (q[0] - p[0]), p[1] + t * (q[1] - p[1]))
            half = WEDGE * t
            a, b = _shift(c, nx, ny, half), _shift(c, nx, ny, -half)
            parts.append(("line", [a, b], colour, False))
    else:
        waves = max(4, int(length / 0.1))
        points = []
        for step in range(waves + 1):
            t = step / waves
            s = 0.07 * (1 if step % 2 else -1) if 0 < step < waves else 0.0
            points.append(_shift((p[0] + t * (q[0] - p[0]), p[1] + t * (q[1] - p[1])), nx, ny, s))
        parts.append(("polyline", points, colour, False))


# --- SVG text ----------------------------------------------------------------------------------------


def _escape(text: str) -> str:
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def _f(value: float) -> str:
    return f"{value:.2f}".rstrip("0").rstrip(".") if value else "0"


def _prepare(mol: Any) -> tuple[list[_Atom], _Picture, tuple[float, float]]:
    """The atoms, the picture and its size with margins, in bond lengths."""
    atoms, bonds = _depiction(mol)
    pic = _compose(atoms, bonds)
    lo_x, lo_y, hi_x, hi_y = pic.extent(atoms)
    return atoms, pic, (hi_x - lo_x + 2 * MARGIN, hi_y - lo_y + 2 * MARGIN)


def _body(prepared, x0: float, y0: float, width: float, height: float) -> list[str]:
    """SVG elements of a prepared picture centred in the box (x0, y0, width, height), at most BOND_PX per bond."""
    atoms, pic, (span_x, span_y) = prepared
    if not atoms:
        return []
    lo_x, lo_y, hi_x, hi_y = pic.extent(atoms)
    scale = min(BOND_PX, width / span_x, height / span_y)
    ox = x0 + width / 2 - scale * (lo_x + hi_x) / 2
    oy = y0 + height / 2 + scale * (lo_y + hi_y) / 2

    def px(x: float, y: float) -> str:
        return f"{_f(ox + scale * x)},{_f(oy - scale * y)}"

    stroke = _f(max(LINE * scale, 0.6))
    out = [f'<g class="bonds" stroke-width="{stroke}" stroke-linecap="round" stroke-linejoin="round" fill="none">']
    for a, b, parts in pic.bonds:
        out.append(f'<g class="bond" data-atoms="{a} {b}">')
        for kind, points, colour, dashed in parts:
            if kind == "line":
                (xa, ya), (xb, yb) = points
                dash = f' stroke-dasharray="{_f(0.1 * scale)}"' if dashed else ""
                out.append(f'<line x1="{_f(ox + scale * xa)}" y1="{_f(oy - scale * ya)}" x2="{_f(ox + scale * xb)}" '
                           f'y2="{_f(oy - scale * yb)}" stroke="{colour}"{dash}/>')
            else:
                fill = f' fill="{colour}"' if kind == "polygon" else ""
                out.append(f'<{kind} points="{" ".join(px(*p) for p in points)}" stroke="{colour}"{fill}/>')
        out.append("</g>")
    out.append("</g>")
    for i, texts, colour in pic.labels:
        atom = atoms[i]
        out.append(f'<g class="atom" data-atom="{i}" data-x="{_f(ox + scale * atom.x)}" '
                   f'data-y="{_f(oy - scale * atom.y)}" fill="{colour}" font-family="{FONT_FAMILY}">')
        for text in texts:
            # No white space between the pieces: it would show as a gap.
            pieces, risen = [], 0.0
            for piece, rel, rise in text.pieces:
                dy = -(rise - risen) * text.size * scale
                risen = rise
                size = f' font-size="{_f(rel * scale * text.size)}"' if rel != 1.0 else ""
                pieces.append(f'<tspan dy="{_f(dy)}"{size}>{_escape(piece)}</tspan>')
            out.append(f'<text x="{_f(ox + scale * text.x)}" y="{_f(oy - scale * text.base)}" '
                       f'font-size="{_f(scale * text.size)}">{"".join(pieces)}</text>')
        out.append("</g>")
    return out


def _pair(size: Size) -> tuple[int, int] | None:
    if size is None:
        return None
    if isinstance(size, int):
        size = (size, size)
    try:
        width, height = (int(v) for v in size)
    except (TypeError, ValueError):
        raise TypeError(f"size is a number of pixels or a (width, height) pair, not {size!r}") from None
    if width <= 0 or height <= 0:
        raise ValueError(f"size must be positive, not {size!r}")
    return width, height


def _document(width: float, height: float, body: list[str]) -> str:
    w, h = _f(width), _f(height)
    head = (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" viewBox="0 0 {w} {h}">\n'
            f'<rect width="{w}" height="{h}" fill="white"/>\n')
    return head + "\n".join(body) + ("\n" if body else "") + "</svg>\n"


def _write(svg: str, path: PathLike | None) -> str:
    if path is not None:
        with open(os.fspath(path), "w", encoding="utf-8") as out:
            out.write(svg)
    return svg


def draw(mol: Any, path: PathLike | None = None, size: Size = None) -> str:
    """The SVG picture of ``mol``; also written to ``path`` when one is given.

    ``size`` is the canvas in pixels, a number for a square or a
    ``(width, height)`` pair; the picture is centred in it and shrunk to fit,
    never enlarged past its natural scale. Without a size the canvas fits the
    picture at that scale (shrunk when wider or taller than 600 pixels).
    The molecule is not changed.
    """
    canvas = _pair(size)
    prepared = _prepare(mol)
    if canvas is None:
        span = prepared[2]
        shrink = min(1.0, MAX_NATURAL_PX / (BOND_PX * max(span)))
        width, height = BOND_PX * span[0] * shrink, BOND_PX * span[1] * shrink
    else:
        width, height = canvas
    body = _body(prepared, 0, 0, width, height)
    return _write(_document(width, height, body), path)


def draw_grid(
    mols: Iterable[Any],
    cols: int = 4,
    legends: Sequence[str] | None = None,
    size: Size = 200,
    path: PathLike | None = None,
) -> str:
    """One SVG of several molecules in a grid of ``cols`` columns, each in a ``size`` cell.

    ``legends``, one string per molecule, are written under the pictures.
    Returned as text and written to ``path`` when one is given.
    """
    mols = list(mols)
    if cols < 1:
        raise ValueError(f"cols must be at least 1, not {cols}")
    if legends is not None:
        legends = list(legends)
        if len(legends) != len(mols):
            raise ValueError(f"{len(legends)} legends for {len(mols)} molecules")
    cell_w, cell_h = _pair(size) or (200, 200)
    legend_h = 16 if legends is not None else 0
    rows = max(1, math.ceil(len(mols) / cols))
    width, height = cell_w * min(cols, max(1, len(mols))), (cell_h + legend_h) * rows
    body = []
    for n, mol in enumerate(mols):
        x0, y0 = (n % cols) * cell_w, (n // cols) * (cell_h + legend_h)
        body.append(f'<g class="cell" data-cell="{n}">')
        body += _body(_prepare(mol), x0, y0, cell_w, cell_h)
        if legends is not None:
            body.append(f'<text class="legend" x="{_f(x0 + cell_w / 2)}" y="{_f(y0 + cell_h + legend_h - 4)}" '
                        f'font-size="12" font-family="{FONT_FAMILY}" text-anchor="middle">'
                        f"{_escape(str(legends[n]))}</text>")
        body.append("</g>")
    return _write(_document(width, height, body), path)


def repr_svg(mol: Any) -> str:
    """The picture Jupyter shows for a molecule."""
    return draw(mol)
