// Arbitrary bytes read as CSV through a memory molecule stream, every record
// to the end, then cut into rows by the tokenizer. The first byte picks gzip
// and whether the first row may be a header line.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "readall.h"
#include "silence.h"
#include "tokenize.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const unsigned flavor = (data[0] & 2) ? 0x4001 : 0x4000;
  ReadAllRecords(bytes, Tamrin::QvFormat::CSV, flavor, data[0] & 1);
  TokenizeAll(Tamrin::QvFormat::CSV, flavor, bytes);
  return 0;
}
