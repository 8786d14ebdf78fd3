// Bonds from 3D coordinates: the distance rule at its edges, the per-element
// limits, existing bonds, bad coordinates and a large system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "support/captured_messages.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/model.h"
#include "tamrin/perception/connectivity.h"

namespace {

using Tamrin::QvBondBase;
using Tamrin::QvGraphMol;
using Tamrin::QvMolBase;

struct Placed {
  unsigned z;
  double x, y, zc;
};

// Small molecules compare all pairs, large ones go through the cell grid;
// `pad` appends 100 lone helium atoms far off, so that the same case takes
// the grid path.
void Build(QvMolBase& mol, const std::vector<Placed>& atoms, bool pad = false) {
  std::vector<Placed> all = atoms;
  for (int k = 0; pad && k < 100; ++k) all.push_back({2, -1000.0, 3.0 * k, 0.0});
  std::vector<double> xyz;
  for (const Placed& p : all) {
    mol.NewAtom(p.z);
    xyz.insert(xyz.end(), {p.x, p.y, p.zc});
  }
  // A multi-conformer molecule holds them in a conformer.
  if (auto* multi = dynamic_cast<Tamrin::QvMCMolBase*>(&mol))
    multi->NewConf(xyz.data());
  else
    mol.SetCoords(xyz.data());
  mol.SetDimension(3);
}

// The bonds as "i-j" pairs, lower index first, in bond order.
std::string Bonds(const QvMolBase& mol) {
  std::string text;
  for (const QvBondBase& bond : mol.GetBonds()) {
    unsigned a = bond.GetBgn()->GetIdx(), b = bond.GetEnd()->GetIdx();
    if (a > b) std::swap(a, b);
    text += (text.empty() ? "" : " ") + std::to_string(a) + "-" + std::to_string(b);
  }
  return text;
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
    EXPECT_EQ(Bonds(mol), "0-3 1-3") << pad;
  }
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

// Large atoms (ions, metals) reach further than the cells of the others:
// few of them search further cells, many share cells that fit them. Either
// way the grid finds what all pairs find.
TEST(Connectivity, LargeAtomsFindTheirPartners) {
  std::vector<Placed> ion = {{11, 0, 0, 0},   {8, 2.4, 0, 0}, {8, -2.4, 0, 0}, {8, 0, 2.5, 0},
                             {8, 0, -2.6, 0}, {6, 5, 5, 5},   {6, 6.5, 5, 5}};
  std::vector<Placed> chain;
  for (int k = 0; k < 12; ++k) chain.push_back({11, 3.2 * k, 0, 0});
  chain.push_back({8, 1.6, 2.2, 0});
  for (const auto& atoms : {ion, chain}) {
    QvGraphMol small, padded;
    Build(small, atoms);
    Build(padded, atoms, true);
    Tamrin::QvDetermineConnectivity(small);
    Tamrin::QvDetermineConnectivity(padded);
    EXPECT_GE(small.NumBonds(), 5u);
    EXPECT_EQ(Bonds(padded), Bonds(small));
  }
}

// The cells fit the light elements (1.97 A here); S, P and ions reach past
// them (S-C up to 2.26 A, S-S 2.55, Na-O 2.77). Stretched pairs of those
// across two cell boundaries, and a dense random cluster, bond through the
// grid as through all pairs (few enough wide atoms that the grid keeps the
// small cells).
TEST(Connectivity, WideAtomsReachPastTheirCells) {
  std::vector<Placed> atoms = {{16, 0, 1.9, 0},  {6, 0, 4.1, 0},  {16, 10, 1.9, 0}, {16, 10, 4.4, 0},
                               {15, 20, 1.9, 0}, {8, 20, 4.0, 0}, {11, 30, 1.9, 0}, {8, 30, 4.4, 0}};
  const unsigned elements[] = {1, 6, 1, 7, 1, 8, 6, 16, 1, 6, 1, 8};
  unsigned seed = 12345;
  const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) / 65536 % 1000 / 1000.0 * 6.0; };
  for (int k = 0; k < 48; ++k) atoms.push_back({elements[k % 12], 40 + next(), next(), next()});
  QvGraphMol small, padded;
  Build(small, atoms);
  Build(padded, atoms, true);
  Tamrin::QvDetermineConnectivity(small);
  Tamrin::QvDetermineConnectivity(padded);
  EXPECT_EQ(Bonds(padded), Bonds(small));
  EXPECT_EQ(Bonds(small).substr(0, 16), "0-1 2-3 4-5 6-7 ");
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

// Dense random clusters of up to 96 atoms, each bonded by comparing all its
// pairs, and the same clusters side by side as one molecule, which goes
// through the grid: the array of cells when they lie close, the keyed cells
// when far apart; with few wide atoms (small cells, wide atoms searched
// apart) or many. The bonds of the whole are those of the parts.
TEST(Connectivity, GridBondsAsAllPairsOverClusters) {
  struct Layout { double spacing; std::vector<unsigned> elements; };
  const std::vector<unsigned> light = {6, 1, 1, 7, 6, 1, 8, 6, 1, 1, 6, 1, 8, 1, 6, 7, 1, 6, 16, 1, 6, 1, 1, 6,
                                       8, 1, 6, 1, 7, 1, 6, 1, 6, 1, 1, 8, 6, 1, 6, 1, 15, 1, 6, 1, 7, 1, 6, 26};
  const std::vector<unsigned> wide = {6, 16, 1, 15, 8, 17, 11, 6, 1, 35};
  std::uint64_t seed = 7;
  const auto next = [&seed] { return ((seed = seed * 6364136223846793005ull + 1442695040888963407ull) >> 11) * 0x1.0p-53; };
  for (const Layout& layout : {Layout{14.0, light}, Layout{400.0, light}, Layout{14.0, wide}, Layout{400.0, wide}}) {
    std::vector<std::vector<Placed>> clusters;
    for (int c = 0; c < 27; ++c) {
      std::vector<Placed> atoms;
      const double origin[3] = {layout.spacing * (c % 3), layout.spacing * (c / 3 % 3), layout.spacing * (c / 9)};
      while (atoms.size() < 90) {  // 8 A across, no two atoms closer than 0.9 A
        const Placed p{layout.elements[atoms.size() % layout.elements.size()], origin[0] + 8 * next(),
                       origin[1] + 8 * next(), origin[2] + 8 * next()};
        const auto close = [&p](const Placed& q) { return std::hypot(p.x - q.x, p.y - q.y, p.zc - q.zc) < 0.9; };
        if (std::none_of(atoms.begin(), atoms.end(), close)) atoms.push_back(p);
      }
      clusters.push_back(atoms);
    }
    std::vector<Placed> all;
    std::string expected;
    for (const auto& atoms : clusters) {
      QvGraphMol part;
      Build(part, atoms);
      Tamrin::QvDetermineConnectivity(part);
      for (const QvBondBase& bond : part.GetBonds())
        expected += (expected.empty() ? "" : " ") + std::to_string(all.size() + bond.GetBgn()->GetIdx()) + "-" +
                    std::to_string(all.size() + bond.GetEnd()->GetIdx());
      all.insert(all.end(), atoms.begin(), atoms.end());
    }
    QvGraphMol whole;
    Build(whole, all);
    Tamrin::QvDetermineConnectivity(whole);
    EXPECT_GT(whole.NumBonds(), all.size() / 2) << layout.spacing;
    EXPECT_EQ(Bonds(whole), expected) << layout.spacing << " " << layout.elements.size();
  }
}

// The toolkit's single-conformer molecules take the bonds straight into
// their lists, other classes through NewBond: the same bonds either way, in
// the same order, and either forgets what was perceived before.
TEST(Connectivity, SameBondsInEveryMoleculeClass) {
  const std::vector<Placed> ethanol = {
      {6, 0.0, 0.0, 0.0}, {6, 1.52, 0.0, 0.0}, {8, 2.0, 1.35, 0.0}, {1, 2.95, 1.45, 0.0}, {1, -0.36, 1.03, 0.0}};
  for (const bool grid : {false, true}) {
    QvGraphMol single;
    Tamrin::QvMol multi;
    for (QvMolBase* mol : {&single.GetMol(), static_cast<QvMolBase*>(&multi)}) {
      Build(*mol, ethanol, grid);
      mol->SetPerceived(Tamrin::QvPerceivedRings, true);
      Tamrin::QvDetermineConnectivity(*mol);
      EXPECT_EQ(Bonds(*mol), "0-1 0-4 1-2 2-3") << grid;
      EXPECT_FALSE(mol->HasPerceived(Tamrin::QvPerceivedRings)) << grid;
    }
  }
}

}  // namespace
