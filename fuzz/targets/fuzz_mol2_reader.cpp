// Arbitrary bytes read as MOL2 through a memory molecule stream, every record
// to the end, written back, then cut into records by the tokenizer. The
// first byte picks gzip (bit 0), MOL2H over MOL2 (bit 1) and residues from
// substructures (bit 2).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tamrin/model/graphmol.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"
#include "silence.h"
#include "tokenize.h"

namespace {

// Warnings about bad records are expected by the thousand; keep them off the
// fuzzer's output.
void ReadAll(std::string_view bytes, unsigned options) {
  Tamrin::qvmolistream in;
  const Tamrin::QvFormat format = (options & 2) ? Tamrin::QvFormat::MOL2H : Tamrin::QvFormat::MOL2;
  in.SetFormat(format);
  if (options & 4) in.SetFlavor(Tamrin::QvFormat::MOL2, 0x4002);
  in.SetGzip(options & 1);
  if (!in.openstring(bytes)) return;
  Tamrin::qvmolostream out;
  out.SetFormat(format);
  out.openstring(false);
  Tamrin::QvGraphMol mol;
  while (Tamrin::QvReadMolecule(in, mol)) Tamrin::QvWriteMolecule(out, mol);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  ReadAll(bytes, data[0]);
  TokenizeAll(Tamrin::QvFormat::MOL2, 0x4000, bytes);
  return 0;
}
