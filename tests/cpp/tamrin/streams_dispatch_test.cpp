// QvReadMolecule and QvWriteMolecule through the format records (the toy
// format of streams_test_support.h is one record): bad and empty records,
// what the reader and writer are given, the post-read steps, status codes
// and the multi-conformer forms.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "streams_test_support.h"
#include "support/captured_messages.h"
#include "tamrin/streams/conftest.h"

namespace {

using Tamrin::QvFormatInfo;
using Tamrin::qvmolistream;
using Tamrin::qvmolostream;
using namespace streamtest;

struct Read {
  std::string title;
  unsigned atoms;
  bool operator==(const Read&) const = default;
};

void PrintTo(const Read& r, std::ostream* os) { *os << r.title << '/' << r.atoms; }

std::vector<Read> ReadAll(qvmolistream& in) {
  std::vector<Read> reads;
  Tamrin::QvGraphMol mol;
  while (Tamrin::QvReadMolecule(in, mol)) reads.push_back({mol.GetTitle(), mol.NumAtoms()});
  EXPECT_TRUE(in.at_end());
  return reads;
}

std::vector<Read> ReadText(const std::string& text, unsigned flavor = 0x4000) {
  return ReadAll(*Input(kToy, text, flavor));
}

// ---- bad, empty and missing records ----

struct EndCase {
  const char* text;
  std::vector<Read> reads;
  unsigned warnings;
  unsigned flavor = 0x4000;
};

// A failure is a bad record, counted and skipped, unless it is at the very
// end and left no atoms behind. Molecules without atoms are passed over
// unless the flavor has the record's bit.
TEST(ReadMolecule, BadEmptyAndLastRecords) {
  QvFormatInfo record = kToyRecord;
  record.keep_empty_bit = 0x4;
  Replaced toy(record);
  const EndCase cases[] = {
      {"first 1\n!broken 0\nthird 3\n", {{"first", 1}, {"third", 3}}, 1},
      {"a 1\n!tail 2", {{"a", 1}}, 1},
      {"a 1\n!tail", {{"a", 1}}, 1},  // cut short by the end of the data
      {"a 1\n!tail\n", {{"a", 1}}, 1},
      {"!x 1\n!y 1\nz 2", {{"z", 2}}, 2},
      {"a 1\nb 2", {{"a", 1}, {"b", 2}}, 0},
      {"\n\n\n", {}, 0},
      {"a 1\r\nb 1\rc 1\r\r\n", {{"a", 1}, {"b", 1}, {"c", 1}}, 0},
      {"empty 0\nfull 2\nlast 0\n", {{"full", 2}}, 0},
      {"empty 0\nfull 2\nlast 0\n", {{"empty", 0}, {"full", 2}, {"last", 0}}, 0, 0x8004},
  };
  for (const EndCase& c : cases) {
    SCOPED_TRACE(c.text);
    const auto in = Input(kToy, c.text, c.flavor);
    CapturedMessages messages;
    EXPECT_EQ(ReadAll(*in), c.reads);
    EXPECT_EQ(messages.lines().size(), c.warnings) << messages.text();
    EXPECT_EQ(in->GetFailedCount(), c.warnings);
  }
  CapturedMessages messages;
  ReadText("!broken 0\nthird 3\n");
  EXPECT_EQ(messages.text(), "Warning: Error reading molecule \"broken\" in Toy format.\n");
}

bool ReadNothing(qvmolistream&, Tamrin::QvMolBase&, unsigned) { return false; }

// A reader that consumes nothing ends the read; a format whose reader or
// writer is not built yet says so.
TEST(ReadMolecule, ReadersThatConsumeNothingOrAreMissing) {
  QvFormatInfo record = kToyRecord;
  record.read = ReadNothing;
  Replaced nothing(record);
  CapturedMessages messages;
  Tamrin::QvGraphMol mol;
  EXPECT_FALSE(Tamrin::QvReadMolecule(*Input(kToy, "data that no reader takes\n"), mol));
  EXPECT_EQ(messages.text(), "Warning: Error reading molecule \"\" in Toy format.\n");

  record.read = nullptr;
  record.write = nullptr;
  Replaced missing(record);
  messages.clear();
  EXPECT_FALSE(Tamrin::QvReadMolecule(*Input(kToy, "a 1\n"), mol));
  record.conformer_records = true;
  Replaced missing_conformers(record);
  Tamrin::QvMol confs;
  EXPECT_FALSE(Tamrin::QvReadMolecule(*Input(kToy, "a 1\n"), confs));
  qvmolostream out;
  ASSERT_TRUE(out.SetFormat(kToy));
  ASSERT_TRUE(out.openstring());
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("lost", 1)), Tamrin::QvWriteNotWritable);
  EXPECT_EQ(out.GetString(), "");
  EXPECT_EQ(messages.text(),
            "Warning: File format not supported for reading.\n"
            "Warning: Error reading molecule \"\" in Toy format.\n"
            "Warning: File format not supported for reading.\n"
            "Warning: Format Toy was not writable\n");
}

TEST(ReadMolecule, QueuedMoleculesComeFirstAndDelayTheEnd) {
  Replaced toy;
  const auto in = Input(kToy, "read 2\n");
  auto queued = std::make_unique<Tamrin::QvGraphMolImpl>();
  queued->Copy(Carbons("queued", 4).GetMol());
  in->Enqueue(std::move(queued), 7);
  in->Enqueue(nullptr, 8);
  EXPECT_EQ(ReadAll(*in), (std::vector<Read>{{"queued", 4}, {"read", 2}}));
  in->Enqueue(std::make_unique<Tamrin::QvGraphMolImpl>(), 11);
  std::int64_t position = 0;
  ASSERT_NE(in->Dequeue(&position), nullptr);
  EXPECT_EQ(position, 11);
  EXPECT_EQ(in->Dequeue(&position), nullptr);
}

// ---- options and post-read steps ----

std::vector<std::string> steps;

void StepA(Tamrin::QvMolBase&) { steps.push_back("A"); }
void StepB(Tamrin::QvMolBase&) { steps.push_back("B"); }
void AfterRead(qvmolistream&, Tamrin::QvMolBase& mol, unsigned flavor) {
  steps.push_back("after " + std::to_string(flavor));
  EXPECT_FALSE(mol.HasPerceived(Tamrin::QvPerceivedAromaticity));
}

constexpr Tamrin::QvPostReadStep kSteps[] = {{0x2, StepB}, {0x1, StepA}, {0x4, nullptr}};

struct StepsCase {
  unsigned flavor;
  bool keeps_perception;
  std::vector<std::string> steps;
};

class PostRead : public testing::TestWithParam<StepsCase> {};

// The record's steps by flavor bit in table order, then its own function,
// then the generic part of the flavor unless records keep their perception.
TEST_P(PostRead, StepsThenAfterReadThenGenericPart) {
  QvFormatInfo record = kToyRecord;
  record.reader_options = [](unsigned flavor) { return flavor & 0xF0; };
  record.steps = kSteps;
  record.after_read = AfterRead;
  record.keeps_perception = GetParam().keeps_perception;
  Replaced toy(record);
  steps.clear();
  Tamrin::QvGraphMol mol;
  ASSERT_TRUE(Tamrin::QvReadMolecule(*Input(kToy, "m 1\n", GetParam().flavor), mol));
  EXPECT_EQ(steps, GetParam().steps);
  EXPECT_EQ(last_options.load(), GetParam().flavor & 0xF0);
  EXPECT_EQ(mol.HasPerceived(Tamrin::QvPerceivedAromaticity), !GetParam().keeps_perception);
}

INSTANTIATE_TEST_SUITE_P(Flavors, PostRead,
                         testing::Values(StepsCase{0x4037, false, {"B", "A", "after 16439"}},
                                         StepsCase{0x0011, false, {"A", "after 17"}},
                                         StepsCase{0x4006, true, {"B", "after 16390"}}));

// ---- writing ----

int WriteStatus16(qvmolostream& out, const Tamrin::QvMolBase& mol, unsigned options) {
  WriteToy(out, mol, options);
  return 16;
}

TEST(WriteMolecule, StatusesAndOptions) {
  QvFormatInfo record = kToyRecord;
  record.writer_options = [](unsigned flavor) { return flavor & 0xF; };
  record.max_atoms = 2;
  Replaced toy(record);
  qvmolostream out;
  ASSERT_TRUE(out.SetFormat(kToy));
  ASSERT_TRUE(out.SetFlavor(kToy, 0x40F3));
  ASSERT_TRUE(out.openstring());
  CapturedMessages messages;
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("limit", 2)), Tamrin::QvWriteOk);
  EXPECT_EQ(last_options.load(), 0x3u);
  EXPECT_TRUE(messages.lines().empty());
  // Over the record's atom limit: written, then flagged.
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("big", 3)), Tamrin::QvWriteTooManyAtoms);
  EXPECT_EQ(messages.text(), "Warning: Molecule \"big\" has too many atoms (3) for Toy format.\n");
  EXPECT_EQ(out.GetString(), "limit 2\nbig 3\n");

  record.write = WriteStatus16;
  Replaced status16(record);
  ASSERT_TRUE(out.openstring());
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("changed", 1)), Tamrin::QvWriteDataChanged);
  EXPECT_EQ(out.GetString(), "changed 1\n");
}

// ---- multi-conformer molecules ----

// Records with the same title are conformers of one molecule.
class SameTitle : public Tamrin::QvConfTestBase {
 public:
  bool IsConformer(const Tamrin::QvMolBase& first, const Tamrin::QvMolBase& next) const override {
    return std::string(first.GetTitle()) == next.GetTitle();
  }
};

// Title and conformer count of each multi-conformer molecule read.
std::vector<Read> ReadConformers(const std::string& text, bool same_title, bool combines = true) {
  QvFormatInfo record = kToyRecord;
  record.combines_conformers = combines;
  Replaced toy(record);
  const auto in = Input(kToy, text);
  if (same_title) in->SetConfTest(std::make_unique<SameTitle>());
  EXPECT_EQ(in->CombinesConformers(), same_title);
  std::vector<Read> reads;
  Tamrin::QvMol mol;
  while (Tamrin::QvReadMolecule(*in, mol)) {
    reads.push_back({mol.GetTitle(), mol.NumConfs()});
    mol.Clear();
  }
  EXPECT_TRUE(in->at_end());
  return reads;
}

TEST(ReadConformers, ConsecutiveRecordsCombineUnderAConformerTest) {
  const std::string text = "a 2\na 2\na 2\nb 3\nc 1\nc 1\n";
  EXPECT_EQ(ReadConformers(text, true), (std::vector<Read>{{"a", 3}, {"b", 1}, {"c", 2}}));
  EXPECT_EQ(ReadConformers(text, false), (std::vector<Read>{{"a", 1}, {"a", 1}, {"a", 1}, {"b", 1}, {"c", 1}, {"c", 1}}));
  // Only formats whose records may be conformers combine.
  EXPECT_EQ(ReadConformers("a 2\na 2\n", true, false), (std::vector<Read>{{"a", 1}, {"a", 1}}));
  // Accepted by the test but with other atoms: read on its own next.
  CapturedMessages messages;
  EXPECT_EQ(ReadConformers("a 2\na 5\n", true), (std::vector<Read>{{"a", 1}, {"a", 1}}));
  EXPECT_EQ(messages.text(), "Warning: Unequal number of atoms when copying conformer coordinates: 5 != 2\n");
}

TEST(ReadConformers, MoleculeWithAConformerAlreadyDrawsAWarning) {
  Replaced toy;
  Tamrin::QvMol mol;
  mol.NewAtom(8);
  ASSERT_NE(mol.NewConf(), nullptr);
  CapturedMessages messages;
  ASSERT_TRUE(Tamrin::QvReadMolecule(*Input(kToy, "a 2\n"), mol));
  EXPECT_EQ(mol.NumConfs(), 1u);
  EXPECT_EQ(mol.NumAtoms(), 2u);
  EXPECT_EQ(messages.text(), "Warning: Unexpected conformer already in molecule at check cache\n");
}

unsigned mc_flavor = 0;

bool ReadTwoConformers(qvmolistream& in, Tamrin::QvMCMolBase& mol, unsigned flavor) {
  mc_flavor = flavor;
  std::string line;
  if (!in.GetLine(line)) return false;
  mol.SetTitle(line);
  mol.NewAtom(6);
  mol.NewConf();
  mol.NewConf();
  return true;
}

int WriteConformerCount(qvmolostream& out, const Tamrin::QvMCMolBase& mol, unsigned flavor) {
  mc_flavor = flavor;
  out.GetStream() << "confs " << mol.NumConfs() << '\n';
  return 0;
}

TEST(Conformers, RecordsOfConformersUseTheirOwnReaderAndWriter) {
  QvFormatInfo record = kToyRecord;
  record.conformer_records = true;
  record.read_conformers = ReadTwoConformers;
  record.write_conformers = WriteConformerCount;
  Replaced toy(record);
  Tamrin::QvMol mol;
  ASSERT_TRUE(Tamrin::QvReadMolecule(*Input(kToy, "record\n", 0x8000), mol));
  EXPECT_EQ(mol.NumConfs(), 2u);
  EXPECT_EQ(std::string(mol.GetTitle()), "record");
  EXPECT_EQ(mc_flavor, 0x8000u);

  qvmolostream out;
  ASSERT_TRUE(out.SetFormat(kToy));
  ASSERT_TRUE(out.SetFlavor(kToy, 0x4397));
  ASSERT_TRUE(out.openstring());
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, mol), 0);
  EXPECT_EQ(out.GetString(), "confs 2\n");
  EXPECT_EQ(mc_flavor, 0x4397u);
}

TEST(Conformers, OtherFormatsWriteOneRecordPerConformerUntilOneFails) {
  QvFormatInfo record = kToyRecord;
  Replaced toy(record);
  qvmolostream out;
  ASSERT_TRUE(out.SetFormat(kToy));
  ASSERT_TRUE(out.openstring());
  Tamrin::QvMol mol;
  mol.SetTitle("pair");
  mol.NewAtom(6), mol.NewAtom(7), mol.NewConf(), mol.NewConf();
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, mol), 0);
  EXPECT_EQ(Tamrin::QvWriteConstMolecule(out, std::as_const(mol)), 0);
  EXPECT_EQ(out.GetString(), "pair 2\npair 2\npair 2\npair 2\n");

  record.write = WriteStatus16;
  Replaced failing(record);
  ASSERT_TRUE(out.openstring());
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, mol), Tamrin::QvWriteDataChanged);
  EXPECT_EQ(out.GetString(), "pair 2\n");

  Tamrin::QvMol none;
  CapturedMessages messages;
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, none), Tamrin::QvWriteNoConformers);
  EXPECT_EQ(Tamrin::QvWriteConstMolecule(out, std::as_const(none)), Tamrin::QvWriteNoConformers);
  EXPECT_EQ(messages.text(),
            "Warning: QvWriteMolecule() : unable to write QvMCMolBase without any conformers!\n"
            "Warning: QvWriteConstMolecule() : unable to write QvMCMolBase without any conformers!\n");
}

// ---- the binary formats' per-stream state ----

int made = 0;

std::unique_ptr<Tamrin::QvMolStreamBinaryState> MakeState() {
  ++made;
  return std::make_unique<Tamrin::QvMolStreamBinaryState>();
}

// Made on first use, anew in another thread and on switching to the format.
TEST(BinaryState, MadeOncePerThreadAndFormatSwitch) {
  QvFormatInfo record = kToyRecord;
  record.binary_state = MakeState;
  Replaced toy(record);
  made = 0;
  qvmolostream out;
  EXPECT_EQ(out.BinaryState(), nullptr);
  ASSERT_TRUE(out.SetFormat(kToy));
  Tamrin::QvMolStreamBinaryState* const state = out.BinaryState();
  EXPECT_NE(state, nullptr);
  EXPECT_EQ(out.BinaryState(), state);
  std::thread([&] { EXPECT_NE(out.BinaryState(), nullptr); }).join();
  out.BinaryState();
  ASSERT_TRUE(out.SetFormat(kToy));
  out.BinaryState();
  EXPECT_EQ(made, 3);
  ASSERT_TRUE(out.SetFormat(QvFormat::SMI));
  ASSERT_TRUE(out.SetFormat(kToy));
  out.BinaryState();
  EXPECT_EQ(made, 4);
}

}  // namespace
