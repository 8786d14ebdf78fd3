// The Tamrin handler over real files: opening, configuration records, the
// checked read, and the sink's refusal of grids.
#include "velk/builtin/tamrin_handler.h"

#include <gtest/gtest.h>


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

TEST_F(TamrinHandlerTest, FlavorGoesToTheStreamsFormatWhenNoneIsNamed) {
  velk::tamrin::ReaderConfig config;
  config.iflavor = 0x10;  // connectivity only
  auto source = handler_.open_reader(write_file("w.xyz", kTwoWaters), config);
  auto& stream = dynamic_cast<velk::builtin::TamrinMolSource&>(*source).stream();
  EXPECT_EQ(stream.GetFlavor(Tamrin::QvFormat::XYZ), 0x10u);
}

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

TEST_F(TamrinHandlerTest, CheckedReadCountsRecordsAndStopsForGoodAfterAFailure) {
  // Two good records, then the stream is switched to a format that has no
  // reader in this system: reading stops with data left, which is a record
  // that exists but cannot be parsed.
  const std::string three = std::string(kTwoWaters) + "1\nthird\nHe 0 0 0\n";
  auto source = handler_.open_reader(write_file("w.xyz", three), {});
  Tamrin::QvGraphMol mol;
  EXPECT_EQ(source->next_record(mol).status, ReadStatus::Ok);
  EXPECT_EQ(source->next_record(mol).status, ReadStatus::Ok);
  auto& stream = dynamic_cast<velk::builtin::TamrinMolSource&>(*source).stream();
  ASSERT_TRUE(stream.SetFormat(Tamrin::QvFormat::SKC));
  CapturedMessages messages;
  const velk::ReadResult failure = source->next_record(mol);
  EXPECT_EQ(failure.status, ReadStatus::ParseError);
  EXPECT_EQ(failure.message, "record 3 of this MDL ISIS Sketch File stream could not be parsed");
  EXPECT_EQ(mol.NumAtoms(), 0u);
  ASSERT_TRUE(stream.SetFormat(Tamrin::QvFormat::XYZ));  // readable again, yet the source stays failed
  EXPECT_FALSE(failure.flag);
  for (int i = 0; i < 2; ++i) {
    const velk::ReadResult later = source->next_record(mol);
    EXPECT_EQ(later.status, ReadStatus::End);
    EXPECT_TRUE(later.message.empty());
  }
}

TEST_F(TamrinHandlerTest, SinkRefusesGridsAndWritesMolecules) {
  const std::string out = path("out.xyz");
  auto sink = handler_.open_writer(out, {});
  const Tamrin::QvGraphMol mol = water("w");
  Sorvil::QvScalarGrid grid;
  EXPECT_FALSE(sink->append(mol, {&grid}));
  EXPECT_TRUE(sink->append(mol, {}));
  sink->close();
  const std::string text = ReadFile(out);
  EXPECT_EQ(text.substr(0, 4), "3\nw\n");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
}

}  // namespace
