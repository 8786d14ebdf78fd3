"""Molecules to and from RDKit.

::

    from nimbrel import velk, interop
    mol = next(velk.read("ligand.sdf"))
    rdmol = interop.to_rdkit(mol)          # same atoms in the same order
    back = interop.from_rdkit(rdmol)
    assert back == mol                     # canonical isomeric SMILES

Both keep the atom order, elements, formal charges, isotopes, bond orders,
hydrogen atoms and the hydrogens folded into atoms, tetrahedral and
double-bond stereo, coordinates (as an RDKit conformer), the title
(``_Name``) and SD data (RDKit string properties). Each toolkit perceives
aromaticity by its own model. RDKit is optional: without it these raise
ImportError with an install hint.
"""

from __future__ import annotations

import re
from typing import TYPE_CHECKING, Any

if TYPE_CHECKING:
    from .tamrin import QvMolBase

__all__ = ["from_rdkit", "to_rdkit"]

_HINT = "nimbrel.interop needs RDKit: pip install rdkit"

# SMILES writer flags: isotopes, hydrogen atoms kept, atom and bond stereo,
# atom maps (every atom bracketed, so with its hydrogen count), and without
# and with the Kekule form (the latter when the aromatic bonds admit one).
_SMILES_AROMATIC = 0x01 | 0x02 | 0x08 | 0x10 | 0x20
_SMILES_KEKULE = _SMILES_AROMATIC | 0x80
# The atom property RDKit's reaction readers give each atom of a reaction
# (1 reactant, 2 product, 3 agent).
_RXN_ROLE = "molRxnRole"
_HIGH_ORDERS: dict = {}


def _chem():
    try:
        from rdkit import Chem
    except ImportError as error:
        raise ImportError(_HINT) from error
    return Chem


def _parse_smiles(Chem: Any, smiles: str):
    params = Chem.SmilesParserParams()
    params.removeHs = False
    rdmol = Chem.MolFromSmiles(smiles, params)
    if rdmol is None:
        # Valences RDKit refuses (it is stricter than file formats): keep
        # the graph as written, perceive what can be perceived.
        params.sanitize = False
        rdmol = Chem.MolFromSmiles(smiles, params)
        if rdmol is None:
            raise ValueError(f"to_rdkit: RDKit cannot read the molecule as {smiles!r}")
        rdmol.UpdatePropertyCache(strict=False)
        Chem.SanitizeMol(
            rdmol, Chem.SanitizeFlags.SANITIZE_ALL ^ Chem.SanitizeFlags.SANITIZE_PROPERTIES, catchErrors=True
        )
    return rdmol


def to_rdkit(mol: QvMolBase):
    """An RDKit ``Chem.Mol`` of ``mol``, its atoms in the same order.

    Atom map numbers, coordinates (a conformer, 3D when the molecule's
    dimension is 3; none for a molecule without coordinates), the title and
    the SD data (first value of each tag) are carried over.
    """
    Chem = _chem()
    from . import velk
    from .tamrin import QvGetSDDataPairs, QvGraphMol

    atoms = list(mol.GetAtoms())
    if not atoms:
        rdmol = Chem.RWMol().GetMol()
    else:
        copy = QvGraphMol(mol)
        copy.SetTitle("")
        for number, atom in enumerate(copy.GetAtoms(), start=1):
            atom.SetMapIdx(number)
            atom.SetRxnRole(0)  # one molecule for RDKit; the roles travel as atom properties
        smiles = velk.mol_to_string(copy, "smi", _SMILES_KEKULE).strip()
        if not smiles:
            smiles = velk.mol_to_string(copy, "smi", _SMILES_AROMATIC).strip()
        rdmol = _parse_smiles(Chem, smiles)
        if rdmol.GetNumAtoms() != len(atoms):
            raise ValueError(f"to_rdkit: the molecule could not be carried over (written as {smiles!r})")
        new_order = [0] * rdmol.GetNumAtoms()
        for rdatom in rdmol.GetAtoms():
            new_order[rdatom.GetAtomMapNum() - 1] = rdatom.GetIdx()
        rdmol = Chem.RenumberAtoms(rdmol, new_order)
        for rdatom, atom in zip(rdmol.GetAtoms(), atoms):
            rdatom.SetAtomMapNum(atom.GetMapIdx())
            if atom.GetRxnRole():
                rdatom.SetIntProp(_RXN_ROLE, atom.GetRxnRole())
        if mol.GetDimension() > 0:
            conformer = Chem.Conformer(len(atoms))
            for i, xyz in enumerate(mol.coords.tolist()):
                conformer.SetAtomPosition(i, xyz)
            conformer.Set3D(mol.GetDimension() == 3)
            rdmol.AddConformer(conformer, assignId=True)
    rdmol.SetProp("_Name", mol.GetTitle())
    seen = set()
    for tag, value in QvGetSDDataPairs(mol):
        if tag not in seen:
            seen.add(tag)
            rdmol.SetProp(tag, value)
    return rdmol


def from_rdkit(rdmol: Any) -> QvMolBase:
    """A ``tamrin.QvGraphMol`` of an RDKit molecule, its atoms in the same order.

    The first conformer gives the coordinates (and the dimension: 3 or 2);
    without one the molecule has none. ``_Name`` becomes the title and every
    public property SD data, as text.

    Stereo travels as wedge bonds of a drawing (RDKit's, for a molecule
    without a conformer), or as MDL atom parities where the drawing cannot
    show every centre at once (cages).
    """
    Chem = _chem()
    from . import velk
    from .tamrin import QvAddSDData

    _HIGH_ORDERS.setdefault(Chem.BondType.QUADRUPLE, 4)
    _HIGH_ORDERS.setdefault(Chem.BondType.QUINTUPLE, 5)
    work = Chem.Mol(rdmol)
    work.UpdatePropertyCache(strict=False)
    # A mol block carries the graph, charges, isotopes and stereo (as
    # wedges on coordinates RDKit lays out when there are none).
    block = Chem.MolToMolBlock(work, includeStereo=True, kekulize=True, forceV3000=work.GetNumAtoms() > 999)
    mol = velk.mol_from_string(block, "sdf")
    if mol is None or mol.NumAtoms() != work.GetNumAtoms():
        raise ValueError("from_rdkit: the molecule could not be carried over")
    if _centres(mol.smiles) < _centres(Chem.MolToSmiles(work)) and "V3000" not in block:
        mol = velk.mol_from_string(_with_parities(Chem, work, block), "sdf") or mol
    for atom, rdatom in zip(mol.GetAtoms(), work.GetAtoms()):
        atom.SetImplicitHCount(rdatom.GetTotalNumHs(includeNeighbors=False))
        atom.SetMapIdx(rdatom.GetAtomMapNum())
        if rdatom.HasProp(_RXN_ROLE):
            atom.SetRxnRole(rdatom.GetIntProp(_RXN_ROLE))
    # Mol blocks have no bond order above three.
    for bond, rdbond in zip(mol.GetBonds(), work.GetBonds()):
        if rdbond.GetBondType() in _HIGH_ORDERS:
            bond.SetOrder(_HIGH_ORDERS[rdbond.GetBondType()])
    if rdmol.GetNumConformers():
        conformer = rdmol.GetConformer()
        mol.coords = conformer.GetPositions()
        mol.SetDimension(3 if conformer.Is3D() else 2)
    else:
        mol.ClearCoords()
        mol.SetDimension(0)
    mol.SetTitle(rdmol.GetProp("_Name") if rdmol.HasProp("_Name") else "")
    for name, value in rdmol.GetPropsAsDict(includePrivate=False, includeComputed=False, autoConvertStrings=False).items():
        QvAddSDData(mol, name, value if isinstance(value, str) else str(value))
    return mol


def _centres(smiles: str) -> int:
    return len(re.findall("@@?", smiles))


def _with_parities(Chem: Any, rdmol: Any, block: str) -> str:
    """RDKit's V2000 mol block of ``rdmol`` with MDL parities on its stereocentres
    and no wedges, so that the reader takes atom stereo from the parities.

    The parities come from our own reading of RDKit's isomeric SMILES (atom
    maps give each atom its place in ``rdmol``), renumbered: a parity counts
    the neighbours in ascending atom number, with an implicit hydrogen last,
    so an odd reordering of the neighbours flips it.
    """
    from . import velk

    mapped = Chem.Mol(rdmol)
    for rdatom in mapped.GetAtoms():
        rdatom.SetAtomMapNum(rdatom.GetIdx() + 1)
    walked = velk.mol_from_string(Chem.MolToSmiles(mapped), "smi")
    if walked is None:
        return block
    atoms = list(walked.GetAtoms())
    place = {atom.GetIdx(): atom.GetMapIdx() - 1 if atom.GetMapIdx() else len(atoms) for atom in atoms}
    number = {atom.GetIdx(): n for n, atom in enumerate(atoms)}
    parities = {}
    for n, parity in _v3000_parities(velk.mol_to_string(walked, "sdf", _V3000_PARITIES)).items():
        atom = atoms[n]
        if place[atom.GetIdx()] == len(atoms) or parity not in (1, 2):
            continue
        ends = [bond.GetNbr(atom) for bond in atom.GetBonds()]
        keys = [place[end.GetIdx()] for end in sorted(ends, key=lambda end: number[end.GetIdx()])]
        parities[place[atom.GetIdx()]] = parity if _even(keys) else 3 - parity
    lines = block.split("\n")
    counts = 3
    atom_count, bond_count = int(lines[counts][0:3]), int(lines[counts][3:6])
    for index, parity in parities.items():
        line = lines[counts + 1 + index].ljust(42)
        lines[counts + 1 + index] = f"{line[:39]}{parity:3d}{line[42:]}"
    for row in range(counts + 1 + atom_count, counts + 1 + atom_count + bond_count):
        line = lines[row]
        if line[6:9].strip() == "1":
            lines[row] = f"{line[:9]}  0{line[12:]}"
    return "\n".join(lines)


# SD writer flavor: V3000 (parities as CFG=) with parities derived from the stereo.
_V3000_PARITIES = 0x8 | 0x10


def _v3000_parities(block: str) -> dict[int, int]:
    found = {}
    for match in re.finditer(r"^M  V30 (\d+) .* CFG=(\d)", block, re.MULTILINE):
        found[int(match.group(1)) - 1] = int(match.group(2))
    return found


def _even(keys: list[int]) -> bool:
    """Whether sorting ``keys`` takes an even number of swaps."""
    swaps = sum(1 for i in range(len(keys)) for j in range(i + 1, len(keys)) if keys[i] > keys[j])
    return swaps % 2 == 0
