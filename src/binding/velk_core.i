// The _velk extension module: the format registry, readers and writers opened
// by path, and single-molecule conversion. The friendly Python layer over it
// is nimbrel/velk.py.
%module(package="nimbrel") velk_core

%{
#include "velk/formatregistry.h"
%}

%include <std_string.i>
%include <std_vector.i>

%include "velk_exceptions.swg"

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
