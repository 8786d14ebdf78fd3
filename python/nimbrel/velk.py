"""Read and write chemistry files through one registry of formats.

::

    from nimbrel import velk
    for mol in velk.read("ligands.sdf.gz"):        # the format comes from the suffix
        print(mol.GetTitle(), mol.NumAtoms())
    mol, grids = velk.read_record("homo.cube")     # molecule + list of velgar grids
    with velk.open_writer("copy.cube") as writer:
        writer.append(mol, *grids)

Errors are raised as :class:`Error` or one of its subclasses
:class:`FormatError` and :class:`FileError`.

Everything the toolkit reports while Python reads or writes through this
module comes to Python, never to the process's standard error: records a
reader had to skip, input that ends early (a gzip file cut short) or is
damaged, and the toolkit's remarks on what it read or wrote. They are
Python warnings, :class:`ReadWarning` while reading and :class:`WriteWarning`
while writing, each message naming the file and the record:

    velk: 'ligands.sdf': record 2: Error reading molecule "bad" in MDL SDF format.
    velk: 'ligands.sdf': record 2 could not be read as MDL SDF and was skipped

A reader chooses with ``errors=`` what becomes of a lost record or damaged
input: ``"warn"`` (the default) warns and goes on with the good records
around it; ``"skip"`` goes on silently (the toolkit's remarks included);
``"raise"`` raises :class:`FormatError` naming the file and the record, and
a caller who catches it and goes on still gets every good record. Python's
own machinery does the rest: ``warnings.simplefilter("ignore",
velk.ReadWarning)`` silences, ``"error"`` raises, and
``logging.captureWarnings(True)`` sends the warnings to the ``py.warnings``
logger of a logging set-up. C++ users of the library keep the toolkit's
error handler; what Python collects is collected on the thread reading and
leaves their handlers alone.
"""

from __future__ import annotations

import os
from dataclasses import dataclass
from typing import TYPE_CHECKING

from . import velk_core as _core
from ._draw import draw, draw_grid
from ._errors import Error, FileError, FormatError, ReadWarning, WriteWarning

if TYPE_CHECKING:
    from collections.abc import Callable, Iterator

    from .tamrin import QvMolBase
    from .velgar import QvScalarGrid

__all__ = [
    "Error",
    "FileError",
    "FormatError",
    "FormatInfo",
    "ReadWarning",
    "Reader",
    "Writer",
    "WriteWarning",
    "VERSION",
    "draw",
    "draw_grid",
    "formats",
    "generic_data",
    "mol_from_bytes",
    "mol_from_string",
    "mol_to_bytes",
    "mol_to_string",
    "open_reader",
    "open_writer",
    "read",
    "read_frame",
    "read_record",
    "resolve_format",
    "write_frame",
]

PathLike = str | os.PathLike[str]


def __dir__() -> list[str]:
    # The public names only: the modules this one imports are no part of it.
    return sorted(__all__)

# What a reader does about lost records and damaged input (errors=).
_READ_ERRORS = {"raise": _core.ReadErrorsRaise, "warn": _core.ReadErrorsWarn, "skip": _core.ReadErrorsSkip}


def _thread_count(num_threads: int) -> int:
    if isinstance(num_threads, bool) or not isinstance(num_threads, int) or num_threads < 0:
        raise ValueError(f"num_threads must be a whole number of 0 or more, not {num_threads!r}")
    return min(num_threads, 64)


def _read_errors(errors: str) -> int:
    try:
        return _READ_ERRORS[errors]
    except (KeyError, TypeError):
        valid = ", ".join(repr(name) for name in _READ_ERRORS)
        raise ValueError(f"errors must be one of {valid}, not {errors!r}") from None

VERSION: tuple[int, int, int] = (
    _core.VELK_VERSION_MAJOR,
    _core.VELK_VERSION_MINOR,
    _core.VELK_VERSION_PATCH,
)


@dataclass(frozen=True)
class FormatInfo:
    """One registered format family and the file suffixes it serves."""

    name: str
    extensions: tuple[str, ...]
    description: str
    supports_read: bool
    supports_write: bool
    supports_threaded_read: bool = False
    supports_threaded_write: bool = False


def formats() -> list[FormatInfo]:
    """The registered format families, in registration order."""
    return [
        FormatInfo(
            name=info.name,
            extensions=tuple(info.extensions),
            description=info.description,
            supports_read=info.supports_read,
            supports_write=info.supports_write,
            supports_threaded_read=info.supports_threaded_read,
            supports_threaded_write=info.supports_threaded_write,
        )
        for info in _core.FormatRegistry.instance().formats()
    ]


def _default_molecule_factory() -> Callable[[], QvMolBase]:
    from .tamrin import QvGraphMol

    return QvGraphMol


def _new_molecule() -> QvMolBase:
    return _default_molecule_factory()()


class Reader(_core._velk._Records):
    """Records of one file, one at a time; an iterator of molecules and a context manager.

    ``read_record()`` gives ``(mol, grids)``, or None at the end of the file.
    Each record is read into a new molecule made by ``mol_factory``
    (a ``tamrin.QvGraphMol`` unless given). Iterating with the default class,
    a molecule object the loop has let go of, that nothing else refers to
    (weakly either) and that carries no attributes of its own, is filled
    with a later record instead of making a new object: only its ``id()``
    can tell. ``format`` ("json", "inchi", a
    format code) reads the file in that molecule format whatever its suffix.
    ``errors`` ("warn", "skip" or "raise") says what becomes of records the
    reader has to skip and of damaged input (see the module's description).
    ``num_threads`` of 2 or more parses the records on that many threads
    (at most 64): this one, which also hands the file out in batches, and
    ``num_threads - 1`` workers. The molecules, warnings and errors are those
    of reading on one thread, in file order. SDF, MOL2, SMILES, XYZ, PDB,
    CSV, QVB and QVZ files take part; other formats are read on one thread.
    """

    # Whether the end of the records releases the file (the iterator of read()).
    _closes_at_end = False

    def __init__(
        self,
        path: PathLike,
        mol_factory: Callable[[], QvMolBase] | None = None,
        format: str | int | None = None,
        errors: str = "warn",
        num_threads: int = 1,
    ) -> None:
        self.path = os.fspath(path)
        mode = _read_errors(errors)
        threads = _thread_count(num_threads)
        self._new_mol = mol_factory or _default_molecule_factory()
        handle = self._open(format, threads)
        handle.set_errors(mode)
        # Iteration (__next__) is the extension's: no Python frame per record.
        # Molecules of the default class are made there in the same call that
        # reads them; others come from _read_made.
        self._bind(handle, self.path, mol_factory is None, self._closes_at_end)

    def _open(self, format: str | int | None, threads: int):
        if format is None:
            return _core._open_reader(self.path, threads)
        return _core._open_reader_as(self.path, _format_code(format), threads)

    def read_record(self) -> tuple[QvMolBase, list[QvScalarGrid]] | None:
        """The next molecule with its grids (possibly none), or None at the end."""
        mol = self._new_mol()
        handle = self._live_handle()
        try:
            grids = handle.next_grid_tuple(mol)
        except Error as error:
            self._locate(error, handle)
            raise
        return None if grids is None else (mol, list(grids))

    def _locate(self, error: Error, handle) -> None:
        """Adds the file and the record to an error whose message names neither."""
        if f"'{self.path}'" not in str(error):
            error.add_note(f"while reading record {handle.records_read() + 1} of '{self.path}'")

    def _located(self, error: BaseException) -> None:
        """Called by __next__ with the error a read raised, before it propagates."""
        handle = self._handle
        if isinstance(error, Error) and handle is not None:
            self._locate(error, handle)

    def close(self) -> None:
        """Releases the file; reading after this raises ValueError."""
        self._release(True)

    def _read_made(self) -> QvMolBase | None:
        """The next record in a molecule of the caller's factory, or None at the end."""
        mol = self._new_mol()
        return mol if self._live_handle().next(mol) else None

    def _live_handle(self):
        if self._handle is None:
            raise ValueError(f"reader on {self.path!r} is closed")
        return self._handle

    # __iter__ and __next__ come from the extension's base class.

    def __enter__(self) -> Reader:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self._handle is None else "open"
        return f"<velk.Reader {self.path!r} ({state})>"


class Writer:
    """Writes records to one file; a context manager that closes the file on exit.

    ``format`` ("json", "inchi", a format code) writes that molecule format
    whatever the suffix.
    """

    def __init__(self, path: PathLike, format: str | int | None = None) -> None:
        self.path = os.fspath(path)
        if format is None:
            self._handle = _core._open_writer(self.path)
        else:
            self._handle = _core._open_writer_as(self.path, _format_code(format))

    def append(self, mol: QvMolBase, *grids: QvScalarGrid) -> None:
        """Writes one record: ``mol`` and, for grid formats such as CUBE, its grids.

        Raises :class:`Error` when the format cannot write the record.
        """
        if self._handle is None:
            raise ValueError(f"writer on {self.path!r} is closed")
        written = self._handle.append_grids(mol, grids) if grids else self._handle.append_mol(mol)
        if not written:
            raise Error(f"velk: could not write record to '{self.path}'")

    def close(self) -> None:
        """Flushes and closes the file; closing twice does nothing.

        Raises :class:`FileError` when output was lost (a full disk, the file
        removed meanwhile); the writer is closed either way.
        """
        handle, self._handle = self._handle, None
        if handle is not None:
            handle.close()

    def __enter__(self) -> Writer:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self._handle is None else "open"
        return f"<velk.Writer {self.path!r} ({state})>"


def open_reader(
    path: PathLike,
    mol_factory: Callable[[], QvMolBase] | None = None,
    format: str | int | None = None,
    errors: str = "warn",
    num_threads: int = 1,
) -> Reader:
    """Opens ``path`` for reading; the format comes from its suffix (``.sdf.gz``, ``.cube``) unless given.

    ``errors``: "warn", "skip" or "raise" for lost records and damaged input.
    ``num_threads``: threads that parse the records (see :class:`Reader`).
    """
    return Reader(path, mol_factory, format, errors, num_threads)


def open_writer(path: PathLike, format: str | int | None = None) -> Writer:
    """Opens ``path`` for writing, creating or truncating it; the format comes from the suffix unless given."""
    return Writer(path, format)


class _ReadIterator(Reader):
    _closes_at_end = True


def read(
    path: PathLike, format: str | int | None = None, errors: str = "warn", num_threads: int = 1
) -> Iterator[QvMolBase]:
    """Every molecule of the file at ``path``, one molecule object each.

    The file is opened at once (a missing file raises here) and released at
    the end of the records, or when the iterator is dropped. ``format`` reads
    a molecule format whatever the suffix (``read("hits.txt", format="smi")``).
    ``errors``: a record that cannot be read, or damaged input, warns
    (:class:`ReadWarning`, "warn"), passes silently ("skip") or raises
    :class:`FormatError` ("raise"); the good records are read either way.
    ``num_threads`` of 2 or more parses on that many threads (see :class:`Reader`);
    dropping or closing the iterator stops them.
    """
    return _ReadIterator(path, format=format, errors=errors, num_threads=num_threads)


def read_record(path: PathLike) -> tuple[QvMolBase, list[QvScalarGrid]]:
    """The first record of a file: its molecule and grids (CUBE: one grid per orbital).

    Raises :class:`FormatError` when the file holds no record.
    """
    with open_reader(path) as reader:
        record = reader.read_record()
    if record is None:
        raise FormatError(f"velk: no record in '{os.fspath(path)}'")
    return record


def generic_data(mol: QvMolBase) -> list[tuple[str, object]]:
    """The named generic-data items of ``mol`` as (name, value) pairs, in order.

    Items whose values are not bool, int, float or str are left out.
    """
    from .tamrin import QvGetDataPairs

    return QvGetDataPairs(mol)


def resolve_format(name: str) -> int:
    """The format code for a name such as ``"sdf"``, ``".smi.gz"`` or ``"MOL2"``."""
    return _core._resolve_format(name)


def _format_code(fmt: str | int) -> int:
    return fmt if isinstance(fmt, int) else resolve_format(fmt)


def mol_to_string(mol: QvMolBase, fmt: str | int, flavor: int = 0) -> str:
    """``mol`` as text of a molecule format ("sdf", "smi", ...); "" when it cannot be written."""
    return _core._mol_to_string(mol, _format_code(fmt), flavor)


def mol_to_bytes(mol: QvMolBase, fmt: str | int, flavor: int = 0, gzip: bool = False) -> bytes:
    """``mol`` as bytes of a molecule format, gzip-compressed on request."""
    return _core._mol_to_bytes(mol, _format_code(fmt), flavor, bool(gzip))


def mol_from_string(text: str, fmt: str | int, flavor: int = 0, mol: QvMolBase | None = None) -> QvMolBase | None:
    """The first molecule of ``text``, or None when it cannot be parsed."""
    target = mol if mol is not None else _new_molecule()
    return target if _core._mol_from_string(target, text, _format_code(fmt), flavor) else None


def mol_from_bytes(
    data: bytes, fmt: str | int, flavor: int = 0, gzip: bool = False, mol: QvMolBase | None = None
) -> QvMolBase | None:
    """The first molecule of ``data``, gunzipped first when ``gzip`` is true; None when unparsable."""
    target = mol if mol is not None else _new_molecule()
    return target if _core._mol_from_bytes(target, data, _format_code(fmt), flavor, bool(gzip)) else None


def read_frame(
    path: PathLike,
    mol_column: str = "mol",
    title_column: str = "title",
    mol_factory=None,
    errors: str = "warn",
    num_threads: int = 1,
):
    """Every record of ``path`` as a row of a pandas DataFrame: molecule, title, one column per SD tag.

    Tag columns hold numbers when all their values are numbers, text
    otherwise, NaN where a record lacks the tag. ``errors`` as for
    :func:`read` ("raise" ends the read at the first lost record), and
    ``num_threads`` as for :class:`Reader`. Needs pandas (ImportError with an
    install hint without it).
    """
    from ._frames import read_frame as _read_frame

    return _read_frame(path, mol_column, title_column, mol_factory, errors, num_threads)


def write_frame(frame, path: PathLike, mol_column: str = "mol", title_column: str | None = "title") -> int:
    """Writes each row's molecule to ``path`` with the row's other cells as SD data; returns the row count."""
    from ._frames import write_frame as _write_frame

    return _write_frame(frame, path, mol_column, title_column)


if __name__ == "__main__":
    import sys

    from ._cli import main

    sys.exit(main())
