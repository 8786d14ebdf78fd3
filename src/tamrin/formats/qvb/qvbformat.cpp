// The binary record formats in the molecule streams: QVB, and QVZ with
// zstd-compressed records. Their reader and writer are not built yet: the
// records hold what the streams need to know of the formats until they are
// (their records can be cut without parsing; the tokenizer comes with them).
#include <span>

#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

bool NoOptions(unsigned flavor) { return flavor == 0; }

constexpr QvFormatInfo kRecords[] = {
    {.code = QvFormat::QVB,
     .description = "QvBinary v2",
     .extensions = "qvb",
     .readable = true,
     .writable = true,
     .iflavor_valid = NoOptions,
     .oflavor_valid = NoOptions,
     .conformer_records = true,
     // A record carries the perception it was written with.
     .keeps_perception = true},
    {.code = QvFormat::QVZ,
     .description = "Zstd Compressed QvBinary",
     .extensions = "qvz",
     .readable = true,
     .writable = true,
     .iflavor_valid = NoOptions,
     .oflavor_valid = NoOptions,
     .conformer_records = true},
};

}  // namespace

std::span<const QvFormatInfo> QvBinaryFormats() { return kRecords; }

}  // namespace Tamrin
