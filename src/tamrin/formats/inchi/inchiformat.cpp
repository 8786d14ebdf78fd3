// InChI and InChIKey in the molecule streams (an InChIKey cannot be read).
// The reader and writers are not built yet: the records hold what the
// streams need to know of the formats until they are (InChI records can be
// cut without parsing; the tokenizer comes with the reader).
#include <span>

#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

bool WriterFlavor(unsigned word) { return (word & 0x3F00) == 0; }

constexpr QvFormatInfo kRecords[] = {
    {.code = QvFormat::INCHI,
     .description = "IUPAC InChI",
     .extensions = "inchi",
     .readable = true,
     .writable = true,
     .default_oflavor = 0x4082,
     .iflavor_valid = [](unsigned part) { return part == 0; },
     .oflavor_valid = WriterFlavor},
    {.code = QvFormat::INCHIKEY,
     .description = "IUPAC InChI Key",
     .extensions = "inchikey",
     .writable = true,
     .default_oflavor = 0x4082,
     .oflavor_valid = WriterFlavor},
};

}  // namespace

std::span<const QvFormatInfo> QvInChIFormats() { return kRecords; }

}  // namespace Tamrin
