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
%unique_ptr(velk::_ReaderHandle)
%unique_ptr(velk::_WriterHandle)
%nodefaultctor velk::_ReaderHandle;
%nodefaultctor velk::_WriterHandle;
%ignore velk::_ReaderHandle::_ReaderHandle;
%ignore velk::_WriterHandle::_WriterHandle;
%ignore velk::_WriterHandle::is_open;
%rename(_open_reader) velk::open_reader;
%rename(_open_writer) velk::open_writer;
%ignore velk::GenericValue;
%ignore velk::GenericDataPairs;
%include "velk/handles.h"
