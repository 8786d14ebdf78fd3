// The MolSource base behaviours, and the reader and writer handles over a
// handler registered under a suffix of its own.
#include "velk/handles.h"

#include <gtest/gtest.h>

#include <tuple>

#include "pellar/qvsstream.h"
#include "sorvil/grid/scalargrid.h"
#include "support/captured_messages.h"
#include "tamrin/model/graphmol.h"
#include "velk/errors.h"
#include "velk/formatregistry.h"

namespace {

using Sorvil::QvScalarGrid;
using Tamrin::QvGraphMol;
using Tamrin::QvMolBase;

// Yields `count` one-atom molecules titled "1", "2", ...; no grids.
class CountingSource : public velk::MolSource {
 public:
  explicit CountingSource(int count) : remaining_(count) {}
  using MolSource::next;
  bool next(QvMolBase& mol) override {
    mol.Clear();
    if (remaining_ == 0) return false;
    --remaining_;
    mol.NewAtom(6);
    mol.SetTitle(std::to_string(++produced_));
    return true;
  }
  bool next(QvGraphMol& mol) override { return next(mol.GetMol()); }

 private:
  int remaining_;
  int produced_ = 0;
};

// Records what was appended; its close can be made to throw.
struct SinkLog {
  std::vector<std::string> titles;
  int closes = 0;
  bool close_throws = false;
};

class LoggingSink : public velk::MolSink {
 public:
  explicit LoggingSink(SinkLog& log) : log_(log) {}
  bool append(const QvMolBase& mol, const std::vector<const QvScalarGrid*>& grids) override {
    return grids.empty() && append(mol);
  }
  bool append(const QvMolBase& mol) override {
    log_.titles.emplace_back(mol.GetTitle());
    return true;
  }
  void close() override {
    ++log_.closes;
    if (log_.close_throws) throw velk::FileError("velk: disk full");
  }

 private:
  SinkLog& log_;
};

SinkLog sink_log;

class TestHandler : public velk::FormatHandler {
 public:
  velk::FormatInfo info() const override {
    velk::FormatInfo info;
    info.name = "Test";
    info.extensions = {".velktest", ".velknull"};
    return info;
  }
  using FormatHandler::open_reader;
  std::unique_ptr<velk::MolSource> open_reader(const std::string& path, const std::any&) override {
    if (path.ends_with(".velknull")) return nullptr;
    return std::make_unique<CountingSource>(2);
  }
  std::unique_ptr<velk::MolSink> open_writer(const std::string& path, const std::any&) override {
    if (path.ends_with(".velknull")) return nullptr;
    return std::make_unique<LoggingSink>(sink_log);
  }
};

class Handles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    velk::FormatRegistry::instance().register_handler(std::make_unique<TestHandler>());
  }
  void SetUp() override { sink_log = SinkLog(); }
};

TEST(MolSourceBase, CheckedReadNeverReportsParseErrors) {
  CountingSource source(1);
  QvGraphMol mol;
  const velk::ReadResult first = source.next_record(mol);
  EXPECT_EQ(std::tuple(first.status, first.message), std::tuple(velk::ReadStatus::Ok, std::string()));
  for (int i = 0; i < 3; ++i) {
    const velk::ReadResult later = source.next_record(mol);
    EXPECT_EQ(std::tuple(later.status, later.flag), std::tuple(velk::ReadStatus::End, false));
  }
  EXPECT_FALSE(source.capability_flag());
}

TEST(FormatHandlerBase, StreamReadingIsRefused) {
  TestHandler handler;
  Pellar::qvisstream input;
  try {
    handler.open_reader(input, std::any());
    ADD_FAILURE() << "nothing thrown";
  } catch (const velk::FormatError& e) {
    EXPECT_STREQ(e.what(), "velk: stream-based reading not supported for this format");
  }
}

TEST_F(Handles, ReaderGivesEveryRecordThenFalseForGood) {
  auto reader = velk::open_reader("x.velktest");
  QvGraphMol mol;
  ASSERT_TRUE(reader->next(mol));
  EXPECT_STREQ(mol.GetTitle(), "1");
  EXPECT_EQ(reader->next_grids(mol, {}), 0);
  EXPECT_STREQ(mol.GetTitle(), "2");
  EXPECT_EQ(reader->next_grids(mol, {}), -1);
  EXPECT_FALSE(reader->next(mol));
  EXPECT_FALSE(reader->next_grid_tuple(mol).has_value());
  // The grid tuple of a molecule record is empty.
  auto grids = velk::open_reader("x.velktest")->next_grid_tuple(mol);
  EXPECT_TRUE(grids.has_value() && grids->empty());
}

TEST_F(Handles, OpeningFailuresNameThePath) {
  auto message_of = [](auto open, const std::string& path) {
    try {
      open(path);
    } catch (const velk::Error& e) {
      return std::string(e.what());
    }
    return std::string("<no error>");
  };
  auto reader = [](const std::string& p) { velk::open_reader(p); };
  auto writer = [](const std::string& p) { velk::open_writer(p); };
  EXPECT_EQ(message_of(reader, "a.unknown"), "velk: unrecognized file extension for 'a.unknown'");
  EXPECT_EQ(message_of(writer, "a.unknown"), "velk: unrecognized file extension for 'a.unknown'");
  EXPECT_EQ(message_of(reader, "a.velknull"), "velk: failed to create reader for 'a.velknull'");
  EXPECT_EQ(message_of(writer, "a.velknull"), "velk: failed to create writer for 'a.velknull'");
  EXPECT_THROW(velk::open_reader("a.velknull"), velk::FileError);
  EXPECT_THROW(velk::open_reader("a.unknown"), velk::FormatError);
}

TEST_F(Handles, WriterClosesOnceAndRefusesAfterwards) {
  QvGraphMol mol;
  mol.SetTitle("m");
  std::unique_ptr<velk::WriterHandle> writer = velk::open_writer("x.velktest");
  EXPECT_TRUE(writer->append_mol(mol));
  EXPECT_TRUE(writer->append_grids(mol, {}));
  writer->close();
  writer->close();
  EXPECT_FALSE(writer->append_mol(mol));
  EXPECT_FALSE(writer->append_grids(mol, {}));
  writer.reset();
  EXPECT_EQ(sink_log.closes, 1);
  EXPECT_EQ(sink_log.titles, std::vector<std::string>(2, "m"));
}

TEST_F(Handles, DestroyingAnOpenWriterClosesItAndAFailedCloseKeepsItOpen) {
  velk::open_writer("x.velktest").reset();
  EXPECT_EQ(sink_log.closes, 1);
  sink_log = SinkLog();
  auto writer = velk::open_writer("x.velktest");
  sink_log.close_throws = true;
  EXPECT_THROW(writer->close(), velk::FileError);
  QvGraphMol mol;
  EXPECT_TRUE(writer->append_mol(mol));
  CapturedMessages messages;
  writer.reset();  // closes again, fails again, and says so
  EXPECT_EQ(messages.text(), "Warning: velk: closing a writer failed: velk: disk full\n");
  EXPECT_EQ(sink_log.closes, 2);
}

TEST(GenericDataPairs, KeepsNamedItemsOfKnownTypesInOrder) {
  QvGraphMol mol;
  QvMolBase& base = mol.GetMol();
  base.SetData(Sorvil::QvGetTag("Charge"), 1);
  base.SetData(Sorvil::QvGetTag("Total Energy"), -76.5);
  base.SetData(Sorvil::QvGetTag("Scale"), 0.5f);
  base.SetData(Sorvil::QvGetTag("Closed"), true);
  base.SetData(Sorvil::QvGetTag("Method"), std::string("RHF"));
  base.SetData(Sorvil::QvGetTag("Unsigned"), 3u);  // no Python counterpart: skipped
  base.SetData(Sorvil::QvTag{7}, 5);               // built-in tag without a name: skipped
  const velk::GenericDataPairs pairs = velk::ReaderHandle(nullptr).generic_data_pairs(base);
  const velk::GenericDataPairs expected = {{"Charge", 1},
                                           {"Total Energy", -76.5},
                                           {"Scale", 0.5},
                                           {"Closed", true},
                                           {"Method", std::string("RHF")}};
  EXPECT_EQ(pairs, expected);
}

}  // namespace
