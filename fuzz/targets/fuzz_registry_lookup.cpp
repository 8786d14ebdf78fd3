// Arbitrary paths through suffix lookup, on a registry laid out like the
// builtin one plus suffixes that overlap (".gz" beside ".sdf.gz"), so the
// cache and the compound list are both exercised.
#include <cstddef>
#include <cstdint>
#include <string>

#include "velk/formatregistry.h"

namespace {

class FuzzHandler : public velk::FormatHandler {
 public:
  explicit FuzzHandler(std::vector<std::string> extensions) : extensions_(std::move(extensions)) {}
  velk::FormatInfo info() const override {
    velk::FormatInfo info;
    info.name = "Fuzz";
    info.extensions = extensions_;
    return info;
  }
  using velk::FormatHandler::open_reader;
  std::unique_ptr<velk::MolSource> open_reader(const std::string&, const std::any&) override { return nullptr; }
  std::unique_ptr<velk::MolSink> open_writer(const std::string&, const std::any&) override { return nullptr; }

 private:
  std::vector<std::string> extensions_;
};

velk::FormatRegistry& registry() {
  static velk::FormatRegistry* r = [] {
    auto* made = new velk::FormatRegistry;
    made->register_handler(std::make_unique<FuzzHandler>(
        std::vector<std::string>{".sdf.gz", ".mol2.gz", ".sdf", ".mol2", ".smi", ""}));
    made->register_handler(std::make_unique<FuzzHandler>(std::vector<std::string>{".gz", ".cube", "x"}));
    return made;
  }();
  return *r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Several paths per input, so that one lookup meets the cache of the last.
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  while (start <= input.size()) {
    size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    registry().handler_for_path(input.substr(start, end - start));
    start = end + 1;
  }
  return 0;
}
