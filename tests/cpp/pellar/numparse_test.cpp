// Number parsing against the C library and the standard streams it stands
// in for: strtod and strtof (value, extent and ERANGE), formatted stream
// extraction, strtol; then the card-image column rules against printf's
// layout. Random inputs use fixed seeds.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "pellar/numparse.h"

namespace {

using Pellar::ParseResult;

// What strtod (or strtof) does with a text: extent, value, ERANGE.
template <class T>
struct Library {
  std::size_t used;
  T value;
  bool range;
};

template <class T>
Library<T> ByLibrary(const std::string& text) {
  char* stop = nullptr;
  errno = 0;
  T v;
  if constexpr (std::is_same_v<T, float>) {
    v = std::strtof(text.c_str(), &stop);
  } else {
    v = std::strtod(text.c_str(), &stop);
  }
  return {static_cast<std::size_t>(stop - text.c_str()), v, errno == ERANGE};
}

template <class T>
ParseResult Parse(const std::string& text, T& v) {
  if constexpr (std::is_same_v<T, float>) {
    return Pellar::ParseFloat(text.data(), text.data() + text.size(), v);
  } else {
    return Pellar::ParseDouble(text.data(), text.data() + text.size(), v);
  }
}

template <class T>
bool SameBits(T a, T b) {
  return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

template <class T>
::testing::AssertionResult AgreesWithLibrary(const std::string& text) {
  const Library<T> want = ByLibrary<T>(text);
  T got = -99;
  const ParseResult r = Parse(text, got);
  const auto used = static_cast<std::size_t>(r.ptr - text.data());
  if (used != want.used) return ::testing::AssertionFailure() << "used " << used << ", library " << want.used;
  if (want.used == 0) {
    if (r.ec != std::errc::invalid_argument) return ::testing::AssertionFailure() << "no number, yet no error";
    return ::testing::AssertionSuccess();
  }
  if (!SameBits(got, want.value))
    return ::testing::AssertionFailure() << std::hexfloat << got << ", library " << want.value;
  if ((r.ec == std::errc::result_out_of_range) != want.range)
    return ::testing::AssertionFailure() << "range " << (r.ec == std::errc::result_out_of_range);
  return ::testing::AssertionSuccess();
}

// Every form strtod takes and the edges of the double range; the leading
// blank is one strtod skips and ParseDouble does not.
const std::vector<std::string> kRealTexts = {
    "1.5", "+1.5", "-2e-3x", "0x10", "-0X1P-2 ", "0x", "0xg", "0x1.8p1", "inf", "-Infinity", "INFINITYx",
    "infinit", "nan", "-nan", "nan(abc)", "nan(123456789012345678901234567890)", "nan(", "+nan", "1d5", "e5", ".5", "5.", ".", "-", "+", "1e", "1e+",
    "1e-x", "1e400", "-1e400", "1e-400", "-1e-400", "4.9e-324", "4.9e-325", "2.2250738585072011e-308",
    "2.2250738585072014e-308", "2.2250738585072012e-308", "-2.2250738585072012e-308", "1.1754943e-38",
    "1.17549433e-38", "1.7976931348623157e308", "1.7976931348623159e308", "0e999999",
    "0.000000000000000000000000001e27", "123456789012345678901234567890", "00012.50", "12abc", "1,5",
    "+-1", "-+1", "++1", "0", "-0", "-0.0e0", "", " 1", "\t1"};

TEST(ParseDouble, AgreesWithStrtodOnEveryForm) {
  for (const std::string& text : kRealTexts) {
    if (!text.empty() && (text[0] == ' ' || text[0] == '\t')) {
      double v;
      EXPECT_EQ(Pellar::ParseDouble(text.data(), text.data() + text.size(), v).ec, std::errc::invalid_argument);
      continue;
    }
    EXPECT_TRUE(AgreesWithLibrary<double>(text)) << '"' << text << '"';
    EXPECT_TRUE(AgreesWithLibrary<float>(text)) << "float \"" << text << '"';
  }
}

// Random bit patterns printed with every count of digits, so values land
// on both sides of rounding boundaries, among the subnormals and past the
// ends of the range.
TEST(ParseDouble, AgreesWithStrtodOnRandomNumbers) {
  std::mt19937_64 rng(3);
  for (int i = 0; i < 100000; ++i) {
    const std::uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    char text[64];
    const int digits = static_cast<int>(rng() % 18) + 1;
    std::snprintf(text, sizeof text, i % 3 == 0 ? "%.*e" : i % 3 == 1 ? "%.*g" : "%.*E", digits, v);
    ASSERT_TRUE(AgreesWithLibrary<double>(text)) << text;
    ASSERT_TRUE(AgreesWithLibrary<float>(text)) << text;
  }
}

// The text stops where the caller's range stops, NUL or not.
TEST(ParseDouble, StopsAtTheEndOfItsRange) {
  const std::string text = "12.5e3";
  double v = 0;
  const ParseResult r = Pellar::ParseDouble(text.data(), text.data() + 3, v);
  EXPECT_EQ(r.ptr, text.data() + 3);
  EXPECT_EQ(v, 12.0);
  EXPECT_EQ(Pellar::ParseDouble(text.data(), text.data(), v).ec, std::errc::invalid_argument);
}

// Formatted extraction as std::istringstream >> double does it, one value
// after another, and whether a further token follows.
struct Extraction {
  std::vector<double> values;
  bool failed = false;
  bool more = false;
};

Extraction ByStream(const std::string& text, int count) {
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  Extraction out;
  for (int i = 0; i < count; ++i) {
    double v = 0;
    if (!(in >> v)) {
      out.failed = true;
      return out;
    }
    out.values.push_back(v);
  }
  std::string token;
  out.more = static_cast<bool>(in >> token);
  return out;
}

Extraction ByExtract(const std::string& text, int count) {
  const char* p = text.data();
  const char* end = p + text.size();
  auto skip = [&] {
    while (p != end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
  };
  Extraction out;
  for (int i = 0; i < count; ++i) {
    skip();
    double v = 0;
    const ParseResult r = Pellar::ExtractDouble(p, end, v);
    p = r.ptr;
    if (r.ec != std::errc()) {
      out.failed = true;
      return out;
    }
    out.values.push_back(v);
  }
  skip();
  out.more = p != end;
  return out;
}

TEST(ExtractDouble, AgreesWithStringStream) {
  const std::vector<std::string> inputs = {
      "1 2 3", "  -1.5e+03\t+2.5E-3 .5", "5. -.5 0", "1e 2 3", "1.5e", "1.5ex", "1e5e 2 3", "1..2", ".",
      "-", "+", "+-1", "e5 1 1", ".e5 1 1", "0e5 1 1", "00012.50 1 1", "inf 1 1", "nan 1 1", "0x1p3 1 1",
      "1e400 1 1", "-1e400", "1e-400 1 1", "1,5 2 3", "1.0abc 2 3", "3 4 5 6", "1\v2\f3", "1\r", "",
      "  \t ", "12345678901234567890123 1 1", "4.9e-324 1 1", "1.7976931348623157e308 1 1",
      "1.7976931348623159e308 1 1", "2.5D+01 1 1", "1e+ 1 1", "1e- 1 1", "-0 -0.0 0.0e0"};
  for (const std::string& input : inputs) {
    for (int count = 1; count <= 3; ++count) {
      SCOPED_TRACE("\"" + input + "\" x" + std::to_string(count));
      const Extraction want = ByStream(input, count);
      const Extraction got = ByExtract(input, count);
      EXPECT_EQ(got.failed, want.failed);
      EXPECT_EQ(got.values, want.values);
      if (!want.failed) {
        EXPECT_EQ(got.more, want.more);
      }
    }
  }
}

TEST(ExtractDouble, AgreesWithStringStreamOnRandomNumbers) {
  std::mt19937_64 rng(11);
  for (int i = 0; i < 20000; ++i) {
    const double v = std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 400) - 253);
    char text[64];
    std::snprintf(text, sizeof text, i % 2 ? "%.17g" : "%.6E", i % 3 ? v : -v);
    ASSERT_EQ(ByExtract(text, 1).values, ByStream(text, 1).values) << text;
  }
}

// strtol's digits without its white-space skip or base prefixes; overflow
// is reported and leaves the target alone.
TEST(ParseInt, SignsDigitsAndRange) {
  struct Case {
    std::string text;
    std::errc ec;
    std::size_t used;
    long long value;
  };
  const std::errc ok{}, bad = std::errc::invalid_argument, range = std::errc::result_out_of_range;
  const std::vector<Case> cases = {
      {"0", ok, 1, 0},        {"+7", ok, 2, 7},       {"-7", ok, 2, -7},       {"42abc", ok, 2, 42},
      {"000042", ok, 6, 42},  {"+", bad, 0, 99},      {"-", bad, 0, 99},       {"+-1", bad, 0, 99},
      {"--1", bad, 0, 99},    {" 1", bad, 0, 99},     {"", bad, 0, 99},        {"x1", bad, 0, 99},
      {"2147483647", ok, 10, INT32_MAX},               {"-2147483648", ok, 11, INT32_MIN},
      {"2147483648", range, 10, 99},                   {"-2147483649x", range, 11, 99},
      {"99999999999999999999999", range, 23, 99},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::int32_t v = 99;
    const ParseResult r = Pellar::ParseInt(c.text.data(), c.text.data() + c.text.size(), v);
    EXPECT_EQ(r.ec, c.ec);
    EXPECT_EQ(static_cast<std::size_t>(r.ptr - c.text.data()), c.used);
    EXPECT_EQ(v, c.value);
  }
  unsigned u = 5;
  const std::string minus = "-1";
  EXPECT_EQ(Pellar::ParseInt(minus.data(), minus.data() + 2, u).ec, std::errc::invalid_argument);
  EXPECT_EQ(u, 5u);
}

TEST(ParseInt, AgreesWithStrtollOnRandomNumbers) {
  std::mt19937_64 rng(5);
  for (int i = 0; i < 20000; ++i) {
    const auto v = static_cast<long long>(rng() >> (1 + rng() % 63));
    const std::string text = (i % 4 == 1 ? "+" : "") + std::to_string(i % 2 ? v : -v);
    long long got = 0;
    const ParseResult r = Pellar::ParseInt(text.data(), text.data() + text.size(), got);
    ASSERT_EQ(r.ptr, text.data() + text.size()) << text;
    ASSERT_EQ(got, std::strtoll(text.c_str(), nullptr, 10)) << text;
  }
}

// Whole texts: a real out of range keeps strtod's value, an integer out of
// range is refused, and nothing may follow the number.
TEST(ParseWhole, WholeTextOnly) {
  for (const auto& [text, value] : {std::pair{"1e400", HUGE_VAL}, std::pair{"1e-400", 0.0}, std::pair{"+0x10", 16.0}}) {
    double d = 7;
    EXPECT_TRUE(Pellar::ParseWhole(text, d) && d == value) << text;
  }
  double d = 7;
  for (const char* bad : {"1.5 ", " 1.5", "1.5x", "", "-", "1,5"}) {
    EXPECT_FALSE(Pellar::ParseWhole(bad, d)) << bad;
    EXPECT_EQ(d, 7.0) << bad;
  }
  unsigned u = 7;
  EXPECT_FALSE(Pellar::ParseWhole("4294967296", u) || Pellar::ParseWhole("-1", u));
  EXPECT_TRUE(Pellar::ParseWhole("+4294967295", u) && u == 4294967295u);
  int i = 7;
  EXPECT_FALSE(Pellar::ParseWhole("2147483648", i) || Pellar::ParseWhole("1.0", i) || Pellar::ParseWhole("", i));
  EXPECT_TRUE(Pellar::ParseWhole("-2147483648", i) && i == INT_MIN);
  float f = 7;
  EXPECT_TRUE(Pellar::ParseWhole("1e39", f) && f == HUGE_VALF);
  EXPECT_FALSE(Pellar::ParseWhole("1e39 ", f));
}

// Plain decimals of up to 15 digits take a shortcut of their own; beyond it
// the general path: both give strtod's value to the bit.
TEST(ParseWhole, PlainDecimalsAgreeWithStrtod) {
  std::mt19937_64 rng(5);
  for (int i = 0; i < 20000; ++i) {
    const int decimals = static_cast<int>(rng() % 9);
    const double magnitude = std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 60));
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, (rng() & 1) ? -magnitude : magnitude);
    double got = 0;
    ASSERT_TRUE(Pellar::ParseWhole(text, got)) << text;
    const double want = std::strtod(text, nullptr);
    ASSERT_EQ(std::memcmp(&got, &want, sizeof got), 0) << text;
  }
}

// "%W.Df" fields read back exactly; everything else in the field is zero.
TEST(FixedPointField, ReadsWhatPrintfLaysOut) {
  std::mt19937 rng(13);
  std::uniform_real_distribution<double> value(-9999.9999, 99999.9999);
  for (int i = 0; i < 20000; ++i) {
    char text[32];
    const double v = i < 4 ? std::vector<double>{0.0, -0.0001, 99999.9999, -9999.9999}[i] : value(rng);
    std::snprintf(text, sizeof text, "%10.4f", v);
    ASSERT_EQ(static_cast<float>(Pellar::FixedPointField<10, 4>(text)), static_cast<float>(std::strtod(text, nullptr)))
        << text;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%12.6f", -1234.567891);
  EXPECT_EQ((Pellar::FixedPointField<12, 6>(text)), -1234.567891);
  for (const char* shifted : {"1.5       ", "    1.500 ", "   1.50000", "   +1.5000", "  1 2.0000", "    1.000x",
                              "  -1-.0000", "  12a.0000", "    1,0000"}) {
    EXPECT_EQ((Pellar::FixedPointField<10, 4>(shifted)), 0.0) << '"' << shifted << '"';
  }
}

TEST(ColumnInt, SignAnywhereDigitsAccumulateRestIgnored) {
  struct Case {
    std::string line;
    std::size_t col, width;
    long value;
  };
  const std::vector<Case> cases = {
      {"  1  2", 1, 3, 1}, {"  1 -2", 4, 3, -2}, {"  1  2", 4, 3, 2}, {"1-2", 1, 3, -12},
      {" a5", 1, 3, 5},    {"  7", 3, 3, 7},     {"  7", 4, 3, 0},    {"", 1, 3, 0},
      {"123456", 2, 2, 23}};
  for (const Case& c : cases) EXPECT_EQ(Pellar::ColumnInt(c.line, c.col, c.width), c.value) << c.line;
}


}  // namespace
