// Macromodel files in the molecule streams.
#include <memory>
#include <span>

#include "tamrin/formats/mmod/mmod.h"
#include "tamrin/formats/mmod/mmodtokenizer.h"
#include "tamrin/perception/atomcompletion.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

bool ReadMMOD(qvmolistream& in, QvMolBase& mol, unsigned) { return QvMMODReadFxn(in, mol); }

int WriteMMOD(qvmolostream& out, const QvMolBase& mol, unsigned options) {
  QvMMODWriteFxn(out.GetStream(), mol, options & QvOFlavor::MMOD::AddHydrogens);
  return 0;
}

std::unique_ptr<QvMolTokenizer> MakeTokenizer(unsigned) { return std::make_unique<QvMMODTokenizer>(); }

// Every atom is in the file, hydrogens included, with its bonds and their
// orders: only the per-atom completion is left to ask for.
constexpr QvPostReadStep kSteps[] = {{0x80, QvCompleteAtoms}};

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::MMOD,
                                      .description = "Macromodel",
                                      .extensions = "mmod mmd dat",
                                      .readable = true,
                                      .writable = true,
                                      .default_oflavor = 0x4001,
                                      .iflavor_valid = [](unsigned part) { return part == 0 || part == 0x80; },
                                      .oflavor_valid = [](unsigned word) { return word <= 1; },
                                      .read = ReadMMOD,
                                      .write = WriteMMOD,
                                      .writer_options = [](unsigned flavor) { return flavor & 0x1; },
                                      .tokenizer = MakeTokenizer,
                                      .steps = kSteps,
                                      .combines_conformers = true}};

}  // namespace

std::span<const QvFormatInfo> QvMMODFormats() { return kRecords; }

}  // namespace Tamrin
