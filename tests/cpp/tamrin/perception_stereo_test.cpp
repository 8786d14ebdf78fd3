#include <gtest/gtest.h>


#include "perception_test_support.h"
#include "tamrin/perception/stereo.h"

namespace {

using namespace perception_test;
using Tamrin::QvBondConfig;
using Tamrin::QvChirality;
using Tamrin::QvGetAtomStereo;
using Tamrin::QvGetBondStereo;
using Tamrin::QvSetAtomStereo;
using Tamrin::QvSetBondStereo;

using Nbrs = std::vector<const QvAtomBase*>;

TEST(AtomStereo, RefusesListsThatDoNotFit) {
  QvGraphMol mol;
  ASSERT_TRUE(ParseInto(mol, "FC(Cl)(Br)I.F[CH](Cl)Br.FC(Cl)C.N"));
  QvAtomBase* full = AtomAt(mol, 1);
  QvAtomBase* with_h = AtomAt(mol, 6);
  QvAtomBase* two_h = AtomAt(mol, 10);
  QvAtomBase* other = AtomAt(mol, 13);
  two_h->SetImplicitHCount(2);
  const Nbrs ok{AtomAt(mol, 0), AtomAt(mol, 2), AtomAt(mol, 3), AtomAt(mol, 4)};
  const std::vector<Nbrs> bad{
      {AtomAt(mol, 0), AtomAt(mol, 2), AtomAt(mol, 3)},                          // too short
      {AtomAt(mol, 0), AtomAt(mol, 2), AtomAt(mol, 3), AtomAt(mol, 3)},          // repeated
      {AtomAt(mol, 0), AtomAt(mol, 2), AtomAt(mol, 3), other},                   // not a neighbour
      {AtomAt(mol, 0), AtomAt(mol, 2), AtomAt(mol, 3), nullptr},                 // no hydrogen there
      {AtomAt(mol, 0), AtomAt(mol, 2), AtomAt(mol, 3), AtomAt(mol, 4), nullptr}  // too long
  };
  for (const Nbrs& list : bad) {
    EXPECT_FALSE(QvSetAtomStereo(*full, list, QvChirality::Clockwise));
    EXPECT_FALSE(Tamrin::QvHasAtomStereo(*full));
  }
  EXPECT_FALSE(QvSetAtomStereo(*full, ok, QvChirality::None));
  ASSERT_TRUE(QvSetAtomStereo(*full, ok, QvChirality::Clockwise));
  for (const Nbrs& list : bad) EXPECT_EQ(QvGetAtomStereo(*full, list), QvChirality::None);
  // Two nulls, and an atom with two hydrogens, are no centres.
  const Nbrs two_nulls{AtomAt(mol, 5), nullptr, AtomAt(mol, 7), nullptr};
  EXPECT_FALSE(QvSetAtomStereo(*with_h, two_nulls, QvChirality::Clockwise));
  const Nbrs ch2{AtomAt(mol, 9), nullptr, AtomAt(mol, 11), AtomAt(mol, 12)};
  EXPECT_FALSE(QvSetAtomStereo(*two_h, ch2, QvChirality::Clockwise));
  Tamrin::QvClearAtomStereo(*full);
  EXPECT_EQ(QvGetAtomStereo(*full, ok), QvChirality::None);
}

TEST(StereoGroups, KindsNumbersAndRefusals) {
  QvGraphMol mol;
  ASSERT_TRUE(ParseInto(mol, "CC"));
  QvAtomBase* atom = AtomAt(mol, 0);
  using Tamrin::QvStereoGroup;
  using Tamrin::QvStereoGroupKind;
  EXPECT_EQ(Tamrin::QvGetStereoGroup(*atom), QvStereoGroup{});
  const std::vector<std::pair<QvStereoGroup, bool>> cases{
      {{QvStereoGroupKind::Absolute, 0}, true}, {{QvStereoGroupKind::Absolute, 1}, false},
      {{QvStereoGroupKind::Or, 1}, true},       {{QvStereoGroupKind::Or, 0}, false},
      {{QvStereoGroupKind::And, 7}, true},      {{QvStereoGroupKind::And, 0x1000000}, false},
      {{QvStereoGroupKind::None, 0}, false}};
  for (const auto& [group, ok] : cases) {
    QvGraphMol fresh;
    QvAtomBase* a = fresh.NewAtom(6);
    EXPECT_EQ(Tamrin::QvSetStereoGroup(*a, group), ok);
    EXPECT_EQ(Tamrin::QvGetStereoGroup(*a), ok ? group : QvStereoGroup{});
  }
}

TEST(Stereo, ClearStereoRemovesEverythingAndTheBits) {
  QvGraphMol mol;
  ASSERT_TRUE(ParseInto(mol, "FC(Cl)(Br)I.FC=CF"));
  const Nbrs order{AtomAt(mol, 0), AtomAt(mol, 2), AtomAt(mol, 3), AtomAt(mol, 4)};
  ASSERT_TRUE(QvSetAtomStereo(*AtomAt(mol, 1), order, QvChirality::Clockwise));
  QvBondBase* dbl = mol.GetBond(AtomAt(mol, 6), AtomAt(mol, 7));
  ASSERT_TRUE(QvSetBondStereo(*dbl, AtomAt(mol, 5), AtomAt(mol, 8), QvBondConfig::Cis));
  ASSERT_TRUE(Tamrin::QvSetStereoGroup(*AtomAt(mol, 1), {Tamrin::QvStereoGroupKind::Or, 2}));
  mol.SetPerceived(Tamrin::QvPerceivedAtomStereo | Tamrin::QvPerceivedBondStereo | Tamrin::QvPerceivedRings, true);
  Tamrin::QvClearStereo(mol);
  EXPECT_FALSE(Tamrin::QvHasAtomStereo(*AtomAt(mol, 1)) || Tamrin::QvHasBondStereo(*dbl) ||
               mol.HasPerceived(Tamrin::QvPerceivedAtomStereo) || mol.HasPerceived(Tamrin::QvPerceivedBondStereo));
  EXPECT_EQ(Tamrin::QvGetStereoGroup(*AtomAt(mol, 1)).kind, Tamrin::QvStereoGroupKind::None);
  EXPECT_TRUE(mol.HasPerceived(Tamrin::QvPerceivedRings));
}

}  // namespace
