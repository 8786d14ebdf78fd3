// Bond orders and charges from connectivity and geometry, through XYZ
// reading with the default flavor (connectivity, rings, bond orders,
// implicit hydrogens, atom completion, aromaticity): the ions, metals and
// lone atoms that drug-like molecules seldom have. Those are compared with
// RDKit, with and without their hydrogens, in tests/python/test_xyz_bonds.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/captured_messages.h"
#include "tamrin/chem/elements.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/perception/bondorders.h"
#include "tamrin/streams/molio.h"
#include "xyz_test_support.h"

namespace {

using Tamrin::QvAtomBase;
using Tamrin::QvBondBase;
using Tamrin::QvGraphMol;
using Tamrin::QvHasOrder;

std::string XyzText(const char* atoms) {
  std::string lines(atoms);
  std::replace(lines.begin(), lines.end(), '|', '\n');
  const auto n = std::count(lines.begin(), lines.end(), '\n') + 1;
  return std::to_string(n) + "\ntest\n" + lines + "\n";
}

bool ReadXyz(const std::string& text, QvGraphMol& mol) {
  Tamrin::qvmolistream in;
  xyztest::OpenXYZ(in, text);
  return Tamrin::QvReadMolecule(in, mol);
}

std::string SortedJoin(std::vector<std::string> parts) {
  std::sort(parts.begin(), parts.end());
  std::string text;
  for (const std::string& p : parts) text += (text.empty() ? "" : " ") + p;
  return text;
}

// Valence counts bond orders and implicit hydrogens alike, so explicit and
// implicit hydrogen forms of one structure read the same. Sorted, so that
// resonance forms placing a charge on equivalent atoms compare equal.
std::string Describe(const QvGraphMol& mol) {
  std::vector<std::string> parts;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    if (atom.GetAtomicNum() == 1) continue;
    unsigned valence = atom.GetImplicitHCount();
    for (const QvBondBase& bond : atom.GetBonds()) valence += bond.GetOrder();
    const int q = atom.GetFormalCharge();
    parts.push_back(Tamrin::QvGetAtomicSymbol(atom.GetAtomicNum()) + std::to_string(valence) +
                    (q > 0 ? std::string(q, '+') : std::string(-q, '-')));
  }
  return SortedJoin(parts);
}

std::string Sorted(const std::string& words) {
  std::istringstream in(words);
  std::vector<std::string> parts;
  for (std::string w; in >> w;) parts.push_back(w);
  return SortedJoin(parts);
}

// Edge cases, read from XYZ text: ions, metals, lone atoms.
struct TextCase {
  const char* name;
  const char* atoms;
  const char* expected;
};

class BondOrderEdges : public ::testing::TestWithParam<TextCase> {};

const TextCase kEdges[] = {
    // Lone atoms beside a molecule with hydrogens: ions of their group.
    {"salt_and_water", "Na 5 0 0|Cl -5 0 0|Mg 0 5 0|O 0 0 0|H 0.757 0.586 0|H -0.757 0.586 0", "Na0+ Cl0- Mg0++ O2"},
    // A lone carbon without any hydrogen atom is methane's carbon.
    {"lone_carbon", "C 0 0 0", "C4"},
    // Zinc bonded to a carboxylate oxygen (1.9 A): the bond stays single and
    // does not count towards the oxygen, which becomes the carboxylate's O-
    // (its valence here counts the zinc bond too).
    {"metal_carboxylate",
     "C 0 0 0|O 1.25 0 0|O -0.62 1.08 0|C -0.76 -1.3 0|H -0.2 -2.2 0|H -1.3 -1.3 0.9|H -1.4 -1.3 -0.9|Zn 2.9 1.0 0",
     "C4 C4 O2- O2 Zn1"},
    // Perchlorate: three Cl=O, one O-.
    {"perchlorate", "Cl 0 0 0|O 0.83 0.83 0.83|O -0.83 -0.83 0.83|O -0.83 0.83 -0.83|O 0.83 -0.83 -0.83|H 5 5 5|H 5.74 5 5",
     "Cl7 O2 O2 O2 O1-"},
    // Benzenediazonium's nitrogens (only the ipso carbon's frame kept: a
    // methyl carbon stands in for the ring).
    {"diazonium", "C 0 0 0|N 1.42 0 0|N 2.52 0 0|H -0.36 1.03 0|H -0.36 -0.51 0.89|H -0.36 -0.51 -0.89",
     "C4 N4+ N3"},
    // A lone N-O on a three-connected N stays N-O-: N+=O would be a cation
    // with nothing to balance it (trimethylamine's N with one O, planar).
    {"lone_n_oxide", "N 0 0 0|C 1.47 0 0|C -0.735 1.273 0|O -0.665 -1.152 0|H 1.83 1.03 0|H 1.83 -0.51 0.89|"
     "H 1.83 -0.51 -0.89|H -0.39 2.30 0|H -1.83 1.27 0|H -0.39 0.76 0.89",
     "N3 C4 C4 O1-"},
    // A wildcard atom takes no bonds and no part.
    {"wildcard_beside_methane", "Xx 0 0 0|C 3 0 0|H 4.09 0 0|H 2.64 1.03 0|H 2.64 -0.51 0.89|H 2.64 -0.51 -0.89", "0 C4"},
};

TEST_P(BondOrderEdges, ReadAsExpected) {
  const TextCase& c = GetParam();
  QvGraphMol mol;
  ASSERT_TRUE(ReadXyz(XyzText(c.atoms), mol));
  EXPECT_EQ(Describe(mol), Sorted(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Edges, BondOrderEdges, ::testing::ValuesIn(kEdges),
                         [](const auto& p) { return std::string(p.param.name); });

// Molecules that already carry orders (any bond above 1) are left alone; a
// molecule without coordinates still gets orders from degrees when its
// hydrogens are atoms.
TEST(BondOrderPass, KeepsKnownOrdersAndWorksWithoutCoordinates) {
  QvGraphMol mol;
  QvAtomBase* c1 = mol.NewAtom(6);
  QvAtomBase* c2 = mol.NewAtom(6);
  QvBondBase* cc = mol.NewBond(c1, c2, 1);
  for (QvAtomBase* c : {c1, c2})
    for (int k = 0; k < 2; ++k) mol.NewBond(c, mol.NewAtom(1), 1);
  Tamrin::QvAssignBondOrders(mol);
  EXPECT_EQ(cc->GetOrder(), 2u);
  QvBondBase* ch = mol.GetBond(QvHasOrder{1});
  ASSERT_NE(ch, nullptr);
  ch->SetOrder(3);  // a deliberate oddity the pass must not touch
  cc->SetOrder(1);
  Tamrin::QvAssignBondOrders(mol);
  EXPECT_EQ(cc->GetOrder(), 1u);
  EXPECT_EQ(ch->GetOrder(), 3u);
}

// Random clouds of atoms, dense enough to overlap, of every kind the passes
// meet (organic elements, hydrogens, metals, wildcards, unknown numbers):
// the reading steps finish and leave orders 1 to 3, hydrogens with at most
// one bond and no atom over the connectivity limits.
TEST(BondOrderPass, RandomCloudsStayWithinLimits) {
  std::mt19937 rng(20261206);
  const unsigned kinds[] = {1, 1, 1, 1, 5, 6, 6, 6, 6, 7, 7, 8, 8, 9, 11, 15, 16, 17, 26, 30, 0, 150};
  std::uniform_int_distribution<size_t> kind(0, std::size(kinds) - 1);
  std::uniform_real_distribution<double> coord(0.0, 6.0);
  for (int round = 0; round < 200; ++round) {
    std::string lines;
    const int n = 1 + round % 40;
    for (int i = 0; i < n; ++i) {
      const unsigned z = kinds[kind(rng)];
      lines += (i ? "|" : "") + std::to_string(z) + " " + std::to_string(coord(rng)) + " " +
               std::to_string(coord(rng)) + " " + std::to_string(coord(rng));
    }
    CapturedMessages quiet;
    QvGraphMol mol;
    ASSERT_TRUE(ReadXyz(XyzText(lines.c_str()), mol)) << lines;
    for (const QvBondBase& bond : mol.GetBonds()) {
      EXPECT_GE(bond.GetOrder(), 1u) << lines;
      EXPECT_LE(bond.GetOrder(), 3u) << lines;
    }
    for (const QvAtomBase& atom : mol.GetAtoms()) {
      const unsigned z = atom.GetAtomicNum();
      EXPECT_LE(atom.GetExplicitDegree(), z == 1 ? 1u : z == 6 ? 4u : 12u) << lines;
    }
  }
}

}  // namespace
