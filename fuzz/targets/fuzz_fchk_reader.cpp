// Arbitrary bytes as a formatted checkpoint: written to a temporary file,
// opened through the handler and read to the end. Refusals (velk::Error) are
// expected; anything else is a finding.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tamrin/model/graphmol.h"
#include "velk/builtin/fchk_handler.h"
#include "velk/errors.h"

namespace {

const std::string& ScratchFile() {
  static const std::string dir = [] {
    std::string pattern = "/tmp/fuzz-fchk-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
  }();
  static const std::string file = dir + "/in.fchk";
  static const struct Cleanup {
    ~Cleanup() {
      std::remove(file.c_str());
      rmdir(dir.c_str());
    }
  } cleanup;
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = ScratchFile();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  const bool written = std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) return 0;
  velk::builtin::FchkHandler handler;
  auto source = handler.open_reader(path, {});
  Tamrin::QvGraphMol mol;
  try {
    while (source->next(mol)) {
    }
  } catch (const velk::Error&) {
  }
  return 0;
}
