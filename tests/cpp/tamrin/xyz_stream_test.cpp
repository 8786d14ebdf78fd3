// XYZ through the molecule streams: QvReadMolecule's skipping of bad and
// empty records, real files, the output flavors, and round trips (plain and
// through gzip).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/captured_messages.h"
#include "tamrin/chem/elements.h"
#include "tamrin/streams/molio.h"
#include "xyz_test_support.h"

namespace {

using Tamrin::QvFormat;
using Tamrin::QvGraphMol;
using Tamrin::qvmolistream;
using Tamrin::qvmolostream;
using xyztest::AddAtoms;
using xyztest::Atom;
using xyztest::AtomsOf;
using xyztest::OpenXYZ;

struct ReadResult {
  std::vector<std::string> titles;
  std::vector<std::vector<Atom>> atoms;
  std::vector<std::string> warnings;
  unsigned failed = 0;
};

ReadResult ReadAll(qvmolistream& in) {
  CapturedMessages messages;
  ReadResult result;
  QvGraphMol mol;
  while (Tamrin::QvReadMolecule(in, mol)) {
    result.titles.emplace_back(mol.GetTitle());
    result.atoms.push_back(AtomsOf(mol));
  }
  result.warnings = messages.lines();
  result.failed = in.GetFailedCount();
  return result;
}

ReadResult ReadText(const std::string& text) {
  qvmolistream in;
  OpenXYZ(in, text);
  return ReadAll(in);
}

std::string Failure(const std::string& title) { return "Error reading molecule \"" + title + "\" in XYZ format."; }

// ---- which records QvReadMolecule hands out ----

struct StreamCase {
  const char* label;
  std::string text;
  std::vector<std::string> titles;
  std::vector<std::string> warnings;
};

class XYZStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(XYZStream, ReadsTheGoodRecordsAndReportsTheBad) {
  const ReadResult r = ReadText(GetParam().text);
  EXPECT_EQ(r.titles, GetParam().titles);
  EXPECT_EQ(r.warnings, GetParam().warnings);
  EXPECT_EQ(r.failed, GetParam().warnings.size());
}

INSTANTIATE_TEST_SUITE_P(
    Records, XYZStream,
    ::testing::Values(
        StreamCase{"ThreeRecords", "1\na\nC 0 0 0\n2\nb\nN 0 0 0\nO 1 1 1\n1\nc\nS 0 0 0\n", {"a", "b", "c"}, {}},
        StreamCase{"BadMiddleRecordSkipped", "1\na\nC 0 0 0\n2\nb\nN 0 0 0\nO 1 1\n1\nc\nS 0 0 0\n",
                   {"a", "c"}, {Failure("b")}},
        StreamCase{"BadCountLineSkipped", "1\na\nC 0 0 0\nthree\n1\nc\nS 0 0 0\n", {"a", "c"}, {Failure("")}},
        StreamCase{"EmptyMoleculePassedOver", "0\nempty\n1\nreal\nC 0 0 0\n", {"real"}, {}},
        StreamCase{"OnlyEmptyMolecules", "0\n\n0\nx\n", {}, {}},
        StreamCase{"TruncatedLastRecordReported", "1\na\nC 0 0 0\n3\ncut\nC 0 0 0\n", {"a"}, {Failure("cut")}},
        StreamCase{"CountLineAloneAtTheEnd", "1\na\nC 0 0 0\n5\n", {"a"}, {}},
        StreamCase{"UnknownElementsKeepTheRecord", "2\nodd\nXx 0 0 0\nQq 1 1 1\n", {"odd"}, {}},
        StreamCase{"TrailingBlankLines", "1\na\nC 0 0 0\n\n\n", {"a"}, {Failure(""), Failure("")}},
        StreamCase{"EmptyInput", "", {}, {}}),
    [](const auto& p) { return std::string(p.param.label); });

// ---- real files written by other programs ----

std::string TestData(const char* name) {
  return std::string(NIMBREL_SOURCE_DIR "/../shared/testdata/xyz/") + name;
}

ReadResult ReadPath(const std::string& path) {
  qvmolistream in;
  {
    CapturedMessages quiet;
    EXPECT_TRUE(in.open(path)) << path;
  }
  EXPECT_EQ(in.GetFormat(), QvFormat::XYZ);
  return ReadAll(in);
}

struct FileCase {
  const char* file;
  std::vector<std::string> titles;
  std::vector<std::vector<unsigned>> elements;
  std::vector<std::string> warnings;
};

class XYZFiles : public ::testing::TestWithParam<FileCase> {};

TEST_P(XYZFiles, ReadAsWritten) {
  const std::string path = TestData(GetParam().file);
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "shared test data not present: " << path;
  const ReadResult r = ReadPath(path);
  EXPECT_EQ(r.titles, GetParam().titles);
  std::vector<std::vector<unsigned>> elements;
  for (const std::vector<Atom>& atoms : r.atoms) {
    elements.emplace_back();
    for (const Atom& a : atoms) elements.back().push_back(a.z);
  }
  EXPECT_EQ(elements, GetParam().elements);
  EXPECT_EQ(r.warnings, GetParam().warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Shared, XYZFiles,
    ::testing::Values(
        // Wide columns and an empty title.
        FileCase{"chemfiles_methane.xyz", {""}, {{6, 1, 1, 1, 1}}, {}},
        // Symbols and atomic numbers mixed; each of the three blank lines at
        // the end is a record without a count, the last one too (the end is
        // only known once a read finds nothing).
        FileCase{"iodata_dataset_blanklines.xyz",
                 {"H2O molecule", "N atom", "CH4 molecule"},
                 {{8, 1, 1}, {7}, {6, 1, 1, 1, 1}},
                 {Failure(""), Failure(""), Failure("")}},
        // The count says 8 and four atom lines follow: reported, nothing kept.
        FileCase{"chemfiles_bad_helium_count.xyz", {}, {}, {Failure("Bad number of atoms")}}));

// ---- output flavors ----

QvGraphMol ChargedPair() {
  QvGraphMol mol;
  mol.SetTitle("pair");
  AddAtoms(mol, {{11, "", 1.0f, 0.0f, 0.0f, 1.0}, {17, "", -1.25f, 0.5f, 0.0f, -1.0}});
  return mol;
}

struct FlavorCase {
  unsigned flavor;
  std::string atom_lines;
};

class XYZOutputFlavor : public ::testing::TestWithParam<FlavorCase> {};

TEST_P(XYZOutputFlavor, SelectsColumnsSymbolsAndPrecision) {
  qvmolostream out;
  ASSERT_TRUE(out.SetFormat(QvFormat::XYZ));
  if (GetParam().flavor != 0) {
    ASSERT_TRUE(out.SetFlavor(QvFormat::XYZ, GetParam().flavor));
  }
  ASSERT_TRUE(out.openstring());
  ASSERT_EQ(Tamrin::QvWriteMolecule(out, ChargedPair()), Tamrin::QvWriteOk);
  EXPECT_EQ(out.GetString(), "2\npair\n" + GetParam().atom_lines);
}

INSTANTIATE_TEST_SUITE_P(
    Flavors, XYZOutputFlavor,
    ::testing::Values(
        // 0: the default, 0x4003.
        FlavorCase{0, "Na     1.00000    0.00000    0.00000  1.000\nCl    -1.25000    0.50000    0.00000 -1.000\n"},
        FlavorCase{0x4000, "11     1.00000    0.00000    0.00000\n17    -1.25000    0.50000    0.00000\n"},
        FlavorCase{0x4001,
                   "11     1.00000    0.00000    0.00000  1.000\n17    -1.25000    0.50000    0.00000 -1.000\n"},
        FlavorCase{0x4006, "Na     1.00000    0.00000    0.00000\nCl    -1.25000    0.50000    0.00000\n"},
        FlavorCase{0x400A,
                   "Na     1.000000000000000000    0.000000000000000000    0.000000000000000000\n"
                   "Cl    -1.250000000000000000    0.500000000000000000    0.000000000000000000\n"},
        FlavorCase{0x0009,
                   "11     1.000000000000000000    0.000000000000000000    0.000000000000000000  1.000\n"
                   "17    -1.250000000000000000    0.500000000000000000    0.000000000000000000 -1.000\n"}));

// ---- round trips ----

struct RandomMolecule {
  std::string title;
  std::vector<Atom> atoms;
};

std::vector<RandomMolecule> RandomMolecules(unsigned count, std::mt19937& rng) {
  std::uniform_int_distribution<unsigned> size(0, 25), element(0, 130), letter('a', 'z');
  std::uniform_real_distribution<float> coord(-500.0f, 500.0f);
  std::uniform_real_distribution<double> charge(-2.0, 2.0);
  std::bernoulli_distribution charged(0.3);
  std::vector<RandomMolecule> mols(count);
  for (RandomMolecule& m : mols) {
    // Inner blanks survive, outer ones are trimmed on reading.
    for (unsigned i = 0, n = size(rng); i < n; ++i) m.title += i % 5 == 4 ? ' ' : static_cast<char>(letter(rng));
    while (!m.title.empty() && m.title.back() == ' ') m.title.pop_back();
    m.atoms.resize(size(rng));
    const bool with_charges = charged(rng);
    for (Atom& a : m.atoms) a = {element(rng), "", coord(rng), coord(rng), coord(rng), with_charges ? charge(rng) : 0.0};
  }
  return mols;
}

// What reading gives back for an atom that was written: a wildcard or an
// element without a symbol comes back by the text it was written as.
Atom AsRead(const Atom& a, bool symbols) {
  Atom r = a;
  if (a.z == 0) r.name = symbols ? "X" : "0";
  return r;
}

void ExpectRoundTrip(unsigned flavor, bool gzip) {
  std::mt19937 rng(flavor * 31 + gzip);
  const std::vector<RandomMolecule> mols = RandomMolecules(150, rng);
  qvmolostream out;
  out.SetFormat(QvFormat::XYZ);
  ASSERT_TRUE(out.SetFlavor(QvFormat::XYZ, flavor));
  ASSERT_TRUE(out.openstring(gzip));
  for (const RandomMolecule& m : mols) {
    QvGraphMol mol;
    mol.SetTitle(m.title);
    AddAtoms(mol, m.atoms);
    ASSERT_EQ(Tamrin::QvWriteMolecule(out, mol), Tamrin::QvWriteOk);
  }
  const std::string bytes = out.GetString();

  qvmolistream in;
  in.SetFormat(QvFormat::XYZ);
  ASSERT_TRUE(in.SetGzip(gzip));
  ASSERT_TRUE(in.openstring(bytes));
  const ReadResult r = ReadAll(in);
  EXPECT_TRUE(r.warnings.empty());

  const bool symbols = flavor & 0x2, charges = flavor & 0x1, long_precision = flavor & 0x8;
  std::size_t k = 0;
  for (const RandomMolecule& m : mols) {
    if (m.atoms.empty()) continue;  // an empty molecule is passed over
    ASSERT_LT(k, r.titles.size());
    EXPECT_EQ(r.titles[k], m.title);
    ASSERT_EQ(r.atoms[k].size(), m.atoms.size());
    for (std::size_t i = 0; i < m.atoms.size(); ++i) {
      const Atom want = AsRead(m.atoms[i], symbols);
      const Atom& got = r.atoms[k][i];
      ASSERT_EQ(got.z, want.z);
      ASSERT_EQ(got.name, want.name);
      // 18 decimals carry every float exactly; 5 decimals to 5e-6, and the
      // value read is then rounded to a float again.
      auto tolerance = [&](float v) { return long_precision ? 0.0 : 5e-6 + std::abs(v) * 6e-8; };
      ASSERT_NEAR(got.x, want.x, tolerance(want.x));
      ASSERT_NEAR(got.y, want.y, tolerance(want.y));
      ASSERT_NEAR(got.zc, want.zc, tolerance(want.zc));
      ASSERT_NEAR(got.charge, charges ? static_cast<float>(want.charge) : 0.0, 5.1e-4);
    }
    ++k;
  }
  EXPECT_EQ(k, r.titles.size());
}

class XYZRoundTrip : public ::testing::TestWithParam<std::tuple<unsigned, bool>> {};

TEST_P(XYZRoundTrip, RandomMolecules) { ExpectRoundTrip(std::get<0>(GetParam()), std::get<1>(GetParam())); }

INSTANTIATE_TEST_SUITE_P(Flavors, XYZRoundTrip,
                         ::testing::Combine(::testing::Values(0x4003u, 0x400Bu, 0x4000u, 0x4008u, 0x4005u),
                                            ::testing::Bool()));

}  // namespace
