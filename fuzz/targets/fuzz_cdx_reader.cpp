// Arbitrary bytes read as CDX through a memory molecule stream, every record
// to the end, then cut into records by the tokenizer.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "readall.h"
#include "silence.h"
#include "tokenize.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ReadAllRecords(bytes, Tamrin::QvFormat::CDX, 0x4001);
  TokenizeAll(Tamrin::QvFormat::CDX, 0x4001, bytes);
  return 0;
}
