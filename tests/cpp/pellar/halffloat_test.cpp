// Half floats: every half survives widening and narrowing back, and
// narrowing rounds to nearest, ties to even, as IEEE 754 says.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "pellar/halffloat.h"

using Pellar::QvFloatToHalf;
using Pellar::QvHalfToFloat;

TEST(HalfFloat, EveryHalfRoundTripsThroughFloat) {
  for (unsigned h = 0; h <= 0xFFFF; ++h) {
    const float f = QvHalfToFloat(static_cast<Pellar::QvHalfFloat>(h));
    if (std::isnan(f)) {
      EXPECT_TRUE(std::isnan(QvHalfToFloat(QvFloatToHalf(f)))) << h;
      continue;
    }
    EXPECT_EQ(QvFloatToHalf(f), h) << h;
  }
}

TEST(HalfFloat, NarrowingRoundsToNearestEven) {
  const struct {
    float value;
    unsigned half;
  } cases[] = {
      {1.0f, 0x3C00},
      {-2.5f, 0xC100},
      {65504.0f, 0x7BFF},                     // largest half
      {65520.0f, 0x7C00},                     // rounds up to infinity
      {std::numeric_limits<float>::infinity(), 0x7C00},
      {1.0f + 1.0f / 2048, 0x3C00},           // tie between 1 and the next half: even
      {1.0f + 3.0f / 2048, 0x3C02},           // tie: up to even
      {std::ldexp(1.0f, -24), 0x0001},        // smallest subnormal
      {std::ldexp(1.0f, -25), 0x0000},        // tie with zero: even
      {std::ldexp(1.5f, -25), 0x0001},
      {-0.0f, 0x8000},
      {1e-10f, 0x0000},
  };
  for (const auto& c : cases) EXPECT_EQ(QvFloatToHalf(c.value), c.half) << c.value;
}
