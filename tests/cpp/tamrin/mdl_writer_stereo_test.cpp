// The molfile writer's bond block, V3000 layout, stereo groups and chiral
// flag, parities, the layout step, and round trips through the reader.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "mdl_test_support.h"
#include "tamrin/formats/mdl/mdlparity.h"
#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/perception/layout2d.h"
#include "tamrin/perception/stereo.h"
#include "tamrin/perception/stereoperception.h"

namespace {

using Tamrin::QvAtomBase;
using Tamrin::QvBondBase;
using Tamrin::QvGraphMol;
using Tamrin::QvMolBase;
using namespace mdltest;

// Lines of a molecule written from SMILES without coordinates: {SMILES,
// flavor, number of the first line, the lines from there}.
TEST(MDLWriter, WrittenLines) {
  constexpr unsigned P = kPlain, V3 = kPlain | 0x8, B = kBlankDate;
  const std::tuple<std::string, unsigned, std::size_t, std::string> cases[] = {
      // Bond blocks; a double bond that could be cis or trans but is neither is marked "either".
      {"CC=CC", P, 8, "  1  2  1  0  0  0  0\n  2  3  2  3  0  0  0\n  3  4  1  0  0  0  0"},
      {"C/C=C/C", P, 8, "  1  2  1  0  0  0  0\n  2  3  2  0  0  0  0\n  3  4  1  0  0  0  0"},
      {"CC=NO", P, 8, "  1  2  1  0  0  0  0\n  2  3  2  3  0  0  0\n  3  4  1  0  0  0  0"},
      {"C=C(C)C", P, 8, "  1  2  2  0  0  0  0\n  2  3  1  0  0  0  0\n  2  4  1  0  0  0  0"},
      {"CC(C)=C(C)C", P, 10, "  1  2  1  0  0  0  0\n  2  3  1  0  0  0  0\n  2  4  2  0  0  0  0\n"
                             "  4  5  1  0  0  0  0\n  4  6  1  0  0  0  0"},
      {"CC=O", P, 7, "  1  2  1  0  0  0  0\n  2  3  2  0  0  0  0"},
      {"CC#N", P, 7, "  1  2  1  0  0  0  0\n  2  3  3  0  0  0  0"},
      // The ring bond opens first and is listed first.
      {"C1CC=CC1", P, 9, "  1  5  1  0  0  0  0\n  1  2  1  0  0  0  0\n  2  3  1  0  0  0  0\n"
                         "  3  4  2  0  0  0  0\n  4  5  1  0  0  0  0"},
      // V3000 atom properties.
      {"[CH2]", V3, 7, "M  V30 1 C 0.000000 0.000000 0.000000 0 RAD=1"},
      {"[C]", V3, 7, "M  V30 1 C 0.000000 0.000000 0.000000 0 VAL=-1"},
      {"[SH3]C", V3, 7, "M  V30 1 S 0.000000 0.000000 0.000000 0 VAL=4"},
      {"[NH4+]", V3, 7, "M  V30 1 N 0.000000 0.000000 0.000000 0 CHG=1"},
      {"[R7]C", V3, 7, "M  V30 1 R# 0.000000 0.000000 0.000000 7"},
      {"[Abcd]C", V3, 7, "M  V30 1 Abc 0.000000 0.000000 0.000000 0"},
      {"[2H]C", V3, 7, "M  V30 1 H 0.000000 0.000000 0.000000 0 MASS=2"},
      // The counts line's chiral flag from the stored stereo with 0x20 alone.
      {"C[C@](F)(Cl)Br", 0x20 | B, 3, "  5  4  0     1  0  0  0  0  0999 V2000"},
      {"CC(F)(Cl)Br", 0x20 | B, 3, "  5  4  0     0  0  0  0  0  0999 V2000"},
      {"C[C@](F)(Cl)Br", 0x30 | B, 3, "  5  4  0     0  0  0  0  0  0999 V2000"},
      {"C[C@](F)(Cl)Br", 0x40 | B, 3, "  5  4  0     0  0  0  0  0  0999 V2000"}};
  for (const auto& [smiles, flavor, first, expected] : cases) {
    const std::vector<std::string> lines = Lines(Write(FromSmiles(smiles), flavor).text);
    std::string got;
    for (std::size_t i = first; i < lines.size() && got.size() < expected.size(); ++i)
      got += (i > first ? "\n" : "") + lines[i];
    EXPECT_EQ(got, expected) << smiles << " 0x" << std::hex << flavor;
  }
}

// Wedge marks (bond data tag 55) on a bond made from atom 3 to atom 1:
// {order, mark, V2000 line, V3000 line}.
TEST(MDLWriter, WedgeStereoColumnAndDirection) {
  const std::tuple<unsigned, int, std::string, std::string> cases[] = {
      {1, 0, "  1  3  1  0  0  0  0", "M  V30 2 1 1 3"},
      {1, 2, "  3  1  1  1  0  0  0", "M  V30 2 1 3 1 CFG=1"},
      {1, 1, "  3  1  1  6  0  0  0", "M  V30 2 1 3 1 CFG=3"},
      {1, 5, "  3  1  1  4  0  0  0", "M  V30 2 1 3 1 CFG=2"},
      {2, 6, "  3  1  2  3  0  0  0", "M  V30 2 2 3 1 CFG=2"},
      {1, 3, "  3  1  1  0  0  0  0", "M  V30 2 1 3 1"}};
  for (const auto& [order, mark, v2000, v3000] : cases) {
    QvGraphMol mol = FromSmiles("CC.C");
    QvMolBase& m = mol.GetMol();
    QvBondBase* bond = m.NewBond(smiles_test::AtomAt(m, 2), smiles_test::AtomAt(m, 0), order);
    if (mark != 0) bond->SetData(Sorvil::QvBondStereoTag, mark);
    EXPECT_EQ(Lines(Write(m, kPlain).text)[8], v2000);
    EXPECT_EQ(Lines(Write(m, kPlain | 0x8).text)[13], v3000);
  }
}

TEST(MDLWriterV3000, RecordIsByteExact) {
  QvGraphMol mol = FromSmiles("[CH2][CH:5]([13CH3])[O-] name");
  SetCoords(mol.GetMol(), {{0, 0, 0}, {1.5, -0.25, 0}, {0, 0, 0}, {-1, 2.125, 0.5}});
  mol.GetMol().SetDimension(3);
  smiles_test::AtomAt(mol.GetMol(), 1)->SetData(Sorvil::QvGetTag("MDLAtomParity"), 3);
  EXPECT_EQ(Write(mol.GetMol(), kPlain | 0x8, Tamrin::QvFormat::MDL).text,
            "name\n  -Tamrin-          3D\n\n  0  0  0     0  0            999 V3000\nM  V30 BEGIN CTAB\n"
            "M  V30 COUNTS 4 3 0 0 0\nM  V30 BEGIN ATOM\nM  V30 1 C 0.000000 0.000000 0.000000 0 RAD=2\n"
            "M  V30 2 C 1.500000 -0.250000 0.000000 5 CFG=3\nM  V30 3 C 0.000000 0.000000 0.000000 0 MASS=13\n"
            "M  V30 4 O -1.000000 2.125000 0.500000 0 CHG=-1\nM  V30 END ATOM\nM  V30 BEGIN BOND\n"
            "M  V30 1 1 1 2\nM  V30 2 1 2 3\nM  V30 3 1 2 4\nM  V30 END BOND\nM  V30 END CTAB\nM  END\n");
}

// Stereo groups: which layout they need, the chiral flag, the collection.
TEST(MDLWriter, StereoGroupsLayoutAndFlag) {
  const std::string v2000_chiral = "  5  4  0     1  0  0  0  0  0999 V2000";
  const std::string v2000_plain = "  5  4  0     0  0  0  0  0  0999 V2000";
  // {SMILES, "MDLParity" data (-1 none), counts line, collection lines}
  const std::tuple<std::string, int, std::string, std::vector<std::string>> cases[] = {
      {"C[C@](F)(Cl)Br", -1, v2000_plain, {}}, {"C[C@](F)(Cl)Br", 1, v2000_chiral, {}},
      {"C[C@](F)(Cl)Br |a:1|", -1, v2000_chiral, {}}, {"C[C@](F)(Cl)Br |a:1|", 0, v2000_plain, {}},
      {"C[C@](F)(Cl)Br |&1:1|", -1, v2000_plain, {}},
      {"C[C@](F)(Cl)Br |&1:1|", 1, "M  V30 COUNTS 5 4 0 0 1", {"M  V30 MDLV30/STERAC1 ATOMS=(1 2)"}},
      {"C[C@](F)(Cl)Br |o1:1|", -1, "M  V30 COUNTS 5 4 0 0 1", {"M  V30 MDLV30/STEREL1 ATOMS=(1 2)"}},
      {"F[C@](Cl)(Br)[C@@](F)(Br)[C@](F)(Cl)Br |&3:1,&2:4,a:7|", -1, "M  V30 COUNTS 11 10 0 0 1",
       {"M  V30 MDLV30/STEABS ATOMS=(1 8)", "M  V30 MDLV30/STERAC1 ATOMS=(1 5)", "M  V30 MDLV30/STERAC2 ATOMS=(1 2)"}},
      {"F[C@](Cl)(Br)[C@@](F)(Cl)Br |o1:1,4|", -1, "M  V30 COUNTS 8 7 0 0 1", {"M  V30 MDLV30/STEREL1 ATOMS=(2 2 5)"}}};
  for (const auto& [smiles, chiral_data, counts, expected] : cases) {
    QvGraphMol mol = FromSmiles(smiles);
    if (chiral_data >= 0) mol.GetMol().SetData(Sorvil::QvGetTag("MDLParity"), chiral_data == 1);
    const std::string text = Write(mol.GetMol(), kPlain).text;
    const std::vector<std::string> lines = Lines(text);
    std::vector<std::string> collection;
    bool inside = false;
    for (const std::string& line : lines) {
      if (line == "M  V30 END COLLECTION") inside = false;
      if (inside) collection.push_back(line);
      if (line == "M  V30 BEGIN COLLECTION") inside = true;
    }
    EXPECT_EQ(lines[3].starts_with("  0  0  0") ? lines[5] : lines[3], counts) << text;
    EXPECT_EQ(collection, expected) << text;
  }
}

// The layout step (0x100): who gets new coordinates, and the warnings.
TEST(MDLWriter, LayoutStep) {
  const std::string moved = "QvWriteMolecule() : adding 2D coordinates to zero-dimension molecule that actually "
                            "has coordinates, someone else should be calling mol.SetDimension() on this molecule";
  const std::string redrawn = "QvWriteMolecule() : assigning 2D coordinates to stereo hydrogens";
  const unsigned flavor = 0x140 | kBlankDate;
  {  // no coordinates at all: quietly drawn
    QvGraphMol mol = FromSmiles("CCO");
    const Written w = Write(mol.GetMol(), flavor);
    EXPECT_TRUE(w.warnings.empty());
    EXPECT_EQ(Lines(w.text)[1], "  -Tamrin-          2D");
    EXPECT_NE(Lines(w.text)[4].substr(0, 20), Lines(w.text)[5].substr(0, 20));
    EXPECT_EQ(Lines(Write(mol.GetMol(), kPlain).text)[5].substr(0, 30), "    0.0000    0.0000    0.0000");
  }
  {  // coordinates without a dimension: drawn anew, with the warning
    QvGraphMol mol = FromSmiles("CCO");
    SetCoords(mol.GetMol(), {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}});
    EXPECT_EQ(Write(mol.GetMol(), flavor).warnings, std::vector<std::string>{moved});
  }
  {  // a 2D picture without wedges for its centre is redrawn, with wedges
    QvGraphMol mol = FromSmiles("C[C@](F)(Cl)Br");
    SetCoords(mol.GetMol(), {{0, 0, 0}, {1.3f, 0.75f, 0}, {2.6f, 0, 0}, {1.3f, 2.25f, 0}, {1.3f, -0.75f, 0}});
    mol.GetMol().SetDimension(2);
    const std::string before = Describe(mol.GetMol());
    const Written w = Write(mol.GetMol(), flavor);
    EXPECT_EQ(w.warnings, std::vector<std::string>{redrawn});
    EXPECT_EQ(Describe(mol.GetMol()), before);
    int wedges = 0;
    for (int b = 9; b < 13; ++b) wedges += Lines(w.text)[b][11] == '1' || Lines(w.text)[b][11] == '6';
    EXPECT_EQ(wedges, 1) << w.text;
    // What the writer drew is correct: the same molecule from that text is not redrawn.
    QvGraphMol drawn = FromSmiles("C[C@](F)(Cl)Br");
    EXPECT_TRUE(Tamrin::QvGenerate2DCoordinates(drawn.GetMol(), 0));
    Tamrin::QvAssignWedgeMarks(drawn.GetMol());
    const Written kept = Write(drawn.GetMol(), flavor);
    EXPECT_TRUE(kept.warnings.empty());
    EXPECT_EQ(kept.text, Write(drawn.GetMol(), kPlain).text);
    // Stored the other way than drawn: redrawn.
    QvAtomBase& centre = *smiles_test::AtomAt(drawn.GetMol(), 1);
    std::vector<const QvAtomBase*> nbrs;
    for (const QvAtomBase& nbr : centre.GetAtoms()) nbrs.push_back(&nbr);
    const Tamrin::QvChirality hand = Tamrin::QvGetAtomStereo(centre, nbrs);
    ASSERT_NE(hand, Tamrin::QvChirality::None);
    ASSERT_TRUE(Tamrin::QvSetAtomStereo(centre, nbrs, hand == Tamrin::QvChirality::Clockwise
                                                          ? Tamrin::QvChirality::Anticlockwise
                                                          : Tamrin::QvChirality::Clockwise));
    EXPECT_EQ(Write(drawn.GetMol(), flavor).warnings, std::vector<std::string>{redrawn});
  }
  {  // 3D stays as it is
    QvGraphMol mol = FromSmiles("CCO");
    SetCoords(mol.GetMol(), {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}});
    mol.GetMol().SetDimension(3);
    const Written w = Write(mol.GetMol(), flavor);
    EXPECT_TRUE(w.warnings.empty());
    EXPECT_EQ(Lines(w.text)[6].substr(0, 30), "    3.0000    3.0000    3.0000");
  }
}

// Written by this writer and read back by the molfile reader, a molecule is
// the same: canonical SMILES with stereo, isotopes, maps and stereo groups,
// in V2000 and in V3000, with the title and SD data. (Aromatic input, as
// the reader perceives aromaticity after reading.)
TEST(MDLWriter, RoundTripsThroughTheReader) {
  const auto canonical = [](const QvMolBase& mol) {
    std::string smiles;
    EXPECT_TRUE(Tamrin::QvCreateSmiString(smiles, mol, Tamrin::QvSmiDefault | Tamrin::QvSmiFlag::CXBlock));
    return smiles;
  };
  const unsigned sdf = Tamrin::QvDefaultOutputFlavor(Tamrin::QvFormat::SDF);
  for (const std::string smiles : {
      "CCO", "c1ccccc1[N+](=O)[O-]", "C[C@H](F)Cl", "C[C@@H](F)Cl", "F/C=C/F", "F/C=C\\F", "CC=CC", "C/C=C/C=C/C",
      "[13CH3][CH2]", "[12CH4]", "[Fe+4]", "[2H]C([2H])([2H])Cl", "[CH3:3]C[OH:7]", "[R1]C(=O)[R2]",
      "C[C@H]1CC[C@@H](C)CC1", "C[S@](=O)c1ccccc1", "O=C1N[C@@H](Cc2ccccc2)C(=O)N1", "[Na+].[Cl-]",
      "C[C@H](F)[C@@H](F)Cl |&1:1,o1:3|", "C[C@H](F)[C@@H](F)Cl |a:1,3|", "n1c[nH]cc1", "c1ccc2[nH]ccc2c1",
      "[O-][n+]1ccccc1", "CC(C)(C)/N=C/c1ccccc1",
      // double bonds leaving an aromatic ring: drawn as stored, or marked "either"
      "CC(=O)/N=c1/sc(S(N)(=O)=O)nn1C", "CC(=O)/N=c1\\sc(S(N)(=O)=O)nn1C", "C/C=c1\\oc(N)c(C#N)c1=C(C#N)C#N",
      "CC(=O)N=c1sc(S(N)(=O)=O)nn1C",
      // a double bond that only its branches' cis and trans make one
      "CN/N=C(/C=N\\O)\\C=N\\O", "ON=CC(/C=N/O)=NO"}) {
    QvGraphMol mol = FromSmiles(smiles);
    mol.GetMol().SetTitle("record");
    Sorvil::QvAddSDData(mol.GetMol(), "id", "42");
    Sorvil::QvAddSDData(mol.GetMol(), "note", "two\nlines");
    for (unsigned flavor : {sdf, sdf | 0x8u}) {
      SCOPED_TRACE(smiles + " flavor " + std::to_string(flavor));
      const Written w = Write(mol.GetMol(), flavor);
      EXPECT_EQ(w.warnings, std::vector<std::string>{});
      // Stereo groups are made from the chiral flag only when the reader is asked to.
      const formattest::ReadResult back =
          Read(w.text, Tamrin::QvFormat::SDF, smiles.find('|') != std::string::npos ? 0x4008 : 0);
      ASSERT_EQ(back.mols.size(), 1u) << w.text;
      EXPECT_EQ(canonical(back.mols[0].GetMol()), canonical(mol.GetMol())) << w.text;
      EXPECT_STREQ(back.mols[0].GetMol().GetTitle(), "record");
      EXPECT_EQ(Sorvil::QvGetSDDataPairs(back.mols[0].GetMol()), Sorvil::QvGetSDDataPairs(mol.GetMol()));
      EXPECT_EQ(back.messages, std::vector<std::string>{}) << w.text;
    }
  }
}

}  // namespace
