// Arbitrary bytes as one SMILES line, parsed in every combination of the
// strict, no-kekulization and CX options; whatever parses is written back in
// several output flavors and the written text parsed again. The first byte
// picks the options, the rest is the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/graphmol.h"
#include "silence.h"

namespace {

constexpr unsigned kOutputFlavors[] = {Tamrin::QvSmiDefault, Tamrin::QvSmiDefault & ~Tamrin::QvSmiFlag::Canonical,
                                       Tamrin::QvSmiDefault | Tamrin::QvSmiFlag::Kekule | Tamrin::QvSmiFlag::CXBlock,
                                       0x0FFF};

void WriteAndReread(const Tamrin::QvMolBase& mol) {
  for (unsigned flags : kOutputFlavors) {
    std::string out;
    if (!Tamrin::QvCreateSmiString(out, mol, flags)) continue;
    Tamrin::QvGraphMol again;
    Tamrin::QvSmilesParseOptions options;
    options.cx = (flags & Tamrin::QvSmiFlag::CXBlock) != 0;
    Tamrin::QvParseSmiles(again, out, options);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  Tamrin::QvSmilesParseOptions options;
  options.strict = data[0] & 1;
  options.noKekulization = data[0] & 2;
  options.cx = data[0] & 4;
  options.quiet = data[0] & 8;
  Tamrin::QvGraphMol mol;
  if (Tamrin::QvParseSmiles(mol, text, options)) WriteAndReread(mol);
  // The parser appends: a second text into the same molecule.
  Tamrin::QvParseSmiles(mol, text, options);
  return 0;
}
