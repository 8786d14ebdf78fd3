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
using Sorvil::QvGetTagName;
using Sorvil::QvTag;

TEST(TagRegistry, SameNameSameTagDifferentNamesDifferentTags) {
  const QvTag a = QvGetTag("registry test a");
  const QvTag b = QvGetTag(std::string_view("registry test b"));
  EXPECT_NE(a, b);
  EXPECT_EQ(std::tuple(QvGetTag("registry test a"), QvGetTag(std::string("registry test b"))), std::tuple(a, b));
  EXPECT_TRUE(a >= Sorvil::kQvFirstNamedTag && b >= Sorvil::kQvFirstNamedTag);
  EXPECT_EQ(std::tuple(std::string(QvGetTagName(a)), std::string(QvGetTagName(b))),
            std::tuple("registry test a", "registry test b"));
  // Null and empty names are tag zero.
  EXPECT_EQ(std::tuple(QvGetTag(static_cast<const char*>(nullptr)), QvGetTag("")), std::tuple(0u, 0u));
}

TEST(TagRegistry, BuiltInAndUnknownTagsHaveNoName) {
  for (QvTag tag : std::vector<QvTag>{0, Sorvil::QvChiralTag, Sorvil::QvDeletedTag, Sorvil::QvNameTag,
                                      Sorvil::QvAnisoTag, 255, 0xfffffff0u})
    EXPECT_STREQ(QvGetTagName(tag), "") << tag;
}

TEST(TagRegistry, NamesAreCaseAndByteExact) {
  const QvTag lower = QvGetTag("casetag");
  EXPECT_NE(QvGetTag("CaseTag"), lower);
  EXPECT_NE(QvGetTag("casetag "), lower);
  const std::string with_nul("nul\0inside", 10);
  const QvTag nul = QvGetTag(std::string_view(with_nul));
  EXPECT_NE(nul, QvGetTag("nul"));
  EXPECT_EQ(QvGetTag(std::string_view(with_nul)), nul);
}

TEST(TagRegistry, ThreadsRegisteringTheSameNamesAgree) {
  constexpr int kThreads = 8;
  constexpr int kNames = 300;
  std::vector<std::vector<QvTag>> seen(kThreads, std::vector<QvTag>(kNames));
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ++ready;
      while (ready < kThreads) std::this_thread::yield();
      // Each thread walks the names in its own order (steps coprime to
      // kNames), twice: the second pass hits the per-thread cache.
      static constexpr int kSteps[kThreads] = {1, 7, 11, 13, 17, 19, 23, 29};
      for (int pass = 0; pass < 2; ++pass)
        for (int k = 0; k < kNames; ++k) {
          const int i = (k * kSteps[t] + t) % kNames;
          const QvTag tag = QvGetTag("concurrent tag " + std::to_string(i));
          if (pass == 1) {
            EXPECT_EQ(seen[t][i], tag);
          }
          seen[t][i] = tag;
        }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 1; t < kThreads; ++t) EXPECT_EQ(seen[t], seen[0]);
  std::vector<QvTag> sorted = seen[0];
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "two names share a tag";
  for (int i = 0; i < kNames; ++i)
    EXPECT_EQ(QvGetTagName(seen[0][i]), "concurrent tag " + std::to_string(i));
}

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

TEST(SDData, EmptyNamesAndValuesAndBinaryTextSurvive) {
  QvBase mol;
  const std::string binary("a\0b\xff", 4);
  Sorvil::QvAddSDData(mol, "", "");
  Sorvil::QvAddSDData(mol, "bin", binary);
  EXPECT_EQ(Sorvil::QvGetSDDataPairs(mol), (Pairs{{"", ""}, {"bin", binary}}));
  EXPECT_TRUE(Sorvil::QvHasSDData(mol, ""));
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
