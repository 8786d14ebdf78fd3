// The sparse index answers as an ordinary map would, whichever mix of near
// and far keys it is given and in whatever order, including keys stored far
// away that the dense part later grows over.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "pellar/sparseindex.h"

namespace {

using Index = Pellar::SparseIndex<std::int32_t, -1>;

struct KeyMix {
  const char* name;
  std::uint64_t near;   // keys 1..near, shuffled
  std::uint64_t far;    // count of keys spread up to 10^12
  unsigned repeats;     // keys offered twice
  bool shuffled;
};

TEST(SparseIndex, AgreesWithAMap) {
  const KeyMix mixes[] = {
      {"dense in order", 5000, 0, 0, false},
      {"far first, then the dense part grows over them", 3000, 200, 50, true},
      {"only far keys", 0, 500, 20, true},
      {"one huge key", 0, 1, 1, false},
  };
  std::mt19937_64 rng(7);
  for (const KeyMix& mix : mixes) {
    std::vector<std::uint64_t> keys;
    for (std::uint64_t k = 1; k <= mix.near; ++k) keys.push_back(k);
    std::uniform_int_distribution<std::uint64_t> spread(1, 1'000'000'000'000);
    std::uniform_int_distribution<std::uint64_t> low(1, 4000);
    std::vector<std::uint64_t> far;
    for (std::uint64_t i = 0; i < mix.far; ++i) far.push_back(i % 2 ? spread(rng) : low(rng) + mix.near);
    if (mix.shuffled) std::shuffle(keys.begin(), keys.end(), rng);
    // Far keys go in first so that later growth of the dense part covers some.
    keys.insert(keys.begin(), far.begin(), far.end());
    for (unsigned i = 0; i < mix.repeats; ++i) keys.push_back(keys[i * 7 % keys.size()]);

    Index index;
    std::map<std::uint64_t, std::int32_t> oracle;
    std::int32_t value = 0;
    for (const std::uint64_t k : keys) {
      const bool fresh = oracle.emplace(k, value).second;
      EXPECT_EQ(index.insert(k, value), fresh) << mix.name << " key " << k;
      ++value;
    }
    for (const auto& [k, v] : oracle) ASSERT_EQ(index.find(k), v) << mix.name << " key " << k;
    for (const std::uint64_t k : {std::uint64_t{0}, mix.near + 5000, std::uint64_t{9'999'999'999'999}}) {
      if (!oracle.count(k)) {
        EXPECT_EQ(index.find(k), -1) << mix.name << " absent key " << k;
      }
    }
    index.clear();
    for (const auto& [k, v] : oracle) ASSERT_EQ(index.find(k), -1) << mix.name << " after clear, key " << k;
  }
}

}  // namespace
