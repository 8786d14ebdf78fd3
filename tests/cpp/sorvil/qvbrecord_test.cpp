// Record framing: varints, tags and the generic read step with its codes.
#include <gtest/gtest.h>

#include <string>

#include "pellar/qvsstream.h"
#include "sorvil/binary/qvbhandler.h"
#include "support/captured_messages.h"

using namespace Sorvil;

namespace {

std::string Varint(std::uint64_t v) {
  std::string s;
  QVBAppendVarint(s, v);
  return s;
}

TEST(QvbVarint, EncodesLeastSignificantGroupFirstWithTheLastByteMarked) {
  const struct {
    std::uint64_t value;
    std::string bytes;
  } cases[] = {{0, "\x80"},
               {127, "\xFF"},
               {128, std::string("\x00\x81", 2)},
               {300, "\x2C\x82"},
               {UINT32_MAX, std::string("\x7F\x7F\x7F\x7F\x8F", 5)},
               {UINT64_MAX, std::string(9, '\x7F') + "\x81"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(Varint(c.value), c.bytes);
    QVBCursor in(c.bytes);
    EXPECT_EQ(QVBReadDataLength(in, UINT64_MAX), c.value);
    EXPECT_TRUE(in.at_end());
  }
}

// The payload decoders' silent form: one- and two-byte numbers take their
// own paths, longer ones the general loop; all hold to the maximum.
TEST(QvbVarint, PayloadCursorsReadUpToTheMaximumAndNoFurther) {
  const struct {
    std::string bytes;
    std::uint64_t maximum;
    bool ok;
  } cases[] = {
      {"\xFF", 127, true},          {"\xFF", 126, false},
      {"\x2C\x82", 300, true},      {"\x2C\x82", 299, false},
      {"\x2C", UINT64_MAX, false},  {Varint(UINT32_MAX), UINT32_MAX, true},
      {Varint(std::uint64_t{1} << 32), UINT32_MAX, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes) + " up to " + std::to_string(c.maximum));
    QVBCursor in(c.bytes);
    std::uint64_t value = 0;
    EXPECT_EQ(in.varint(value, c.maximum), c.ok);
    if (c.ok) {
      EXPECT_EQ(Varint(value), c.bytes);
    }
  }
}

TEST(QvbVarint, RefusesOverlongTruncatedAndTooLargeLengths) {
  const struct {
    std::string bytes;
    std::uint64_t maximum;
    const char* message;
  } cases[] = {
      {std::string(10, '\x01'), UINT64_MAX, "data size corrupt in QvBinary file"},
      {std::string(10, '\x01') + "\x80", UINT64_MAX, "data size corrupt in QvBinary file"},
      {Varint(std::uint64_t{1} << 32), UINT32_MAX, "data size corrupt in QvBinary file"},
      {"\x01\x01", UINT32_MAX, "end of file reached in QVBReadDataLength(Pellar::qvistream &)"},
  };
  for (const auto& c : cases) {
    CapturedMessages captured;
    Pellar::qvisstream in(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(QVBReadDataLength(in, c.maximum), 0u);
    EXPECT_EQ(captured.lines(), std::vector<std::string>{c.message});
  }
}

TEST(QvbTag, DictionaryNamesTakeOneByteAndOthersTheExplicitForm) {
  const struct {
    std::string name;
    std::string bytes;
  } cases[] = {{"QvMolTitle", "\x19"},
               {"QvBasePOD", "\x01"},
               {"zstdQvMCMolBase", "\x37"},
               {"abc", std::string("\x00\x83", 2) + "abc"},
               {std::string(1023, 'x'), std::string("\x00\x7F\x87", 3) + std::string(1023, 'x')}};
  for (const auto& c : cases) {
    std::string out;
    ASSERT_TRUE(QVBAppendTag(out, c.name));
    EXPECT_EQ(out, c.bytes);
    Pellar::qvisstream in(out.data(), out.size());
    std::string name;
    std::uint8_t code = 0xFF;
    ASSERT_TRUE(QVBReadTag(in, name, code));
    EXPECT_EQ(name, c.name);
  }
  std::string out;
  EXPECT_FALSE(QVBAppendTag(out, std::string(1024, 'x')));
  EXPECT_FALSE(QVBAppendTag(out, ""));
  EXPECT_TRUE(out.empty());
  // A dictionary name shorter than 6 bytes does not exist, and the lookup
  // ignores names outside 6..32 bytes.
  EXPECT_EQ(QVBTagCode("QvBase"), 31);
  EXPECT_EQ(QVBTagCode("QvBas"), 0);
}

// A target with one registered record, "QvMolTitle", whose payload it keeps.
struct Target : QvBase {
  std::string title;
};

QVBReturn ReadTitle(QVBCursor& in, QvBase& target, const QvBinaryIOHandler&) {
  std::string_view bytes;
  in.take(in.left(), bytes);
  static_cast<Target&>(target).title = bytes;
  return QVBSuccess;
}

TEST(QvbHandler, ReadStepGivesTheCodeOfEachDamage) {
  static const QvReadFxn<QvBase> title("QvMolTitle", ReadTitle);
  QvBinaryIOHandler handler;
  handler.Register(title);
  const struct {
    std::string bytes;
    QVBReturn result;
  } cases[] = {
      {"\x19\x82T1", QVBSuccess},
      {"\x19\x83T1", QVBIncorrectSize},
      {"\x19", QVBEndOfFile},
      {std::string("\x19\x80", 2), QVBReadLengthFailed},
      {std::string("\x00\x80", 2), QVBReadTagFailed},
      {"\x05\x81x", QVBIncorrectHandlerType},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    CapturedMessages captured;
    Target target;
    QVBCursor in(c.bytes);
    EXPECT_EQ(handler.ReadRecord(in, target, QvBase::TypeId), c.result);
    Pellar::qvisstream stream(c.bytes.data(), c.bytes.size());
    std::string buffer;
    EXPECT_EQ(handler.ReadRecord(stream, target, QvBase::TypeId, buffer), c.result);
  }
  EXPECT_STREQ(QVBReturnText(QVBIncorrectSize), "Incorrect Size");
  EXPECT_STREQ(QVBReturnText(12), "Unknown QVBReturn Error");
}

TEST(QvbHandler, PayloadMemoryFollowsTheBytesPresentNotTheClaimedLength) {
  // A record claiming 4 GiB - 1 in a few bytes fails without allocating it.
  std::string bytes = "\x19" + Varint(UINT32_MAX) + "short";
  Pellar::qvisstream in(bytes.data(), bytes.size());
  std::string buffer;
  QvBase target;
  EXPECT_EQ(QvBinaryIOHandler().ReadRecord(in, target, QvBase::TypeId, buffer), QVBIncorrectSize);
  EXPECT_LT(buffer.capacity(), std::size_t{4} << 20);
}

}  // namespace
