// InChI and InChIKey in the molecule streams: one line per molecule. An
// InChIKey cannot be read (it is a hash). The library and the flavor bits
// are described in inchi.h.
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "pellar/numparse.h"
#include "pellar/qvstream.h"
#include "tamrin/formats/inchi/inchi.h"
#include "tamrin/model/molbase.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molstream.h"
#include "tamrin/streams/tokenizer.h"

namespace Tamrin {

namespace {

// The InChI, then after blanks the title. A blank line reads as an empty
// molecule, which the stream passes over.
bool ReadInChI(qvmolistream& in, QvMolBase& mol, unsigned) {
  std::string_view line;
  if (!in.GetLine(line)) return false;
  line = Pellar::TrimBlanks(line);
  if (line.empty()) return true;
  const std::size_t end = line.find_first_of(" \t");
  const std::string_view inchi = line.substr(0, end);
  if (end != std::string_view::npos) mol.SetTitle(std::string(Pellar::TrimBlanks(line.substr(end))));
  return QvParseInChI(mol, inchi, mol.GetTitle());
}

void PutLine(qvmolostream& out, std::string& text) {
  text += '\n';
  out.GetStream().write(text.data(), text.size());
}

// A molecule the library makes nothing of is reported and left out.
int WriteInChI(qvmolostream& out, const QvMolBase& mol, unsigned flavor) {
  std::string inchi;
  if (QvCreateInChI(inchi, mol, flavor)) PutLine(out, inchi);
  return 0;
}

int WriteInChIKey(qvmolostream& out, const QvMolBase& mol, unsigned flavor) {
  std::string inchi;
  std::string key;
  if (QvCreateInChI(inchi, mol, flavor) && QvInChIKey(key, inchi, mol.GetTitle())) PutLine(out, key);
  return 0;
}

bool WriterFlavor(unsigned word) { return (word & 0x3F00) == 0; }

std::unique_ptr<QvMolTokenizer> MakeTokenizer(unsigned) { return std::make_unique<QvLineTokenizer>(); }

constexpr QvFormatInfo kRecords[] = {
    {.code = QvFormat::INCHI,
     .description = "IUPAC InChI",
     .extensions = "inchi",
     .readable = true,
     .writable = true,
     .default_oflavor = 0x4082,
     .iflavor_valid = [](unsigned part) { return part == 0; },
     .oflavor_valid = WriterFlavor,
     .read = ReadInChI,
     .write = WriteInChI,
     .tokenizer = MakeTokenizer},
    {.code = QvFormat::INCHIKEY,
     .description = "IUPAC InChI Key",
     .extensions = "inchikey",
     .writable = true,
     .default_oflavor = 0x4082,
     .oflavor_valid = WriterFlavor,
     .write = WriteInChIKey},
};

}  // namespace

std::span<const QvFormatInfo> QvInChIFormats() { return kRecords; }

}  // namespace Tamrin
