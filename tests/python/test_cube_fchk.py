"""CUBE and FCHK files through nimbrel.velk: records, grids, round trips, scalars, errors."""

from __future__ import annotations

from pathlib import Path

import pytest

from nimbrel import _velk, tamrin, velk
from nimbrel.velgar import QvScalarGrid

BOHR = 0.52917721067

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

# Two atoms, three orbitals on a 1 x 1 x 2 lattice in Bohr.
ORBITALS = (
    "mo\ncube\n"
    "   -2    0.0    0.0    0.0\n"
    "    1    0.5    0.0    0.0\n"
    "    1    0.0    0.5    0.0\n"
    "    2    0.0    0.0    0.5\n"
    "    8    8.0    0.0    0.0    0.0\n"
    "    1    1.0    0.0    0.0    1.8897261254578281\n"
    "    3   10   11   12\n"
    " 1 2 3\n 4 5 6\n"
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


def elements(mol) -> list[int]:
    return [atom.GetAtomicNum() for atom in mol.GetAtoms()]


class TestCubeReading:
    def test_read_record_gives_molecule_and_grid(self, density: Path):
        mol, grids = velk.read_record(density)
        assert elements(mol) == [8]
        assert len(grids) == 1
        grid = grids[0]
        assert isinstance(grid, QvScalarGrid)
        assert grid.GetDim() == (2, 3, 4)
        assert grid.GetSpacing() == 1.0
        assert grid.GetMid() == (0.5, 1.0, 1.5)
        # File voxel (i, j, k) is grid point (i, j, k).
        assert grid.GetValue(1, 2, 3) == 23.0
        assert grid.GetValue(0, 0, 1) == 1.0
        assert grid.GetValue(1, 0, 0) == 12.0

    def test_numpy_view_is_indexed_z_y_x(self, density: Path):
        np = pytest.importorskip("numpy")
        _, (grid,) = velk.read_record(density)
        values = grid.values
        assert values.shape == (4, 3, 2)
        expected = np.arange(24, dtype=np.float32).reshape(2, 3, 4)  # file order: [i][j][k]
        assert (values.transpose(2, 1, 0) == expected).all()

    def test_orbital_cube_gives_one_grid_per_orbital(self, tmp_path: Path):
        path = tmp_path / "mo.cub"
        path.write_text(ORBITALS)
        mol, grids = velk.read_record(path)
        assert elements(mol) == [8, 1]
        assert [g.GetValues() for g in grids] == [[1.0, 4.0], [2.0, 5.0], [3.0, 6.0]]
        assert grids[0].GetSpacing() == pytest.approx(0.5 * BOHR)

    def test_reader_yields_one_record(self, density: Path):
        with velk.open_reader(density) as reader:
            assert reader.read_record() is not None
            assert reader.read_record() is None

    @pytest.mark.parametrize(
        "line3, message",
        [
            ("    1    0.0    0.0    0.0    1", "velk: CUBE: unexpected extra data on origin"),
            ("  1.5    0.0    0.0    0.0", "velk: malformed CUBE atom count"),
            ("-100000001 0 0 0", "velk: CUBE: atom count exceeds limit (100000000)"),
        ],
    )
    def test_bad_input_raises_format_error(self, tmp_path: Path, line3: str, message: str):
        path = tmp_path / "bad.cube"
        lines = DENSITY.split("\n")
        lines[2] = line3
        path.write_text("\n".join(lines))
        with pytest.raises(velk.FormatError) as raised:
            velk.read_record(path)
        assert str(raised.value) == message

    def test_missing_file_is_file_error(self, tmp_path: Path):
        path = tmp_path / "absent.cube"
        reader = velk.open_reader(path)  # opening does not touch the file
        with pytest.raises(velk.FileError) as raised:
            reader.read_record()
        assert str(raised.value) == f"velk: unable to open '{path}' for reading"


class TestCubeWriting:
    def test_writer_round_trip_is_byte_identical(self, density: Path, tmp_path: Path):
        mol, grids = velk.read_record(density)
        first, second = tmp_path / "first.cube", tmp_path / "second.cube"
        with velk.open_writer(first) as writer:
            writer.append(mol, *grids)
        again_mol, again_grids = velk.read_record(first)
        assert again_grids[0].GetValues() == grids[0].GetValues()
        assert elements(again_mol) == [8]
        with velk.open_writer(second) as writer:
            writer.append(again_mol, *again_grids)
        assert second.read_bytes() == first.read_bytes()

    def test_written_layout(self, tmp_path: Path):
        mol = tamrin.QvGraphMol()
        atom = mol.NewAtom(6)
        mol.SetCoords(atom, [0.0, 0.0, 0.0])
        grid = QvScalarGrid(2, 2, 2, 0.0, 0.0, 0.0, 1.0, "", values=[0.5] * 8)
        path = tmp_path / "c.cube"
        with velk.open_writer(path) as writer:
            writer.append(mol, grid)
        lines = path.read_text().split("\n")
        assert lines[:7] == [
            "CUBE file written by velk",
            "QvScalarGrid volumetric data",
            "1 -0.944863063 -0.944863063 -0.944863063",
            "2 1.88972613 0.0 0.0",
            "2 0.0 1.88972613 0.0",
            "2 0.0 0.0 1.88972613",
            "6 6 0 0 0",
        ]
        assert lines[7:] == [" 0.5"] * 8 + [""]

    def test_several_grids_make_an_orbital_cube(self, tmp_path: Path):
        path = tmp_path / "mo.cube"
        path.write_text(ORBITALS)
        mol, grids = velk.read_record(path)
        out = tmp_path / "out.cube"
        with velk.open_writer(out) as writer:
            writer.append(mol, *grids)
        text = out.read_text().split("\n")
        assert text[2].startswith("-2 ")
        assert text[8] == "3 1 2 3"
        assert text[9:11] == [" 1 2 3", " 4 5 6"]

    def test_molecule_without_grids_is_refused(self, tmp_path: Path):
        path = tmp_path / "none.cube"
        with velk.open_writer(path) as writer:
            with pytest.raises(velk.FormatError) as raised:
                writer.append(tamrin.QvGraphMol())
        assert str(raised.value) == (
            "velk: CUBE requires at least one grid; use append(mol, grid) / writer.append(mol, *grids)"
        )
        assert not path.exists()

    def test_second_record_is_refused(self, density: Path, tmp_path: Path):
        mol, grids = velk.read_record(density)
        with velk.open_writer(tmp_path / "one.cube") as writer:
            writer.append(mol, *grids)
            with pytest.raises(velk.FormatError, match="^velk: CUBE holds a single record; cannot append again$"):
                writer.append(mol, *grids)

    def test_non_finite_value_leaves_no_file(self, tmp_path: Path):
        grid = QvScalarGrid(2, 2, 2, 0.0, 0.0, 0.0, 1.0, "", values=[0.0] * 7 + [float("inf")])
        path = tmp_path / "inf.cube"
        with velk.open_writer(path) as writer:
            with pytest.raises(velk.FormatError, match="^velk: CUBE: non-finite volumetric value$"):
                writer.append(tamrin.QvGraphMol(), grid)
        assert not path.exists()


class TestFchk:
    @pytest.fixture
    def fchk(self, tmp_path: Path) -> Path:
        path = tmp_path / "water.fchk"
        path.write_text(FCHK)
        return path

    def test_scalars_are_generic_data(self, fchk: Path):
        mol, grids = velk.read_record(fchk)
        assert grids == []
        assert mol.GetTitle() == "water"
        assert velk.generic_data(mol) == [
            ("Method", "RHF"),
            ("Basis", "STO-3G"),
            ("Charge", 0),
            ("Multiplicity", 1),
            ("Number of electrons", 10),
            ("Total Energy", -76.0266327341),
        ]

    def test_atoms_in_angstrom(self, fchk: Path):
        mol = next(velk.read(fchk))
        assert elements(mol) == [8, 1, 1]
        coords = [mol.GetCoords(atom) for atom in mol.GetAtoms()]
        assert [tuple(round(c, 6) for c in xyz) for xyz in coords] == [
            (0.0, 0.0, 0.0), (1.0, 0.0, 0.0), (0.0, 1.0, 0.0)]

    def test_bad_scalar_raises_format_error(self, tmp_path: Path):
        path = tmp_path / "bad.fch"
        path.write_text(FCHK.replace("-76.0266327341", "-76.0266327341D+00"))
        with pytest.raises(velk.FormatError) as raised:
            velk.read_record(path)
        assert str(raised.value) == "velk: malformed FCHK total energy"


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


class TestSharedFiles:
    def test_gaussian_cubegen_density(self, shared_testdata: Path):
        mol, grids = velk.read_record(shared_testdata / "cube" / "iodata_cubegen_ch4_6points.cube")
        assert elements(mol) == [6, 1, 1, 1, 1]
        assert grids[0].GetDim() == (6, 6, 6)
        assert grids[0].GetValue(0, 0, 0) == pytest.approx(2.66011e-09)

    @pytest.mark.parametrize(
        "name, message",
        [
            ("iodata_aelta_skewed.cube",
             "velk: CUBE: only axis-aligned, positively-oriented, cubic-voxel grids are supported (v1); "
             "rotated/skewed/reflected/anisotropic axes rejected"),
            ("chemsmart_g16_n2_dens_nval.cube", "velk: CUBE: unexpected extra data on origin"),
        ],
    )
    def test_refused_cubes(self, shared_testdata: Path, name: str, message: str):
        with pytest.raises(velk.FormatError) as raised:
            velk.read_record(shared_testdata / "cube" / name)
        assert str(raised.value) == message

    def test_gaussian16_fchk_scalars(self, shared_testdata: Path):
        mol, _ = velk.read_record(shared_testdata / "fchk" / "cclib_g16_trp_polar.fchk")
        assert mol.NumAtoms() == 27
        data = dict(velk.generic_data(mol))
        assert data["Method"] == "RHF"
        assert "Basis" not in data  # this writer puts it past the basis columns
        assert data["Number of electrons"] == 108
        assert data["Total Energy"] == -673.5905711573295

    def test_fchk_without_atom_count_is_refused(self, shared_testdata: Path):
        with pytest.raises(velk.FormatError, match="^velk: FCHK: missing 'Number of atoms'$"):
            velk.read_record(shared_testdata / "fchk" / "iodata_water_dimer_ghost_no_natoms.fchk")
