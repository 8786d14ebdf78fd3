// The Tamrin handler over real files: opening, configuration records, the
// checked read, and the sink's refusal of grids.
#include "velk/builtin/tamrin_handler.h"

#include <gtest/gtest.h>

#include <cstring>

#include "pellar/qvstream.h"
#include "sorvil/grid/scalargrid.h"
#include "support/captured_messages.h"
#include "support/scratch_dir.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/mcmol.h"
#include "tamrin/streams/format.h"
#include "velk/errors.h"

namespace {

using velk::ReadStatus;
using velk::builtin::TamrinHandler;

const char* const kTwoWaters =
    "3\nfirst\nO 0 0 0\nH 0.96 0 0\nH -0.24 0.93 0\n"
    "3\nsecond\nO 1 0 0\nH 1.96 0 0\nH 0.76 0.93 0\n";

class TamrinHandlerTest : public ::testing::Test {
 protected:
  std::string write_file(const std::string& name, const std::string& text) {
    WriteFile(dir_.file(name), text);
    return dir_.file(name);
  }
  std::string path(const std::string& name) { return dir_.file(name); }

  static Tamrin::QvGraphMol water(const char* title) {
    Tamrin::QvGraphMol mol;
    const double xyz[3][3] = {{0, 0, 0}, {0.96, 0, 0}, {-0.24, 0.93, 0}};
    const unsigned elements[3] = {8, 1, 1};
    for (int i = 0; i < 3; ++i) mol.SetCoords(mol.NewAtom(elements[i]), xyz[i]);
    mol.SetTitle(title);
    return mol;
  }

  TamrinHandler handler_;
  ScratchDir dir_;
};

TEST_F(TamrinHandlerTest, ConfigOfTheWrongTypeWarnsAndUsesDefaults) {
  CapturedMessages messages;
  auto source = handler_.open_reader(write_file("w.xyz", kTwoWaters), velk::tamrin::WriterConfig{});
  EXPECT_EQ(messages.text(), "Warning: velk: Tamrin reader received unexpected config type; using defaults\n");
  messages.clear();
  auto sink = handler_.open_writer(path("out.xyz"), 42);
  EXPECT_EQ(messages.text(), "Warning: velk: Tamrin writer received unexpected config type; using defaults\n");
  Tamrin::QvGraphMol mol;
  EXPECT_TRUE(source->next(mol));
}

}  // namespace
