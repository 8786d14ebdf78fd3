"""Pythonic conveniences of the ``nimbrel.tamrin`` molecule, atom and bond classes.

Installed onto the generated classes when ``nimbrel.tamrin`` is imported:
``mol.coords``, ``mol.sd``, ``mol.data``, ``mol.title``, ``mol.atoms``,
``mol.bonds``, ``len(mol)``, a short ``repr`` and equality by canonical
isomeric SMILES; ``atom.symbol`` and friends; ``bond.order`` and friends.
"""

from __future__ import annotations

from collections.abc import MutableMapping
from typing import Any, Iterator

from ._draw import repr_svg

SYMBOLS: tuple[str, ...] = (
    "*",
    *"H He Li Be B C N O F Ne Na Mg Al Si P S Cl Ar K Ca Sc Ti V Cr Mn Fe Co Ni Cu Zn Ga Ge As Se Br Kr "
    "Rb Sr Y Zr Nb Mo Tc Ru Rh Pd Ag Cd In Sn Sb Te I Xe Cs Ba La Ce Pr Nd Pm Sm Eu Gd Tb Dy Ho Er Tm Yb Lu "
    "Hf Ta W Re Os Ir Pt Au Hg Tl Pb Bi Po At Rn Fr Ra Ac Th Pa U Np Pu Am Cm Bk Cf Es Fm Md No Lr "
    "Rf Db Sg Bh Hs Mt Ds Rg Cn Nh Fl Mc Lv Ts Og".split(),
)


def element_symbol(atomic_num: int) -> str:
    """The element symbol of an atomic number; '*' for 0 and numbers past the table."""
    return SYMBOLS[atomic_num] if 0 <= atomic_num < len(SYMBOLS) else "*"


class SDData(MutableMapping[str, str]):
    """The SD data of a molecule as a mutable mapping of tag to string value.

    Iteration is in file order. A tag present more than once (SD files allow
    it) shows once, with its first value; assigning replaces that first value
    and deleting removes every pair of the tag. Values are stored as text:
    assigning a number stores ``str(value)``.
    """

    __slots__ = ("_mol",)

    def __init__(self, mol: Any) -> None:
        self._mol = mol

    def _pairs(self) -> list[tuple[str, str]]:
        from .tamrin import QvGetSDDataPairs

        return QvGetSDDataPairs(self._mol)

    def __getitem__(self, tag: str) -> str:
        from .tamrin import QvGetSDData, QvHasSDData

        if not isinstance(tag, str) or not QvHasSDData(self._mol, tag):
            raise KeyError(tag)
        return QvGetSDData(self._mol, tag)

    def __setitem__(self, tag: str, value: object) -> None:
        from .tamrin import QvSetSDData

        if not isinstance(tag, str) or not tag:
            raise TypeError(f"SD tags are non-empty strings, not {tag!r}")
        QvSetSDData(self._mol, tag, value if isinstance(value, str) else str(value))

    def __delitem__(self, tag: str) -> None:
        from .tamrin import QvDeleteSDData

        if not isinstance(tag, str) or not QvDeleteSDData(self._mol, tag):
            raise KeyError(tag)

    def __contains__(self, tag: object) -> bool:
        from .tamrin import QvHasSDData

        return isinstance(tag, str) and QvHasSDData(self._mol, tag)

    def __iter__(self) -> Iterator[str]:
        return iter(self._first_values())

    def _first_values(self) -> dict[str, str]:
        first: dict[str, str] = {}
        for tag, value in self._pairs():
            first.setdefault(tag, value)
        return first

    def __len__(self) -> int:
        return len(self._first_values())

    def clear(self) -> None:
        from .tamrin import QvClearSDData

        QvClearSDData(self._mol)

    def __repr__(self) -> str:
        return f"SDData({self._first_values()!r})"


class GenericData(MutableMapping[str, object]):
    """The named generic data of a molecule (bool, int, float or str values) as a mutable mapping.

    Items of other value kinds are not visible here. Assigning a value of
    another kind than the item holds raises TypeError (delete it first).
    """

    __slots__ = ("_mol",)

    def __init__(self, mol: Any) -> None:
        self._mol = mol

    def _items(self) -> dict[str, object]:
        from .tamrin import QvGetDataPairs

        first: dict[str, object] = {}
        for name, value in QvGetDataPairs(self._mol):
            first.setdefault(name, value)
        return first

    def __getitem__(self, name: str) -> object:
        from .tamrin import QvGetData, QvHasData

        if not isinstance(name, str) or not name or not QvHasData(self._mol, name):
            raise KeyError(name)
        return QvGetData(self._mol, name)

    def __setitem__(self, name: str, value: object) -> None:
        from .tamrin import QvGetData, QvHasData, QvSetData

        if not isinstance(name, str) or not name:
            raise TypeError(f"data names are non-empty strings, not {name!r}")
        if not isinstance(value, (bool, int, float, str)):
            raise TypeError(f"generic data values are bool, int, float or str, not {type(value).__name__}")
        if QvHasData(self._mol, name):
            held = QvGetData(self._mol, name)
            if type(held) is not type(value):
                raise TypeError(
                    f"data item {name!r} holds a {type(held).__name__}, not a {type(value).__name__}; delete it first"
                )
        if not QvSetData(self._mol, name, value):
            raise TypeError(f"data item {name!r} cannot take a {type(value).__name__}")

    def __delitem__(self, name: str) -> None:
        from .tamrin import QvDeleteData

        if not isinstance(name, str) or not name or not QvDeleteData(self._mol, name):
            raise KeyError(name)

    def __iter__(self) -> Iterator[str]:
        return iter(self._items())

    def __len__(self) -> int:
        return len(self._items())

    def __repr__(self) -> str:
        return f"GenericData({self._items()!r})"


def _live_indices(mol: Any) -> list[int] | None:
    """Indices of the undeleted atoms, or None when they are 0..n-1 already."""
    if mol.NumAtoms() == mol.GetMaxAtomIdx():
        return None
    return [atom.GetIdx() for atom in mol.GetAtoms()]


def _numpy():
    try:
        import numpy
    except ImportError as error:
        raise ImportError("mol.coords needs NumPy: pip install numpy") from error
    return numpy


def _get_coords(mol: Any):
    np = _numpy()

    xyz = np.array(mol.GetCoords(), dtype=np.float64).reshape(-1, 3)
    live = _live_indices(mol)
    return xyz if live is None else xyz[live]


def _set_coords(mol: Any, value: object) -> None:
    np = _numpy()

    try:
        xyz = np.asarray(value, dtype=np.float64)
    except (TypeError, ValueError) as error:
        raise ValueError(f"coordinates must be numbers of shape ({mol.NumAtoms()}, 3): {error}") from None
    if xyz.shape != (mol.NumAtoms(), 3):
        raise ValueError(f"coordinates must have shape ({mol.NumAtoms()}, 3), not {xyz.shape}")
    live = _live_indices(mol)
    if live is not None:
        full = np.zeros((mol.GetMaxAtomIdx(), 3))
        full[live] = xyz
        xyz = full
    if not mol.SetCoords(xyz.ravel().tolist()):
        raise ValueError(f"{type(mol).__name__} takes no coordinates (a QvMol without an active conformer)")
    if mol.GetDimension() == 0:
        mol.SetDimension(3)


_COORDS_DOC = """The atoms' coordinates as a NumPy (N, 3) float64 array, in atom order.

The array is a copy: the molecule keeps its coordinates in single precision,
by atom index, so editing the array changes nothing until it is assigned back
(``mol.coords = xyz``), which checks the shape and raises ValueError and
makes a molecule without a dimension three-dimensional. Atoms without
coordinates read as 0."""


def _canonical_smiles(mol: Any) -> str:
    from . import velk

    text = velk.mol_to_string(mol, "ism")
    return text.split(None, 1)[0] if text.strip() else ""


def _mol_eq(self: Any, other: object) -> bool:
    """Whether two molecules have the same canonical isomeric SMILES."""
    from .tamrin import QvMolBase

    if not isinstance(other, QvMolBase):
        return NotImplemented
    return self is other or _canonical_smiles(self) == _canonical_smiles(other)


def _mol_hash(self: Any) -> int:
    return hash(_canonical_smiles(self))


def _mol_repr(self: Any) -> str:
    return f"<{type(self).__name__} {self.GetTitle()!r} {self.NumAtoms()} atoms {self.NumBonds()} bonds>"


def install(mol_classes: tuple[type, ...], atom_class: type, bond_class: type) -> None:
    """Adds the properties to the generated classes."""
    for cls in mol_classes:
        cls.coords = property(_get_coords, _set_coords, doc=_COORDS_DOC)
        cls.sd = property(SDData, doc=SDData.__doc__)
        cls.data = property(GenericData, doc=GenericData.__doc__)
        cls.title = property(
            lambda self: self.GetTitle(), lambda self, title: self.SetTitle(title), doc="The molecule's title."
        )
        cls.atoms = property(lambda self: self.GetAtoms(), doc="An iterator over the undeleted atoms, in order.")
        cls.bonds = property(lambda self: self.GetBonds(), doc="An iterator over the undeleted bonds, in order.")
        cls.smiles = property(_canonical_smiles, doc="The canonical isomeric SMILES (without the title).")
        cls.__len__ = lambda self: self.NumAtoms()
        # A molecule without atoms is still a molecule: `if mol:` tests for None.
        cls.__bool__ = lambda self: True
        cls.__repr__ = _mol_repr
        # Two molecules are equal when their canonical isomeric SMILES are:
        # the same graph, charges, isotopes and stereo, whatever the atom
        # order, coordinates, title or data. Molecules are mutable; a hashed
        # molecule changed afterwards is lost to its dict or set.
        cls.__eq__ = _mol_eq
        cls.__ne__ = lambda self, other: not _mol_eq(self, other)
        cls.__hash__ = _mol_hash
        cls._repr_svg_ = repr_svg

    atom_props = {
        "idx": (atom_class.GetIdx, "The atom's index."),
        "atomic_num": (atom_class.GetAtomicNum, "The atomic number; 0 for a wildcard."),
        "symbol": (lambda a: element_symbol(a.GetAtomicNum()), "The element symbol."),
        "formal_charge": (atom_class.GetFormalCharge, "The formal charge."),
        "isotope": (atom_class.GetIsotope, "The mass number; 0 for the natural mixture."),
        "implicit_h_count": (atom_class.GetImplicitHCount, "Hydrogens folded into the atom (not atoms of their own)."),
        "aromatic": (atom_class.IsAromatic, "Whether the atom is aromatic."),
        "xyz": (atom_class.GetCoords, "The atom's coordinates as (x, y, z)."),
    }
    bond_props = {
        "idx": (bond_class.GetIdx, "The bond's index."),
        "order": (bond_class.GetOrder, "The bond order (1, 2, 3; Kekule form for aromatic bonds)."),
        "begin": (lambda b: b.GetBgn().GetIdx(), "The index of the first atom."),
        "end": (lambda b: b.GetEnd().GetIdx(), "The index of the second atom."),
        "aromatic": (bond_class.IsAromatic, "Whether the bond is aromatic."),
    }
    for cls, props in ((atom_class, atom_props), (bond_class, bond_props)):
        for name, (getter, doc) in props.items():
            setattr(cls, name, property(getter, doc=doc))
