// Arbitrary bytes read through a memory molecule stream as an SD file, a
// molfile and an RD file, every record to the end. The first byte picks the
// input flavor's stereo bits, so the wedge option and the stereo groups run
// too.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "readall.h"
#include "silence.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const unsigned flavor = 0x4000 | (data[0] & 0xF);
  for (const Tamrin::QvFormat format : {Tamrin::QvFormat::SDF, Tamrin::QvFormat::MDL, Tamrin::QvFormat::RDF})
    ReadAllRecords(bytes, format, flavor);
  return 0;
}
