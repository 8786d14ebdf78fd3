#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>
#include <vector>

#include "model_test_support.h"
#include "tamrin/model/model.h"

namespace {

using model_test::AtomIndices;
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

namespace {

using Tamrin::QvAtom;
using Tamrin::QvAtomFields;
using Tamrin::QvBondFields;
using Tamrin::QvGraphMolImpl;

// Atoms and bonds made with all their fields at once must equal ones made
// by NewAtom and NewBond and then set field by field.
TEST(Fill, FieldsGivenAtOnceEqualFieldsSetOneByOne) {
  const QvAtomFields atoms[] = {
      {.atomic_num = 6},
      {.atomic_num = 7, .isotope = 15, .formal_charge = -2, .implicit_h = 3, .aromatic = true},
      {.atomic_num = 0, .map_idx = 12, .aux = 7, .formal_charge = 32767, .flag = 255, .in_ring = true},
      {.atomic_num = 118, .isotope = 300, .formal_charge = -32768, .implicit_h = 255, .aromatic = true, .in_ring = true},
  };
  const QvBondFields bonds[] = {
      {.order = 1}, {.order = 2, .int_type = 9, .aromatic = true}, {.order = 0, .in_ring = true},
      {.order = 200, .int_type = 4000000000u, .aromatic = true, .in_ring = true}};
  QvGraphMolImpl filled;
  QvGraphMolImpl set;
  filled.PrepareFill(std::size(atoms), std::size(bonds));
  for (const QvAtomFields& f : atoms) {
    filled.AddAtom(f);
    QvAtomBase* atom = set.NewAtom(f.atomic_num);
    atom->SetIsotope(f.isotope);
    atom->SetMapIdx(f.map_idx);
    atom->SetAux(f.aux);
    atom->SetFormalCharge(f.formal_charge);
    atom->SetImplicitHCount(f.implicit_h);
    atom->SetFlag(f.flag);
    atom->SetAromatic(f.aromatic);
    atom->SetInRing(f.in_ring);
  }
  for (unsigned i = 0; i < std::size(bonds); ++i) {
    const QvBondFields& f = bonds[i];
    const unsigned bgn = i;
    const unsigned end = (i + 1) % std::size(atoms);
    filled.AddBond(static_cast<QvAtom*>(filled.AtomList()[bgn]), static_cast<QvAtom*>(filled.AtomList()[end]), f);
    QvBondBase* bond = set.NewBond(set.AtomList()[bgn], set.AtomList()[end], f.order);
    bond->SetIntType(f.int_type);
    bond->SetAromatic(f.aromatic);
    bond->SetInRing(f.in_ring);
  }
  ASSERT_EQ(filled.NumAtoms(), set.NumAtoms());
  for (unsigned i = 0; i < set.NumAtoms(); ++i) {
    const QvAtomBase& x = *filled.AtomList()[i];
    const QvAtomBase& y = *set.AtomList()[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(std::tuple(x.GetIdx(), x.GetAtomicNum(), x.GetIsotope(), x.GetMapIdx(), x.GetAux(), x.GetFormalCharge(),
                         x.GetImplicitHCount(), x.GetFlag(), x.IsAromatic(), x.IsInRing(), x.GetExplicitDegree(),
                         x.GetParent()),
              std::tuple(y.GetIdx(), y.GetAtomicNum(), y.GetIsotope(), y.GetMapIdx(), y.GetAux(), y.GetFormalCharge(),
                         y.GetImplicitHCount(), y.GetFlag(), y.IsAromatic(), y.IsInRing(), y.GetExplicitDegree(),
                         static_cast<Tamrin::QvMolBase*>(&filled)));
  }
  ASSERT_EQ(filled.NumBonds(), set.NumBonds());
  for (unsigned i = 0; i < set.NumBonds(); ++i) {
    const QvBondBase& x = *filled.BondList()[i];
    const QvBondBase& y = *set.BondList()[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(std::tuple(x.GetIdx(), x.GetBgn()->GetIdx(), x.GetEnd()->GetIdx(), x.GetOrder(), x.GetIntType(),
                         x.IsAromatic(), x.IsInRing()),
              std::tuple(y.GetIdx(), y.GetBgn()->GetIdx(), y.GetEnd()->GetIdx(), y.GetOrder(), y.GetIntType(),
                         y.IsAromatic(), y.IsInRing()));
    EXPECT_EQ(filled.GetBond(x.GetBgn(), x.GetEnd()), &x);
  }
}

// Filling clears the perception bits exactly when a new atom would.
TEST(Fill, PreparingForAtomsClearsThePerceptionBitsAsANewAtomWould) {
  const struct {
    unsigned atoms, bonds;
    bool kept;
  } cases[] = {{0, 0, true}, {0, 5, true}, {1, 0, false}, {30, 31, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.atoms);
    QvGraphMolImpl mol;
    mol.SetPerceived(Tamrin::QvPerceivedRings | Tamrin::QvPerceivedAromaticity, true);
    mol.PrepareFill(c.atoms, c.bonds);
    EXPECT_EQ(mol.HasPerceived(Tamrin::QvPerceivedRings), c.kept);
    QvGraphMolImpl by_new_atom;
    by_new_atom.SetPerceived(Tamrin::QvPerceivedRings, true);
    for (unsigned i = 0; i < c.atoms; ++i) by_new_atom.NewAtom(6);
    EXPECT_EQ(by_new_atom.HasPerceived(Tamrin::QvPerceivedRings), c.kept);
    EXPECT_EQ(mol.NumAtoms(), 0u);
  }
}

}  // namespace
