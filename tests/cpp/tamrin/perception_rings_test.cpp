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

TEST(Rings, ClearsFlagsThatNoLongerHold) {
  QvGraphMol mol;
  ASSERT_TRUE(ParseInto(mol, "C1CCC1"));
  QvPerceiveRings(mol);
  // Opening the ring: the stale flags must go.
  mol.DeleteBond(mol.GetBond(AtomAt(mol, 0), AtomAt(mol, 3)));
  QvPerceiveRings(mol);
  for (const QvAtomBase& atom : mol.GetAtoms()) EXPECT_FALSE(atom.IsInRing());
  for (const QvBondBase& bond : mol.GetBonds()) EXPECT_FALSE(bond.IsInRing());
}

TEST(Rings, DeletedAtomsAndOpenBondsAreSkipped) {
  QvGraphMol mol;
  ASSERT_TRUE(ParseInto(mol, "C1CCCC1"));
  mol.DeleteAtom(AtomAt(mol, 2));
  // A bond with an empty end, as a ring closure still open during parsing.
  QvBondBase* open = mol.NewBond(AtomAt(mol, 0), nullptr, 1);
  ASSERT_NE(open, nullptr);
  QvPerceiveRings(mol);
  EXPECT_FALSE(open->IsInRing());
  for (const QvAtomBase& atom : mol.GetAtoms()) EXPECT_FALSE(atom.IsInRing());
  EXPECT_TRUE(QvFindSSSR(mol).empty());
  EXPECT_EQ(QvSmallestRingSize(*open, 10), 0u);
}

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

TEST(Rings, LargeFusedSheetHasOnlyItsHexagonsAsSmallestRings) {
  // A ladder of 3000 fused hexagons: the basis is 3000 rings of 6, and the
  // long cycles around several hexagons must never be needed.
  QvGraphMol mol;
  Polyacene(mol, 3000, 1);
  const std::vector<Tamrin::QvRing> rings = QvFindSSSR(mol);
  ASSERT_EQ(rings.size(), 3000u);
  for (const Tamrin::QvRing& ring : rings) EXPECT_EQ(ring.size(), 6u);
}

TEST(Rings, CageWithLongBasisCyclesIsComplete) {
  // A 40-atom prism (two 20-rings joined rung by rung): 21 basis rings, 20
  // squares and one of the 20-rings, found only in the later rounds.
  QvGraphMol mol;
  std::vector<QvAtomBase*> a, b;
  for (int i = 0; i < 20; ++i) {
    a.push_back(mol.NewAtom(6));
    b.push_back(mol.NewAtom(6));
    mol.NewBond(a[i], b[i], 1);
  }
  for (int i = 0; i < 20; ++i) {
    mol.NewBond(a[i], a[(i + 1) % 20], 1);
    mol.NewBond(b[i], b[(i + 1) % 20], 1);
  }
  std::vector<unsigned> sizes;
  for (const Tamrin::QvRing& ring : QvFindSSSR(mol)) sizes.push_back(static_cast<unsigned>(ring.size()));
  std::vector<unsigned> expected(20, 4);
  expected.push_back(20);
  EXPECT_EQ(sizes, expected);
}

// The smallest ring through a bond, up to a limit (0: none that small);
// through an atom, that of its best bond.
TEST(Rings, SmallestRingSizeOfBondsAndAtoms) {
  const struct {
    const char* smiles;
    unsigned bgn, end;  // atom positions of the bond
    unsigned limit, expected;
  } cases[] = {{"C1=CCCCC1", 0, 1, 6, 6}, {"C1=CCCCC1", 0, 1, 5, 0}, {"C1=CCCCCCC1", 0, 1, 6, 0},
               {"C1=CCCCCCC1", 0, 1, 8, 8},
               // The fusion bond of bicyclo[4.2.0]octane lies in both rings: the 4 wins.
               {"C1CCC2CCC2C1", 3, 6, 8, 4}, {"CC=CC", 1, 2, 20, 0}, {"C1CC1", 0, 1, 2, 0}};
  for (const auto& c : cases) {
    QvGraphMol mol;
    ASSERT_TRUE(ParseInto(mol, c.smiles));
    const QvBondBase* bond = mol.GetBond(AtomAt(mol, c.bgn), AtomAt(mol, c.end));
    ASSERT_NE(bond, nullptr);
    EXPECT_EQ(QvSmallestRingSize(*bond, c.limit), c.expected) << c.smiles;
  }
  QvGraphMol mol;
  ASSERT_TRUE(ParseInto(mol, "C1CCC2(CC1)CC2"));  // spiro 6 and 3
  EXPECT_EQ(QvSmallestRingSize(*AtomAt(mol, 3), 10), 3u);
  EXPECT_EQ(QvSmallestRingSize(*AtomAt(mol, 0), 10), 6u);
  EXPECT_EQ(QvSmallestRingSize(*AtomAt(mol, 0), 5), 0u);
}

// The rings of the last graph are kept per thread: a second molecule of the
// same shape must get rings of its own atoms, and a changed graph new rings.
TEST(Rings, KeptRingsServeOnlyTheGraphAsItIsNow) {
  QvGraphMol first = Mol("C1CCCCC1");
  QvGraphMol second = Mol("C1CCNCC1");
  ASSERT_EQ(QvFindSSSR(first).size(), 1u);
  const std::vector<Tamrin::QvRing> rings = QvFindSSSR(second);
  ASSERT_EQ(rings.size(), 1u);
  for (const QvAtomBase* atom : rings[0].atoms) EXPECT_EQ(atom->GetParent(), &second.GetMol());
  for (const QvBondBase* bond : rings[0].bonds) EXPECT_EQ(bond->GetParent(), &second.GetMol());

  ASSERT_NE(second.GetMol().NewBond(AtomAt(second, 0), AtomAt(second, 3), 1), nullptr);
  std::vector<unsigned> sizes;
  for (const Tamrin::QvRing& ring : QvFindSSSR(second)) sizes.push_back(static_cast<unsigned>(ring.size()));
  EXPECT_EQ(sizes, (std::vector<unsigned>{4, 4}));
  // Deleting a bond shifts no position of the atoms but removes an arc.
  ASSERT_TRUE(second.GetMol().DeleteBond(AtomAt(second, 0)->GetBond(AtomAt(second, 1))));
  EXPECT_EQ(QvFindSSSR(second).size(), 1u);
}

// Views alive at the same time keep apart, also when one of them took over
// the storage that a finished view of a larger molecule left.
TEST(GraphView, ViewsAliveTogetherKeepTheirOwnGraphs) {
  QvGraphMol large = Mol("C1CCC2CCCCC2C1CCCCCCCCCC");
  QvGraphMol ring = Mol("C1CC1");
  QvGraphMol chain = Mol("CCOC");
  { const Tamrin::QvGraphView finished(large); }
  const Tamrin::QvGraphView a(ring);
  const Tamrin::QvGraphView b(chain);
  EXPECT_EQ(a.NumAtoms(), 3u);
  EXPECT_EQ(a.NumBonds(), 3u);
  EXPECT_EQ(b.NumAtoms(), 4u);
  EXPECT_EQ(b.NumBonds(), 3u);
  for (unsigned pos = 0; pos < 3; ++pos) EXPECT_EQ(a.Degree(pos), 2u);
  EXPECT_EQ(b.Degree(0), 1u);
  EXPECT_EQ(b.Pos(AtomAt(ring, 0)), Tamrin::kQvNoPos);
  EXPECT_EQ(a.Pos(AtomAt(ring, 2)), 2u);
  EXPECT_FALSE(a.SameShape(b.GetShape()));
}

}  // namespace
