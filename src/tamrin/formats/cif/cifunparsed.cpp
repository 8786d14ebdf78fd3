// Clang with the GNU C++ library of this system cannot compile gemmi's CIF
// document header as C++20 (a vector of a type that is not complete yet is
// instantiated as constexpr), so builds with clang (the fuzz build) leave the
// reader out: it says so and ends the input. Everything else of the format,
// the tokenizer and the writers included, is built as usual.
#ifdef NIMBREL_NO_CIF_PARSER

#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/cif/cif.h"

namespace Tamrin {

bool QvCIFReadFxn(qvmolistream&, QvMolBase&, unsigned) {
  Sorvil::QvErrorHandler::Warning("CIF reading is not built with this compiler");
  return false;
}

}  // namespace Tamrin

#endif
