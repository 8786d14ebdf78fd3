// Arbitrary bytes read as Macromodel records through a memory molecule
// stream, every record to the end (with the per-atom completion step), then
// cut into records by the tokenizer. The first byte picks whether the bytes
// are treated as gzip, so the inflater sees them too.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "readall.h"
#include "silence.h"
#include "tokenize.h"

// Warnings about bad records are expected by the thousand; keep them off the
// fuzzer's output.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  ReadAllRecords(bytes, Tamrin::QvFormat::MMOD, 0x4080, data[0] & 1);
  TokenizeAll(Tamrin::QvFormat::MMOD, 0x4080, bytes);
  return 0;
}
