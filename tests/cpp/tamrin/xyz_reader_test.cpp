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
