"""Load an SD file into a pandas DataFrame, filter on an SD column, write the rows kept.

    python examples/sdf_frame.py ligands.sdf heavy_atoms 10 big.sdf

keeps the records whose ``heavy_atoms`` item is at least 10. Needs pandas.
"""

from __future__ import annotations

import sys

from nimbrel import velk


def main(argv: list[str]) -> int:
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    source, column, threshold, target = argv
    frame = velk.read_frame(source)
    print(f"{source}: {len(frame)} records; columns {', '.join(map(str, frame.columns))}")
    if column not in frame.columns:
        print(f"no SD column {column!r}", file=sys.stderr)
        return 1
    kept = frame[frame[column] >= float(threshold)]
    print(kept[["title", column]].to_string(index=False))
    written = velk.write_frame(kept, target)
    print(f"{target}: {written} records")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
