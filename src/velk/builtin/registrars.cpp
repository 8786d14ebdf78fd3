// The builtin handlers, registered while the library loads. They live in this
// one translation unit so that they run in this order, which gives Tamrin,
// CUBE and FCHK the indices 0, 1 and 2 and fixes the order of the listing.
#include "velk/builtin/cube_handler.h"
#include "velk/builtin/fchk_handler.h"
#include "velk/builtin/tamrin_handler.h"
#include "velk/formatregistry.h"

namespace velk::builtin {
namespace {

const FormatRegistrar<TamrinHandler> tamrin_registrar;
const FormatRegistrar<CubeHandler> cube_registrar;
const FormatRegistrar<FchkHandler> fchk_registrar;

}  // namespace
}  // namespace velk::builtin
