// MOL2 in the molecule streams. The reader and writer are not built yet: the
// records hold what the streams need to know of the formats until they are
// (their records can be cut without parsing; the tokenizer comes with them).
#include <span>

#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

// The reader's one option from the stream: keep the hydrogens. MOL2H
// always keeps them; MOL2 as input flavor bit 0x1 says (the reader looks
// at bit 0x2 itself).
constexpr unsigned kKeepHydrogens = 0x1;
unsigned FlavorHydrogens(unsigned flavor) { return flavor & kKeepHydrogens; }
unsigned KeepHydrogens(unsigned) { return kKeepHydrogens; }

constexpr QvFormatInfo kRecords[] = {
    {.code = QvFormat::MOL2,
     .description = "Tripos MOL2",
     .extensions = "mol2 syb",
     .readable = true,
     .writable = true,
     .default_oflavor = 0x400F,
     .iflavor_valid = [](unsigned part) { return part <= 3; },
     .oflavor_valid = [](unsigned word) { return (word & 0x3F00) == 0; },
     .reader_options = FlavorHydrogens,
     .combines_conformers = true},
    {.code = QvFormat::MOL2H,
     .description = "MOL2 with H",
     .extensions = "mol2h",
     .readable = true,
     .writable = true,
     .default_iflavor = 0x4001,
     .default_oflavor = 0x401F,
     .iflavor_valid = [](unsigned part) { return part <= 1; },
     .oflavor_valid = [](unsigned word) { return (word & 0x3FC0) == 0; },
     .reader_options = KeepHydrogens,
     .combines_conformers = true},
};

}  // namespace

std::span<const QvFormatInfo> QvMOL2Formats() { return kRecords; }

}  // namespace Tamrin
