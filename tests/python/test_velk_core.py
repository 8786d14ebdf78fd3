"""The _velk module's first slice: registry listing, record accessors, errors."""

from __future__ import annotations

import subprocess
import sys

import pytest

from nimbrel import _velk, velk, velk_core


def test_version_constants():
    assert (_velk.VELK_VERSION_MAJOR, _velk.VELK_VERSION_MINOR, _velk.VELK_VERSION_PATCH) == (0, 6, 0)
    assert velk.VERSION == (0, 6, 0)


def test_extension_is_built_for_the_stable_abi():
    assert _velk.__file__.endswith(".abi3.so")


def test_formats_are_plain_records_in_registration_order():
    listed = velk.formats()
    raw = velk_core.FormatRegistry.instance().formats()
    assert isinstance(raw, tuple)
    assert [f.name for f in listed] == [r.name for r in raw]
    for info in listed:
        assert info.name and info.description
        assert all(ext.startswith(".") for ext in info.extensions)


def test_format_info_defaults_and_accessors():
    info = velk_core.FormatInfo()
    assert (info.supports_read, info.supports_write) == (True, True)
    assert (info.supports_threaded_read, info.supports_threaded_write) == (False, False)
    info.name = "Mine"
    info.extensions.append(".mine")  # a view of the field, not a copy
    info.extensions.append(".mine.gz")
    assert info.name == "Mine"
    assert list(info.extensions) == [".mine", ".mine.gz"]
    info.extensions = velk_core.StringVector([".x"])
    assert list(info.extensions) == [".x"]


def test_accessor_type_errors_name_the_function_and_argument():
    info = velk_core.FormatInfo()
    with pytest.raises(TypeError, match="in method 'FormatInfo_supports_read_set', argument 2 of type 'bool'"):
        _velk.FormatInfo_supports_read_set(info, 1)
    with pytest.raises(TypeError, match="FormatInfo_name_set expected 2 arguments, got 3"):
        _velk.FormatInfo_name_set(info, "a", "b")
    with pytest.raises(TypeError, match="takes exactly one argument"):
        _velk.FormatRegistry_formats()


def test_registry_is_not_destroyed_from_python():
    registry = velk_core.FormatRegistry.instance()
    before = len(registry.formats())
    _velk.delete_FormatRegistry(registry)
    del registry
    assert len(velk_core.FormatRegistry.instance().formats()) == before


def test_exception_hierarchy():
    assert issubclass(velk.FormatError, velk.Error)
    assert issubclass(velk.FileError, velk.Error)
    assert not issubclass(velk.FormatError, velk.FileError)
    assert issubclass(velk.Error, Exception)


def test_command_line_lists_formats():
    result = subprocess.run(
        [sys.executable, "-m", "nimbrel.velk", "formats"], capture_output=True, text=True, check=True
    )
    assert result.stdout.count("\n") == 2 * len(velk.formats())
