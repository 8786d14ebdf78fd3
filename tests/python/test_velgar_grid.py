"""nimbrel.velgar.QvScalarGrid from Python: geometry, setters, values as list and NumPy view."""

from __future__ import annotations

import copy
import gc
import math
import subprocess
import sys
import weakref

import numpy
import pytest

from nimbrel import velgar
from nimbrel.velgar import QvScalarGrid

NAN = float("nan")


def grid234(**kwargs) -> QvScalarGrid:
    return QvScalarGrid(2, 3, 4, 0.0, 0.0, 0.0, 1.0, "g", **kwargs)


def edges(g: QvScalarGrid) -> tuple:
    return (g.GetXMin(), g.GetXMax(), g.GetYMin(), g.GetYMax(), g.GetZMin(), g.GetZMax())


# ---- construction and geometry -----------------------------------------------------------

def test_pointer_type_and_repr():
    g = QvScalarGrid(2, 3, 4, 1.5, 0.0, -2.0, 0.25, "homo")
    assert "Sorvil::QvScalarGrid *" in repr(g.this)
    assert type(g.this).__name__ == "SwigPyObject"
    assert repr(g) == "QvScalarGrid(2x3x4, mid=(1.5, 0, -2), spacing=0.25, title='homo')"


@pytest.mark.parametrize(
    "args, message",
    [
        ((0, 3, 4, 0, 0, 0, 1), "QvScalarGrid dimensions must be at least 1, got 0 x 3 x 4"),
        ((2, 3, 0, 0, 0, 0, 1), "QvScalarGrid dimensions must be at least 1, got 2 x 3 x 0"),
        ((65536, 65535, 2, 0, 0, 0, 1),
         "QvScalarGrid of 65536 x 65535 x 2 points has more than 4294967295 values"),
        ((1, 1, 1, 0, NAN, 0, 1), "QvScalarGrid midpoint must not be NaN"),
        ((1, 1, 1, 0, 0, 0, 0), "QvScalarGrid spacing must be a positive number"),
        ((1, 1, 1, 0, 0, 0, -1), "QvScalarGrid spacing must be a positive number"),
        ((1, 1, 1, 0, 0, 0, NAN), "QvScalarGrid spacing must be a positive number"),
    ],
)
def test_constructor_rejects_bad_geometry(args, message):
    with pytest.raises(ValueError) as err:
        QvScalarGrid(*args)
    assert str(err.value) == message


@pytest.mark.parametrize(
    "args, kwargs, pattern",
    [
        ((-1, 1, 1, 0, 0, 0, 1), {}, "Wrong number or type of arguments"),
        ((1, 1, 1, 0, 0, 0, 1e39), {}, "Wrong number or type of arguments"),  # beyond float
        ((1, 1, 1, 0, 0, 0), {}, None),  # no overload takes six arguments
        ((1, 1, 1), {"values": [0.0]}, "title= and values= need"),
    ],
)
def test_constructor_argument_types_are_checked(args, kwargs, pattern):
    with pytest.raises(TypeError, match=pattern):
        QvScalarGrid(*args, **kwargs)


# ---- copies ------------------------------------------------------------------------------

def test_copies_are_independent():
    src = grid234(values=range(24))
    src.SetGridType(velgar.QvGridType_RegularMap)
    for dup in (QvScalarGrid(src), copy.copy(src), copy.deepcopy(src)):
        assert dup.GetValues() == src.GetValues()
        assert (dup.GetTitle(), dup.GetGridType(), edges(dup)) == ("g", 3, edges(src))
        dup.SetValue(0, 0, 0, -1.0)
        dup.SetSpacing(3.0)
        assert src.GetValue(0, 0, 0) == 0.0 and src.GetSpacing() == 1.0


# ---- values without NumPy ------------------------------------------------------------------

def test_list_access():
    g = grid234()
    assert g.GetValues() == [0.0] * 24
    assert g.SetValues([i * 0.5 for i in range(24)]) is True
    assert g.GetValue(1, 2, 3) == 11.5
    assert g.GetValues()[g.ElementIndex(1, 0, 2)] == g.GetValue(1, 0, 2) == 6.5
    g.SetValue(1, 2, 3, 7.25)
    assert g.GetValues()[23] == 7.25
    assert g.SetValues(iter(range(24)))  # any iterable of numbers
    assert g.GetValues()[5] == 5.0


@pytest.mark.parametrize("point", [(2, 0, 0), (0, 3, 0), (0, 0, 4)])
def test_element_access_outside_raises_index_error(point):
    g = grid234()
    message = "point (%d, %d, %d) is outside the 2 x 3 x 4 grid" % point
    for call in (g.GetValue, g.ElementIndex, lambda *p: g.SetValue(*p, 1.0)):
        with pytest.raises(IndexError) as err:
            call(*point)
        assert str(err.value) == message
    assert g.GetValues() == [0.0] * 24


@pytest.mark.parametrize(
    "values, error, message",
    [
        (5, TypeError, "grid values must be a buffer of float32 or float64 or an iterable of "
                       "numbers, not 'int'"),
        (["a"] * 24, TypeError, None),
        ([1.0] * 23, ValueError, "QvScalarGrid of 2 x 3 x 4 points needs 24 values, got 23"),
        (b"\0" * 25, ValueError, "QvScalarGrid of 2 x 3 x 4 points needs 24 values, got 25"),
    ],
)
def test_constructor_rejects_bad_values(values, error, message):
    with pytest.raises(error) as err:
        grid234(values=values)
    if message is not None:
        assert str(err.value) == message


def test_values_beyond_float_range_become_infinities():
    g = QvScalarGrid(3, 1, 1, 0, 0, 0, 1, values=[1e300, -1e300, 1e-300])
    assert g.GetValues() == [math.inf, -math.inf, 0.0]


def test_memoryview_works_without_numpy_and_writes_through():
    g = grid234(values=range(24))
    mv = g.GetValuesView()
    assert (mv.format, mv.itemsize, mv.shape, mv.readonly) == ("f", 4, (4, 3, 2), False)
    assert mv[3, 2, 1] == 23.0
    mv[3, 2, 1] = -4.5
    assert g.GetValue(1, 2, 3) == -4.5
    assert mv.tolist()[0][1] == [2.0, 3.0]


def test_module_works_when_numpy_cannot_be_imported():
    script = (
        "import sys; sys.modules['numpy'] = None\n"
        "from nimbrel.velgar import QvScalarGrid\n"
        "g = QvScalarGrid(2, 1, 1, 0, 0, 0, 1, values=[1, 2])\n"
        "assert g.GetValues() == [1.0, 2.0]\n"
        "assert g.GetValuesView().tolist() == [[[1.0, 2.0]]]\n"
        "try:\n"
        "    g.values\n"
        "except ImportError:\n"
        "    print('no numpy')\n"
    )
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                         timeout=60)
    assert run.returncode == 0, run.stderr
    assert run.stdout == "no numpy\n"


# ---- NumPy view ----------------------------------------------------------------------------

def test_numpy_view_shares_memory_both_ways():
    g = grid234(values=range(24))
    v = g.values
    assert (v.shape, v.dtype, v.flags.writeable) == ((4, 3, 2), numpy.float32, True)
    assert numpy.shares_memory(v, g.values)
    assert v.ravel().tolist() == g.GetValues()
    v[3, 2, 1] = 5.0
    v[0, 1, :] = [7.0, 8.0]
    assert (g.GetValue(1, 2, 3), g.GetValue(0, 1, 0), g.GetValue(1, 1, 0)) == (5.0, 7.0, 8.0)
    g.SetValue(0, 0, 3, 9.0)  # and the other way round
    assert v[3, 0, 0] == 9.0


def test_view_keeps_the_grid_alive():
    g = grid234(values=range(24))
    ref = weakref.ref(g)
    v = g.values
    del g
    gc.collect()
    assert ref() is not None
    v[0, 0, 0] = 42.0
    assert ref().GetValue(0, 0, 0) == 42.0
    assert v.sum() == sum(range(1, 24)) + 42.0
    del v
    gc.collect()
    assert ref() is None


def test_view_stays_valid_after_the_grid_changes_dimensions():
    g = grid234(values=range(24))
    old = g.values
    assert g.SetDim(5, 1, 1)
    assert old[3, 2, 1] == 23.0  # the old array, still readable
    old[0, 0, 0] = 1.0
    assert g.values.shape == (1, 1, 5)
    assert g.GetValues() == [0.0] * 5


def test_cycle_through_a_view_is_collected():
    # NumPy arrays do not take part in cycle collection, but memoryviews do.
    g = grid234()
    g.cached = g.GetValuesView()  # grid -> memoryview -> exporter -> grid
    ref = weakref.ref(g)
    del g
    gc.collect()
    assert ref() is None


@pytest.mark.parametrize("dtype", ["float32", "float64"])
def test_constructor_and_setter_take_numpy_arrays(dtype):
    data = numpy.arange(24, dtype=dtype).reshape(4, 3, 2)
    g = grid234(values=data)
    assert g.GetValue(1, 2, 3) == 23.0
    g.values = data[::-1].copy()
    assert g.GetValue(1, 2, 3) == 5.0
    # A non-contiguous array is read in its logical (C) order.
    strided = numpy.arange(48, dtype=dtype)[::2]
    assert g.SetValues(strided)
    assert g.GetValue(1, 2, 3) == 46.0
    assert g.SetValues(numpy.arange(24, dtype=numpy.int64))  # other dtypes by iteration
    assert g.GetValue(1, 0, 0) == 1.0


def test_assigning_wrong_count_to_values_raises(capfd):
    g = grid234()
    with pytest.raises(ValueError, match="QvScalarGrid.values takes exactly 24 numbers"):
        g.values = numpy.zeros(23, dtype=numpy.float32)
    assert "wrong size array" in capfd.readouterr().err
