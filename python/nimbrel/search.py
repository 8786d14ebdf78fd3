"""Substructure search with SMARTS queries::

    from nimbrel import search, velk
    amide = search.compile_smarts("C(=O)[NX3]")
    for mol in velk.read("ligands.smi"):
        if amide.matches(mol):
            print(mol.GetTitle(), amide.find(mol))

Molecules are matched as they were perceived when read (aromaticity by the
reader's model, by default the Hückel model of SMILES users; rings). Match
results are tuples of atom indices (``atom.GetIdx()``) in the order of the
query's atoms. Bad SMARTS raises ValueError with the position of the fault.

Chirality (``@``, ``@@``) and double-bond marks (``/``, ``\\``) constrain a
match only with ``stereo=True``, as RDKit's ``useChirality``: a marked query
atom or double bond then matches only a molecule atom or bond whose stored
configuration agrees, never one without a configuration. Component-level
groups always count: ``(C.C)`` in one component, ``(C).(C)`` in two.
"""

from __future__ import annotations

from collections.abc import Iterable

from . import tamrin as _tamrin
from .tamrin import QvMolBase

__all__ = ["DatabaseError", "MoleculeDB", "Query", "compile_smarts", "fingerprint", "screen", "tanimoto"]


class Query:
    """A compiled SMARTS query; cheap to match many times."""

    __slots__ = ("_query",)

    def __init__(self, smarts: str) -> None:
        self._query = _tamrin._SubstructQuery(smarts)

    @property
    def smarts(self) -> str:
        """The query written back as SMARTS (brackets and '&' spelled out)."""
        return str(self._query.Smarts())

    @property
    def screen(self) -> bytes:
        """The query's substructure screen (256 bytes, as :func:`screen` gives a
        molecule's): a subset of the screen of every molecule it matches."""
        return bytes(self._query.Screen())

    def matches(self, mol: QvMolBase, *, stereo: bool = False) -> bool:
        """True when the query occurs in `mol` (its stereo marks counting with `stereo`)."""
        return bool(self._query.Matches(mol, bool(stereo)))

    def find(
        self, mol: QvMolBase, *, unique: bool = True, limit: int = 0, stereo: bool = False
    ) -> list[tuple[int, ...]]:
        """Every match (one per set of atoms when `unique`), at most `limit` (0: all)."""
        if limit < 0:
            raise ValueError("limit must not be negative")
        return list(self._query.Find(mol, unique, limit, bool(stereo)))

    def filter(self, mols: Iterable[QvMolBase], *, stereo: bool = False) -> list[int]:
        """Positions of the molecules of `mols` that match, looped in C++."""
        return list(self._query.Filter(mols, bool(stereo)))

    def __repr__(self) -> str:
        return f"search.Query({self.smarts!r})"


def compile_smarts(text: str) -> Query:
    """Parses SMARTS into a query; ValueError names the position of bad input."""
    return Query(text)


from .searchdb import DatabaseError, MoleculeDB, fingerprint, screen, tanimoto  # noqa: E402  (searchdb uses Query)
