#include "sorvil/base/qvbase.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "sorvil/base/tagdata.h"
#include "sorvil/base/tagregistry.h"
#include "support/captured_messages.h"

namespace {

using Sorvil::QvBase;
using Sorvil::QvBaseData;
using Sorvil::QvBaseDataT;
using Sorvil::QvGetTag;
using Sorvil::QvTag;
using Pairs = std::vector<std::pair<std::string, std::string>>;

constexpr const char* kMismatch = "Warning: data type mismatch found when using generic data\n";

TEST(GenericData, DeleteOneItemByAddress) {
  QvBase object;
  object.AddData(330, 1);
  object.AddData(330, 2);
  const QvBaseData* second = nullptr;
  for (const QvBaseData& item : object.GetDataItems(330)) second = &item;
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(object.DeleteData(second));
  EXPECT_EQ(std::tuple(object.NumData(), object.GetData<int>(330)), std::tuple(1u, 1));
  QvBase other;
  other.AddData(330, 5);
  EXPECT_FALSE(object.DeleteData(&*other.GetDataItems().begin()));
  EXPECT_FALSE(object.DeleteData(static_cast<const QvBaseData*>(nullptr)));
}

// Every pair of distinct value types must be told apart, both when reading
// and when overwriting.
using Value = std::variant<bool, int, unsigned, float, double, std::string>;

struct TypePair {
  Value stored;
  Value other;
};

bool SetValue(QvBase& object, QvTag tag, const Value& value) {
  return std::visit([&](const auto& v) { return object.SetData(tag, v); }, value);
}

// Reads `tag` as the type of `like`; true when the read found that type.
bool ReadsAs(const QvBase& object, QvTag tag, const Value& like, Value& out) {
  return std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        out = object.GetData<T>(tag);
        return object.GetDataPtr<T>(tag) != nullptr;
      },
      like);
}

class TypeMismatch : public ::testing::TestWithParam<TypePair> {};

std::vector<TypePair> AllTypePairs() {
  const std::vector<Value> samples = {true, -4, 4u, 1.5f, 2.25, std::string("s")};
  std::vector<TypePair> pairs;
  for (const Value& a : samples)
    for (const Value& b : samples)
      if (a.index() != b.index()) pairs.push_back({a, b});
  return pairs;
}

TEST_P(TypeMismatch, ReadingAsAnotherTypeWarnsAndGivesTheDefault) {
  QvBase object;
  ASSERT_TRUE(SetValue(object, 360, GetParam().stored));
  CapturedMessages messages;
  Value read;
  EXPECT_FALSE(ReadsAs(object, 360, GetParam().other, read));
  EXPECT_EQ(messages.text(), kMismatch);
  Value default_of_other = std::visit([](const auto& v) -> Value { return std::decay_t<decltype(v)>{}; },
                                      GetParam().other);
  EXPECT_EQ(read, default_of_other);
}

TEST_P(TypeMismatch, OverwritingWithAnotherTypeWarnsAndKeepsTheItem) {
  QvBase object;
  ASSERT_TRUE(SetValue(object, 361, GetParam().stored));
  CapturedMessages messages;
  EXPECT_FALSE(SetValue(object, 361, GetParam().other));
  EXPECT_EQ(messages.text(), kMismatch);
  Value read;
  ASSERT_TRUE(ReadsAs(object, 361, GetParam().stored, read));
  EXPECT_EQ(read, GetParam().stored);
  EXPECT_EQ(object.NumData(), 1u);
}

INSTANTIATE_TEST_SUITE_P(EveryPair, TypeMismatch, ::testing::ValuesIn(AllTypePairs()));

TEST(GenericData, SetOwnedItemReplacesSameTypeAndRefusesOtherType) {
  QvBase object;
  object.AddData(380, 1);
  EXPECT_TRUE(object.SetData(std::make_unique<QvBaseDataT<int>>(380, 2)));
  EXPECT_EQ(object.GetData<int>(380), 2);
  CapturedMessages messages;
  EXPECT_FALSE(object.SetData(std::make_unique<QvBaseDataT<double>>(380, 2.0)));
  EXPECT_EQ(messages.text(), kMismatch);
  EXPECT_TRUE(object.SetData(std::make_unique<QvBaseDataT<double>>(381, 2.0)));
  EXPECT_FALSE(object.SetData(std::unique_ptr<QvBaseData>()));
  EXPECT_EQ(object.NumData(), 2u);
}

class Derived : public QvBase {
  QV_DECLARE_TYPE("Test::Derived", QvBase)
};

// SD data: name and value pairs kept as generic data items.

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
