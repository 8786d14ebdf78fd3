#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>

#include "perception_test_support.h"
#include "smiles_test_support.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/canonical.h"
#include "tamrin/perception/stereo.h"

namespace {

using namespace perception_test;
using Tamrin::kQvNoRank;
using Tamrin::QvCanonicalRanks;

// The canonical SMILES is written in rank order with the stereo read along
// it, so one string for every atom order means the ranks put the same graph
// in the same order. Mirror images stay apart, and two equal halves whose
// centres are configured (the like and the meso-like pair) are ranked alike
// whatever the input order. Real molecules in random orders:
// tests/python/test_smiles_rdkit.py.
TEST(CanonicalRanks, StereoSurvivesEveryAtomOrder) {
  std::set<std::string> distinct;
  std::mt19937 rng(5);
  for (const char* smiles : {"F[C@H](Cl)Br", "F[C@@H](Cl)Br", "F[C@H](Cl)[C@H](Cl)F", "F[C@H](Cl)[C@@H](Cl)F",
                             "F/C=C/C(/C=C/F)=C(C)C", "F/C=C\\C(/C=C/F)=C(C)C"}) {
    const QvGraphMol mol = smiles_test::FromSmiles(smiles);
    std::string expected;
    ASSERT_TRUE(Tamrin::QvCreateSmiString(expected, mol, Tamrin::QvSmiDefault));
    distinct.insert(expected);
    for (int round = 0; round < 20; ++round) {
      std::vector<QvAtomBase*> map;
      const QvGraphMol copy = Permuted(mol, rng, map);
      std::string text;
      ASSERT_TRUE(Tamrin::QvCreateSmiString(text, copy, Tamrin::QvSmiDefault));
      EXPECT_EQ(text, expected) << smiles << " round " << round;
    }
  }
  EXPECT_EQ(distinct.size(), 6u);
}

TEST(CanonicalRanks, OptionsDecideWhatIsLookedAt) {
  // Without the isotope option a labelled atom ranks as its unlabelled twin.
  QvGraphMol labelled = Mol("[18OH]CCO");
  QvGraphMol plain = Mol("OCCO");
  const unsigned no_isotopes = Tamrin::QvRankDefault & ~Tamrin::QvRankIsotopes;
  EXPECT_EQ(QvCanonicalRanks(labelled, no_isotopes), QvCanonicalRanks(plain, no_isotopes));
  // With it, the 18O is told apart from the plain O in every order.
  std::mt19937 rng(3);
  for (int round = 0; round < 10; ++round) {
    std::vector<QvAtomBase*> map;
    const QvGraphMol copy = Permuted(labelled, rng, map);
    const std::vector<unsigned> ranks = QvCanonicalRanks(copy);
    const std::vector<unsigned> reference = QvCanonicalRanks(labelled);
    for (unsigned i = 0; i < 4; ++i)
      EXPECT_EQ(ranks[map[i]->GetIdx()], reference[AtomAt(labelled, i)->GetIdx()]) << "atom " << i;
  }
}

TEST(CanonicalRanks, DeletedAtomsHaveNoRankAndEmptyMoleculeIsEmpty) {
  QvGraphMol mol = Mol("CCOC");
  mol.DeleteAtom(AtomAt(mol, 1));
  const std::vector<unsigned> ranks = QvCanonicalRanks(mol);
  ASSERT_EQ(ranks.size(), 4u);
  EXPECT_EQ(ranks[1], kQvNoRank);
  std::vector<unsigned> live{ranks[0], ranks[2], ranks[3]};
  std::sort(live.begin(), live.end());
  EXPECT_EQ(live, (std::vector<unsigned>{0, 1, 2}));
  QvGraphMol empty;
  EXPECT_TRUE(QvCanonicalRanks(empty).empty());
}

}  // namespace
