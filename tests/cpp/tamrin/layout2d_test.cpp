#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "smiles_test_support.h"
#include "support/captured_messages.h"
#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/model.h"
#include "tamrin/perception/layout2d.h"
#include "tamrin/perception/layout2d_component.h"
#include "tamrin/perception/stereo.h"

namespace {

using Tamrin::QvAtomBase;
using Tamrin::QvBondBase;
using Tamrin::QvGraphMol;
using Tamrin::QvMolBase;
using Tamrin::layout2d::Point;
using smiles_test::FromSmiles;

constexpr double kBond = Tamrin::kQvLayout2DBondLength;
// No two atoms closer than this; bonded atoms within these bounds, looser
// for cages, which no flat drawing shows with even bonds, and for crowded
// giants that our own layout relaxes.
constexpr double kMinDistance = 0.5 * kBond;
struct BondRange {
  double shortest, longest;
};
constexpr BondRange kEvenBonds{0.75 * kBond, 1.3 * kBond};
constexpr BondRange kLooseBonds{0.6 * kBond, 1.5 * kBond};

std::vector<Point> Coords(const QvMolBase& mol) {
  std::vector<Point> xy;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    double c[3];
    atom.GetCoords(c);
    xy.push_back({c[0], c[1]});
  }
  return xy;
}

double Distance(const QvMolBase& mol, const QvAtomBase* a, const QvAtomBase* b) {
  double p[3], q[3];
  mol.GetCoords(a, p);
  mol.GetCoords(b, q);
  return std::hypot(p[0] - q[0], p[1] - q[1]);
}

// Everything a depiction must satisfy, as failures naming the molecule.
void ExpectGoodDepiction(const QvMolBase& mol, const std::string& what, BondRange bonds = kEvenBonds) {
  EXPECT_EQ(mol.GetDimension(), 2u) << what;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    double c[3];
    atom.GetCoords(c);
    EXPECT_TRUE(std::isfinite(c[0]) && std::isfinite(c[1])) << what;
    EXPECT_EQ(c[2], 0.0) << what;
  }
  const std::vector<Point> xy = Coords(mol);
  EXPECT_GE(Tamrin::layout2d::MinPairDistance(xy, kMinDistance), kMinDistance) << what;
  for (const QvBondBase& bond : mol.GetBonds()) {
    if (!bond.GetBgn() || !bond.GetEnd()) continue;
    const double d = Distance(mol, bond.GetBgn(), bond.GetEnd());
    EXPECT_GE(d, bonds.shortest) << what << " bond " << bond.GetIdx();
    EXPECT_LE(d, bonds.longest) << what << " bond " << bond.GetIdx();
  }
}

struct Shape {
  const char* name;
  const char* smiles;
  BondRange bonds = kEvenBonds;
};

const Shape kShapes[] = {
    {"benzene", "c1ccccc1"}, {"naphthalene", "c1ccc2ccccc2c1"}, {"phenanthrene", "c1ccc2c(c1)ccc1ccccc12"},
    {"steroid", "CC12CCC3C(CCC4CC(O)CCC34C)C1CCC2O"}, {"spiro", "C1CCC2(CC1)CCCC2"}, {"dispiro", "C1CC12CC21CC1"},
    {"norbornane", "C1CC2CCC1C2"}, {"bicyclooctane", "C1CC2CCC1CC2"},
    {"adamantane", "C1C2CC3CC1CC(C2)C3", kLooseBonds}, {"cubane", "C12C3C4C1C5C2C3C45", kLooseBonds},
    {"macrocycle_12", "C1CCCCCCCCCCC1"}, {"macrocycle_substituted", "O=C1CCCCCC(C)CCCCCC(=O)OCCCCO1"},
    {"long_chain", "CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC"}, {"branched", "CC(C)(C)C(C(C)(C)C)C(C)(C)C"},
    {"alkyne", "CC#CC#CC"}, {"allene", "CC=C=CC"}, {"fragments", "CCO.O.[Na+].[Cl-].c1ccccc1"}, {"one_atom", "[Fe]"},
    {"explicit_h", "[H]C([H])([H])C([H])([H])O[H]"},
    {"explicit_h_on_centres", "[H][C@@](F)(Cl)C[C@@]([H])(O)C1CC[C@]([H])(N)CC1"},
    {"drug", "CC(C)Cc1ccc(cc1)C(C)C(=O)O"}, {"drug_fused", "CN1C=NC2=C1C(=O)N(C(=O)N2C)C"},
    {"biaryl_ring_chain", "c1ccc(cc1)-c1ccc(CCN2CCN(CC2)c2ncccn2)cc1"},
};

// Each shape through coordgen and through our own layout (the quick
// option), which also takes the components coordgen is not given.
class Layout2DShapes : public ::testing::TestWithParam<Shape> {};

TEST_P(Layout2DShapes, CleanDepiction) {
  for (const unsigned options : {0u, Tamrin::kQvLayout2DQuick}) {
    QvGraphMol mol = FromSmiles(GetParam().smiles);
    ASSERT_TRUE(Tamrin::QvGenerate2DCoordinates(mol, options));
    ExpectGoodDepiction(mol, GetParam().name + std::string(" options ") + std::to_string(options), GetParam().bonds);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, Layout2DShapes, ::testing::ValuesIn(kShapes),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// Stereo double bonds as the SMILES states them.
const char* const kCisTrans[] = {
    "F/C=C/F", "F/C=C\\F", "C/C=C/C=C\\C", "CC/C(C)=C(\\CC)CCC", "[H]/C(F)=C(/[H])F", "OC(=O)/C=C\\C(=O)O",
    "c1ccccc1/C=C/c1ccccc1", "c1ccccc1/C=C\\c1ccccc1", "C/C=C/C/C=C\\CC/C=C/C", "CC/N=N/C", "CC/N=N\\C",
    "COC(=O)/C=C1/SC(N)=NC1=O", "COC(=O)/C=C1\\SC(N)=NC1=O",
};

// Every stereo double bond shows its stored configuration.
void ExpectStereoShown(const QvMolBase& mol, const std::string& what) {
  unsigned checked = 0;
  for (const QvBondBase& bond : mol.GetBonds()) {
    if (!Tamrin::QvHasBondStereo(bond)) continue;
    const QvAtomBase *a = bond.GetBgn(), *b = bond.GetEnd(), *ra = nullptr, *rb = nullptr;
    for (const QvAtomBase& n : a->GetAtoms())
      if (&n != b && !ra) ra = &n;
    for (const QvAtomBase& n : b->GetAtoms())
      if (&n != a && !rb) rb = &n;
    ASSERT_TRUE(ra && rb) << what;
    double pa[3], pb[3], qa[3], qb[3];
    a->GetCoords(pa), b->GetCoords(pb), ra->GetCoords(qa), rb->GetCoords(qb);
    auto side = [&](const double* q) { return (pb[0] - pa[0]) * (q[1] - pa[1]) - (pb[1] - pa[1]) * (q[0] - pa[0]); };
    const bool cis_drawn = side(qa) * side(qb) > 0;
    EXPECT_NE(side(qa) * side(qb), 0.0) << what;
    EXPECT_EQ(cis_drawn, Tamrin::QvGetBondStereo(bond, ra, rb) == Tamrin::QvBondConfig::Cis)
        << what << " bond " << bond.GetIdx();
    ++checked;
  }
  EXPECT_GT(checked, 0u) << what << ": no stereo bond was read";
}

// Through coordgen, through our own layout (where the repair by mirroring
// does the work), and with a tail that makes the molecule too large for
// coordgen.
TEST(Layout2DStereo, DrawsStoredCisTrans) {
  for (const char* smiles : kCisTrans)
    for (const std::string& text : {std::string(smiles), std::string(smiles) + "C" + std::string(320, 'C')})
      for (const unsigned options : {0u, Tamrin::kQvLayout2DQuick}) {
        QvGraphMol mol = FromSmiles(text);
        ASSERT_TRUE(Tamrin::QvGenerate2DCoordinates(mol, options));
        ExpectStereoShown(mol, smiles);
        ExpectGoodDepiction(mol, std::string(smiles) + " options " + std::to_string(options));
      }
}

// Components coordgen is not given: too large, or with a crowded centre.
TEST(Layout2D, LargeAndCrowdedComponentsGetOwnLayout) {
  std::string polymer;
  for (int i = 0; i < 60; ++i) polymer += "C(c1ccccc1)C";  // 480 atoms
  std::string hub = "[U]";
  for (int i = 0; i < 12; ++i) hub += "(CC)";
  for (const std::string& smiles : {polymer, hub, std::string("C1CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC1")}) {
    QvGraphMol mol = FromSmiles(smiles);
    ASSERT_TRUE(Tamrin::QvGenerate2DCoordinates(mol, 0));
    ExpectGoodDepiction(mol, smiles.substr(0, 40), kLooseBonds);
  }
}

}  // namespace
