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
// The handle captures and reports for itself, here on the hot path.
%exception velk::ReaderHandle::next_graph_mol {
  try {
    $action
  } catch (...) {
    velk_raise_current_exception();
    SWIG_fail;
  }
}
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
%extend velk::ReaderHandle {
  PyObject* next_graph_mol() {
    using Wrap = PyObject* (*)(Tamrin::QvGraphMolImpl*);
    static Wrap wrap = nullptr;
    if (!wrap) wrap = reinterpret_cast<Wrap>(PyCapsule_Import("nimbrel._tamrin._graph_mol_wrapper", 0));
    if (!wrap) return nullptr;
    std::unique_ptr<Tamrin::QvGraphMolImpl> mol;
    const bool got = $self->next_owned(mol);
    if (!velk_warn_faults(*$self)) return nullptr;
    if (!got) Py_RETURN_NONE;
    // Owned by the new object from here; should making it fail, leaking the
    // molecule is safer than guessing whether the object freed it.
    return wrap(mol.release());
  }
}
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
