// Bonds from 3D coordinates: the distance rule at its edges, the per-element
// limits, existing bonds, bad coordinates and a large system.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support/captured_messages.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/perception/connectivity.h"

namespace {

using Tamrin::QvAtomBase;
using Tamrin::QvBondBase;
using Tamrin::QvGraphMol;

struct Placed {
  unsigned z;
  double x, y, zc;
};

// Small molecules compare all pairs, large ones go through the cell grid;
// `pad` appends 100 lone helium atoms far off, so that the same case takes
// the grid path.
void Build(QvGraphMol& mol, const std::vector<Placed>& atoms, bool pad = false) {
  std::vector<Placed> all = atoms;
  for (int k = 0; pad && k < 100; ++k) all.push_back({2, -1000.0, 3.0 * k, 0.0});
  for (const Placed& p : all) {
    QvAtomBase* atom = mol.NewAtom(p.z);
    const double xyz[3] = {p.x, p.y, p.zc};
    mol.SetCoords(atom, xyz);
  }
  mol.SetDimension(3);
}

QvAtomBase* AtomAt(const QvGraphMol& mol, unsigned idx) { return mol.GetAtom(Tamrin::QvHasAtomIdx{idx}); }

// The bonds as "i-j" pairs, lower index first, in bond order.
std::string Bonds(const QvGraphMol& mol) {
  std::string text;
  for (const QvBondBase& bond : mol.GetBonds()) {
    unsigned a = bond.GetBgn()->GetIdx(), b = bond.GetEnd()->GetIdx();
    if (a > b) std::swap(a, b);
    text += (text.empty() ? "" : " ") + std::to_string(a) + "-" + std::to_string(b);
  }
  return text;
}

// Sum of radii (C 0.76, H 0.31, O 0.66, Na 1.66) plus 0.45 A, and nothing
// under 0.4 A; wildcards and unknown elements take no bonds.
TEST(Connectivity, PairBondedWithinRadiiPlusTolerance) {
  const struct {
    unsigned z1, z2;
    double distance;
    bool bonded;
  } cases[] = {{6, 6, 1.96, true},  {6, 6, 1.98, false}, {1, 1, 1.06, true},   {1, 1, 1.08, false},
               {6, 1, 1.09, true},  {11, 8, 2.40, true}, {11, 8, 2.80, false}, {6, 6, 0.10, false},
               {1, 1, 0.41, true},  {0, 6, 1.0, false},  {200, 6, 1.0, false}};
  for (const auto& c : cases)
    for (const bool pad : {false, true}) {
      QvGraphMol mol;
      Build(mol, {{c.z1, 0, 0, 0}, {c.z2, c.distance, 0, 0}}, pad);
      CapturedMessages messages;
      Tamrin::QvDetermineConnectivity(mol);
      EXPECT_EQ(Bonds(mol), c.bonded ? "0-1" : "") << c.z1 << "-" << c.z2 << " at " << c.distance << " pad " << pad;
      if (mol.NumBonds() == 1) {
        EXPECT_EQ(mol.GetBonds().begin()->GetOrder(), 1u);
      }
    }
}

TEST(Connectivity, OverlapIsReportedOnceAndNotBonded) {
  for (const bool pad : {false, true}) {
    QvGraphMol mol;
    Build(mol, {{6, 0, 0, 0}, {6, 0.05, 0, 0}, {6, 0, 0.05, 0}, {8, 1.4, 0, 0}}, pad);
    CapturedMessages messages;
    Tamrin::QvDetermineConnectivity(mol);
    ASSERT_EQ(messages.lines().size(), 1u);
    EXPECT_EQ(messages.lines()[0], "Atoms 0 and 1 overlap (0.05 A apart); not bonded.");
    // O takes only its two closest carbons.
    EXPECT_EQ(Bonds(mol), "1-3 0-3") << pad;
  }
}

// The most stretched contacts go first when an atom would exceed its limit:
// a hydrogen squeezed between two carbons keeps the closer one, a carbon
// with five hydrogens in reach drops the farthest, relative to radii, so a
// short H...H contact (0.95 - 0.62 over, against C-H's 0.02) never displaces
// the C-H bond it sits beside. Atoms sharing a neighbour bond only across a
// three-membered ring's narrow angle, not across the short diagonal of a
// squashed four-ring.
TEST(Connectivity, LimitsAndSmallRings) {
  const struct {
    const char* name;
    std::vector<Placed> atoms;
    const char* bonds;
  } cases[] = {
      {"squeezed_h", {{6, 0, 0, 0}, {1, 1.15, 0, 0}, {6, 2.2, 0, 0}}, "1-2"},
      {"five_h", {{6, 0, 0, 0}, {1, 1.09, 0, 0}, {1, -1.09, 0, 0}, {1, 0, 1.09, 0}, {1, 0, -1.09, 0}, {1, 0, 0, 1.30}},
       "0-1 0-2 0-3 0-4"},
      {"short_hh", {{6, 0, 0, 0}, {1, 1.09, 0, 0}, {1, 1.6, 0.8, 0}}, "0-1"},
      {"cyclopropane", {{6, 0, 0, 0}, {6, 1.51, 0, 0}, {6, 0.755, 1.308, 0}}, "0-1 0-2 1-2"},
      {"epoxide", {{6, 0, 0, 0}, {6, 1.47, 0, 0}, {8, 0.735, 1.224, 0}}, "0-1 0-2 1-2"},
      {"rhombic_cyclobutene", {{6, 0.955, 0, 0}, {6, 0, 0.996, 0}, {6, -0.955, 0, 0}, {6, 0, -0.996, 0}},
       "0-1 0-3 1-2 2-3"},
  };
  for (const auto& c : cases)
    for (const bool pad : {false, true}) {
      QvGraphMol mol;
      Build(mol, c.atoms, pad);
      Tamrin::QvDetermineConnectivity(mol);
      EXPECT_EQ(Bonds(mol), c.bonds) << c.name << pad;
    }
}

TEST(Connectivity, ExistingBondsAreKeptAndCounted) {
  QvGraphMol mol;
  Build(mol, {{8, 0, 0, 0}, {1, 0.96, 0, 0}, {1, -0.96, 0, 0}, {6, 0, 1.4, 0}});
  // O-H kept with its order; the O already has two bonds, so C is refused.
  mol.NewBond(AtomAt(mol, 0), AtomAt(mol, 1), 2);
  mol.NewBond(AtomAt(mol, 0), AtomAt(mol, 2), 1);
  Tamrin::QvDetermineConnectivity(mol);
  EXPECT_EQ(Bonds(mol), "0-1 0-2");
  EXPECT_EQ(mol.GetBonds().begin()->GetOrder(), 2u);
}

// Nothing to measure: no coordinates, flat ones, or bad numbers.
TEST(Connectivity, LeavesMoleculesWithoutUsableCoordinates) {
  for (const unsigned dimension : {0u, 2u}) {
    QvGraphMol mol;
    Build(mol, {{6, 0, 0, 0}, {6, 1.5, 0, 0}});
    mol.SetDimension(dimension);
    Tamrin::QvDetermineConnectivity(mol);
    EXPECT_EQ(mol.NumBonds(), 0u) << dimension;
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  QvGraphMol mol;
  Build(mol, {{6, 0, 0, 0}, {6, nan, 0, 0}, {6, 1.5, 0, 0}, {6, inf, inf, 0}, {1, 1e30, -1e30, 0}});
  Tamrin::QvDetermineConnectivity(mol);
  EXPECT_EQ(Bonds(mol), "0-2");
  QvGraphMol empty;
  empty.SetDimension(3);
  Tamrin::QvDetermineConnectivity(empty);
  EXPECT_EQ(empty.NumBonds(), 0u);
}

// Far-flung coordinates (8e6 A out, beyond 2^21 cells of 1.97 A) clamp into an
// edge cell; distances stay exact there. Stored as floats, so the offsets
// are multiples of 0.5.
TEST(Connectivity, ClampedCellsStayExact) {
  QvGraphMol mol;
  Build(mol, {{6, 0, 0, 0}, {6, 8e6, 0, 0}, {6, 8e6 + 1.5, 0, 0}, {6, 8e6 + 3.0, 0, 0}, {6, 8e6 + 100, 0, 0}}, true);
  Tamrin::QvDetermineConnectivity(mol);
  EXPECT_EQ(Bonds(mol), "1-2 2-3");
}

}  // namespace
