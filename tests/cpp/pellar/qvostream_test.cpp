// Output streams: each number slot writes its printf conversion (the digits
// themselves are tested with pellar/numformat.h), also where numbers
// straddle the buffer end; string and wrapper streams.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "pellar/qvsstream.h"
#include "pellar/qvwrapperstream.h"
#include "stream_test_support.h"

using Pellar::qvosstream;

namespace {

constexpr std::size_t Block = Pellar::qvstream::BufferSize;

template <class T>
std::string viaprintf(const char* fmt, T v) {
  char buf[512];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

template <class T>
std::string viastream(T v) {
  qvosstream out;
  out << v;
  return out.str();
}

// The digits of "%f" are FormatFixed's (numformat_test); here the float slot
// widens before formatting, and the longest outputs and NaN signs pass whole.
TEST(DoubleDigits, BothSlotsMatchPercentF) {
  for (const double v : {0.0, -0.0, 1.0 / 3.0, 0.0000005, 1e22, DBL_MAX, -DBL_MAX, 4.9e-324,
                         std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
                         -std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(viastream(v), viaprintf("%f", v));
    const auto f = static_cast<float>(v);
    EXPECT_EQ(viastream(f), viaprintf("%f", static_cast<double>(f)));
  }
}

// Each integer slot against its printf conversion, at the limits and around 0.
template <class T>
void checkinteger(const char* fmt) {
  const T values[] = {std::numeric_limits<T>::min(), static_cast<T>(std::numeric_limits<T>::min() + 1),
                      T(0), T(1), T(9), T(10), T(99), T(100),
                      static_cast<T>(std::numeric_limits<T>::max() - 1), std::numeric_limits<T>::max()};
  for (const T v : values) EXPECT_EQ(viastream(v), viaprintf(fmt, v)) << fmt;
}

TEST(IntegerDigits, EverySlotMatchesItsPrintfConversion) {
  checkinteger<unsigned long long>("%llu");
  checkinteger<unsigned long>("%lu");
  checkinteger<long>("%ld");
  checkinteger<unsigned int>("%u");
  checkinteger<int>("%d");
  checkinteger<unsigned short>("%hu");
  checkinteger<short>("%hd");
}

TEST(TextWrites, CharsBoolsStringsAndManipulators) {
  qvosstream out;
  const char* none = nullptr;
  const unsigned char bytes[] = {'u', 0};
  const signed char sbytes[] = {'s', 0};
  out << 'a' << static_cast<signed char>('b') << static_cast<unsigned char>(0xE9) << true << false
      << std::string("str\0ing", 7) << "cs" << none << bytes << sbytes << Pellar::ends << Pellar::endl;
  EXPECT_EQ(out.str(), std::string("ab\xE9" "10str\0ingcsus\0\n", 18));
}

TEST(StringInput, LoadCopiesSeekAndSize) {
  std::string source = "line one\nline two\n";
  Pellar::qvisstream in(source.data(), source.size());
  source[0] = 'X';
  EXPECT_EQ(in.size(), 18);
  std::string line;
  EXPECT_TRUE(in.getline(line) && line == "line one") << line << ": the stream keeps its own copy";
  EXPECT_TRUE(in.seek(5) && in.getline(line) && line == "one") << line;
  EXPECT_FALSE(in.seek(19) || in.seek(-1));
  EXPECT_TRUE(in.seek(18) && !in.getline(line));
  EXPECT_TRUE(in.load("z") && in.getline(line) && line == "z") << line;
}

TEST(Wrappers, InputWrapperReadsThroughWithoutClosingTheSource) {
  const std::string data = pellartest::mixedbytes(Block + 10, 8);
  Pellar::qvisstream source(data.data(), data.size());
  source.skip(3);
  {
    Pellar::qviwrapperstream wrap(source);
    char head[4];
    ASSERT_EQ(wrap.read(head, 4), 4u);
    EXPECT_EQ(std::string(head, 4), data.substr(3, 4));
    wrap.close();
    EXPECT_TRUE(wrap.at_end());
  }
  EXPECT_FALSE(source.eof());
}

TEST(Wrappers, OutputWrapperFlushesThroughAndFailsWithItsTarget) {
  qvosstream target;
  {
    Pellar::qvowrapperstream wrap(target);
    wrap << "abc" << Pellar::endl;
    EXPECT_EQ(target.str(), "abc\n") << "endl reaches the target";
    wrap << "tail";
  }
  EXPECT_EQ(target.str(), "abc\ntail") << "destruction flushes";

  target.close();
  Pellar::qvowrapperstream wrap(target);
  wrap << "x";
  EXPECT_FALSE(wrap.flush());
  EXPECT_TRUE(wrap.failed());
}

}  // namespace
