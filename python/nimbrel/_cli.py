"""Command line of nimbrel.velk: ``python -m nimbrel.velk formats``."""

from __future__ import annotations

import argparse
import sys

from . import velk


def _print_formats() -> int:
    for info in velk.formats():
        modes = ("r" if info.supports_read else "-") + ("w" if info.supports_write else "-")
        print(f"{info.name:<8} {modes}  {info.description}")
        print(f"{'':<8}     {' '.join(info.extensions)}")
    return 0


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m nimbrel.velk", description=__doc__)
    commands = parser.add_subparsers(dest="command", required=True)
    commands.add_parser("formats", help="list the registered file formats")
    args = parser.parse_args(argv)
    if args.command == "formats":
        return _print_formats()
    parser.error(f"unknown command {args.command}")
    return 2


if __name__ == "__main__":
    sys.exit(main())
