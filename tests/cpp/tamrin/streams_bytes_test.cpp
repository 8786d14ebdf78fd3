// Molecules to and from bytes through the per-thread streams, and the record
// tokenizers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format_test_support.h"
#include "streams_test_support.h"
#include "support/captured_messages.h"
#include "tamrin/formats/mdl/sdftokenizer.h"
#include "tamrin/streams/stringio.h"

namespace {

using namespace streamtest;
using Strings = std::vector<std::string>;

// ---- bytes ----

// Refused formats and flavors, nothing to read, and a write that fails all
// give nothing, and leave this thread's streams good for the next call.
TEST(Bytes, RefusalsGiveNothing) {
  Tamrin::QvFormatInfo record = kToyRecord;
  record.max_atoms = 1;
  Replaced toy(record);
  CapturedMessages messages;
  Tamrin::QvGraphMol mol = Carbons("stale", 2);
  EXPECT_FALSE(Tamrin::QvReadMoleculeFromBytes(mol, QvFormat::MF, 0x4000, false, "x 1\n"));
  EXPECT_EQ(mol.NumAtoms(), 0u);
  EXPECT_FALSE(Tamrin::QvReadMoleculeFromBytes(mol, QvFormat::SDF, 0x4010, false, "x 1\n"));
  EXPECT_FALSE(Tamrin::QvReadMoleculeFromBytes(mol, kToy, 0x4000, false, ""));
  EXPECT_FALSE(Tamrin::QvReadMoleculeFromBytes(mol, kToy, 0x4000, false, "empty 0\n"));
  std::string bytes = "old";
  EXPECT_FALSE(Tamrin::QvWriteMoleculeToBytes(QvFormat::RDF, 0x4017, false, Carbons("a", 1), bytes));
  EXPECT_EQ(bytes, "");
  EXPECT_EQ(Tamrin::QvWriteMoleculeToBytes(QvFormat::SDF, 0x4000, false, Carbons("a", 1)), "");
  EXPECT_EQ(Tamrin::QvWriteMoleculeToBytes(kToy, 0x4000, true, Carbons("big", 2)), "");
  EXPECT_EQ(messages.lines().size(), 5u) << messages.text();
  EXPECT_EQ(Tamrin::QvWriteMoleculeToBytes(kToy, 0x4000, false, Carbons("b", 1)), "b 1\n");
}

// ---- tokenizers ----

TEST(Tokenizers, LinePerRecordWithLineEndsNormalised) {
  Tamrin::QvLineTokenizer lines;
  EXPECT_EQ(formattest::Records(&lines, "C a\r\nCC b\rCCC c"), (Strings{"C a\n", "CC b\n", "CCC c\n"}));
  EXPECT_EQ(formattest::Records(&lines, ""), Strings{});
}

struct SDFCase {
  const char* text;
  Strings records;
};

class SDFTokenizer : public testing::TestWithParam<SDFCase> {};

TEST_P(SDFTokenizer, CutsRecords) {
  Tamrin::QvSDFTokenizer sdf;
  EXPECT_EQ(formattest::Records(&sdf, GetParam().text), GetParam().records);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SDFTokenizer,
    testing::Values(
        // Data items belong to their record up to "$$$$".
        SDFCase{"a\nM  END\n> <x>\n1\n\n$$$$\nb\nM  END\n$$$$\n",
                {"a\nM  END\n> <x>\n1\n\n$$$$\n", "b\nM  END\n$$$$\n"}},
        // Molfiles without data or separator end at "M  END".
        SDFCase{"a\nM  END\nb\nM  END\n", {"a\nM  END\n", "b\nM  END\n"}},
        SDFCase{"a\r\nM  END", {"a\nM  END\n"}},
        // A record cut short is handed out as far as it goes.
        SDFCase{"a\nb\n", {"a\nb\n"}}, SDFCase{"", {}},
        SDFCase{"x\nM  ENDING\n$$$$ trailing\n", {"x\nM  ENDING\n$$$$ trailing\n"}}));

unsigned tokenizer_flavor = 0;
std::unique_ptr<Tamrin::QvMolTokenizer> FlavorTokenizer(unsigned iflavor) {
  tokenizer_flavor = iflavor;
  return std::make_unique<Tamrin::QvLineTokenizer>();
}

TEST(Tokenizers, TheRecordsWithTheStreamFlavor) {
  EXPECT_NE(dynamic_cast<Tamrin::QvLineTokenizer*>(Tamrin::QvCreateTokenizer(QvFormat::CXSMILES, 0).get()), nullptr);
  EXPECT_NE(dynamic_cast<Tamrin::QvSDFTokenizer*>(Tamrin::QvCreateTokenizer(QvFormat::SDF, 0).get()), nullptr);
  Tamrin::QvFormatInfo record = kToyRecord;
  record.tokenizer = FlavorTokenizer;
  Replaced toy(record);
  Tamrin::qvmolistream in;
  ASSERT_TRUE(in.SetFormat(kToy));
  ASSERT_TRUE(in.SetFlavor(kToy, 0x0023));
  EXPECT_NE(Tamrin::QvCreateTokenizer(in), nullptr);
  EXPECT_EQ(tokenizer_flavor, 0x0023u);
}

TEST(Tokenizers, FormatsWithoutOne) {
  Tamrin::QvFormatInfo record = kToyRecord;
  record.tokenizer = nullptr;
  Replaced toy(record);
  for (const QvFormat f : {QvFormat::MF, kToy}) {
    CapturedMessages messages;
    EXPECT_EQ(Tamrin::QvCreateTokenizer(f, 0), nullptr);
    EXPECT_EQ(messages.text(),
              "Warning: Format (" + std::to_string(Tamrin::QvFormatCode(f)) + ") does not have a valid tokenizer\n");
  }
  CapturedMessages messages;
  EXPECT_EQ(Tamrin::QvCreateTokenizer(QvFormat::UNDEFINED, 0), nullptr);
  EXPECT_EQ(Tamrin::QvCreateTokenizer(QvFormat::MAXFORMAT, 0), nullptr);
  EXPECT_TRUE(messages.lines().empty());
}

}  // namespace
