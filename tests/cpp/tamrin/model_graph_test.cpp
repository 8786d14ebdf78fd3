#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <tuple>
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
  EXPECT_EQ(std::tuple(mol.NumBonds(), mol.BondList().size(), atoms[0]->GetExplicitDegree(),
                       atoms[0]->BondList().size(), atoms[0]->GetBonds().empty(), atoms[0]->IsConnected(atoms[1])),
            std::tuple(0u, 2u, 0u, 1u, true, false));
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
  EXPECT_EQ(std::tuple(mol.NumAtoms(), AtomIndices(mol).back()), std::tuple(100u, 99u));
  for (const QvAtomBase* atom : reused) EXPECT_TRUE(mol->OwnsAtom(atom));
}

TEST(Pools, OwnershipTestRejectsForeignAndInteriorPointers) {
  QvGraphMol mol;
  QvGraphMol other;
  QvAtomBase* atom = mol.NewAtom(6);
  QvAtomBase* foreign = other.NewAtom(6);
  QvBondBase* bond = mol.NewBond(atom, mol.NewAtom(6), 1);
  int on_stack = 0;
  EXPECT_TRUE(mol->OwnsAtom(atom) && mol->OwnsBond(bond));
  for (const void* not_an_atom : {static_cast<const void*>(foreign), static_cast<const void*>(bond),
                                  static_cast<const void*>(reinterpret_cast<const char*>(atom) + 8),
                                  static_cast<const void*>(nullptr), static_cast<const void*>(&on_stack)})
    EXPECT_FALSE(mol->OwnsAtom(not_an_atom)) << not_an_atom;
  mol.Clear();
  EXPECT_FALSE(mol->OwnsAtom(atom) || mol->OwnsBond(bond));
}

TEST(NewBond, OpenEndsAreAttachedOnceByTheirSetters) {
  QvGraphMol mol;
  QvGraphMol other;
  QvAtomBase* a = mol.NewAtom(6);
  QvAtomBase* b = mol.NewAtom(8);
  QvBondBase* bond = mol.NewBond(nullptr, nullptr, 1);
  ASSERT_NE(bond, nullptr);
  EXPECT_FALSE(bond->SetBgn(other.NewAtom(6)) || bond->SetBgn(nullptr));
  EXPECT_TRUE(bond->SetBgn(a));
  EXPECT_FALSE(bond->SetBgn(b)) << "begin already set";
  EXPECT_FALSE(bond->SetEnd(a)) << "both ends one atom";
  EXPECT_TRUE(bond->SetEnd(b));
  EXPECT_FALSE(bond->SetEnd(b));
  EXPECT_EQ(std::tuple(a->IsConnected(b), b->GetBond(a), a->GetExplicitDegree()), std::tuple(true, bond, 1u));
}

}  // namespace
