// Arbitrary bytes read as CSV through a memory molecule stream, every record
// to the end, then cut into rows by the tokenizer. The first byte picks gzip
// and whether the first row may be a header line.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tamrin/model/graphmol.h"
#include "tamrin/streams/molio.h"
#include "silence.h"
#include "tokenize.h"

namespace {

void ReadAll(std::string_view bytes, bool gzip, unsigned flavor) {
  Tamrin::qvmolistream in;
  in.SetFormat(Tamrin::QvFormat::CSV);
  in.SetFlavor(Tamrin::QvFormat::CSV, flavor);
  in.SetGzip(gzip);
  if (!in.openstring(bytes)) return;
  Tamrin::QvGraphMol mol;
  while (Tamrin::QvReadMolecule(in, mol)) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const unsigned flavor = (data[0] & 2) ? 0x4001 : 0x4000;
  ReadAll(bytes, data[0] & 1, flavor);
  TokenizeAll(Tamrin::QvFormat::CSV, flavor, bytes);
  return 0;
}
