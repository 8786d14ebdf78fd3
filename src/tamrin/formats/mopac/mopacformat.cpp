// MOPAC input files in the molecule streams (written only). The writer is
// not built yet: the record holds what the streams need to know of the
// format until it is.
#include <span>

#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::MOPAC,
                                      .description = "MOPAC",
                                      .extensions = "mopac pac",
                                      .writable = true,
                                      .default_oflavor = 0x4002,
                                      .oflavor_valid = [](unsigned word) { return word <= 3; },
                                      .writer_options = [](unsigned flavor) { return flavor & 0x3; }}};

}  // namespace

std::span<const QvFormatInfo> QvMOPACFormats() { return kRecords; }

}  // namespace Tamrin
