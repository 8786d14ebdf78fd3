// Molecular formulas in the molecule streams (written only). The writer is
// not built yet: the record holds what the streams need to know of the
// format until it is.
#include <span>

#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::MF,
                                      .description = "Molecular Formula",
                                      .extensions = "mf",
                                      .writable = true,
                                      .default_oflavor = 0x4001,
                                      .oflavor_valid = [](unsigned word) { return word <= 1; }}};

}  // namespace

std::span<const QvFormatInfo> QvMFFormats() { return kRecords; }

}  // namespace Tamrin
