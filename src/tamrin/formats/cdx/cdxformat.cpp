// ChemDraw CDX files in the molecule streams. The reader and writer are not
// built yet: the record holds what the streams need to know of the format
// until they are (its records can be cut without parsing; the tokenizer
// comes with them).
#include <span>

#include "tamrin/perception/rings.h"
#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

// The generic ring bit asks for ring perception before the generic steps.
constexpr QvPostReadStep kSteps[] = {{0x4000, QvPerceiveRings}};

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::CDX,
                                      .description = "ChemDraw CDX",
                                      .extensions = "cdx",
                                      .readable = true,
                                      .writable = true,
                                      .default_iflavor = 0x4001,
                                      .default_oflavor = 0x4001,
                                      .iflavor_valid = [](unsigned part) { return part == 1; },
                                      .oflavor_valid = [](unsigned word) { return word <= 1; },
                                      .steps = kSteps}};

}  // namespace

std::span<const QvFormatInfo> QvCDXFormats() { return kRecords; }

}  // namespace Tamrin
