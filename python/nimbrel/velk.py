"""Read and write chemistry files through one registry of formats.

    >>> from nimbrel import velk
    >>> [f.name for f in velk.formats()]          # doctest: +SKIP
    ['Tamrin', 'CUBE', 'FCHK']

Errors are raised as :class:`Error` or one of its subclasses
:class:`FormatError` and :class:`FileError`.
"""

from __future__ import annotations

import sys
from dataclasses import dataclass

from . import velk_core as _core
from ._errors import Error, FileError, FormatError

__all__ = ["Error", "FileError", "FormatError", "FormatInfo", "formats", "VERSION"]

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


if __name__ == "__main__":
    from ._cli import main

    sys.exit(main())
