// XYZ in the molecule streams.
#include <memory>
#include <span>

#include "pellar/qvstream.h"
#include "tamrin/formats/xyz/xyz.h"
#include "tamrin/formats/xyz/xyztokenizer.h"
#include "tamrin/perception/atomcompletion.h"
#include "tamrin/perception/bondorders.h"
#include "tamrin/perception/connectivity.h"
#include "tamrin/perception/implicith.h"
#include "tamrin/perception/rings.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

using QvOFlavor::XYZ::Charges;
using QvOFlavor::XYZ::DoublePrecision;
using QvOFlavor::XYZ::SinglePrecision;
using QvOFlavor::XYZ::Symbols;

bool ReadXYZ(qvmolistream& in, QvMolBase& mol, unsigned) { return QvXYZReadFxn(in, mol); }

int WriteXYZ(qvmolostream& out, const QvMolBase& mol, unsigned options) {
  QvXYZWriteFxn(out.GetStream(), mol, options & Charges, options & Symbols, options & DoublePrecision);
  return 0;
}

// Single precision is what the writer does anyway.
unsigned WriterOptions(unsigned flavor) { return flavor & (Charges | Symbols | DoublePrecision); }

bool ReaderFlavor(unsigned part) { return part <= 0x1F; }

bool WriterFlavor(unsigned word) {
  return (word & ~0xFu) == 0 && (word & (SinglePrecision | DoublePrecision)) != (SinglePrecision | DoublePrecision);
}

const char* RefusedFlavor(unsigned flavor) {
  if ((flavor & SinglePrecision) && (flavor & DoublePrecision))
    return "QvOFlavor::XYZ::SinglePrecision and QvOFlavor::XYZ::DoublePrecision are mutually exclusive options";
  return nullptr;
}

std::unique_ptr<QvMolTokenizer> MakeTokenizer(unsigned) { return std::make_unique<QvXYZTokenizer>(); }

// The file has atoms and coordinates only; the input flavor says how much
// of the rest is perceived.
constexpr QvPostReadStep kSteps[] = {{0x10, QvDetermineConnectivity},
                                     {0x8, QvPerceiveRings},
                                     {0x4, QvAssignBondOrders},
                                     {0x2, QvAssignImplicitHydrogens},
                                     {0x1, QvCompleteAtoms}};

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::XYZ,
                                      .description = "XYZ",
                                      .extensions = "xyz",
                                      .readable = true,
                                      .writable = true,
                                      .default_iflavor = 0x401F,
                                      .default_oflavor = 0x4003,
                                      .iflavor_valid = ReaderFlavor,
                                      .oflavor_valid = WriterFlavor,
                                      .oflavor_refusal = RefusedFlavor,
                                      .read = ReadXYZ,
                                      .write = WriteXYZ,
                                      .writer_options = WriterOptions,
                                      .tokenizer = MakeTokenizer,
                                      .steps = kSteps,
                                      .combines_conformers = true}};

}  // namespace

std::span<const QvFormatInfo> QvXYZFormats() { return kRecords; }

}  // namespace Tamrin
