// Arbitrary bytes read as JSON through a memory molecule stream, every
// molecule to the end, single- and multi-conformer, then cut into records by
// the tokenizer. The first byte picks whether the bytes are treated as gzip.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "readall.h"
#include "silence.h"
#include "tamrin/model/mcmol.h"
#include "tokenize.h"

namespace {

void ReadConformers(std::string_view bytes, bool gzip) {
  Tamrin::qvmolistream in;
  in.SetFormat(Tamrin::QvFormat::JSON);
  in.SetGzip(gzip);
  if (!in.openstring(bytes)) return;
  Tamrin::QvMol mol;
  while (Tamrin::QvReadMolecule(in, mol)) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  ReadAllRecords(bytes, Tamrin::QvFormat::JSON, 0x4000, data[0] & 1);
  ReadConformers(bytes, data[0] & 1);
  TokenizeAll(Tamrin::QvFormat::JSON, 0x4000, bytes);
  return 0;
}
