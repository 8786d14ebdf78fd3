// The _velk extension module: the format registry, readers and writers opened
// by path, and single-molecule conversion. The friendly Python layer over it
// is nimbrel/velk.py.
%module(package="nimbrel") velk_core

%{
#include "velk/formatregistry.h"
#include "velk/handles.h"
%}

%include <std_string.i>
%include <std_vector.i>
%include <std_unique_ptr.i>

%include "argument_count.swg"
%include "velk_exceptions.swg"

// Molecules and grids belong to the sibling modules; here they are known by
// name only, which is how the shared type table matches them up.
namespace Tamrin { class QvMolBase; }
namespace Sorvil { class QvScalarGrid; }
%include "velk_objects.swg"

%constant int VELK_VERSION_MAJOR = 0;
%constant int VELK_VERSION_MINOR = 6;
%constant int VELK_VERSION_PATCH = 0;

%include "velk/formatinfo.h"

%template(StringVector) std::vector<std::string>;
%template(FormatInfoVector) std::vector<velk::FormatInfo>;

// Python sees the process-wide registry and its listing only.
%ignore velk::FormatRegistry::FormatRegistry;
%ignore velk::FormatRegistry::register_handler;
%ignore velk::FormatRegistry::handler_for_path;
%ignore velk::FormatRegistrar;
%extend velk::FormatRegistry {
  // The registry lives for the whole process; a delete from Python leaves it be.
  ~FormatRegistry() {}
}
%include "velk/formatregistry.h"

// Readers and writers opened by path. Python owns the handles it gets; there
// is no constructor to call from Python.
VELK_PYTHON_HANDLE(ReaderHandle, _ReaderHandle)
VELK_PYTHON_HANDLE(WriterHandle, _WriterHandle)
%unique_ptr(velk::ReaderHandle)
%unique_ptr(velk::WriterHandle)
%nodefaultctor velk::ReaderHandle;
%nodefaultctor velk::WriterHandle;
%ignore velk::ReaderHandle::ReaderHandle;
%ignore velk::WriterHandle::WriterHandle;
%rename(_open_reader) velk::open_reader;
%rename(_open_writer) velk::open_writer;
%rename(_open_reader_as) velk::open_reader_as;
%rename(_open_writer_as) velk::open_writer_as;
%rename(_open_range_reader) velk::open_range_reader;
%{
#include "tamrin/model/molimpl.h"

// A reader skips what it cannot read and goes on; Python hears of each
// skipped record, of damaged input (a gzip file cut short) and of what the
// toolkit said as a warning naming the file and the record (the handle
// collects them; errors="raise" has it throw instead). False when a warning
// became an exception.
bool velk_warn_faults(velk::ReaderHandle& handle) {
  return velk_warn_all(velk_read_warning_class, handle.take_faults());
}
%}
%define VELK_WARNS_FAULTS(method)
%exception velk::ReaderHandle::method {
  try {
    $action
  } catch (...) {
    velk_raise_current_exception();
    SWIG_fail;
  }
  if (!velk_warn_faults(*arg1)) SWIG_fail;
}
%enddef
VELK_WARNS_FAULTS(next)
VELK_WARNS_FAULTS(next_grids)
VELK_WARNS_FAULTS(next_grid_tuple)
// A writer's reports are warned before any exception of the same call is
// raised, which would otherwise leave them behind on a handle about to go.
%define VELK_WRITER_REPORTS(method)
%exception velk::WriterHandle::method {
  try {
    $action
  } catch (...) {
    if (!velk_warn_all(velk_write_warning_class, arg1->take_reports())) SWIG_fail;
    velk_raise_current_exception();
    SWIG_fail;
  }
  if (!velk_warn_all(velk_write_warning_class, arg1->take_reports())) SWIG_fail;
}
%enddef
VELK_WRITER_REPORTS(append_mol)
VELK_WRITER_REPORTS(append_grids)
VELK_WRITER_REPORTS(close)
// The default reader loop: one call per record makes the molecule and reads
// into it, with no Python constructor and no second call in between. The
// object is made by nimbrel.tamrin itself (through the capsule it exports),
// so that its methods later find their own pointer type at the first check.
%{
#include "binding/graphmol_objects.h"

namespace velk_py {

struct Decref {
  void operator()(PyObject* object) const { Py_DECREF(object); }
};
using Owned = std::unique_ptr<PyObject, Decref>;

const tamrin_py::GraphMolObjects* graph_mol_objects() {
  static const tamrin_py::GraphMolObjects* objects = nullptr;
  if (!objects)
    objects = static_cast<const tamrin_py::GraphMolObjects*>(PyCapsule_Import(tamrin_py::kGraphMolObjectsCapsule, 0));
  return objects;
}

// Reads the next record into `spare` (a molecule object the caller hands
// over, or null) when it can be filled again, else into a new object.
PyObject* next_graph_mol(velk::ReaderHandle& handle, Owned spare) {
  const tamrin_py::GraphMolObjects* objects = graph_mol_objects();
  if (!objects) return nullptr;
  std::unique_ptr<Tamrin::QvGraphMolImpl> mol;
  if (spare) mol.reset(objects->take(spare.get()));
  // Dropped on the way out unless filled: emptied, it has nothing to free.
  if (!mol) spare.reset();
  const bool got = handle.next_owned(mol);
  if (!velk_warn_faults(handle)) return nullptr;
  if (!got) Py_RETURN_NONE;
  if (spare) return objects->refill(spare.release(), mol.release());
  // Owned by the new object from here; should making it fail, leaking the
  // molecule is safer than guessing whether the object freed it.
  return objects->wrap(mol.release());
}

}  // namespace velk_py
%}
// Iteration over a reader's records without a Python frame per record: the
// base class of velk.Reader. It holds the reader's handle; a read that raises
// asks the Python object to name the file and the record in the error
// (Reader._located), a reader of the caller's molecule class reads through
// Reader._read_made.
%{
namespace velk_py {

struct Records {
  PyObject_HEAD
  PyObject* handle;  // the _ReaderHandle object; null when released
  velk::ReaderHandle* native;
  PyObject* path;
  // The molecules of the default class handed out by the last two reads,
  // newest first (see records_next).
  PyObject* handed[2];
  bool graph_mols;      // the default molecule class, made here
  bool release_at_end;  // the end of the records releases the handle
  bool closed;          // released by close(): reading is an error
};

void records_release(Records* self, bool closed) {
  self->native = nullptr;
  self->closed = self->closed || closed;
  Py_CLEAR(self->handle);
  Py_CLEAR(self->handed[0]);
  Py_CLEAR(self->handed[1]);
}

// A molecule handed out may hold its reader (as an attribute, say): the
// collector sees the references, so that such a cycle is freed.
int records_traverse(PyObject* obj, visitproc visit, void* arg) {
  auto* self = reinterpret_cast<Records*>(obj);
  Py_VISIT(Py_TYPE(obj));
  Py_VISIT(self->handle);
  Py_VISIT(self->path);
  Py_VISIT(self->handed[0]);
  Py_VISIT(self->handed[1]);
  return 0;
}

int records_clear(PyObject* obj) {
  auto* self = reinterpret_cast<Records*>(obj);
  records_release(self, false);
  Py_CLEAR(self->path);
  return 0;
}

void records_dealloc(PyObject* obj) {
  PyTypeObject* type = Py_TYPE(obj);
  PyObject_GC_UnTrack(obj);
  records_clear(obj);
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(obj);
  Py_DECREF(type);
}

PyObject* records_iter(PyObject* self) {
  Py_INCREF(self);
  return self;
}

// The error being raised, after the Python object has had its say.
PyObject* records_located(PyObject* self) {
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (traceback) PyException_SetTraceback(value, traceback);
  PyObject* done = PyObject_CallMethod(self, "_located", "O", value);
  if (!done) {
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    return nullptr;
  }
  Py_DECREF(done);
  PyErr_Restore(type, value, traceback);
  return nullptr;
}

PyObject* records_next(PyObject* obj) {
  auto* self = reinterpret_cast<Records*>(obj);
  if (!self->native) {
    if (self->closed) PyErr_Format(PyExc_ValueError, "reader on %R is closed", self->path ? self->path : Py_None);
    return nullptr;
  }
  PyObject* mol = nullptr;
  if (self->graph_mols) {
    // The loop `for mol in reader` still holds the molecule of the last read
    // when it asks for the next, but has let go of the one before. When
    // nothing else holds that one either, the record is read into it rather
    // than into a new object: what dropping it and making another comes to,
    // but for its id().
    try {
      mol = next_graph_mol(*self->native, Owned(std::exchange(self->handed[1], nullptr)));
    } catch (...) {
      velk_raise_current_exception();
    }
    if (mol && mol != Py_None) {
      Py_INCREF(mol);
      Py_XDECREF(std::exchange(self->handed[1], std::exchange(self->handed[0], mol)));
    }
  } else {
    mol = PyObject_CallMethod(obj, "_read_made", nullptr);
  }
  if (!mol) return records_located(obj);
  if (mol != Py_None) return mol;
  Py_DECREF(mol);
  if (self->release_at_end) records_release(self, false);
  return nullptr;
}

PyObject* records_bind(PyObject* obj, PyObject* args) {
  auto* self = reinterpret_cast<Records*>(obj);
  PyObject* handle = nullptr;
  PyObject* path = nullptr;
  int graph_mols = 0;
  int release_at_end = 0;
  if (!PyArg_ParseTuple(args, "OUpp", &handle, &path, &graph_mols, &release_at_end)) return nullptr;
  void* native = nullptr;
  if (!SWIG_IsOK(SWIG_ConvertPtr(handle, &native, SWIGTYPE_p_velk__ReaderHandle, 0)) || !native) {
    PyErr_SetString(PyExc_TypeError, "_bind: expected a reader handle");
    return nullptr;
  }
  Py_INCREF(handle);
  Py_INCREF(path);
  Py_XDECREF(self->handle);
  Py_XDECREF(self->path);
  self->handle = handle;
  self->path = path;
  self->native = static_cast<velk::ReaderHandle*>(native);
  self->graph_mols = graph_mols;
  self->release_at_end = release_at_end;
  self->closed = false;
  Py_RETURN_NONE;
}

PyObject* records_release_method(PyObject* obj, PyObject* closed) {
  const int is_closed = PyObject_IsTrue(closed);
  if (is_closed < 0) return nullptr;
  records_release(reinterpret_cast<Records*>(obj), is_closed);
  Py_RETURN_NONE;
}

PyObject* records_handle(PyObject* obj, void*) {
  PyObject* handle = reinterpret_cast<Records*>(obj)->handle;
  if (!handle) Py_RETURN_NONE;
  Py_INCREF(handle);
  return handle;
}

PyMethodDef records_methods[] = {
    {"_bind", records_bind, METH_VARARGS, "_bind(handle, path, graph_mols, release_at_end): reads from handle."},
    {"_release", records_release_method, METH_O,
     "_release(closed): drops the handle; reading then raises ValueError when closed, else ends."},
    {nullptr, nullptr, 0, nullptr}};

PyGetSetDef records_getset[] = {
    {"_handle", records_handle, nullptr, "The reader's handle; None once released.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr}};

PyType_Slot records_slots[] = {{Py_tp_new, reinterpret_cast<void*>(PyType_GenericNew)},
                               {Py_tp_dealloc, reinterpret_cast<void*>(records_dealloc)},
                               {Py_tp_traverse, reinterpret_cast<void*>(records_traverse)},
                               {Py_tp_clear, reinterpret_cast<void*>(records_clear)},
                               {Py_tp_free, reinterpret_cast<void*>(PyObject_GC_Del)},
                               {Py_tp_iter, reinterpret_cast<void*>(records_iter)},
                               {Py_tp_iternext, reinterpret_cast<void*>(records_next)},
                               {Py_tp_methods, records_methods},
                               {Py_tp_getset, records_getset},
                               {0, nullptr}};

PyType_Spec records_spec = {"nimbrel._velk._Records", sizeof(Records), 0,
                            Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
                            records_slots};

}  // namespace velk_py
%}
%init %{
  {
    PyObject* records = PyType_FromSpec(&velk_py::records_spec);
    if (!records || PyModule_AddObject(m, "_Records", records) != 0) {
      Py_XDECREF(records);
      return -1;
    }
  }
%}
%ignore velk::ReaderHandle::take_faults;
%ignore velk::ReaderHandle::next_owned;
%ignore velk::ReaderHandle::add_reports;
%ignore velk::WriterHandle::take_reports;
%ignore velk::WriterHandle::add_reports;
%ignore velk::MessageLog;
%ignore velk::GenericValue;
%ignore velk::GenericDataPairs;
%ignore velk::OptionalGrids;
%include "velk/handles.h"

// The records of a file, or of a byte range of it, as the file's bytes
// (nimbrel.dask); `whole` reads all of the file, gzip too.
%{
#include "velk/builtin/tamrin_range.h"
#include "velk/errors.h"

std::vector<std::string> range_records(const std::string& path, unsigned format, unsigned long long begin,
                                       unsigned long long end, bool whole) {
  const auto code = static_cast<Tamrin::QvFormat>(format);
  if (!Tamrin::QvFormatInRange(code) || (!whole && !velk::builtin::RangeReadable(code)))
    throw velk::FormatError("velk: format " + std::to_string(format) + " cannot be read by byte range");
  return velk::builtin::RangeRecords(path, code, begin, end, whole);
}
%}
%typemap(out) std::vector<std::string> range_records {
  $result = PyList_New(static_cast<Py_ssize_t>($1.size()));
  if (!$result) SWIG_fail;
  for (std::size_t i = 0; i < $1.size(); ++i) {
    PyObject* bytes = PyBytes_FromStringAndSize($1[i].data(), static_cast<Py_ssize_t>($1[i].size()));
    if (!bytes) {
      Py_DECREF($result);
      SWIG_fail;
    }
    PyList_SET_ITEM($result, static_cast<Py_ssize_t>(i), bytes);
  }
}
%rename(_range_records) range_records;
std::vector<std::string> range_records(const std::string& path, unsigned format, unsigned long long begin,
                                       unsigned long long end, bool whole);

// Configuration records of the Tamrin handler.
%{
#include "velk/builtin/tamrin_config.h"
%}
%include "velk/builtin/tamrin_config.h"

// Single molecules to and from memory.
%{
#include "velk/conversions.h"
%}
%rename(_resolve_format) velk::resolve_format;
%rename(_mol_from_string) velk::mol_from_string;
%rename(_mol_from_bytes) velk::mol_from_bytes;
%rename(_mol_to_string) velk::mol_to_string;
%rename(_mol_to_bytes) velk::mol_to_bytes;
%exception velk::mol_to_string VELK_CAPTURING(velk_write_warning_class)
%exception velk::mol_to_bytes VELK_CAPTURING(velk_write_warning_class)

// Text that is not valid UTF-8 comes back with lone surrogates, never fails.
%typemap(out) std::string mol_to_string {
  $result = PyUnicode_DecodeUTF8($1.data(), static_cast<Py_ssize_t>($1.size()), "surrogateescape");
  if (!$result) SWIG_fail;
}
%typemap(out) std::string mol_to_bytes {
  $result = PyBytes_FromStringAndSize($1.data(), static_cast<Py_ssize_t>($1.size()));
  if (!$result) SWIG_fail;
}
// Raw bytes in: only a bytes object will do.
%typemap(in) const std::string& RAW_BYTES (std::string bytes) {
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize($input, &data, &size) != 0) SWIG_fail;
  bytes.assign(data, static_cast<size_t>(size));
  $1 = &bytes;
}
%typemap(freearg) const std::string& RAW_BYTES ""

namespace velk {
unsigned resolve_format(const std::string& name);
bool mol_from_string(Tamrin::QvMolBase& mol, const std::string& data, unsigned format, unsigned flavor);
bool mol_from_bytes(Tamrin::QvMolBase& mol, const std::string& RAW_BYTES, unsigned format, unsigned flavor,
                    bool gzip);
std::string mol_to_string(const Tamrin::QvMolBase& mol, unsigned format, unsigned flavor);
std::string mol_to_bytes(const Tamrin::QvMolBase& mol, unsigned format, unsigned flavor, bool gzip);
}

// The layer under nimbrel.velk, which is the interface to use; the container
// glue (StringVector, FormatInfoVector, SwigPyIterator) is left out.
%pythoncode %{
__all__ = [
    "FormatInfo", "FormatRegistry", "ReaderConfig", "WriterConfig",
    "VELK_VERSION_MAJOR", "VELK_VERSION_MINOR", "VELK_VERSION_PATCH",
]
%}
