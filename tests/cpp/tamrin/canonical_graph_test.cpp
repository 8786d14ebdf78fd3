// QvRankGraph: which atoms and bonds it pictures, with and without folding
// hydrogen atoms, and what stands for a centre's implicit hydrogen.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "smiles_test_support.h"
#include "tamrin/perception/canonical.h"
#include "tamrin/perception/stereo.h"

namespace {

using Tamrin::QvGraphMol;
using Tamrin::QvRankGraph;

struct GraphCase {
  const char* smiles;
  bool fold;
  bool keep_isotopic;
  std::vector<unsigned> hydrogens;  // per pictured atom, in list order
  unsigned bonds;
};

TEST(RankGraph, PicturesAtomsAndCountsFoldedHydrogens) {
  const GraphCase cases[] = {
      {"[H]C([H])([H])[H]", false, false, {0, 0, 0, 0, 0}, 4},
      {"[H]C([H])([H])[H]", true, false, {4}, 0},
      {"[2H]C[H]", true, false, {4}, 0},
      {"[2H]C[H]", true, true, {0, 3}, 1},
      {"[H:2]C.[H+].[H][H]", true, false, {0, 3, 0, 0, 0}, 2},
      {"[H]*", true, false, {0, 0}, 1},
      {"[H]O[H]", true, false, {2}, 0},
  };
  for (const GraphCase& c : cases) {
    SCOPED_TRACE(c.smiles);
    const QvGraphMol mol = smiles_test::FromSmiles(c.smiles);
    const QvRankGraph graph(mol, c.fold, c.keep_isotopic);
    std::vector<unsigned> hydrogens;
    for (unsigned a = 0; a < graph.NumAtoms(); ++a) hydrogens.push_back(graph.Hydrogens(a));
    EXPECT_EQ(hydrogens, c.hydrogens);
    EXPECT_EQ(graph.NumBonds(), c.bonds);
    unsigned arcs = 0;
    for (unsigned a = 0; a < graph.NumAtoms(); ++a) arcs += graph.Degree(a);
    EXPECT_EQ(arcs, 2 * c.bonds);
  }
}

TEST(RankGraph, FoldedHydrogenStandsForTheImplicitOneOfACentre) {
  QvGraphMol mol = smiles_test::FromSmiles("[H][C@](F)(Cl)Br");
  const Tamrin::QvAtomBase* h = smiles_test::AtomAt(mol, 0);
  const QvRankGraph graph(mol, true);
  ASSERT_EQ(graph.NumAtoms(), 4u);
  const unsigned centre = 0;
  ASSERT_EQ(graph.Atom(centre)->GetAtomicNum(), 6u);
  EXPECT_EQ(graph.ImplicitNeighbour(centre), h);
  // Along (H, F, Cl, Br) as written.
  std::vector<const Tamrin::QvAtomBase*> nbrs{graph.ImplicitNeighbour(centre)};
  for (const auto& arc : graph.Arcs(centre)) nbrs.push_back(graph.Atom(arc.nbr));
  EXPECT_EQ(Tamrin::QvGetAtomStereo(*graph.Atom(centre), nbrs), Tamrin::QvChirality::Anticlockwise);
  // Two hydrogens, one folded and one implicit: nothing stands for "the" one.
  QvGraphMol two = smiles_test::FromSmiles("[H][CH](F)Cl");
  EXPECT_EQ(QvRankGraph(two, true).ImplicitNeighbour(0), nullptr);
  EXPECT_EQ(QvRankGraph(two, true).Hydrogens(0), 2u);
  // Unfolded, the hydrogen is a neighbour like any other.
  EXPECT_EQ(QvRankGraph(mol, false).ImplicitNeighbour(1), nullptr);
}

// Deleted atoms are left out of the graph and get no rank.
TEST(RankGraph, DeletedAtomsAndTheirBondsAreLeftOut) {
  QvGraphMol mol = smiles_test::FromSmiles("CCOC");
  mol.DeleteAtom(smiles_test::AtomAt(mol, 1));
  const QvRankGraph graph(mol, true);
  EXPECT_EQ(graph.NumAtoms(), 3u);
  EXPECT_EQ(graph.NumBonds(), 1u);
  EXPECT_EQ(graph.Atom(graph.BondBgn(0))->GetAtomicNum() + graph.Atom(graph.BondEnd(0))->GetAtomicNum(), 14u);
  EXPECT_EQ(QvRankGraph(QvGraphMol(), true).NumAtoms(), 0u);
  std::vector<unsigned> ranks = Tamrin::QvCanonicalRanks(mol);
  ASSERT_EQ(ranks.size(), 4u);
  EXPECT_EQ(ranks[1], Tamrin::kQvNoRank);
  ranks.erase(ranks.begin() + 1);
  std::sort(ranks.begin(), ranks.end());
  EXPECT_EQ(ranks, (std::vector<unsigned>{0, 1, 2}));
  EXPECT_TRUE(Tamrin::QvCanonicalRanks(QvGraphMol()).empty());
}

// Without the isotope option a labelled atom ranks as its unlabelled twin
// (with it, labels decide in every atom order: SmilesRoundTrip).
TEST(RankGraph, IsotopesCountOnlyWithTheirOption) {
  const QvGraphMol labelled = smiles_test::FromSmiles("[18OH]CCO");
  const QvGraphMol plain = smiles_test::FromSmiles("OCCO");
  const unsigned no_isotopes = Tamrin::QvRankDefault & ~Tamrin::QvRankIsotopes;
  EXPECT_EQ(Tamrin::QvCanonicalRanks(labelled, no_isotopes), Tamrin::QvCanonicalRanks(plain, no_isotopes));
}

}  // namespace
