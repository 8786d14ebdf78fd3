// QvReadMolecule and QvWriteMolecule through the format records (the toy
// format of streams_test_support.h is one record): bad and empty records,
// what the reader and writer are given, the post-read steps, status codes
// and the multi-conformer forms.
#include <gtest/gtest.h>

#include <string>
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

// ---- bad, empty and missing records ----

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

}  // namespace
