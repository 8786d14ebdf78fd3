"""Exception classes of nimbrel.velk, installed into the extension module once."""

from . import _velk


class Error(Exception):
    """Base of every error raised by nimbrel.velk; messages begin with "velk: "."""


class FormatError(Error):
    """An unknown or unsupported format, a missing capability, or input that cannot be interpreted."""


class FileError(Error):
    """A file that cannot be opened, or a reader or writer that could not be created for it."""


class ReadWarning(UserWarning):
    """What the toolkit reported while reading: records a reader skipped,
    input that ended early or was damaged, remarks on a record it still read.
    The message names the file and the record; the records around are kept."""


class WriteWarning(UserWarning):
    """What the toolkit reported while writing (a record it wrote only in
    part, an output it could not close cleanly); the message names the file
    and the record."""


_velk._install_exception_types(Error, FormatError, FileError, ReadWarning, WriteWarning)
