// The molfile and SD file writer through QvWriteMolecule: header, V2000
// columns and property lines, SD data, and that the caller's molecule is
// left as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <cmath>
#include <ctime>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "mdl_test_support.h"

namespace {

using Tamrin::QvAtomBase;
using Tamrin::QvGraphMol;
using Tamrin::QvMolBase;
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
