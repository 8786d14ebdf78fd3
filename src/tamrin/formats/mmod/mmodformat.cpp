// Macromodel files in the molecule streams. The reader and writer are not
// built yet: the record holds what the streams need to know of the format
// until they are (its records can be cut without parsing; the tokenizer
// comes with them).
#include <span>

#include "tamrin/perception/atomcompletion.h"
#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

constexpr QvPostReadStep kSteps[] = {{0x80, QvCompleteAtoms}};

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::MMOD,
                                      .description = "Macromodel",
                                      .extensions = "mmod mmd dat",
                                      .readable = true,
                                      .writable = true,
                                      .default_oflavor = 0x4001,
                                      .iflavor_valid = [](unsigned part) { return part == 0 || part == 0x80; },
                                      .oflavor_valid = [](unsigned word) { return word <= 1; },
                                      .steps = kSteps,
                                      .combines_conformers = true}};

}  // namespace

std::span<const QvFormatInfo> QvMMODFormats() { return kRecords; }

}  // namespace Tamrin
