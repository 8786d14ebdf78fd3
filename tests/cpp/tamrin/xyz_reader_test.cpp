// XYZ reading: the record splitter (records cut by the count line without
// reading the atoms), the record reader on its own (without the stream's
// skipping of bad records) and QvReadMolecule's skipping of bad and empty
// records. What the writer writes is checked against printf, what the
// reader reads against strtod.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "format_test_support.h"
#include "tamrin/formats/xyz/xyztokenizer.h"
#include "tamrin/streams/flavor.h"
#include "xyz_test_support.h"

namespace {

using namespace std::string_literals;
using formattest::ReadAll;
using formattest::ReadResult;
using formattest::Titles;
using Tamrin::QvFormat;
using Tamrin::QvGraphMol;
using Tamrin::qvmolistream;
using xyztest::AtomsOf;
using xyztest::OpenXYZ;
using Strings = std::vector<std::string>;

TEST(XYZTokenizer, CutsRecords) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}},
      {"1\na\nC 0 0 0\n2\nb\nN 0 0 0\nO 1 1 1\n", {"1\na\nC 0 0 0\n", "2\nb\nN 0 0 0\nO 1 1 1\n"}},
      {"1\r\na\r\nC 0 0 0\r1\rb\rO 0 0 0", {"1\na\nC 0 0 0\n", "1\nb\nO 0 0 0\n"}},  // line ends normalised
      {"0\nempty\n1\nx\nC 0 0 0\n", {"0\nempty\n", "1\nx\nC 0 0 0\n"}},
      // The count is only scanned, the atom lines not checked: that is the reader's concern.
      {" +1 atom\na\nC\n", {" +1 atom\na\nC\n"}}, {"2\nt\nnonsense\n\n", {"2\nt\nnonsense\n\n"}},
      {"1\na\nC 0 0 0\n5\ncut\nC 0 0 0\n", {"1\na\nC 0 0 0\n", "5\ncut\nC 0 0 0\n"}},
      // A count line alone, a count that does not scan, a negative count or a blank line ends the input.
      {"1\na\nC 0 0 0\n7\n", {"1\na\nC 0 0 0\n"}}, {"1\na\nC 0 0 0\nthree\n1\nb\nO 0 0 0\n", {"1\na\nC 0 0 0\n"}},
      {"-1\na\nC 0 0 0\n", {}}, {"\n1\na\nC 0 0 0\n", {}},
      {"99999999999\nt\nC 0 0 0\nN 0 0 0\n", {"99999999999\nt\nC 0 0 0\nN 0 0 0\n"}}};
  const auto tokenizer = Tamrin::QvCreateTokenizer(QvFormat::XYZ, Tamrin::QvDefaultInputFlavor(QvFormat::XYZ));
  ASSERT_NE(dynamic_cast<Tamrin::QvXYZTokenizer*>(tokenizer.get()), nullptr);
  for (const auto& [text, records] : cases) EXPECT_EQ(formattest::Records(tokenizer.get(), text), records) << text;
}

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

std::string Failure(const std::string& title) { return "Error reading molecule \"" + title + "\" in XYZ format."; }
const std::string kCutShort = "The data end inside a record in XYZ format.";

TEST(XYZStream, ReadsTheGoodRecordsAndReportsTheBad) {
  const std::tuple<std::string, Strings, Strings> cases[] = {
      {"1\na\nC 0 0 0\n2\nb\nN 0 0 0\nO 1 1 1\n1\nc\nS 0 0 0\n", {"a", "b", "c"}, {}},
      {"1\na\nC 0 0 0\n2\nb\nN 0 0 0\nO 1 1\n1\nc\nS 0 0 0\n", {"a", "c"}, {Failure("b")}},
      {"1\na\nC 0 0 0\nthree\n1\nc\nS 0 0 0\n", {"a", "c"}, {Failure("")}},
      {"0\nempty\n1\nreal\nC 0 0 0\n", {"real"}, {}},  // empty molecules are passed over
      {"0\n\n0\nx\n", {}, {}},
      {"1\na\nC 0 0 0\n3\ncut\nC 0 0 0\n", {"a"}, {Failure("cut")}},
      {"1\na\nC 0 0 0\n5\n", {"a"}, {kCutShort}},  // a count line alone at the end
      {"2\nodd\nXx 0 0 0\nQq 1 1 1\n", {"odd"}, {}},
      {"1\na\nC 0 0 0\n\n\n", {"a"}, {Failure(""), Failure("")}},
      {"", {}, {}}};
  for (const auto& [text, titles, warnings] : cases) {
    SCOPED_TRACE(text);
    const ReadResult r = ReadAll(text, QvFormat::XYZ);
    EXPECT_EQ(Titles(r), titles);
    EXPECT_EQ(r.messages, warnings);
    EXPECT_EQ(r.failed, warnings.size());
  }
}

}  // namespace
