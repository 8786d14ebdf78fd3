#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <tuple>

#include "perception_test_support.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/canonical.h"
#include "tamrin/perception/stereo.h"

namespace {

using namespace perception_test;
using Tamrin::kQvNoRank;
using Tamrin::QvCanonicalRanks;

// The molecule relabelled by its ranks: atoms in rank order with their
// properties, bonds as rank pairs, and each stereo centre read along its
// neighbours in rank order. Equal texts mean the ranks put the same graph
// in the same order.
std::string Relabelled(const QvMolBase& mol, const std::vector<unsigned>& ranks) {
  const auto rank = [&ranks](const QvAtomBase* atom) { return ranks.at(atom->GetIdx()); };
  std::vector<const QvAtomBase*> by_rank(mol.NumAtoms(), nullptr);
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    EXPECT_LT(rank(&atom), mol.NumAtoms());
    EXPECT_EQ(by_rank.at(rank(&atom)), nullptr) << "rank given twice";
    by_rank.at(rank(&atom)) = &atom;
  }
  std::ostringstream out;
  for (const QvAtomBase* atom : by_rank) {
    out << atom->GetAtomicNum() << '/' << atom->GetIsotope() << '/' << atom->GetFormalCharge() << '/'
        << atom->GetImplicitHCount() << '/' << atom->IsAromatic();
    if (Tamrin::QvHasAtomStereo(*atom)) {
      std::vector<const QvAtomBase*> nbrs;
      for (const QvAtomBase& nbr : atom->GetAtoms()) nbrs.push_back(&nbr);
      std::sort(nbrs.begin(), nbrs.end(), [&](auto* a, auto* b) { return rank(a) < rank(b); });
      if (nbrs.size() == 3) nbrs.insert(nbrs.begin(), nullptr);
      out << '@' << static_cast<unsigned>(Tamrin::QvGetAtomStereo(*atom, nbrs));
    }
    out << ' ';
  }
  // Aromatic bonds as such: which Kekulé form a ring got is not a property
  // the ranks may depend on.
  std::vector<std::tuple<unsigned, unsigned, unsigned>> bonds;
  for (const QvBondBase& bond : mol.GetBonds()) {
    const unsigned a = rank(bond.GetBgn()), b = rank(bond.GetEnd());
    bonds.emplace_back(std::min(a, b), std::max(a, b), bond.IsAromatic() ? 15 : bond.GetOrder());
  }
  std::sort(bonds.begin(), bonds.end());
  for (const auto& [a, b, code] : bonds) out << a << '-' << b << ':' << code << ' ';
  // Cis/trans read from the lowest-ranked substituent at each end.
  const auto lowest_other = [&](const QvAtomBase* end, const QvAtomBase* other) {
    const QvAtomBase* best = nullptr;
    for (const QvAtomBase& nbr : end->GetAtoms())
      if (&nbr != other && (!best || rank(&nbr) < rank(best))) best = &nbr;
    return best;
  };
  std::vector<std::tuple<unsigned, unsigned, unsigned>> configs;
  for (const QvBondBase& bond : mol.GetBonds()) {
    if (!Tamrin::QvHasBondStereo(bond)) continue;
    const QvAtomBase* bgn = bond.GetBgn();
    const QvAtomBase* end = bond.GetEnd();
    const auto config = Tamrin::QvGetBondStereo(bond, lowest_other(bgn, end), lowest_other(end, bgn));
    configs.emplace_back(std::min(rank(bgn), rank(end)), std::max(rank(bgn), rank(end)),
                         static_cast<unsigned>(config));
  }
  std::sort(configs.begin(), configs.end());
  for (const auto& [a, b, config] : configs) out << a << '=' << b << '/' << config << ' ';
  return out.str();
}

TEST(CanonicalRanks, StereoCentresKeepTheirConfigurationAcrossOrders) {
  // (R)- and (S)-CHFClBr: the relabelled texts differ only in the parity.
  std::string texts[2];
  for (int which = 0; which < 2; ++which) {
    QvGraphMol mol = Mol("F[CH](Cl)Br");
    const std::vector<const QvAtomBase*> order{AtomAt(mol, 0), nullptr, AtomAt(mol, 2), AtomAt(mol, 3)};
    ASSERT_TRUE(Tamrin::QvSetAtomStereo(*AtomAt(mol, 1), order,
                                        which ? Tamrin::QvChirality::Clockwise : Tamrin::QvChirality::Anticlockwise));
    texts[which] = Relabelled(mol, QvCanonicalRanks(mol));
    std::mt19937 rng(99);
    for (int round = 0; round < 20; ++round) {
      std::vector<QvAtomBase*> map;
      const QvGraphMol copy = Permuted(mol, rng, map);
      EXPECT_EQ(Relabelled(copy, QvCanonicalRanks(copy)), texts[which]);
    }
  }
  EXPECT_NE(texts[0], texts[1]);
}

TEST(CanonicalRanks, StereoBreaksTiesBetweenOtherwiseEqualAtoms) {
  // meso-like: two equal halves whose centres have opposite configurations.
  // The stereo option must rank consistently whatever the input order.
  QvGraphMol mol = Mol("F[CH](Cl)[CH](Cl)F");
  QvAtomBase* c1 = AtomAt(mol, 1);
  QvAtomBase* c2 = AtomAt(mol, 3);
  ASSERT_TRUE(Tamrin::QvSetAtomStereo(*c1, std::vector<const QvAtomBase*>{AtomAt(mol, 0), nullptr, AtomAt(mol, 2), c2},
                                      Tamrin::QvChirality::Clockwise));
  ASSERT_TRUE(Tamrin::QvSetAtomStereo(*c2, std::vector<const QvAtomBase*>{c1, nullptr, AtomAt(mol, 4), AtomAt(mol, 5)},
                                      Tamrin::QvChirality::Clockwise));
  const std::string expected = Relabelled(mol, QvCanonicalRanks(mol));
  std::mt19937 rng(5);
  for (int round = 0; round < 40; ++round) {
    std::vector<QvAtomBase*> map;
    const QvGraphMol copy = Permuted(mol, rng, map);
    EXPECT_EQ(Relabelled(copy, QvCanonicalRanks(copy)), expected) << round;
  }
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
