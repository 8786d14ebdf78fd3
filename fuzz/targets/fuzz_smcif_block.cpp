// Arbitrary bytes parsed as CIF, each data block read as a small-molecule
// structure, bonded, written back and the written block read again. The
// first byte picks the reader's flavor bits.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "silence.h"
#include "tamrin/formats/cif/cifdoc.h"
#include "tamrin/formats/cif/smallmolecule.h"
#include "tamrin/model/model.h"
#include "tamrin/perception/connectivity.h"
#include "tamrin/streams/molstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size == 0) return 0;
  const unsigned flavor = 0x18F | (data[0] & 0x70);
  std::vector<Tamrin::cifdoc::Block> blocks;
  std::string error;
  // Not CIF: the parser's business, not the reader's.
  if (!Tamrin::cifdoc::Parse(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), blocks, error))
    return 0;
  for (const Tamrin::cifdoc::Block& block : blocks) {
    Tamrin::QvGraphMol mol;
    if (!Tamrin::QvReadSmallMoleculeBlock(block, mol.GetMol(), flavor)) continue;
    Tamrin::QvDetermineConnectivity(mol.GetMol());
    Tamrin::qvmolostream out;
    if (!out.openstring(false)) continue;
    Tamrin::QvWriteSmallMoleculeBlock(out, mol.GetMol(), 0);
    const std::string written = out.GetString();
    std::vector<Tamrin::cifdoc::Block> again;
    Tamrin::QvGraphMol back;
    if (Tamrin::cifdoc::Parse(written, again, error) && !again.empty())
      Tamrin::QvReadSmallMoleculeBlock(again.at(0), back.GetMol(), 0);
  }
  return 0;
}
