// MOPAC input files in the molecule streams (written only).
#include <span>

#include "tamrin/formats/mopac/mopac.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

int WriteMOPAC(qvmolostream& out, const QvMolBase& mol, unsigned options) {
  QvMOPACWriteFxn(out.GetStream(), mol, options);
  return 0;
}

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::MOPAC,
                                      .description = "MOPAC",
                                      .extensions = "mopac pac",
                                      .writable = true,
                                      .default_oflavor = 0x4002,
                                      .oflavor_valid = [](unsigned word) { return word <= 3; },
                                      .write = WriteMOPAC,
                                      .writer_options = [](unsigned flavor) { return flavor & 0x3; }}};

}  // namespace

std::span<const QvFormatInfo> QvMOPACFormats() { return kRecords; }

}  // namespace Tamrin
