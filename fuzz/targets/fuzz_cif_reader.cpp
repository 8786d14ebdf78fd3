// Arbitrary bytes read as mmCIF and as CIF through a memory molecule stream,
// every data block to the end, each molecule written back as mmCIF, and the
// bytes cut into blocks by the tokenizer. The first byte picks the mmCIF
// flavor (perception steps, every atom site) and whether the bytes are
// treated as gzip.
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

void ReadAll(std::string_view bytes, Tamrin::QvFormat format, unsigned mmcif_flavor, bool gzip) {
  Tamrin::qvmolistream in;
  in.SetFormat(format);
  in.SetFlavor(Tamrin::QvFormat::MMCIF, mmcif_flavor);
  in.SetGzip(gzip);
  if (!in.openstring(bytes)) return;
  Tamrin::QvGraphMol mol;
  std::string out;
  while (Tamrin::QvReadMolecule(in, mol)) Tamrin::QvWriteMoleculeToBytes(Tamrin::QvFormat::MMCIF, 0x4000, false, mol, out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const unsigned flavor = 0x4000u | (data[0] & 0x7Fu);
  ReadAll(bytes, Tamrin::QvFormat::MMCIF, flavor, data[0] & 0x80);
  ReadAll(bytes, Tamrin::QvFormat::CIF, flavor, false);
  TokenizeAll(Tamrin::QvFormat::MMCIF, flavor, bytes);
  return 0;
}
