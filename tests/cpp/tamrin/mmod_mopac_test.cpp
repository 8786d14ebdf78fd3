// Macromodel and MOPAC through the molecule streams: atom types, records in
// and out, faults a reader must survive. Open Babel's reading of our files,
// and ours of its files, is tested in Python.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "format_test_support.h"
#include "pellar/numparse.h"
#include "smiles_test_support.h"
#include "sorvil/base/tagdata.h"
#include "tamrin/formats/mmod/mmod.h"
#include "tamrin/formats/mopac/mopac.h"
#include "tamrin/perception/explicith.h"
#include "tamrin/streams/flavor.h"

namespace {

using formattest::Lines;
using Tamrin::QvFormat;
using Tamrin::QvGraphMol;

struct TypeCase {
  const char* smiles;
  bool kekulize;
  std::vector<unsigned> types;
};

// Hybridisation from bond orders and aromaticity, charges by their own types.
TEST(MMODTypes, ChosenFromElementBondsAndCharge) {
  const TypeCase cases[] = {
      {"C#N", true, {1, 24}},
      {"C=C=O", true, {2, 1, 15}},
      {"CO", true, {3, 16}},
      {"c1cc[nH]c1", true, {2, 2, 2, 25, 2}},
      {"c1cc[nH]c1", false, {2, 2, 2, 25, 2}},
      {"C[N+](=O)[O-]", true, {3, 32, 15, 18}},
      {"CC(=O)[O-]", true, {3, 2, 15, 18}},
      {"[CH3-].[CH3+].[NH4+]", true, {10, 11, 32}},
      {"[H]C.[H]N.[H]O.[H]S.[H][H]", true, {41, 3, 43, 26, 42, 16, 42, 49, 48, 48}},
      {"[H+].[H-]", true, {44, 45}},
      {"B(C)(C)C.[B-](C)(C)(C)C", true, {54, 3, 3, 3, 55, 3, 3, 3, 3}},
      {"FC(Cl)(Br)I.[SiH4].P", true, {56, 3, 57, 58, 59, 60, 53}},
      {"[Cu].*.[Na+]", true, {62, 61, 62}},
  };
  for (const TypeCase& c : cases) {
    const QvGraphMol mol = smiles_test::FromSmiles(c.smiles, c.kekulize);
    std::vector<unsigned> types;
    for (const Tamrin::QvAtomBase& atom : mol->GetAtoms()) types.push_back(Tamrin::QvMMODAtomType(atom));
    EXPECT_EQ(types, c.types) << c.smiles;
  }
}

// What is compared across a round trip: per atom, the element, the formal
// charge, the hydrogens (implicit or bonded) and the bond-order sum.
std::vector<std::string> Chemistry(const Tamrin::QvMolBase& mol) {
  std::vector<std::string> out;
  for (const Tamrin::QvAtomBase& atom : mol.GetAtoms()) {
    if (atom.GetAtomicNum() == 1 && atom.GetFormalCharge() == 0 && atom.GetExplicitDegree() == 1) continue;
    unsigned hydrogens = atom.GetImplicitHCount(), valence = 0;
    for (const Tamrin::QvBondBase& bond : atom.GetBonds()) {
      if (bond.GetNbr(&atom)->GetAtomicNum() == 1)
        ++hydrogens;
      else
        valence += bond.GetOrder();
    }
    char text[64];
    std::snprintf(text, sizeof text, "Z%u q%d h%u v%u", atom.GetAtomicNum(), atom.GetFormalCharge(), hydrogens,
                  valence);
    out.emplace_back(text);
  }
  return out;
}

// Written with the default flavor (hydrogens added, laid out when there are
// no coordinates) and read back: the same chemistry, hydrogens as atoms.
TEST(MMODRoundTrip, KeepsElementsChargesHydrogensAndBonds) {
  for (const char* smiles : {"c1ccc2c(c1)cc[nH]2", "CC(=O)[O-].[NH4+]", "C#CC=C=CN", "O=S(=O)(O)c1ccccc1Br",
                             "[CH3-]", "C1CC1"}) {
    // Written with aromatic bond orders, compared with a Kekulé form.
    const QvGraphMol source = smiles_test::FromSmiles(smiles, false);
    const formattest::Written w = formattest::Write(source, 0x4001, QvFormat::MMOD);
    ASSERT_EQ(w.status, 0) << smiles;
    const formattest::ReadResult back = formattest::ReadAll(w.text, QvFormat::MMOD);
    ASSERT_EQ(back.mols.size(), 1u) << smiles << "\n" << w.text;
    const Tamrin::QvMolBase& mol = back.mols[0].GetMol();
    EXPECT_EQ(Chemistry(mol), Chemistry(smiles_test::FromSmiles(smiles))) << smiles << "\n" << w.text;
    // The layout made coordinates, flat ones.
    EXPECT_EQ(mol.GetDimension(), 2u) << smiles;
    EXPECT_TRUE(Tamrin::QvHasCoordinates(mol)) << smiles;
  }
}

// The exact record of a small 3D molecule with a title, an energy and partial
// charges, and the same values read back.
TEST(MMODRoundTrip, RecordColumnsAndValues) {
  QvGraphMol mol = smiles_test::FromSmiles("[H]C#N");
  mol.SetTitle("hcn\nfrom a test");
  mol.GetMol().SetEnergy(-12.5);
  const double xyz[3][3] = {{-1.0625, 0, 0}, {0, 0, 0}, {1.15625, 0.5, -0.25}};
  const double charges[3] = {0.25, 0.125, -0.375};
  unsigned i = 0;
  for (Tamrin::QvAtomBase& atom : mol.GetMol().GetAtoms()) {
    mol.GetMol().SetCoords(&atom, xyz[i]);
    atom.SetPartialCharge(charges[i++]);
  }
  mol.GetMol().SetDimension(3);
  const formattest::Written w = formattest::Write(mol, 0x4000, QvFormat::MMOD);
  std::string expected = "     3  hcn from a test  E = -12.500 KJ/mol\n";
  const unsigned types[3] = {41, 1, 24};
  const char* bonds[3] = {"     2 1     0 0", "     1 1     3 3", "     2 3     0 0"};
  for (unsigned a = 0; a < 3; ++a) {
    char line[256];
    std::snprintf(line, sizeof line, "%4u%s     0 0     0 0     0 0     0 0 %11.6f %11.6f %11.6f      0      0 %8.5f\n",
                  types[a], bonds[a], xyz[a][0], xyz[a][1], xyz[a][2], charges[a]);
    expected += line;
  }
  EXPECT_EQ(w.text, expected);

  const formattest::ReadResult back = formattest::ReadAll(w.text, QvFormat::MMOD);
  ASSERT_EQ(back.mols.size(), 1u);
  const Tamrin::QvMolBase& read = back.mols[0].GetMol();
  EXPECT_STREQ(read.GetTitle(), "hcn from a test");
  EXPECT_FLOAT_EQ(read.GetEnergy(), -12.5f);
  EXPECT_EQ(read.GetDimension(), 3u);
  i = 0;
  for (const Tamrin::QvAtomBase& atom : read.GetAtoms()) {
    double got[3];
    read.GetCoords(&atom, got);
    for (int k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ(got[k], xyz[i][k]);
    EXPECT_DOUBLE_EQ(atom.GetPartialCharge(), charges[i++]);
  }
  EXPECT_EQ(smiles_test::DescribeBonds(read), (std::vector<std::string>{"0-1:1", "1-2:3"}));
}

// Only six neighbours fit an atom line.
TEST(MMODWriter, SeventhBondLeftOutWithWarning) {
  const QvGraphMol mol = smiles_test::FromSmiles("F[I](F)(F)(F)(F)(F)F");
  const formattest::Written w = formattest::Write(mol, 0x4000, QvFormat::MMOD);
  ASSERT_EQ(w.warnings.size(), 1u);
  EXPECT_EQ(w.warnings[0], "Macromodel: atom 2 has 7 bonds, of which the format holds 6; the rest are left out");
  const std::vector<std::string> lines = Lines(w.text);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[2].substr(0, 52), "  59     1 1     3 1     4 1     5 1     6 1     7 1");
}

const char* const kGoodAtom =
    "   3     0 0     0 0     0 0     0 0     0 0     0 0    1.000000    2.000000    3.000000";

struct ReadCase {
  const char* name;
  std::string text;
  std::vector<std::string> titles;  // of the records read
  unsigned failed;
};

// Faulty records are skipped whole; the records around them are read.
TEST(MMODReader, FaultyRecordsAreSkippedAndTheRestRead) {
  const std::string good = std::string("1 good\n") + kGoodAtom + "\n";
  const std::string two_atoms = "2 pair\n 3 2 1 0 0 0 0 0 0 0 0 0 0 0 0 0\n 3 0 0 0 0 0 0 0 0 0 0 0 0 1 0 0\n";
  const ReadCase cases[] = {
      {"neighbour outside the record", "1 bad\n 3 2 1 0 0 0 0 0 0 0 0 0 0 0 0 0\n" + good, {"good"}, 1},
      {"coordinate missing", "2 bad\n 3 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n" + std::string(kGoodAtom) + "\n" + good,
       {"good"}, 1},
      {"coordinate not a number", "1 bad\n 3 0 0 0 0 0 0 0 0 0 0 0 0 0 x 0\n" + good, {"good"}, 1},
      {"header without a count", "bad\n" + good, {"good"}, 1},
      {"cut short", good + "3 cut\n" + kGoodAtom + "\n", {"good"}, 1},
      {"bond from one end only", two_atoms + good, {"pair", "good"}, 0},
      {"blank lines between records", good + "\n\n" + good, {"good", "good"}, 0},
  };
  for (const ReadCase& c : cases) {
    const formattest::ReadResult r = formattest::ReadAll(c.text, QvFormat::MMOD);
    EXPECT_EQ(formattest::Titles(r), c.titles) << c.name;
    EXPECT_EQ(r.failed, c.failed) << c.name;
  }
  const formattest::ReadResult pair = formattest::ReadAll(two_atoms, QvFormat::MMOD);
  ASSERT_EQ(pair.mols.size(), 1u);
  EXPECT_EQ(smiles_test::DescribeBonds(pair.mols[0].GetMol()), std::vector<std::string>{"0-1:1"});
}

TEST(MMODTokenizer, CutsRecordsByTheirCounts) {
  const std::string a = "2 a\nx\ny\n", b = " 1 b\nz\n", cut = "3 c\nw\n";
  EXPECT_EQ(formattest::Records(QvFormat::MMOD, Tamrin::QvDefaultInputFlavor(QvFormat::MMOD), a + "\n" + b + cut),
            (std::vector<std::string>{a, b, cut}));
}

struct DeckCase {
  unsigned flavor;
  const char* keywords;
  char flag;
  unsigned atoms;
};

// Flavor bit 0x1 adds the hydrogens, 0x2 flags the coordinates for
// optimisation; the charge goes into the keywords.
TEST(MOPACWriter, FlavorsChooseHydrogensAndOptimisation) {
  QvGraphMol mol = smiles_test::FromSmiles("C[NH3+]");
  mol.SetTitle("methylammonium");
  const double at[2][3] = {{0, 0, 0}, {1.5, 0, 0}};
  unsigned i = 0;
  for (Tamrin::QvAtomBase& atom : mol.GetMol().GetAtoms()) mol.GetMol().SetCoords(&atom, at[i++]);
  mol.GetMol().SetDimension(3);
  const DeckCase cases[] = {{0x4000, "PM7 1SCF CHARGE=1", '0', 2},
                            {0x4001, "PM7 1SCF CHARGE=1", '0', 8},
                            {0x4002, "PM7 CHARGE=1", '1', 2},
                            {0x4003, "PM7 CHARGE=1", '1', 8}};
  for (const DeckCase& c : cases) {
    const formattest::Written w = formattest::Write(mol, c.flavor, QvFormat::MOPAC);
    ASSERT_EQ(w.status, 0);
    const std::vector<std::string> lines = Lines(w.text);
    ASSERT_EQ(lines.size(), 3 + c.atoms) << c.flavor;
    EXPECT_EQ(lines[0], c.keywords);
    EXPECT_EQ(lines[1], "methylammonium");
    EXPECT_EQ(lines[2], "");
    for (std::size_t k = 3; k < lines.size(); ++k) {
      const Pellar::LineFields<8> f(lines[k]);
      ASSERT_EQ(f.count, 7u) << lines[k];
      for (int j : {2, 4, 6}) EXPECT_EQ(f.field[j], std::string(1, c.flag)) << lines[k];
    }
    char first[128];
    std::snprintf(first, sizeof first, "%-2s %13.8f %c %13.8f %c %13.8f %c", "C", 0.0, c.flag, 0.0, c.flag, 0.0,
                  c.flag);
    EXPECT_EQ(lines[3], first);
  }
}

// Keywords and comment from SD data, the dummy atom's symbol, and a blank
// line between consecutive decks.
TEST(MOPACWriter, KeywordsCommentDummyAndSecondDeck) {
  QvGraphMol mol = smiles_test::FromSmiles("[O-]*");
  Sorvil::QvSetSDData(mol.GetMol(), Tamrin::kQvMOPACKeywordsTag, "AM1 charge=-1\nXYZ");
  Sorvil::QvSetSDData(mol.GetMol(), Tamrin::kQvMOPACCommentTag, "made by a test");
  Tamrin::qvmolostream out;
  ASSERT_TRUE(out.SetFormat(QvFormat::MOPAC));
  ASSERT_TRUE(out.openstring(false));
  ASSERT_EQ(Tamrin::QvWriteMolecule(out, mol), 0);
  ASSERT_EQ(Tamrin::QvWriteMolecule(out, mol), 0);
  const std::vector<std::string> lines = Lines(out.GetString());
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], "AM1 charge=-1 XYZ");
  EXPECT_EQ(lines[2], "made by a test");
  EXPECT_EQ(lines[3].substr(0, 3), "O  ");
  EXPECT_EQ(lines[4].substr(0, 3), "XX ");
  EXPECT_EQ(lines[5], "");
  EXPECT_EQ(lines[6], lines[0]);
}

}  // namespace
