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

}  // namespace
