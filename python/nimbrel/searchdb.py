"""Fingerprints, similarity and the indexed molecule database.

For example::

    from nimbrel import searchdb, velk
    db = searchdb.MoleculeDB.build("library.sdf.gz", "library.mdb")
    query = velk.mol_from_string("c1ccccc1O", "smi")
    for record, score in db.similar(query, 0.6):
        print(record, score, db[record].title)

Two fingerprints, both 2048 bits given as 256 bytes (bit i is bit i % 8 of
byte i // 8, numpy's ``unpackbits(..., bitorder="little")``):

* :func:`fingerprint`: circular, ECFP4-like (environments of radius 2 around
  each heavy atom), for similarity with :func:`tanimoto`;
* :func:`screen`: hashed paths of up to 6 bonds, ring paths and rings of up
  to 7 atoms, each also with bonds and atoms told apart more coarsely (single
  and aromatic bonds alike, any bond; halogens alike, any heavy atom), and
  charged atoms. Every feature of a substructure is a feature of any molecule
  containing it, so ``screen(query)`` is a subset of ``screen(mol)`` whenever
  ``query`` matches ``mol``: screening never loses a true match.

A database file holds each molecule as a QVB record with both fingerprints;
records are numbered 0, 1, 2, ... in the order they were added, and every
query returns record numbers in that order. Substructure search itself needs
the query's screen (:attr:`nimbrel.search.Query.screen`), whose candidates
(:meth:`MoleculeDB.candidates`) the matcher then confirms
(:meth:`MoleculeDB.search`).
"""

from __future__ import annotations

import array
import os
import warnings
from typing import TYPE_CHECKING, Iterable, Iterator, Union

from . import tamrin, velk

if TYPE_CHECKING:
    from .search import Query as SubstructQuery

__all__ = ["DatabaseError", "MoleculeDB", "fingerprint", "screen", "tanimoto"]

PathLike = Union[str, "os.PathLike[str]"]
Query = Union[tamrin.QvMolBase, bytes]

# Records scanned per step of a streamed query: results come in file order
# without the whole answer held at once.
_CHUNK = 1 << 16


class DatabaseError(Exception):
    """A molecule database that cannot be opened or written: missing,
    damaged, foreign, or of another version."""


def fingerprint(mol: tamrin.QvMolBase) -> bytes:
    """The circular similarity fingerprint of ``mol`` (256 bytes)."""
    return tamrin._circular_fingerprint(mol)


def screen(mol: tamrin.QvMolBase) -> bytes:
    """The substructure screen of ``mol`` (256 bytes); all bits set for a
    molecule too densely connected to walk (which no screen then rejects)."""
    return tamrin._screen_fingerprint(mol)


def tanimoto(a: bytes, b: bytes) -> float:
    """Bits in both over bits in either; 0.0 when both are empty."""
    return tamrin._tanimoto(a, b)


def _as_fingerprint(query: Query) -> bytes:
    return query if isinstance(query, bytes) else fingerprint(query)


class MoleculeDB:
    """A molecule database file, memory-mapped for reading.

    ``len(db)`` records; ``db[i]`` is record ``i`` as a new molecule (negative
    numbers count from the end). Use as a context manager, or call
    :meth:`close`, to release the map early.
    """

    def __init__(self, path: PathLike) -> None:
        self._path = os.fspath(path)
        self._db = tamrin._MoleculeDB()
        error = self._db.open(self._path)
        if error:
            raise DatabaseError(error)

    @classmethod
    def open(cls, path: PathLike) -> MoleculeDB:
        """The database at ``path``; :class:`DatabaseError` when it cannot be used."""
        return cls(path)

    @classmethod
    def build(
        cls,
        source: PathLike | Iterable[tamrin.QvMolBase],
        path: PathLike,
        *,
        append: bool = False,
        format: str | int | None = None,
        errors: str = "warn",
        num_threads: int = 1,
    ) -> MoleculeDB:
        """Writes the molecules of ``source`` (a file in any readable format, or
        molecules) into a new database at ``path``, or with ``append`` adds them
        to an existing one, and opens it. ``format``, ``errors`` and
        ``num_threads`` are those of :func:`nimbrel.velk.read`. A molecule that
        cannot be stored is left out with a :class:`nimbrel.velk.WriteWarning`.
        """
        path = os.fspath(path)
        if isinstance(source, (str, os.PathLike)):
            mols: Iterable[tamrin.QvMolBase] = velk.read(source, format=format, errors=errors,
                                                         num_threads=num_threads)
        else:
            mols = source
        writer = tamrin._MoleculeDBWriter()
        error = writer.open(path, append)
        if error:
            raise DatabaseError(error)
        try:
            for number, mol in enumerate(mols):
                if not writer.add(mol):
                    if writer.error():
                        raise DatabaseError(writer.error())
                    warnings.warn(velk.WriteWarning(f"{path}: molecule {number} could not be stored"),
                                  stacklevel=2)
        finally:
            error = writer.close()
        if error:
            raise DatabaseError(error)
        return cls(path)

    def close(self) -> None:
        """Releases the map; the object is empty afterwards."""
        self._db.close()

    def __enter__(self) -> MoleculeDB:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __len__(self) -> int:
        return self._db.size()

    def _number(self, record: int) -> int:
        size = self._db.size()
        number = record + size if record < 0 else record
        if not 0 <= number < size:
            raise IndexError(f"record {record} out of range for a database of {size}")
        return number

    def __getitem__(self, record: int) -> tamrin.QvGraphMol:
        number = self._number(record)
        mol = tamrin.QvGraphMol()
        if not self._db.get(number, mol):
            raise DatabaseError(f"{self._path}: record {number} does not read")
        return mol

    def __iter__(self) -> Iterator[tamrin.QvGraphMol]:
        for number in range(len(self)):
            yield self[number]

    def fingerprint(self, record: int) -> bytes:
        """The stored similarity fingerprint of a record."""
        return self._db.stored(self._number(record), False)

    def screen(self, record: int) -> bytes:
        """The stored screen of a record."""
        return self._db.stored(self._number(record), True)

    def similar(self, query: Query, threshold: float = 0.7) -> Iterator[tuple[int, float]]:
        """(record, Tanimoto score) of every record whose similarity to
        ``query`` (a molecule or a fingerprint) is at least ``threshold``, in
        file order, streamed."""
        fp = _as_fingerprint(query)
        for begin in range(0, len(self), _CHUNK):
            yield from self._db.similar(fp, threshold, begin, begin + _CHUNK)

    def scores(self, query: Query) -> array.array[float]:
        """The similarity of every record to ``query``, by record number (a
        ``'d'`` array; ``numpy.frombuffer(scores)`` views it without a copy)."""
        scores = array.array("d")
        scores.frombytes(self._db.scores(_as_fingerprint(query)))
        return scores

    def nearest(self, query: Query, k: int = 10) -> list[tuple[int, float]]:
        """The ``k`` records most similar to ``query``, best first (ties by record number)."""
        return self._db.top(_as_fingerprint(query), max(k, 0))

    def search(self, query: SubstructQuery | str, *, stereo: bool = False) -> Iterator[int]:
        """The records that ``query`` (a compiled query or SMARTS text) matches,
        in file order and streamed: those its screen lets through, each
        confirmed by the matcher (stereo-aware with ``stereo``, as
        :meth:`nimbrel.search.Query.matches`)."""
        from .search import compile_smarts  # search re-exports this module

        compiled = compile_smarts(query) if isinstance(query, str) else query
        for begin in range(0, len(self), _CHUNK):
            yield from compiled._query.Search(self._db, begin, begin + _CHUNK, bool(stereo))

    def candidates(self, query_screen: bytes) -> Iterator[int]:
        """The records, in file order and streamed, whose screen holds every
        bit of ``query_screen``: the only records a substructure query with
        that screen can match, each still to be confirmed by a matcher."""
        for begin in range(0, len(self), _CHUNK):
            yield from self._db.candidates(query_screen, begin, begin + _CHUNK)
