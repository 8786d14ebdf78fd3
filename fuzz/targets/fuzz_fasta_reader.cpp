// Arbitrary bytes read as FASTA through a memory molecule stream, every
// record to the end. The first byte picks the alphabet (the flavor's two
// bits) and whether the bytes are treated as gzip.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "readall.h"
#include "silence.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  ReadAllRecords(bytes, Tamrin::QvFormat::FASTA, 0x4000 | (data[0] & 3), data[0] & 4);
  return 0;
}
