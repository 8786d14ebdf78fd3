#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "model_test_support.h"
#include "support/captured_messages.h"
#include "tamrin/model/model.h"

namespace {

using model_test::Xyz;
using Tamrin::QvAtomBase;
using Tamrin::QvConfBase;
using Tamrin::QvGraphMol;
using Tamrin::QvMol;
using Strings = std::vector<std::string>;

// Three atoms in a row; conformer k puts atom i at (k + i, 0, 0).
std::vector<QvAtomBase*> MakeThreeAtoms(QvMol& mol) {
  std::vector<QvAtomBase*> atoms = {mol.NewAtom(6), mol.NewAtom(6), mol.NewAtom(8)};
  mol.NewBond(atoms[0], atoms[1], 1);
  mol.NewBond(atoms[1], atoms[2], 2);
  return atoms;
}

QvConfBase* NewConfAt(QvMol& mol, float k) {
  const float xyz[9] = {k, 0, 0, k + 1, 0, 0, k + 2, 0, 0};
  return mol.NewConf(xyz);
}

Xyz ConfCoords(const QvConfBase& conf, const QvAtomBase* atom) {
  Xyz xyz{};
  conf.GetCoords(atom, xyz.data());
  return xyz;
}

TEST(Conformers, TheFirstBecomesActiveAndMoleculeCoordinatesFollowIt) {
  QvMol mol;
  const auto atoms = MakeThreeAtoms(mol);
  QvConfBase* first = NewConfAt(mol, 0);
  QvConfBase* second = NewConfAt(mol, 5);
  EXPECT_EQ(std::tuple(mol.GetActive(), first->IsActive()), std::tuple(first, true));
  EXPECT_EQ(model_test::CoordsOf(mol, atoms[1]), (Xyz{1, 0, 0}));
  ASSERT_TRUE(mol.SetActive(second));
  EXPECT_EQ(model_test::CoordsOf(mol, atoms[1]), (Xyz{6, 0, 0}));
  const double moved[3] = {-1, -2, -3};
  mol.SetCoords(atoms[1], moved);
  EXPECT_EQ(ConfCoords(*second, atoms[1]), (Xyz{-1, -2, -3}));
  EXPECT_EQ(ConfCoords(*first, atoms[1]), (Xyz{1, 0, 0}));
}

TEST(Conformers, WithoutAnActiveOneEveryAccessReportsAndFails) {
  QvMol mol;
  MakeThreeAtoms(mol);
  CapturedMessages messages;
  const double xyz[3] = {1, 2, 3};
  std::vector<double> all(9, 5.0);
  // Braces: the calls run, and report, in order.
  EXPECT_EQ((std::tuple{mol.GetDimension(), mol.SetDimension(3), mol.GetEnergy(), mol.SetEnergy(1.0),
                       mol.HasPerceived(Tamrin::QvPerceivedEnergy), mol.SetCoords(mol.AtomList()[0], xyz),
                        mol.GetCoords(all.data())}),
            std::tuple(0u, false, 0.0f, false, false, false, false));
  EXPECT_EQ(all, std::vector<double>(9, 0.0));
  Strings expected;
  for (const char* call : {"GetDimension", "SetDimension", "GetEnergy", "SetEnergy", "SetCoords", "GetCoords"})
    expected.push_back(std::string("QvMol::") + call + "() : no active conformer");
  EXPECT_EQ(messages.lines(), expected);
}

// Pushed conformers come back in turn; deleting the active one, or one that
// a push remembers, falls back to the first left.
TEST(Conformers, PushPopAndDeletingTheActiveOne) {
  QvMol mol;
  MakeThreeAtoms(mol);
  QvConfBase* a = mol.NewConf();
  QvConfBase* b = mol.NewConf();
  QvConfBase* c = mol.NewConf();
  EXPECT_FALSE(mol.PopActive()) << "nothing pushed";
  ASSERT_TRUE(mol.PushActive(b) && mol.PushActive(c));
  EXPECT_EQ(mol.GetActive(), c);
  EXPECT_TRUE(mol.PopActive());
  EXPECT_EQ(mol.GetActive(), b);
  EXPECT_TRUE(mol.PopActive());
  EXPECT_EQ(mol.GetActive(), a);
  QvMol other;
  MakeThreeAtoms(other);
  QvConfBase* foreign = other.NewConf();
  EXPECT_FALSE(mol.PushActive(foreign) || mol.SetActive(foreign) || mol.SetActive(nullptr));

  ASSERT_TRUE(mol.SetActive(b));
  EXPECT_TRUE(mol.DeleteConf(b));
  EXPECT_FALSE(mol.DeleteConf(b));
  EXPECT_EQ(std::tuple(mol.GetActive(), mol.NumConfs()), std::tuple(a, 2u));
  QvConfBase* d = mol.NewConf();
  EXPECT_EQ(d->GetIdx(), 3u) << "conformer numbers are not reused";
  mol.PushActive(c);
  mol.PushActive(d);
  mol.DeleteConf(c);
  mol.PopActive();
  EXPECT_EQ(mol.GetActive(), a);
  EXPECT_TRUE(mol.DeleteConf(a));
  EXPECT_EQ(mol.GetActive(), d);
  mol.DeleteConfs();
  EXPECT_EQ(std::tuple(mol.GetActive(), mol.NumConfs(), mol.OwnsConf(d)), std::tuple(nullptr, 0u, false));
}

TEST(Conformers, CopyingCoordinatesBetweenDifferentSizesFails) {
  QvMol small;
  MakeThreeAtoms(small);
  QvConfBase* target = NewConfAt(small, 1);
  QvMol big;
  MakeThreeAtoms(big);
  big.NewAtom(1);
  QvConfBase* source = big.NewConf();
  CapturedMessages messages;
  EXPECT_FALSE(target->CopyCoords(*source));
  EXPECT_EQ(small.NewConf(*source), nullptr);
  EXPECT_EQ(messages.lines(), Strings(2, "Incompatible conformer size, cannot copy."));
  EXPECT_EQ(ConfCoords(*target, small.AtomList()[0]), (Xyz{1, 0, 0}));
  EXPECT_EQ(small.NumConfs(), 1u);
}

TEST(Conformers, SweepMovesEveryConformersCoordinates) {
  QvMol mol;
  const auto atoms = MakeThreeAtoms(mol);
  QvConfBase* a = NewConfAt(mol, 0);
  QvConfBase* b = NewConfAt(mol, 100);
  mol.DeleteAtom(atoms[0]);
  mol.Sweep();
  EXPECT_EQ(atoms[2]->GetIdx(), 1u);
  EXPECT_EQ(std::tuple(ConfCoords(*a, atoms[2]), ConfCoords(*b, atoms[2]), ConfCoords(*b, atoms[1])),
            std::tuple(Xyz{2, 0, 0}, Xyz{102, 0, 0}, Xyz{101, 0, 0}));
}

TEST(Conformers, EachConformerSplitsIntoAGraphMolecule) {
  QvMol mol;
  MakeThreeAtoms(mol);
  mol.SetTitle("parent");
  QvConfBase* a = NewConfAt(mol, 0);
  QvConfBase* b = NewConfAt(mol, 30);
  b->SetTitle("b");
  b->SetEnergy(4.0);
  Sorvil::QvAddSDData(*b, "k", "v");
  QvGraphMol from_a(*a);
  QvGraphMol from_b(*b);
  EXPECT_EQ(model_test::CoordsOf(from_a, from_a.AtomList()[2]), (Xyz{2, 0, 0}));
  EXPECT_EQ(model_test::CoordsOf(from_b, from_b.AtomList()[2]), (Xyz{32, 0, 0}));
  EXPECT_EQ(std::tuple(std::string(from_a.GetTitle()), std::string(from_b.GetTitle()), from_b.GetEnergy(),
                       from_a.HasPerceived(Tamrin::QvPerceivedEnergy), from_b.NumBonds()),
            std::tuple("parent", "b", 4.0f, false, 2u));
  EXPECT_EQ(Sorvil::QvGetSDData(from_b.GetMol(), "k"), "v");
  EXPECT_EQ(mol.GetActive(), a) << "splitting does not change the active conformer";
  // Into a multi-conformer target the split gives one conformer.
  QvMol single;
  ASSERT_TRUE(Tamrin::QvCopyConf(single, *b));
  EXPECT_EQ(single.NumConfs(), 1u);
  EXPECT_EQ(model_test::CoordsOf(single, single.AtomList()[0]), (Xyz{30, 0, 0}));
}

// Every coordinate call in both precisions, on a conformer and through the
// molecule: null buffers, null atoms and atoms of another molecule are refused,
// a refused read leaves zeros, and without an active conformer the molecule
// refuses too.
template <class U>
void CheckCoordinateCalls() {
  SCOPED_TRACE(sizeof(U) == sizeof(float) ? "float" : "double");
  QvMol mol;
  const auto atoms = MakeThreeAtoms(mol);
  QvMol other;
  const QvAtomBase* foreign = MakeThreeAtoms(other)[0];
  QvConfBase* conf = NewConfAt(mol, 1);
  const U* no_input = nullptr;
  U* no_output = nullptr;
  U xyz[3] = {7, 7, 7};
  std::vector<U> all(9, 7);

  EXPECT_EQ(mol.NewConf(no_input), nullptr);
  for (const bool refused : {conf->SetCoords(no_input), conf->GetCoords(no_output), conf->SetCoords(nullptr, xyz),
                             conf->SetCoords(foreign, xyz), conf->SetCoords(atoms[0], no_input),
                             conf->GetCoords(atoms[0], no_output), conf->GetCoords(foreign, xyz)})
    EXPECT_FALSE(refused);
  EXPECT_EQ(std::vector<U>(xyz, xyz + 3), std::vector<U>(3, 0));

  const U moved[3] = {4, 5, 6};
  EXPECT_TRUE(conf->SetCoords(atoms[2], moved) && conf->GetCoords(all.data()));
  EXPECT_EQ(all, (std::vector<U>{1, 0, 0, 2, 0, 0, 4, 5, 6}));
  all[0] = -1;
  EXPECT_TRUE(mol.SetCoords(all.data()) && mol.GetCoords(atoms[0], xyz));
  EXPECT_EQ(xyz[0], U{-1});
  EXPECT_TRUE(mol.SetCoords(atoms[1], moved) && mol.GetCoords(all.data()));
  EXPECT_EQ(all[3], U{4});
  mol.ClearCoords();
  EXPECT_EQ(conf->GetDimension(), 0u);
  EXPECT_TRUE(conf->GetCoords(all.data()));
  EXPECT_EQ(all, std::vector<U>(9, 0));

  mol.DeleteConfs();
  CapturedMessages messages;
  mol.ClearCoords();
  xyz[0] = 7;
  EXPECT_FALSE(mol.SetCoords(all.data()) || mol.SetCoords(atoms[0], moved) || mol.GetCoords(atoms[0], xyz));
  EXPECT_EQ(xyz[0], U{0});
  EXPECT_EQ(messages.lines().size(), 3u);
}

TEST(Conformers, CoordinateCallsRefuseBadArgumentsInBothPrecisions) {
  CheckCoordinateCalls<float>();
  CheckCoordinateCalls<double>();
}

TEST(Conformers, TitleDimensionEnergyAndCopiesAtTheEdges) {
  QvMol mol;
  MakeThreeAtoms(mol);
  QvConfBase* conf = NewConfAt(mol, 2);
  EXPECT_TRUE(conf->SetTitle(static_cast<const char*>(nullptr)));
  EXPECT_STREQ(conf->GetTitle(), "");
  EXPECT_FALSE(conf->SetDimension(4));
  EXPECT_TRUE(conf->CopyCoords(*conf));
  CapturedMessages messages;
  conf->SetEnergy(std::numeric_limits<float>::quiet_NaN());
  EXPECT_TRUE(std::isnan(mol.GetEnergy()));
  EXPECT_EQ(messages.lines(), Strings{"QvMol::GetEnergy() : is a NaN"});

  // A multi-conformer source gives its active conformer, or an empty one.
  QvMol copy;
  MakeThreeAtoms(copy);
  for (const Xyz expected : {Xyz{3, 0, 0}, Xyz{0, 0, 0}}) {
    QvConfBase* taken = copy.NewConf(mol);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(ConfCoords(*taken, copy.AtomList()[1]), expected);
    mol.DeleteConfs();
  }
}

}  // namespace
