// nimbrel.velgar: the toolkit's scalar grid for Python.
//
// The class is declared here by hand rather than by including the C++ headers:
// Python sees the grid and nothing of the layers below it (generic data, the
// typed value layer), and the wrapper type is "Sorvil::QvScalarGrid *" in the
// SWIG type table shared with the sibling modules, which is how nimbrel.velk
// recognises and creates grids.

%define VELGAR_DOC
"Regular volumetric grids of 32-bit floats (QvScalarGrid).

A grid has xdim x ydim x zdim points, a midpoint and one spacing (Angstrom) on
all three axes. Each point is the centre of a cubic cell, so the box edges are
mid -/+ dim * spacing / 2. Values are stored x fastest, z slowest: point
(x, y, z) is element x + xdim * (y + ydim * z), and grid.values is a NumPy view
of shape (zdim, ydim, xdim). Without NumPy, use GetValues()/SetValues() or the
memoryview from GetValuesView()."
%enddef

%module(package="nimbrel", docstring=VELGAR_DOC) velgar

%include <stdint.i>
%include <std_string.i>
%include <exception.i>
%include "argument_count.swg"
%include "velgar_values.swg"

%exception {
  try {
    $action
  } catch (const velgar::PythonErrorSet&) {
    SWIG_fail;
  } catch (const std::invalid_argument& e) {
    SWIG_exception(SWIG_ValueError, e.what());
  } catch (const std::out_of_range& e) {
    SWIG_exception(SWIG_IndexError, e.what());
  } catch (const std::bad_alloc&) {
    SWIG_exception(SWIG_MemoryError, "out of memory for grid values");
  } catch (const std::exception& e) {
    SWIG_exception(SWIG_RuntimeError, e.what());
  }
}

%feature("autodoc", "0");

%feature("docstring") Sorvil::QvScalarGrid "
QvScalarGrid()
QvScalarGrid(other)
QvScalarGrid(xdim, ydim, zdim, xmid, ymid, zmid, spacing, title='', values=None)

The default grid has 1 x 1 x 1 points at the origin, spacing 0.5 and value 0,
with no midpoint or spacing marked as set. The full form marks all of them set;
values, if given, must hold xdim * ydim * zdim numbers in storage order (a
float32/float64 buffer such as a NumPy array of any shape in C order, or any
iterable of numbers). Bad geometry raises ValueError.

Setters return False for values they cannot take (NaN, spacing <= 0, a zero
dimension, too many points); NaN and size problems also print a warning.";

// Overloaded constructors take no keywords in SWIG's dispatch; this front lets
// title= and values= be named in the full form.
%feature("shadow") Sorvil::QvScalarGrid::QvScalarGrid %{
    def __init__(self, *args, title=None, values=None):
        if title is not None or values is not None:
            if len(args) == 7:
                args += ("" if title is None else title,)
            elif len(args) != 8 or title is not None:
                raise TypeError("QvScalarGrid: title= and values= need xdim, ydim, zdim, "
                                "xmid, ymid, zmid, spacing before them")
            args += (values,)
        _velgar.QvScalarGrid_swiginit(self, $action(*args))
%}

// What a grid's values mean; the numbers are what QvScalarGrid.GetGridType returns.
namespace Sorvil {
enum class QvGridType : uint32_t {
  Generic = 0,
  Electrostatic = 1,
  Mavik = 2,
  RegularMap = 3,
  DifferenceMap = 4,
  ET = 5,
};

class QvScalarGrid {
 public:
  QvScalarGrid();
  QvScalarGrid(const QvScalarGrid& other);
  ~QvScalarGrid();

  void Clear();

  std::string GetTitle() const;
  bool SetTitle(const std::string& title);
  bool HasTitle() const;

  float GetSpacing() const;
  float GetInverseSpacing() const;
  bool SetSpacing(float spacing);
  bool HasSpacing() const;

  uint32_t GetSize() const;
  uint32_t GetXDim() const;
  uint32_t GetYDim() const;
  uint32_t GetZDim() const;
  bool SetDim(uint32_t x, uint32_t y, uint32_t z);
  bool SetXDim(uint32_t dim);
  bool SetYDim(uint32_t dim);
  bool SetZDim(uint32_t dim);

  float GetXMid() const;
  float GetYMid() const;
  float GetZMid() const;
  bool SetMid(float x, float y, float z);
  bool SetXMid(float mid);
  bool SetYMid(float mid);
  bool SetZMid(float mid);
  bool HasXMid() const;
  bool HasYMid() const;
  bool HasZMid() const;

  float GetXMin() const;
  float GetYMin() const;
  float GetZMin() const;
  float GetXMax() const;
  float GetYMax() const;
  float GetZMax() const;

  QvGridType GetGridType() const;
};
}  // namespace Sorvil

%extend Sorvil::QvScalarGrid {
  QvScalarGrid(uint32_t xdim, uint32_t ydim, uint32_t zdim, float xmid, float ymid, float zmid,
               float spacing, const std::string& title = std::string(),
               PyObject* values = nullptr) {
    velgar::CheckGeometry(xdim, ydim, zdim, xmid, ymid, zmid, spacing);
    if (values == nullptr || values == Py_None)
      return new Sorvil::QvScalarGrid(xdim, ydim, zdim, xmid, ymid, zmid, spacing, title);
    const velgar::ValueSource source(values);
    const uint64_t size = uint64_t{xdim} * ydim * zdim;
    if (source.size() != size)
      throw std::invalid_argument("QvScalarGrid of " + std::to_string(xdim) + " x " +
                                  std::to_string(ydim) + " x " + std::to_string(zdim) +
                                  " points needs " + std::to_string(size) + " values, got " +
                                  std::to_string(source.size()));
    auto* grid = new Sorvil::QvScalarGrid(xdim, ydim, zdim, xmid, ymid, zmid, spacing, title);
    source.CopyTo(grid->GetValues());
    return grid;
  }

  %feature("autodoc", "GetMid(self) -> (float, float, float)") GetMid;
  %feature("docstring") GetMid "The midpoint as a tuple (x, y, z); see HasXMid() and friends for whether it was set.";
  PyObject* GetMid() const {
    return Py_BuildValue("(ddd)", double{$self->GetXMid()}, double{$self->GetYMid()},
                         double{$self->GetZMid()});
  }

  %feature("autodoc", "GetDim(self) -> (int, int, int)") GetDim;
  %feature("docstring") GetDim "The dimensions as a tuple (xdim, ydim, zdim).";
  PyObject* GetDim() const {
    return Py_BuildValue("(III)", $self->GetXDim(), $self->GetYDim(), $self->GetZDim());
  }

  %feature("docstring") SetGridType "Tags what the values mean (a QvGridType_* number); False for any other number.";
  bool SetGridType(uint32_t type) {
    if (!Sorvil::QvIsGridType(type)) return false;
    $self->SetGridType(static_cast<Sorvil::QvGridType>(type));
    return true;
  }

  %feature("docstring") ElementIndex "Storage index of point (x, y, z); IndexError outside the grid.";
  uint32_t ElementIndex(uint32_t x, uint32_t y, uint32_t z) const {
    velgar::CheckPoint(*$self, x, y, z);
    return $self->ElementIndex(x, y, z);
  }

  %feature("docstring") GetXCoord "Cartesian x of point index i: xmid + (i - (xdim - 1) / 2) * spacing.";
  float GetXCoord(uint32_t i) const { return $self->GetXCoord(i); }
  float GetYCoord(uint32_t i) const { return $self->GetYCoord(i); }
  float GetZCoord(uint32_t i) const { return $self->GetZCoord(i); }

  %feature("docstring") GetValue "The value at point (x, y, z); IndexError outside the grid.";
  float GetValue(uint32_t x, uint32_t y, uint32_t z) const {
    velgar::CheckPoint(*$self, x, y, z);
    return (*$self)(x, y, z);
  }

  %feature("docstring") SetValue "Sets the value at point (x, y, z); IndexError outside the grid.";
  void SetValue(uint32_t x, uint32_t y, uint32_t z, double value) {
    velgar::CheckPoint(*$self, x, y, z);
    (*$self)(x, y, z) = velgar::NarrowToFloat(value);
  }

  %feature("autodoc", "GetValues(self) -> list of float") GetValues;
  %feature("docstring") GetValues "A copy of all values in storage order.";
  PyObject* GetValues() const { return velgar::ValuesList(*$self); }

  %feature("docstring") SetValues "Copies GetSize() numbers (float32/float64 buffer or iterable) in storage order.
A count other than GetSize() prints a warning and returns False, values unchanged.";
  bool SetValues(PyObject* values) {
    const velgar::ValueSource source(values);
    if (source.size() == $self->GetSize()) {
      source.CopyTo($self->GetValues());
      return true;
    }
    // The size is checked before the pointer: the grid reports the wrong count.
    return $self->SetValues(nullptr, source.size());
  }
}

%extend Sorvil::QvScalarGrid {
%pythoncode %{
    def GetValuesView(self):
        """Writable memoryview (format 'f', shape (zdim, ydim, xdim)) over the values.

        Works without NumPy. The view keeps the grid alive. After a change of
        dimensions the grid has a new value array and an older view no longer
        reflects it (it stays valid, holding the old values)."""
        return _velgar._values_view(self, self)

    @property
    def values(self):
        """NumPy float32 view of shape (zdim, ydim, xdim), no copy: writing to it
        changes the grid. Assigning copies numbers in (ValueError on a wrong count)."""
        import numpy
        view = self.GetValuesView()
        return numpy.frombuffer(view, dtype=numpy.float32).reshape(view.shape)

    @values.setter
    def values(self, values):
        if not self.SetValues(values):
            raise ValueError("QvScalarGrid.values takes exactly %d numbers" % self.GetSize())

    @property
    def shape(self):
        """(zdim, ydim, xdim), the shape of .values."""
        return (self.GetZDim(), self.GetYDim(), self.GetXDim())

    def __copy__(self):
        return QvScalarGrid(self)

    def __deepcopy__(self, memo):
        return QvScalarGrid(self)

    def __repr__(self):
        return "QvScalarGrid(%dx%dx%d, mid=(%g, %g, %g), spacing=%g, title=%r)" % (
            self.GetXDim(), self.GetYDim(), self.GetZDim(),
            self.GetXMid(), self.GetYMid(), self.GetZMid(),
            self.GetSpacing(), self.GetTitle())
%}
}

%inline %{
// The memoryview behind QvScalarGrid.GetValuesView; `owner` is the Python grid.
PyObject* _values_view(PyObject* owner, const Sorvil::QvScalarGrid& grid) {
  return velgar::ValuesView(owner, grid);
}
%}

%pythoncode %{
__all__ = [
    "QvGridType_DifferenceMap", "QvGridType_ET", "QvGridType_Electrostatic", "QvGridType_Generic",
    "QvGridType_Mavik", "QvGridType_RegularMap", "QvScalarGrid",
]
%}
