"""CUBE and FCHK files through nimbrel.velk: what the Python face adds to the C++ handlers
(grids as QvScalarGrid with a NumPy view, grids as writer arguments, the end of a one-record file)."""

from __future__ import annotations

from pathlib import Path

import numpy as np
import pytest

from nimbrel import _velk, tamrin, velk
from nimbrel.velgar import QvScalarGrid


# 1 atom, 2 x 3 x 4 voxels in Ångström (negative counts), values 0..23 in file
# order: voxel (i, j, k) holds k + 4 * (j + 3 * i).
DENSITY = (
    "density\nfor tests\n"
    "    1    0.0    0.0    0.0\n"
    "   -2    1.0    0.0    0.0\n"
    "   -3    0.0    1.0    0.0\n"
    "   -4    0.0    0.0    1.0\n"
    "    8    8.0    0.5    0.25   -1.0\n"
    + "\n".join(" ".join(str(v) for v in range(r, min(r + 6, 24))) for r in range(0, 24, 6))
    + "\n"
)

def _scalar(label: str, kind: str, value: str) -> str:
    return f"{label:<40}   {kind}     {value}\n"


def _array(label: str, kind: str, count: int) -> str:
    return f"{label:<40}   {kind}   N={count:>12}\n"


FCHK = (
    "water\n"
    "SP        RHF                           STO-3G\n"
    + _scalar("Number of atoms", "I", "3")
    + _scalar("Charge", "I", "0")
    + _scalar("Multiplicity", "I", "1")
    + _scalar("Number of electrons", "I", "10")
    + _array("Atomic numbers", "I", 3) + "           8           1           1\n"
    + _array("Current cartesian coordinates", "R", 9)
    + "  0.0 0.0 0.0 1.8897261254578281 0.0\n  0.0 0.0 1.8897261254578281 0.0\n"
    + _array("Orbital energies", "R", 7) + " 1 2 3 4 5\n 6 7\n"
    + _scalar("Total Energy", "R", "-76.0266327341")
)


@pytest.fixture
def density(tmp_path: Path) -> Path:
    path = tmp_path / "density.cube"
    path.write_text(DENSITY)
    return path


def test_cube_record_is_a_molecule_and_grids_with_a_z_y_x_view(density: Path):
    mol, grids = velk.read_record(density)
    assert [atom.GetAtomicNum() for atom in mol.GetAtoms()] == [8]
    (grid,) = grids
    assert isinstance(grid, QvScalarGrid)
    assert grid.GetDim() == (2, 3, 4)
    assert grid.GetValue(1, 0, 0) == 12.0  # file voxel (i, j, k) is grid point (i, j, k)
    values = grid.values
    assert values.shape == (4, 3, 2)
    expected = np.arange(24, dtype=np.float32).reshape(2, 3, 4)  # file order: [i][j][k]
    assert (values.transpose(2, 1, 0) == expected).all()


def test_cube_writer_takes_grids_as_arguments(density: Path, tmp_path: Path):
    mol, grids = velk.read_record(density)
    out = tmp_path / "out.cube"
    with velk.open_writer(out) as writer:
        writer.append(mol, *grids)
    assert velk.read_record(out)[1][0].GetValues() == grids[0].GetValues()


@pytest.mark.parametrize("name, text", [("density.cube", DENSITY), ("water.fchk", FCHK)])
def test_a_spent_reader_empties_the_molecule(tmp_path: Path, name: str, text: str):
    path = tmp_path / name
    path.write_text(text)
    handle = _velk._open_reader(str(path))
    mol = tamrin.QvGraphMol()
    assert _velk._ReaderHandle_next(handle, mol)
    for read, end in [
        (lambda: _velk._ReaderHandle_next(handle, mol), False),
        (lambda: _velk._ReaderHandle_next_grid_tuple(handle, mol), None),
        (lambda: _velk._ReaderHandle_next_grids(handle, mol, [QvScalarGrid()]), -1),
    ]:
        mol.NewAtom(6)
        assert read() == end
        assert mol.NumAtoms() == 0
