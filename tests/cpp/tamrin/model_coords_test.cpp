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

// The capacity after the first write to the last of `max_idx` atoms.
TEST(Coords, FirstWriteToTheLastAtomGrowsTheTableToIt) {
  const struct {
    unsigned max_idx, capacity;
  } cases[] = {{1, 32},   {31, 32},   {32, 96},   {33, 64},   {64, 128},
               {100, 128}, {159, 160}, {160, 224}, {161, 322}, {1000, 2000}};
  for (const auto& c : cases) {
    QvGraphMolImpl mol;
    QvAtomBase* last = nullptr;
    for (unsigned i = 0; i < c.max_idx; ++i) last = mol.NewAtom(6);
    const double xyz[3] = {1, 2, 3};
    ASSERT_TRUE(mol.SetCoords(last, xyz));
    EXPECT_EQ(mol.GetCoordCapacity(), c.capacity) << c.max_idx;
  }
}

TEST(Coords, GrowingKeepsEarlierTriplesAndZeroFillsTheRest) {
  QvGraphMolImpl mol;
  const auto atoms = model_test::MakeChain(mol, 200);  // grows 32 -> 64 -> ... -> 2n
  for (unsigned i = 0; i < 200; ++i)
    ASSERT_EQ(CoordsOf(mol, atoms[i]), (Xyz{1.0 * i, 2.0 * i, 3.0 * i})) << i;
  QvAtomBase* fresh = mol.NewAtom(1);
  EXPECT_EQ(CoordsOf(mol, fresh), (Xyz{0, 0, 0}));
}

TEST(Coords, ReadingPastTheTableGivesZeros) {
  QvGraphMolImpl mol;
  std::vector<QvAtomBase*> atoms;
  for (int i = 0; i < 40; ++i) atoms.push_back(mol.NewAtom(6));
  const double xyz[3] = {7, 8, 9};
  mol.SetCoords(atoms[0], xyz);
  ASSERT_EQ(mol.GetCoordCapacity(), 64u);
  for (int i = 0; i < 30; ++i) atoms.push_back(mol.NewAtom(6));
  EXPECT_EQ(CoordsOf(mol, atoms[69]), (Xyz{0, 0, 0}));
  float single[3] = {-1, -1, -1};
  EXPECT_TRUE(mol.GetCoords(atoms[69], single));
  EXPECT_EQ(single[0], 0.0f);
  // Whole-molecule reads fill GetMaxAtomIdx triples, zeros past the table.
  std::vector<double> all(3 * mol.GetMaxAtomIdx(), -1.0);
  ASSERT_TRUE(mol.GetCoords(all.data()));
  EXPECT_EQ(all[0], 7.0);
  EXPECT_EQ(all[2], 9.0);
  for (size_t i = 3; i < all.size(); ++i) ASSERT_EQ(all[i], 0.0) << i;
}

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

TEST(Coords, WholeMoleculeWritesCoverEveryIndexIncludingDeletedOnes) {
  QvGraphMolImpl mol;
  const auto atoms = model_test::MakeChain(mol, 3);
  mol.DeleteAtom(atoms[1]);
  const float values[9] = {1, 1, 1, 2, 2, 2, 3, 3, 3};
  ASSERT_TRUE(mol.SetCoords(values));
  EXPECT_EQ(CoordsOf(mol, atoms[1]), (Xyz{2, 2, 2}));
  EXPECT_EQ(CoordsOf(mol, atoms[2]), (Xyz{3, 3, 3}));
  std::vector<float> back(9);
  ASSERT_TRUE(mol.GetCoords(back.data()));
  EXPECT_EQ(back, std::vector<float>(values, values + 9));
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

TEST(Coords, ValuesBeyondFloatRangeBecomeInfinities) {
  Tamrin::QvGraphMolImpl mol;
  Tamrin::QvAtomBase* atom = mol.NewAtom(6);
  const double huge[3] = {1e300, -1e300, std::numeric_limits<double>::quiet_NaN()};
  mol.SetCoords(atom, huge);
  const model_test::Xyz back = model_test::CoordsOf(mol, atom);
  EXPECT_EQ(back[0], std::numeric_limits<double>::infinity());
  EXPECT_EQ(back[1], -std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(back[2]));
  mol.SetEnergy(-1e40);
  EXPECT_EQ(mol.GetEnergy(), -std::numeric_limits<float>::infinity());
  atom->SetPartialCharge(1e39);
  EXPECT_EQ(atom->GetPartialCharge(), std::numeric_limits<double>::infinity());
}

}  // namespace
