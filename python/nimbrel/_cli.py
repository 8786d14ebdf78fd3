"""Command line of nimbrel.velk.

    python -m nimbrel.velk formats            list the registered formats
    python -m nimbrel.velk info FILE          count records, atoms and grids
    python -m nimbrel.velk convert IN OUT     copy every record, formats from the suffixes
"""

from __future__ import annotations

import argparse
import sys
from typing import Iterator

from . import velk

_PROGRESS_EVERY = 1000


def _print_formats() -> int:
    for info in velk.formats():
        modes = ("r" if info.supports_read else "-") + ("w" if info.supports_write else "-")
        print(f"{info.name:<8} {modes}  {info.description}")
        print(f"{'':<8}     {' '.join(info.extensions)}")
    return 0


def _records(path: str) -> Iterator[tuple[object, list[object]]]:
    """Every record of `path`, with a running count on a terminal's standard error."""
    show = sys.stderr.isatty()
    count = 0
    with velk.open_reader(path) as reader:
        while (record := reader.read_record()) is not None:
            count += 1
            if show and count % _PROGRESS_EVERY == 0:
                print(f"\r{path}: {count} records", end="", file=sys.stderr, flush=True)
            yield record
    if show and count >= _PROGRESS_EVERY:
        print(file=sys.stderr)


def _info(path: str) -> int:
    records = atoms = grids = 0
    for mol, record_grids in _records(path):
        records += 1
        atoms += mol.NumAtoms()
        grids += len(record_grids)
    print(f"{path}: {records} records, {atoms} atoms, {grids} grids")
    return 0


def _convert(source: str, target: str) -> int:
    written = 0
    with velk.open_writer(target) as writer:
        for mol, grids in _records(source):
            writer.append(mol, *grids)
            written += 1
    print(f"{source} -> {target}: {written} records")
    return 0


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m nimbrel.velk", description="Read, inspect and convert chemistry files.")
    commands = parser.add_subparsers(dest="command", required=True)
    commands.add_parser("formats", help="list the registered file formats")
    info = commands.add_parser("info", help="count the records, atoms and grids of a file")
    info.add_argument("file")
    convert = commands.add_parser("convert", help="copy every record of IN to OUT")
    convert.add_argument("source", metavar="IN")
    convert.add_argument("target", metavar="OUT")
    args = parser.parse_args(argv)
    try:
        if args.command == "formats":
            return _print_formats()
        if args.command == "info":
            return _info(args.file)
        return _convert(args.source, args.target)
    except velk.Error as error:
        print(error, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
