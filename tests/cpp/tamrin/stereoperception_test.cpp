#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "perception_test_support.h"
#include "tamrin/formats/mdl/mdlparity.h"
#include "tamrin/perception/stereoperception.h"

namespace {

using namespace perception_test;
using Tamrin::QvBondConfig;
using Tamrin::QvChirality;
using Tamrin::QvGetAtomStereo;
using Tamrin::QvGetBondStereo;
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

}  // namespace
