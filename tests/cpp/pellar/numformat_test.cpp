// Number formatting against snprintf, the conversion each function names:
// tables of edge values and random values over the whole range (fixed
// seeds); "%.9g" of floats also next to every power of ten, where the
// exponent estimate and the carry into a tenth digit are decided.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "pellar/numformat.h"

namespace {

template <class... Args>
std::string Printf(const char* format, Args... args) {
  char text[512];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

const double kEdges[] = {0.0, -0.0, 1.0, -1.0, 0.5, 0.1, 1.0 / 3.0, -2.0 / 3.0, 0.0000005, 0.0000015, 2.5e-7,
                         123456.7890125, 999999.9999995, 1e15, 1e16 + 2, 1e22, 1e300, DBL_MAX, -DBL_MAX,
                         DBL_MIN, 4.9e-324, 0.125, 2.675, 1e-320, 99999.99995, -9999.99995,
                         std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()};

std::vector<double> RandomDoubles(std::uint64_t seed, int n) {
  std::mt19937_64 rng(seed);
  std::vector<double> values(std::begin(kEdges), std::end(kEdges));
  for (int i = 0; i < n; ++i) {
    if (i % 2) {
      const std::uint64_t bits = rng();
      double v;
      std::memcpy(&v, &bits, sizeof v);
      values.push_back(v);
    } else {
      values.push_back(std::ldexp(static_cast<double>(rng() >> 11) - 4503599627370496.0, static_cast<int>(rng() % 120) - 80));
    }
  }
  return values;
}

std::string Fixed(double v, int decimals) {
  char text[Pellar::FixedChars(20)];
  return std::string(text, Pellar::FormatFixed(text, v, decimals));
}

std::string Fixed(double v, int width, int decimals) {
  char text[Pellar::FixedChars(20) + 40];
  return std::string(text, Pellar::FormatFixed(text, v, width, decimals));
}

TEST(FormatFixed, MatchesPrintf) {
  struct Layout {
    int width, decimals;
  };
  // "%f", the coordinate layouts of the writers, and the widest precision.
  const Layout layouts[] = {{0, 6}, {10, 4}, {10, 5}, {23, 18}, {6, 3}, {0, 0}, {12, 20}};
  // Ties and near ties at the precisions above, where rounding a scaled
  // value and rounding the exact one part ways.
  std::vector<double> values = RandomDoubles(3, 20000);
  for (const double v : {0.5, 2.5, 1.00005, 0.00005, 0.0000005, 0.0005, 0.125, 1e11 + 0.5, 999999.99995, -0.0,
                         -0.00004, -2.5, 0.49999999999999994, 4503599627370495.5})
    for (const double sign : {1.0, -1.0}) values.push_back(sign * v);
  for (const double v : values) {
    for (const Layout l : layouts) {
      ASSERT_EQ(Fixed(v, l.width, l.decimals), Printf("%*.*f", l.width, l.decimals, v)) << std::hexfloat << v;
    }
    ASSERT_EQ(Fixed(v, 6), Printf("%f", v)) << std::hexfloat << v;
  }
}

TEST(FormatGeneral, MatchesPrintf) {
  for (const double v : RandomDoubles(5, 50000)) {
    for (const int precision : {1, 6, 9, 17}) {
      char text[Pellar::kGeneralChars];
      ASSERT_EQ(std::string(text, Pellar::FormatGeneral(text, v, precision)), Printf("%.*g", precision, v))
          << std::hexfloat << v;
    }
  }
}

float FromBits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

TEST(FormatGeneral9, FloatsMatchPrintf) {
  std::vector<float> values = {0.0f, -0.0f, 1.0f, -1.0f, 0.1f, 0.5f, 1e-10f, 123456789.0f, 999999999.0f,
                               1e9f, FLT_MAX, -FLT_MAX, FLT_MIN, FromBits(1), FromBits(0x007fffff), 1e-4f,
                               9.99999975e-05f, 0.0001f, 1000000005.0f, 1000000015.0f, 2147483648.0f,
                               16777216.5f, 2.5e-5f};
  for (int p = -45; p <= 38; ++p) {
    const float f = std::pow(10.0f, static_cast<float>(p));
    float below = f, above = f;
    for (int k = 0; k < 32 && below != 0 && std::isfinite(above); ++k) {
      values.push_back(below);
      values.push_back(above);
      below = std::nextafter(below, 0.0f);
      above = std::nextafter(above, INFINITY);
    }
  }
  std::mt19937 rng(9);
  for (int i = 0; i < 2000000; ++i) values.push_back(FromBits(static_cast<std::uint32_t>(rng())));
  for (const float v : values) {
    if (!std::isfinite(v)) continue;
    char text[Pellar::kGeneralChars];
    ASSERT_EQ(std::string(text, Pellar::FormatGeneral9(text, v)), Printf("%.9g", static_cast<double>(v)))
        << std::hexfloat << v;
  }
}

template <class T>
void CheckInteger(const char* format, const char* padded) {
  std::vector<T> values = {std::numeric_limits<T>::min(), static_cast<T>(std::numeric_limits<T>::min() + 1),
                           T(0), T(1), T(9), T(10), T(99), T(100),
                           static_cast<T>(std::numeric_limits<T>::max() - 1), std::numeric_limits<T>::max()};
  std::mt19937_64 rng(7);
  for (int i = 0; i < 2000; ++i) values.push_back(static_cast<T>(rng() >> (rng() % 64)));
  for (const T v : values) {
    char text[Pellar::kIntChars + 8];
    ASSERT_EQ(std::string(text, Pellar::FormatInt(text, v)), Printf(format, v)) << format;
    ASSERT_EQ(std::string(text, Pellar::FormatInt(text, v, 3)), Printf(padded, 3, v)) << padded;
    std::string appended = "x";
    Pellar::AppendInt(appended, v, 5);
    ASSERT_EQ(appended, "x" + Printf(padded, 5, v));
  }
}

TEST(FormatInt, EveryTypeMatchesItsConversion) {
  CheckInteger<unsigned long long>("%llu", "%*llu");
  CheckInteger<long long>("%lld", "%*lld");
  CheckInteger<unsigned long>("%lu", "%*lu");
  CheckInteger<long>("%ld", "%*ld");
  CheckInteger<unsigned>("%u", "%*u");
  CheckInteger<int>("%d", "%*d");
  CheckInteger<unsigned short>("%hu", "%*hu");
  CheckInteger<short>("%hd", "%*hd");
  char text[Pellar::kIntChars + 8];
  EXPECT_EQ(std::string(text, Pellar::FormatInt(text, 42, 5, Pellar::Align::Left)), Printf("%-5d", 42));
}

TEST(Pad, MatchesPrintfStrings) {
  for (const char* s : {"", "C", "Cl", "Uuo", "toolong"}) {
    for (const int width : {0, 3, 6}) {
      char text[32];
      EXPECT_EQ(std::string(text, Pellar::Pad(text, s, width)), Printf("%*s", width, s));
      EXPECT_EQ(std::string(text, Pellar::Pad(text, s, width, Pellar::Align::Left)), Printf("%-*s", width, s));
    }
  }
}

TEST(AppendFixed, AppendsPrintfDigits) {
  std::string s = "v=";
  Pellar::AppendFixed(s, -DBL_MAX, 6);
  Pellar::AppendFixed(s, 2.675, 30);
  EXPECT_EQ(s, "v=" + Printf("%f", -DBL_MAX) + Printf("%.30f", 2.675));
}

}  // namespace
