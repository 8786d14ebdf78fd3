// The molfile writer's bond block, V3000 layout, stereo groups and chiral
// flag, parities, the layout step, and round trips through the reader.
#include <gtest/gtest.h>

#include <array>
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
