"""Read and write chemistry files through one registry of formats."""

import os
from collections.abc import Callable, Iterable, Iterator, Sequence
from dataclasses import dataclass
from typing import Final, Literal, TypeVar, overload

import pandas as pd

from ._errors import Error as Error
from ._errors import FileError as FileError
from ._errors import FormatError as FormatError
from ._errors import ReadWarning as ReadWarning
from ._errors import WriteWarning as WriteWarning
from .tamrin import QvGraphMol, QvMolBase
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

_M = TypeVar("_M", bound=QvMolBase)

PathLike = str | os.PathLike[str]
_Format = str | int
_Errors = Literal["raise", "warn", "skip"]

VERSION: Final[tuple[int, int, int]]

@dataclass(frozen=True)
class FormatInfo:
    name: str
    extensions: tuple[str, ...]
    description: str
    supports_read: bool
    supports_write: bool
    supports_threaded_read: bool = False
    supports_threaded_write: bool = False

def formats() -> list[FormatInfo]: ...

class Reader:
    path: str
    def __init__(
        self,
        path: PathLike,
        mol_factory: Callable[[], QvMolBase] | None = None,
        format: _Format | None = None,
        errors: _Errors = "warn",
        num_threads: int = 1,
    ) -> None: ...
    def read_record(self) -> tuple[QvMolBase, list[QvScalarGrid]] | None: ...
    def close(self) -> None: ...
    def __iter__(self) -> Iterator[QvMolBase]: ...
    def __next__(self) -> QvMolBase: ...
    def __enter__(self) -> Reader: ...
    def __exit__(self, *exc_info: object) -> None: ...

class Writer:
    path: str
    def __init__(self, path: PathLike, format: _Format | None = None) -> None: ...
    def append(self, mol: QvMolBase, *grids: QvScalarGrid) -> None: ...
    def close(self) -> None: ...
    def __enter__(self) -> Writer: ...
    def __exit__(self, *exc_info: object) -> None: ...

def open_reader(
    path: PathLike,
    mol_factory: Callable[[], QvMolBase] | None = None,
    format: _Format | None = None,
    errors: _Errors = "warn",
    num_threads: int = 1,
) -> Reader: ...
def open_writer(path: PathLike, format: _Format | None = None) -> Writer: ...
def read(
    path: PathLike, format: _Format | None = None, errors: _Errors = "warn", num_threads: int = 1
) -> Iterator[QvGraphMol]: ...
def read_record(path: PathLike) -> tuple[QvGraphMol, list[QvScalarGrid]]: ...
def generic_data(mol: QvMolBase) -> list[tuple[str, bool | int | float | str]]: ...
def resolve_format(name: str) -> int: ...
def mol_to_string(mol: QvMolBase, fmt: _Format, flavor: int = 0) -> str: ...
def mol_to_bytes(mol: QvMolBase, fmt: _Format, flavor: int = 0, gzip: bool = False) -> bytes: ...
@overload
def mol_from_string(text: str, fmt: _Format, flavor: int = 0, mol: None = None) -> QvGraphMol | None: ...
@overload
def mol_from_string(text: str, fmt: _Format, flavor: int, mol: _M) -> _M | None: ...
@overload
def mol_from_string(text: str, fmt: _Format, flavor: int = 0, *, mol: _M) -> _M | None: ...
@overload
def mol_from_bytes(
    data: bytes, fmt: _Format, flavor: int = 0, gzip: bool = False, mol: None = None
) -> QvGraphMol | None: ...
@overload
def mol_from_bytes(data: bytes, fmt: _Format, flavor: int, gzip: bool, mol: _M) -> _M | None: ...
@overload
def mol_from_bytes(data: bytes, fmt: _Format, flavor: int = 0, gzip: bool = False, *, mol: _M) -> _M | None: ...
def read_frame(
    path: PathLike,
    mol_column: str = "mol",
    title_column: str = "title",
    mol_factory: Callable[[], QvMolBase] | None = None,
    errors: _Errors = "warn",
    num_threads: int = 1,
) -> pd.DataFrame: ...
def write_frame(
    frame: pd.DataFrame, path: PathLike, mol_column: str = "mol", title_column: str | None = "title"
) -> int: ...
def draw(mol: QvMolBase, path: PathLike | None = None, size: int | tuple[int, int] | None = None) -> str: ...
def draw_grid(
    mols: Iterable[QvMolBase],
    cols: int = 4,
    legends: Sequence[str] | None = None,
    size: int | tuple[int, int] = 200,
    path: PathLike | None = None,
) -> str: ...
