// Opening molecule streams: files by name with gzip by suffix, the standard
// streams, memory, callers' streams; closing, and every message on the way.
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

using Tamrin::QvFormat;
using Tamrin::qvmolistream;
using Tamrin::qvmolostream;
using namespace streamtest;

std::vector<std::string> Titles(qvmolistream& in) {
  std::vector<std::string> titles;
  Tamrin::QvGraphMol mol;
  while (Tamrin::QvReadMolecule(in, mol)) titles.emplace_back(mol.GetTitle());
  return titles;
}

const std::string kTwoRecords = "first 1\nsecond 2\n";

// ---- input files by name ----

struct OpenCase {
  const char* file;
  bool compressed;  // what the file holds
  QvFormat format;  // what the stream should choose
  bool gzip;        // whether it should read through gzip
};

void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.file; }

class OpenInputByName : public testing::TestWithParam<OpenCase> {};

TEST_P(OpenInputByName, ChoosesFormatAndGzipAndReads) {
  const OpenCase& c = GetParam();
  ScratchDir dir;
  const std::string path = dir / c.file;
  WriteFile(path, c.compressed ? Gzip(kTwoRecords) : kTwoRecords);
  Registered format(c.format);
  qvmolistream in;
  CapturedMessages messages;
  ASSERT_TRUE(in.open(path));
  EXPECT_EQ(in.GetFormat(), c.format);
  EXPECT_EQ(in.GetGzip(), c.gzip);
  EXPECT_EQ(in.GetName(), "");
  EXPECT_EQ(Titles(in), (std::vector<std::string>{"first", "second"}));
  EXPECT_TRUE(in.at_end());
  EXPECT_TRUE(messages.lines().empty()) << messages.text();
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenInputByName,
    testing::Values(OpenCase{"mol.sdf", false, QvFormat::SDF, false},
                    OpenCase{"mol.SDF.GZ", true, QvFormat::SDF, true},
                    OpenCase{"x.pdb12", false, QvFormat::PDB, false}, OpenCase{"x.Mol2.gz", true, QvFormat::MOL2, true},
                    OpenCase{"dir.d.xyz", false, QvFormat::XYZ, false},
                    // A file named as compressed that is not is read as it is.
                    OpenCase{"plain.csv.gz", false, QvFormat::CSV, true}));

TEST(OpenInput, UnknownExtensionKeepsTheFormatWithAWarning) {
  ScratchDir dir;
  qvmolistream in;
  ASSERT_TRUE(in.SetFormat(QvFormat::MOL2));
  for (const char* name : {"mol.gz", "x.pdbx"}) {
    WriteFile(dir / name, "");
    CapturedMessages messages;
    EXPECT_TRUE(in.open(dir / name)) << name;
    EXPECT_EQ(in.GetFormat(), QvFormat::MOL2);
    EXPECT_EQ(messages.text(),
              "Warning: Unable to set unknown read format (UNDEFINED) in input stream, using existing format "
              "(Tripos MOL2)\n");
  }
}

TEST(OpenInput, MissingFileFailsAndReadsNothing) {
  ScratchDir dir;
  const std::string path = dir / "missing.sdf";
  Registered format(QvFormat::SDF);
  qvmolistream in;
  CapturedMessages messages;
  EXPECT_FALSE(in.open(path));
  EXPECT_EQ(messages.text(), "Warning: Unable to open \"" + path + "\" for reading molecules.\n");
  EXPECT_TRUE(in.at_end());
  messages.clear();
  Tamrin::QvGraphMol mol;
  EXPECT_FALSE(Tamrin::QvReadMolecule(in, mol));
  EXPECT_TRUE(messages.lines().empty()) << messages.text();
}

// An empty file, compressed by name or not, opens and simply has no molecules.
TEST(OpenInput, EmptyFilesOpenAndYieldNothing) {
  ScratchDir dir;
  Registered format(QvFormat::SDF);
  for (const char* name : {"empty.sdf", "empty.sdf.gz"}) {
    WriteFile(dir / name, "");
    qvmolistream in;
    CapturedMessages messages;
    ASSERT_TRUE(in.open(dir / name)) << name;
    Tamrin::QvGraphMol mol;
    EXPECT_FALSE(Tamrin::QvReadMolecule(in, mol)) << name;
    EXPECT_TRUE(in.at_end());
    EXPECT_TRUE(messages.lines().empty()) << name << ": " << messages.text();
  }
}

// Opening again drops the old input, its queue, name and cache, and whatever
// gzip layer the old name asked for.
TEST(OpenInput, ReopeningStartsAfresh) {
  ScratchDir dir;
  WriteFile(dir / "a.sdf.gz", Gzip("a1 1\na2 1\n"));
  WriteFile(dir / "b.sdf", "b1 1\n");
  Registered format(QvFormat::SDF);
  qvmolistream in;
  ASSERT_TRUE(in.open(dir / "a.sdf.gz"));
  in.SetName("a");
  in.Cache().columns = {"SMILES"};
  in.PushBackLine("pushed 1");
  in.Enqueue(std::make_unique<Tamrin::QvGraphMolImpl>(), 0);
  ASSERT_TRUE(in.open(dir / "b.sdf"));
  EXPECT_FALSE(in.GetGzip());
  EXPECT_EQ(in.GetName(), "");
  EXPECT_TRUE(in.Cache().columns.empty());
  EXPECT_FALSE(in.HasQueued());
  EXPECT_EQ(Titles(in), std::vector<std::string>{"b1"});
}

// ---- standard input ----

TEST(OpenInput, StandardNamesSelectStandardInput) {
  struct Case {
    const char* name;
    QvFormat format;
    bool gzip;
  };
  for (const Case& c : {Case{"-", QvFormat::SMI, false}, Case{nullptr, QvFormat::SMI, false},
                        Case{".sdf", QvFormat::SDF, false}, Case{".sdf.gz", QvFormat::SDF, true},
                        Case{".MOL2", QvFormat::MOL2, false}}) {
    qvmolistream in;
    ASSERT_TRUE(in.SetFormat(QvFormat::XYZ));
    ASSERT_TRUE(in.open(c.name));
    EXPECT_EQ(in.GetFormat(), c.format) << (c.name ? c.name : "null");
    EXPECT_EQ(in.GetGzip(), c.gzip);
    EXPECT_EQ(&in.GetStream() == &Pellar::qvin(), !c.gzip);
  }
}

// The only test that reads the process's standard input: compressed SDF
// records through ".sdf.gz"; closing afterwards leaves descriptor 0 open.
TEST(OpenInput, BareCompressedExtensionReadsGzipFromStandardInput) {
  ScratchDir dir;
  WriteFile(dir / "stdin.gz", Gzip(kTwoRecords));
  Registered format(QvFormat::SDF);
  std::vector<std::string> titles;
  bool stdin_open = false;
  {
    Redirect redirect(0, dir / "stdin.gz", O_RDONLY);
    // Standard input is one stream for the whole process: start it over on
    // the file, in case an earlier run of this test read it to its end.
    ASSERT_TRUE(Pellar::qvin().seek(0));
    qvmolistream in;
    ASSERT_TRUE(in.open(".sdf.gz"));
    titles = Titles(in);
    in.close();
    EXPECT_NE(&in.GetStream(), &Pellar::qvin());
    EXPECT_TRUE(in.at_end());
    stdin_open = fcntl(0, F_GETFD) != -1;
  }
  EXPECT_EQ(titles, (std::vector<std::string>{"first", "second"}));
  EXPECT_TRUE(stdin_open);
}

// ---- memory ----

TEST(OpenString, ReadsACopyWithFormatAndFlavorsUntouched) {
  Registered format(QvFormat::CSV);
  qvmolistream in;
  ASSERT_TRUE(in.SetFormat(QvFormat::CSV));
  ASSERT_TRUE(in.SetFlavor(QvFormat::CSV, 0x8000));
  std::string text = kTwoRecords;
  ASSERT_TRUE(in.openstring(text));
  text.assign(text.size(), 'x');  // the stream holds its own copy
  EXPECT_EQ(in.GetFormat(), QvFormat::CSV);
  EXPECT_EQ(in.GetFlavor(QvFormat::CSV), 0x8000u);
  EXPECT_EQ(Titles(in), (std::vector<std::string>{"first", "second"}));
}

TEST(OpenString, NoBytesFailsSilentlyAndHidesOlderInput) {
  Registered format(QvFormat::SMI);
  qvmolistream in;
  ASSERT_TRUE(in.openstring("old 1\n"));
  CapturedMessages messages;
  EXPECT_FALSE(in.openstring("", 0));
  EXPECT_TRUE(messages.lines().empty());
  EXPECT_TRUE(in.at_end());
  EXPECT_TRUE(Titles(in).empty());
}

TEST(OpenString, NullDataWithALengthFails) {
  qvmolistream in;
  CapturedMessages messages;
  EXPECT_FALSE(in.openstring(nullptr, 5));
  EXPECT_EQ(messages.text(), "Warning: Unable to open qvmolistream string from buffer\n");
  EXPECT_TRUE(in.at_end());
}

// Compressed and plain bytes both read once the gzip switch is on, and the
// switch can be thrown on a stream already opened.
TEST(OpenString, GzipSwitch) {
  Registered format(QvFormat::SMI);
  qvmolistream in;
  ASSERT_TRUE(in.SetGzip(true));
  ASSERT_TRUE(in.openstring(Gzip(kTwoRecords)));
  EXPECT_EQ(Titles(in), (std::vector<std::string>{"first", "second"}));
  ASSERT_TRUE(in.openstring(kTwoRecords));
  EXPECT_EQ(Titles(in), (std::vector<std::string>{"first", "second"}));

  ASSERT_TRUE(in.SetGzip(false));
  ASSERT_TRUE(in.openstring(Gzip("late 1\n")));
  ASSERT_TRUE(in.SetGzip(true));
  EXPECT_TRUE(in.GetGzip());
  EXPECT_EQ(Titles(in), std::vector<std::string>{"late"});
}

TEST(OpenString, CallersStream) {
  Registered format(QvFormat::SMI);
  Pellar::qvisstream bytes(kTwoRecords.data(), kTwoRecords.size());
  qvmolistream in;
  ASSERT_TRUE(in.openstream(bytes));
  EXPECT_EQ(&in.GetStream(), &bytes);
  EXPECT_EQ(Titles(in), (std::vector<std::string>{"first", "second"}));
  in.close();
  EXPECT_NE(&in.GetStream(), &bytes);
}

TEST(OpenString, PushedBackLineComesFirstAndDelaysTheEnd) {
  qvmolistream in;
  ASSERT_TRUE(in.openstring("one\n"));
  std::string line;
  ASSERT_TRUE(in.GetLine(line));
  EXPECT_EQ(line, "one");
  // The end is known once a read has run into it.
  EXPECT_FALSE(in.GetLine(line));
  EXPECT_TRUE(in.at_end());
  in.PushBackLine("one");
  EXPECT_FALSE(in.at_end());
  ASSERT_TRUE(in.GetLine(line));
  EXPECT_EQ(line, "one");
  EXPECT_TRUE(in.at_end());
  EXPECT_FALSE(in.GetLine(line));
}

// ---- output ----

TEST(OpenOutput, FilesByNameGzipBySuffix) {
  ScratchDir dir;
  Registered sdf(QvFormat::SDF);
  Registered mol2(QvFormat::MOL2);
  qvmolostream out;
  ASSERT_TRUE(out.open(dir / "out.SDF.gz"));
  EXPECT_EQ(out.GetFormat(), QvFormat::SDF);
  EXPECT_TRUE(out.GetGzip());
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("a", 1)), 0);
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("b", 2)), 0);
  // Opening the next file finishes the gzip member of the first.
  ASSERT_TRUE(out.open(dir / "out.mol2"));
  EXPECT_FALSE(out.GetGzip());
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("c", 3)), 0);
  out.close();
  EXPECT_EQ(Gunzip(ReadFile(dir / "out.SDF.gz")), "a 1\nb 2\n");
  EXPECT_EQ(ReadFile(dir / "out.mol2"), "c 3\n");
}

TEST(OpenOutput, ExistingFileIsTruncated) {
  ScratchDir dir;
  WriteFile(dir / "x.smi", "a long line that must disappear\n");
  Registered format(QvFormat::SMI);
  {
    qvmolostream out;
    ASSERT_TRUE(out.open(dir / "x.smi"));
    EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("new", 1)), 0);
  }
  EXPECT_EQ(ReadFile(dir / "x.smi"), "new 1\n");
}

TEST(OpenOutput, UnwritablePathFailsAndTheStreamRefusesToWrite) {
  ScratchDir dir;
  const std::string path = dir / "no/such/dir.sdf";
  Registered format(QvFormat::SDF);
  qvmolostream out;
  CapturedMessages messages;
  EXPECT_FALSE(out.open(path));
  EXPECT_EQ(messages.text(), "Warning: Unable to open \"" + path + "\" for writing molecules.\n");
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("a", 1)), Tamrin::QvWriteStreamFailed);
}

TEST(OpenOutput, StandardOutputPlainAndCompressed) {
  ScratchDir dir;
  Registered smi(QvFormat::SMI);
  Registered xyz(QvFormat::XYZ);
  std::fflush(stdout);
  {
    Redirect redirect(1, dir / "plain", O_WRONLY | O_CREAT | O_TRUNC);
    qvmolostream out;
    ASSERT_TRUE(out.SetFormat(QvFormat::XYZ));
    ASSERT_TRUE(out.open("-"));
    EXPECT_EQ(out.GetFormat(), QvFormat::SMI);
    EXPECT_EQ(&out.GetStream(), &Pellar::qvout());
    EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("std", 2)), 0);
    out.close();
  }
  {
    Redirect redirect(1, dir / "packed", O_WRONLY | O_CREAT | O_TRUNC);
    qvmolostream out;
    ASSERT_TRUE(out.open(".xyz.gz"));
    EXPECT_EQ(out.GetFormat(), QvFormat::XYZ);
    EXPECT_TRUE(out.GetGzip());
    EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("gz", 3)), 0);
    out.close();
  }
  EXPECT_EQ(ReadFile(dir / "plain"), "std 2\n");
  EXPECT_EQ(Gunzip(ReadFile(dir / "packed")), "gz 3\n");
}

TEST(OpenOutput, StringRoundTripsPlainAndThroughGzip) {
  Registered format(QvFormat::SDF);
  qvmolostream out;
  ASSERT_TRUE(out.SetFormat(QvFormat::SDF));
  for (const bool gzip : {false, true, false}) {
    ASSERT_TRUE(out.openstring(gzip));
    EXPECT_EQ(out.GetGzip(), gzip);
    EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("first", 1)), 0);
    EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("second", 2)), 0);
    const std::string bytes = out.GetString();
    EXPECT_EQ(gzip ? Gunzip(bytes) : bytes, kTwoRecords);
    // Asking again gives the same finished bytes.
    EXPECT_EQ(out.GetString(), bytes);

    qvmolistream in;
    ASSERT_TRUE(in.SetFormat(QvFormat::SDF));
    ASSERT_TRUE(in.SetGzip(gzip));
    ASSERT_TRUE(in.openstring(bytes));
    EXPECT_EQ(Titles(in), (std::vector<std::string>{"first", "second"}));
  }
}

TEST(OpenOutput, GetStringWithoutOpenstringWarnsButAnswers) {
  ScratchDir dir;
  Registered format(QvFormat::SMI);
  qvmolostream out;
  ASSERT_TRUE(out.openstring());
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("kept", 1)), 0);
  ASSERT_TRUE(out.open(dir / "file.smi"));
  CapturedMessages messages;
  EXPECT_EQ(out.GetString(), "kept 1\n");
  EXPECT_EQ(messages.text(), "Warning: Called qvmolostream::GetString without qvmolostream::openstring.\n");
}

TEST(OpenOutput, OpeningClearsNameAndCache) {
  qvmolostream out;
  out.SetName("x");
  out.Cache().columns = {"SMILES", "TITLE"};
  ASSERT_TRUE(out.openstring());
  EXPECT_EQ(out.GetName(), "");
  EXPECT_TRUE(out.Cache().columns.empty());
  out.Cache().columns = {"SMILES"};
  out.close();
  EXPECT_TRUE(out.Cache().columns.empty());
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

TEST(OpenOutput, FailedStreamWritesNothing) {
  FailingOutput failed(true);
  Registered format(QvFormat::SMI);
  qvmolostream out;
  ASSERT_TRUE(out.openstream(failed));
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("a", 1)), Tamrin::QvWriteStreamFailed);
}

TEST(OpenOutput, NoGzipLayerOnAFailedStream) {
  FailingOutput failed(true);
  qvmolostream out;
  ASSERT_TRUE(out.openstring(true));
  CapturedMessages messages;
  EXPECT_FALSE(out.openstream(failed));
  EXPECT_EQ(messages.text(), "Warning: Failed to allocate gzstream\n");
}

// A gzip member that cannot be completed: close reports it by throwing, the
// stream stays usable, and the destructor prints it instead.
TEST(OpenOutput, UnfinishedGzipMember) {
  Registered format(QvFormat::SMI);
  {
    FailingOutput failing(false);
    qvmolostream out;
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
  EXPECT_TRUE(printed.starts_with("Caught QvIOError during qvmolostream destruction: ")) << printed;
  EXPECT_TRUE(printed.ends_with("\n")) << printed;
}

}  // namespace
