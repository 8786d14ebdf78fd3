#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <vector>

#include "model_test_support.h"
#include "tamrin/model/model.h"

namespace {

using model_test::AtomIndices;
using model_test::BondIndices;
using model_test::MakeChain;
using Tamrin::QvAtomBase;
using Tamrin::QvBondBase;
using Tamrin::QvGraphMol;

TEST(Atoms, DeletingAnAtomDeletesItsBondsButKeepsThemListed) {
  QvGraphMol mol;
  const auto atoms = MakeChain(mol, 3);
  ASSERT_TRUE(mol.DeleteAtom(atoms[1]));
  EXPECT_EQ(mol.NumBonds(), 0u);
  EXPECT_EQ(mol.BondList().size(), 2u);
  EXPECT_EQ(atoms[0]->GetExplicitDegree(), 0u);
  EXPECT_EQ(atoms[0]->BondList().size(), 1u);
  EXPECT_TRUE(atoms[0]->GetBonds().empty());
  EXPECT_FALSE(atoms[0]->IsConnected(atoms[1]));
  for (QvBondBase* bond : mol.BondList()) EXPECT_TRUE(bond->IsDeleted());
  // Deleting a bond that went with the atom fails.
  EXPECT_FALSE(mol.DeleteBond(mol.BondList()[0]));
}

TEST(Iteration, DeletingAheadWhileIteratingSkipsTheDeleted) {
  QvGraphMol mol;
  const auto atoms = MakeChain(mol, 5);
  std::vector<unsigned> seen;
  for (QvAtomBase& atom : mol.GetAtoms()) {
    seen.push_back(atom.GetIdx());
    if (atom.GetIdx() == 0) mol.DeleteAtom(atoms[2]);
  }
  EXPECT_EQ(seen, (std::vector<unsigned>{0, 1, 3, 4}));
}

TEST(Iteration, AtomsAddedWhileIteratingAreVisited) {
  QvGraphMol mol;
  MakeChain(mol, 2);
  std::vector<unsigned> seen;
  // Enough additions to force the list to reallocate under the iterator.
  for (QvAtomBase& atom : mol.GetAtoms()) {
    seen.push_back(atom.GetIdx());
    if (mol.GetMaxAtomIdx() < 100) mol.NewAtom(1);
  }
  EXPECT_EQ(seen.size(), 100u);
  EXPECT_EQ(seen.back(), 99u);
}

TEST(Sweep, RenumbersDenselyInListOrderAndCoordinatesFollow) {
  QvGraphMol mol;
  const auto atoms = MakeChain(mol, 40);
  for (unsigned i = 0; i < 40; i += 3) mol.DeleteAtom(atoms[i]);
  ASSERT_TRUE(mol.Sweep());
  std::vector<unsigned> dense(26);
  std::iota(dense.begin(), dense.end(), 0u);
  EXPECT_EQ(AtomIndices(mol), dense);
  dense.resize(13);
  EXPECT_EQ(BondIndices(mol), dense);
  EXPECT_EQ(mol.AtomList().size(), 26u);
  EXPECT_EQ(mol.BondList().size(), 13u);
  unsigned expected_idx = 0;
  for (unsigned i = 1; i < 40; ++i) {
    if (i % 3 == 0) continue;
    EXPECT_EQ(atoms[i]->GetIdx(), expected_idx++);
    EXPECT_EQ(model_test::CoordsOf(mol, atoms[i]), (model_test::Xyz{1.0 * i, 2.0 * i, 3.0 * i}));
  }
  EXPECT_EQ(mol.GetMaxAtomIdx(), 26u);
  EXPECT_EQ(mol.GetMaxBondIdx(), 13u);
  EXPECT_EQ(mol.NewAtom(7)->GetIdx(), 26u);
  EXPECT_EQ(mol.DeletedAtomCount(), 0u);
}

TEST(Pools, RecordsAcrossManyBlocksStayDistinctAndAreReused) {
  QvGraphMol mol;
  const auto atoms = MakeChain(mol, 100);  // four blocks of 32
  std::set<const QvAtomBase*> distinct(atoms.begin(), atoms.end());
  EXPECT_EQ(distinct.size(), 100u);
  for (QvAtomBase* atom : atoms) EXPECT_TRUE(mol->OwnsAtom(atom));
  for (unsigned i = 30; i < 70; ++i) mol.DeleteAtom(atoms[i]);
  mol.Sweep();
  // Swept records are gone; their memory serves the next atoms.
  EXPECT_FALSE(mol->OwnsAtom(atoms[40]));
  std::set<const QvAtomBase*> reused;
  for (unsigned i = 0; i < 40; ++i) reused.insert(mol.NewAtom(1));
  EXPECT_EQ(reused.size(), 40u);
  for (const QvAtomBase* atom : reused) EXPECT_TRUE(distinct.count(atom)) << "not from a freed slot";
  EXPECT_EQ(mol.NumAtoms(), 100u);
  EXPECT_EQ(AtomIndices(mol).back(), 99u);
  for (const QvAtomBase* atom : reused) EXPECT_TRUE(mol->OwnsAtom(atom));
}

TEST(Pools, OwnershipTestRejectsForeignAndInteriorPointers) {
  QvGraphMol mol;
  QvGraphMol other;
  QvAtomBase* atom = mol.NewAtom(6);
  QvAtomBase* foreign = other.NewAtom(6);
  QvBondBase* bond = mol.NewBond(atom, mol.NewAtom(6), 1);
  EXPECT_TRUE(mol->OwnsAtom(atom));
  EXPECT_FALSE(mol->OwnsAtom(foreign));
  EXPECT_FALSE(mol->OwnsAtom(reinterpret_cast<const char*>(atom) + 8));
  EXPECT_FALSE(mol->OwnsAtom(bond));
  EXPECT_TRUE(mol->OwnsBond(bond));
  EXPECT_FALSE(mol->OwnsAtom(nullptr));
  int on_stack = 0;
  EXPECT_FALSE(mol->OwnsAtom(&on_stack));
  mol.Clear();
  EXPECT_FALSE(mol->OwnsAtom(atom));
  EXPECT_FALSE(mol->OwnsBond(bond));
}

// Foreign, deleted, null and self-referring records are refused and
// change nothing; a refused bond takes no index.
TEST(Graph, RefusalsChangeNothing) {
  QvGraphMol mol;
  QvGraphMol other;
  const auto atoms = MakeChain(mol, 3);
  QvAtomBase* foreign = other.NewAtom(6);
  QvBondBase* foreign_bond = other.NewBond(foreign, other.NewAtom(1), 1);
  QvAtomBase* gone = mol.NewAtom(6);
  EXPECT_TRUE(mol.DeleteAtom(gone));
  EXPECT_FALSE(mol.DeleteAtom(gone));
  EXPECT_FALSE(mol.DeleteAtom(foreign));
  EXPECT_FALSE(mol.DeleteAtom(nullptr));
  EXPECT_FALSE(mol.DeleteBond(foreign_bond));
  EXPECT_FALSE(mol.DeleteBond(nullptr));
  EXPECT_EQ(mol.NewBond(atoms[0], foreign, 1), nullptr);
  EXPECT_EQ(mol.NewBond(atoms[0], gone, 1), nullptr);
  EXPECT_EQ(mol.NewBond(atoms[0], atoms[0], 1), nullptr);
  EXPECT_EQ(mol.GetMaxBondIdx(), 2u);
  EXPECT_EQ(other.NumAtoms(), 2u);
  EXPECT_FALSE(foreign->IsDeleted());
  QvBondBase* bond = mol.GetBond(atoms[0], atoms[1]);
  ASSERT_NE(bond, nullptr);
  EXPECT_EQ(bond->GetBgn(), atoms[0]);
  EXPECT_EQ(bond->GetParent(), &mol.GetMol());
  EXPECT_TRUE(mol.DeleteBond(bond));
  EXPECT_FALSE(mol.DeleteBond(bond));
  EXPECT_EQ(mol.NumBonds(), 1u);
  EXPECT_EQ(mol.NumAtoms(), 3u);
  EXPECT_EQ(atoms[1]->GetExplicitDegree(), 1u);
  EXPECT_EQ(mol.GetBond(atoms[0], atoms[1]), nullptr);
}

TEST(NewBond, OpenEndsAreAttachedOnceByTheirSetters) {
  QvGraphMol mol;
  QvGraphMol other;
  QvAtomBase* a = mol.NewAtom(6);
  QvAtomBase* b = mol.NewAtom(8);
  QvBondBase* bond = mol.NewBond(nullptr, nullptr, 1);
  ASSERT_NE(bond, nullptr);
  EXPECT_FALSE(bond->SetBgn(other.NewAtom(6)));
  EXPECT_FALSE(bond->SetBgn(nullptr));
  EXPECT_TRUE(bond->SetBgn(a));
  EXPECT_FALSE(bond->SetBgn(b)) << "begin already set";
  EXPECT_FALSE(bond->SetEnd(a)) << "both ends one atom";
  EXPECT_TRUE(bond->SetEnd(b));
  EXPECT_FALSE(bond->SetEnd(b));
  EXPECT_TRUE(a->IsConnected(b));
  EXPECT_EQ(b->GetBond(a), bond);
  EXPECT_EQ(a->GetExplicitDegree(), 1u);
}

TEST(Atoms, ManyBondsOnOneAtomOutgrowTheInlineList) {
  QvGraphMol mol;
  QvAtomBase* center = mol.NewAtom(6);
  std::vector<QvAtomBase*> ligands;
  for (int i = 0; i < 9; ++i) {
    ligands.push_back(mol.NewAtom(1));
    mol.NewBond(center, ligands.back(), 1);
  }
  EXPECT_EQ(center->GetExplicitDegree(), 9u);
  std::vector<const QvAtomBase*> nbrs;
  for (const QvAtomBase& nbr : center->GetAtoms()) nbrs.push_back(&nbr);
  EXPECT_EQ(nbrs, std::vector<const QvAtomBase*>(ligands.begin(), ligands.end()));
  mol.DeleteAtom(ligands[0]);
  mol.DeleteAtom(ligands[5]);
  mol.Sweep();
  EXPECT_EQ(center->BondList().size(), 7u);
  EXPECT_EQ(center->BondList()[4]->GetNbr(center), ligands[6]);
}

}  // namespace
