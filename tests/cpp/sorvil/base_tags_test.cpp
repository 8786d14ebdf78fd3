#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "sorvil/base/qvbase.h"
#include "sorvil/base/tagdata.h"
#include "sorvil/base/tagregistry.h"

namespace {

using Sorvil::QvGetTag;

using Sorvil::QvBase;
using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(SDData, AddKeepsDuplicatesInOrderSetReplacesTheFirst) {
  QvBase mol;
  Sorvil::QvAddSDData(mol, "b", "1");
  Sorvil::QvAddSDData(mol, "a", "2");
  Sorvil::QvAddSDData(mol, "b", "3");
  EXPECT_EQ(Sorvil::QvGetSDDataPairs(mol), (Pairs{{"b", "1"}, {"a", "2"}, {"b", "3"}}));
  Sorvil::QvSetSDData(mol, "b", "x");
  Sorvil::QvSetSDData(mol, "c", "new");
  EXPECT_EQ(Sorvil::QvGetSDDataPairs(mol), (Pairs{{"b", "x"}, {"a", "2"}, {"b", "3"}, {"c", "new"}}));
  EXPECT_EQ(std::tuple(Sorvil::QvGetSDData(mol, "b"), Sorvil::QvGetSDData(mol, "missing")), std::tuple("x", ""));
  EXPECT_TRUE(Sorvil::QvHasSDData(mol, "a") && !Sorvil::QvHasSDData(mol, "A"));
}

TEST(SDData, DeleteRemovesEveryPairOfTheNameOnly) {
  QvBase mol;
  mol.SetData(QvGetTag("other item"), 5);
  Sorvil::QvAddSDData(mol, "b", "1");
  Sorvil::QvAddSDData(mol, "a", "2");
  Sorvil::QvAddSDData(mol, "b", "3");
  EXPECT_TRUE(Sorvil::QvDeleteSDData(mol, "b"));
  EXPECT_FALSE(Sorvil::QvDeleteSDData(mol, "b"));
  EXPECT_EQ(Sorvil::QvGetSDDataPairs(mol), (Pairs{{"a", "2"}}));
  Sorvil::QvClearSDData(mol);
  EXPECT_TRUE(Sorvil::QvGetSDDataPairs(mol).empty());
  EXPECT_EQ(mol.GetData<int>(QvGetTag("other item")), 5) << "clearing SD data keeps other items";
}

TEST(SDData, ItemsOfOtherTypesUnderTheTagAreIgnored) {
  QvBase mol;
  mol.AddData(Sorvil::QvSDDataTag(), std::string("not a pair"));
  Sorvil::QvAddSDData(mol, "k", "v");
  EXPECT_EQ(Sorvil::QvGetSDDataPairs(mol), (Pairs{{"k", "v"}}));
  EXPECT_EQ(Sorvil::QvGetSDData(mol, "k"), "v");
  Sorvil::QvClearSDData(mol);
  EXPECT_EQ(mol.NumData(), 1u);
}

}  // namespace
