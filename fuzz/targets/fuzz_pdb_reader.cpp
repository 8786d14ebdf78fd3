// Arbitrary bytes read as PDB through a memory molecule stream, every record
// to the end, each molecule written back as PDB, and the bytes cut into
// records by the tokenizer. The first byte picks the reader flags (taking
// every atom, charges, radii, formal charges, which records end a molecule)
// and whether the bytes are treated as gzip.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tamrin/model/graphmol.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/stringio.h"
#include "silence.h"
#include "tokenize.h"

namespace {

void ReadAll(std::string_view bytes, unsigned flavor, bool gzip) {
  Tamrin::qvmolistream in;
  in.SetFormat(Tamrin::QvFormat::PDB);
  in.SetFlavor(Tamrin::QvFormat::PDB, flavor);
  in.SetGzip(gzip);
  if (!in.openstring(bytes)) return;
  Tamrin::QvGraphMol mol;
  std::string out;
  while (Tamrin::QvReadMolecule(in, mol)) Tamrin::QvWriteMoleculeToBytes(Tamrin::QvFormat::PDB, 0x4000 | 0x2744, false, mol, out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  // Low bits: the record flags; the top bit: gzip. Perception after reading
  // (connectivity, orders, hierarchy) always runs, as by default.
  const unsigned flavor = 0x7F00u | (data[0] & 0xEFu) | 0x10u;
  ReadAll(bytes, flavor & ~0x80u, data[0] & 0x80);
  ReadAll(bytes, flavor, false);
  TokenizeAll(Tamrin::QvFormat::PDB, flavor, bytes);
  return 0;
}
