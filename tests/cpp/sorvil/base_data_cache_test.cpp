// Items come from per-thread free lists of a few block sizes: an item freed on
// another thread, or reused for another type of the same size, must keep
// every value intact.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <thread>
#include <vector>

#include "sorvil/base/qvbase.h"
#include "sorvil/base/tagdata.h"

namespace {

struct LargeValue {
  std::array<char, 2 * Sorvil::QvBaseData::kCachedSize> bytes{};
};

}  // namespace

QV_DATA_TYPE(LargeValue, "LargeValue")

namespace {

using Sorvil::QvBase;

// One object's items, of sizes across and beyond the cached ones, each
// holding `n` in its own way.
void Fill(QvBase& object, int n) {
  object.AddData(400, n % 2 == 0);
  object.AddData(401, n);
  object.AddData(402, std::string(static_cast<std::size_t>(n % 40), 'a') + std::to_string(n));
  object.AddData(403, std::vector<double>(static_cast<std::size_t>(n % 5), n));
  object.EmplaceData<Sorvil::QvTagData>(404, std::to_string(n), std::string(30, 'v'));
  LargeValue large;
  large.bytes.fill(static_cast<char>(n));
  object.AddData(405, large);
}

bool Holds(const QvBase& object, int n) {
  const auto* large = object.GetDataPtr<LargeValue>(405);
  return object.NumData() == 6 && object.GetData<bool>(400) == (n % 2 == 0) && object.GetData<int>(401) == n &&
         object.GetData<std::string>(402) == std::string(static_cast<std::size_t>(n % 40), 'a') + std::to_string(n) &&
         object.GetData<std::vector<double>>(403) == std::vector<double>(static_cast<std::size_t>(n % 5), n) &&
         object.GetData<Sorvil::QvTagData>(404) == Sorvil::QvTagData(std::to_string(n), std::string(30, 'v')) &&
         large && large->bytes[7] == static_cast<char>(n);
}

// Producers fill objects; consumers check them, free them on their own
// thread and fill new ones from the blocks that freeing gave them back.
TEST(GenericDataCache, ItemsMadeOnOneThreadAndFreedOnAnother) {
  constexpr int kRounds = 20;
  constexpr int kObjects = 300;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::vector<QvBase>> made(2, std::vector<QvBase>(kObjects));
    std::vector<std::thread> producers;
    for (int p = 0; p < 2; ++p)
      producers.emplace_back([&made, p, round] {
        for (int i = 0; i < kObjects; ++i) Fill(made[p][i], round * kObjects + i + p);
      });
    for (std::thread& t : producers) t.join();
    std::vector<int> bad(2, 0);
    std::vector<std::thread> consumers;
    for (int c = 0; c < 2; ++c)
      consumers.emplace_back([&made, &bad, c, round] {
        // Each consumer takes the other producer's objects.
        std::vector<QvBase>& mine = made[1 - c];
        for (int i = 0; i < kObjects; ++i) {
          bad[c] += !Holds(mine[i], round * kObjects + i + 1 - c);
          mine[i].ClearData();
          Fill(mine[i], 1000000 + i);
        }
        for (int i = 0; i < kObjects; ++i) bad[c] += !Holds(mine[i], 1000000 + i);
      });
    for (std::thread& t : consumers) t.join();
    ASSERT_EQ(bad, std::vector<int>(2, 0)) << "round " << round;
    // The rest are freed here, on a third thread, after the threads that
    // made them have ended.
  }
}

// A copy is made from the cache too and is independent of its source.
TEST(GenericDataCache, CopiesAreIndependent) {
  QvBase source;
  Fill(source, 7);
  QvBase copy(source);
  source.ClearData();
  Fill(source, 8);
  EXPECT_TRUE(Holds(copy, 7));
  EXPECT_TRUE(Holds(source, 8));
}

}  // namespace
