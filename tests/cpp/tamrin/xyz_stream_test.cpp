// XYZ through the molecule streams: QvReadMolecule's skipping of bad and
// empty records, real files and the output flavors. (What the writer writes
// is checked against printf, what the reader reads against strtod.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "format_test_support.h"
#include "xyz_test_support.h"

namespace {

using Tamrin::QvFormat;
using Tamrin::QvGraphMol;
using Tamrin::qvmolistream;
using formattest::ReadAll;
using formattest::ReadResult;
using formattest::Titles;
using Strings = std::vector<std::string>;

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

// Files written by other programs: titles, elements and what is reported.
TEST(XYZStream, SharedFilesReadAsWritten) {
  const std::tuple<const char*, Strings, std::vector<std::vector<unsigned>>, Strings> cases[] = {
      {"chemfiles_methane.xyz", {""}, {{6, 1, 1, 1, 1}}, {}},  // wide columns, empty title
      // Symbols and atomic numbers mixed; each of the three blank lines at
      // the end is a record without a count, the last one too (the end is
      // only known once a read finds nothing).
      {"iodata_dataset_blanklines.xyz", {"H2O molecule", "N atom", "CH4 molecule"},
       {{8, 1, 1}, {7}, {6, 1, 1, 1, 1}}, {Failure(""), Failure(""), Failure("")}},
      // The count says 8 and four atom lines follow: reported, nothing kept.
      {"chemfiles_bad_helium_count.xyz", {}, {}, {Failure("Bad number of atoms")}}};
  for (const auto& [file, titles, elements, warnings] : cases) {
    const std::string path = std::string(NIMBREL_SOURCE_DIR "/../shared/testdata/xyz/") + file;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "shared test data not present: " << path;
    qvmolistream in;
    {
      CapturedMessages quiet;
      EXPECT_TRUE(in.open(path)) << path;
    }
    EXPECT_EQ(in.GetFormat(), QvFormat::XYZ);
    const ReadResult r = ReadAll(in);
    std::vector<std::vector<unsigned>> read;
    for (const QvGraphMol& mol : r.mols) {
      read.emplace_back();
      for (const Tamrin::QvAtomBase& atom : mol.GetAtoms()) read.back().push_back(atom.GetAtomicNum());
    }
    EXPECT_EQ(Titles(r), titles) << file;
    EXPECT_EQ(read, elements) << file;
    EXPECT_EQ(r.messages, warnings) << file;
  }
}

TEST(XYZStream, OutputFlavorsSelectColumnsSymbolsAndPrecision) {
  const std::pair<unsigned, std::string> cases[] = {
      // 0: the default, 0x4003.
      {0, "Na     1.00000    0.00000    0.00000  1.000\nCl    -1.25000    0.50000    0.00000 -1.000\n"},
      {0x4000, "11     1.00000    0.00000    0.00000\n17    -1.25000    0.50000    0.00000\n"},
      {0x4001, "11     1.00000    0.00000    0.00000  1.000\n17    -1.25000    0.50000    0.00000 -1.000\n"},
      {0x4006, "Na     1.00000    0.00000    0.00000\nCl    -1.25000    0.50000    0.00000\n"},
      {0x400A, "Na     1.000000000000000000    0.000000000000000000    0.000000000000000000\n"
               "Cl    -1.250000000000000000    0.500000000000000000    0.000000000000000000\n"},
      {0x0009, "11     1.000000000000000000    0.000000000000000000    0.000000000000000000  1.000\n"
               "17    -1.250000000000000000    0.500000000000000000    0.000000000000000000 -1.000\n"}};
  QvGraphMol mol;
  mol.SetTitle("pair");
  xyztest::AddAtoms(mol, {{11, "", 1.0f, 0.0f, 0.0f, 1.0}, {17, "", -1.25f, 0.5f, 0.0f, -1.0}});
  for (const auto& [flavor, atom_lines] : cases) {
    const formattest::Written w = formattest::Write(mol, flavor, QvFormat::XYZ);
    EXPECT_EQ(w.status, Tamrin::QvWriteOk);
    EXPECT_EQ(w.text, "2\npair\n" + atom_lines) << flavor;
  }
}

}  // namespace
