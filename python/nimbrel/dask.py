"""Molecule files as Dask collections, read and written by many processes.

::

    from dask.distributed import Client
    from nimbrel import dask as nd

    client = Client()                      # this machine; Client("tcp://scheduler:8786") for a cluster
    mols = nd.read("library/*.sdf", blocksize="64MiB")
    small = mols.filter(lambda mol: mol.NumAtoms() <= 30)
    nd.to_files(small, "small-*.sdf.gz")

Plain files larger than ``blocksize`` are split into byte ranges that each
process reads alone. A range owns the records that start in it, with both of
its ends moved to the first record boundary the reader can prove at or after
them (for XYZ, whose records carry no mark, by counting records from the
start of the file), so ranges that cover a file give each record to exactly
one partition in any case. SD, MOL2, PDB, XYZ and the SMILES formats split;
gzip files and other formats are one partition per file.

Molecules cross processes by pickling. What a reader skips is warned about in
the worker that read it, where the client does not see it: ``errors="raise"``
makes a lost record fail the computation instead.

Needs the ``dask`` extra: ``pip install 'nimbrel[dask]'``.
"""

from __future__ import annotations

import glob
import os
from collections.abc import Iterable, Sequence
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any

try:
    import dask.bag
    import dask.config
    import dask.dataframe
    import pandas
    from dask.base import compute as compute_all
    from dask.delayed import delayed
    from dask.utils import parse_bytes
except ImportError as error:  # pragma: no cover - exercised without the extra
    raise ImportError(
        "nimbrel.dask needs Dask and pandas: pip install 'nimbrel[dask]' "
        "(dask[bag,dataframe] and distributed)"
    ) from error

from . import velk
from . import velk_core as _core

if TYPE_CHECKING:
    from .tamrin import QvMolBase

__all__ = ["read", "read_frame", "to_files"]

PathLike = str | os.PathLike[str]


@dataclass(frozen=True)
class _Part:
    """Bytes [begin, end) of a file, or all of it when ``end`` is None."""

    path: str
    format: int
    begin: int = 0
    end: int | None = None


def _paths(paths_or_glob: PathLike | Iterable[PathLike]) -> list[str]:
    patterns = [paths_or_glob] if isinstance(paths_or_glob, (str, os.PathLike)) else list(paths_or_glob)
    paths: list[str] = []
    for pattern in (os.fspath(p) for p in patterns):
        found = sorted(glob.glob(pattern)) if glob.has_magic(pattern) else [pattern]
        if not found:
            raise FileNotFoundError(f"nimbrel.dask: no file matches {pattern!r}")
        paths.extend(found)
    if not paths:
        raise FileNotFoundError("nimbrel.dask: no files given")
    return paths


def _format_of(path: str, format: str | int | None) -> int:
    if format is not None:
        return format if isinstance(format, int) else velk.resolve_format(format)
    name = path[:-3] if path.endswith(".gz") else path
    return velk.resolve_format(os.path.splitext(name)[1])


def _splittable(path: str, fmt: int) -> bool:
    if path.endswith(".gz"):
        return False
    try:
        _core._open_range_reader(path, fmt, 0, 0)
    except velk.FormatError:
        return False
    return True


def _parts(paths: list[str], format: str | int | None, blocksize: int | str | None) -> list[_Part]:
    size = None if blocksize is None else parse_bytes(blocksize)
    if size is not None and size < 1:
        raise ValueError(f"nimbrel.dask: blocksize must be positive, not {blocksize!r}")
    parts: list[_Part] = []
    for path in paths:
        fmt = _format_of(path, format)
        length = os.path.getsize(path)
        if size is None or length <= size or not _splittable(path, fmt):
            parts.append(_Part(path, fmt))
        else:
            parts.extend(_Part(path, fmt, begin, begin + size) for begin in range(0, length, size))
    return parts


class _RangeReader(velk.Reader):
    """The records a byte range of a file owns; the whole file when the range is open."""

    _closes_at_end = True

    def __init__(self, part: _Part, errors: str) -> None:
        self._part = part
        super().__init__(part.path, format=part.format, errors=errors)

    def _open(self, format: str | int | None, threads: int) -> Any:
        part = self._part
        if part.end is None:
            return super()._open(format, threads)
        return _core._open_range_reader(part.path, part.format, part.begin, part.end)


def _read_part(part: _Part, errors: str) -> list[QvMolBase]:
    return list(_RangeReader(part, errors))


def _records_part(part: _Part) -> list[bytes]:
    whole = part.end is None
    return _core._range_records(part.path, part.format, part.begin, 0 if whole else part.end, whole)


def read(
    paths_or_glob: PathLike | Iterable[PathLike],
    blocksize: int | str | None = "64MiB",
    format: str | int | None = None,
    errors: str = "warn",
    as_bytes: bool = False,
) -> dask.bag.Bag:
    """A Dask bag of the molecules of the files, in file order.

    ``paths_or_glob``: a path, a glob pattern ("shards/*.sdf.gz") or a list
    of them. ``blocksize``: bytes per partition of a large plain file (an
    int or "64MiB"); None reads each file as one partition. ``format`` and
    ``errors`` as for :func:`nimbrel.velk.read`.

    ``as_bytes=True`` gives each record unparsed instead: its exact bytes as
    they stand in the file (decompressed for gzip), line ends included, cut
    where the reader would cut them. The partitions are the same; lines with
    nothing but white space between records are no element, and data that
    cannot be cut into records raise FormatError. ``errors`` does not apply.
    """
    parts = _parts(_paths(paths_or_glob), format, blocksize)
    if as_bytes:
        return dask.bag.from_delayed([delayed(_records_part, pure=True)(part) for part in parts])
    return dask.bag.from_delayed([delayed(_read_part, pure=True)(part, errors) for part in parts])


def _frame_part(part: _Part, errors: str, mol_column: str, title_column: str) -> pandas.DataFrame:
    from ._frames import frame_of

    return frame_of(_read_part(part, errors), mol_column, title_column)


def _conform(frame: pandas.DataFrame, meta: pandas.DataFrame, strict: bool) -> pandas.DataFrame:
    extra = [column for column in frame.columns if column not in meta.columns]
    if extra and strict:
        raise ValueError(
            f"nimbrel.dask.read_frame: tags {extra!r} are not among the columns found in the first partition; "
            "name the tags to keep with tags=[...]"
        )
    conformed = frame.reindex(columns=meta.columns)
    for column, dtype in meta.dtypes.items():
        if pandas.api.types.is_numeric_dtype(dtype):
            try:
                conformed[column] = pandas.to_numeric(conformed[column]).astype(dtype)
            except (TypeError, ValueError) as error:
                raise ValueError(
                    f"nimbrel.dask.read_frame: tag {column!r} holds numbers in the first partition "
                    f"but text elsewhere ({error})"
                ) from error
        elif column != meta.columns[0]:
            conformed[column] = conformed[column].astype(dtype)
    return conformed


def read_frame(
    paths_or_glob: PathLike | Iterable[PathLike],
    blocksize: int | str | None = "64MiB",
    mol_column: str = "mol",
    title_column: str = "title",
    tags: Sequence[str] | None = None,
    format: str | int | None = None,
    errors: str = "warn",
) -> dask.dataframe.DataFrame:
    """A Dask DataFrame of the files' records: the columns of :func:`nimbrel.velk.read_frame`.

    The columns and their types come from the first partition, which is read
    here at once (as ``dask.dataframe.read_csv`` samples its input): a tag
    found later only raises ValueError, unless ``tags`` names the tag columns
    to keep (the others are dropped). Number columns are floats, so that a
    partition where a tag is missing (NaN) fits them.
    """
    parts = _parts(_paths(paths_or_glob), format, blocksize)
    first = _frame_part(parts[0], errors, mol_column, title_column)
    meta = first.iloc[:0].copy()
    if tags is not None:
        meta = meta.reindex(columns=[mol_column, title_column, *tags])
    for column in meta.columns[2:]:
        dtype = meta[column].dtype
        numeric = pandas.api.types.is_numeric_dtype(dtype) and column in first.columns
        meta[column] = meta[column].astype("float64" if numeric else first[title_column].dtype)
    meta[title_column] = meta[title_column].astype(first[title_column].dtype)
    strict = tags is None
    frames = [delayed(_frame_part, pure=True)(part, errors, mol_column, title_column) for part in parts]
    conformed = [delayed(_conform, pure=True)(frame, meta, strict) for frame in frames]
    # Dask would otherwise turn the object column of molecules into strings.
    with dask.config.set({"dataframe.convert-string": False}):
        return dask.dataframe.from_delayed(conformed, meta=meta, verify_meta=False)


def _write_part(mols: Iterable[QvMolBase], path: str, format: str | int | None) -> str:
    with velk.open_writer(path, format) as writer:
        for mol in mols:
            writer.append(mol)
    return path


def to_files(
    bag: dask.bag.Bag, pattern: PathLike, format: str | int | None = None, compute: bool = True
) -> list[str] | list[Any]:
    """Writes each partition of a bag of molecules to its own file; returns the paths.

    The one ``*`` in ``pattern`` ("out-*.sdf.gz") becomes the partition's
    number, zero-padded so that the names sort in partition order; the
    format comes from the suffix unless given. ``compute=False`` returns the
    Dask delayed writes instead, one per file.
    """
    text = os.fspath(pattern)
    if text.count("*") != 1:
        raise ValueError(f"nimbrel.dask.to_files: the pattern needs exactly one '*', not {text!r}")
    partitions = bag.to_delayed()
    width = len(str(max(len(partitions) - 1, 0)))
    writes = [
        delayed(_write_part, pure=False)(part, text.replace("*", f"{i:0{width}d}"), format)
        for i, part in enumerate(partitions)
    ]
    if not compute:
        return writes
    return list(compute_all(*writes))
