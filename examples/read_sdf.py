"""Print the title and the SD data of every record of an SD file.

    python examples/read_sdf.py ligands.sdf.gz

Records the reader cannot make sense of are skipped with a ``velk.ReadWarning``
that names the file and the record; the good records around them are read.
"""

from __future__ import annotations

import sys

from nimbrel import velk


def main(argv: list[str]) -> int:
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        for number, mol in enumerate(velk.read(argv[0]), start=1):
            print(f"{number}: {mol.title or '(no title)'}, {mol.NumAtoms()} atoms")
            for tag, value in mol.sd.items():
                print(f"    {tag} = {value}")
    except velk.Error as error:  # a missing file, an unknown suffix, a damaged record
        print(error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
