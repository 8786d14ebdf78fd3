#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "perception_test_support.h"
#include "support/shared_testdata.h"
#include "tamrin/perception/graphview.h"
#include "tamrin/perception/rings.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace {

using namespace perception_test;
using Tamrin::QvFindSSSR;
using Tamrin::QvPerceiveRings;

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
        RingCase{"bicyclooctane_three_equal_paths", "C1CC2CCC1CC2", 8, 9, {6, 6}},
        RingCase{"bicyclononane_two_longer_paths", "C1CC2CCCC1CC2", 9, 10, {6, 7}},
        RingCase{"spiro_equal", "C1CCC2(CC1)CCCCC2", 11, 12, {6, 6}},
        RingCase{"indole", "c1ccc2[nH]ccc2c1", 9, 10, {5, 6}},
        RingCase{"two_rings_sharing_a_bond_pair", "C1CC2C1C2", 5, 6, {3, 4}},
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

// A thread's first views, of molecules without atoms or bonds, work on
// lists that have no storage yet.
TEST(GraphView, FirstViewsOfAThreadWithoutAtomsOrBonds) {
  QvGraphMol empty, ions;
  ions.NewAtom(11);
  ions.NewAtom(17);
  std::thread([&] {
    for (const QvGraphMol* mol : {&empty, &ions}) {
      const Tamrin::QvGraphView view(*mol);
      EXPECT_EQ(view.NumAtoms(), mol->NumAtoms());
      EXPECT_EQ(view.NumBonds(), 0u);
      EXPECT_TRUE(QvFindSSSR(view).empty());
    }
  }).join();
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

// Two rings found without the search (the paths of a fused or bridged
// bicycle, the loops of a spiro pair) must be the search's rings in the
// search's order, walked from the same atom, whatever the atom order: the
// search takes, of two rings of one length, the one it meets first.
std::vector<Tamrin::QvRingPositions> Shortcut(const QvMolBase& mol) {
  return Tamrin::QvFindSSSRPositions(Tamrin::QvGraphView(mol));
}

void ExpectSameAsSearch(const QvMolBase& mol, const std::string& what) {
  const Tamrin::QvGraphView view(mol);
  const std::vector<Tamrin::QvRingPositions> found = Tamrin::QvFindSSSRPositions(view);
  const std::vector<Tamrin::QvRingPositions> searched = Tamrin::QvFindSSSRBySearch(view);
  ASSERT_EQ(found.size(), searched.size()) << what;
  for (size_t r = 0; r < found.size(); ++r) {
    EXPECT_EQ(found[r].atoms, searched[r].atoms) << what << ", ring " << r;
    EXPECT_EQ(found[r].bonds, searched[r].bonds) << what << ", ring " << r;
  }
}

// Atoms u and w joined by three paths of `inner` atoms each (a fused
// bicycle when one path has none), or, with `spiro`, two rings of
// inner[0] + 1 and inner[1] + 1 atoms through one atom; a chain on the first
// path so that the system does not begin the atom list.
QvGraphMol Bicycle(const unsigned (&inner)[3], bool spiro) {
  QvGraphMol mol;
  QvAtomBase* chain = mol.NewAtom(8);
  QvAtomBase* u = mol.NewAtom(6);
  QvAtomBase* w = spiro ? u : mol.NewAtom(6);
  for (unsigned p = 0; p < (spiro ? 2u : 3u); ++p) {
    QvAtomBase* prev = u;
    for (unsigned k = 0; k < inner[p]; ++k) {
      QvAtomBase* next = mol.NewAtom(k % 3 == 1 ? 7 : 6);
      mol.NewBond(prev, next, 1);
      if (p == 0 && k == 0) mol.NewBond(chain, next, 1);
      prev = next;
    }
    mol.NewBond(prev, w, 1);
  }
  return mol;
}

// `mol` in eight atom orders: rings of `sizes`, the search's rings.
unsigned ExpectRingsInAnyOrder(const QvGraphMol& mol, const std::vector<size_t>& sizes, const std::string& what,
                               std::mt19937& rng) {
  constexpr unsigned kOrders = 8;
  for (unsigned order = 0; order < kOrders; ++order) {
    std::vector<QvAtomBase*> map;
    const QvGraphMol shuffled = Permuted(mol, rng, map);
    std::vector<size_t> found;
    for (const auto& ring : Shortcut(shuffled)) found.push_back(ring.size());
    EXPECT_EQ(found, sizes) << what;
    ExpectSameAsSearch(shuffled, what + " order " + std::to_string(order));
  }
  return kOrders;
}

TEST(Rings, TwoRingShortcutMatchesTheSearchInAnyAtomOrder) {
  std::mt19937 rng(17);
  unsigned compared = 0;
  for (unsigned a = 0; a <= 5; ++a)
    for (unsigned b = std::max(a, 1u); b <= 6; ++b)
      for (unsigned c = b; c <= 7; ++c) {
        const unsigned inner[3] = {a, b, c};
        // The two shortest of the three rings (paths taken two at a time).
        std::vector<size_t> sizes = {a + b + 2, a + c + 2, b + c + 2};
        std::sort(sizes.begin(), sizes.end());
        sizes.pop_back();
        const std::string what = "paths " + std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c);
        compared += ExpectRingsInAnyOrder(Bicycle(inner, false), sizes, what, rng);
      }
  for (unsigned a = 2; a <= 7; ++a)
    for (unsigned b = a; b <= 8; ++b) {
      const unsigned inner[3] = {a, b, 0};
      const std::string what = "spiro " + std::to_string(a + 1) + "," + std::to_string(b + 1);
      compared += ExpectRingsInAnyOrder(Bicycle(inner, true), {a + 1, b + 1}, what, rng);
    }
  EXPECT_GT(compared, 1000u);
}

// The same over real drug-like molecules, whose ring systems are mostly
// single rings and fused or bridged pairs.
TEST(Rings, ShortcutsMatchTheSearchOnDrugLikeMolecules) {
  const std::filesystem::path data = DrugLikeSmiles();
  if (!std::filesystem::exists(data)) GTEST_SKIP() << "shared test data absent: " << data;
  Tamrin::qvmolistream in;
  ASSERT_TRUE(in.open(data.string()));
  QvGraphMol mol;
  unsigned read = 0, fused = 0;
  for (; read < 30000 && Tamrin::QvReadMolecule(in, mol); ++read) {
    const std::vector<Tamrin::QvRingPositions> rings = Shortcut(mol);
    std::set<unsigned> seen;
    bool shares = false;
    for (const auto& ring : rings)
      for (const unsigned a : ring.atoms) shares = !seen.insert(a).second || shares;
    fused += shares;
    ExpectSameAsSearch(mol, "molecule " + std::to_string(read));
    mol.Clear();
  }
  EXPECT_EQ(read, 30000u);
  EXPECT_GT(fused, 3000u);
}

// Ring flags against their definition on random graphs of several
// components, chains, rings and cages: a bond is a ring bond exactly when
// its ends stay connected without it, and the rings number, per connected
// set of ring bonds, its bonds less its atoms plus one.
TEST(Rings, MembershipMatchesItsDefinitionOnRandomGraphs) {
  std::mt19937 rng(5);
  unsigned ring_bonds_seen = 0;
  for (int round = 0; round < 300; ++round) {
    const unsigned n = 2 + rng() % 24, extra = rng() % 8;
    QvGraphMol mol;
    std::vector<QvAtomBase*> atoms;
    for (unsigned i = 0; i < n; ++i) atoms.push_back(mol.NewAtom(6));
    // A random forest, then a few random bonds on top (no repeats).
    for (unsigned i = 1; i < n; ++i)
      if (rng() % 6 != 0) mol.NewBond(atoms[rng() % i], atoms[i], 1);
    for (unsigned k = 0; k < extra; ++k) {
      QvAtomBase* a = atoms[rng() % n];
      QvAtomBase* b = atoms[rng() % n];
      if (a != b && !mol.GetBond(a, b)) mol.NewBond(a, b, 1);
    }
    std::vector<QvAtomBase*> map;
    QvGraphMol copy = Permuted(mol, rng, map);
    QvPerceiveRings(copy);
    // Connected without `skip`, by a walk over the records.
    const auto joined = [&copy](const QvAtomBase* from, const QvAtomBase* to, const QvBondBase* skip) {
      std::vector<const QvAtomBase*> stack{from}, seen{from};
      while (!stack.empty()) {
        const QvAtomBase* a = stack.back();
        stack.pop_back();
        if (a == to) return true;
        for (const QvBondBase& bond : a->GetBonds()) {
          const QvAtomBase* nbr = bond.GetNbr(a);
          if (&bond == skip || std::find(seen.begin(), seen.end(), nbr) != seen.end()) continue;
          seen.push_back(nbr);
          stack.push_back(nbr);
        }
      }
      return false;
    };
    unsigned ring_bonds = 0, ring_atoms = 0;
    for (const QvBondBase& bond : copy.GetBonds()) {
      EXPECT_EQ(bond.IsInRing(), joined(bond.GetBgn(), bond.GetEnd(), &bond)) << "round " << round;
      ring_bonds += bond.IsInRing();
    }
    for (const QvAtomBase& atom : copy.GetAtoms()) {
      bool expected = false;
      for (const QvBondBase& bond : atom.GetBonds()) expected = expected || bond.IsInRing();
      EXPECT_EQ(atom.IsInRing(), expected) << "round " << round;
      ring_atoms += atom.IsInRing();
    }
    // Connected sets of ring bonds, by labels spread over ring bonds.
    std::vector<const QvAtomBase*> unlabelled;
    for (const QvAtomBase& atom : copy.GetAtoms())
      if (atom.IsInRing()) unlabelled.push_back(&atom);
    unsigned systems = 0;
    while (!unlabelled.empty()) {
      ++systems;
      std::vector<const QvAtomBase*> stack{unlabelled.back()};
      unlabelled.pop_back();
      while (!stack.empty()) {
        const QvAtomBase* a = stack.back();
        stack.pop_back();
        for (const QvBondBase& bond : a->GetBonds()) {
          const auto it = std::find(unlabelled.begin(), unlabelled.end(), bond.GetNbr(a));
          if (!bond.IsInRing() || it == unlabelled.end()) continue;
          stack.push_back(*it);
          unlabelled.erase(it);
        }
      }
    }
    EXPECT_EQ(QvFindSSSR(copy).size(), ring_bonds - ring_atoms + systems) << "round " << round;
    ring_bonds_seen += ring_bonds;
  }
  EXPECT_GT(ring_bonds_seen, 500u);
}

}  // namespace
