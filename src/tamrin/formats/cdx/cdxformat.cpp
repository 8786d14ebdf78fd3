// ChemDraw CDX in the molecule streams.
#include <memory>
#include <span>

#include "tamrin/formats/cdx/cdx.h"
#include "tamrin/perception/rings.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

bool ReadCDX(qvmolistream& in, QvMolBase& mol, unsigned) { return QvCDXReadFxn(in, mol); }

int WriteCDX(qvmolostream& out, const QvMolBase& mol, unsigned options) {
  QvCDXWriteFxn(out.GetStream(), mol, options & QvOFlavor::CDX::Stereo);
  return 0;
}

std::unique_ptr<QvMolTokenizer> MakeTokenizer(unsigned) { return std::make_unique<QvCDXTokenizer>(); }

// The generic ring bit asks for ring perception before the generic steps.
constexpr QvPostReadStep kSteps[] = {{0x4000, QvPerceiveRings}};

// The input flavor's one format bit is the only way of reading there is.
constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::CDX,
                                      .description = "ChemDraw CDX",
                                      .extensions = "cdx",
                                      .readable = true,
                                      .writable = true,
                                      .default_iflavor = 0x4001,
                                      .default_oflavor = 0x4001,
                                      .iflavor_valid = [](unsigned part) { return part == 1; },
                                      .oflavor_valid = [](unsigned word) { return word <= 1; },
                                      .read = ReadCDX,
                                      .write = WriteCDX,
                                      .writer_options = [](unsigned flavor) { return flavor & QvOFlavor::CDX::Stereo; },
                                      .tokenizer = MakeTokenizer,
                                      .steps = kSteps,
                                      .atomless_tail_ends_input = true}};

}  // namespace

std::span<const QvFormatInfo> QvCDXFormats() { return kRecords; }

}  // namespace Tamrin
