// SLN strings in the molecule streams (written only). The writer is not
// built yet: the record holds what the streams need to know of the format
// until it is.
#include <span>

#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::SLN,
                                      .description = "Tripos SLN",
                                      .extensions = "sln",
                                      .writable = true,
                                      .oflavor_valid = [](unsigned word) { return (word & 0x3FFF) == 0; }}};

}  // namespace

std::span<const QvFormatInfo> QvSLNFormats() { return kRecords; }

}  // namespace Tamrin
