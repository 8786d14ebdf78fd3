"""Exception classes of nimbrel.velk, installed into the extension module once."""

from . import _velk


class Error(Exception):
    """Base of every error raised by nimbrel.velk; messages begin with "velk: "."""


class FormatError(Error):
    """An unknown or unsupported format, a missing capability, or input that cannot be interpreted."""


class FileError(Error):
    """A file that cannot be opened, or a reader or writer that could not be created for it."""


_velk._install_exception_types(Error, FormatError, FileError)
