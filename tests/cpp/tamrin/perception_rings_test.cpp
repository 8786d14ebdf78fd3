#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "perception_test_support.h"
#include "tamrin/perception/graphview.h"
#include "tamrin/perception/rings.h"

namespace {

using namespace perception_test;
using Tamrin::QvFindSSSR;
using Tamrin::QvPerceiveRings;
using Tamrin::QvSmallestRingSize;

struct RingCase {
  const char* name;
  const char* smiles;
  unsigned ring_atoms;
  unsigned ring_bonds;
  std::vector<unsigned> sssr;  // ring sizes, ascending
};

class RingTest : public ::testing::TestWithParam<RingCase> {};

TEST_P(RingTest, MembershipAndSmallestRings) {
  const RingCase& c = GetParam();
  QvGraphMol mol;
  ASSERT_TRUE(ParseInto(mol, c.smiles));
  QvPerceiveRings(mol);
  EXPECT_TRUE(mol.HasPerceived(Tamrin::QvPerceivedRings));
  unsigned atoms = 0, bonds = 0;
  for (const QvAtomBase& atom : mol.GetAtoms()) atoms += atom.IsInRing();
  for (const QvBondBase& bond : mol.GetBonds()) bonds += bond.IsInRing();
  EXPECT_EQ(atoms, c.ring_atoms);
  EXPECT_EQ(bonds, c.ring_bonds);

  std::vector<unsigned> sizes;
  for (const Tamrin::QvRing& ring : QvFindSSSR(mol)) {
    sizes.push_back(static_cast<unsigned>(ring.size()));
    ASSERT_EQ(ring.atoms.size(), ring.bonds.size());
    // Each ring is a closed walk: bond i joins atom i and atom i + 1.
    for (size_t i = 0; i < ring.size(); ++i) {
      const QvBondBase* bond = ring.bonds[i];
      const QvAtomBase* next = ring.atoms[(i + 1) % ring.size()];
      EXPECT_EQ(bond->GetNbr(ring.atoms[i]), next) << c.name << " ring of " << ring.size();
      EXPECT_TRUE(bond->IsInRing());
    }
    EXPECT_EQ(std::set<const QvAtomBase*>(ring.atoms.begin(), ring.atoms.end()).size(), ring.size());
  }
  EXPECT_EQ(sizes, c.sssr);
}

INSTANTIATE_TEST_SUITE_P(
    Molecules, RingTest,
    ::testing::Values(
        RingCase{"hexane", "CCCCCC", 0, 0, {}},
        RingCase{"cyclopropane", "C1CC1", 3, 3, {3}},
        RingCase{"benzene", "c1ccccc1", 6, 6, {6}},
        RingCase{"toluene_chain_not_ring", "Cc1ccccc1CC", 6, 6, {6}},
        RingCase{"biphenyl_bridge", "c1ccccc1-c1ccccc1", 12, 12, {6, 6}},
        RingCase{"naphthalene", "c1ccc2ccccc2c1", 10, 11, {6, 6}},
        RingCase{"spiro", "C1CCC2(C1)CCCCC2", 10, 11, {5, 6}},
        RingCase{"norbornane", "C1CC2CCC1C2", 7, 8, {5, 5}},
        RingCase{"adamantane", "C1C2CC3CC1CC(C2)C3", 10, 12, {6, 6, 6}},
        RingCase{"cubane", "C12C3C4C1C5C2C3C45", 8, 12, {4, 4, 4, 4, 4}},
        RingCase{"two_fragments", "C1CC1.C1CCC1CC", 7, 7, {3, 4}},
        RingCase{"macrocycle", "C1CCCCCCCCCCCCCCCCCCC1", 20, 20, {20}},
        RingCase{"pyrene", "c1cc2ccc3cccc4ccc(c1)c2c34", 16, 19, {6, 6, 6, 6}}),
    CaseName());

TEST(Rings, EmptyMoleculeAndLongChainNeedNoRecursion) {
  QvGraphMol empty;
  QvPerceiveRings(empty);
  EXPECT_TRUE(empty.HasPerceived(Tamrin::QvPerceivedRings));
  EXPECT_TRUE(QvFindSSSR(empty).empty());
  // A chain deep enough to overflow a recursive search, closed into one ring.
  QvGraphMol chain;
  QvAtomBase* first = chain.NewAtom(6);
  QvAtomBase* prev = first;
  for (int i = 0; i < 200000; ++i) {
    QvAtomBase* next = chain.NewAtom(6);
    chain.NewBond(prev, next, 1);
    prev = next;
  }
  chain.NewBond(prev, first, 1);
  QvPerceiveRings(chain);
  EXPECT_TRUE(first->IsInRing());
  EXPECT_TRUE(prev->IsInRing());
}

// A view's arcs are each atom's bonds in the order of its bond list: the
// order the bonds were made in (the view's quick way), and another order
// after a bond made with one end got its second end later, which the view
// walks the lists for.
TEST(GraphView, ArcsFollowEachAtomsBondList) {
  for (const bool late_end : {false, true}) {
    QvGraphMol mol = Mol("OC(=O)c1ccc2ccccc2c1N");
    QvBondBase* open = mol.NewBond(AtomAt(mol, 0), nullptr, 1);
    mol.NewBond(AtomAt(mol, 13), mol.NewAtom(6), 1);
    if (late_end) {
      ASSERT_TRUE(open->SetEnd(AtomAt(mol, 13)));
    }
    const Tamrin::QvGraphView view(mol);
    ASSERT_EQ(view.NumBonds(), mol.NumBonds() - (late_end ? 0 : 1));
    for (unsigned a = 0; a < view.NumAtoms(); ++a) {
      std::vector<std::pair<unsigned, unsigned>> expected, arcs;
      for (const QvBondBase& bond : view.Atom(a)->GetBonds())
        if (view.Pos(&bond) != Tamrin::kQvNoPos)
          expected.emplace_back(view.Pos(bond.GetNbr(view.Atom(a))), view.Pos(&bond));
      for (const auto& arc : view.Arcs(a)) arcs.emplace_back(arc.nbr, arc.bond);
      EXPECT_EQ(arcs, expected) << (late_end ? "late end, " : "") << "atom " << a;
    }
  }
}

}  // namespace
