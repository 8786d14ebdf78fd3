#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "model_test_support.h"
#include "support/captured_messages.h"
#include "tamrin/model/model.h"

namespace {

using Tamrin::QvAtomBase;
using Tamrin::QvBondBase;
using Tamrin::QvGraphMol;
using Tamrin::QvGraphMolImpl;
using Tamrin::QvMolBase;

TEST(Title, FiveThousandCharactersAreCutTo4091) {
  QvGraphMol mol;
  std::string title(5000, 'x');
  for (size_t i = 0; i < title.size(); ++i) title[i] = static_cast<char>('a' + i % 26);
  mol.SetTitle(title);
  EXPECT_EQ(std::string(mol.GetTitle()), title.substr(0, 4091));
  mol.SetTitle(title.c_str());
  EXPECT_EQ(std::string(mol.GetTitle()), title.substr(0, 4091));
}

TEST(Title, LengthsAroundTheLimit) {
  QvGraphMol mol;
  for (size_t length : {0u, 1u, 4090u, 4091u, 4092u}) {
    mol.SetTitle(std::string(length, 't'));
    EXPECT_EQ(std::string(mol.GetTitle()).size(), std::min<size_t>(length, 4091)) << length;
  }
  mol.SetTitle(static_cast<const char*>(nullptr));
  EXPECT_STREQ(mol.GetTitle(), "");
}

TEST(Energy, StoredAsFloatAndFlagged) {
  QvGraphMol mol;
  EXPECT_FALSE(mol.HasPerceived(Tamrin::QvPerceivedEnergy));
  mol.SetEnergy(1e-50);
  EXPECT_EQ(mol.GetEnergy(), 0.0f);
  EXPECT_TRUE(mol.HasPerceived(0x100));
  mol.SetEnergy(-123.456789);
  EXPECT_EQ(mol.GetEnergy(), -123.456789f);
  EXPECT_NE(static_cast<double>(mol.GetEnergy()), -123.456789);
  mol.SetEnergy(2.5f);
  EXPECT_EQ(mol.GetEnergy(), 2.5f);
}

// Every perception bit starts set; after the edit exactly `remaining` is left.
struct PerceptionCase {
  const char* name;
  std::function<void(QvMolBase&, QvAtomBase*, QvBondBase*)> edit;
  unsigned remaining;
};

constexpr unsigned kAllBits = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x100;

class PerceptionBits : public ::testing::TestWithParam<PerceptionCase> {};

TEST_P(PerceptionBits, EditClearsExactlyItsBits) {
  QvGraphMolImpl mol;
  QvAtomBase* a = mol.NewAtom(6);
  QvAtomBase* b = mol.NewAtom(8);
  QvBondBase* bond = mol.NewBond(a, b, 1);
  mol.SetPerceived(kAllBits, true);
  GetParam().edit(mol, a, bond);
  for (unsigned bit : {0x1u, 0x2u, 0x4u, 0x8u, 0x10u, 0x100u})
    EXPECT_EQ(mol.HasPerceived(bit), (GetParam().remaining & bit) != 0) << "bit " << bit;
}

const double kXyz[3] = {1, 2, 3};

INSTANTIATE_TEST_SUITE_P(
    Edits, PerceptionBits,
    ::testing::Values(
        PerceptionCase{"AtomicNumChange", [](auto&, auto* a, auto*) { a->SetAtomicNum(7); },
                       kAllBits & ~(0x2u | 0x10u | 0x4u)},
        PerceptionCase{"AtomicNumFromZero",
                       [](QvMolBase& m, auto*, auto*) {
                         QvAtomBase* wild = m.GetAtom(Tamrin::QvHasAtomicNum{6});
                         wild->SetAtomicNum(0);
                         m.SetPerceived(kAllBits, true);
                         wild->SetAtomicNum(6);
                       },
                       kAllBits},
        PerceptionCase{"ChargeChange", [](auto&, auto* a, auto*) { a->SetFormalCharge(1); },
                       kAllBits & ~0x2u},
        PerceptionCase{"ChargeSame", [](auto&, auto* a, auto*) { a->SetFormalCharge(0); }, kAllBits},
        PerceptionCase{"HydrogenCountChange", [](auto&, auto* a, auto*) { a->SetImplicitHCount(3); },
                       kAllBits & ~0x2u},
        PerceptionCase{"BondOrderChange", [](auto&, auto*, auto* b) { b->SetOrder(2); },
                       kAllBits & ~(0x2u | 0x8u)},
        PerceptionCase{"BondOrderSame", [](auto&, auto*, auto* b) { b->SetOrder(1); }, kAllBits},
        PerceptionCase{"BondOrderFromZero",
                       [](QvMolBase& m, auto* a, auto*) {
                         QvBondBase* open = m.NewBond(a, nullptr, 0);
                         m.SetPerceived(kAllBits, true);
                         open->SetOrder(1);
                       },
                       kAllBits},
        PerceptionCase{"AtomCoords", [](QvMolBase& m, auto* a, auto*) { m.SetCoords(a, kXyz); },
                       kAllBits & ~(0x4u | 0x8u)},
        PerceptionCase{"WholeCoords",
                       [](QvMolBase& m, auto*, auto*) {
                         const double all[6] = {};
                         m.SetCoords(all);
                       },
                       kAllBits & ~(0x4u | 0x8u)},
        PerceptionCase{"ClearCoords", [](QvMolBase& m, auto*, auto*) { m.ClearCoords(); },
                       kAllBits & ~(0x4u | 0x8u)},
        PerceptionCase{"BondEndAttached",
                       [](QvMolBase& m, auto* a, auto*) {
                         QvBondBase* open = m.NewBond(nullptr, nullptr, 1);
                         m.SetPerceived(kAllBits, true);
                         open->SetEnd(a);
                       },
                       kAllBits & ~0x4u},
        PerceptionCase{"NewAtom", [](QvMolBase& m, auto*, auto*) { m.NewAtom(1); }, 0u},
        PerceptionCase{"NewBond",
                       [](QvMolBase& m, auto* a, auto*) { m.NewBond(a, m.NewAtom(1), 1); }, 0u},
        PerceptionCase{"DeleteAtom", [](QvMolBase& m, auto* a, auto*) { m.DeleteAtom(a); }, 0u},
        PerceptionCase{"DeleteBond", [](QvMolBase& m, auto*, auto* b) { m.DeleteBond(b); }, 0u},
        PerceptionCase{"FailedDelete",
                       [](QvMolBase& m, auto* a, auto*) {
                         m.DeleteAtom(a);
                         m.SetPerceived(kAllBits, true);
                         m.DeleteAtom(a);
                       },
                       kAllBits},
        PerceptionCase{"HarmlessEdits",
                       [](auto&, auto* a, auto* b) {
                         a->SetIsotope(13);
                         a->SetName("C1");
                         a->SetMapIdx(4);
                         a->SetPartialCharge(0.25);
                         b->SetIntType(3);
                         b->SwapEnds();
                       },
                       kAllBits},
        PerceptionCase{"ClearPerceived", [](QvMolBase& m, auto*, auto*) { m.ClearPerceived(); }, 0u}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(PerceptionBits, SetAndClearSingleBits) {
  QvGraphMol mol;
  mol.SetPerceived(0x1 | 0x8, true);
  EXPECT_TRUE(mol.HasPerceived(0x1 | 0x8));
  EXPECT_FALSE(mol.HasPerceived(0x1 | 0x2)) << "every bit of the mask must be set";
  mol.SetPerceived(0x8, false);
  EXPECT_TRUE(mol.HasPerceived(0x1));
  EXPECT_FALSE(mol.HasPerceived(0x8));
  EXPECT_TRUE(mol.HasPerceived(0)) << "the empty mask holds trivially";
}

TEST(AtomProperties, DefaultsOfANewAtom) {
  QvGraphMol mol;
  const QvAtomBase* atom = mol.NewAtom(17);
  EXPECT_EQ(atom->GetAtomicNum(), 17u);
  EXPECT_EQ(atom->GetIsotope(), 0u);
  EXPECT_EQ(atom->GetFormalCharge(), 0);
  EXPECT_EQ(atom->GetImplicitHCount(), 0u);
  EXPECT_EQ(atom->GetMapIdx(), 0u);
  EXPECT_EQ(atom->GetAux(), 0u);
  EXPECT_EQ(atom->GetFlag(), 0u);
  EXPECT_EQ(atom->GetPartialCharge(), 0.0);
  EXPECT_EQ(atom->GetIntType(), 0);
  EXPECT_STREQ(atom->GetTypeName(), "");
  EXPECT_STREQ(atom->GetName(), "");
  EXPECT_EQ(atom->GetRadius(), 0.0);
  EXPECT_EQ(atom->GetRxnRole(), 0u);
  EXPECT_FALSE(atom->IsAromatic());
  EXPECT_FALSE(atom->IsInRing());
  EXPECT_FALSE(atom->IsChiral());
  EXPECT_FALSE(atom->IsHydrogen());
  EXPECT_FALSE(atom->IsDeleted());
  EXPECT_EQ(atom->NumData(), 0u) << "an atom with default properties carries no data table";
}

TEST(AtomProperties, RoundTripsAndBuiltInTags) {
  QvGraphMol mol;
  QvAtomBase* atom = mol.NewAtom(1);
  EXPECT_TRUE(atom->IsHydrogen());
  atom->SetIsotope(2);
  atom->SetFormalCharge(-3);
  atom->SetImplicitHCount(255);
  atom->SetMapIdx(12);
  atom->SetAux(0xdeadbeef);
  atom->SetFlag(0xa5);
  atom->SetIntType(-7);
  atom->SetType("H.t3p");
  atom->SetName(std::string("HW1"));
  atom->SetRadius(1.2);
  atom->SetRxnRole(2);
  atom->SetAromatic(true);
  atom->SetInRing(true);
  atom->SetChiral(true);
  atom->SetPartialCharge(0.1);
  EXPECT_EQ(atom->GetIsotope(), 2u);
  EXPECT_EQ(atom->GetFormalCharge(), -3);
  EXPECT_EQ(atom->GetImplicitHCount(), 255u);
  EXPECT_EQ(atom->GetMapIdx(), 12u);
  EXPECT_EQ(atom->GetAux(), 0xdeadbeefu);
  EXPECT_EQ(atom->GetFlag(), 0xa5u);
  EXPECT_EQ(atom->GetIntType(), -7);
  EXPECT_STREQ(atom->GetTypeName(), "H.t3p");
  EXPECT_STREQ(atom->GetName(), "HW1");
  EXPECT_EQ(atom->GetRadius(), 1.2);
  EXPECT_EQ(atom->GetRxnRole(), 2u);
  EXPECT_TRUE(atom->IsAromatic());
  EXPECT_TRUE(atom->IsInRing());
  EXPECT_TRUE(atom->IsChiral());
  // The partial charge is kept as a float under tag 43 and read back widened.
  EXPECT_EQ(atom->GetPartialCharge(), static_cast<double>(0.1f));
  EXPECT_EQ(atom->GetData<float>(43), 0.1f);
  EXPECT_EQ(atom->GetData<std::string>(45), "HW1");
  EXPECT_EQ(atom->GetData<std::string>(40), "H.t3p");
  EXPECT_EQ(atom->GetData<int>(44), -7);
  EXPECT_EQ(atom->GetData<double>(66), 1.2);
  EXPECT_TRUE(atom->GetData<bool>(8));
  EXPECT_EQ(atom->GetData<unsigned>(52), 2u);
}

TEST(AtomProperties, OutOfRangeValuesAreRefused) {
  QvGraphMol mol;
  QvAtomBase* atom = mol.NewAtom(6);
  atom->SetFormalCharge(2);
  atom->SetImplicitHCount(1);
  EXPECT_FALSE(atom->SetFormalCharge(40000));
  EXPECT_FALSE(atom->SetFormalCharge(-40000));
  EXPECT_FALSE(atom->SetImplicitHCount(256));
  EXPECT_EQ(atom->GetFormalCharge(), 2);
  EXPECT_EQ(atom->GetImplicitHCount(), 1u);
  EXPECT_TRUE(atom->SetFormalCharge(-32768));
  EXPECT_TRUE(atom->SetFormalCharge(32767));
  EXPECT_EQ(atom->GetFormalCharge(), 32767);
}

TEST(AtomProperties, IndexMayOnlyBeSetWithinTheCounter) {
  QvGraphMol mol;
  QvAtomBase* a = mol.NewAtom(6);
  mol.NewAtom(6);
  EXPECT_FALSE(a->SetIdx(2));
  EXPECT_TRUE(a->SetIdx(1));
  EXPECT_EQ(a->GetIdx(), 1u);
  QvBondBase* bond = mol.NewBond(a, mol.NewAtom(6), 1);
  EXPECT_FALSE(bond->SetIdx(1));
  EXPECT_TRUE(bond->SetIdx(0));
}

TEST(AtomProperties, ClearDropsDataButKeepsTheDeletedMark) {
  QvGraphMol mol;
  QvAtomBase* kept = mol.NewAtom(6);
  QvAtomBase* gone = mol.NewAtom(6);
  kept->SetName("N1");
  gone->SetName("N2");
  mol.DeleteAtom(gone);
  kept->Clear();
  gone->Clear();
  EXPECT_STREQ(kept->GetName(), "");
  EXPECT_STREQ(gone->GetName(), "");
  EXPECT_FALSE(kept->IsDeleted());
  EXPECT_TRUE(gone->IsDeleted());
  EXPECT_TRUE(gone->GetData<bool>(13)) << "the deleted mark is tag 13";
  EXPECT_EQ(mol.NumAtoms(), 1u);
}

TEST(AtomProperties, TypeMismatchOnABuiltInTagWarns) {
  QvGraphMol mol;
  QvAtomBase* atom = mol.NewAtom(6);
  atom->SetData(Sorvil::QvNameTag, 5);
  CapturedMessages messages;
  EXPECT_FALSE(atom->SetName("C1"));
  EXPECT_EQ(messages.text(), "Warning: data type mismatch found when using generic data\n");
  EXPECT_STREQ(atom->GetName(), "") << "text getters read a foreign type as empty";
}

TEST(BondProperties, DefaultsAndRoundTrips) {
  QvGraphMol mol;
  QvBondBase* bond = mol.NewBond(mol.NewAtom(6), mol.NewAtom(6), 3);
  EXPECT_EQ(bond->GetOrder(), 3u);
  EXPECT_EQ(bond->GetIntType(), 0u);
  EXPECT_STREQ(bond->GetTypeName(), "");
  EXPECT_FALSE(bond->IsAromatic());
  EXPECT_FALSE(bond->IsInRing());
  EXPECT_FALSE(bond->IsChiral());
  EXPECT_EQ(bond->NumData(), 0u);
  bond->SetIntType(9);
  bond->SetType(std::string("ar"));
  bond->SetAromatic(true);
  bond->SetInRing(true);
  bond->SetChiral(true);
  EXPECT_EQ(bond->GetIntType(), 9u);
  EXPECT_STREQ(bond->GetTypeName(), "ar");
  EXPECT_EQ(bond->GetData<std::string>(41), "ar");
  EXPECT_TRUE(bond->IsAromatic());
  EXPECT_TRUE(bond->IsInRing());
  EXPECT_TRUE(bond->IsChiral());
}

TEST(NewAtomCopy, TakesPropertiesAndDataButNotIndexBondsOrDeletion) {
  QvGraphMol source;
  QvAtomBase* from = source.NewAtom(7);
  source.NewBond(from, source.NewAtom(6), 1);
  from->SetFormalCharge(1);
  from->SetIsotope(15);
  from->SetImplicitHCount(3);
  from->SetAromatic(true);
  from->SetName("N");
  from->SetData(Sorvil::QvGetTag("note"), std::string("x"));
  source.DeleteAtom(from);
  QvGraphMol mol;
  mol.NewAtom(1);
  QvAtomBase* copy = mol.NewAtom(*from);
  EXPECT_EQ(copy->GetIdx(), 1u);
  EXPECT_EQ(copy->GetParent(), &mol.GetMol());
  EXPECT_EQ(copy->GetAtomicNum(), 7u);
  EXPECT_EQ(copy->GetFormalCharge(), 1);
  EXPECT_EQ(copy->GetIsotope(), 15u);
  EXPECT_EQ(copy->GetImplicitHCount(), 3u);
  EXPECT_TRUE(copy->IsAromatic());
  EXPECT_STREQ(copy->GetName(), "N");
  EXPECT_EQ(copy->GetData<std::string>(Sorvil::QvGetTag("note")), "x");
  EXPECT_EQ(copy->GetExplicitDegree(), 0u);
  EXPECT_FALSE(copy->IsDeleted());
  EXPECT_EQ(mol.NumAtoms(), 2u);
}

TEST(MoleculeCopy, CopiesTheUndeletedGraphRenumberedWithEverythingElse) {
  QvGraphMol source;
  const auto atoms = model_test::MakeChain(source, 5);
  source.DeleteAtom(atoms[1]);
  source.SetTitle("ethane-ish");
  source.SetEnergy(-1.5);
  source.SetDimension(3);
  Sorvil::QvAddSDData(source.GetMol(), "id", "42");
  source.SetPerceived(Tamrin::QvPerceivedRings, true);
  atoms[3]->SetName("C4");
  source.GetBond(atoms[2], atoms[3])->SetAromatic(true);

  QvGraphMol copy(source.GetMol());
  EXPECT_EQ(copy.NumAtoms(), 4u);
  EXPECT_EQ(copy.NumBonds(), 2u);
  EXPECT_EQ(copy.GetMaxAtomIdx(), 4u);
  EXPECT_EQ(model_test::AtomIndices(copy), (std::vector<unsigned>{0, 1, 2, 3}));
  EXPECT_STREQ(copy.GetTitle(), "ethane-ish");
  EXPECT_EQ(copy.GetEnergy(), -1.5f);
  EXPECT_TRUE(copy.HasPerceived(Tamrin::QvPerceivedEnergy | Tamrin::QvPerceivedRings));
  EXPECT_EQ(copy.GetDimension(), 3u);
  EXPECT_EQ(Sorvil::QvGetSDData(copy.GetMol(), "id"), "42");
  const QvAtomBase* c4 = copy.GetAtom(Tamrin::QvHasAtomIdx{2});
  EXPECT_STREQ(c4->GetName(), "C4");
  EXPECT_EQ(model_test::CoordsOf(copy, c4), (model_test::Xyz{3, 6, 9}));
  EXPECT_TRUE(copy.GetBond(copy.GetAtom(Tamrin::QvHasAtomIdx{1}), c4)->IsAromatic());
  // Independent of the source.
  source.Clear();
  EXPECT_EQ(copy.NumAtoms(), 4u);
}

TEST(MoleculeCopy, WithoutEnergyTheCopyHasNone) {
  QvGraphMol source;
  source.NewAtom(6);
  QvGraphMol copy(source);
  EXPECT_FALSE(copy.HasPerceived(Tamrin::QvPerceivedEnergy));
  EXPECT_TRUE(copy.Copy(copy.GetMol())) << "copying onto itself changes nothing";
  EXPECT_EQ(copy.NumAtoms(), 1u);
}

TEST(GraphMolHandle, CopyMoveAndAssignment) {
  QvGraphMol a;
  model_test::MakeChain(a, 3);
  QvGraphMol b = a;
  b.NewAtom(8);
  EXPECT_EQ(a.NumAtoms(), 3u);
  EXPECT_EQ(b.NumAtoms(), 4u);
  QvGraphMol c = std::move(b);
  EXPECT_EQ(c.NumAtoms(), 4u);
  EXPECT_EQ(b.NumAtoms(), 0u) << "a moved-from handle is a valid empty molecule";
  b.NewAtom(1);
  EXPECT_EQ(b.NumAtoms(), 1u);
  a = c;
  EXPECT_EQ(a.NumAtoms(), 4u);
  a = a;
  EXPECT_EQ(a.NumAtoms(), 4u);
  EXPECT_TRUE(a.IsA(QvMolBase::TypeId));
  EXPECT_EQ(a.GetType(), Tamrin::QvGraphMolImpl::TypeId);
  const QvMolBase& as_base = a;
  EXPECT_EQ(as_base.NumAtoms(), 4u);
}

TEST(ClassIdentity, ModelClassesReportTheirChain) {
  QvGraphMol mol;
  QvAtomBase* atom = mol.NewAtom(6);
  QvBondBase* bond = mol.NewBond(atom, mol.NewAtom(6), 1);
  EXPECT_TRUE(atom->IsA(Tamrin::QvAtomBase::TypeId));
  EXPECT_TRUE(atom->IsA(Tamrin::QvAtomBaseImpl::TypeId));
  EXPECT_TRUE(atom->IsA(Sorvil::QvBase::TypeId));
  EXPECT_FALSE(atom->IsA(Tamrin::QvBondBase::TypeId));
  EXPECT_EQ(atom->GetType(), Tamrin::QvAtom::TypeId);
  EXPECT_EQ(bond->GetType(), Tamrin::QvBond::TypeId);
  EXPECT_TRUE(bond->IsA(Tamrin::QvBondBaseImpl::TypeId));
  EXPECT_TRUE(mol->IsA(Tamrin::QvMolBaseImpl::TypeId));
  EXPECT_FALSE(mol->IsA(Tamrin::QvMCMolBase::TypeId));
  EXPECT_EQ(Sorvil::QvCast<Tamrin::QvMCMolBase>(&mol.GetMol()), nullptr);
}

}  // namespace
