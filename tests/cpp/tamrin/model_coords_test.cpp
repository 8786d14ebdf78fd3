#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "model_test_support.h"
#include "tamrin/model/model.h"

namespace {

using model_test::CoordsOf;
using model_test::Xyz;
using Tamrin::QvAtomBase;
using Tamrin::QvGraphMolImpl;

TEST(Coords, AnEmptyMoleculeReadsAllZerosAndForeignAtomsFail) {
  QvGraphMolImpl mol;
  QvGraphMolImpl other;
  QvAtomBase* foreign = other.NewAtom(6);
  double xyz[3] = {5, 5, 5};
  EXPECT_FALSE(mol.GetCoords(foreign, xyz));
  EXPECT_EQ(xyz[0], 0.0);
  EXPECT_FALSE(mol.SetCoords(foreign, xyz));
  EXPECT_FALSE(mol.SetCoords(static_cast<const QvAtomBase*>(nullptr), xyz));
  EXPECT_FALSE(mol.GetCoords(static_cast<double*>(nullptr)));
  EXPECT_EQ(mol.GetCoordCapacity(), 0u);
}

TEST(Coords, ClearCoordsZeroesAndDropsTheDimension) {
  QvGraphMolImpl mol;
  const auto atoms = model_test::MakeChain(mol, 3);
  mol.SetDimension(3);
  mol.ClearCoords();
  EXPECT_EQ(mol.GetDimension(), 0u);
  EXPECT_EQ(CoordsOf(mol, atoms[2]), (Xyz{0, 0, 0}));
}

TEST(Dimension, OnlyZeroTwoAndThreeAreAccepted) {
  QvGraphMolImpl mol;
  for (unsigned dimension : {0u, 2u, 3u}) {
    EXPECT_TRUE(mol.SetDimension(dimension));
    EXPECT_EQ(mol.GetDimension(), dimension);
  }
  for (unsigned dimension : {1u, 4u, 0xffffffffu}) {
    EXPECT_FALSE(mol.SetDimension(dimension));
    EXPECT_EQ(mol.GetDimension(), 3u);
  }
}

}  // namespace

namespace {

// Clearing zeroes only the indices written since the last clearing: every
// way of writing must count, or a molecule made again in the same storage
// would show the old coordinates.
TEST(Coords, ClearingLeavesNoWrittenValueBehind) {
  const struct {
    const char* name;
    std::function<void(QvGraphMolImpl&)> write;
    std::function<void(QvGraphMolImpl&)> clear;
  } cases[] = {
      {"one atom, then ClearCoords",
       [](QvGraphMolImpl& mol) {
         const double xyz[3] = {1, 2, 3};
         mol.SetCoords(mol.AtomList()[5], xyz);
       },
       [](QvGraphMolImpl& mol) { mol.ClearCoords(); }},
      {"all atoms, then Clear",
       [](QvGraphMolImpl& mol) {
         std::vector<float> xyz(3 * mol.GetMaxAtomIdx(), 7.0f);
         mol.SetCoords(xyz.data());
       },
       [](QvGraphMolImpl& mol) { mol.Clear(); }},
      {"past the first growth step, then Clear",
       [](QvGraphMolImpl& mol) {
         const double xyz[3] = {-4, 5, -6};
         mol.SetCoords(mol.AtomList()[0], xyz);
         mol.SetCoords(mol.AtomList()[39], xyz);
       },
       [](QvGraphMolImpl& mol) { mol.Clear(); }},
      {"after a sweep, then ClearCoords",
       [](QvGraphMolImpl& mol) {
         const double xyz[3] = {8, 8, 8};
         for (QvAtomBase* atom : mol.AtomList()) mol.SetCoords(atom, xyz);
         mol.DeleteAtom(mol.AtomList()[0]);
         mol.Sweep();
       },
       [](QvGraphMolImpl& mol) { mol.ClearCoords(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QvGraphMolImpl mol;
    for (unsigned i = 0; i < 40; ++i) mol.NewAtom(6);
    c.write(mol);
    c.clear(mol);
    while (mol.GetMaxAtomIdx() < 40) mol.NewAtom(8);
    std::vector<float> all(3 * mol.GetMaxAtomIdx(), -1.0f);
    ASSERT_TRUE(mol.GetCoords(all.data()));
    EXPECT_EQ(std::count(all.begin(), all.end(), 0.0f), static_cast<long>(all.size()));
  }
}

}  // namespace
