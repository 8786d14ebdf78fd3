#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
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

// Three atoms in a row; conformer k puts atom i at (k + i, 0, 0).
std::vector<QvAtomBase*> MakeThreeAtoms(QvMol& mol) {
  std::vector<QvAtomBase*> atoms = {mol.NewAtom(6), mol.NewAtom(6), mol.NewAtom(8)};
  mol.NewBond(atoms[0], atoms[1], 1);
  mol.NewBond(atoms[1], atoms[2], 2);
  return atoms;
}

std::vector<float> ConformerCoords(float k) {
  return {k, 0, 0, k + 1, 0, 0, k + 2, 0, 0};
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
  QvConfBase* conf = mol.NewConf(ConformerCoords(1).data());
  const U* no_input = nullptr;
  U* no_output = nullptr;
  U xyz[3] = {7, 7, 7};
  std::vector<U> all(9, 7);

  EXPECT_EQ(mol.NewConf(no_input), nullptr);
  EXPECT_FALSE(conf->SetCoords(no_input));
  EXPECT_FALSE(conf->GetCoords(no_output));
  EXPECT_FALSE(conf->SetCoords(nullptr, xyz));
  EXPECT_FALSE(conf->SetCoords(foreign, xyz));
  EXPECT_FALSE(conf->SetCoords(atoms[0], no_input));
  EXPECT_FALSE(conf->GetCoords(atoms[0], no_output));
  EXPECT_FALSE(conf->GetCoords(foreign, xyz));
  EXPECT_EQ(std::vector<U>(xyz, xyz + 3), std::vector<U>(3, 0));

  const U moved[3] = {4, 5, 6};
  EXPECT_TRUE(conf->SetCoords(atoms[2], moved));
  EXPECT_TRUE(conf->GetCoords(all.data()));
  EXPECT_EQ(all, (std::vector<U>{1, 0, 0, 2, 0, 0, 4, 5, 6}));
  all[0] = -1;
  EXPECT_TRUE(mol.SetCoords(all.data()));
  EXPECT_TRUE(mol.GetCoords(atoms[0], xyz));
  EXPECT_EQ(xyz[0], U{-1});
  EXPECT_TRUE(mol.SetCoords(atoms[1], moved));
  EXPECT_TRUE(mol.GetCoords(all.data()));
  EXPECT_EQ(all[3], U{4});
  mol.ClearCoords();
  EXPECT_EQ(conf->GetDimension(), 0u);
  EXPECT_TRUE(conf->GetCoords(all.data()));
  EXPECT_EQ(all, std::vector<U>(9, 0));

  mol.DeleteConfs();
  CapturedMessages messages;
  mol.ClearCoords();
  EXPECT_FALSE(mol.SetCoords(all.data()));
  EXPECT_FALSE(mol.SetCoords(atoms[0], moved));
  xyz[0] = 7;
  EXPECT_FALSE(mol.GetCoords(atoms[0], xyz));
  EXPECT_EQ(xyz[0], U{0});
  EXPECT_EQ(messages.lines().size(), 3u);
}

TEST(Conformers, CoordinateCallsRefuseBadArgumentsInBothPrecisions) {
  CheckCoordinateCalls<float>();
  CheckCoordinateCalls<double>();
}

}  // namespace
