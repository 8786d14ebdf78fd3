"""Readers and writers opened by path, and the argument conversions of _velk."""

from __future__ import annotations

import os
from pathlib import Path

import pytest

from nimbrel import _velk, tamrin, velgar, velk


@pytest.fixture
def mol():
    return tamrin.QvGraphMol()


class TestOpeningByPath:
    def test_unknown_suffix_fails_before_touching_the_file(self, tmp_path: Path):
        path = tmp_path / "missing-dir" / "x.txt"
        with pytest.raises(velk.FormatError, match=r"^velk: unrecognized file extension for '.*x\.txt'$"):
            velk.open_reader(path)
        with pytest.raises(velk.FormatError, match="unrecognized file extension"):
            velk.open_writer(path)
        assert not path.parent.exists()

    @pytest.mark.parametrize("name", ["x", "x.SDF", "x.gz", "x.cube.gz"])
    def test_suffixes_that_no_handler_serves(self, tmp_path: Path, name: str):
        with pytest.raises(velk.FormatError):
            velk.open_reader(tmp_path / name)

    def test_missing_file_with_a_known_suffix(self, tmp_path: Path):
        path = tmp_path / "absent.sdf"
        with pytest.raises(velk.FileError, match=f"^velk: unable to open '{path}' for reading$"):
            velk.open_reader(path)

    def test_writer_in_a_missing_directory(self, tmp_path: Path):
        path = tmp_path / "no" / "such" / "out.sdf"
        with pytest.raises(velk.FileError, match="for writing"):
            velk.open_writer(path)

    def test_str_and_path_are_both_accepted(self, tmp_path: Path):
        for path in (tmp_path / "a.smi", str(tmp_path / "b.smi")):
            with velk.open_writer(path) as writer:
                assert writer.path == str(path)

    def test_fchk_cannot_be_written(self, tmp_path: Path):
        with pytest.raises(velk.FormatError, match="^velk: FCHK is read-only; writing is not supported$"):
            velk.open_writer(tmp_path / "out.fchk")


class TestWriterHandle:
    def test_close_twice_and_append_after_close(self, tmp_path: Path, mol):
        handle = _velk._open_writer(str(tmp_path / "out.xyz"))
        _velk._WriterHandle_close(handle)
        _velk._WriterHandle_close(handle)
        assert _velk._WriterHandle_append_mol(handle, mol) is False
        assert _velk._WriterHandle_append_grids(handle, mol, []) is False

    def test_friendly_writer_refuses_after_close(self, tmp_path: Path, mol):
        writer = velk.open_writer(tmp_path / "out.xyz")
        writer.close()
        writer.close()
        with pytest.raises(ValueError, match="closed"):
            writer.append(mol)

    def test_handles_have_no_python_constructor(self):
        with pytest.raises(AttributeError):
            _velk.new__ReaderHandle


class TestArgumentConversions:
    def test_unsigned_and_bool_arguments(self, mol):
        assert isinstance(_velk._mol_to_string(mol, 0 + 8, 0), str)
        with pytest.raises(TypeError, match=r"^in method '_mol_to_bytes', argument 4 of type 'bool'$"):
            _velk._mol_to_bytes(mol, 8, 0, 1)
        with pytest.raises(OverflowError, match=r"^in method '_mol_to_string', argument 2 of type 'unsigned int'$"):
            _velk._mol_to_string(mol, 2**32, 0)
        with pytest.raises(OverflowError, match="argument 3 of type 'unsigned int'"):
            _velk._mol_to_string(mol, 8, -1)
        with pytest.raises(TypeError, match=r"^in method '_mol_to_string', argument 2 of type 'unsigned int'$"):
            _velk._mol_to_string(mol, 8.0, 0)

    def test_argument_counts(self, mol):
        with pytest.raises(TypeError, match=r"^_mol_to_string expected 3 arguments, got 2$"):
            _velk._mol_to_string(mol, 8)
        # Every function that counts its arguments says "none" for an empty call.
        counted = []
        for name in dir(_velk):
            if name.startswith("new_"):  # constructors that take nothing would build objects
                continue
            try:
                getattr(_velk, name)()
            except TypeError as error:
                counted += [str(error)] if " arguments, got " in str(error) else []
        assert "_mol_to_string expected 3 arguments, got none" in counted
        assert [m for m in counted if not m.endswith(" arguments, got none")] == []

    def test_string_arguments(self, mol):
        with pytest.raises(TypeError, match=r"^in method '_resolve_format', argument 1 of type 'std::string const &'$"):
            _velk._resolve_format(3)
        with pytest.raises(TypeError, match=r"^invalid null reference in method '_mol_from_string', argument 2"):
            _velk._mol_from_string(mol, None, 8, 0)

    def test_bytes_argument_must_be_bytes(self, mol):
        with pytest.raises(TypeError):
            _velk._mol_from_bytes(mol, "text", 8, 0, False)

    def test_molecule_arguments(self):
        with pytest.raises(TypeError, match=r"^Null reference\.$"):
            _velk._mol_to_string(None, 8, 0)
        with pytest.raises(TypeError, match=r"^Expected QvMolBase-derived object\.$"):
            _velk._mol_to_string(object(), 8, 0)
        with pytest.raises(TypeError, match="Expected QvMolBase-derived object"):
            _velk._mol_to_string(velgar.QvScalarGrid(), 8, 0)

    def test_every_molecule_class_is_accepted(self):
        for mol in (tamrin.QvGraphMol(), tamrin.QvMol()):
            assert isinstance(_velk._mol_to_string(mol, 8, 0), str)

    def test_handle_arguments(self, mol, tmp_path: Path):
        with pytest.raises(TypeError, match=r"^in method '_ReaderHandle_next', argument 1 of type 'velk::_ReaderHandle \*'$"):
            _velk._ReaderHandle_next(mol, mol)
        with pytest.raises(TypeError, match="must not be None"):
            _velk._ReaderHandle_next(None, mol)
        with pytest.raises(TypeError, match="must not be None"):
            _velk._WriterHandle_close(None)
        with pytest.raises(TypeError, match="must not be None"):
            _velk._ReaderHandle_generic_data_pairs(None, mol)


class TestMolecularConversions:
    @pytest.mark.parametrize("name", ["sdf", ".sdf", "SDF", "sdf.gz"])
    def test_resolve_format_spellings(self, name):
        assert velk.resolve_format(name) == velk.resolve_format("sdf") != 0

    @pytest.mark.parametrize("name", ["..sdf", "cube", "", "nonsense"])
    def test_resolve_format_unknown(self, name):
        with pytest.raises(velk.FormatError, match=r"\(not an Tamrin string/bytes format\)$") as error:
            velk.resolve_format(name)
        assert f"'{name}'" in str(error.value)

    def test_format_zero_is_neither_readable_nor_writeable(self, mol):
        with pytest.raises(velk.FormatError, match="^velk: format is not writeable as a string$"):
            _velk._mol_to_string(mol, 0, 0)
        with pytest.raises(velk.FormatError, match="^velk: format is not writeable as bytes$"):
            _velk._mol_to_bytes(mol, 0, 0, False)
        with pytest.raises(velk.FormatError, match="^velk: format is not readable from a string$"):
            _velk._mol_from_string(mol, "", 0, 0)
        with pytest.raises(velk.FormatError, match="^velk: format is not readable from bytes$"):
            _velk._mol_from_bytes(mol, b"", 0, 0, False)


class TestGenericData:
    def test_molecule_without_data_gives_an_empty_list(self, mol):
        assert velk.generic_data(mol) == []


WATERS = (
    "3\nfirst\nO 0 0 0\nH 0.96 0 0\nH -0.24 0.93 0\n"
    "3\nsecond\nO 1 0 0\nH 1.96 0 0\nH 0.76 0.93 0\n"
)


def open_files() -> set[str]:
    fds = Path("/proc/self/fd")
    return {os.readlink(fd) for fd in fds.iterdir() if fd.exists()}


@pytest.fixture
def waters(tmp_path: Path) -> Path:
    path = tmp_path / "waters.xyz"
    path.write_text(WATERS)
    return path


class TestReadingMolecules:
    def test_read_yields_new_molecules(self, waters: Path):
        mols = list(velk.read(waters))
        assert [m.GetTitle() for m in mols] == ["first", "second"]
        assert [m.NumAtoms() for m in mols] == [3, 3]

    def test_read_opens_at_once_and_lets_go_at_the_end(self, waters: Path, tmp_path: Path):
        with pytest.raises(velk.FileError):
            velk.read(tmp_path / "missing.xyz")
        records = velk.read(waters)
        assert str(waters) in open_files()
        assert [m.GetTitle() for m in records] == ["first", "second"]
        assert str(waters) not in open_files()
        with pytest.raises(StopIteration):
            next(records)

    def test_closed_reader_refuses_to_iterate(self, waters: Path):
        reader = velk.open_reader(waters)
        reader.close()
        with pytest.raises(ValueError, match="closed"):
            next(reader)

    def test_reader_is_an_iterator_and_context_manager(self, waters: Path):
        with velk.open_reader(str(waters)) as reader:
            assert iter(reader) is reader
            first = next(reader)
            record = reader.read_record()
            assert reader.read_record() is None
            assert reader.read_record() is None
        assert first.GetTitle() == "first"
        mol, grids = record
        assert (mol.GetTitle(), grids) == ("second", [])
        with pytest.raises(ValueError, match="closed"):
            reader.read_record()

    def test_grid_calls_on_a_molecule_reader(self, waters: Path, mol):
        handle = _velk._open_reader(str(waters))
        assert _velk._ReaderHandle_next_grid_tuple(handle, mol) == ()
        assert _velk._ReaderHandle_next_grids(handle, mol, [velgar.QvScalarGrid()]) == 0
        assert _velk._ReaderHandle_next_grids(handle, mol, []) == -1
        assert _velk._ReaderHandle_next_grid_tuple(handle, mol) is None
        assert _velk._ReaderHandle_next(handle, mol) is False

    def test_a_bad_grid_sequence_reads_nothing(self, waters: Path, mol):
        handle = _velk._open_reader(str(waters))
        with pytest.raises(TypeError, match=r"^Expected QvScalarGrid in sequence\.$"):
            _velk._ReaderHandle_next_grids(handle, mol, [velgar.QvScalarGrid(), "grid"])
        with pytest.raises(TypeError, match=r"^Expected a sequence of QvScalarGrid\.$"):
            _velk._ReaderHandle_next_grids(handle, mol, 5)
        assert _velk._ReaderHandle_next(handle, mol)
        assert mol.GetTitle() == "first"

    def test_gzip_by_suffix_round_trip(self, waters: Path, tmp_path: Path):
        target = tmp_path / "copy.xyz.gz"
        with velk.open_writer(target) as writer:
            for mol in velk.read(waters):
                writer.append(mol)
        assert target.read_bytes()[:2] == b"\x1f\x8b"
        assert [m.GetTitle() for m in velk.read(target)] == ["first", "second"]

    def test_writer_refuses_grids_for_molecule_formats(self, tmp_path: Path, waters: Path):
        mol = next(iter(velk.read(waters)))
        with velk.open_writer(tmp_path / "out.xyz") as writer:
            with pytest.raises(velk.Error, match="could not write"):
                writer.append(mol, velgar.QvScalarGrid())
        assert (tmp_path / "out.xyz").read_text() == ""


class TestConvertingInMemory:
    def test_text_round_trip(self, waters: Path):
        mol = next(iter(velk.read(waters)))
        text = velk.mol_to_string(mol, "xyz")
        assert text.startswith("3\nfirst\n")
        back = velk.mol_from_string(text, ".xyz")
        assert back is not None and back.NumAtoms() == 3

    def test_gzip_bytes_round_trip(self, waters: Path):
        mol = next(iter(velk.read(waters)))
        data = velk.mol_to_bytes(mol, "xyz.gz", gzip=True)
        assert data[:2] == b"\x1f\x8b"
        back = velk.mol_from_bytes(data, "xyz", gzip=True)
        assert back.GetTitle() == "first"

    @pytest.mark.parametrize("flavor, data", [(0xFFFFFFFF, WATERS), (0, "")])
    def test_a_failed_read_leaves_the_molecule_empty(self, waters: Path, flavor: int, data: str):
        xyz = velk.resolve_format("xyz")
        for read in (_velk._mol_from_string, lambda m, d, *rest: _velk._mol_from_bytes(m, d.encode(), *rest, False)):
            mol = next(velk.read(waters))
            assert read(mol, data, xyz, flavor) is False
            assert mol.NumAtoms() == 0

    def test_unparsable_text_gives_none(self):
        assert velk.mol_from_string("not a molecule\n", "xyz") is None

    def test_text_that_is_not_utf8_survives_with_surrogates(self):
        mol = velk.mol_from_bytes(b"1\nmol \xff\nHe 0 0 0\n", "xyz")
        text = _velk._mol_to_string(mol, velk.resolve_format("xyz"), 0)
        assert "mol \udcff" in text
        assert text.encode("utf-8", "surrogateescape").startswith(b"1\nmol \xff\n")
