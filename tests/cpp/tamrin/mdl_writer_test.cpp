// The molfile and SD file writer through QvWriteMolecule: header, V2000
// columns and property lines, SD data, and that the caller's molecule is
// left as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <cmath>
#include <ctime>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "mdl_test_support.h"

namespace {

using Tamrin::QvAtomBase;
using Tamrin::QvGraphMol;
using namespace mdltest;

TEST(MDLWriter, SmallRecordIsByteExact) {
  QvGraphMol mol = FromSmiles("CCO ethanol");
  SetCoords(mol.GetMol(), {{0, 0, 0}, {1.299, 0.75, 0}, {-1.5, -0.25, 0}});
  mol.GetMol().SetDimension(2);
  const Written w = Write(mol.GetMol(), kPlain);
  EXPECT_EQ(w.text,
            "ethanol\n  -Tamrin-          2D\n\n  3  2  0     0  0  0  0  0  0999 V2000\n"
            "    0.0000    0.0000    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0\n"
            "    1.2990    0.7500    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0\n"
            "   -1.5000   -0.2500    0.0000 O   0  0  0  0  0  0  0  0  0  0  0  0\n"
            "  1  2  1  0  0  0  0\n  2  3  1  0  0  0  0\nM  END\n$$$$\n");
  EXPECT_EQ(w.status, 0);
  EXPECT_TRUE(w.warnings.empty());
  // The MDL format stops at "M  END".
  EXPECT_EQ(Write(mol.GetMol(), kPlain, Tamrin::QvFormat::MDL).text, w.text.substr(0, w.text.size() - 5));
}

// Title and comment lines are cut at 80 characters, with one warning each.
TEST(MDLWriter, HeaderTruncatesAt80WithOneWarning) {
  const std::string k80(80, 't'), k81 = k80 + "u";
  // {title, comment ("" for none), first line, third line, warnings}
  const std::tuple<std::string, std::string, std::string, std::string, std::vector<std::string>> cases[] = {
      {k80, "", k80, "", {}}, {k81, "", k80, "", {"Truncating title to 80 characters for " + k81}},
      {"x", "a comment", "x", "a comment", {}},
      {"x", std::string(81, 'c'), "x", std::string(80, 'c'), {"Truncating comment to 80 characters for x"}}};
  for (const auto& [title, comment, line1, line3, warnings] : cases) {
    QvGraphMol mol = FromSmiles("C");
    mol.GetMol().SetTitle(title);
    if (!comment.empty()) mol.GetMol().SetData(Sorvil::QvGetTag("QvMolComment"), comment);
    const Written w = Write(mol.GetMol(), kPlain);
    EXPECT_EQ(Lines(w.text)[0], line1);
    EXPECT_EQ(Lines(w.text)[2], line3);
    EXPECT_EQ(w.warnings, warnings);
  }
}

// "%10.4f", or "99999.9999" / "-9999.9999" when that needs more than ten
// characters: the edge values, then random ones over thirteen decades.
TEST(MDLWriter, CoordinatesMatchPrintf) {
  std::vector<float> values = {123456.7f, -12345.6f, 99999.99f, -9999.99f, -0.00004f, 0.00005f, 0.00006f};
  std::mt19937 random(7);
  std::uniform_real_distribution<double> exponent(-6, 7);
  std::bernoulli_distribution negative(0.5);
  for (int i = 0; i < 2000; ++i)
    values.push_back(static_cast<float>((negative(random) ? -1 : 1) * std::pow(10.0, exponent(random))));
  for (const float v : values) {
    QvGraphMol mol = FromSmiles("C");
    SetCoords(mol.GetMol(), {{v, v, v}});
    char expected[64];
    const int n = std::snprintf(expected, sizeof expected, "%10.4f", static_cast<double>(v));
    const std::string field = n > 10 ? (v > 0 ? "99999.9999" : "-9999.9999") : expected;
    ASSERT_EQ(Lines(Write(mol.GetMol(), kPlain).text)[4].substr(0, 30), field + field + field) << v;
  }
}

constexpr unsigned P = kPlain, PC = kPlain | 0x1, PI = kPlain | 0x2;

// One atom written from SMILES: the first atom line from the symbol on (as
// far as the row gives it; the columns after the valence are 0 unless the
// row says otherwise), and every property line between the bond block and
// "M  END", with and without the flavor bits that ask for them.
TEST(MDLWriter, AtomColumnsAndPropertyLines) {
  const std::tuple<std::string, unsigned, std::string, std::string> cases[] = {
      {"[NH4+]", P, "N   0  3  0  0  0  0", ""}, {"[NH4+]", PC, "N   0  3  0  0  0  0", "M  CHG  1   1   1\n"},
      {"[Fe+2]", P, "Fe  0  2  0  0  0  0", ""}, {"[Fe+3]", P, "Fe  0  1  0  0  0  0", ""},
      {"[O-]C", P, "O   0  5  0  0  0  0", ""}, {"[S-2]", P, "S   0  6  0  0  0  0", ""},
      {"[P-3]", P, "P   0  7  0  0  0  0", ""},
      // a charge the atom block cannot hold forces the lines
      {"[Fe+4]", P, "Fe  0  0  0  0  0  0", "M  CHG  1   1   4\n"},
      {"[Mn-4]", P, "Mn  0  0  0  0  0  0", "M  CHG  1   1  -4\n"},
      // doublet radical: one hydrogen short of the valence model, neutral
      {"[CH3]", P, "C   0  4  0  0  0  0", ""}, {"[CH3]", PC, "C   0  4  0  0  0  0", "M  RAD  1   1   2\n"},
      // a charged atom short of hydrogens is no radical: its valence is written
      {"[CH+]C", P, "C   0  3  0  0  0  2", ""}, {"[CH2]", P, "C   0  0  0  0  0  2", ""},
      {"[C]", P, "C   0  0  0  0  0 15", ""}, {"[SH3]C", P, "S   0  0  0  0  0  4", ""},
      {"[NH2-]", P, "N   0  5  0  0  0  0", ""}, {"[13CH4]", P, "C   1  0  0  0  0  0", ""},
      {"[13CH4]", PI, "C   1  0  0  0  0  0", "M  ISO  1   1  13\n"},
      {"[12CH4]", P, "C   0  0  0  0  0  0", "M  ISO  1   1  12\n"}, {"[9CH4]", P, "C  -3  0  0  0  0  0", ""},
      {"[8CH4]", P, "C   0  0  0  0  0  0", "M  ISO  1   1   8\n"}, {"[16CH4]", P, "C   4  0  0  0  0  0", ""},
      {"[17CH4]", P, "C   0  0  0  0  0  0", "M  ISO  1   1  17\n"}, {"[2H]C", P, "H   1  0  0  0  0  0", ""},
      {"[37Cl-]", P, "Cl  2  5  0  0  0  0", ""}, {"[CH4:7]", P, "C   0  0  0  0  0  0  0  0  0  7  0  0", ""},
      {"[R3]C", P, "R#  0  0  0  0  0  0", "M  RGP  1   1   3\n"}, {"*C", P, "*   0  0  0  0  0  0", ""},
      {"[Xyz]C", P, "Xyz 0  0  0  0  0  0", ""}, {"[Abcd]C", P, "Abc 0  0  0  0  0  0", ""},
      // Eight pairs to a line; the lines in the order CHG, RAD, ISO, RGP.
      {"[Na+].[Na+].[Na+].[Na+].[Na+].[Na+].[Na+].[Na+].[Cl-]", PC, "Na  0  3",
       "M  CHG  8   1   1   2   1   3   1   4   1   5   1   6   1   7   1   8   1\nM  CHG  1   9  -1\n"},
      {"[13CH3+].[CH3].[R2]C", kPlain | 0x7, "C   1  3",
       "M  CHG  1   1   1\nM  RAD  1   2   2\nM  ISO  1   1  13\nM  RGP  1   3   2\n"}};
  for (const auto& [smiles, flavor, columns, props] : cases) {
    const Written w = Write(FromSmiles(smiles), flavor);
    const std::vector<std::string> lines = Lines(w.text);
    EXPECT_EQ(lines[4].substr(31, columns.size()), columns) << w.text;
    if (columns.size() == 20) {
      EXPECT_EQ(lines[4].substr(51), "  0  0  0  0  0  0") << w.text;
    }
    EXPECT_EQ(PropertyLines(w.text), props) << w.text;
  }
}

TEST(MDLWriter, AliasesFollowTheBondBlock) {
  QvGraphMol mol = FromSmiles("CCO");
  Tamrin::QvAtomBase* atom = smiles_test::AtomAt(mol.GetMol(), 2);
  atom->SetData(Sorvil::QvGetTag("QvAtomComment"), std::string("OH group"));
  mol.GetMol().SetDimension(2);
  const std::string text = Write(mol.GetMol(), kPlain | 0x1).text;
  EXPECT_NE(text.find("  2  3  1  0  0  0  0\nA    3\nOH group\nM  END\n"), std::string::npos) << text;
}

// SD data values as written, and the status that reports a changed value.
TEST(MDLWriter, DataValueAndStatus) {
  const std::tuple<std::string, std::string, int> cases[] = {
      {"", "", 0}, {"x", "x", 0}, {"a\nb", "a\nb", 0}, {"a\n\nb", "ab", 16}, {"a\n\n\nb", "a\nb", 16},
      {"a\n\n\n\nb", "ab", 16}, {"\n\n", "", 16}, {"\n", "\n", 0}, {"end\n\n", "end", 16}};
  for (const auto& [value, written, status] : cases) {
    QvGraphMol mol = FromSmiles("C");
    Sorvil::QvAddSDData(mol.GetMol(), "first", "1");
    Sorvil::QvAddSDData(mol.GetMol(), "tag", value);
    const Written w = Write(mol.GetMol(), kPlain);
    EXPECT_EQ(w.text.substr(w.text.find("M  END\n") + 7), "> <first>\n1\n\n> <tag>\n" + written + "\n\n$$$$\n");
    EXPECT_EQ(w.status, status) << value;
  }
}

// Kekulé orders for bonds still of the aromatic order, whether the writer
// reads the molecule in place (plain) or lays out a copy (default flavor).
TEST(MDLWriter, LeavesTheMoleculeAsItWas) {
  for (unsigned flavor : {kPlain, Tamrin::QvDefaultOutputFlavor(Tamrin::QvFormat::SDF) | kBlankDate}) {
    QvGraphMol mol = FromSmiles("c1ccccc1[C@H](F)Cl", /*kekulize=*/false);
    const std::string before = Describe(mol.GetMol());
    ASSERT_NE(before.find(" o5"), std::string::npos);  // still aromatic order
    const Written w = Write(mol.GetMol(), flavor);
    EXPECT_EQ(Describe(mol.GetMol()), before);
    int doubles = 0;
    for (const std::string& line : Lines(w.text))
      if (line.size() == 21 && line.substr(6, 3) == "  2") ++doubles;
    EXPECT_EQ(doubles, 3) << w.text;
  }
}

}  // namespace
