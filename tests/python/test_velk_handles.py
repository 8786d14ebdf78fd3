"""What the Python face of velk adds to the C++ handlers: opening by path,
iteration and context managers, the handles' life cycle, the argument and
exception conversions of _velk, the registry records and the command line."""

from __future__ import annotations

import gc
import os
import subprocess
import sys
import weakref
from pathlib import Path

import pytest

from nimbrel import _velk, tamrin, velgar, velk, velk_core

WATERS = (
    "3\nfirst\nO 0 0 0\nH 0.96 0 0\nH -0.24 0.93 0\n"
    "3\nsecond\nO 1 0 0\nH 1.96 0 0\nH 0.76 0.93 0\n"
)


@pytest.fixture
def mol():
    return tamrin.QvGraphMol()


@pytest.fixture
def waters(tmp_path: Path) -> Path:
    path = tmp_path / "waters.xyz"
    path.write_text(WATERS)
    return path


def open_files() -> set[str]:
    return {os.readlink(fd) for fd in Path("/proc/self/fd").iterdir() if fd.exists()}


# ---- the module and the registry ----

def test_module_version_abi_and_exceptions():
    assert velk.VERSION == (_velk.VELK_VERSION_MAJOR, _velk.VELK_VERSION_MINOR, _velk.VELK_VERSION_PATCH)
    assert _velk.__file__.endswith(".abi3.so")
    assert issubclass(velk.FormatError, velk.Error) and issubclass(velk.FileError, velk.Error)
    assert not issubclass(velk.FormatError, velk.FileError)


def test_formats_are_plain_records_in_registration_order():
    listed = velk.formats()
    raw = velk_core.FormatRegistry.instance().formats()
    assert isinstance(raw, tuple)
    assert [f.name for f in listed] == [r.name for r in raw]
    assert all(info.name and info.description for info in listed)
    assert all(ext.startswith(".") for info in listed for ext in info.extensions)


def test_format_info_fields_are_views():
    info = velk_core.FormatInfo()
    info.name = "Mine"
    info.extensions.append(".mine")  # a view of the field, not a copy
    info.extensions.append(".mine.gz")
    assert (info.name, list(info.extensions)) == ("Mine", [".mine", ".mine.gz"])
    info.extensions = velk_core.StringVector([".x"])
    assert list(info.extensions) == [".x"]


def test_registry_is_not_destroyed_from_python():
    registry = velk_core.FormatRegistry.instance()
    before = len(registry.formats())
    _velk.delete_FormatRegistry(registry)
    del registry
    assert len(velk_core.FormatRegistry.instance().formats()) == before


def test_command_line_lists_formats():
    result = subprocess.run(
        [sys.executable, "-m", "nimbrel.velk", "formats"], capture_output=True, text=True, check=True
    )
    assert result.stdout.count("\n") == 2 * len(velk.formats())


def test_another_swig_package_in_the_process_leaves_our_types_alone():
    # Open Babel is built with SWIG too; loaded after us it once took over
    # the shared type table and the next call into our modules crashed.
    script = ("from nimbrel import velk\nfrom openbabel import openbabel\n"
              "print(sum(len(list(f.extensions)) for f in velk.formats()))")
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    assert int(result.stdout) > 0


# ---- opening by path ----

def test_unknown_suffix_fails_before_touching_the_file(tmp_path: Path):
    path = tmp_path / "missing-dir" / "x.txt"
    with pytest.raises(velk.FormatError, match=r"^velk: unrecognized file extension for '.*x\.txt'$"):
        velk.open_reader(path)
    with pytest.raises(velk.FormatError, match="unrecognized file extension"):
        velk.open_writer(path)
    assert not path.parent.exists()


@pytest.mark.parametrize(
    "open_, name, error, pattern",
    [
        (velk.open_reader, "absent.sdf", velk.FileError, "^velk: unable to open '{}' for reading$"),
        (velk.read, "absent.xyz", velk.FileError, "^velk: unable to open '{}' for reading$"),
        (velk.open_writer, "no/such/out.sdf", velk.FileError, "^velk: unable to open '{}' for writing$"),
        (velk.open_writer, "out.fchk", velk.FormatError, "^velk: FCHK is read-only; writing is not supported$"),
    ],
)
def test_opening_failures(tmp_path: Path, open_, name, error, pattern):
    path = tmp_path / name
    with pytest.raises(error, match=pattern.format(path)):
        open_(path)


def test_str_and_path_are_both_accepted(tmp_path: Path):
    for path in (tmp_path / "a.smi", str(tmp_path / "b.smi")):
        with velk.open_writer(path) as writer:
            assert writer.path == str(path)


# ---- reading and writing molecules ----

def test_read_lets_go_of_the_file_at_the_end(waters: Path):
    records = velk.read(waters)
    assert str(waters) in open_files()
    mols = list(records)
    assert [(m.GetTitle(), m.NumAtoms()) for m in mols] == [("first", 3), ("second", 3)]
    assert str(waters) not in open_files()
    with pytest.raises(StopIteration):
        next(records)


def test_molecules_the_loop_lets_go_of_show_nothing_of_their_last_record(tmp_path: Path):
    # The loop's molecule objects are filled again once it has let go of
    # them; nothing else may still hold one, nor anything be left on it.
    path = tmp_path / "many.xyz"
    path.write_text("".join(f"1\nw{i}\nO {i} 0 0\n" for i in range(12)))
    kept, watched = [], []
    for i, mol in enumerate(velk.read(path)):
        assert (mol.GetTitle(), hasattr(mol, "mark")) == (f"w{i}", False)
        assert all(ref() is None or ref().GetTitle() == title for ref, title in watched)
        if i % 3 == 0:
            kept.append(mol)
        elif i % 3 == 1:
            watched.append((weakref.ref(mol), mol.GetTitle()))
        else:
            mol.mark = i
    assert [m.GetTitle() for m in kept] == ["w0", "w3", "w6", "w9"]


def test_a_reader_its_molecule_holds_is_collected(waters: Path):
    records = velk.read(waters)
    mol = next(records)
    mol.reader = records
    gone = weakref.ref(records)
    del records, mol
    gc.collect()
    assert gone() is None and str(waters) not in open_files()


def test_reader_is_an_iterator_and_context_manager(waters: Path):
    with velk.open_reader(str(waters)) as reader:
        assert iter(reader) is reader
        first = next(reader)
        record = reader.read_record()
        assert reader.read_record() is None
        assert reader.read_record() is None
    assert first.GetTitle() == "first"
    assert (record[0].GetTitle(), record[1]) == ("second", [])
    with pytest.raises(ValueError, match="closed"):
        reader.read_record()
    with pytest.raises(ValueError, match="closed"):
        next(reader)


def test_reader_fills_molecules_of_the_given_factory(waters: Path):
    with velk.open_reader(waters, mol_factory=tamrin.QvMol) as reader:
        mols = list(reader)
    assert [(type(m), m.GetTitle(), m.NumAtoms()) for m in mols] == [
        (tamrin.QvMol, "first", 3), (tamrin.QvMol, "second", 3)]
    with pytest.raises(ValueError, match="closed"):
        next(reader)


@pytest.mark.parametrize("raised, notes", [
    (velk.Error("no molecule"), ["while reading record 2 of '{path}'"]),
    (velk.Error("no molecule in '{path}'"), None),
    (KeyError("not ours"), None),
])
def test_an_error_while_iterating_names_the_file_and_the_record(waters: Path, raised, notes):
    made = iter([tamrin.QvGraphMol])
    raised.args = tuple(str(a).format(path=waters) for a in raised.args)

    def factory():
        for make in made:
            return make()
        raise raised

    with velk.open_reader(waters, mol_factory=factory) as reader:
        assert next(reader).GetTitle() == "first"
        with pytest.raises(type(raised)) as caught:
            next(reader)
    assert caught.value is raised
    assert getattr(raised, "__notes__", None) == (notes and [n.format(path=waters) for n in notes])


def test_writer_close_twice_and_append_after_close(tmp_path: Path, mol):
    writer = velk.open_writer(tmp_path / "out.xyz")
    writer.close()
    writer.close()
    with pytest.raises(ValueError, match="closed"):
        writer.append(mol)
    with pytest.raises(AttributeError):
        _velk.new__ReaderHandle


def test_writer_refuses_grids_for_molecule_formats(tmp_path: Path, waters: Path):
    mol = next(iter(velk.read(waters)))
    with velk.open_writer(tmp_path / "out.xyz") as writer:
        with pytest.raises(velk.Error, match="could not write"):
            writer.append(mol, velgar.QvScalarGrid())
    assert (tmp_path / "out.xyz").read_text() == ""


def test_grid_calls_on_a_molecule_reader(waters: Path, mol):
    handle = _velk._open_reader(str(waters))
    with pytest.raises(TypeError, match=r"^Expected QvScalarGrid in sequence\.$"):
        _velk._ReaderHandle_next_grids(handle, mol, [velgar.QvScalarGrid(), "grid"])
    with pytest.raises(TypeError, match=r"^Expected a sequence of QvScalarGrid\.$"):
        _velk._ReaderHandle_next_grids(handle, mol, 5)
    # A bad grid sequence read nothing: the first record is still there.
    assert _velk._ReaderHandle_next_grid_tuple(handle, mol) == ()
    assert mol.GetTitle() == "first"
    assert _velk._ReaderHandle_next_grids(handle, mol, [velgar.QvScalarGrid()]) == 0
    assert _velk._ReaderHandle_next_grids(handle, mol, []) == -1
    assert _velk._ReaderHandle_next_grid_tuple(handle, mol) is None
    assert _velk._ReaderHandle_next(handle, mol) is False


def test_gzip_by_suffix_and_in_memory_round_trips(waters: Path, tmp_path: Path):
    target = tmp_path / "copy.xyz.gz"
    with velk.open_writer(target) as writer:
        for mol in velk.read(waters):
            writer.append(mol)
    assert target.read_bytes()[:2] == b"\x1f\x8b"
    assert [m.GetTitle() for m in velk.read(target)] == ["first", "second"]
    mol = next(iter(velk.read(waters)))
    text = velk.mol_to_string(mol, "xyz")
    assert text.startswith("3\nfirst\n") and velk.mol_from_string(text, ".xyz").NumAtoms() == 3
    data = velk.mol_to_bytes(mol, "xyz.gz", gzip=True)
    assert data[:2] == b"\x1f\x8b" and velk.mol_from_bytes(data, "xyz", gzip=True).GetTitle() == "first"
    assert velk.mol_from_string("not a molecule\n", "xyz") is None


@pytest.mark.parametrize("flavor, data", [(0xFFFFFFFF, WATERS), (0, "")])
def test_a_failed_read_leaves_the_molecule_empty(waters: Path, flavor: int, data: str):
    xyz = velk.resolve_format("xyz")
    for read in (_velk._mol_from_string, lambda m, d, *rest: _velk._mol_from_bytes(m, d.encode(), *rest, False)):
        mol = next(velk.read(waters))
        assert read(mol, data, xyz, flavor) is False
        assert mol.NumAtoms() == 0


def test_text_that_is_not_utf8_survives_with_surrogates():
    mol = velk.mol_from_bytes(b"1\nmol \xff\nHe 0 0 0\n", "xyz")
    text = _velk._mol_to_string(mol, velk.resolve_format("xyz"), 0)
    assert "mol \udcff" in text
    assert text.encode("utf-8", "surrogateescape").startswith(b"1\nmol \xff\n")


@pytest.mark.parametrize("name", ["sdf", ".sdf", "SDF", "sdf.gz"])
def test_resolve_format_spellings(name):
    assert velk.resolve_format(name) == velk.resolve_format("sdf") != 0


@pytest.mark.parametrize("name", ["..sdf", "cube", "", "nonsense"])
def test_resolve_format_unknown(name):
    with pytest.raises(velk.FormatError, match=r"\(not an Tamrin string/bytes format\)$") as error:
        velk.resolve_format(name)
    assert f"'{name}'" in str(error.value)


def test_every_molecule_class_is_accepted_and_an_empty_one_has_no_data():
    for mol in (tamrin.QvGraphMol(), tamrin.QvMol()):
        assert isinstance(_velk._mol_to_string(mol, 8, 0), str)
        assert velk.generic_data(mol) == []


# ---- argument conversions: each row is one check of our own typemaps and
# converters (SWIG's stock ones for numbers, strings and bools are not ours to test) ----

GRID = velgar.QvScalarGrid()
ARGUMENT_ERRORS = [
    (lambda m: _velk._mol_to_string(m, 8), TypeError, r"^_mol_to_string expected 3 arguments, got 2$"),
    (lambda m: _velk._mol_from_bytes(m, "text", 8, 0, False), TypeError, None),
    (lambda m: _velk._mol_to_string(None, 8, 0), TypeError, r"^Null reference\.$"),
    (lambda m: _velk._mol_to_string(object(), 8, 0), TypeError, r"^Expected QvMolBase-derived object\.$"),
    (lambda m: _velk._mol_to_string(GRID, 8, 0), TypeError, "Expected QvMolBase-derived object"),
    (lambda m: _velk._ReaderHandle_next(m, m), TypeError,
     r"^in method '_ReaderHandle_next', argument 1 of type 'velk::_ReaderHandle \*'$"),
    (lambda m: _velk._ReaderHandle_next(None, m), TypeError, "must not be None"),
    (lambda m: _velk._WriterHandle_close(None), TypeError, "must not be None"),
    (lambda m: _velk._ReaderHandle_generic_data_pairs(None, m), TypeError, "must not be None"),
    (lambda m: _velk._mol_to_string(m, 0, 0), velk.FormatError, "^velk: format is not writeable as a string$"),
    (lambda m: _velk._mol_to_bytes(m, 0, 0, False), velk.FormatError, "^velk: format is not writeable as bytes$"),
    (lambda m: _velk._mol_from_string(m, "", 0, 0), velk.FormatError, "^velk: format is not readable from a string$"),
    (lambda m: _velk._mol_from_bytes(m, b"", 0, 0, False), velk.FormatError,
     "^velk: format is not readable from bytes$"),
    (lambda m: _velk.FormatInfo_name_set(velk_core.FormatInfo(), "a", "b"), TypeError,
     "FormatInfo_name_set expected 2 arguments, got 3"),
]


@pytest.mark.parametrize("call, error, pattern", ARGUMENT_ERRORS)
def test_argument_errors(mol, call, error, pattern):
    with pytest.raises(error, match=pattern):
        call(mol)


def test_every_counting_function_says_none_for_an_empty_call():
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
