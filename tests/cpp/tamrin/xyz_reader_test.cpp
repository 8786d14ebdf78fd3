// The XYZ record reader on its own, record by record, without the stream's
// skipping of bad records.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
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

TEST(XYZReader, GoodRecords) {
  const std::tuple<std::string, std::string, std::vector<Atom>> cases[] = {
      {"2\nwater half\nO 0.0 0.0 0.117\nH 0 0.757 -0.467\n", "water half",
       {{8, "", 0, 0, 0.117f}, {1, "", 0, 0.757f, -0.467f}}},
      {" \t+1 \t\nt\nC 1 2 3\n", "t", {{6, "", 1, 2, 3}}},  // blanks and a plus around the count
      {"1\n \t  my  mol \t \nC 1 2 3\n", "my  mol", {{6, "", 1, 2, 3}}},
      {"0\n   \n", "", {}}, {"0\nnothing", "nothing", {}},
      {"1\n\ncl 0 0 0\n", "", {{17, "", 0, 0, 0}}}, {"1\n\nCL 0 0 0\n", "", {{17, "", 0, 0, 0}}},
      {"1\n\n17 0 0 0\n", "", {{17, "", 0, 0, 0}}}, {"1\n\n006 0 0 0\n", "", {{6, "", 0, 0, 0}}},
      {"1\n\n200 0 0 0\n", "", {{200, "", 0, 0, 0}}}, {"1\n\nUnq 0 0 0\n", "", {{104, "", 0, 0, 0}}},
      // Whatever is no element (a number past 32 bits too) is kept as the atom's name.
      {"1\n\nXx 1 2 3\n", "", {{0, "Xx", 1, 2, 3}}}, {"1\n\n0 1 2 3\n", "", {{0, "0", 1, 2, 3}}},
      {"1\n\n6a 1 2 3\n", "", {{0, "6a", 1, 2, 3}}}, {"1\n\nC1 0 0 0\n", "", {{0, "C1", 0, 0, 0}}},
      {"1\n\n4294967296 0 0 0\n", "", {{0, "4294967296", 0, 0, 0}}},
      {"1\n\n\tN\t\t1.5  \t-2.5\t3e1\t\n", "", {{7, "", 1.5f, -2.5f, 30.0f}}},
      {"1\n\nO 0 0 0 -0.25\n", "", {{8, "", 0, 0, 0, -0.25}}},
      {"1\n\nO 0 0 0 0.5 junk 7\n", "", {{8, "", 0, 0, 0, 0.5}}},
      {"1\r\nt\r\nC 1 2 3\r\n", "t", {{6, "", 1, 2, 3}}}, {"1\rt\rC 1 2 3\r", "t", {{6, "", 1, 2, 3}}},
      {"1\nt\x01i\x7f" "tle\nC 1 2\0 3\n"s, "ti\x7f" "tle", {{6, "", 1, 2, 3}}},  // control bytes dropped
      {"1\n\nC 1 2 3", "", {{6, "", 1, 2, 3}}}};
  for (const auto& [text, title, atoms] : cases) {
    SCOPED_TRACE(text);
    QvGraphMol mol;
    EXPECT_TRUE(ReadRecord(text, mol));
    EXPECT_EQ(mol.GetTitle(), title);
    EXPECT_EQ(mol.GetDimension(), 3u);
    EXPECT_EQ(AtomsOf(mol), atoms);
  }
}

TEST(XYZReader, BadRecords) {
  for (const char* text :
       {"", "\nt\n", " \t \nt\n", "-1\nt\n", "1 atom\nt\nC 0 0 0\n", "++1\nt\nC 0 0 0\n", "+\nt\n",
        "1.0\nt\nC 0 0 0\n", "0x1\nt\nC 0 0 0\n", "4294967296\nt\n", "1\n", "2\nt\nC 0 0 0\n", "1\nt\n\nC 0 0 0\n",
        "1\nt\n \t \n", "1\nt\nC 0 0\n", "1\nt\nC\n", "1\nt\nC 0 y 0\n", "1\nt\nC 0 1,5 0\n", "1\nt\nC 0 0 1.5a\n",
        "1\nt\nC 1.5.2 0 0\n", "1\nt\nC 1.0d0 0 0\n", "1\nt\nC 1e 0 0\n"}) {
    QvGraphMol mol;
    EXPECT_FALSE(ReadRecord(text, mol)) << text;
    EXPECT_EQ(mol.GetDimension(), 3u) << text;  // set before anything is read
  }
}

// The count is parsed in full before anything else is read: a count that
// parses goes on to take the title line, one that does not stops at once.
TEST(XYZReader, CountAtTheTopOfThe32BitRangeParses) {
  QvGraphMol largest, past;
  EXPECT_FALSE(ReadRecord("4294967295\nseen\n", largest));
  EXPECT_STREQ(largest.GetTitle(), "seen");
  EXPECT_FALSE(ReadRecord("4294967296\nseen\n", past));
  EXPECT_STREQ(past.GetTitle(), "");
}

// A line that ends a record early still leaves the atom it began, so that
// the stream can tell a damaged last record from clean end of input.
TEST(XYZReader, ShortAtomLineLeavesItsAtom) {
  QvGraphMol mol, blank;
  EXPECT_FALSE(ReadRecord("2\nt\nC 1 2 3\nXy 4 5\n", mol));
  ASSERT_EQ(mol.NumAtoms(), 2u);
  EXPECT_EQ(AtomsOf(mol)[1].name, "Xy");
  EXPECT_FALSE(ReadRecord("1\nt\n   \n", blank));
  EXPECT_EQ(blank.NumAtoms(), 0u);
}

// Records follow one another with nothing between them, and a failed record
// leaves the input right after its offending line.
TEST(XYZReader, ConsecutiveRecordsAndRecoveryAfterAFault) {
  qvmolistream in;
  OpenXYZ(in, "1\nfirst\nC 0 0 0\n2\nbroken\nN 0 0 0\nO 0 0\n1\nthird\nS 1 1 1\n");
  QvGraphMol first, broken, third, none;
  EXPECT_TRUE(Tamrin::QvXYZReadFxn(in, first));
  EXPECT_FALSE(Tamrin::QvXYZReadFxn(in, broken));
  EXPECT_STREQ(broken.GetTitle(), "broken");
  EXPECT_TRUE(Tamrin::QvXYZReadFxn(in, third));
  EXPECT_STREQ(third.GetTitle(), "third");
  EXPECT_EQ(AtomsOf(third), (std::vector<Atom>{{16, "", 1, 1, 1}}));
  EXPECT_FALSE(Tamrin::QvXYZReadFxn(in, none));
  EXPECT_TRUE(in.at_end());
}

// Number fields take exactly what the C library's conversion accepts; the
// charge column follows the same rule but only ignores a bad field.
TEST(XYZReader, NumberFieldsParseLikeStrtod) {
  for (const char* text : {"1", "-0.5", "+2.25", ".5", "5.", "1e3", "1E-3", "-1.5e+2",
                           "0.1000000000000000055511151231257827", "0x1p3", "0X1.8P1", "inf", "-Infinity", "nan",
                           "NAN(123)", "1e400", "1e-400"}) {
    QvGraphMol mol, charged;
    ASSERT_TRUE(ReadRecord("1\n\nC "s + text + " 0 0\n", mol)) << text;
    ASSERT_TRUE(ReadRecord("1\n\nC 0 0 0 "s + text + "\n", charged)) << text;
    const float expected = static_cast<float>(std::strtod(text, nullptr));
    const double q = charged.AtomList()[0]->GetPartialCharge();
    if (std::isnan(expected)) {
      EXPECT_TRUE(std::isnan(AtomsOf(mol)[0].x) && std::isnan(q)) << text;
    } else {
      EXPECT_EQ(AtomsOf(mol)[0].x, expected) << text;
      EXPECT_EQ(q, static_cast<double>(expected)) << text;
    }
  }
  for (const char* text : {"1,5", "1.5.2", "1e", "1e+", "--1", "+-1", "0x", "1d0", "x1", ".", "-", "infinit", "nan(",
                           "1_000"}) {
    QvGraphMol mol, charged;
    EXPECT_FALSE(ReadRecord("1\n\nC "s + text + " 0 0\n", mol)) << text;
    ASSERT_TRUE(ReadRecord("1\n\nC 0 0 0 "s + text + "\n", charged)) << text;
    EXPECT_EQ(charged.AtomList()[0]->GetPartialCharge(), 0.0) << text;
  }
}

}  // namespace
