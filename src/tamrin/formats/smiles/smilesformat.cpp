// Plugs the SMILES readers and writers into the molecule streams: one
// molecule per line, the title after the SMILES.
#include <string>
#include <string_view>

#include "pellar/qvstream.h"
#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereo.h"
#include "tamrin/streams/formatio.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

namespace SmilesIFlavor {
inline constexpr unsigned Strict = 0x1;
inline constexpr unsigned NoKekulization = 0x2;
}  // namespace SmilesIFlavor

// Lines that hold no molecule: blank, comments, and lines starting with a
// blank (whose SMILES would be empty).
bool IsSkippedLine(std::string_view line) {
  return line.empty() || line.front() == '#' || line.front() == ' ' || line.front() == '\t';
}

// A double bond in a ring of fewer than 7 atoms can only be cis; a
// configuration written for it carries no information.
void ClearSmallRingBondStereo(QvMolBase& mol) {
  constexpr unsigned kLargestCisOnlyRing = 6;
  for (QvBondBase& bond : mol.GetBonds())
    if (bond.IsInRing() && QvHasBondStereo(bond) && QvSmallestRingSize(bond, kLargestCisOnlyRing) != 0)
      QvClearBondStereo(bond);
}

bool ParseLine(QvMolBase& mol, std::string_view line, unsigned flavor, bool cx) {
  const QvSmilesParseOptions options{(flavor & SmilesIFlavor::NoKekulization) != 0,
                                     (flavor & SmilesIFlavor::Strict) != 0, false, cx};
  if (!QvParseSmiles(mol, line, options)) return false;
  ClearSmallRingBondStereo(mol);
  return true;
}

// A skipped line reads as an empty molecule, which the stream passes over.
bool ReadSmiles(qvmolistream& in, QvMolBase& mol, unsigned flavor) {
  std::string_view line;
  if (!in.GetLine(line)) return false;
  return IsSkippedLine(line) || ParseLine(mol, line, flavor, false);
}

// The CXSMILES reader counts a skipped line as a failed record.
bool ReadCXSmiles(qvmolistream& in, QvMolBase& mol, unsigned flavor) {
  std::string_view line;
  if (!in.GetLine(line) || IsSkippedLine(line)) return false;
  return ParseLine(mol, line, flavor, true);
}

int WriteSmiles(qvmolostream& out, const QvMolBase& mol, unsigned flags) {
  std::string text;
  if (!QvCreateSmiString(text, mol, flags & 0x1FFF) || text.empty()) return 0;
  const char* title = mol.GetTitle();
  if (*title) {
    text += ' ';
    text += title;
  }
  text += '\n';
  out.GetStream().write(text.data(), text.size());
  return 0;
}

const QvFormatRegistration smiles({QvFormat::SMI, QvFormat::USM, QvFormat::ISM, QvFormat::CAN}, ReadSmiles,
                                  WriteSmiles);
const QvFormatRegistration cxsmiles({QvFormat::CXSMILES}, ReadCXSmiles, WriteSmiles);

}  // namespace

}  // namespace Tamrin
