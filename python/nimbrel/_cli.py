"""Command line of nimbrel.velk.

    python -m nimbrel.velk formats            list the registered formats
    python -m nimbrel.velk info FILE          count records, atoms and grids
    python -m nimbrel.velk convert IN OUT     copy every record, formats from the suffixes
    python -m nimbrel.velk index IN DB        build a molecule database (nimbrel.searchdb)
    python -m nimbrel.velk similar DB SMILES  records of DB similar to SMILES
    python -m nimbrel.velk search DB SMARTS   records of DB that SMARTS matches

``-`` as FILE or IN reads standard input and as OUT writes standard output;
``--in-format``/``--out-format`` (``sdf``, ``smi.gz``, ``cube``) name the
format of a stream, or of a file whose suffix says nothing. ``--errors skip``
(the default) reports each damaged record on standard error and goes on;
``--errors raise`` stops at the first one with status 1. ``--threads N``
parses the records of IN on N threads (N - 1 workers); the output is the same, in
the input's order. ``convert`` writes
into a temporary file beside OUT and renames it over OUT only once every
record is written: a failed or interrupted run leaves no partial file, and an
older OUT as it was. A progress bar shows on a terminal when tqdm is installed.
"""

from __future__ import annotations

import argparse
import contextlib
import os
import shutil
import sys
import tempfile
import warnings
from typing import Iterable, Iterator

from . import velk
from .search import DatabaseError, MoleculeDB, compile_smarts

_PROG = "python -m nimbrel.velk"
_GZIP_MAGIC = b"\x1f\x8b"
_STDIN = "<stdin>"
_STDOUT = "<stdout>"


class _UsageError(Exception):
    """A request the command cannot act on, whatever the input holds."""


class _Names:
    """The temporary files behind standard input and output, or behind a file
    read in a format its suffix does not name, and the names the user gave:
    messages show the user's names."""

    def __init__(self) -> None:
        self._shown: dict[str, str] = {}

    def add(self, temporary: str, shown: str) -> None:
        self._shown[temporary] = shown

    def text(self, message: object) -> str:
        text = str(message)
        for note in getattr(message, "__notes__", ()):
            text += f" ({note})"
        for temporary, shown in sorted(self._shown.items(), key=lambda item: -len(item[0])):
            text = text.replace(temporary, shown)
        return text


def _print_formats() -> int:
    for info in velk.formats():
        modes = ("r" if info.supports_read else "-") + ("w" if info.supports_write else "-")
        print(f"{info.name:<8} {modes}  {info.description}")
        print(f"{'':<8}     {' '.join(info.extensions)}")
    return 0


def _suffix_and_code(fmt: str) -> tuple[str, int | None]:
    """The file suffix, and the molecule format code when there is one, that
    make a reader or writer use `fmt`: a suffix ("sdf", ".smi.gz") or a
    format family's name ("cube")."""
    key = fmt.strip().lower().lstrip(".")
    gz = ".gz" if key.endswith(".gz") else ""
    key = key.removesuffix(".gz")
    try:
        # Names the molecule formats know beyond the registered suffixes (json, inchi).
        return f".{key}{gz}", velk.resolve_format(key)
    except velk.FormatError:
        pass
    for info in velk.formats():
        plain = [e for e in info.extensions if not e.endswith(".gz")]
        if f".{key}" in plain:
            return f".{key}{gz}", None
        if key == info.name.lower() and plain:
            return plain[0] + gz, None
    raise _UsageError(f"unknown format {fmt!r}; `{_PROG} formats` lists them")


def _open_source(args: argparse.Namespace, source: str, names: _Names, stack: contextlib.ExitStack) -> velk.Reader:
    """A reader of `source` (a path, or "-" for standard input) in the format
    --in-format names or its suffix says, with the --errors rule.

    The readers take paths, and know gzip from a name ending ".gz": standard
    input is spooled to a temporary file, and a file read in a given format is
    linked under a name with that format's suffix (plus ".gz" for gzip data).
    """
    fmt = args.in_format
    # The command line's "skip" reports and goes on: the readers' "warn".
    errors = "raise" if args.errors == "raise" else "warn"
    threads = getattr(args, "threads", 1)
    if fmt is None:
        if source == "-":
            raise _UsageError("reading standard input needs --in-format")
        return velk.open_reader(source, errors=errors, num_threads=threads)
    suffix, code = _suffix_and_code(fmt)
    folder = stack.enter_context(tempfile.TemporaryDirectory(prefix="nimbrel-"))
    shown = _label(source, _STDIN)
    data = os.path.join(folder, "stdin") if source == "-" else os.path.abspath(source)
    names.add(data, shown)
    if source == "-":
        with open(data, "wb") as spool:
            shutil.copyfileobj(sys.stdin.buffer, spool, 1 << 20)
    with open(data, "rb") as head:
        if head.read(2) == _GZIP_MAGIC and not suffix.endswith(".gz"):
            suffix += ".gz"
    path = os.path.join(folder, "input" + suffix)
    names.add(path, shown)
    if source == "-":
        os.replace(data, path)
    else:
        os.symlink(data, path)
    return velk.open_reader(path, format=code, errors=errors, num_threads=threads)


def _progress(records: Iterable, label: str) -> Iterable:
    """`records`, with a progress bar on a terminal's standard error when tqdm is installed."""
    if not sys.stderr.isatty():
        return records
    try:
        from tqdm import tqdm
    except ImportError:
        return records
    return tqdm(records, desc=label, unit=" records", file=sys.stderr, leave=False)


def _records(reader: velk.Reader, label: str) -> Iterable[tuple[object, list[object]]]:
    def every() -> Iterator[tuple[object, list[object]]]:
        while (record := reader.read_record()) is not None:
            yield record

    return _progress(every(), label)


def _label(name: str, stream: str) -> str:
    return stream if name == "-" else name


def _info(args: argparse.Namespace, names: _Names) -> int:
    records = atoms = grids = 0
    label = _label(args.file, _STDIN)
    with contextlib.ExitStack() as stack:
        reader = stack.enter_context(_open_source(args, args.file, names, stack))
        for mol, record_grids in _records(reader, label):
            records += 1
            atoms += mol.NumAtoms()
            grids += len(record_grids)
    print(f"{label}: {records} records, {atoms} atoms, {grids} grids")
    return 0


def _file_mode(target: str) -> int:
    """The permissions a converted file gets: an older target's, else what the umask allows."""
    try:
        return os.stat(target).st_mode & 0o7777
    except FileNotFoundError:
        umask = os.umask(0)
        os.umask(umask)
        return 0o666 & ~umask


def _convert(args: argparse.Namespace, names: _Names) -> int:
    source, target = args.source, args.target
    if target == "-" and args.out_format is None:
        raise _UsageError("writing standard output needs --out-format")
    if args.out_format is None:
        # The registry picks the writer from the end of the name.
        suffix, code = "-" + os.path.basename(target), None
    else:
        suffix, code = _suffix_and_code(args.out_format)
    folder = tempfile.gettempdir() if target == "-" else os.path.dirname(os.path.abspath(target))
    try:
        descriptor, temporary = tempfile.mkstemp(prefix=".nimbrel-", suffix=suffix, dir=folder)
    except OSError as error:
        raise OSError(f"cannot write {target!r}: {error.strerror}") from None
    os.close(descriptor)
    names.add(temporary, _label(target, _STDOUT))
    written = 0
    try:
        with contextlib.ExitStack() as stack:
            reader = stack.enter_context(_open_source(args, source, names, stack))
            with velk.open_writer(temporary, format=code) as writer:
                for mol, grids in _records(reader, _label(source, _STDIN)):
                    writer.append(mol, *grids)
                    written += 1
        if target == "-":
            with open(temporary, "rb") as done:
                shutil.copyfileobj(done, sys.stdout.buffer, 1 << 20)
            sys.stdout.buffer.flush()
        else:
            os.chmod(temporary, _file_mode(target))
            os.replace(temporary, target)
    finally:
        with contextlib.suppress(FileNotFoundError):
            os.remove(temporary)
    print(f"{_label(source, _STDIN)} -> {_label(target, _STDOUT)}: {written} records", file=sys.stderr)
    return 0


def _index(args: argparse.Namespace, names: _Names) -> int:
    with contextlib.ExitStack() as stack:
        reader = stack.enter_context(_open_source(args, args.source, names, stack))
        mols = (mol for mol, _ in _records(reader, _label(args.source, _STDIN)))
        db = MoleculeDB.build(mols, args.database, append=args.append)
    print(f"{_label(args.source, _STDIN)} -> {args.database}: {len(db)} records", file=sys.stderr)
    return 0


def _similar(args: argparse.Namespace) -> int:
    query = velk.mol_from_string(args.smiles, "smi")
    if query is None:
        raise _UsageError(f"cannot read SMILES {args.smiles!r}")
    with MoleculeDB(args.database) as db:
        hits = db.nearest(query, args.top) if args.top else db.similar(query, args.threshold)
        for record, score in hits:
            print(f"{record}\t{score:.4f}\t{db[record].GetTitle()}")
    return 0


def _search(args: argparse.Namespace) -> int:
    try:
        query = compile_smarts(args.smarts)
    except ValueError as error:
        raise _UsageError(f"bad SMARTS: {error}") from None
    with MoleculeDB(args.database) as db:
        for record in db.search(query, stereo=args.stereo):
            print(f"{record}\t{db[record].GetTitle()}")
    return 0


def _thread_count(text: str) -> int:
    try:
        count = int(text)
    except ValueError:
        count = -1
    if count < 1:
        raise argparse.ArgumentTypeError(f"expected a whole number of 1 or more, not {text!r}")
    return count


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog=_PROG, description="Read, inspect and convert chemistry files.")
    commands = parser.add_subparsers(dest="command", required=True)
    commands.add_parser("formats", help="list the registered file formats")
    reading = argparse.ArgumentParser(add_help=False)
    reading.add_argument("--in-format", metavar="FMT", help="format of the input (sdf, smi.gz, cube, ...) "
                         "when its name does not say; needed for standard input")
    reading.add_argument("--errors", choices=("skip", "raise"), default="skip",
                         help="on a damaged record: report it and go on (default), or stop with status 1")
    info = commands.add_parser("info", parents=[reading], help="count the records, atoms and grids of a file")
    info.add_argument("file", metavar="FILE", help="the file, or - for standard input")
    convert = commands.add_parser("convert", parents=[reading], help="copy every record of IN to OUT")
    convert.add_argument("--out-format", metavar="FMT", help="format of the output when its name does not say; "
                         "needed for standard output")
    convert.add_argument("--threads", metavar="N", type=_thread_count, default=1,
                         help="threads that parse the input (default 1); the output keeps the input's order")
    convert.add_argument("source", metavar="IN", help="the input file, or - for standard input")
    convert.add_argument("target", metavar="OUT", help="the output file, or - for standard output")
    index = commands.add_parser("index", parents=[reading], help="build a molecule database from the records of IN")
    index.add_argument("--append", action="store_true", help="add to an existing database instead of replacing it")
    index.add_argument("source", metavar="IN", help="the input file, or - for standard input")
    index.add_argument("database", metavar="DB", help="the database file")
    similar = commands.add_parser("similar", help="records of DB similar to a SMILES, in file order")
    similar.add_argument("--threshold", type=float, default=0.7, help="least Tanimoto score (default 0.7)")
    similar.add_argument("--top", metavar="K", type=_thread_count, help="the K most similar records instead, best first")
    similar.add_argument("database", metavar="DB", help="the database file")
    similar.add_argument("smiles", metavar="SMILES", help="the query molecule")
    search = commands.add_parser("search", help="records of DB that a SMARTS query matches, in file order")
    search.add_argument("--stereo", action="store_true", help="chirality and double-bond marks must agree")
    search.add_argument("database", metavar="DB", help="the database file")
    search.add_argument("smarts", metavar="SMARTS", help="the substructure query")
    return parser


def main(argv: list[str] | None = None) -> int:
    """Runs one command; returns the exit status (0 done, 1 failed, 2 a request
    that cannot be served, 130 interrupted)."""
    args = _parser().parse_args(argv)
    if args.command == "formats":
        return _print_formats()
    names = _Names()
    warned = 0

    def report(message, category, filename, lineno, file=None, line=None) -> None:
        nonlocal warned
        warned += 1
        print(f"warning: {names.text(message)}", file=sys.stderr)

    try:
        with warnings.catch_warnings():
            warnings.simplefilter("always", velk.ReadWarning)
            warnings.simplefilter("always", velk.WriteWarning)
            warnings.showwarning = report
            commands = {"info": _info, "convert": _convert, "index": _index}
            if args.command in ("similar", "search"):
                status = _similar(args) if args.command == "similar" else _search(args)
            else:
                status = commands[args.command](args, names)
    except _UsageError as error:
        print(f"{_PROG}: {error}", file=sys.stderr)
        return 2
    except BrokenPipeError:
        # The reader of our output stopped early (`| head`): nothing to report,
        # and the interpreter's last flush of standard output must not fail.
        with contextlib.suppress(OSError, ValueError):
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    except (velk.Error, OSError, DatabaseError) as error:
        print(f"{_PROG}: {names.text(error)}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print(f"{_PROG}: interrupted", file=sys.stderr)
        return 130
    if warned:
        print(f"{warned} warnings", file=sys.stderr)
    return status


if __name__ == "__main__":
    sys.exit(main())
