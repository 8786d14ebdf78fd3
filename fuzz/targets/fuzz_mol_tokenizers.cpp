// Arbitrary bytes cut into records by the molecule streams' own tokenizers
// (SDF, and one line per record), read through a memory molecule stream so
// that the gzip layer sees them too. The first byte picks the tokenizer and
// the gzip switch; the bytes up to the first NUL also go through the name
// rules (extension, bare extension, gzip suffix, format lookup).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tamrin/streams/format.h"
#include "tamrin/streams/molstream.h"
#include "tamrin/streams/tokenizer.h"
#include "silence.h"

namespace {

void Names(std::string_view bytes) {
  const std::string name(bytes.substr(0, bytes.find('\0')));
  Tamrin::QvFormatFromExtension(Tamrin::QvExtensionOf(name.c_str()));
  Tamrin::QvIsBareExtension(name.c_str());
  Tamrin::QvNameIsGzip(name.c_str());
}

void Tokenize(std::string_view bytes, bool sdf, bool gzip) {
  Tamrin::qvmolistream in;
  in.SetFormat(sdf ? Tamrin::QvFormat::SDF : Tamrin::QvFormat::SMI);
  in.SetGzip(gzip);
  if (!in.openstring(bytes)) return;
  const auto tokenizer = Tamrin::QvCreateTokenizer(in);
  std::string record;
  while (tokenizer && tokenizer->Next(in.GetStream(), record)) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  Names(bytes);
  Tokenize(bytes, data[0] & 1, data[0] & 2);
  return 0;
}
