"""Exception classes of nimbrel.velk, installed into the extension module once."""

from . import _velk


class Error(Exception):
    """Base of every error raised by nimbrel.velk; messages begin with "velk: "."""


class FormatError(Error):
    """An unknown or unsupported format, a missing capability, or input that cannot be interpreted."""


class FileError(Error):
    """A file that cannot be opened, or a reader or writer that could not be created for it."""


class ReadWarning(UserWarning):
    """Records a reader skipped, or input that ended early or was damaged; the
    message names the file and the record. The records around them are kept."""


_velk._install_exception_types(Error, FormatError, FileError, ReadWarning)
