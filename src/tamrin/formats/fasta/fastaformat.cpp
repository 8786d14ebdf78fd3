// FASTA in the molecule streams. The reader and writer are not built yet:
// the record holds what the streams need to know of the format until they
// are.
#include <span>

#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::FASTA,
                                      .description = "FASTA",
                                      .extensions = "fasta seq",
                                      .readable = true,
                                      .writable = true,
                                      .iflavor_valid = [](unsigned part) { return part <= 3; },
                                      .oflavor_valid = [](unsigned word) { return word == 0; },
                                      // The reader's two options.
                                      .reader_options = [](unsigned flavor) { return flavor & 0x3; }}};

}  // namespace

std::span<const QvFormatInfo> QvFASTAFormats() { return kRecords; }

}  // namespace Tamrin
