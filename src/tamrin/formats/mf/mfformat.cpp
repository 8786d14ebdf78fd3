// Molecular formulas in the molecule streams (written only): one line per
// molecule, the formula and, with output flavor bit 0x1, a blank and the
// title when there is one.
#include <span>
#include <string>

#include "pellar/qvstream.h"
#include "tamrin/formats/mf/mf.h"
#include "tamrin/model/molbase.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

constexpr unsigned kTitle = 0x1;

int WriteFormula(qvmolostream& out, const QvMolBase& mol, unsigned flavor) {
  std::string line = QvMolecularFormula(mol);
  const char* title = mol.GetTitle();
  if ((flavor & kTitle) && *title) {
    line += ' ';
    line += title;
  }
  line += '\n';
  out.GetStream().write(line.data(), line.size());
  return 0;
}

constexpr QvFormatInfo kRecords[] = {{.code = QvFormat::MF,
                                      .description = "Molecular Formula",
                                      .extensions = "mf",
                                      .writable = true,
                                      .default_oflavor = 0x4001,
                                      .oflavor_valid = [](unsigned word) { return word <= 1; },
                                      .write = WriteFormula}};

}  // namespace

std::span<const QvFormatInfo> QvMFFormats() { return kRecords; }

}  // namespace Tamrin
