#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <tuple>

#include "model_test_support.h"
#include "support/captured_messages.h"
#include "tamrin/model/model.h"

namespace {

using Tamrin::QvAtomBase;
using Tamrin::QvBondBase;
using Tamrin::QvGraphMol;
using Tamrin::QvGraphMolImpl;
using Tamrin::QvMolBase;

// Every perception bit starts set; after the edit exactly `remaining` is left.
struct PerceptionCase {
  const char* name;
  std::function<void(QvMolBase&, QvAtomBase*, QvBondBase*)> edit;
  unsigned remaining;
};

constexpr unsigned kAllBits = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x100;

class PerceptionBits : public ::testing::TestWithParam<PerceptionCase> {};

const double kXyz[3] = {1, 2, 3};

using Edit = PerceptionCase;

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

INSTANTIATE_TEST_SUITE_P(
    Edits, PerceptionBits,
    ::testing::Values(
        Edit{"AtomicNumChange", [](auto&, auto* a, auto*) { a->SetAtomicNum(7); }, kAllBits & ~(0x2u | 0x10u | 0x4u)},
        Edit{"AtomicNumFromZero",
             [](QvMolBase& m, auto* a, auto*) {
               a->SetAtomicNum(0);
               m.SetPerceived(kAllBits, true);
               a->SetAtomicNum(6);
             },
             kAllBits},
        Edit{"ChargeChange", [](auto&, auto* a, auto*) { a->SetFormalCharge(1); }, kAllBits & ~0x2u},
        Edit{"ChargeSame", [](auto&, auto* a, auto*) { a->SetFormalCharge(0); }, kAllBits},
        Edit{"HydrogenCountChange", [](auto&, auto* a, auto*) { a->SetImplicitHCount(3); }, kAllBits & ~0x2u},
        Edit{"BondOrderChange", [](auto&, auto*, auto* b) { b->SetOrder(2); }, kAllBits & ~(0x2u | 0x8u)},
        Edit{"BondOrderSame", [](auto&, auto*, auto* b) { b->SetOrder(1); }, kAllBits},
        Edit{"BondOrderFromZero",
             [](QvMolBase& m, auto* a, auto*) {
               QvBondBase* open = m.NewBond(a, nullptr, 0);
               m.SetPerceived(kAllBits, true);
               open->SetOrder(1);
             },
             kAllBits},
        Edit{"AtomCoords", [](QvMolBase& m, auto* a, auto*) { m.SetCoords(a, kXyz); }, kAllBits & ~(0x4u | 0x8u)},
        Edit{"WholeCoords", [](QvMolBase& m, auto*, auto*) { m.SetCoords(std::array<double, 6>{}.data()); },
             kAllBits & ~(0x4u | 0x8u)},
        Edit{"ClearCoords", [](QvMolBase& m, auto*, auto*) { m.ClearCoords(); }, kAllBits & ~(0x4u | 0x8u)},
        Edit{"BondEndAttached",
             [](QvMolBase& m, auto* a, auto*) {
               QvBondBase* open = m.NewBond(nullptr, nullptr, 1);
               m.SetPerceived(kAllBits, true);
               open->SetEnd(a);
             },
             kAllBits & ~0x4u},
        Edit{"NewAtom", [](QvMolBase& m, auto*, auto*) { m.NewAtom(1); }, 0u},
        Edit{"NewBond", [](QvMolBase& m, auto* a, auto*) { m.NewBond(a, m.NewAtom(1), 1); }, 0u},
        Edit{"DeleteAtom", [](QvMolBase& m, auto* a, auto*) { m.DeleteAtom(a); }, 0u},
        Edit{"DeleteBond", [](QvMolBase& m, auto*, auto* b) { m.DeleteBond(b); }, 0u},
        Edit{"FailedDelete",
             [](QvMolBase& m, auto* a, auto*) {
               m.DeleteAtom(a);
               m.SetPerceived(kAllBits, true);
               m.DeleteAtom(a);
             },
             kAllBits},
        Edit{"HarmlessEdits",
             [](auto&, auto* a, auto* b) {
               a->SetIsotope(13), a->SetName("C1"), a->SetMapIdx(4), a->SetPartialCharge(0.25);
               b->SetIntType(3), b->SwapEnds();
             },
             kAllBits},
        Edit{"ClearPerceived", [](QvMolBase& m, auto*, auto*) { m.ClearPerceived(); }, 0u}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// Properties without a field of their own live under built-in tags that the
// formats read and write directly.
TEST(AtomProperties, KeptUnderTheirBuiltInTags) {
  QvGraphMol mol;
  QvAtomBase* atom = mol.NewAtom(1);
  atom->SetIntType(-7);
  atom->SetType("H.t3p");
  atom->SetName(std::string("HW1"));
  atom->SetRadius(1.2);
  atom->SetRxnRole(2);
  atom->SetChiral(true);
  atom->SetPartialCharge(0.1);
  EXPECT_EQ(atom->GetPartialCharge(), static_cast<double>(0.1f));  // a float, read back widened
  EXPECT_EQ(std::tuple(atom->GetData<float>(43), atom->GetData<std::string>(45), atom->GetData<std::string>(40),
                       atom->GetData<int>(44), atom->GetData<double>(66), atom->GetData<bool>(8),
                       atom->GetData<unsigned>(52)),
            std::tuple(0.1f, "HW1", "H.t3p", -7, 1.2, true, 2u));
  QvBondBase* bond = mol.NewBond(atom, mol.NewAtom(6), 3);
  bond->SetType(std::string("ar"));
  EXPECT_EQ(bond->GetData<std::string>(41), "ar");
}

TEST(AtomProperties, OutOfRangeValuesAreRefused) {
  QvGraphMol mol;
  QvAtomBase* atom = mol.NewAtom(6);
  atom->SetFormalCharge(2);
  atom->SetImplicitHCount(1);
  EXPECT_FALSE(atom->SetFormalCharge(40000) || atom->SetFormalCharge(-40000) || atom->SetImplicitHCount(256));
  EXPECT_EQ(std::tuple(atom->GetFormalCharge(), atom->GetImplicitHCount()), std::tuple(2, 1u));
  EXPECT_TRUE(atom->SetFormalCharge(-32768) && atom->SetFormalCharge(32767));
  EXPECT_EQ(atom->GetFormalCharge(), 32767);
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
  EXPECT_EQ(std::tuple(std::string(kept->GetName()), std::string(gone->GetName()), kept->IsDeleted(), gone->IsDeleted(),
                       mol.NumAtoms()),
            std::tuple("", "", false, true, 1u));
  EXPECT_TRUE(gone->GetData<bool>(13)) << "the deleted mark is tag 13";
}

}  // namespace
