// PDB in the molecule streams. The reader and writer are not built yet: the
// record holds what the streams need to know of the format until they are
// (its records can be cut without parsing; the tokenizer comes with them).
#include <span>

#include "tamrin/perception/atomcompletion.h"
#include "tamrin/perception/bondorders.h"
#include "tamrin/perception/connectivity.h"
#include "tamrin/perception/implicith.h"
#include "tamrin/perception/rings.h"
#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

// The reader takes the low byte of the input flavor; the rest asks for
// perception after reading. Bit 0x2000 (residues) waits for its pass.
unsigned ReaderOptions(unsigned flavor) { return flavor & 0xFF; }

bool AnyPart(unsigned) { return true; }
bool WriterFlavor(unsigned word) { return (word & ~0x7FFFu) == 0; }

constexpr QvPostReadStep kSteps[] = {{0x1000, QvDetermineConnectivity}, {0x800, QvPerceiveRings},
                                     {0x400, QvAssignBondOrders},       {0x200, QvAssignImplicitHydrogens},
                                     {0x100, QvCompleteAtoms},          {0x2000, nullptr}};

// Atom serial numbers have five columns.
constexpr unsigned kMaxAtoms = 99999;

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::PDB,
                                      .description = "PDB",
                                      .extensions = "pdb ent pdb#",
                                      .readable = true,
                                      .writable = true,
                                      .default_iflavor = 0x7F16,
                                      .default_oflavor = 0x6744,
                                      .iflavor_valid = AnyPart,
                                      .oflavor_valid = WriterFlavor,
                                      .reader_options = ReaderOptions,
                                      .steps = kSteps,
                                      .combines_conformers = true,
                                      .max_atoms = kMaxAtoms}};

}  // namespace

std::span<const QvFormatInfo> QvPDBFormats() { return kRecords; }

}  // namespace Tamrin
