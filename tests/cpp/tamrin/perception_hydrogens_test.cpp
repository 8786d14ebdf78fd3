#include <gtest/gtest.h>

#include "perception_test_support.h"
#include "tamrin/perception/canonical.h"
#include "tamrin/perception/hydrogens.h"
#include "tamrin/perception/implicith.h"
#include "tamrin/perception/stereo.h"

namespace {

using namespace perception_test;
using Tamrin::QvAssignImplicitHCount;
using Tamrin::QvAssignImplicitHydrogens;
using Tamrin::QvSuppressHydrogens;

std::vector<unsigned> HCounts(const QvMolBase& mol) {
  std::vector<unsigned> out;
  for (const QvAtomBase& atom : mol.GetAtoms()) out.push_back(atom.GetImplicitHCount());
  return out;
}

struct ValenceCase {
  const char* smiles;
  std::vector<unsigned> expected;
};

// The counts are computed from scratch, as after a reader that knows only
// the heavy atoms and bonds (PDB, XYZ): every count is wiped first.
TEST(ImplicitHydrogens, FromStandardValences) {
  for (const ValenceCase& c : {ValenceCase{"C", {4}}, ValenceCase{"CC(=O)O", {3, 0, 0, 1}},
                              ValenceCase{"C#N", {1, 0}}, ValenceCase{"B(C)C", {1, 3, 3}},
                              ValenceCase{"CN(=O)=O", {3, 0, 0, 0}},  // N at 5
                              ValenceCase{"CP(C)C", {3, 0, 3, 3}}, ValenceCase{"CP(=O)(C)C", {3, 0, 0, 3, 3}},
                              ValenceCase{"CS", {3, 1}}, ValenceCase{"CS(=O)C", {3, 0, 0, 3}},
                              ValenceCase{"CS(=O)(=O)C", {3, 0, 0, 0, 3}}, ValenceCase{"CS(=O)(=O)=O", {3, 0, 0, 0, 0}},
                              ValenceCase{"FCCl", {0, 2, 0}}, ValenceCase{"BrI", {0, 0}},
                              ValenceCase{"C[N+](C)(C)C", {3, 0, 3, 3, 3}}, ValenceCase{"C[NH+]", {3, 3}},
                              ValenceCase{"C[O-]", {3, 0}}, ValenceCase{"C[O+]C", {3, 1, 3}},
                              ValenceCase{"[CH-]1C=CC=C1", {1, 1, 1, 1, 1}}, ValenceCase{"C[C+]C", {3, 1, 3}},
                              ValenceCase{"C[N-]C", {3, 0, 3}}, ValenceCase{"C[S+](C)C", {3, 0, 3, 3}},
                              ValenceCase{"[B-](F)(F)(F)F", {0, 0, 0, 0, 0}}, ValenceCase{"[Cl-]", {0}},
                              ValenceCase{"C[Cl+]C", {3, 0, 3}}, ValenceCase{"[Se]", {2}}, ValenceCase{"[As]", {3}},
                              // Elements and charges the rule does not cover keep their count.
                              ValenceCase{"[Fe]", {0}}, ValenceCase{"C[N+2]", {3, 0}},
                              // Aromatic bonds still at order 5 count one and a half.
                              ValenceCase{"c1ccccc1C", {1, 1, 1, 1, 1, 0, 3}}}) {
    QvGraphMol mol;
    ASSERT_TRUE(ParseInto(mol, c.smiles));
    for (QvAtomBase& atom : mol.GetAtoms()) atom.SetImplicitHCount(0);
    QvAssignImplicitHydrogens(mol);
    EXPECT_EQ(HCounts(mol), c.expected) << c.smiles;
  }
}

TEST(ImplicitHydrogensRule, OvervalentAndUncoveredAtomsAreLeftAlone) {
  QvGraphMol mol;
  ASSERT_TRUE(ParseInto(mol, "C(C)(C)(C)(C)C.[Fe]"));
  QvAtomBase* centre = AtomAt(mol, 0);
  QvAtomBase* iron = AtomAt(mol, 6);
  centre->SetImplicitHCount(2);
  iron->SetImplicitHCount(2);
  EXPECT_FALSE(QvAssignImplicitHCount(*centre));
  EXPECT_FALSE(QvAssignImplicitHCount(*iron));
  EXPECT_EQ(centre->GetImplicitHCount(), 2u);
  EXPECT_EQ(iron->GetImplicitHCount(), 2u);
  EXPECT_TRUE(QvAssignImplicitHCount(*AtomAt(mol, 1)));
  EXPECT_EQ(AtomAt(mol, 1)->GetImplicitHCount(), 3u);
}

// Hydrogen folding.

struct FoldCase {
  const char* name;
  const char* smiles;
  bool keep_isotopic;
  unsigned folded;
  unsigned atoms_left;
  std::vector<unsigned> counts;  // implicit counts of the atoms left, in order
};

TEST(FoldHydrogens, WhatIsFoldedAndWhatStays) {
  for (const FoldCase& c : {FoldCase{"methane", "[H]C([H])([H])[H]", false, 4, 1, {4}},
                              FoldCase{"water_partly_implicit", "[OH][H]", false, 1, 1, {2}},
                              FoldCase{"deuterium_folded", "[2H]C", false, 1, 1, {4}},
                              FoldCase{"deuterium_kept", "[2H]C", true, 0, 2, {0, 3}},
                              FoldCase{"proton_alone", "[H+]", false, 0, 1, {0}},
                              FoldCase{"hydride_on_boron", "[H-][BH3]", false, 0, 2, {0, 3}},
                              FoldCase{"dihydrogen", "[H][H]", false, 0, 2, {0, 0}},
                              FoldCase{"mapped", "[H:1]C", false, 0, 2, {0, 3}},
                              FoldCase{"on_wildcard", "*[H]", false, 0, 2, {0, 0}},
                              FoldCase{"double_bonded", "C=[H]", false, 0, 2, {2, 0}},
                              FoldCase{"ammonium", "[H][N+]([H])([H])[H]", false, 4, 1, {4}},
                              FoldCase{"bridging", "[BH2][H][BH2]", false, 0, 3, {2, 0, 2}}}) {
    QvGraphMol mol;
    ASSERT_TRUE(ParseInto(mol, c.smiles));
    EXPECT_EQ(QvSuppressHydrogens(mol, c.keep_isotopic), c.folded) << c.name;
    EXPECT_EQ(mol.NumAtoms(), c.atoms_left) << c.name;
    EXPECT_EQ(HCounts(mol), c.counts) << c.name;
  }
}

// A heavy atom one short of the limit takes one more hydrogen; the canonical
// ranking graph folds by the same rule and limit.
TEST(FoldHydrogensRule, ImplicitCountStopsAtItsLimit) {
  QvGraphMol mol;
  ASSERT_TRUE(ParseInto(mol, "[H]C[H]"));
  QvAtomBase* carbon = AtomAt(mol, 1);
  carbon->SetImplicitHCount(Tamrin::kQvMaxImplicitHydrogens - 1);
  const Tamrin::QvRankGraph ranked(mol, true);
  EXPECT_EQ(ranked.NumAtoms(), 2u);
  EXPECT_EQ(QvSuppressHydrogens(mol), 1u);
  EXPECT_EQ(carbon->GetImplicitHCount(), Tamrin::kQvMaxImplicitHydrogens);
  EXPECT_FALSE(AtomAt(mol, 2)->IsDeleted());
}

TEST(FoldHydrogensRule, KeepsPerceptionBitsAndTetrahedralStereo) {
  QvGraphMol mol;
  ASSERT_TRUE(ParseInto(mol, "FC(Cl)(Br)[H]"));
  QvAtomBase* f = AtomAt(mol, 0);
  QvAtomBase* c = AtomAt(mol, 1);
  QvAtomBase* cl = AtomAt(mol, 2);
  QvAtomBase* br = AtomAt(mol, 3);
  QvAtomBase* h = AtomAt(mol, 4);
  const std::vector<const QvAtomBase*> with_h{f, h, cl, br};
  ASSERT_TRUE(Tamrin::QvSetAtomStereo(*c, with_h, Tamrin::QvChirality::Clockwise));
  mol.SetPerceived(Tamrin::QvPerceivedRings | Tamrin::QvPerceivedAtomStereo, true);
  EXPECT_EQ(QvSuppressHydrogens(mol), 1u);
  EXPECT_TRUE(mol.HasPerceived(Tamrin::QvPerceivedRings | Tamrin::QvPerceivedAtomStereo));
  EXPECT_EQ(c->GetImplicitHCount(), 1u);
  const std::vector<const QvAtomBase*> folded{f, nullptr, cl, br};
  EXPECT_EQ(Tamrin::QvGetAtomStereo(*c, folded), Tamrin::QvChirality::Clockwise);
  // Survives compaction too.
  mol.Sweep();
  EXPECT_EQ(Tamrin::QvGetAtomStereo(*c, folded), Tamrin::QvChirality::Clockwise);
}

TEST(FoldHydrogensRule, KeepsCisTransStereo) {
  QvGraphMol mol;
  ASSERT_TRUE(ParseInto(mol, "[H]C(F)=C(Cl)[H]"));
  QvAtomBase* h1 = AtomAt(mol, 0);
  QvAtomBase* c1 = AtomAt(mol, 1);
  QvAtomBase* f = AtomAt(mol, 2);
  QvAtomBase* c2 = AtomAt(mol, 3);
  QvAtomBase* cl = AtomAt(mol, 4);
  QvBondBase* dbl = mol.GetBond(c1, c2);
  ASSERT_TRUE(Tamrin::QvSetBondStereo(*dbl, h1, cl, Tamrin::QvBondConfig::Cis));
  EXPECT_EQ(QvSuppressHydrogens(mol), 2u);
  EXPECT_EQ(Tamrin::QvGetBondStereo(*dbl, f, cl), Tamrin::QvBondConfig::Trans);
  EXPECT_EQ(Tamrin::QvGetBondStereo(*dbl, nullptr, cl), Tamrin::QvBondConfig::Cis);
  EXPECT_EQ(Tamrin::QvGetBondStereo(*dbl, nullptr, nullptr), Tamrin::QvBondConfig::Trans);
}

}  // namespace
