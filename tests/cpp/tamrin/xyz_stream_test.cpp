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
using Strings = std::vector<std::string>;

struct ReadResult {
  Strings titles;
  std::vector<std::vector<Atom>> atoms;
  Strings warnings;
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

std::string Failure(const std::string& title) { return "Error reading molecule \"" + title + "\" in XYZ format."; }

TEST(XYZStream, ReadsTheGoodRecordsAndReportsTheBad) {
  struct Case {
    std::string text;
    Strings titles, warnings;
  };
  const Case cases[] = {
      {"1\na\nC 0 0 0\n2\nb\nN 0 0 0\nO 1 1 1\n1\nc\nS 0 0 0\n", {"a", "b", "c"}, {}},
      {"1\na\nC 0 0 0\n2\nb\nN 0 0 0\nO 1 1\n1\nc\nS 0 0 0\n", {"a", "c"}, {Failure("b")}},
      {"1\na\nC 0 0 0\nthree\n1\nc\nS 0 0 0\n", {"a", "c"}, {Failure("")}},
      {"0\nempty\n1\nreal\nC 0 0 0\n", {"real"}, {}},  // empty molecules are passed over
      {"0\n\n0\nx\n", {}, {}},
      {"1\na\nC 0 0 0\n3\ncut\nC 0 0 0\n", {"a"}, {Failure("cut")}},
      {"1\na\nC 0 0 0\n5\n", {"a"}, {}},  // a count line alone at the end
      {"2\nodd\nXx 0 0 0\nQq 1 1 1\n", {"odd"}, {}},
      {"1\na\nC 0 0 0\n\n\n", {"a"}, {Failure(""), Failure("")}},
      {"", {}, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    qvmolistream in;
    xyztest::OpenXYZ(in, c.text);
    const ReadResult r = ReadAll(in);
    EXPECT_EQ(r.titles, c.titles);
    EXPECT_EQ(r.warnings, c.warnings);
    EXPECT_EQ(r.failed, c.warnings.size());
  }
}

// Files written by other programs: titles, elements and what is reported.
TEST(XYZStream, SharedFilesReadAsWritten) {
  struct Case {
    const char* file;
    Strings titles;
    std::vector<std::vector<unsigned>> elements;
    Strings warnings;
  };
  const Case cases[] = {
      {"chemfiles_methane.xyz", {""}, {{6, 1, 1, 1, 1}}, {}},  // wide columns, empty title
      // Symbols and atomic numbers mixed; each of the three blank lines at
      // the end is a record without a count, the last one too (the end is
      // only known once a read finds nothing).
      {"iodata_dataset_blanklines.xyz", {"H2O molecule", "N atom", "CH4 molecule"},
       {{8, 1, 1}, {7}, {6, 1, 1, 1, 1}}, {Failure(""), Failure(""), Failure("")}},
      // The count says 8 and four atom lines follow: reported, nothing kept.
      {"chemfiles_bad_helium_count.xyz", {}, {}, {Failure("Bad number of atoms")}}};
  for (const Case& c : cases) {
    const std::string path = std::string(NIMBREL_SOURCE_DIR "/../shared/testdata/xyz/") + c.file;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "shared test data not present: " << path;
    qvmolistream in;
    {
      CapturedMessages quiet;
      EXPECT_TRUE(in.open(path)) << path;
    }
    EXPECT_EQ(in.GetFormat(), QvFormat::XYZ);
    const ReadResult r = ReadAll(in);
    std::vector<std::vector<unsigned>> elements;
    for (const std::vector<Atom>& atoms : r.atoms) {
      elements.emplace_back();
      for (const Atom& a : atoms) elements.back().push_back(a.z);
    }
    EXPECT_EQ(r.titles, c.titles) << c.file;
    EXPECT_EQ(elements, c.elements) << c.file;
    EXPECT_EQ(r.warnings, c.warnings) << c.file;
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
  AddAtoms(mol, {{11, "", 1.0f, 0.0f, 0.0f, 1.0}, {17, "", -1.25f, 0.5f, 0.0f, -1.0}});
  for (const auto& [flavor, atom_lines] : cases) {
    qvmolostream out;
    ASSERT_TRUE(out.SetFormat(QvFormat::XYZ));
    if (flavor != 0) {
      ASSERT_TRUE(out.SetFlavor(QvFormat::XYZ, flavor));
    }
    ASSERT_TRUE(out.openstring());
    ASSERT_EQ(Tamrin::QvWriteMolecule(out, mol), Tamrin::QvWriteOk);
    EXPECT_EQ(out.GetString(), "2\npair\n" + atom_lines) << flavor;
  }
}

// Random molecules written in each flavor, plain and through gzip, and read
// back: titles (inner blanks kept), elements, coordinates to the precision
// written, charges when written; empty molecules are passed over.
TEST(XYZStream, RoundTripsRandomMolecules) {
  for (const unsigned flavor : {0x4003u, 0x400Bu, 0x4000u, 0x4008u, 0x4005u})
    for (const bool gzip : {false, true}) {
      SCOPED_TRACE(testing::Message() << "flavor " << flavor << " gzip " << gzip);
      std::mt19937 rng(flavor * 31 + gzip);
      std::uniform_int_distribution<unsigned> size(0, 25), element(0, 130), letter('a', 'z');
      std::uniform_real_distribution<float> coord(-500.0f, 500.0f);
      std::uniform_real_distribution<double> charge(-2.0, 2.0);
      std::bernoulli_distribution charged(0.3);
      std::vector<QvGraphMol> mols(150);
      qvmolostream out;
      out.SetFormat(QvFormat::XYZ);
      ASSERT_TRUE(out.SetFlavor(QvFormat::XYZ, flavor));
      ASSERT_TRUE(out.openstring(gzip));
      for (QvGraphMol& mol : mols) {
        std::string title;
        for (unsigned i = 0, n = size(rng); i < n; ++i) title += i % 5 == 4 ? ' ' : static_cast<char>(letter(rng));
        while (!title.empty() && title.back() == ' ') title.pop_back();  // outer blanks are trimmed on reading
        mol.SetTitle(title);
        std::vector<Atom> atoms(size(rng));
        const bool with_charges = charged(rng);
        for (Atom& a : atoms) a = {element(rng), "", coord(rng), coord(rng), coord(rng), with_charges ? charge(rng) : 0.0};
        AddAtoms(mol, atoms);
        ASSERT_EQ(Tamrin::QvWriteMolecule(out, mol), Tamrin::QvWriteOk);
      }
      qvmolistream in;
      in.SetFormat(QvFormat::XYZ);
      ASSERT_TRUE(in.SetGzip(gzip));
      ASSERT_TRUE(in.openstring(out.GetString()));
      const ReadResult r = ReadAll(in);
      EXPECT_TRUE(r.warnings.empty());
      const bool symbols = flavor & 0x2, charges = flavor & 0x1, long_precision = flavor & 0x8;
      // 18 decimals carry every float exactly; 5 decimals to 5e-6, and the
      // value read is then rounded to a float again.
      const auto tolerance = [&](float v) { return long_precision ? 0.0 : 5e-6 + std::abs(v) * 6e-8; };
      std::size_t k = 0;
      for (const QvGraphMol& mol : mols) {
        if (mol.NumAtoms() == 0) continue;
        ASSERT_LT(k, r.titles.size());
        EXPECT_EQ(r.titles[k], mol.GetTitle());
        const std::vector<Atom> want = AtomsOf(mol);
        ASSERT_EQ(r.atoms[k].size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i) {
          const Atom& got = r.atoms[k][i];
          ASSERT_EQ(got.z, want[i].z);
          // A wildcard or an element without a symbol comes back by the text it was written as.
          ASSERT_EQ(got.name, want[i].z == 0 ? (symbols ? "X" : "0") : "");
          ASSERT_NEAR(got.x, want[i].x, tolerance(want[i].x));
          ASSERT_NEAR(got.y, want[i].y, tolerance(want[i].y));
          ASSERT_NEAR(got.zc, want[i].zc, tolerance(want[i].zc));
          ASSERT_NEAR(got.charge, charges ? static_cast<float>(want[i].charge) : 0.0, 5.1e-4);
        }
        ++k;
      }
      EXPECT_EQ(k, r.titles.size());
    }
}

}  // namespace
