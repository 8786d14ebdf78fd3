"""Pickling of ``nimbrel.tamrin`` molecules through their QVB record.

A molecule pickles as the bytes of one QVB record (every atom, bond,
coordinate, title, energy, SD data item and generic data item of the kinds
the record carries; all conformers of a multi-conformer molecule), so it
crosses process boundaries, as ``multiprocessing`` needs, at the speed of the
binary reader.
"""

from __future__ import annotations

import copyreg
from typing import Any, Callable


def _restore(cls: type, data: bytes) -> Any:
    from . import tamrin, velk

    # Read as a multi-conformer molecule, which also takes a record without
    # atoms (a single-molecule read skips those), title and data included.
    whole = tamrin.QvMol()
    velk.mol_from_bytes(data, "qvb", mol=whole)
    return whole if cls is tamrin.QvMol else cls(whole)


def _reducer(cls: type) -> Callable[[Any], tuple]:
    def reduce(mol: Any) -> tuple:
        from . import velk

        return _restore, (cls, velk.mol_to_bytes(mol, "qvb"))

    return reduce


def register(*classes: type) -> None:
    """Makes instances of ``classes`` picklable through their QVB record."""
    for cls in classes:
        copyreg.pickle(cls, _reducer(cls))
