// The XYZ record reader on its own, record by record, without the stream's
// skipping of bad records.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "xyz_test_support.h"

namespace {

using namespace std::string_literals;
using Tamrin::QvGraphMol;
using Tamrin::qvmolistream;
using xyztest::Atom;
using xyztest::AtomsOf;
using xyztest::OpenXYZ;

bool ReadRecord(const std::string& text, QvGraphMol& mol) {
  qvmolistream in;
  OpenXYZ(in, text);
  return Tamrin::QvXYZReadFxn(in, mol);
}

void ExpectAtoms(const std::vector<Atom>& got, const std::vector<Atom>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(got[i].z, want[i].z);
    EXPECT_EQ(got[i].name, want[i].name);
    EXPECT_EQ(got[i].x, want[i].x);
    EXPECT_EQ(got[i].y, want[i].y);
    EXPECT_EQ(got[i].zc, want[i].zc);
    EXPECT_EQ(got[i].charge, want[i].charge);
  }
}

// ---- records that read ----

struct GoodRecord {
  const char* label;
  std::string text;
  std::string title;
  std::vector<Atom> atoms;
};

class XYZGoodRecord : public ::testing::TestWithParam<GoodRecord> {};

TEST_P(XYZGoodRecord, Reads) {
  QvGraphMol mol;
  ASSERT_TRUE(ReadRecord(GetParam().text, mol));
  EXPECT_STREQ(mol.GetTitle(), GetParam().title.c_str());
  EXPECT_EQ(mol.GetDimension(), 3u);
  ExpectAtoms(AtomsOf(mol), GetParam().atoms);
}

INSTANTIATE_TEST_SUITE_P(
    Records, XYZGoodRecord,
    ::testing::Values(
        GoodRecord{"Plain", "2\nwater half\nO 0.0 0.0 0.117\nH 0 0.757 -0.467\n", "water half",
                   {{8, "", 0, 0, 0.117f}, {1, "", 0, 0.757f, -0.467f}}},
        GoodRecord{"CountWithBlanksAndPlus", " \t+1 \t\nt\nC 1 2 3\n", "t", {{6, "", 1, 2, 3}}},
        GoodRecord{"TitleTrimmed", "1\n \t  my  mol \t \nC 1 2 3\n", "my  mol", {{6, "", 1, 2, 3}}},
        GoodRecord{"EmptyMoleculeBlankTitle", "0\n   \n", "", {}},
        GoodRecord{"EmptyMoleculeNoNewline", "0\nnothing", "nothing", {}},
        GoodRecord{"LowerCaseSymbol", "1\n\ncl 0 0 0\n", "", {{17, "", 0, 0, 0}}},
        GoodRecord{"UpperCaseSymbol", "1\n\nCL 0 0 0\n", "", {{17, "", 0, 0, 0}}},
        GoodRecord{"AtomicNumber", "1\n\n17 0 0 0\n", "", {{17, "", 0, 0, 0}}},
        GoodRecord{"AtomicNumberLeadingZero", "1\n\n006 0 0 0\n", "", {{6, "", 0, 0, 0}}},
        GoodRecord{"AtomicNumberBeyondTable", "1\n\n200 0 0 0\n", "", {{200, "", 0, 0, 0}}},
        GoodRecord{"Placeholder", "1\n\nUnq 0 0 0\n", "", {{104, "", 0, 0, 0}}},
        GoodRecord{"UnknownElementNamed", "1\n\nXx 1 2 3\n", "", {{0, "Xx", 1, 2, 3}}},
        GoodRecord{"ZeroIsNamed", "1\n\n0 1 2 3\n", "", {{0, "0", 1, 2, 3}}},
        GoodRecord{"DigitThenLetterIsNamed", "1\n\n6a 1 2 3\n", "", {{0, "6a", 1, 2, 3}}},
        GoodRecord{"NumberPast32BitsIsNamed", "1\n\n4294967296 0 0 0\n", "", {{0, "4294967296", 0, 0, 0}}},
        GoodRecord{"LabelWithIndexIsNamed", "1\n\nC1 0 0 0\n", "", {{0, "C1", 0, 0, 0}}},
        GoodRecord{"TabsAndRuns", "1\n\n\tN\t\t1.5  \t-2.5\t3e1\t\n", "", {{7, "", 1.5f, -2.5f, 30.0f}}},
        GoodRecord{"Charge", "1\n\nO 0 0 0 -0.25\n", "", {{8, "", 0, 0, 0, -0.25}}},
        GoodRecord{"ChargeNotANumberIgnored", "1\n\nO 0 0 0 minus\n", "", {{8, "", 0, 0, 0, 0.0}}},
        GoodRecord{"FieldsAfterChargeIgnored", "1\n\nO 0 0 0 0.5 junk 7\n", "", {{8, "", 0, 0, 0, 0.5}}},
        GoodRecord{"CrLfLines", "1\r\nt\r\nC 1 2 3\r\n", "t", {{6, "", 1, 2, 3}}},
        GoodRecord{"CrOnlyLines", "1\rt\rC 1 2 3\r", "t", {{6, "", 1, 2, 3}}},
        GoodRecord{"ControlBytesDropped", "1\nt\x01i\x7f" "tle\nC 1 2\0 3\n"s, "ti\x7f" "tle",
                   {{6, "", 1, 2, 3}}},
        GoodRecord{"LastLineWithoutNewline", "1\n\nC 1 2 3", "", {{6, "", 1, 2, 3}}}),
    [](const auto& p) { return std::string(p.param.label); });

// ---- records that fail ----

struct BadRecord {
  const char* label;
  std::string text;
};

class XYZBadRecord : public ::testing::TestWithParam<BadRecord> {};

TEST_P(XYZBadRecord, Fails) {
  QvGraphMol mol;
  EXPECT_FALSE(ReadRecord(GetParam().text, mol));
  // The dimension is set before anything is read.
  EXPECT_EQ(mol.GetDimension(), 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Records, XYZBadRecord,
    ::testing::Values(BadRecord{"NoInput", ""}, BadRecord{"EmptyCountLine", "\nt\n"},
                      BadRecord{"BlankCountLine", " \t \nt\n"}, BadRecord{"NegativeCount", "-1\nt\n"},
                      BadRecord{"CountThenWord", "1 atom\nt\nC 0 0 0\n"},
                      BadRecord{"TwoPlusSigns", "++1\nt\nC 0 0 0\n"}, BadRecord{"PlusAlone", "+\nt\n"},
                      BadRecord{"DecimalCount", "1.0\nt\nC 0 0 0\n"},
                      BadRecord{"HexCount", "0x1\nt\nC 0 0 0\n"},
                      BadRecord{"CountPast32Bits", "4294967296\nt\n"}, BadRecord{"NoTitleLine", "1\n"},
                      BadRecord{"MissingAtomLine", "2\nt\nC 0 0 0\n"},
                      BadRecord{"EmptyAtomLine", "1\nt\n\nC 0 0 0\n"},
                      BadRecord{"BlankAtomLine", "1\nt\n \t \n"}, BadRecord{"ThreeFields", "1\nt\nC 0 0\n"},
                      BadRecord{"OneField", "1\nt\nC\n"}, BadRecord{"CoordinateWord", "1\nt\nC 0 y 0\n"},
                      BadRecord{"CoordinateDecimalComma", "1\nt\nC 0 1,5 0\n"},
                      BadRecord{"CoordinateTrailingLetter", "1\nt\nC 0 0 1.5a\n"},
                      BadRecord{"CoordinateTwoPoints", "1\nt\nC 1.5.2 0 0\n"},
                      BadRecord{"CoordinateFortranExponent", "1\nt\nC 1.0d0 0 0\n"},
                      BadRecord{"CoordinateBareExponent", "1\nt\nC 1e 0 0\n"}),
    [](const auto& p) { return std::string(p.param.label); });

// The count is parsed in full before anything else is read: a count that
// parses goes on to take the title line, one that does not stops at once.
TEST(XYZReader, CountAtTheTopOfThe32BitRangeParses) {
  QvGraphMol largest;
  EXPECT_FALSE(ReadRecord("4294967295\nseen\n", largest));
  EXPECT_STREQ(largest.GetTitle(), "seen");
  QvGraphMol past;
  EXPECT_FALSE(ReadRecord("4294967296\nseen\n", past));
  EXPECT_STREQ(past.GetTitle(), "");
}

// A line that ends a record early still leaves the atom it began, so that
// the stream can tell a damaged last record from clean end of input.
TEST(XYZReader, ShortAtomLineLeavesItsAtom) {
  QvGraphMol mol;
  EXPECT_FALSE(ReadRecord("2\nt\nC 1 2 3\nXy 4 5\n", mol));
  ASSERT_EQ(mol.NumAtoms(), 2u);
  EXPECT_EQ(AtomsOf(mol)[1].name, "Xy");
  QvGraphMol blank;
  EXPECT_FALSE(ReadRecord("1\nt\n   \n", blank));
  EXPECT_EQ(blank.NumAtoms(), 0u);
}

// Records follow one another with nothing between them, and a failed record
// leaves the input right after its offending line.
TEST(XYZReader, ConsecutiveRecordsAndRecoveryAfterAFault) {
  qvmolistream in;
  OpenXYZ(in, "1\nfirst\nC 0 0 0\n2\nbroken\nN 0 0 0\nO 0 0\n1\nthird\nS 1 1 1\n");
  QvGraphMol mol;
  ASSERT_TRUE(Tamrin::QvXYZReadFxn(in, mol));
  EXPECT_STREQ(mol.GetTitle(), "first");
  mol.Clear();
  EXPECT_FALSE(Tamrin::QvXYZReadFxn(in, mol));
  EXPECT_STREQ(mol.GetTitle(), "broken");
  mol.Clear();
  ASSERT_TRUE(Tamrin::QvXYZReadFxn(in, mol));
  EXPECT_STREQ(mol.GetTitle(), "third");
  ExpectAtoms(AtomsOf(mol), {{16, "", 1, 1, 1}});
  mol.Clear();
  EXPECT_FALSE(Tamrin::QvXYZReadFxn(in, mol));
  EXPECT_TRUE(in.at_end());
}

// ---- number fields: exactly what the C library's conversion accepts ----

struct NumberField {
  const char* text;
  bool valid;
};

class XYZNumberField : public ::testing::TestWithParam<NumberField> {};

TEST_P(XYZNumberField, ParsesLikeStrtod) {
  const std::string text = GetParam().text;
  QvGraphMol mol;
  ASSERT_EQ(ReadRecord("1\n\nC " + text + " 0 0\n", mol), GetParam().valid) << text;
  if (!GetParam().valid) return;
  float xyz[3];
  mol.GetCoords(mol.AtomList()[0], xyz);
  const float expected = static_cast<float>(std::strtod(text.c_str(), nullptr));
  if (std::isnan(expected))
    EXPECT_TRUE(std::isnan(xyz[0])) << text;
  else
    EXPECT_EQ(xyz[0], expected) << text;

  // The charge column follows the same rule, but only ignores a bad field.
  QvGraphMol charged;
  ASSERT_TRUE(ReadRecord("1\n\nC 0 0 0 " + text + "\n", charged));
  const double q = charged.AtomList()[0]->GetPartialCharge();
  if (std::isnan(expected))
    EXPECT_TRUE(std::isnan(q)) << text;
  else
    EXPECT_EQ(q, static_cast<double>(expected)) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, XYZNumberField,
    ::testing::Values(NumberField{"1", true}, NumberField{"-0.5", true}, NumberField{"+2.25", true},
                      NumberField{".5", true}, NumberField{"5.", true}, NumberField{"1e3", true},
                      NumberField{"1E-3", true}, NumberField{"-1.5e+2", true},
                      NumberField{"0.1000000000000000055511151231257827", true},
                      NumberField{"0x1p3", true}, NumberField{"0X1.8P1", true}, NumberField{"inf", true},
                      NumberField{"-Infinity", true}, NumberField{"nan", true}, NumberField{"NAN(123)", true},
                      NumberField{"1e400", true}, NumberField{"1e-400", true}, NumberField{"1,5", false},
                      NumberField{"1.5.2", false}, NumberField{"1e", false}, NumberField{"1e+", false},
                      NumberField{"--1", false}, NumberField{"+-1", false}, NumberField{"0x", false},
                      NumberField{"1d0", false}, NumberField{"x1", false}, NumberField{".", false},
                      NumberField{"-", false}, NumberField{"infinit", false}, NumberField{"nan(", false},
                      NumberField{"1_000", false}));

// A charge that does not parse leaves the charge alone.
TEST(XYZReader, InvalidChargeLeavesNoCharge) {
  QvGraphMol mol;
  ASSERT_TRUE(ReadRecord("1\n\nC 0 0 0 1,5\n", mol));
  EXPECT_EQ(mol.AtomList()[0]->GetPartialCharge(), 0.0);
}

}  // namespace
