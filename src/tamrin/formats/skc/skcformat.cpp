// ISIS sketch files in the molecule streams (read only). The reader is not
// built yet: the record holds what the streams need to know of the format
// until it is.
#include <span>

#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::SKC,
                                      .description = "MDL ISIS Sketch File",
                                      .extensions = "skc",
                                      .readable = true,
                                      .iflavor_valid = [](unsigned part) { return part == 0; }}};

}  // namespace

std::span<const QvFormatInfo> QvSKCFormats() { return kRecords; }

}  // namespace Tamrin
