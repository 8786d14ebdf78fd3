// The reading rules that the CUBE and FCHK readers add on top of the shared
// number parsing: the integer token and the whole-text real (float narrowing is
// the CUBE value rows: FloatLimits, ValueAboveFloat).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cube_fchk_testutil.h"
#include "velk/builtin/gaussian_text.h"

namespace {

using cubefchk_test::ThrowsWith;
namespace gt = velk::builtin::gaussian;

struct RealCase {
  std::string text;
  std::string error;  // "" when accepted
  double value;
};

TEST(CubeTextRealValue, WholeTextMustBeOneFiniteNumber) {
  const std::string malformed = "velk: malformed X";
  const std::string range = "velk: X out of range";
  const std::vector<RealCase> cases = {
      {"-76.0266327341", "", -76.0266327341},
      {"  -7.495929232844363E+01", "", -74.95929232844363},
      {"+1.5", "", 1.5},
      {"0x10", "", 16},
      {"0", "", 0},
      {"-0.00000000E+00", "", -0.0},
      {"4.9e-324", range, 0},  // strtod reports the underflow
      {"1e-400", range, 0},
      {"1e400", range, 0},
      {"-1e400", range, 0},
      {"inf", malformed, 0},
      {"nan", malformed, 0},
      {"-76.0D+00", malformed, 0},
      {"1.0 2.0", malformed, 0},
      {"1.0x", malformed, 0},
      {"", malformed, 0},
      {"   ", malformed, 0},
      {"abc", malformed, 0},
      {std::string("1.5\0", 4), malformed, 0},
  };
  for (const RealCase& c : cases) {
    SCOPED_TRACE(c.text);
    if (c.error.empty()) {
      EXPECT_EQ(gt::ParseRealValue(c.text, "X"), c.value);
      EXPECT_EQ(std::signbit(gt::ParseRealValue(c.text, "X")), std::signbit(c.value));
    } else {
      EXPECT_TRUE(ThrowsWith<velk::FormatError>([&] { gt::ParseRealValue(c.text, "X"); }, c.error));
    }
  }
}

TEST(CubeTextIntToken, SyntaxAndRange) {
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"", "velk: missing N"},          {"  \t", "velk: missing N"},
      {"+", "velk: malformed N"},       {"-", "velk: malformed N"},
      {"1.0", "velk: malformed N"},     {"1e3", "velk: malformed N"},
      {"0x10", "velk: malformed N"},    {"--1", "velk: malformed N"},
      {"12a", "velk: malformed N"},     {"2147483648", "velk: N out of range"},
      {"-2147483649", "velk: N out of range"},
      {"99999999999999999999999999", "velk: N out of range"},
  };
  for (const auto& [text, message] : refused) {
    SCOPED_TRACE(text);
    gt::LineScanner scanner(text);
    EXPECT_TRUE(ThrowsWith<velk::FormatError>([&] { gt::ParseIntToken(scanner, "N"); }, message));
  }
  const std::vector<std::pair<std::string, std::int32_t>> accepted = {
      {"0", 0}, {"+7", 7}, {"-7", -7}, {"000000000000000000042", 42},
      {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {" \t 5 rest", 5}};
  for (const auto& [text, value] : accepted) {
    gt::LineScanner scanner(text);
    EXPECT_EQ(gt::ParseIntToken(scanner, "N"), value) << text;
  }
  EXPECT_TRUE(ThrowsWith<velk::FormatError>([] { gt::ParseIntValue("5 6", "N"); }, "velk: malformed N"));
  EXPECT_EQ(gt::ParseIntValue("  5  ", "N"), 5);
}

}  // namespace
