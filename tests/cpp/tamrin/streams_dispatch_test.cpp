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

// ---- bad, empty and missing records ----

struct EndCase {
  const char* text;
  std::vector<Read> reads;
  unsigned warnings;
  unsigned flavor = 0x4000;
};

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

// ---- multi-conformer molecules ----

// Records with the same title are conformers of one molecule.
class SameTitle : public Tamrin::QvConfTestBase {
 public:
  bool IsConformer(const Tamrin::QvMolBase& first, const Tamrin::QvMolBase& next) const override {
    return std::string(first.GetTitle()) == next.GetTitle();
  }
};

// ---- the binary formats' per-stream state ----

}  // namespace
