#include "velk/formatregistry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <tuple>
#include <utility>

#include "support/captured_messages.h"

namespace {

using velk::FormatHandler;
using velk::FormatInfo;
using velk::FormatRegistry;
using velk::MolSink;
using velk::MolSource;

// A handler that only describes itself; the registry never opens anything.
class NamedHandler : public FormatHandler {
 public:
  NamedHandler(std::string name, std::vector<std::string> extensions)
      : name_(std::move(name)), extensions_(std::move(extensions)) {}
  FormatInfo info() const override {
    ++info_calls;
    FormatInfo info;
    info.name = name_;
    info.extensions = extensions_;
    info.description = name_ + " files";
    return info;
  }
  using FormatHandler::open_reader;
  std::unique_ptr<MolSource> open_reader(const std::string&, const std::any&) override { return nullptr; }
  std::unique_ptr<MolSink> open_writer(const std::string&, const std::any&) override { return nullptr; }

  mutable std::atomic<int> info_calls{0};

 private:
  std::string name_;
  std::vector<std::string> extensions_;
};

struct Registry {
  FormatRegistry registry;
  FormatHandler* add(const std::string& name, std::vector<std::string> extensions) {
    auto handler = std::make_unique<NamedHandler>(name, std::move(extensions));
    FormatHandler* raw = handler.get();
    registry.register_handler(std::move(handler));
    return raw;
  }
  std::string name_for(const std::string& path) {
    FormatHandler* handler = registry.handler_for_path(path);
    return handler ? handler->info().name : "<none>";
  }
};

// The builtin layout: one family with compound gzip suffixes beside simple ones.
struct BuiltinLikeRegistry : Registry {
  BuiltinLikeRegistry() {
    add("Tamrin", {".qvb.gz", ".sdf.gz", ".mol2.gz", ".smi.gz", ".sdf", ".mol", ".mol2", ".smi", ".pdb"});
    add("CUBE", {".cube", ".cub"});
    add("FCHK", {".fchk", ".fch"});
  }
};

TEST(FormatRegistry, ResolvesBySuffix) {
  BuiltinLikeRegistry r;
  const std::pair<const char*, const char*> cases[] = {
      {"x.sdf", "Tamrin"},   {"data/x.sdf.gz", "Tamrin"}, {"x.mol2.gz", "Tamrin"}, {"x.mol2", "Tamrin"},
      {"x.fch", "FCHK"},     {"dir.v2/x.cube", "CUBE"},   {"x.SDF", "<none>"},     {"x", "<none>"},
      {"x.gz", "<none>"},    {"x.cube.gz", "<none>"},     {"a.d/file", "<none>"},  {".sdf", "Tamrin"},
      {"", "<none>"},        {"x.", "<none>"},            {"sdf.gz", "<none>"}};
  for (const auto& [path, handler] : cases) EXPECT_EQ(r.name_for(path), handler) << path;
}

TEST(FormatRegistry, ReregisteredSuffixWarnsAndMovesToNewHandler) {
  BuiltinLikeRegistry r;
  CapturedMessages messages;
  r.add("Other", {".sdf", ".sdf.gz"});
  EXPECT_EQ(messages.lines(), (std::vector<std::string>{"velk: extension '.sdf' re-registered (was Tamrin, now Other)",
                                                        "velk: extension '.sdf.gz' re-registered (was Tamrin, now Other)"}));
  // The old handler keeps its other suffixes.
  EXPECT_EQ(std::tuple(r.name_for("x.sdf"), r.name_for("x.sdf.gz"), r.name_for("x.mol")),
            std::tuple("Other", "Other", "Tamrin"));
  EXPECT_EQ(r.registry.formats().size(), 4u);
  // A handler listing a suffix twice is warned about itself, unless the
  // level drops the warning.
  messages.clear();
  r.add("Twice", {".tw", ".tw"});
  EXPECT_EQ(messages.lines(), std::vector<std::string>{"velk: extension '.tw' re-registered (was Twice, now Twice)"});
  CapturedMessages quiet(Sorvil::QvError);
  r.add("A", {".a", ".a"});
  EXPECT_TRUE(quiet.lines().empty());
}

}  // namespace
