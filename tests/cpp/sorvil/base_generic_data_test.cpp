#include "sorvil/base/qvbase.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "sorvil/base/tagregistry.h"
#include "support/captured_messages.h"

namespace {

using Sorvil::QvBase;
using Sorvil::QvBaseData;
using Sorvil::QvBaseDataT;
using Sorvil::QvTag;

constexpr const char* kMismatch = "Warning: data type mismatch found when using generic data\n";

// Tags in registration order, as a reader would list them.
std::vector<QvTag> TagsOf(const QvBase& object) {
  std::vector<QvTag> tags;
  for (const QvBaseData& item : object.GetDataItems()) tags.push_back(item.GetTag());
  return tags;
}

TEST(GenericData, AbsentItemsReadAsDefaultsWithoutWarning) {
  CapturedMessages messages;
  QvBase object;
  EXPECT_EQ(std::tuple(object.GetData<int>(300), object.GetData<std::string>(300), object.GetData<double>(300),
                       object.GetData<bool>(300), object.NumData()),
            std::tuple(0, "", 0.0, false, 0u));
  EXPECT_TRUE(!object.HasData(300) && object.GetDataPtr<int>(300) == nullptr && object.GetDataItems().empty());
  EXPECT_FALSE(object.DeleteData(300));
  EXPECT_EQ(messages.text(), "");
}

TEST(GenericData, SetReplacesInPlaceAndKeepsInsertionOrder) {
  QvBase object;
  ASSERT_TRUE(object.SetData(301, 1));
  ASSERT_TRUE(object.SetData(302, std::string("two")));
  ASSERT_TRUE(object.SetData(303, 3.5));
  ASSERT_TRUE(object.SetData(301, 10));  // replaced where it stands
  EXPECT_EQ(TagsOf(object), (std::vector<QvTag>{301, 302, 303}));
  EXPECT_EQ(std::tuple(object.GetData<int>(301), object.GetData<std::string>(302), object.GetData<double>(303)),
            std::tuple(10, "two", 3.5));
}

TEST(GenericData, AddAppendsRepeatedTagsAndGetSeesTheFirst) {
  QvBase object;
  object.AddData(310, std::string("a"));
  object.AddData(311, 7);
  object.AddData(310, std::string("b"));
  EXPECT_EQ(TagsOf(object), (std::vector<QvTag>{310, 311, 310}));
  EXPECT_EQ(object.GetData<std::string>(310), "a");
  auto values = [&] {
    std::vector<std::string> out;
    for (const QvBaseData& item : object.GetDataItems(310)) out.push_back(*Sorvil::QvDataValue<std::string>(item));
    return out;
  };
  EXPECT_EQ(values(), (std::vector<std::string>{"a", "b"}));
  // SetData replaces only the first of the repeated items.
  ASSERT_TRUE(object.SetData(310, "c"));
  EXPECT_EQ(values(), (std::vector<std::string>{"c", "b"}));
}

TEST(GenericData, DeleteByTagRemovesEveryItemOfTheTag) {
  QvBase object;
  object.AddData(320, 1);
  object.AddData(321, 2);
  object.AddData(320, 3);
  EXPECT_TRUE(object.DeleteData(320));
  EXPECT_EQ(TagsOf(object), (std::vector<QvTag>{321}));
  EXPECT_FALSE(object.DeleteData(320));
}

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

struct TypePair {
  Value stored;
  Value other;
};

class TypeMismatch : public ::testing::TestWithParam<TypePair> {};

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

std::vector<TypePair> AllTypePairs() {
  const std::vector<Value> samples = {true, -4, 4u, 1.5f, 2.25, std::string("s")};
  std::vector<TypePair> pairs;
  for (const Value& a : samples)
    for (const Value& b : samples)
      if (a.index() != b.index()) pairs.push_back({a, b});
  return pairs;
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

TEST(GenericData, CopiesAreDeepAndIndependent) {
  QvBase original;
  original.SetData(390, std::string("x"));
  original.AddData(391, 1);
  QvBase copy(original);
  copy.SetData(390, std::string("y"));
  EXPECT_EQ(std::tuple(original.GetData<std::string>(390), copy.GetData<std::string>(390)), std::tuple("x", "y"));
  QvBase assigned;
  assigned.SetData(399, 9);
  assigned = original;
  EXPECT_EQ(TagsOf(assigned), (std::vector<QvTag>{390, 391}));
  const QvBase& same = assigned;
  assigned = same;  // self-assignment keeps the data
  EXPECT_EQ(assigned.NumData(), 2u);
  QvBase empty;
  assigned.CopyData(empty);
  EXPECT_EQ(assigned.NumData(), 0u);
  QvBase moved(std::move(copy));
  EXPECT_EQ(moved.GetData<std::string>(390), "y");
}

TEST(GenericData, DeleteIfAndFindIf) {
  QvBase object;
  for (int i = 0; i < 6; ++i) object.AddData(410, i);
  EXPECT_EQ(object.DeleteDataIf([](const QvBaseData& item) {
              return *Sorvil::QvDataValue<int>(item) % 2 == 1;
            }),
            3u);
  QvBaseData* four = object.FindDataIf(
      [](const QvBaseData& item) { return *Sorvil::QvDataValue<int>(item) == 4; });
  ASSERT_NE(four, nullptr);
  *Sorvil::QvDataValue<int>(*four) = 40;
  std::vector<int> values;
  for (const QvBaseData& item : object.GetDataItems()) values.push_back(*Sorvil::QvDataValue<int>(item));
  EXPECT_EQ(values, (std::vector<int>{0, 2, 40}));
}

// Every subset of four items deleted, then one appended, and every position
// replaced by an owned item, then one appended: the order must survive
// removals and replacements at the ends, where the list is held.
TEST(GenericData, OrderSurvivesDeletingAndReplacingAnyPosition) {
  for (unsigned mask = 0; mask < 16; ++mask) {
    QvBase object;
    for (int i = 0; i < 4; ++i) object.AddData(420 + i, i);
    std::vector<QvTag> expected;
    for (int i = 0; i < 4; ++i)
      if (!(mask & (1u << i))) expected.push_back(420 + i);
    object.DeleteDataIf([mask](const QvBaseData& item) { return (mask >> (item.GetTag() - 420)) & 1u; });
    object.AddData(429, 9);
    expected.push_back(429);
    EXPECT_EQ(TagsOf(object), expected) << "deleted mask " << mask;
  }
  for (int n = 1; n <= 3; ++n) {
    for (int at = 0; at < n; ++at) {
      QvBase object;
      for (int i = 0; i < n; ++i) object.AddData(430 + i, i);
      ASSERT_TRUE(object.SetData(std::make_unique<QvBaseDataT<int>>(430 + at, 100)));
      object.AddData(439, 9);
      std::vector<int> values;
      for (const QvBaseData& item : object.GetDataItems()) values.push_back(*Sorvil::QvDataValue<int>(item));
      std::vector<int> expected;
      for (int i = 0; i < n; ++i) expected.push_back(i == at ? 100 : i);
      expected.push_back(9);
      EXPECT_EQ(values, expected) << n << " items, replaced at " << at;
    }
  }
}

class Derived : public QvBase {
  QV_DECLARE_TYPE("Test::Derived", QvBase)
};

TEST(ClassIdentity, IsAWalksTheBasesAndQvCastFollowsIt) {
  Derived derived;
  QvBase plain;
  EXPECT_EQ(std::tuple(derived.GetType(), plain.GetType()), std::tuple(Derived::TypeId, QvBase::TypeId));
  EXPECT_TRUE(derived.IsA(QvBase::TypeId) && derived.IsA(Derived::TypeId) && !plain.IsA(Derived::TypeId));
  QvBase* as_base = &derived;
  EXPECT_EQ(Sorvil::QvCast<Derived>(as_base), &derived);
  EXPECT_EQ(Sorvil::QvCast<Derived>(&plain), nullptr);
  EXPECT_EQ(Sorvil::QvCast<Derived>(static_cast<QvBase*>(nullptr)), nullptr);
  // Identifiers are fixed by name: they may be stored in files.
  EXPECT_EQ(Sorvil::QvTypeIdFromName(""), 0xcbf29ce484222325ull);
  EXPECT_EQ(Sorvil::QvTypeIdFromName("a"), 0xaf63dc4c8601ec8cull);
  EXPECT_NE(Sorvil::QvDataType<int>::id, Sorvil::QvDataType<unsigned>::id);
}

}  // namespace
