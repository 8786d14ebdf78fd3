// The SMILES formats in the molecule streams: one molecule per line, the
// title after the SMILES.
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "pellar/qvstream.h"
#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereo.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molstream.h"
#include "tamrin/streams/tokenizer.h"

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

bool ParseLine(QvMolBase& mol, std::string_view line, unsigned flavor, bool cx) {
  const QvSmilesParseOptions options{(flavor & SmilesIFlavor::NoKekulization) != 0,
                                     (flavor & SmilesIFlavor::Strict) != 0, false, cx};
  if (!QvParseSmiles(mol, line, options)) return false;
  QvClearSmallRingBondStereo(mol);
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

bool UpToThree(unsigned part) { return part <= 3; }
bool NoOptions(unsigned part) { return part == 0; }
// 0x2000 is no writer option.
bool WriterFlavor(unsigned word) { return (word & 0x2000) == 0; }
unsigned WriterOptions(unsigned flavor) { return flavor & 0x1FFF; }

std::unique_ptr<QvMolTokenizer> MakeTokenizer(unsigned) { return std::make_unique<QvLineTokenizer>(); }

// The four plain kinds differ in what the writer makes of the molecule
// (canonical or not, with stereo or not), which their default flavors say.
constexpr QvFormatInfo Plain(QvFormat code, const char* description, std::string_view extensions, unsigned oflavor,
                             bool (*iflavor_valid)(unsigned)) {
  return {.code = code,
          .description = description,
          .extensions = extensions,
          .readable = true,
          .writable = true,
          .default_oflavor = oflavor,
          .iflavor_valid = iflavor_valid,
          .oflavor_valid = WriterFlavor,
          .read = ReadSmiles,
          .write = WriteSmiles,
          .writer_options = WriterOptions,
          .tokenizer = MakeTokenizer};
}

constexpr QvFormatInfo kRecords[] = {
    Plain(QvFormat::SMI, "Canonical stereo SMILES", "smi", 0x407D, UpToThree),
    Plain(QvFormat::USM, "Non-Canonical non-stereo SMILES", "usm", 0x4024, NoOptions),
    Plain(QvFormat::ISM, "Canonical stereo SMILES", "ism isosmi", 0x407D, NoOptions),
    Plain(QvFormat::CAN, "Canonical non-stereo SMILES", "can", 0x4064, NoOptions),
    {.code = QvFormat::CXSMILES,
     .description = "Chemaxon Extended SMILES",
     .extensions = "cxsmiles",
     .readable = true,
     .writable = true,
     .default_oflavor = 0x507D,
     .iflavor_valid = UpToThree,
     .oflavor_valid = WriterFlavor,
     .read = ReadCXSmiles,
     .write = WriteSmiles,
     .tokenizer = MakeTokenizer},
};

}  // namespace

// A double bond in a ring of fewer than 7 atoms can only be cis; a
// configuration written for it carries no information.
void QvClearSmallRingBondStereo(QvMolBase& mol) {
  constexpr unsigned kLargestCisOnlyRing = 6;
  for (QvBondBase& bond : mol.GetBonds())
    if (bond.IsInRing() && QvHasBondStereo(bond) && QvSmallestRingSize(bond, kLargestCisOnlyRing) != 0)
      QvClearBondStereo(bond);
}

std::span<const QvFormatInfo> QvSmilesFormats() { return kRecords; }

}  // namespace Tamrin
