// Opening molecule streams: files by name with gzip by suffix, the standard
// streams, memory, callers' streams; closing, and the messages on the way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pellar/qvioerror.h"
#include "pellar/qvsstream.h"
#include "pellar/qvstream.h"
#include "streams_test_support.h"
#include "support/captured_messages.h"

namespace {

using Tamrin::qvmolistream;
using Tamrin::qvmolostream;
using namespace streamtest;
using Titles = std::vector<std::string>;

Titles Read(qvmolistream& in) {
  Titles titles;
  Tamrin::QvGraphMol mol;
  while (Tamrin::QvReadMolecule(in, mol)) titles.emplace_back(mol.GetTitle());
  return titles;
}

const std::string kTwoRecords = "first 1\nsecond 2\n";

// ---- input files by name ----

TEST(OpenInput, UnknownExtensionKeepsTheFormatAndMissingFilesFail) {
  ScratchDir dir;
  qvmolistream in;
  ASSERT_TRUE(in.SetFormat(QvFormat::XYZ));
  for (const char* name : {"mol.gz", "x.qqq"}) {
    WriteFile(dir / name, "");
    CapturedMessages messages;
    EXPECT_TRUE(in.open(dir / name)) << name;
    EXPECT_EQ(in.GetFormat(), QvFormat::XYZ);
    EXPECT_EQ(messages.text(),
              "Warning: Unable to set unknown read format (UNDEFINED) in input stream, using existing format "
              "(XYZ)\n");
  }
  const std::string path = dir / "missing.sdf";
  CapturedMessages messages;
  EXPECT_FALSE(in.open(path));
  EXPECT_EQ(in.GetFormat(), QvFormat::SDF);
  EXPECT_EQ(messages.text(), "Warning: Unable to open \"" + path + "\" for reading molecules.\n");
  messages.clear();
  EXPECT_TRUE(Read(in).empty());
  EXPECT_TRUE(messages.lines().empty()) << messages.text();
}

// The only test that reads the process's standard input: compressed records
// through a bare ".toy.gz"; closing afterwards leaves descriptor 0 open.
TEST(OpenInput, BareCompressedExtensionReadsGzipFromStandardInput) {
  Replaced toy;
  ScratchDir dir;
  WriteFile(dir / "stdin.gz", Gzip(kTwoRecords));
  Titles titles;
  bool stdin_open = false;
  {
    Redirect redirect(0, dir / "stdin.gz", O_RDONLY);
    // Standard input is one stream for the whole process: start it over on
    // the file, in case an earlier run of this test read it to its end.
    ASSERT_TRUE(Pellar::qvin().seek(0));
    qvmolistream in;
    ASSERT_TRUE(in.open(".toy.gz"));
    titles = Read(in);
    in.close();
    EXPECT_NE(&in.GetStream(), &Pellar::qvin());
    stdin_open = fcntl(0, F_GETFD) != -1;
  }
  EXPECT_EQ(titles, (Titles{"first", "second"}));
  EXPECT_TRUE(stdin_open);
}

// ---- memory and callers' streams ----

TEST(OpenString, CallersStreamAndPushedBackLine) {
  Pellar::qvisstream bytes(kTwoRecords.data(), kTwoRecords.size());
  qvmolistream in;
  ASSERT_TRUE(in.openstream(bytes));
  EXPECT_EQ(&in.GetStream(), &bytes);
  std::string line;
  while (in.GetLine(line)) {
  }
  EXPECT_TRUE(in.at_end());
  // A pushed-back line comes first and delays the end.
  in.PushBackLine("again");
  EXPECT_FALSE(in.at_end());
  EXPECT_TRUE(in.GetLine(line) && line == "again" && !in.GetLine(line)) << line;
  in.close();
  EXPECT_NE(&in.GetStream(), &bytes);
}

// ---- output ----

TEST(OpenOutput, FilesByNameGzipBySuffixTruncated) {
  Replaced toy;
  ScratchDir dir;
  WriteFile(dir / "b.toy", "a long line that must disappear\n");
  qvmolostream out;
  ASSERT_TRUE(out.open(dir / "a.TOY.gz"));
  EXPECT_TRUE(out.GetGzip());
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("a", 1)) + Tamrin::QvWriteMolecule(out, Carbons("b", 2)), 0);
  // Opening the next file finishes the gzip member of the first.
  ASSERT_TRUE(out.open(dir / "b.toy"));
  EXPECT_FALSE(out.GetGzip());
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("c", 3)), 0);
  out.close();
  EXPECT_EQ(Gunzip(ReadFile(dir / "a.TOY.gz")), "a 1\nb 2\n");
  EXPECT_EQ(ReadFile(dir / "b.toy"), "c 3\n");
  // A path that cannot be written leaves a stream that refuses to write.
  const std::string path = dir / "no/such/dir.toy";
  CapturedMessages messages;
  EXPECT_FALSE(out.open(path));
  EXPECT_EQ(messages.text(), "Warning: Unable to open \"" + path + "\" for writing molecules.\n");
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("a", 1)), Tamrin::QvWriteStreamFailed);
}

TEST(OpenOutput, StandardOutputPlainAndCompressed) {
  Replaced toy;
  ScratchDir dir;
  std::fflush(stdout);
  for (const bool gzip : {false, true}) {
    Redirect redirect(1, dir / "stdout", O_WRONLY | O_CREAT | O_TRUNC);
    qvmolostream out;
    ASSERT_TRUE(out.SetFormat(QvFormat::XYZ));
    // "-" is SMILES, a bare extension names the format.
    ASSERT_TRUE(out.open(gzip ? ".toy.gz" : "-"));
    EXPECT_EQ(out.GetFormat(), gzip ? kToy : QvFormat::SMI);
    EXPECT_EQ(out.GetGzip(), gzip);
    EXPECT_EQ(&out.GetStream() == &Pellar::qvout(), !gzip);
    ASSERT_TRUE(out.SetFormat(kToy));
    EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("std", 2)), 0);
    out.close();
    const std::string written = ReadFile(dir / "stdout");
    EXPECT_EQ(gzip ? Gunzip(written) : written, "std 2\n");
  }
}

TEST(OpenOutput, StringPlainAndThroughGzip) {
  Replaced toy;
  qvmolostream out;
  ASSERT_TRUE(out.SetFormat(kToy));
  out.SetName("x");
  out.Cache().columns = {"SMILES"};
  for (const bool gzip : {false, true, false}) {
    ASSERT_TRUE(out.openstring(gzip));
    EXPECT_EQ(out.GetName(), "");
    EXPECT_TRUE(out.Cache().columns.empty());
    EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("first", 1)) + Tamrin::QvWriteMolecule(out, Carbons("second", 2)),
              0);
    const std::string bytes = out.GetString();
    EXPECT_EQ(gzip ? Gunzip(bytes) : bytes, kTwoRecords);
    // Asking again gives the same finished bytes.
    EXPECT_EQ(out.GetString(), bytes);
  }
  ScratchDir dir;
  ASSERT_TRUE(out.open(dir / "file.toy"));
  CapturedMessages messages;
  EXPECT_EQ(out.GetString(), kTwoRecords);
  EXPECT_EQ(messages.text(), "Warning: Called qvmolostream::GetString without qvmolostream::openstring.\n");
}

// An output stream that has failed, or fails at its first byte.
class FailingOutput : public Pellar::qvostream {
 public:
  explicit FailingOutput(bool failed) {
    eof_ = failed;
    end_ = begin_ + 1;
  }
  bool flush() override {
    drain();
    eof_ = true;
    return false;
  }
};

TEST(OpenOutput, FailedStreamGetsNoWritesAndNoGzipLayer) {
  Replaced toy;
  FailingOutput failed(true);
  qvmolostream out;
  ASSERT_TRUE(out.SetFormat(kToy));
  ASSERT_TRUE(out.openstream(failed));
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("a", 1)), Tamrin::QvWriteStreamFailed);
  ASSERT_TRUE(out.openstring(true));
  CapturedMessages messages;
  EXPECT_FALSE(out.openstream(failed));
  EXPECT_EQ(messages.text(), "Warning: Failed to allocate gzstream\n");
}

// A gzip member that cannot be completed: close reports it by throwing, the
// stream stays usable, and the destructor prints it instead.
TEST(OpenOutput, UnfinishedGzipMember) {
  Replaced toy;
  {
    FailingOutput failing(false);
    qvmolostream out;
    ASSERT_TRUE(out.SetFormat(kToy));
    ASSERT_TRUE(out.openstring(true));
    ASSERT_TRUE(out.openstream(failing));
    EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("a", 1)), Tamrin::QvWriteStreamFailed);
    EXPECT_THROW(out.close(), Pellar::QvIOError);
    ASSERT_TRUE(out.openstring());
    EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("after", 1)), 0);
    EXPECT_EQ(out.GetString(), "after 1\n");
  }
  ScratchDir dir;
  {
    FailingOutput failing(false);
    Redirect redirect(2, dir / "stderr", O_WRONLY | O_CREAT | O_TRUNC);
    qvmolostream out;
    ASSERT_TRUE(out.openstring(true));
    ASSERT_TRUE(out.openstream(failing));
  }
  const std::string printed = ReadFile(dir / "stderr");
  EXPECT_TRUE(printed.starts_with("Caught QvIOError during qvmolostream destruction: ") && printed.ends_with("\n"))
      << printed;
}

}  // namespace
