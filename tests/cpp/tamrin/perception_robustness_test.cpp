// Every pass on arbitrary graphs: odd elements, charges and orders, parallel
// bonds, deleted records, bonds with an empty end, stereo on random atoms.
// Nothing may crash or hang, and what each pass promises must still hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "perception_test_support.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/canonical.h"
#include "tamrin/perception/hydrogens.h"
#include "tamrin/perception/implicith.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/neighbours.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereo.h"

namespace {

using namespace perception_test;

QvGraphMol RandomMolecule(std::mt19937& rng) {
  static const unsigned elements[] = {0, 1, 1, 1, 5, 6, 6, 6, 6, 7, 7, 8, 8, 15, 16, 26, 34, 53, 200};
  const auto pick = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };
  QvGraphMol mol;
  const unsigned atoms = 1 + pick(40);
  std::vector<QvAtomBase*> list;
  for (unsigned i = 0; i < atoms; ++i) {
    QvAtomBase* atom = mol.NewAtom(elements[pick(std::size(elements))]);
    atom->SetFormalCharge(static_cast<int>(pick(7)) - 3);
    atom->SetImplicitHCount(pick(4));
    atom->SetAromatic(pick(2));
    list.push_back(atom);
  }
  const unsigned bonds = pick(2 * atoms + 2);
  for (unsigned i = 0; i < bonds; ++i) {
    QvAtomBase* a = list[pick(atoms)];
    QvAtomBase* b = pick(20) == 0 ? nullptr : list[pick(atoms)];
    if (QvBondBase* bond = mol.NewBond(a, b, pick(7))) bond->SetAromatic(pick(2));
  }
  for (unsigned i = 0; i < atoms / 8; ++i) mol.DeleteAtom(list[pick(atoms)]);
  for (QvAtomBase* atom : list) {
    if (atom->IsDeleted() || pick(4) != 0) continue;
    std::vector<const QvAtomBase*> nbrs;
    Tamrin::QvForEachNbr(*atom, [&nbrs](const QvAtomBase& nbr) { nbrs.push_back(&nbr); });
    if (nbrs.size() == 3) nbrs.push_back(nullptr);
    std::shuffle(nbrs.begin(), nbrs.end(), rng);
    Tamrin::QvSetAtomStereo(*atom, nbrs, pick(2) ? Tamrin::QvChirality::Clockwise : Tamrin::QvChirality::Anticlockwise);
  }
  for (QvBondBase& bond : mol.GetBonds()) {
    if (!bond.GetBgn() || !bond.GetEnd() || pick(3) != 0) continue;
    const QvAtomBase* ref_bgn = nullptr;
    const QvAtomBase* ref_end = nullptr;
    Tamrin::QvForEachNbr(*bond.GetBgn(), [&](const QvAtomBase& nbr) {
      if (&nbr != bond.GetEnd()) ref_bgn = &nbr;
    });
    Tamrin::QvForEachNbr(*bond.GetEnd(), [&](const QvAtomBase& nbr) {
      if (&nbr != bond.GetBgn()) ref_end = &nbr;
    });
    Tamrin::QvSetBondStereo(bond, ref_bgn, ref_end, Tamrin::QvBondConfig::Cis);
  }
  return mol;
}

TEST(PerceptionRobustness, RandomGraphsThroughEveryPass) {
  std::mt19937 rng(20261205);
  for (int round = 0; round < 400; ++round) {
    QvGraphMol mol = RandomMolecule(rng);
    SCOPED_TRACE(round);
    Tamrin::QvPerceiveRings(mol);
    for (const QvBondBase& bond : mol.GetBonds())
      EXPECT_TRUE((bond.GetBgn() && bond.GetEnd()) || !bond.IsInRing());
    for (const Tamrin::QvRing& ring : Tamrin::QvFindSSSR(mol)) {
      EXPECT_GE(ring.size(), 2u);  // parallel bonds make rings of two
      for (const QvBondBase* bond : ring.bonds) EXPECT_TRUE(bond->IsInRing());
    }
    for (unsigned model = 0; model <= 6; ++model) Tamrin::QvPerceiveAromaticity(mol, model);
    const std::vector<unsigned> ranks = Tamrin::QvCanonicalRanks(mol);
    std::vector<unsigned> live;
    for (const QvAtomBase& atom : mol.GetAtoms()) live.push_back(ranks.at(atom.GetIdx()));
    std::sort(live.begin(), live.end());
    for (unsigned i = 0; i < live.size(); ++i) EXPECT_EQ(live[i], i);
    Tamrin::QvKekulize(mol);
    // Bonds with an empty end are documented to stay as they are.
    for (const QvBondBase& bond : mol.GetBonds())
      EXPECT_TRUE(!bond.GetBgn() || !bond.GetEnd() || bond.GetOrder() != Tamrin::kQvAromaticOrder);
    Tamrin::QvAssignImplicitHydrogens(mol);
    const unsigned before = mol.NumAtoms();
    const unsigned folded = Tamrin::QvSuppressHydrogens(mol);
    EXPECT_EQ(mol.NumAtoms(), before - folded);
    mol.Sweep();
    Tamrin::QvPerceiveAromaticity(mol, 2u);
    Tamrin::QvCanonicalRanks(mol);
  }
}

}  // namespace
