// CSV in the molecule streams. The reader and writer are not built yet: the
// record holds what the streams need to know of the format until they are
// (its records can be cut without parsing; the tokenizer comes with them).
#include <span>

#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::CSV,
                                      .description = "Comma Separated Values",
                                      .extensions = "csv",
                                      .readable = true,
                                      .writable = true,
                                      .default_iflavor = 0x4001,
                                      .default_oflavor = 0x4001,
                                      .iflavor_valid = [](unsigned part) { return part <= 1; },
                                      .oflavor_valid = [](unsigned word) { return word == 1; },
                                      .combines_conformers = true}};

}  // namespace

std::span<const QvFormatInfo> QvCSVFormats() { return kRecords; }

}  // namespace Tamrin
