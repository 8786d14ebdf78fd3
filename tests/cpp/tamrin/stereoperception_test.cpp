// Stereo from coordinates, and stored stereo: what the setters refuse,
// groups, and clearing.
#include <gtest/gtest.h>

#include "perception_test_support.h"
#include "tamrin/perception/stereo.h"
#include "tamrin/perception/stereoperception.h"

namespace {

using namespace perception_test;
using Tamrin::QvBondConfig;
using Tamrin::QvChirality;
using Tamrin::QvGetAtomStereo;
using Tamrin::QvGetBondStereo;
using Tamrin::QvSetAtomStereo;
using Tamrin::QvSetBondStereo;
using Tamrin::QvStereoGroup;
using Tamrin::QvStereoGroupKind;
using Nbrs = std::vector<const QvAtomBase*>;
constexpr auto kAnti = QvChirality::Anticlockwise;
constexpr auto kNone = QvChirality::None;

// ---------------------------------------------------------------------------
// Molecules drawn by hand: atoms with coordinates, created in any order.

struct AtomDef {
  unsigned z;
  double x, y, w;
  unsigned h = 0;
};
struct BondDef {
  unsigned a, b, order = 1;
  int mark = 0;
};

class Sketch {
 public:
  Sketch(const std::vector<AtomDef>& atoms, const std::vector<BondDef>& bonds, unsigned dim) {
    for (const AtomDef& a : atoms) {
      at_.push_back(mol_.GetMol().NewAtom(a.z));
      at_.back()->SetImplicitHCount(a.h);
      const double xyz[3] = {a.x, a.y, a.w};
      at_.back()->SetCoords(xyz);
    }
    for (const BondDef& b : bonds) {
      QvBondBase* bond = mol_.GetMol().NewBond(at_[b.a], at_[b.b], b.order);
      if (b.mark) bond->SetData(Sorvil::QvBondStereoTag, b.mark);
    }
    mol_.GetMol().SetDimension(dim);
  }
  QvMolBase& Mol() { return mol_.GetMol(); }
  QvAtomBase* At(unsigned i) const { return at_[i]; }
  QvChirality Hand(unsigned centre, const std::vector<int>& nbrs) const {
    Nbrs list;
    for (const int n : nbrs) list.push_back(n < 0 ? nullptr : at_[n]);
    return QvGetAtomStereo(*at_[centre], list);
  }

 private:
  QvGraphMol mol_;
  std::vector<QvAtomBase*> at_;
};

// CHFClBr: F on top, Cl at 0, Br at 120 and the hydrogen at 240 degrees seen
// from F, so anticlockwise from F: F[C@H](Cl)Br along (F, H, Cl, Br).
const std::vector<AtomDef> kChfclbr3D{{9, 0, 0, 1.0}, {6, 0, 0, 0, 1}, {17, 0.94, 0, -0.33}, {35, -0.47, 0.82, -0.33}};

// 2-butene from 2D or 3D coordinates; a twisted bond shows no side.
TEST(BondStereoFromCoords, ButeneCisTransAndTwisted) {
  struct Case {
    double y3, w3;
    unsigned dim;
    QvBondConfig expected;
  };
  for (const Case& c : {Case{0.9, 0, 2, QvBondConfig::Cis}, Case{-0.9, 0, 2, QvBondConfig::Trans},
                        Case{0.9, 0, 3, QvBondConfig::Cis}, Case{-0.9, 0.1, 3, QvBondConfig::Trans},
                        Case{0.0, 0.9, 3, QvBondConfig::None}, Case{0.0, 0.0, 2, QvBondConfig::None}}) {
    Sketch s({{6, -1.2, 0.9, 0, 3}, {6, -0.6, 0, 0, 1}, {6, 0.6, 0, 0, 1}, {6, c.y3 == 0 && c.w3 == 0 ? 2.0 : 1.2,
                                                                              c.y3, c.w3, 3}},
             {{0, 1}, {1, 2, 2}, {2, 3}}, c.dim);
    s.Mol().SetPerceived(Tamrin::QvPerceivedBondStereo, false);
    Tamrin::QvPerceiveBondStereoFromCoords(s.Mol(), {});
    const QvBondBase& dbl = *s.Mol().GetBond(s.At(1), s.At(2));
    EXPECT_EQ(QvGetBondStereo(dbl, s.At(0), s.At(3)), c.expected) << c.y3 << " " << c.w3 << " " << c.dim;
    EXPECT_EQ(QvGetBondStereo(dbl, nullptr, s.At(3)),
              c.expected == QvBondConfig::None ? c.expected
              : c.expected == QvBondConfig::Cis ? QvBondConfig::Trans
                                                : QvBondConfig::Cis);
    EXPECT_TRUE(s.Mol().HasPerceived(Tamrin::QvPerceivedBondStereo));
  }
}

// ---------------------------------------------------------------------------
// Stereo groups and the reading step.

TEST(StereoStep, ReadingStepPerceivesFrom3DOnly) {
  for (const unsigned dim : {3u, 0u}) {
    Sketch s(kChfclbr3D, {{1, 0}, {1, 2}, {1, 3}}, dim);
    Tamrin::QvPerceiveStereoFromCoords(s.Mol());
    EXPECT_EQ(s.Hand(1, {0, -1, 2, 3}), dim == 3 ? kAnti : kNone);
    EXPECT_EQ(s.Mol().HasPerceived(Tamrin::QvPerceivedAtomStereo), dim == 3);
  }
}

// ---------------------------------------------------------------------------
// Stored stereo: what the setters refuse, groups, and clearing.

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
