// gzip streams: round trips, the system gzip tool both ways, every header
// field, and damaged input of each kind.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "pellar/qvgzstream.h"
#include "pellar/qvioerror.h"
#include "pellar/qvsstream.h"
#include "stream_test_support.h"
#include "support/deflate.h"

using Pellar::qvigzstream;
using Pellar::qvisstream;
using Pellar::qvogzstream;
using Pellar::qvosstream;
using pellartest::StderrCapture;
using namespace std::string_literals;

namespace {

constexpr std::size_t Block = Pellar::qvstream::BufferSize;

std::string gzip(const std::string& data) {
  qvosstream target;
  {
    qvogzstream gz(target);
    gz.write(data.data(), data.size());
    gz.close();
  }
  return target.str();
}

struct Gunzipped {
  std::string data;
  std::string messages;
};

Gunzipped gunzip(Pellar::qvistream& source) {
  StderrCapture capture;
  Gunzipped out;
  {
    qvigzstream gz(source);
    gz.readall(out.data);
    EXPECT_TRUE(gz.at_end());
  }
  out.messages = capture.text();
  return out;
}

Gunzipped gunzip(const std::string& bytes) {
  qvisstream source;
  source.load(bytes);
  return gunzip(source);
}

std::string le32(std::uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
  return s;
}

std::uint32_t crcof(const std::string& data) {
  return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// A member with a hand-made header: the optional fields are added as asked,
// and a header CRC computed over everything before it (or the given one).
struct HeaderFields {
  int method;
  unsigned flags;
  std::string extra, name, comment;
  int headercrc;  // -1: the correct value
};

std::string member(const std::string& data, const HeaderFields& h) {
  std::string s = "\x1f\x8b"s + static_cast<char>(h.method) + static_cast<char>(h.flags) + "\x01\x02\x03\x04\x00\x03"s;
  if (h.flags & 0x04) {
    s += static_cast<char>(h.extra.size() & 0xFF);
    s += static_cast<char>(h.extra.size() >> 8);
    s += h.extra;
  }
  if (h.flags & 0x08) s += h.name + '\0';
  if (h.flags & 0x10) s += h.comment + '\0';
  if (h.flags & 0x02) {
    const auto crc = h.headercrc >= 0 ? static_cast<std::uint32_t>(h.headercrc) : crcof(s);
    s += static_cast<char>(crc & 0xFF);
    s += static_cast<char>((crc >> 8) & 0xFF);
  }
  return s + Deflate(data, -15) + le32(crcof(data)) + le32(static_cast<std::uint32_t>(data.size()));
}

// ---- the system gzip tool ----

class GzipTool : public testing::Test {
 protected:
  void SetUp() override {
    if (!pellartest::havetool("gzip")) {
      GTEST_SKIP() << "the gzip tool is not installed";
    }
  }
  ScratchDir dir;
  const std::string data = pellartest::mixedbytes(700000, 21);

  static int run(const std::string& cmd) { return std::system(cmd.c_str()); }
};

TEST_F(GzipTool, DecompressesWhatWeWrite) {
  const std::string gzpath = dir.file("ours.gz");
  {
    Pellar::qvofstream file;
    ASSERT_TRUE(file.open(gzpath.c_str()));
    qvogzstream gz(file);
    gz.write(data.data(), data.size());
    gz.close();
  }
  ASSERT_EQ(run("gzip -t '" + gzpath + "'"), 0);
  ASSERT_EQ(run("gzip -dc '" + gzpath + "' > '" + dir.file("out") + "'"), 0);
  EXPECT_TRUE(pellartest::samebytes(ReadFile(dir.file("out")), data));
}

TEST_F(GzipTool, WeReadWhatItWritesIncludingStoredNamesAndConcatenation) {
  WriteFile(dir.file("a.txt"), data);
  WriteFile(dir.file("b.txt"), "second member\n");
  // Compressing a named file stores its name (FNAME) in the header.
  ASSERT_EQ(run("gzip -c -9 '" + dir.file("a.txt") + "' > '" + dir.file("a.gz") + "'"), 0);
  ASSERT_EQ(run("gzip -c -1 '" + dir.file("b.txt") + "' > '" + dir.file("b.gz") + "'"), 0);
  ASSERT_EQ(run("cat '" + dir.file("a.gz") + "' '" + dir.file("b.gz") + "' > '" + dir.file("ab.gz") + "'"), 0);
  ASSERT_EQ(ReadFile(dir.file("a.gz"))[3] & 0x08, 0x08) << "expected a stored file name";

  Pellar::qvifstream file;
  ASSERT_TRUE(file.open(dir.file("ab.gz").c_str()));
  const Gunzipped back = gunzip(file);
  EXPECT_TRUE(pellartest::samebytes(back.data, data + "second member\n"));
  EXPECT_EQ(back.messages, "");
}

// ---- members and plain data ----

class PlainData : public testing::TestWithParam<std::string> {};

TEST_P(PlainData, PassesThroughUnchanged) {
  const Gunzipped back = gunzip(GetParam());
  EXPECT_EQ(back.data, GetParam());
  EXPECT_EQ(back.messages, "");
}

INSTANTIATE_TEST_SUITE_P(Inputs, PlainData,
                         testing::Values(""s, "x"s, "\x1f"s, "\x1f\x8a\x08\x00"s, "\x8b\x1f"s, "CCO\nc1ccccc1\n"s,
                                         pellartest::mixedbytes(3 * Block + 11, 5)));

// ---- header fields ----

struct HeaderCase {
  const char* name;
  HeaderFields fields;
  const char* message;  // empty: reads fine
};

const HeaderCase headerCases[] = {
    {"Text", {8, 0x01, "", "", "", -1}, ""},
    {"Extra", {8, 0x04, "AB\x02\x00xy"s, "", "", -1}, ""},
    {"EmptyExtra", {8, 0x04, "", "", "", -1}, ""},
    {"LongExtra", {8, 0x04, std::string(40000, 'z'), "", "", -1}, ""},
    {"Name", {8, 0x08, "", "molecules.sdf", "", -1}, ""},
    {"Comment", {8, 0x10, "", "", "made by a test", -1}, ""},
    {"HeaderCrc", {8, 0x02, "", "", "", -1}, ""},
    {"All", {8, 0x1F, "e", "n", "c", -1}, ""},
    {"WrongHeaderCrc", {8, 0x0A, "", "n", "", 0x1234}, "qvigzstream fill error: header crc mismatch\n"},
    {"Method7", {7, 0, "", "", "", -1}, "qvigzstream fill error: unknown compression method\n"},
    {"Reserved20", {8, 0x20, "", "", "", -1}, "qvigzstream fill error: unknown header flags set\n"},
    {"Reserved80", {8, 0x88, "", "n", "", -1}, "qvigzstream fill error: unknown header flags set\n"},
};

class HeaderFieldsTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderFieldsTest, SkippedOrRejected) {
  const HeaderCase& c = GetParam();
  const std::string data = "CCO ethanol\n";
  const Gunzipped back = gunzip(member(data, c.fields));
  EXPECT_EQ(back.messages, c.message);
  EXPECT_EQ(back.data, *c.message ? "" : data);
}

INSTANTIATE_TEST_SUITE_P(Cases, HeaderFieldsTest, testing::ValuesIn(headerCases),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- damaged input ----

TEST(Damaged, CrcMismatchIsAFalseRefillThatKeepsEarlierBlocks) {
  std::string gz = gzip("some molecules\n");
  gz[gz.size() - 8] ^= 0x01;
  const Gunzipped alone = gunzip(gz);
  EXPECT_EQ(alone.data, "");
  EXPECT_EQ(alone.messages, "qvigzstream fill error: incorrect data check\n");
  const std::string first = pellartest::mixedbytes(2 * Block + 100, 4);
  std::string second = gzip("tail");
  second[second.size() - 5] ^= 0x40;
  const Gunzipped back = gunzip(gzip(first) + second);
  EXPECT_TRUE(pellartest::samebytes(back.data, first.substr(0, 2 * Block))) << "the block holding the bad member is dropped";
  EXPECT_EQ(back.messages, "qvigzstream fill error: incorrect data check\n");
}

struct CutCase {
  const char* name;
  std::size_t keep;  // bytes kept; counted from the end when negative-like
  bool fromEnd;
  bool wholeData;
};

class Truncated : public testing::TestWithParam<CutCase> {};

TEST_P(Truncated, ReportsAndKeepsWhatCouldBeInflated) {
  const CutCase c = GetParam();
  const std::string data = pellartest::mixedbytes(3 * Block, 8);
  const std::string gz = gzip(data);
  const Gunzipped back = gunzip(gz.substr(0, c.fromEnd ? gz.size() - c.keep : c.keep));
  EXPECT_EQ(back.messages, "qvigzstream fill error: unexpected end of file\n");
  if (c.wholeData) {
    EXPECT_TRUE(pellartest::samebytes(back.data, data));
  } else {
    EXPECT_LT(back.data.size(), data.size());
    EXPECT_TRUE(pellartest::samebytes(back.data, data.substr(0, back.data.size())));
  }
}

INSTANTIATE_TEST_SUITE_P(Cuts, Truncated,
                         testing::Values(CutCase{"InHeader", 6, false, false}, CutCase{"AfterHeader", 10, false, false},
                                         CutCase{"InData", 40000, false, false},
                                         CutCase{"BeforeTrailer", 8, true, true}, CutCase{"InCrc", 6, true, true},
                                         CutCase{"InLength", 2, true, true}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Damaged, TruncatedNamedHeader) {
  const Gunzipped back = gunzip(member("x", {8, 0x08, "", "a-long-name", "", -1}).substr(0, 14));
  EXPECT_EQ(back.data + back.messages, "qvigzstream fill error: unexpected end of file\n");
}

// ---- output failures ----

TEST(OutputFailure, DestructorReportsTheErrorAndGoesOn) {
  StderrCapture capture;
  qvosstream target;
  {
    qvogzstream gz(target);
    gz << "lost";
    target.close();
  }
  EXPECT_EQ(capture.text(),
            "Caught QvIOError during qvogzstream destruction: "
            "qvogzstream close error: the gzip member could not be completed\n");
}

}  // namespace
