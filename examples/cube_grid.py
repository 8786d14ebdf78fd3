"""Summarise the grids of a CUBE file: size, extent, value range and the point of the highest value.

    python examples/cube_grid.py density.cube

Grid values are a NumPy view of shape (zdim, ydim, xdim), not a copy.
"""

from __future__ import annotations

import sys

import numpy as np

from nimbrel import velk


def main(argv: list[str]) -> int:
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    mol, grids = velk.read_record(argv[0])
    print(f"{argv[0]}: {mol.NumAtoms()} atoms, {len(grids)} grid(s)")
    for grid in grids:
        values = grid.values
        z, y, x = (int(i) for i in np.unravel_index(int(np.argmax(values)), values.shape))
        top = (grid.GetXCoord(x), grid.GetYCoord(y), grid.GetZCoord(z))
        print(f"  {grid.GetTitle() or '(untitled)'}: {'x'.join(map(str, grid.GetDim()))} points, "
              f"spacing {grid.GetSpacing():g}, x from {grid.GetXMin():g} to {grid.GetXMax():g}")
        print(f"  values {values.min():g} .. {values.max():g}, highest at "
              f"({top[0]:.3f}, {top[1]:.3f}, {top[2]:.3f})")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
