// Arbitrary bytes as a QVB file (first input byte even) or QVZ file (odd):
// every record read into single molecules and into multi-conformer
// molecules, then the file cut by the record tokenizer. Whatever reads back
// is written again, so the writers see what the readers let through.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tamrin/model/model.h"
#include "tamrin/streams/molio.h"
#include "silence.h"
#include "tokenize.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size == 0) return 0;
  const Tamrin::QvFormat format = (data[0] & 1) ? Tamrin::QvFormat::QVZ : Tamrin::QvFormat::QVB;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  Tamrin::qvmolostream out;
  out.SetFormat(format);
  out.openstring(false);
  {
    Tamrin::qvmolistream in;
    in.SetFormat(format);
    if (!in.openstring(bytes)) return 0;
    Tamrin::QvGraphMol mol;
    while (Tamrin::QvReadMolecule(in, mol)) Tamrin::QvWriteMolecule(out, mol);
  }
  {
    Tamrin::qvmolistream in;
    in.SetFormat(format);
    in.openstring(bytes);
    Tamrin::QvMol mol;
    while (Tamrin::QvReadMolecule(in, mol)) Tamrin::QvWriteMolecule(out, mol);
  }
  TokenizeAll(format, 0, bytes);
  return 0;
}
