// SLN strings in the molecule streams (written only): one line per
// molecule, the string and, after a blank, the title when there is one.
// The notation is described in sln.h.
#include <span>
#include <string>

#include "pellar/qvstream.h"
#include "tamrin/formats/sln/sln.h"
#include "tamrin/model/molbase.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

int WriteSLN(qvmolostream& out, const QvMolBase& mol, unsigned) {
  std::string line = QvSLNString(mol);
  if (const char* title = mol.GetTitle(); *title) {
    line += ' ';
    line += title;
  }
  line += '\n';
  out.GetStream().write(line.data(), line.size());
  return 0;
}

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::SLN,
                                      .description = "Tripos SLN",
                                      .extensions = "sln",
                                      .writable = true,
                                      .oflavor_valid = [](unsigned word) { return (word & 0x3FFF) == 0; },
                                      .write = WriteSLN}};

}  // namespace

std::span<const QvFormatInfo> QvSLNFormats() { return kRecords; }

}  // namespace Tamrin
