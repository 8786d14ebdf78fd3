// Arbitrary bytes read as InChI lines through a memory molecule stream,
// every record to the end, each molecule read written again as InChI, and
// the bytes cut into records by the tokenizer. The first byte picks whether
// the bytes are treated as gzip. Most inputs die in the InChI library's
// parser; what gets through builds molecules from its structure output.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "readall.h"
#include "silence.h"
#include "tokenize.h"
#include "tamrin/formats/inchi/inchi.h"

// The InChI library 1.03 itself loses a couple of bytes on some invalid
// InChIs ("InChI=1S/4C5H5.2f/h6H"), freed structure and all; the leak checker
// is told to pass over allocations made inside it, and only those.
extern "C" const char* __lsan_default_suppressions() { return "leak:libinchi.so\n"; }

namespace {

void ReadAndWrite(std::string_view bytes, bool gzip) {
  Tamrin::qvmolistream in;
  in.SetFormat(Tamrin::QvFormat::INCHI);
  in.SetGzip(gzip);
  if (!in.openstring(bytes)) return;
  Tamrin::QvGraphMol mol;
  std::string inchi;
  while (Tamrin::QvReadMolecule(in, mol)) Tamrin::QvCreateInChI(inchi, mol, 0x82);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  ReadAndWrite(bytes, data[0] & 1);
  TokenizeAll(Tamrin::QvFormat::INCHI, 0x4000, bytes);
  return 0;
}
