// The line rule, token reading and bulk reads of qvistream, with the input
// cut at every kind of buffer boundary.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "pellar/qvsstream.h"
#include "stream_test_support.h"

using Pellar::qvisstream;
using pellartest::alllines;
using pellartest::ChunkedStream;
using Lines = std::vector<std::string>;
using namespace std::string_literals;

namespace {

constexpr std::size_t Block = Pellar::qvstream::BufferSize;

struct LineCase {
  const char* name;
  std::string input;
  Lines lines;
};

const LineCase lineCases[] = {
    {"Lf", "a\nb\n", {"a", "b"}},
    {"NoFinalEnd", "a\nbc", {"a", "bc"}},
    {"CrLf", "a\r\nb\r\n", {"a", "b"}},
    {"CrOnly", "a\rb\rc", {"a", "b", "c"}},
    {"CrCrLf", "a\r\r\nb", {"a", "b"}},
    {"ManyCrsThenLf", "a\r\r\r\r\nb", {"a", "b"}},
    {"CrLfLf", "a\r\n\nb", {"a", "", "b"}},
    {"LfCr", "a\n\rb", {"a", "", "b"}},
    {"EmptyLines", "\n\n\n", {"", "", ""}},
    {"TrailingCr", "a\r", {"a"}},
    {"TrailingCrs", "a\r\r\r", {"a"}},
    {"ControlBytesDropped", "a\0b\x01" "c\x1f" "d\x7f\n"s, {"abcd\x7f"}},
    {"TabKept", "x\ty\t\n", {"x\ty\t"}},
    {"OnlyControlByte", "\x02", {""}},
    {"NulLine", "\0\0\n\0"s, {"", ""}},
    {"HighBytesKept", "\xc3\xa9t\xc3\xa9\n", {"\xc3\xa9t\xc3\xa9"}},
    {"Empty", "", {}},
    {"LongerThanEightBytes", "0123456789abcdef\x05" "0123456789\r\nz", {"0123456789abcdef0123456789", "z"}},
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class LineRule : public testing::TestWithParam<std::tuple<LineCase, std::size_t>> {};

TEST_P(LineRule, GetlineIntoStringAndFixedBufferAndSkipline) {
  const auto& [c, chunk] = GetParam();
  ChunkedStream byString(c.input, chunk);
  EXPECT_EQ(alllines(byString), c.lines);
  EXPECT_TRUE(byString.at_end());
  std::string last = "old";
  EXPECT_FALSE(byString.getline(last));
  EXPECT_EQ(last, "") << "a failed getline clears the string";

  ChunkedStream in(c.input, chunk);
  Lines got;
  for (char buf[64]; in.getline(buf, sizeof buf);) got.emplace_back(buf);
  EXPECT_EQ(got, c.lines);

  ChunkedStream again(c.input, chunk);
  std::size_t skipped = 0;
  while (again.skipline()) ++skipped;
  EXPECT_EQ(skipped, c.lines.size());
}

INSTANTIATE_TEST_SUITE_P(Chunks, LineRule,
                         testing::Combine(testing::ValuesIn(lineCases),
                                          testing::Values(1, 2, 3, 7, Block)),
                         [](const auto& p) {
                           return std::string(std::get<0>(p.param).name) + "_" +
                                  std::to_string(std::get<1>(p.param));
                         });

// skiplines against getline: after skipping n lines, getline must give the
// rest exactly. The input mixes long runs of short LF lines (counted in bulk)
// with every line-end form, control bytes, empty and overlong lines, and is
// fed in chunks that put its bytes at many buffer boundaries.
class SkipLines : public testing::TestWithParam<std::size_t> {};

TEST_P(SkipLines, RestEqualsGetlineAfterSkipping) {
  std::mt19937 random(7);
  const std::string ends[] = {"\n", "\r", "\r\n", "\r\r\n", "\n\r", "\r\n\n"};
  std::string data;
  for (int run = 0; run < 40; ++run) {
    const bool plain = run % 2 == 0;
    const int lines = plain ? 200 + static_cast<int>(random() % 300) : 30;
    for (int i = 0; i < lines; ++i) {
      const std::size_t length = random() % (i % 17 == 0 ? 300 : 90);
      for (std::size_t k = 0; k < length; ++k) data.push_back(static_cast<char>(random() % 8 ? 'a' + k % 26 : ' '));
      if (!plain && random() % 4 == 0) data.push_back(static_cast<char>(random() % 9));
      data += plain ? "\n" : ends[random() % std::size(ends)];
    }
  }
  data += std::string(Block + 5, 'z');  // a last line across a refill, with no end
  ChunkedStream reference(data, GetParam());
  const Lines all = alllines(reference);
  for (const std::uint64_t n : {0ul, 1ul, 2ul, 63ul, 1000ul, 4321ul, all.size() - 1, all.size()}) {
    ChunkedStream in(data, GetParam());
    ASSERT_TRUE(in.skiplines(n)) << n;
    EXPECT_EQ(alllines(in), Lines(all.begin() + static_cast<std::ptrdiff_t>(n), all.end())) << n;
  }
  // Skips and reads interleaved, then one skip past the end.
  ChunkedStream in(data, GetParam());
  std::size_t at = 0;
  for (std::uint64_t n = 1; at + n < all.size(); at += n + 1, n = n * 3 % 1999 + 1) {
    ASSERT_TRUE(in.skiplines(n));
    std::string line;
    ASSERT_TRUE(in.getline(line));
    ASSERT_EQ(line, all[at + n]) << "line " << at + n;
  }
  EXPECT_FALSE(in.skiplines(all.size()));
  EXPECT_TRUE(in.at_end());
}

INSTANTIATE_TEST_SUITE_P(Chunks, SkipLines, testing::Values(1, 7, 1000, 4033, Block));

// Every byte value at every offset of a line long enough to pass through
// each width of the scan (16-byte and 8-byte steps, then single bytes): TAB
// and everything from 32 up are kept, LF and CR end the line (a line end as
// the last byte opens no further line), all other control bytes vanish.
TEST(ControlBytes, EachValueAtEachOffset) {
  constexpr std::size_t Length = 16 + 16 + 8 + 3;
  for (int c = 0; c < 256; ++c) {
    for (std::size_t at = 0; at < Length; ++at) {
      std::string text(Length, 'x');
      text[at] = static_cast<char>(c);
      qvisstream in(text.data(), text.size());
      const Lines got = alllines(in);
      const std::string before(at, 'x'), after(Length - 1 - at, 'x');
      const Lines ended = after.empty() ? Lines{before} : Lines{before, after};
      const Lines want = c == '\t' || c >= 32        ? Lines{text}
                         : c == '\n' || c == '\r' ? ended
                                                  : Lines{before + after};
      ASSERT_EQ(got, want) << "byte " << c << " at " << at;
    }
  }
}

struct CutCase {
  std::size_t size;
  const char* first;
};

class FixedBufferCut : public testing::TestWithParam<CutCase> {};

TEST_P(FixedBufferCut, CutsAndTerminates) {
  const auto c = GetParam();
  ChunkedStream in("abcdef\nxy", 2);
  char buf[16];
  std::memset(buf, '#', sizeof buf);
  ASSERT_TRUE(in.getline(buf, c.size));
  EXPECT_STREQ(buf, c.first);
  EXPECT_EQ(buf[c.size], '#') << "wrote past the given size";
  ASSERT_TRUE(in.getline(buf, c.size));
  EXPECT_EQ(std::string(buf), std::string("xy").substr(0, c.size - 1));
}

INSTANTIATE_TEST_SUITE_P(Sizes, FixedBufferCut,
                         testing::Values(CutCase{1, ""}, CutCase{2, "a"}, CutCase{4, "abc"},
                                         CutCase{6, "abcde"}, CutCase{7, "abcdef"}, CutCase{8, "abcdef"}));

TEST(FixedBufferCut, SizeZeroStoresNothingButConsumesTheLine) {
  qvisstream in("abc\nd", 5);
  char buf[2] = {'#', '#'};
  EXPECT_TRUE(in.getline(buf, 0));
  EXPECT_EQ(buf[0], '#');
  std::string line;
  ASSERT_TRUE(in.getline(line));
  EXPECT_EQ(line, "d");
}

// ---- tokens ----

Lines alltokens(Pellar::qvistream& in, std::size_t size = 64) {
  Lines out;
  std::vector<char> buf(size + 1, '#');
  while (in.gettoken(buf.data(), size)) out.emplace_back(buf.data());
  return out;
}

class Tokens : public testing::TestWithParam<std::size_t> {};

TEST_P(Tokens, SplitCutAndCleaned) {
  struct Case {
    std::string input;
    std::size_t size;
    Lines tokens;
  };
  const Case cases[] = {
      {"  ab\tcd\r\n\n\r  ef  \x0b gh\x0c", 64, {"ab", "cd", "ef", "gh"}},  // white space across lines
      {"\x01\x02" "a\x01" "b\0c d"s, 64, {"abc", "d"}},                    // control bytes inside dropped
      {"abcdefgh ij\nkl mn", 4, {"abc", "kl", "mn"}},  // an overlong token is cut and its line skipped
      {"abc ij\nkl", 4, {"abc", "ij", "kl"}},          // a token that exactly fits is not cut
  };
  for (const Case& c : cases) {
    ChunkedStream in(c.input, GetParam());
    EXPECT_EQ(alltokens(in, c.size), c.tokens) << c.input;
  }
}

INSTANTIATE_TEST_SUITE_P(Chunks, Tokens, testing::Values(1, 3, Block));

TEST(NumberReads, ConvertEachTokensNumericPrefix) {
  const std::string text = "12 -7 3.5e2 +4 abc 18446744073709551615 -2147483648 1.5x 0x10 +-3 99999999999 -1";
  qvisstream in(text.data(), text.size());
  int i = 1, bad = 1, lowest = 0, hex = 1, outOfRange = 1;
  long l = 1;
  long long odd = 1;
  unsigned u = 1, negative = 1;
  unsigned long long big = 0;
  double d = 0, after = 5;
  float f = 0;
  in >> i >> l >> d >> u >> bad >> big >> lowest >> f >> hex >> odd >> outOfRange >> negative;
  // Every value here is exact in binary; "0x10" has the decimal prefix 0.
  EXPECT_EQ(std::tuple(i, l, d, u, bad, big, lowest, f, hex, odd, outOfRange, negative),
            std::tuple(12, -7L, 350.0, 4u, 0, 18446744073709551615ULL, -2147483647 - 1, 1.5f, 0, 0LL, 0, 0u));
  in >> after;
  EXPECT_EQ(after, 0.0) << "no token left";
}

TEST(ByteReads, CharReadsAreRawAndLeaveTheTargetAtEnd) {
  qvisstream in(" \n\xff", 3);
  char a = 0;
  signed char b = 0;
  unsigned char c = 0;
  in >> a >> b >> c;
  EXPECT_EQ(a, ' ');
  EXPECT_EQ(b, '\n');
  EXPECT_EQ(c, 0xFF);
  in >> a;
  EXPECT_EQ(a, ' ');
  bool got = true;
  in.skipbyte(got);
  EXPECT_FALSE(got);
}

TEST(ByteReads, GetPeekAndWs) {
  qvisstream in("  \n\tz", 5);
  in >> Pellar::ws;
  EXPECT_EQ(in.peek(), 'z');
  EXPECT_EQ(in.get(), 'z');
  EXPECT_EQ(in.peek(), -1);
  EXPECT_EQ(in.get(), -1);
}

// ---- bulk reads ----

class BulkReads : public testing::TestWithParam<std::size_t> {
 protected:
  const std::string data = pellartest::mixedbytes(3 * Block + 777, 11);
};

TEST_P(BulkReads, ReadallAndCopyto) {
  ChunkedStream in(data, GetParam());
  in.skip(5);
  std::string all;
  ASSERT_TRUE(in.readall(all));
  EXPECT_TRUE(pellartest::samebytes(all, data.substr(5)));
  EXPECT_FALSE(in.readall(all));
  EXPECT_EQ(all, "");

  ChunkedStream again(data, GetParam());
  Pellar::qvosstream out;
  ASSERT_TRUE(again.copyto(out));
  EXPECT_TRUE(pellartest::samebytes(out.str(), data));
}

INSTANTIATE_TEST_SUITE_P(Chunks, BulkReads, testing::Values(1000, Block));

TEST(BulkReads, SkipOfZeroOrLess) {
  qvisstream in("ab", 2);
  EXPECT_TRUE(in.skip(0));
  EXPECT_FALSE(in.skip(-1));
  EXPECT_EQ(in.get(), 'a');
  EXPECT_TRUE(in.skip(1));
  EXPECT_FALSE(in.skip(1));
}

}  // namespace
