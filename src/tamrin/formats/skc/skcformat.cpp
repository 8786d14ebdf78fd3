// ISIS sketch files in the molecule streams: registered so that the
// extension is known, and refused when read. No description of the format is
// public and no sample files are to be had, so nothing could show a reader
// right; a guess would hand out wrong molecules without a word.
#include <span>

#include "sorvil/error/errorhandler.h"
#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

// Takes nothing from the input, which ends the read after this record.
bool RefuseSKC(qvmolistream&, QvMolBase&, unsigned) {
  Sorvil::QvErrorHandler::Warning(
      "MDL ISIS Sketch files cannot be read: the format has no public description to build a reader from; "
      "save the drawing as a molfile or CDX instead");
  return false;
}

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::SKC,
                                      .description = "MDL ISIS Sketch File",
                                      .extensions = "skc",
                                      .readable = true,
                                      .iflavor_valid = [](unsigned part) { return part == 0; },
                                      .read = RefuseSKC}};

}  // namespace

std::span<const QvFormatInfo> QvSKCFormats() { return kRecords; }

}  // namespace Tamrin
