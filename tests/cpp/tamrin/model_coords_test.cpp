#include <gtest/gtest.h>

#include <cmath>
#include <limits>
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
