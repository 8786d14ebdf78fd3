// The text helpers under the CUBE and FCHK readers and the CUBE writer,
// checked against the standard facilities they stand in for: the line reader
// against a plain split, formatted extraction against std::istringstream,
// the strtod scans against strtod, and the number formatter against
// snprintf("%.9g").
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cube_fchk_testutil.h"
#include "velk/builtin/cube_format.h"
#include "velk/builtin/gaussian_text.h"

namespace {

using cubefchk_test::ScratchDir;
using cubefchk_test::ThrowsWith;
using cubefchk_test::WriteFile;
namespace gt = velk::builtin::gaussian;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t nl = text.find('\n', start);
    if (nl == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return lines;
}

std::vector<std::string> ReadLines(const std::string& path) {
  gt::LineReader reader(path);
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.Next(line)) lines.emplace_back(line);
  std::string_view after;
  EXPECT_FALSE(reader.Next(after));  // and stays at the end
  return lines;
}

TEST(CubeTextLineReader, MatchesASplitAcrossBlockBoundaries) {
  ScratchDir dir;
  std::mt19937 rng(7);
  // Short lines, empty lines, carriage returns, and lines longer than a block.
  for (const size_t long_line : {size_t{0}, size_t{300000}, size_t{1100000}}) {
    for (const bool final_newline : {true, false}) {
      std::string text;
      while (text.size() < 700000) {
        const size_t length = rng() % 23 == 0 ? 0 : rng() % 90;
        for (size_t i = 0; i < length; ++i) text += static_cast<char>('a' + rng() % 26);
        if (rng() % 7 == 0) text += '\r';
        text += '\n';
        if (long_line && text.size() > 400000 && text.size() < 400100) text += std::string(long_line, 'x') + "\n";
      }
      if (!final_newline) text += "last line without end";
      const std::string path = dir.file("lines.txt");
      WriteFile(path, text);
      SCOPED_TRACE(std::to_string(long_line) + (final_newline ? " newline" : " no newline"));
      EXPECT_EQ(ReadLines(path), SplitLines(text));
    }
  }
}

TEST(CubeTextLineReader, EmptyFileAndLoneNewline) {
  ScratchDir dir;
  WriteFile(dir.file("empty"), "");
  EXPECT_TRUE(ReadLines(dir.file("empty")).empty());
  WriteFile(dir.file("nl"), "\n");
  EXPECT_EQ(ReadLines(dir.file("nl")), std::vector<std::string>{""});
}

TEST(CubeTextLineReader, MissingFile) {
  ScratchDir dir;
  const std::string path = dir.file("none");
  EXPECT_TRUE(ThrowsWith<velk::FileError>([&] { gt::LineReader reader(path); },
                                          "velk: unable to open '" + path + "' for reading"));
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

Extraction ByScanner(const std::string& text, int count) {
  gt::LineScanner scanner(text);
  Extraction out;
  for (int i = 0; i < count; ++i) {
    double v = 0;
    if (!scanner.ExtractDouble(v)) {
      out.failed = true;
      return out;
    }
    out.values.push_back(v);
  }
  out.more = scanner.HasMore();
  return out;
}

TEST(CubeTextExtraction, AgreesWithStringStream) {
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
      const Extraction got = ByScanner(input, count);
      EXPECT_EQ(got.failed, want.failed);
      EXPECT_EQ(got.values, want.values);
      if (!want.failed) {
        EXPECT_EQ(got.more, want.more);
      }
    }
  }
}

TEST(CubeTextExtraction, AgreesWithStringStreamOnRandomNumbers) {
  std::mt19937_64 rng(11);
  for (int i = 0; i < 20000; ++i) {
    const double v = std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 400) - 253);
    char text[64];
    std::snprintf(text, sizeof text, i % 2 ? "%.17g" : "%.6E", i % 3 ? v : -v);
    const Extraction want = ByStream(text, 1);
    const Extraction got = ByScanner(text, 1);
    ASSERT_EQ(got.values, want.values) << text;
  }
}

// What strtod reads from the start of `text`, compared with ScanStrtod.
TEST(CubeTextStrtod, ScanAgreesWithStrtod) {
  const std::vector<std::string> inputs = {
      "1.5", "+1.5", "-2e-3x", "0x10", "-0X1P-2 ", "0x", "0xg", "inf", "-Infinity", "nan", "nan(abc)",
      "+nan", "1d5", "e5", ".5", "5.", ".", "-", "+", "1e", "1e+", "1e400", "1e-400", "4.9e-325",
      "2.2250738585072011e-308", "123456789012345678901234567890", "0.000000000000000000000000001e27",
      "12abc", "1,5", "+-1"};
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input);
    char* stop = nullptr;
    const double want = std::strtod(input.c_str(), &stop);
    double got = -99;
    const char* end = gt::ScanStrtod(input.data(), input.data() + input.size(), got);
    EXPECT_EQ(end - input.data(), stop - input.c_str());
    if (stop != input.c_str()) {
      EXPECT_TRUE(got == want || (std::isnan(got) && std::isnan(want)));
    }
  }
}

TEST(CubeTextStrtod, ScanAgreesWithStrtodOnRandomNumbers) {
  std::mt19937_64 rng(3);
  for (int i = 0; i < 50000; ++i) {
    const double v = std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 2200) - 1100);
    char text[64];
    const int digits = static_cast<int>(rng() % 18) + 1;
    std::snprintf(text, sizeof text, "%.*e", digits, i % 2 ? v : -v);
    const double want = std::strtod(text, nullptr);
    double got = 0;
    gt::ScanStrtod(text, text + std::strlen(text), got);
    ASSERT_EQ(got, want) << text;
  }
}

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

TEST(CubeTextNarrow, FloatRange) {
  EXPECT_EQ(gt::NarrowToFloat(3.4028234663852886e38, "X"), 3.4028234663852886e38f);
  EXPECT_EQ(gt::NarrowToFloat(0.1, "X"), 0.1f);
  for (const double bad : {3.4028235e38, -1e39, double{INFINITY}, double{NAN}}) {
    EXPECT_TRUE(ThrowsWith<velk::FormatError>([&] { gt::NarrowToFloat(bad, "X"); },
                                              "velk: X is non-finite or out of range"));
  }
}

std::string G9(double v) {
  char text[velk::builtin::kG9Room];
  return std::string(text, velk::builtin::FormatG9(text, v));
}

std::string Printf(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.9g", v);
  return text;
}

std::string FloatG9(float v) {
  char text[velk::builtin::kG9Room];
  return std::string(text, velk::builtin::FormatFloatG9(text, v));
}

float FromBits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

TEST(CubeTextG9, FloatPathMatchesPrintf) {
  std::vector<float> values = {0.0f, -0.0f, 1.0f, -1.0f, 0.1f, 0.5f, 1e-10f, 123456789.0f, 999999999.0f,
                               1e9f, 3.4028234663852886e38f, -3.4028234663852886e38f, 1.17549435e-38f,
                               FromBits(1), FromBits(0x007fffff), 1e-4f, 9.99999975e-05f, 0.0001f};
  // Neighbours of every power of ten, where the exponent estimate and the
  // carry into a tenth digit are decided.
  for (int p = -45; p <= 38; ++p) {
    const float f = std::pow(10.0f, static_cast<float>(p));
    for (float g = f, h = f; g != 0 && std::isfinite(h); g = std::nextafter(g, 0.0f), h = std::nextafter(h, INFINITY)) {
      values.push_back(g);
      values.push_back(h);
      if (values.size() % 64 == 0) break;
    }
  }
  // Integers whose ninth digit is followed by exactly 5: ties, rounded to even.
  for (const float tie : {1000000005.0f, 1000000015.0f, 2147483648.0f, 16777216.5f, 0.5f, 2.5e-5f}) values.push_back(tie);
  std::mt19937 rng(9);
  for (int i = 0; i < 2000000; ++i) values.push_back(FromBits(static_cast<std::uint32_t>(rng())));
  for (const float v : values) {
    if (!std::isfinite(v)) continue;
    ASSERT_EQ(FloatG9(v), Printf(v)) << std::hexfloat << v;
  }
}

TEST(CubeTextG9, SameDigitsAsPrintf) {
  for (const double v : {0.0, -0.0, 0.5, 1e-10, 1.0, 6.0, 100000000.0, 123456789.0, 1234567890.0, 1e-5, 1e-4,
                         0.0001234567891, 1.88972612545782, -0.944863062728914, 3.4028234663852886e38,
                         1.17549435e-38, 5e-324, 1.7976931348623157e308, 999999999.5, 0.99999999995}) {
    EXPECT_EQ(G9(v), Printf(v)) << v;
  }
  std::mt19937_64 rng(5);
  for (int i = 0; i < 200000; ++i) {
    double v;
    if (i % 2) {
      const std::uint32_t bits = static_cast<std::uint32_t>(rng());
      float f;
      std::memcpy(&f, &bits, sizeof f);
      v = f;
    } else {
      const std::uint64_t bits = rng();
      std::memcpy(&v, &bits, sizeof v);
    }
    if (!std::isfinite(v)) continue;
    ASSERT_EQ(G9(v), Printf(v));
  }
}

}  // namespace
