// Arbitrary bytes parsed as CIF, each data block read as a small-molecule
// structure, bonded, written back and the written block read again. The
// first byte picks the reader's flavor bits.
#include <cstddef>
#include <cstdint>
#include <exception>

#include <gemmi/cif.hpp>

#include "silence.h"
#include "tamrin/formats/cif/smallmolecule.h"
#include "tamrin/model/model.h"
#include "tamrin/perception/connectivity.h"
#include "tamrin/streams/molstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size == 0) return 0;
  const unsigned flavor = 0x18F | (data[0] & 0x70);
  gemmi::cif::Document doc;
  try {
    doc = gemmi::cif::read_memory(reinterpret_cast<const char*>(data) + 1, size - 1, "fuzz");
  } catch (const std::exception&) {
    return 0;  // not CIF: the parser's business, not the reader's
  }
  for (const gemmi::cif::Block& block : doc.blocks) {
    Tamrin::QvGraphMol mol;
    if (!Tamrin::QvReadSmallMoleculeBlock(block, mol.GetMol(), flavor)) continue;
    Tamrin::QvDetermineConnectivity(mol.GetMol());
    Tamrin::qvmolostream out;
    if (!out.openstring(false)) continue;
    Tamrin::QvWriteSmallMoleculeBlock(out, mol.GetMol(), 0);
    const gemmi::cif::Document again = gemmi::cif::read_string(out.GetString());
    Tamrin::QvGraphMol back;
    Tamrin::QvReadSmallMoleculeBlock(again.blocks.at(0), back.GetMol(), 0);
  }
  return 0;
}
