// MOL2 in the molecule streams.
#include <memory>
#include <span>

#include "tamrin/formats/mol2/mol2.h"
#include "tamrin/formats/mol2/mol2tokenizer.h"
#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

// The reader's one option from the stream: keep the hydrogens. MOL2H
// always keeps them; MOL2 as input flavor bit 0x1 says (the reader looks
// at bit 0x2 itself).
constexpr unsigned kKeepHydrogens = QvIFlavor::MOL2::KeepHydrogens;
unsigned FlavorHydrogens(unsigned flavor) { return flavor & kKeepHydrogens; }
unsigned KeepHydrogens(unsigned) { return kKeepHydrogens; }

bool Read(qvmolistream& in, QvMolBase& mol, unsigned options) { return ReadMOL2Record(in, mol, options & kKeepHydrogens); }

int Write(qvmolostream& out, const QvMolBase& mol, unsigned flavor) { return WriteMOL2Record(out, mol, flavor); }

std::unique_ptr<QvMolTokenizer> MakeTokenizer(unsigned) { return std::make_unique<QvMOL2Tokenizer>(); }

constexpr QvFormatInfo kRecords[] = {
    {.code = QvFormat::MOL2,
     .description = "Tripos MOL2",
     .extensions = "mol2 syb",
     .readable = true,
     .writable = true,
     .default_oflavor = 0x400F,
     .iflavor_valid = [](unsigned part) { return part <= 3; },
     .oflavor_valid = [](unsigned word) { return (word & 0x3F00) == 0; },
     .read = Read,
     .write = Write,
     .reader_options = FlavorHydrogens,
     .tokenizer = MakeTokenizer,
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
     .read = Read,
     .write = Write,
     .reader_options = KeepHydrogens,
     .tokenizer = MakeTokenizer,
     .combines_conformers = true},
};

}  // namespace

std::span<const QvFormatInfo> QvMOL2Formats() { return kRecords; }

}  // namespace Tamrin
